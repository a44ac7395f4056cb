// ExifUserComment.cpp: whole-file reads and the atomic replace around the in-memory edits.
#include "metadata/ExifUserComment.h"

#include "metadata/PixelSize.h"

#include <QByteArray>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <functional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ExifUserComment {
namespace {

// The largest single read or write request; larger ones are split.
constexpr std::size_t MaxIoChunk = std::size_t(1) << 30;

int openFile(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

ssize_t copyFileRange(int from, off_t *fromOffset, int to, size_t size)
{
    return ::copy_file_range(from, fromOffset, to, nullptr, size, 0);
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

// Copies `size` bytes of the source from `offset` to the current position of `fd`: inside the
// kernel where the file systems allow it, otherwise by writing them from `data`, the source's
// bytes in memory.
bool copyFully(const FileOps &ops, int source, const char *data, std::size_t offset,
               std::size_t size, int fd)
{
    off_t at = off_t(offset);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ops.copyRange(source, &at, fd, std::min(size - done, MaxIoChunk));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && done == 0 &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
             errno == EBADF))
            return writeFully(ops, fd, data + offset, size);
        if (n <= 0) // an error, or the source ended early: it changed while we read it
            return false;
        done += std::size_t(n);
    }
    return true;
}

// A whole regular file, mapped read-only, or read into memory where it cannot be mapped.
class SourceFile
{
public:
    SourceFile() = default;
    SourceFile(const SourceFile &) = delete;
    SourceFile &operator=(const SourceFile &) = delete;
    ~SourceFile()
    {
        if (m_map != MAP_FAILED)
            ::munmap(m_map, m_size);
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool load(const QString &path)
    {
        m_fd = ::open(path.toUtf8().constData(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            return false;
        struct stat info;
        if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode) ||
            std::uint64_t(info.st_size) > ExifContainer::MaxBlockSize)
            return false;
        m_size = std::size_t(info.st_size);
        if (m_size == 0)
            return true;
        m_map = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, m_fd, 0);
        if (m_map != MAP_FAILED)
            return true;
        m_bytes.resize(m_size);
        const ssize_t n = readFully(m_fd, &m_bytes[0], m_size);
        if (n < 0)
            return false;
        m_size = std::size_t(n);
        return true;
    }

    // Takes the file's bytes from memory that the caller keeps alive while this is in use; no
    // descriptor then, so the runs are written from memory.
    void borrow(const char *bytes, std::size_t size)
    {
        m_borrowed = bytes;
        m_size = size;
    }

    int fd() const { return m_fd; }
    bool mapped() const { return m_map != MAP_FAILED; }
    std::size_t size() const { return m_size; }
    const char *data() const
    {
        if (m_borrowed)
            return m_borrowed;
        return m_map != MAP_FAILED ? static_cast<const char *>(m_map) : m_bytes.data();
    }

private:
    int m_fd = -1;
    void *m_map = MAP_FAILED;
    std::size_t m_size = 0;
    std::string m_bytes;
    const char *m_borrowed = nullptr;
};

// The file that pieces planned on a source file describe, laid out in memory for a second edit
// to read. Whole pages of the original that keep their place modulo the page size (the image
// data of a TIFF, which an edit leaves where it is) are mapped from the file, copy-on-write, and
// only the rest is copied, so that a large file costs no copy of its image data.
class PlannedFile
{
public:
    PlannedFile(const SourceFile &source, const ExifContainer::Pieces &pieces)
    {
        m_size = ExifContainer::plannedSize(pieces);
        if (!(source.mapped() && m_size > 0 && layOut(source, pieces))) {
            release();
            m_bytes = ExifContainer::assemble(source.data(), pieces);
        }
    }
    PlannedFile(const PlannedFile &) = delete;
    PlannedFile &operator=(const PlannedFile &) = delete;
    ~PlannedFile() { release(); }

