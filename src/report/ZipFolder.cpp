#include "report/ZipFolder.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>

#include <zip.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    qWarning().noquote() << "ZipFolder:" << message;
    return false;
}

struct ArchiveCloser
{
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser
{
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

// Turns the entry name into a clean relative path (empty for the folder itself); false when the
// name is absolute, names a drive, or has a ".." segment. Backslashes count as separators too,
// since archives made on Windows may use them.
bool safeRelativePath(const QString &name, QString *relative)
{
    if (name.isEmpty() || name.startsWith('/') || name.startsWith('\\'))
        return false;
    QStringList kept;
    const QStringList segments = name.split(QRegularExpression(QStringLiteral("[/\\\\]")));
    for (int i = 0; i < segments.size(); ++i) {
        const QString &segment = segments.at(i);
        if (segment == QLatin1String(".."))
            return false;
        if (i == 0 && segment.contains(':'))
            return false;
        if (segment.isEmpty() || segment == QLatin1String("."))
            continue;
        kept << segment;
    }
    *relative = kept.join('/');
    return true;
}

bool isSymlinkEntry(zip_t *archive, zip_uint64_t index)
{
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0)
        return false;
    return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

// True when the existing folder lies in root (already canonical) or is root itself; a symbolic
// link planted below root cannot redirect writes elsewhere.
bool staysInside(const QString &folder, const QString &root)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return !canonical.isEmpty() && (canonical == root || canonical.startsWith(root + '/'));
}

QString unsafeEntryMessage(const QString &name)
{
    return QCoreApplication::translate("ZipFolder", "ZIP 条目路径不安全，已拒绝: %1").arg(name);
}

QString oversizedEntryMessage(const QString &name)
{
    return QCoreApplication::translate("ZipFolder", "ZIP 条目解压后过大，已拒绝: %1").arg(name);
}

} // namespace

bool unzipToDirectory(const QString &zipPath, const QString &targetDir, QString *error)
{
    return unzipToDirectory(zipPath, targetDir, error, UnzipLimits());
}

bool unzipToDirectory(const QString &zipPath, const QString &targetDir, QString *error,
                      const UnzipLimits &limits)
{
    int openError = 0;
    Archive archive(zip_open(QFile::encodeName(zipPath).constData(), ZIP_RDONLY, &openError));
    if (!archive)
        return fail(error,
                    QCoreApplication::translate("ZipFolder", "无法打开 ZIP 文件: %1").arg(zipPath));

    if (!QDir().mkpath(targetDir))
        return fail(error, QCoreApplication::translate("ZipFolder", "无法写入: %1").arg(targetDir));
    const QString root = QFileInfo(targetDir).canonicalFilePath();

    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    qint64 total = 0;
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), zip_uint64_t(index), 0, &stat) != 0 || !stat.name)
            continue;
        const QString name = QString::fromUtf8(stat.name);
        QString relative;
        if (!safeRelativePath(name, &relative) ||
            isSymlinkEntry(archive.get(), zip_uint64_t(index)))
            return fail(error, unsafeEntryMessage(name));

        const QString destination = root + '/' + relative;
        if (name.endsWith('/') || name.endsWith('\\')) {
            if (relative.isEmpty())
                continue;
            if (!QDir().mkpath(destination) || !staysInside(destination, root))
                return fail(error, unsafeEntryMessage(name));
            continue;
        }
        if (relative.isEmpty())
            return fail(error, unsafeEntryMessage(name));

        // The stored size is checked first so that an honest bomb is refused before inflating;
        // the running count below catches an archive that understates it.
        const qint64 declared =
            (stat.valid & ZIP_STAT_SIZE) ? qint64(qMin<zip_uint64_t>(stat.size, 1ull << 62)) : 0;
        if (declared > limits.maxEntrySize || total + declared > limits.maxTotalSize)
            return fail(error, oversizedEntryMessage(name));

        Entry entry(zip_fopen_index(archive.get(), zip_uint64_t(index), 0));
        if (!entry)
            return fail(error,
                        QCoreApplication::translate("ZipFolder", "解压文件失败: %1").arg(name));
        QByteArray bytes;
        bytes.reserve(int(declared));
        char chunk[64 * 1024];
        for (;;) {
            const zip_int64_t got = zip_fread(entry.get(), chunk, sizeof chunk);
            if (got < 0)
                return fail(error,
                            QCoreApplication::translate("ZipFolder", "解压文件失败: %1").arg(name));
            if (got == 0)
                break;
            if (bytes.size() + got > limits.maxEntrySize ||
                total + bytes.size() + got > limits.maxTotalSize)
                return fail(error, oversizedEntryMessage(name));
            bytes.append(chunk, int(got));
        }
        entry.reset();
        total += bytes.size();

        const QString parent = QFileInfo(destination).path();
        if (!QDir().mkpath(parent) || !staysInside(parent, root) ||
            QFileInfo(destination).isSymLink())
            return fail(error, unsafeEntryMessage(name));
        QFile out(destination);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            out.write(bytes) != bytes.size() || !out.flush())
            return fail(error,
                        QCoreApplication::translate("ZipFolder", "无法写入: %1").arg(destination));
        out.close();
    }
    return true;
}

