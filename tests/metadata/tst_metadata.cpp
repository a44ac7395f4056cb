// Tests of the EXIF UserComment container: round trips judged by exiftool, files it must refuse
// untouched, the character codes of the reader and the atomic replace when a write fails.
#include <QtTest>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
#include "metadata/PixelSize.h"

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

// One exiftool run for several files, as starting exiftool costs more than reading a file.
QList<ExiftoolView> exiftool(const QStringList &paths)
{
    QList<ExiftoolView> views;
    const QString output =
        QString::fromUtf8(run("exiftool", QStringList{"-a", "-G1", "-s"} + paths));
    for (const QString &line : output.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("======== ") || views.isEmpty())
            views.append(ExiftoolView());
        if (line.contains(" UserComment "))
            views.last().comment = line.mid(line.indexOf(": ") + 2).toUtf8();
        else if (!line.startsWith("[System]") && !line.startsWith("======== ") &&
                 !line.contains(" image files read"))
            views.last().tags << line;
    }
    return views;
}

ExiftoolView exiftool(const QString &path)
{
    const QList<ExiftoolView> views = exiftool(QStringList{path});
    return views.isEmpty() ? ExiftoolView() : views.first();
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

// A maker note as cameras write it: an IFD whose text values lie behind it and are addressed
// from the start of the TIFF structure, so that moving it would break them.
QByteArray makerNote(bool bigEndian, quint32 base)
{
    const QByteArray texts[] = {QByteArray("Canon EOS 5D Test Image", 24),
                                QByteArray("Microscopist Lab Seven\0", 24)};
    QByteArray note;
    auto put16 = [&](quint16 v) {
        note.append(char(bigEndian ? v >> 8 : v)).append(char(bigEndian ? v : v >> 8));
    };
    auto put32 = [&](quint32 v) {
        put16(quint16(bigEndian ? v >> 16 : v));
        put16(quint16(bigEndian ? v : v >> 16));
    };
    const quint32 valuesAt = base + 2 + 3 * 12 + 4;
    put16(3);
    put16(0x0006), put16(2), put32(24), put32(valuesAt);      // image type
    put16(0x0009), put16(2), put32(24), put32(valuesAt + 24); // owner name
    put16(0x0010), put16(4), put32(1), put32(0x80000234);     // model id
    put32(0);
    return note + texts[0] + texts[1];
}

// A picture of `format` as a camera writes it: exposure, orientation, GPS and a thumbnail in IFD1
// where the format carries one. A JPEG ("jpg-MM" for big-endian EXIF) also gets a maker note with
// offsets into the block and, where asked, the camera's own UserComment. exiftool writes the
// tags; the maker note's offsets are then set to where it landed.
void makeCameraPicture(const QString &format, const QString &path, bool cameraComment = false)
{
    const bool jpeg = format.startsWith("jpg");
    const bool bigEndian = format.endsWith("MM");
    makePicture(format.startsWith("tif") ? format : format.left(3), path);
    const QString thumb = path + ".thumb.jpg";
    QVERIFY(specimen().scaled(24, 16).save(thumb, "JPG"));
    QStringList arguments = QString("-q|-overwrite_original|-Make=Canon|-Model=Canon EOS 5D|"
                                    "-Orientation#=6|-ExposureTime=0.01|-FNumber=5.6|-ISO=400|"
                                    "-DateTimeOriginal=2024:03:05 10:11:12|-GPSLatitude=47.5|"
                                    "-GPSLatitudeRef=N|-GPSLongitude=8.25|-GPSLongitudeRef=E")
                                .split('|');
    arguments << "-ThumbnailImage<=" + thumb;
    if (jpeg)
        arguments << (bigEndian ? "-ExifByteOrder=Big-endian" : "-ExifByteOrder=Little-endian");
    if (cameraComment)
        arguments << "-UserComment=" + QString(300, 'c');
    run("exiftool", arguments << path);
    if (!jpeg)
        return;
    const QString note = path + ".makernote";
    writeAll(note, makerNote(bigEndian, 0));
    run("exiftool", {"-q", "-overwrite_original", "-MakerNotes<=" + note, path});

    QByteArray bytes = readAll(path);
    const int tiff = bytes.indexOf(QByteArray("Exif\0\0", 6)) + 6;
    const int values = bytes.indexOf("Canon EOS 5D Test Image");
    QVERIFY(tiff > 6 && values > tiff);
    const int start = values - (2 + 3 * 12 + 4);
    const QByteArray placed = makerNote(bigEndian, quint32(start - tiff));
    bytes.replace(start, placed.size(), placed);
    writeAll(path, bytes);
    const QByteArray check = run("exiftool", {"-s3", "-OwnerName", "-Warning", path});
    QCOMPARE(check.trimmed(), QByteArray("Microscopist Lab Seven"));
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
enum FailingStep {
    FailNothing,
    FailWrite,
    FailCopy,
    FailFsync,
    FailClose,
    FailRename,
    KillAtRename,
    NoKernelCopy, // the file systems cannot copy between the two files
};
FailingStep failingStep = FailNothing;
int renames = 0; // replaces made through scriptedOps()

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
    ops.copyRange = [](int from, off_t *fromOffset, int to, size_t size) -> ssize_t {
        if (failingStep == FailCopy || failingStep == NoKernelCopy) {
            errno = failingStep == FailCopy ? EIO : EXDEV;
            return -1;
        }
        return ::copy_file_range(from, fromOffset, to, nullptr, size, 0);
    };
    ops.fsync = [](int fd) { return failingStep == FailFsync ? (errno = EIO, -1) : ::fsync(fd); };
    ops.close = [](int fd) {
        const int result = ::close(fd);
        return failingStep == FailClose ? (errno = EIO, -1) : result;
    };
    ops.rename = [](const char *from, const char *to) {
        if (failingStep == KillAtRename)
            ::raise(SIGKILL);
        ++renames;
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
    void refusedFilesStayUntouched_data();
    void refusedFilesStayUntouched();
    void readerCharacterCodes_data();
    void readerCharacterCodes();
    void growingDrawingKeepsFitting_data();
    void growingDrawingKeepsFitting();
    void failedReplaceKeepsOriginal_data();
    void failedReplaceKeepsOriginal();
    void killedWriteKeepsOriginal();
    void replaceWithoutKernelCopyKeepsModeAndLink();
    void pixelSizeReadByOtherPrograms_data();
    void pixelSizeReadByOtherPrograms();
    void pixelSizeFromOtherPrograms_data();
    void pixelSizeFromOtherPrograms();

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
    if (cameraTags)
        makeCameraPicture(format, path);
    else
        makePicture(format, path);
    const QStringList tagsBefore = exiftool(path).tags;
    QCOMPARE(!tagsBefore.filter(" Canon EOS 5D").isEmpty(), cameraTags);
    const QImage pixelsBefore(path);
    QVERIFY(!pixelsBefore.isNull());
    QCOMPARE(int(detectImageKind(path)), kind == "png" ? 2 : kind == "jpg" ? 1 : 3);

    // A first comment, a shorter one over it, then a longer one: the file shrinks and grows by
    // exactly the difference, so that a replaced comment never stays behind.
    const std::string texts[] = {base64Text(6000, 'a'), base64Text(1200, 'b'),
                                 base64Text(kind == "jpg" ? 9000 : 300000, 'c')};
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
        if (&text != &texts[0])
            QCOMPARE(size - previousSize, qint64(text.size()) - qint64((&text - 1)->size()));
        previousSize = size;
    }

    QByteArray bytes = readAll(path);
    if (kind == "jpg" && !cameraTags) { // a new EXIF segment goes straight after start-of-image
        QCOMPARE(bytes.mid(2, 2), QByteArray("\xff\xe1"));
        // The APP1 length field counts itself, "Exif\0\0", the 52-byte block and the 8-byte
        // character code: 65475 text bytes make 65535, one more would reach 65536.
        const std::string largest = base64Text(65475, 'x');
        std::string back;
        QVERIFY(writeUserComment(path, largest) && readUserComment(path, &back));
        QCOMPARE(back, largest);
        bytes = readAll(path);
        WriteError error;
        QVERIFY(!writeUserComment(path, largest + "x", FileOps::system(), &error));
        QCOMPARE(int(error.reason), int(WriteError::JpegSegmentFull));
        QCOMPARE(error.room, largest.size());
        QCOMPARE(readAll(path), bytes);
    }
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

void TstMetadata::growingDrawingKeepsFitting_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("cameraComment");
    QTest::newRow("jpg II maker note") << "jpg-II" << false;
    QTest::newRow("jpg MM maker note, camera comment") << "jpg-MM" << true;
    QTest::newRow("png camera") << "png" << false;
    // Some writers put eXIf after the image data: it is updated where it is, never duplicated.
    QTest::newRow("png camera, eXIf after IDAT") << "png-late" << false;
    QTest::newRow("tif-II camera") << "tif-II" << false;
    QTest::newRow("tif-MM camera") << "tif-MM" << false;
}

void TstMetadata::growingDrawingKeepsFitting()
{
    // A picture measured, saved, measured more and saved again: each save must fit wherever it
    // fits in a fresh copy, keep every tag of the camera, and leave the file as large as a fresh
    // copy with the last drawing.
    QFETCH(QString, format);
    QFETCH(bool, cameraComment);
    const QString kind = format.left(3);
    const QString original = m_dir.filePath("chain_original." + kind);
    const QString chain = m_dir.filePath("chain." + kind);
    const QString fresh = m_dir.filePath("chain_fresh." + kind);
    makeCameraPicture(format, original, cameraComment);
    if (format == "png-late") {
        QByteArray bytes = readAll(original);
        const int exif = bytes.indexOf("eXIf") - 4;
        const int length = int(qFromBigEndian<quint32>(bytes.constData() + exif)) + 12;
        const QByteArray chunk = bytes.mid(exif, length);
        bytes.remove(exif, length);
        writeAll(original, bytes.insert(bytes.size() - 12, chunk));
    }
    QFile::remove(chain);
    QVERIFY(QFile::copy(original, chain));
    const QStringList tagsBefore = exiftool(original).tags;
    const QByteArray thumbnail = run("exiftool", {"-b", "-ThumbnailImage", original});
    QVERIFY(thumbnail.startsWith("\xff\xd8") || kind == "tif");

    QStringList steps;
    std::vector<std::string> texts;
    for (const int length : {2000, 20000, 2000, 60000}) {
        texts.push_back(base64Text(length, char('a' + length % 7)));
        QFile::remove(fresh);
        QVERIFY(QFile::copy(original, fresh));
        const bool fitsFresh = writeUserComment(fresh, texts.back());
        QVERIFY(fitsFresh || kind == "jpg");
        QCOMPARE(writeUserComment(chain, texts.back()), fitsFresh);
        QCOMPARE(QFileInfo(chain).size(), QFileInfo(fresh).size());
        steps << m_dir.filePath(QString("chain_step%1.%2").arg(steps.size()).arg(kind));
        QFile::remove(steps.last());
        QVERIFY(QFile::copy(chain, steps.last()));
    }
    const QList<ExiftoolView> views = exiftool(steps);
    QCOMPARE(views.size(), steps.size());
    for (int i = 0; i < steps.size(); ++i) {
        QCOMPARE(views[i].comment, QByteArray::fromStdString(texts[std::size_t(i)]));
        QCOMPARE(views[i].tags, tagsBefore);
    }
    QCOMPARE(run("exiftool", {"-b", "-ThumbnailImage", chain}), thumbnail);
    if (kind == "png") {
        const QByteArray bytes = readAll(chain);
        QCOMPARE(bytes.count("eXIf"), 1);
        QCOMPARE(bytes.indexOf("IDAT") < bytes.indexOf("eXIf"), format == "png-late");
    }

    if (kind == "jpg") { // a drawing that cannot fit is refused with the room the picture has
        WriteError error;
        QVERIFY(!writeUserComment(chain, base64Text(70000, 'z'), FileOps::system(), &error));
        QCOMPARE(int(error.reason), int(WriteError::JpegSegmentFull));
        const std::string largest = base64Text(int(error.room), 'y');
        QVERIFY(error.room > 60000);
        QVERIFY(writeUserComment(chain, largest));
        const QByteArray before = readAll(chain);
        QVERIFY(!writeUserComment(chain, largest + "y", FileOps::system(), &error));
        QCOMPARE(error.room, largest.size());
        QCOMPARE(readAll(chain), before);
        QCOMPARE(exiftool(chain).tags, tagsBefore);
    }
}

void TstMetadata::failedReplaceKeepsOriginal_data()
{
    QTest::addColumn<int>("step");
    QTest::newRow("write") << int(FailWrite);
    QTest::newRow("copy") << int(FailCopy);
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
    const std::string text = base64Text(300, 'f');
    // The comment alone; a calibrated save's one replace, where neither the drawing nor the pixel
    // size lands; a picture encoded in memory, which is written, not copied.
    for (int call = 0; call < (step == FailCopy ? 2 : 3); ++call) {
        WriteError error, pixelSizeError;
        failingStep = FailingStep(step);
        const bool written =
            call == 0   ? writeUserComment(path, text, scriptedOps(), &error)
            : call == 1 ? writeCommentAndPixelSize(path, text, 2.5e6, scriptedOps(), &error,
                                                   &pixelSizeError)
                        : writePicture(path, before.constData(), std::size_t(before.size()), &text,
                                       2.5e6, scriptedOps(), &error, &pixelSizeError);
        failingStep = FailNothing;
        QVERIFY(!written);
        QCOMPARE(int(error.reason), int(WriteError::CannotWrite));
        QCOMPARE(int(pixelSizeError.reason),
                 int(call ? WriteError::CannotWrite : WriteError::None));
        QCOMPARE(readAll(path), before);
        QVERIFY(!QFileInfo::exists(path + ".velk_tmp"));
    }
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

void TstMetadata::replaceWithoutKernelCopyKeepsModeAndLink()
{
    // Where the kernel cannot copy between the files, the unchanged runs are written from memory.
    // Saved through a link, the file it points to is replaced with its permission bits.
    const QString real = m_dir.filePath("nocopy.tif");
    const QString link = m_dir.filePath("link.tif");
    makePicture("tif-MM", real);
    QVERIFY(::chmod(QFile::encodeName(real).constData(), 0640) == 0);
    QVERIFY(QFile::link(real, link));
    const QImage pixels(real);
    const std::string text = base64Text(3000, 'n');
    failingStep = NoKernelCopy;
    const bool written = writeUserComment(link, text, scriptedOps());
    failingStep = FailNothing;
    QVERIFY(written);
    QVERIFY(QFileInfo(link).isSymLink());
    std::string back;
    QVERIFY(readUserComment(real, &back));
    QCOMPARE(back, text);
    QCOMPARE(QImage(real), pixels);
    struct stat info;
    QVERIFY(::stat(QFile::encodeName(real).constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 07777), 0640);
}

void TstMetadata::pixelSizeReadByOtherPrograms_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<double>("pixelsPerMetre");
    QTest::addColumn<QString>("description"); // of the file's own, kept
    QTest::addColumn<bool>("drawing");        // saved with a drawing, in one replace
    QTest::newRow("tif-II 1 um") << "tif-II" << 1e6 << QString() << false;
    QTest::newRow("tif-MM 0.4 um, own description") << "tif-MM" << 2.5e6 << "Specimen 42" << false;
    QTest::newRow("tif-II ten digits") << "tif-II" << 1234567.891 << QString() << false;
    QTest::newRow("tif ImageJ's own, in um") << "tif-imagej" << 1e6 << QString() << false;
    QTest::newRow("png 1 um") << "png" << 1e6 << QString() << false;
    QTest::newRow("png ten digits") << "png" << 1234567.891 << QString() << false;
    QTest::newRow("jpg JFIF only") << "jpg" << 2.5e6 << QString() << false;
    QTest::newRow("jpg camera EXIF") << "jpg-camera" << 1234567.891 << QString() << false;
    QTest::newRow("jpg camera, beyond JFIF") << "jpg-camera" << 4e7 << QString() << false;
    QTest::newRow("drawing: tif-II 1 um") << "tif-II" << 1e6 << QString() << true;
    QTest::newRow("drawing: tif-MM, own description") << "tif-MM" << 2.5e6 << "Specimen 42" << true;
    QTest::newRow("drawing: tif ImageJ's own") << "tif-imagej" << 1e6 << QString() << true;
    QTest::newRow("drawing: png") << "png" << 1234567.891 << QString() << true;
    QTest::newRow("drawing: jpg JFIF only") << "jpg" << 2.5e6 << QString() << true;
    QTest::newRow("drawing: jpg camera, beyond JFIF") << "jpg-camera" << 4e7 << QString() << true;
}

void TstMetadata::pixelSizeReadByOtherPrograms()
{
    // tifffile, Pillow and exiftool, not our reader, judge what the file says.
    QFETCH(QString, format);
    QFETCH(double, pixelsPerMetre);
    QFETCH(QString, description);
    QFETCH(bool, drawing);
    const QString kind = format.left(3);
    const QString path = m_dir.filePath("scale." + kind);
    QFile::remove(path);
    if (format == "jpg-camera")
        makeCameraPicture("jpg", path);
    else if (format == "tif-imagej") // calibrated at 2 pixels per micrometre by ImageJ's rules
        run("/usr/bin/python3", {"-c",
                                 "import sys, numpy, tifffile; tifffile.imwrite(sys.argv[1], "
                                 "numpy.zeros((8, 8), 'uint8'), imagej=True, resolution="
                                 "(2, 2), metadata={'unit': 'um'})",
                                 path});
    else
        makePicture(format, path);
    if (!description.isEmpty())
        run("exiftool", {"-q", "-overwrite_original", "-ImageDescription=" + description, path});
    const QImage pixels(path);
    QStringList tagsBefore = exiftool(path).tags;
    const std::string text = base64Text(3000, 'd');
    // The picture as an encoder hands it over, in memory: written once with what the edits add.
    const QByteArray encoded = readAll(path);
    const QString once = m_dir.filePath("once." + kind);
    QVERIFY(writePicture(once, encoded.constData(), std::size_t(encoded.size()),
                         drawing ? &text : nullptr, pixelsPerMetre));
    if (drawing) {
        // One replace gives the file that the two single edits give, with two.
        const QString twice = m_dir.filePath("twice." + kind);
        QFile::remove(twice);
        QVERIFY(QFile::copy(path, twice));
        QVERIFY(writeUserComment(twice, text) && writePixelSize(twice, pixelsPerMetre));
        struct stat before, after;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
        renames = 0;
        WriteError pixelSizeError;
        QVERIFY(writeCommentAndPixelSize(path, text, pixelsPerMetre, scriptedOps(), nullptr,
                                         &pixelSizeError));
        QCOMPARE(int(pixelSizeError.reason), int(WriteError::None));
        QCOMPARE(renames, 1);
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
        QVERIFY(after.st_ino != before.st_ino);
        QCOMPARE(readAll(path), readAll(twice));
        QCOMPARE(exiftool(path).comment, QByteArray::fromStdString(text));
    } else {
        QVERIFY(writePixelSize(path, pixelsPerMetre));
    }
    QCOMPARE(readAll(once), readAll(path));
    QCOMPARE(QImage(path), pixels);

    // Our reader gets back what was written, to the precision of the format.
    const double perCm = pixelsPerMetre / 100;
    PixelSize::Reading back;
    QVERIFY(readPixelSize(path, &back));
    const double expected = kind == "png"     ? std::round(pixelsPerMetre)
                            : format == "jpg" ? 100 * std::round(perCm)
                                              : pixelsPerMetre;
    QVERIFY2(std::fabs(back.xPerMetre - expected) <= 1e-9 * expected,
             qPrintable(QString::number(back.xPerMetre, 'g', 12)));
    QCOMPARE(back.yPerMetre, back.xPerMetre);

    const QByteArray judged = run("/usr/bin/python3", {"-c", R"(
import json, sys
from PIL import Image
path = sys.argv[1]; out = {}
im = Image.open(path)
if 'dpi' in im.info: out['dpi'] = float(im.info['dpi'][0])
if 'jfif_unit' in im.info: out['jfif'] = [im.info['jfif_unit'], *im.info['jfif_density']]
exif = im.getexif()
if 282 in exif: out['exif'] = [float(exif[282]), float(exif[283]), exif[296]]
if path.endswith('.tif'):
    import tifffile
    with tifffile.TiffFile(path) as tif:
        page = tif.pages[0]
        x, y = page.tags['XResolution'].value, page.tags['YResolution'].value
        out['tiff'] = [x[0], x[1], y[0], y[1], int(page.tags['ResolutionUnit'].value)]
        out['micrometres'] = 1e4 * x[1] / x[0]
        out['imagej'] = (tif.imagej_metadata or {}).get('unit')
        out['description'] = page.description
print(json.dumps(out)))",
                                                       path});
    const QJsonObject read = QJsonDocument::fromJson(judged).object();
    QVERIFY2(!read.isEmpty(), judged.constData());
    auto near = [](double a, double b) { return std::fabs(a - b) <= 1e-9 * std::fabs(b); };
    if (kind == "tif") {
        const QJsonArray r = read["tiff"].toArray();
        QVERIFY2(near(r[0].toDouble() / r[1].toDouble(), perCm), judged.constData());
        QCOMPARE(r[2].toDouble() / r[3].toDouble(), r[0].toDouble() / r[1].toDouble());
        QCOMPARE(r[4].toInt(), 3); // centimetre
        QVERIFY(near(read["micrometres"].toDouble(), 1e6 / pixelsPerMetre));
        if (pixelsPerMetre == 1e6) // 10000/1 per centimetre: exactly one micrometre
            QCOMPARE(read["micrometres"].toDouble(), 1.0);
        const QString own = read["description"].toString();
        if (format == "tif-imagej") // ImageJ's lines stay, its unit follows the resolution
            QVERIFY2(own.contains("\nmode=grayscale") && own.endsWith("\nunit=cm"),
                     qPrintable(own));
        else // tifffile drops the closing line feed
            QCOMPARE(own, description.isEmpty() ? QString(PixelSize::ImageJDescription).trimmed()
                                                : description);
        QCOMPARE(read["imagej"].toString(), description.isEmpty() ? "cm" : "");
    } else if (kind == "png") {
        QVERIFY2(near(read["dpi"].toDouble() / 0.0254, std::round(pixelsPerMetre)),
                 judged.constData());
    } else {
        const bool fitsJfif = perCm <= 65535;
        const QJsonArray jfif = read["jfif"].toArray();
        // Dots per centimetre, or beyond 16 bits no unit, rather than the writer's 72 dpi.
        QCOMPARE(jfif[0].toInt(), fitsJfif ? 2 : 0);
        QCOMPARE(jfif[1].toDouble(), fitsJfif ? std::round(perCm) : 1.0);
        const QJsonArray exif = read["exif"].toArray();
        QCOMPARE(exif.isEmpty(), format == "jpg" && !drawing); // a drawing brings EXIF
        if (!exif.isEmpty()) {
            QVERIFY2(near(exif[0].toDouble(), perCm) && near(exif[1].toDouble(), perCm),
                     judged.constData());
            QCOMPARE(exif[2].toInt(), 3);
        }
    }

    // exiftool agrees, and every other tag (the thumbnail's resolution in IFD1 too) stays.
    const QString written = "IFD0|JFIF|PNG-pHYs";
    const QRegularExpression scaleTag("^\\[(" + written +
                                      ")\\] +((X|Y)Resolution|ResolutionUnit|PixelsPerUnit(X|Y)|"
                                      "PixelUnits|ImageDescription) ");
    QStringList tagsAfter = exiftool(path).tags;
    if (drawing) { // the byte order of the EXIF block that the drawing may bring
        const QRegularExpression notByteOrder("^(?!.* ExifByteOrder )");
        tagsBefore = tagsBefore.filter(notByteOrder);
        tagsAfter = tagsAfter.filter(notByteOrder);
    }
    const QStringList scale = tagsAfter.filter(scaleTag);
    for (const QString &line : scale.filter(QRegularExpression("(X|Y)Resolution "))) {
        const double value = line.mid(line.indexOf(": ") + 2).toDouble();
        const double shown = line.startsWith("[JFIF]") && perCm > 65535 ? 1 : perCm;
        QVERIFY2(std::fabs(value - shown) <= 0.5 + 1e-6 * shown, qPrintable(line));
    }
    QVERIFY2(scale.filter(kind == "png" ? "PixelUnits" : "ResolutionUnit").size() ==
                 (format == "jpg-camera" || (format == "jpg" && drawing) ? 2 : 1),
             qPrintable(scale.join('\n')));
    const QRegularExpression otherTag("^(?!(" + scaleTag.pattern().mid(1) + "))");
    QCOMPARE(tagsAfter.filter(otherTag), tagsBefore.filter(otherTag));

    // Sizes no format can record are refused, the file untouched.
    const QByteArray bytes = readAll(path);
    for (const double refused : {0.0, -1e6, qInf(), 1e12}) {
        WriteError error;
        QVERIFY(!writePixelSize(path, refused, FileOps::system(), &error));
        QCOMPARE(int(error.reason), int(WriteError::OutOfRange));
    }
    QCOMPARE(readAll(path), bytes);
    if (drawing) { // with a drawing, the drawing alone is saved
        const QString twice = m_dir.filePath("twice." + kind);
        QVERIFY(QFile::remove(twice) && QFile::copy(path, twice));
        QVERIFY(writeUserComment(twice, "refused"));
        WriteError pixelSizeError;
        QVERIFY(writeCommentAndPixelSize(path, "refused", 1e12, FileOps::system(), nullptr,
                                         &pixelSizeError));
        QCOMPARE(int(pixelSizeError.reason), int(WriteError::OutOfRange));
        QCOMPARE(readAll(path), readAll(twice));
    }
}

