// Tests of the EXIF UserComment container: round trips judged by exiftool, files it must refuse
// untouched, the character codes of the reader and the atomic replace when a write fails.
#include <QtTest>

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestEnv.h"
#include "metadata/ExifContainer.h"
#include "metadata/ExifUserComment.h"

using namespace ExifUserComment;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Runs a tool and returns its standard output; fails the test when it does not exit cleanly.
QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        qWarning() << program << arguments << process.readAllStandardError();
    return process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray("(failed)");
}

// What exiftool sees in a file: the comment, and every other tag but the file-system ones.
struct ExiftoolView
{
    QStringList tags;
    QByteArray comment;
};

ExiftoolView exiftool(const QString &path)
{
    ExiftoolView view;
    for (const QString &line : QString::fromUtf8(run("exiftool", {"-a", "-G1", "-s", path}))
                                   .split('\n', Qt::SkipEmptyParts)) {
        if (line.contains(" UserComment "))
            view.comment = line.mid(line.indexOf(": ") + 2).toUtf8();
        else if (!line.startsWith("[System]"))
            view.tags << line;
    }
    return view;
}

// A picture with enough detail that any re-encoding would show in its pixels.
QImage specimen()
{
    QImage image(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 5 % 256, y * 7 % 256, (x * y) % 256));
    }
    return image;
}

// Writes a fresh picture of `format` ("png", "jpg", "tif-II", "tif-MM") to `path`.
void makePicture(const QString &format, const QString &path)
{
    if (format.startsWith("tif")) {
        const QString png = path + ".png";
        QVERIFY(specimen().save(png, "PNG"));
        const QString endian = format.endsWith("MM") ? "msb" : "lsb";
        run("convert", {png, "-define", "tiff:endian=" + endian, "-compress", "none", path});
        QFile::remove(png);
    } else {
        QVERIFY(specimen().save(path, format.toLatin1(), 90));
    }
    QVERIFY(QFileInfo::exists(path));
}

// The tags a camera would write, with a thumbnail in IFD1 where the format carries one.
void addCameraTags(const QString &path, const QString &folder)
{
    const QString thumb = folder + "/thumb.jpg";
    QVERIFY(specimen().scaled(24, 16).save(thumb, "JPG"));
    QStringList arguments{"-q",
                          "-overwrite_original",
                          "-Make=Microscopia",
                          "-Model=MX-7",
                          "-Orientation#=6",
                          "-DateTimeOriginal=2024:03:05 10:11:12",
                          "-GPSLatitude=47.5",
                          "-GPSLatitudeRef=N",
                          "-GPSLongitude=8.25",
                          "-GPSLongitudeRef=E",
                          "-ThumbnailImage<=" + thumb,
                          path};
    run("exiftool", arguments);
}

// Base64 text of `length` characters, as the drawing document arrives.
std::string base64Text(int length, char seed)
{
    QByteArray raw(length * 3 / 4 + 3, '\0');
    for (int i = 0; i < raw.size(); ++i)
        raw[i] = char(seed + i * 31);
    return raw.toBase64().left(length).toStdString();
}

// Which step of the atomic replace the scripted file operations fail or interrupt.
enum FailingStep { FailNothing, FailWrite, FailFsync, FailClose, FailRename, KillAtRename };
FailingStep failingStep = FailNothing;

FileOps scriptedOps()
{
    FileOps ops = FileOps::system();
    ops.write = [](int fd, const void *data, size_t size) -> ssize_t {
        if (failingStep == FailWrite) {
            if (::write(fd, data, size / 2) < 0)
                return -1;
            errno = ENOSPC;
            return -1;
        }
        return ::write(fd, data, size);
    };
    ops.fsync = [](int fd) { return failingStep == FailFsync ? (errno = EIO, -1) : ::fsync(fd); };
    ops.close = [](int fd) {
        const int result = ::close(fd);
        return failingStep == FailClose ? (errno = EIO, -1) : result;
    };
    ops.rename = [](const char *from, const char *to) {
        if (failingStep == KillAtRename)
            ::raise(SIGKILL);
        return failingStep == FailRename ? (errno = EXDEV, -1) : ::rename(from, to);
    };
    return ops;
}

} // namespace

class TstMetadata : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void commentSizeLimits_data();
    void commentSizeLimits();
    void refusedFilesStayUntouched_data();
    void refusedFilesStayUntouched();
    void readerCharacterCodes_data();
    void readerCharacterCodes();
    void pngExifAfterImageData();
    void failedReplaceKeepsOriginal_data();
    void failedReplaceKeepsOriginal();
    void killedWriteKeepsOriginal();
    void replaceKeepsModeAndLink();