    std::size_t size() const { return m_size; }
    const char *data() const
    {
        return m_map != MAP_FAILED ? static_cast<const char *>(m_map) : m_bytes.data();
    }

private:
    bool layOut(const SourceFile &source, const ExifContainer::Pieces &pieces)
    {
        const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
        m_mapped = (m_size + page - 1) / page * page;
        m_map =
            ::mmap(nullptr, m_mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m_map == MAP_FAILED)
            return false;
        char *out = static_cast<char *>(m_map);
        std::size_t at = 0;
        for (const ExifContainer::Piece &piece : pieces) {
            if (!piece.original) {
                std::memcpy(out + at, piece.bytes.data(), piece.bytes.size());
                at += piece.bytes.size();
                continue;
            }
            const std::size_t end = at + piece.length;
            std::size_t first = end, last = end; // the whole pages mapped from the file
            if (piece.offset % page == at % page) {
                first = std::min(end, (at + page - 1) / page * page);
                last = std::max(first, end / page * page);
            }
            // A failed fixed mapping may have left the region damaged: the caller copies instead.
            if (last > first &&
                ::mmap(out + first, last - first, PROT_READ, MAP_PRIVATE | MAP_FIXED, source.fd(),
                       off_t(piece.offset + (first - at))) == MAP_FAILED)
                return false;
            std::memcpy(out + at, source.data() + piece.offset, first - at);
            std::memcpy(out + last, source.data() + piece.offset + (last - at), end - last);
            at = end;
        }
        return true;
    }

    void release()
    {
        if (m_map != MAP_FAILED)
            ::munmap(m_map, m_mapped);
        m_map = MAP_FAILED;
    }

    void *m_map = MAP_FAILED;
    std::size_t m_mapped = 0;
    std::size_t m_size = 0;
    std::string m_bytes;
};

// Writes `path` + ".velk_tmp" through `fill`, syncs it and renames it over `path` (over the file
// a symbolic link at `path` points to), keeping the permission bits of the file replaced.
bool replaceFile(const QString &path, const FileOps &ops, const std::function<bool(int)> &fill);

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
    static const FileOps ops = {openFile, ::write,  ::fsync,      ::close,
                                ::rename, ::unlink, copyFileRange};
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

namespace {

WriteError::Reason writeReason(ExifContainer::EmbedError::Reason reason)
{
    switch (reason) {
    case ExifContainer::EmbedError::None:
        return WriteError::None;
    case ExifContainer::EmbedError::UnsupportedKind:
        return WriteError::UnsupportedKind;
    case ExifContainer::EmbedError::Malformed:
        return WriteError::Malformed;
    case ExifContainer::EmbedError::JpegSegmentFull:
        return WriteError::JpegSegmentFull;
    case ExifContainer::EmbedError::OutOfRange:
        return WriteError::OutOfRange;
    case ExifContainer::EmbedError::TooLarge:
        break;
    }
    return WriteError::TooLarge;
}

// Writes the file that `pieces` describe to `out`: runs of `source` and new bytes.
bool writePieces(const FileOps &ops, const SourceFile &source, const ExifContainer::Pieces &pieces,
                 int out)
{
    for (const ExifContainer::Piece &piece : pieces) {
        const bool ok =
            !piece.original ? writeFully(ops, out, piece.bytes.data(), piece.bytes.size())
            : source.fd() < 0
                ? writeFully(ops, out, source.data() + piece.offset, piece.length)
                : copyFully(ops, source.fd(), source.data(), piece.offset, piece.length, out);
        if (!ok)
            return false;
    }
    return true;
}

// The planned edits, for writePlanned(). The comment's text is referred to, not copied.
Planner commentPlanner(const std::string &text)
{
    return [&text](const char *file, std::size_t size, ExifContainer::Pieces *pieces,
                   ExifContainer::EmbedError *embed) {
        return ExifContainer::planUserComment(file, size, text, pieces, embed);
    };
}

Planner pixelSizePlanner(double pixelsPerMetre)
{
    return [pixelsPerMetre](const char *file, std::size_t size, ExifContainer::Pieces *pieces,
                            ExifContainer::EmbedError *embed) {
        return PixelSize::plan(file, size, pixelsPerMetre, pieces, embed);
    };
}

} // namespace