void TstMetadata::pixelSizeFromOtherPrograms_data()
{
    // Python statements that write `path` with Pillow or tifffile, and what our reader finds.
    QTest::addColumn<QString>("make");
    QTest::addColumn<double>("pixelsPerMetre"); // 0: no pixel size
    QTest::addColumn<int>("source");
    const QString imagej = "tifffile.imwrite(path, data, imagej=True, resolution=(%1, %1), "
                           "metadata={'unit': '%2'})";
    QTest::newRow("ImageJ um") << imagej.arg(2).arg("um") << 2e6 << int(PixelSize::Source::ImageJ);
    QTest::newRow("ImageJ micron")
        << imagej.arg(0.5).arg("micron") << 5e5 << int(PixelSize::Source::ImageJ);
    // ImageJ's unit holds at any size: a stereo microscope's 2 mm pixels are no print setting.
    QTest::newRow("ImageJ mm") << imagej.arg(0.5).arg("mm") << 500.0
                               << int(PixelSize::Source::ImageJ);
    QTest::newRow("ImageJ pixel") << imagej.arg(1).arg("pixel") << 0.0 << 0;
    QTest::newRow("tif cm") << "tifffile.imwrite(path, data, resolution=(10000, 10000), "
                               "resolutionunit='CENTIMETER')"
                            << 1e6 << int(PixelSize::Source::Tiff);
    QTest::newRow("tif 300 dpi") << "tifffile.imwrite(path, data, resolution=(300, 300), "
                                    "resolutionunit='INCH')"
                                 << 0.0 << 0;
    QTest::newRow("png 25400 dpi")
        << "image.save(path, dpi=(25400, 25400))" << 1e6 << int(PixelSize::Source::Png);
    QTest::newRow("png 96 dpi") << "image.save(path, dpi=(96, 96))" << 0.0 << 0;
    QTest::newRow("jpg JFIF 25400 dpi")
        << "image.save(path, dpi=(25400, 25400))" << 1e6 << int(PixelSize::Source::Jfif);
    QTest::newRow("jpg EXIF cm over JFIF 72 dpi")
        << "exif = Image.Exif(); exif[282] = exif[283] = TiffImagePlugin.IFDRational(40000, 1); "
           "exif[296] = 3; image.save(path, dpi=(72, 72), exif=exif.tobytes())"
        << 4e6 << int(PixelSize::Source::Exif);
    QTest::newRow("jpg 72 dpi") << "image.save(path, dpi=(72, 72))" << 0.0 << 0;
}