private:
    QTemporaryDir m_dir;
};

void TstMetadata::initTestCase()
{
    TestEnv::isolate();
    QVERIFY(m_dir.isValid());
    QVERIFY2(!QStandardPaths::findExecutable("exiftool").isEmpty(), "exiftool is needed");
    QVERIFY2(!QStandardPaths::findExecutable("convert").isEmpty(), "ImageMagick is needed");
}

void TstMetadata::roundTrip_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("cameraTags");
    for (const char *format : {"png", "jpg", "tif-II", "tif-MM"}) {
        QTest::addRow("%s fresh", format) << format << false;
        QTest::addRow("%s camera", format) << format << true;
    }
}

void TstMetadata::roundTrip()
{
    QFETCH(QString, format);
    QFETCH(bool, cameraTags);
    const QString kind = format.left(3);
    const QString path =
        m_dir.filePath(QString(QTest::currentDataTag()).replace(' ', '_') + '.' + kind);
    makePicture(format, path);
    if (cameraTags)
        addCameraTags(path, m_dir.path());
    const QStringList tagsBefore = exiftool(path).tags;
    QCOMPARE(!tagsBefore.filter(" MX-7").isEmpty(), cameraTags);
    const QImage pixelsBefore(path);
    QVERIFY(!pixelsBefore.isNull());
    QCOMPARE(int(detectImageKind(path)), kind == "png" ? 2 : kind == "jpg" ? 1 : 3);

    // A first comment, a shorter one over it (reusing its space), then a longer one.
    const std::string texts[] = {base64Text(6000, 'a'), base64Text(1200, 'b'),
                                 base64Text(9000, 'c')};
    qint64 previousSize = 0;
    for (const std::string &text : texts) {
        QVERIFY(writeUserComment(path, text));
        std::string back;
        QVERIFY(readUserComment(path, &back));
        QCOMPARE(back, text);
        const ExiftoolView after = exiftool(path);
        QCOMPARE(after.comment, QByteArray::fromStdString(text));
        QStringList tagsAfter = after.tags;
        if (!cameraTags && kind != "tif") // the byte order of the EXIF block we added
            tagsAfter = tagsAfter.filter(QRegularExpression("^(?!.* ExifByteOrder )"));
        QCOMPARE(tagsAfter, tagsBefore);
        QCOMPARE(QImage(path), pixelsBefore);
        QVERIFY(!QFileInfo::exists(path + ".velk_tmp"));
        const qint64 size = QFileInfo(path).size();
        if (&text == &texts[1])
            QCOMPARE(size, previousSize);
        previousSize = size;
    }

    const QByteArray bytes = readAll(path);
    if (kind == "jpg" && !cameraTags) // a new EXIF segment goes straight after start-of-image
        QCOMPARE(bytes.mid(2, 2), QByteArray("\xff\xe1"));
    if (format.startsWith("tif"))
        QCOMPARE(bytes.left(2), format.right(2).toLatin1());
    if (kind == "png") { // every chunk, ours included, carries a correct CRC
        const QByteArray check = run("/usr/bin/python3", {"-c", R"(
import struct, sys, zlib
d = open(sys.argv[1], 'rb').read(); p = 8
while p + 12 <= len(d):
    n, = struct.unpack('>I', d[p:p+4])
    assert struct.unpack('>I', d[p+8+n:p+12+n])[0] == zlib.crc32(d[p+4:p+8+n]), d[p+4:p+8]
    p += 12 + n
print('ok'))",
                                                          path});
        QCOMPARE(check.trimmed(), QByteArray("ok"));
    }
}

void TstMetadata::commentSizeLimits_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("accepted");
    // The APP1 length field counts itself, "Exif\0\0", the 52-byte minimal block and the 8-byte
    // character code: 65475 text bytes make 65535, one more would reach 65536.
    QTest::newRow("jpg largest") << "jpg" << 65475 << true;
    QTest::newRow("jpg one over") << "jpg" << 65476 << false;
    QTest::newRow("png large") << "png" << 300000 << true;
    QTest::newRow("tif large") << "tif-MM" << 300000 << true;
}