bool writeUserComment(const QString &path, const std::string &text, const FileOps &ops,
                      WriteError *error)
{
    return writeEdited(path, commentPlanner(text), ops, error);
}

bool writePixelSize(const QString &path, double pixelsPerMetre, const FileOps &ops,
                    WriteError *error)
{
    return writeEdited(path, pixelSizePlanner(pixelsPerMetre), ops, error);
}

namespace {

// Plans `plan` on `source` (the file at `path` when null) and, when given, `then` on the file
// that `plan` describes, and replaces the file at `path` once with the result. A null `plan`
// leaves the source as it is. `then` failing leaves its edit out; `thenError` tells why.
bool writePlanned(const QString &path, const SourceFile *source, const Planner *plan,
                  const Planner *then, const FileOps &ops, WriteError *error, WriteError *thenError)
{
    WriteError result, second;
    try {
        SourceFile file;
        ExifContainer::Pieces pieces;
        ExifContainer::EmbedError embed;
        if (!source && file.load(path))
            source = &file;
        if (!source) {
            result.reason = WriteError::CannotRead;
        } else if (plan && !(*plan)(source->data(), source->size(), &pieces, &embed)) {
            result.reason = writeReason(embed.reason);
            result.room = embed.room;
        } else {
            if (!plan)
                pieces.push_back({true, 0, source->size(), {}});
            if (then) {
                ExifContainer::Pieces more;
                ExifContainer::EmbedError refused;
                bool planned = false;
                if (plan) {
                    const PlannedFile edited(*source, pieces);
                    planned = (*then)(edited.data(), edited.size(), &more, &refused);
                    if (planned)
                        pieces = ExifContainer::compose(pieces, more);
                } else if ((planned = (*then)(source->data(), source->size(), &more, &refused))) {
                    pieces = std::move(more);
                }
                if (!planned) {
                    second.reason = writeReason(refused.reason);
                    second.room = refused.room;
                }
            }
            if (!replaceFile(path, ops,
                             [&](int out) { return writePieces(ops, *source, pieces, out); }))
                result.reason = WriteError::CannotWrite;
        }
    } catch (const std::exception &) {
        result.reason = WriteError::CannotWrite;
    }
    if (result.reason != WriteError::None) // neither edit was made
        second = result;
    if (error)
        *error = result;
    if (thenError)
        *thenError = second;
    return result.reason == WriteError::None;
}

} // namespace

bool writeEdited(const QString &path, const Planner &plan, const FileOps &ops, WriteError *error)
{
    return writePlanned(path, nullptr, &plan, nullptr, ops, error, nullptr);
}

bool writeCommentAndPixelSize(const QString &path, const std::string &text, double pixelsPerMetre,
                              const FileOps &ops, WriteError *error, WriteError *pixelSizeError)
{
    const Planner comment = commentPlanner(text);
    const Planner pixelSize = pixelSizePlanner(pixelsPerMetre);
    return writePlanned(path, nullptr, &comment, &pixelSize, ops, error, pixelSizeError);
}

bool writePicture(const QString &path, const char *picture, std::size_t size,
                  const std::string *text, double pixelsPerMetre, const FileOps &ops,
                  WriteError *error, WriteError *pixelSizeError)
{
    SourceFile source;
    source.borrow(picture, size);
    const Planner comment = text ? commentPlanner(*text) : Planner();
    const Planner pixelSize = pixelSizePlanner(pixelsPerMetre);
    return writePlanned(path, &source, text ? &comment : nullptr,
                        pixelsPerMetre != 0 ? &pixelSize : nullptr, ops, error, pixelSizeError);
}

bool readPixelSize(const QString &path, PixelSize::Reading *reading)
{
    try {
        SourceFile source;
        return source.load(path) && PixelSize::read(source.data(), source.size(), reading);
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
    return replaceFile(path, ops,
                       [&](int fd) { return writeFully(ops, fd, bytes.data(), bytes.size()); });
}

namespace {

bool replaceFile(const QString &path, const FileOps &ops, const std::function<bool(int)> &fill)
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
    ok = ok && fill(fd);
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

} // namespace

} // namespace ExifUserComment