void TstMetadata::pixelSizeFromOtherPrograms()
{
    QFETCH(QString, make);
    QFETCH(double, pixelsPerMetre);
    QFETCH(int, source);
    const QString tag = QTest::currentDataTag();
    const QString suffix = tag.startsWith("ImageJ") ? "tif" : tag.left(3);
    const QString path = m_dir.filePath(QString(tag).replace(' ', '_') + "." + suffix);
    const QByteArray out =
        run("/usr/bin/python3", {"-c",
                                 "import sys, numpy, tifffile\n"
                                 "from PIL import Image, TiffImagePlugin\n"
                                 "path = sys.argv[1]; data = numpy.zeros((8, 8), 'uint8')\n"
                                 "image = Image.new('RGB', (8, 8))\n" +
                                     make + "\nprint('made')",
                                 path});
    QCOMPARE(out.trimmed(), QByteArray("made"));
    PixelSize::Reading reading;
    const bool found = readPixelSize(path, &reading);
    QCOMPARE(found, pixelsPerMetre > 0);
    if (!found)
        return;
    QCOMPARE(int(reading.source), source);
    QVERIFY2(std::fabs(reading.xPerMetre - pixelsPerMetre) <= 1e-9 * pixelsPerMetre,
             qPrintable(QString::number(reading.xPerMetre, 'g', 12)));
    QCOMPARE(reading.yPerMetre, reading.xPerMetre);
}

QTEST_GUILESS_MAIN(TstMetadata)
#include "tst_metadata.moc"