bool zipDirectory(const QString &sourceDir, const QString &zipPath, QString *error)
{
    const QFileInfo source(sourceDir);
    if (!source.isDir())
        return fail(error, QCoreApplication::translate("ZipFolder", "读取失败: %1").arg(sourceDir));
    const QString outFolder = QFileInfo(zipPath).absolutePath();
    if (!QFileInfo(outFolder).isDir() || QFileInfo(zipPath).isDir())
        return fail(error,
                    QCoreApplication::translate("ZipFolder", "无法创建 ZIP: %1").arg(zipPath));

    // Sorted names give the same archive for the same folder, and put "[Content_Types].xml"
    // of an office package before the lower-case part folders.
    const QDir base(source.absoluteFilePath());
    QStringList names;
    QDirIterator it(base.path(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << base.relativeFilePath(it.next());
    names.sort();

    if (names.isEmpty()) {
        // The library drops an archive without entries at close; an empty archive is just its
        // end-of-central-directory record.
        QSaveFile out(zipPath);
        const QByteArray empty = QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0');
        if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
            out.write(empty) != empty.size() || !out.commit())
            return fail(error,
                        QCoreApplication::translate("ZipFolder", "无法创建 ZIP: %1").arg(zipPath));
        return true;
    }

    int openError = 0;
    Archive archive(
        zip_open(QFile::encodeName(zipPath).constData(), ZIP_CREATE | ZIP_TRUNCATE, &openError));
    if (!archive)
        return fail(error,
                    QCoreApplication::translate("ZipFolder", "无法创建 ZIP: %1").arg(zipPath));

    for (const QString &name : qAsConst(names)) {
        const QString path = base.filePath(name);
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            return fail(error, QCoreApplication::translate("ZipFolder", "读取失败: %1").arg(path));
        const QByteArray bytes = in.readAll();
        if (in.error() != QFileDevice::NoError)
            return fail(error, QCoreApplication::translate("ZipFolder", "读取失败: %1").arg(path));

        // The library reads added data only at close, so each entry owns a copy it frees then.
        void *copy = std::malloc(size_t(qMax(bytes.size(), 1)));
        const QString writeFailed =
            QCoreApplication::translate("ZipFolder", "写入 ZIP 失败: %1").arg(name);
        if (!copy)
            return fail(error, writeFailed);
        std::memcpy(copy, bytes.constData(), size_t(bytes.size()));
        zip_source_t *data = zip_source_buffer(archive.get(), copy, zip_uint64_t(bytes.size()), 1);
        if (!data) {
            std::free(copy);
            return fail(error, writeFailed);
        }
        const zip_int64_t index =
            zip_file_add(archive.get(), name.toUtf8().constData(), data, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(data);
            return fail(error, writeFailed);
        }
        if (zip_set_file_compression(archive.get(), zip_uint64_t(index), ZIP_CM_DEFLATE, 1) != 0)
            return fail(error, writeFailed);
    }

    if (zip_close(archive.get()) != 0)
        return fail(error, QCoreApplication::translate("ZipFolder", "ZIP 收尾失败"));
    archive.release();
    return true;
}
