// tst_zipfolder.cpp: packing folders into ZIP archives and unpacking them safely.
#include "TestEnv.h"
#include "report/ZipFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <zip.h>

#include <sys/stat.h>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes an archive with libzip directly, so that entries our own writer never makes can be
// tried: names that leave the folder, symbolic links, directory entries.
struct RawEntry
{
    QByteArray name;
    QByteArray data;
    bool symlink = false;
};

void writeRawArchive(const QString &path, const QList<RawEntry> &entries)
{
    int error = 0;
    zip_t *archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    QVERIFY(archive);
    for (const RawEntry &entry : entries) {
        zip_int64_t index = -1;
        if (entry.name.endsWith('/')) {
            index = zip_dir_add(archive, entry.name.constData(), ZIP_FL_ENC_UTF_8);
        } else {
            zip_source_t *source = zip_source_buffer(archive, entry.data.constData(),
                                                     zip_uint64_t(entry.data.size()), 0);
            index = zip_file_add(archive, entry.name.constData(), source, ZIP_FL_ENC_UTF_8);
        }
        QVERIFY(index >= 0);
        if (entry.symlink)
            zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                             zip_uint32_t(S_IFLNK | 0777) << 16);
    }
    QCOMPARE(zip_close(archive), 0);
}

QStringList filesBelow(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder,
                    QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}

} // namespace

class TestZipFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnv::isolate(); }

    void roundTripKeepsNamesAndBytes()
    {
        QTemporaryDir work;
        const QString source = work.filePath("source");
        writeFile(source + "/word/document.xml", "<w:document/>");
        writeFile(source + "/[Content_Types].xml", "<Types/>");
        writeFile(source + "/.hidden", "dot");
        writeFile(source + "/媒体/图片.bin", QByteArray(70000, '\x5a') + QByteArray("tail"));
        writeFile(source + "/empty.txt", QByteArray());
        QDir().mkpath(source + "/no_files_here");

        const QString zip = work.filePath("out.zip");
        QString error;
        QVERIFY2(zipDirectory(source, zip, &error), qPrintable(error));

        // Entry names are relative with forward slashes; empty folders are not stored.
        int openError = 0;
        zip_t *archive = zip_open(QFile::encodeName(zip).constData(), ZIP_RDONLY, &openError);
        QVERIFY(archive);
        QStringList names;
        for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
            names << QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0));
        zip_discard(archive);
        QCOMPARE(names, QStringList({".hidden", "[Content_Types].xml", "empty.txt",
                                     "word/document.xml", "媒体/图片.bin"}));

        const QString target = work.filePath("target");
        QVERIFY2(unzipToDirectory(zip, target, &error), qPrintable(error));
        for (const QString &name : names)
            QCOMPARE(readFile(target + '/' + name), readFile(source + '/' + name));
    }

    // An empty folder packs into an empty archive; a directory entry unpacks as a folder.
    void foldersWithoutFiles()
    {
        QTemporaryDir work;
        QDir().mkpath(work.filePath("empty"));
        const QString zip = work.filePath("empty.zip");
        QVERIFY(zipDirectory(work.filePath("empty"), zip, nullptr));
        QVERIFY(unzipToDirectory(zip, work.filePath("out"), nullptr));
        QVERIFY(filesBelow(work.filePath("out")).isEmpty());

        writeRawArchive(zip, {{"customXml/", {}}, {"a/b.txt", "b"}});
        QVERIFY(unzipToDirectory(zip, work.filePath("dirs"), nullptr));
        QVERIFY(QFileInfo(work.filePath("dirs/customXml")).isDir());
        QCOMPARE(readFile(work.filePath("dirs/a/b.txt")), QByteArray("b"));
    }

    void packingFailuresAreReported()
    {
        QTemporaryDir work;
        const QString source = work.filePath("source");
        writeFile(source + "/ok.txt", "ok");
        QVERIFY(QFile::link(work.filePath("missing-target"), source + "/broken"));
        QString error;
        QVERIFY(!zipDirectory(source, work.filePath("out.zip"), &error));
        QCOMPARE(error, QString("读取失败: %1").arg(source + "/broken"));
        QVERIFY(!QFile::exists(work.filePath("out.zip")));

        QFile::remove(source + "/broken");
        const QString unreachable = work.filePath("no/such/folder/out.zip");
        QVERIFY(!zipDirectory(source, unreachable, &error));
        QCOMPARE(error, QString("无法创建 ZIP: %1").arg(unreachable));

        const QString notZip = work.filePath("not.zip");
        writeFile(notZip, "this is not an archive");
        QVERIFY(!unzipToDirectory(notZip, work.filePath("out"), &error));
        QCOMPARE(error, QString("无法打开 ZIP 文件: %1").arg(notZip));
    }

    void entriesLeavingTheFolderAreRefused_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("symlink");
        QTest::newRow("parent") << QByteArray("../escaped.txt") << false;
        QTest::newRow("nested parent") << QByteArray("word/../../escaped.txt") << false;
        QTest::newRow("absolute") << QByteArray("/tmp/escaped.txt") << false;
        QTest::newRow("backslash parent") << QByteArray("..\\escaped.txt") << false;
        QTest::newRow("drive") << QByteArray("C:/escaped.txt") << false;
        QTest::newRow("symlink") << QByteArray("link") << true;
    }

    void entriesLeavingTheFolderAreRefused()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, symlink);
        QTemporaryDir work;
        const QString zip = work.filePath("evil.zip");
        writeRawArchive(zip, {{"first.txt", "fine"}, {name, "/etc/passwd", symlink}});
        const QString target = work.filePath("nest/target");
        QString error;
        QVERIFY(!unzipToDirectory(zip, target, &error));
        QCOMPARE(error, QString("ZIP 条目路径不安全，已拒绝: %1").arg(QString::fromUtf8(name)));
        // Nothing but the target folder and its harmless first entry exists.
        QCOMPARE(filesBelow(work.path()),
                 QStringList({"evil.zip", "nest", "nest/target", "nest/target/first.txt"}));
    }

    void bombsAreRefused()
    {
        QTemporaryDir work;
        const QString zip = work.filePath("bomb.zip");
        writeRawArchive(zip, {{"big.bin", QByteArray(4 * 1024 * 1024, '\0')}});
        QVERIFY(QFileInfo(zip).size() < 64 * 1024);

        // Inflating beyond the entry limit stops before anything is written.
        UnzipLimits small;
        small.maxEntrySize = 1024 * 1024;
        QString error;
        QVERIFY(!unzipToDirectory(zip, work.filePath("a"), &error, small));
        QCOMPARE(error, QString("ZIP 条目解压后过大，已拒绝: big.bin"));
        QVERIFY(!QFile::exists(work.filePath("a/big.bin")));

        UnzipLimits total;
        total.maxTotalSize = 2 * 1024 * 1024;
        QVERIFY(!unzipToDirectory(zip, work.filePath("b"), &error, total));
        QVERIFY(!QFile::exists(work.filePath("b/big.bin")));

        // An entry that claims gigabytes is refused by the default limits before inflating.
        QByteArray bytes = readFile(zip);
        const quint32 huge = 0xF0000000u;
        for (const auto &[signature, offset] : {std::pair<QByteArray, int>{"PK\x03\x04", 22},
                                                std::pair<QByteArray, int>{"PK\x01\x02", 24}}) {
            const int at = bytes.indexOf(signature);
            QVERIFY(at >= 0);
            qToLittleEndian(huge, bytes.data() + at + offset);
        }
        writeFile(zip, bytes);
        QVERIFY(!unzipToDirectory(zip, work.filePath("c"), &error));
        QCOMPARE(error, QString("ZIP 条目解压后过大，已拒绝: big.bin"));
        QVERIFY(!QFile::exists(work.filePath("c/big.bin")));
    }
};

QTEST_GUILESS_MAIN(TestZipFolder)
#include "tst_zipfolder.moc"
