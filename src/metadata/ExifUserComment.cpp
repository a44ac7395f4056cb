// ExifUserComment.cpp: whole-file reads and the atomic replace around the in-memory edits.
#include "metadata/ExifUserComment.h"

#include <QByteArray>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ExifUserComment {
namespace {

// Room kept behind a file read for an edit: the comment plus rebuilt IFDs, so that most edits
// grow the buffer without moving it.
constexpr std::size_t EditSpare = 64 * 1024;

// The largest single read or write request; larger ones are split.
constexpr std::size_t MaxIoChunk = std::size_t(1) << 30;

int openFile(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

// Reads until `size` bytes are in or the file ends; returns the count read, or -1 on error.
ssize_t readFully(int fd, char *data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, std::min(size - done, MaxIoChunk));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    return ssize_t(done);
}

bool writeFully(const FileOps &ops, int fd, const char *data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ops.write(fd, data + done, std::min(size - done, MaxIoChunk));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

// Makes the rename itself durable. The target already holds the new content when this runs, so
// a failure here is not reported as a failed write.
void syncFolder(const FileOps &ops, const QString &target)
{
    const QByteArray folder = QFileInfo(target).absolutePath().toUtf8();
    const int fd = ops.open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0)
        return;
    ops.fsync(fd);
    ops.close(fd);
}

} // namespace

const FileOps &FileOps::system()
{
    static const FileOps ops = {openFile, ::write, ::fsync, ::close, ::rename, ::unlink};
    return ops;
}

ExifContainer::ImageKind detectImageKind(const QString &path)
{
    const QByteArray name = path.toUtf8();
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ExifContainer::UnknownImage;
    char head[8];
    const ssize_t n = readFully(fd, head, sizeof head);
    ::close(fd);
    if (n <= 0)
        return ExifContainer::UnknownImage;
    return ExifContainer::kindOf(head, std::size_t(n));
}

bool readFile(const QString &path, std::string *bytes, std::size_t spare)
{
    try {
        const QByteArray name = path.toUtf8();
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        struct stat info;
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
            std::uint64_t(info.st_size) > ExifContainer::MaxBlockSize) {
            ::close(fd);
            return false;
        }
        const std::size_t size = std::size_t(info.st_size);
        bytes->clear();
        bytes->reserve(size + spare);
        bytes->resize(size);
        bool ok = true;
        const ssize_t n = readFully(fd, &(*bytes)[0], size);
        if (n < 0) {
            ok = false;
        } else if (std::size_t(n) < size) {
            bytes->resize(std::size_t(n));
        } else {
            // The file may have grown since fstat: take what follows, within the same limit.
            char more[4096];
            ssize_t extra = 0;
            while (ok && (extra = readFully(fd, more, sizeof more)) != 0) {
                ok = extra > 0 && bytes->size() + std::size_t(extra) <= ExifContainer::MaxBlockSize;
                if (ok)
                    bytes->append(more, std::size_t(extra));
            }
        }
        ::close(fd);
        return ok;
    } catch (const std::exception &) {
        return false;
    }
}

bool writeUserComment(const QString &path, const std::string &text, const FileOps &ops)
{
    try {
        std::string bytes;
        if (!readFile(path, &bytes, text.size() + EditSpare))
            return false;
        if (!ExifContainer::embedUserComment(bytes, text))
            return false;
        return writeFileAtomically(path, bytes, ops);
    } catch (const std::exception &) {
        return false;
    }
}

bool readUserComment(const QString &path, std::string *text)
{
    try {
        std::string bytes;
        return readFile(path, &bytes) && ExifContainer::extractUserComment(bytes, text);
    } catch (const std::exception &) {
        return false;
    }
}

bool writeFileAtomically(const QString &path, const std::string &bytes, const FileOps &ops)
{
    if (path.isEmpty())
        return false;
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink()) {
        target = info.canonicalFilePath();
        if (target.isEmpty())
            return false;
    }
    const QByteArray targetName = target.toUtf8();
    const QByteArray tempName = targetName + ".velk_tmp";

    struct stat existing;
    const bool keepMode = ::stat(targetName.constData(), &existing) == 0;
    const int fd =
        ops.open(tempName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return false;
    bool ok = !keepMode || ::fchmod(fd, existing.st_mode & 07777) == 0;
    ok = ok && writeFully(ops, fd, bytes.data(), bytes.size());
    ok = ok && ops.fsync(fd) == 0;
    ok = ops.close(fd) == 0 && ok;
    ok = ok && ops.rename(tempName.constData(), targetName.constData()) == 0;
    if (!ok) {
        ops.unlink(tempName.constData());
        return false;
    }
    syncFolder(ops, target);
    return true;
}

} // namespace ExifUserComment