void TstMetadata::commentSizeLimits()
{
    QFETCH(QString, format);
    QFETCH(int, length);
    QFETCH(bool, accepted);
    const QString path =
        m_dir.filePath(QString("limit_%1_%2.%3").arg(format).arg(length).arg(format.left(3)));
    makePicture(format, path);
    const QByteArray before = readAll(path);
    const std::string text = base64Text(length, 'x');
    QCOMPARE(writeUserComment(path, text), accepted);
    std::string back;
    if (accepted) {
        QVERIFY(readUserComment(path, &back));
        QCOMPARE(back, text);
    } else {
        QCOMPARE(readAll(path), before);
    }
}

static QByteArray tiff(const QByteArray &afterHeader, char ifd0Offset = 8)
{
    return QByteArray("II*\0", 4) + QByteArray(1, ifd0Offset) + QByteArray(3, '\0') + afterHeader;
}

void TstMetadata::refusedFilesStayUntouched_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QImage(4, 4, QImage::Format_RGB32).save(m_dir.filePath("source.bmp"), "BMP");
    specimen().save(m_dir.filePath("source.png"), "PNG");
    const QByteArray png = readAll(m_dir.filePath("source.png"));
    const QByteArray iend = png.right(12);
    const QByteArray entry8769("\x69\x87\x04\x00\x01\x00\x00\x00", 8);

    QTest::newRow("bmp") << readAll(m_dir.filePath("source.bmp"));
    QTest::newRow("gif") << QByteArray("GIF89a\x04\x00\x04\x00\x00\x00\x00;", 14);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("jpg cut in header") << QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF", 10);
    QTest::newRow("jpg junk after SOI") << QByteArray("\xff\xd8\x12\x34\x56\x78\xff\xd9", 8);
    QTest::newRow("jpg bad EXIF") << QByteArray("\xff\xd8\xff\xe1\x00\x10"
                                                "Exif\0\0NOTATIFF\xff\xda\0\x02\xff\xd9",
                                                26);
    QTest::newRow("png cut before IEND") << png.left(png.size() - 12);
    QTest::newRow("png without IDAT") << png.left(33) + iend;
    QTest::newRow("tif IFD0 past end") << tiff(QByteArray(4, '\0'), 40);
    QTest::newRow("tif entries past end") << tiff(QByteArray("\xff\xff\0\0\0\0", 6));
    QTest::newRow("tif Exif IFD is IFD0")
        << tiff(QByteArray("\x01\x00", 2) + entry8769 + QByteArray("\x08\0\0\0\0\0\0\0", 8));
    QTest::newRow("tif Exif IFD past end")
        << tiff(QByteArray("\x01\x00", 2) + entry8769 + QByteArray("\xf0\0\0\0\0\0\0\0", 8));
    QTest::newRow("tif IFD0 full") // 65535 entries: one more does not fit the count
        << tiff(QByteArray("\xff\xff", 2) + QByteArray(65535 * 12 + 4, '\x01'));
}

void TstMetadata::refusedFilesStayUntouched()
{
    QFETCH(QByteArray, bytes);
    const QString path = m_dir.filePath("refused");
    writeAll(path, bytes);
    if (QLatin1String(QTest::currentDataTag()) == QLatin1String("bmp"))
        QCOMPARE(detectImageKind(path), ExifContainer::BmpImage);
    QVERIFY(!writeUserComment(path, base64Text(100, 'r')));
    QCOMPARE(readAll(path), bytes);
    QVERIFY(!QFileInfo::exists(path + ".velk_tmp"));
    std::string text;
    QVERIFY(!readUserComment(path, &text));
    QVERIFY(!writeUserComment(m_dir.filePath("missing/none.jpg"), "x"));
}

void TstMetadata::readerCharacterCodes_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("text");
    const QByteArray utf16("\x2d\x4e\x87\x65", 4); // "中文", little-endian UTF-16
    QTest::newRow("ascii") << QByteArray("ASCII\0\0\0abc", 11) << QByteArray("abc");
    QTest::newRow("unicode raw") << QByteArray("UNICODE\0", 8) + utf16 << utf16;
    QTest::newRow("jis") << QByteArray("JIS\0\0\0\0\0xyz", 11) << QByteArray("xyz");
    QTest::newRow("undefined") << QByteArray(8, '\0') + "u" << QByteArray("u");
    QTest::newRow("unknown code kept")
        << QByteArray("LATIN1\0\0ab", 10) << QByteArray("LATIN1\0\0ab", 10);
    QTest::newRow("inline short") << QByteArray("hey") << QByteArray("hey");
    QTest::newRow("code only") << QByteArray("ASCII\0\0\0", 8) << QByteArray();
}

void TstMetadata::readerCharacterCodes()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, text);
    std::string block = ExifContainer::minimalBlock(value.toStdString());
    std::string back;
    QVERIFY(ExifContainer::userComment(block.data(), block.size(), &back));
    QCOMPARE(QByteArray::fromStdString(back), text);
    if (value.size() > 4) { // a value that would run past the block is refused
        block.resize(block.size() - 1);
        QVERIFY(!ExifContainer::userComment(block.data(), block.size(), &back));
    }
}

void TstMetadata::pngExifAfterImageData()
{
    // Some writers put eXIf after the image data; it is updated where it is, never duplicated.
    const QString path = m_dir.filePath("late.png");
    makePicture("png", path);
    addCameraTags(path, m_dir.path());
    QByteArray bytes = readAll(path);
    const int exif = bytes.indexOf("eXIf") - 4;
    const int length = int(qFromBigEndian<quint32>(bytes.constData() + exif)) + 12;
    const QByteArray chunk = bytes.mid(exif, length);
    bytes.remove(exif, length);
    bytes.insert(bytes.size() - 12, chunk);
    writeAll(path, bytes);
    QVERIFY(bytes.indexOf("IDAT") < bytes.indexOf("eXIf"));
    const QStringList tagsBefore = exiftool(path).tags;

    const std::string text = base64Text(500, 'p');
    QVERIFY(writeUserComment(path, text));
    bytes = readAll(path);
    QCOMPARE(bytes.count("eXIf"), 1);
    QVERIFY(bytes.indexOf("IDAT") < bytes.indexOf("eXIf"));
    std::string back;
    QVERIFY(readUserComment(path, &back));
    QCOMPARE(back, text);
    const ExiftoolView after = exiftool(path);
    QCOMPARE(after.comment, QByteArray::fromStdString(text));
    QCOMPARE(after.tags, tagsBefore);
}

void TstMetadata::failedReplaceKeepsOriginal_data()
{
    QTest::addColumn<int>("step");
    QTest::newRow("write") << int(FailWrite);
    QTest::newRow("fsync") << int(FailFsync);
    QTest::newRow("close") << int(FailClose);
    QTest::newRow("rename") << int(FailRename);
}

void TstMetadata::failedReplaceKeepsOriginal()
{
    QFETCH(int, step);
    const QString path = m_dir.filePath("fail.jpg");
    makePicture("jpg", path);
    const QByteArray before = readAll(path);
    failingStep = FailingStep(step);
    QVERIFY(!writeUserComment(path, base64Text(300, 'f'), scriptedOps()));
    failingStep = FailNothing;
    QCOMPARE(readAll(path), before);
    QVERIFY(!QFileInfo::exists(path + ".velk_tmp"));
}

void TstMetadata::killedWriteKeepsOriginal()
{
    // The process dies after the temporary file is complete and synced, before the rename.
    const QString path = m_dir.filePath("killed.tif");
    makePicture("tif-II", path);
    const QByteArray before = readAll(path);
    const std::string text = base64Text(2000, 'k');
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        failingStep = KillAtRename;
        writeUserComment(path, text, scriptedOps());
        _exit(0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    QCOMPARE(readAll(path), before);
    std::string inTemp;
    QVERIFY(readUserComment(path + ".velk_tmp", &inTemp)); // the new content was complete
    QCOMPARE(inTemp, text);

    // The next save replaces the leftover temporary file and succeeds.
    QVERIFY(writeUserComment(path, text));
    QVERIFY(!QFileInfo::exists(path + ".velk_tmp"));
    std::string back;
    QVERIFY(readUserComment(path, &back));
    QCOMPARE(back, text);
}

void TstMetadata::replaceKeepsModeAndLink()
{
    const QString real = m_dir.filePath("real.png");
    const QString link = m_dir.filePath("link.png");
    makePicture("png", real);
    QVERIFY(::chmod(QFile::encodeName(real).constData(), 0640) == 0);
    QVERIFY(QFile::link(real, link));
    QVERIFY(writeUserComment(link, "linked"));
    QVERIFY(QFileInfo(link).isSymLink());
    std::string back;
    QVERIFY(readUserComment(real, &back));
    QCOMPARE(back, std::string("linked"));
    struct stat info;
    QVERIFY(::stat(QFile::encodeName(real).constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 07777), 0640);
}

QTEST_GUILESS_MAIN(TstMetadata)
#include "tst_metadata.moc"
