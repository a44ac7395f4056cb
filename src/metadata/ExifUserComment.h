// ExifUserComment.h: the EXIF UserComment of JPEG, PNG and TIFF files on disk.
#pragma once

#include "metadata/ExifContainer.h"
#include "metadata/PixelSize.h"

#include <QString>

#include <functional>
#include <string>
#include <sys/types.h>

// Paths are UTF-8 on disk. Nothing throws and nothing is logged here: every failure is a false
// result and the caller logs. A file is never modified unless its complete new content has first
// been written and synced to a temporary file beside it. All functions may be called from any
// thread; two writers on the same path at the same time are the caller's to avoid.
namespace ExifUserComment {

// The file-system calls of the atomic replace, so that tests can make any step fail or stop.
struct FileOps
{
    int (*open)(const char *path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void *data, size_t size);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char *from, const char *to);
    int (*unlink)(const char *path);
    // Copies `size` bytes from `from` at `*fromOffset` (which it advances) to the current
    // position of `to`, inside the kernel; the contract of copy_file_range(2).
    ssize_t (*copyRange)(int from, off_t *fromOffset, int to, size_t size);

    // The operating system's calls.
    static const FileOps &system();
};

// The kind of the image at `path` from its first bytes (at most 8 are read); UnknownImage when
// the file cannot be opened or is empty.
ExifContainer::ImageKind detectImageKind(const QString &path);

// Reads the whole regular file at `path` into `bytes`, reserving `spare` bytes of room behind it
// for later growth. Refuses files larger than ExifContainer::MaxBlockSize.
bool readFile(const QString &path, std::string *bytes, std::size_t spare = 0);

// Why an edit of a file (a comment, a pixel size) was refused or failed.
struct WriteError
{
    enum Reason {
        None,
        CannotRead,      // missing, not a regular file, unreadable or over 4 GiB
        UnsupportedKind, // not a JPEG, PNG or TIFF file
        Malformed,       // the file's structure is damaged
        JpegSegmentFull, // the drawing does not fit a JPEG's 64 KiB EXIF segment
        TooLarge,        // beyond what TIFF offsets or PNG chunk lengths can address
        OutOfRange,      // a value the file's format cannot record
        CannotWrite,     // the new content could not be written
    };
    Reason reason = None;
    // JpegSegmentFull: the longest comment text the picture can take, with its EXIF block laid
    // out compactly (every other tag and value kept).
    std::size_t room = 0;
};

// Stores `text` as the UserComment of the JPEG, PNG or TIFF file at `path` and replaces the file
// atomically. False, with the file unchanged byte for byte, for any other kind, a malformed file,
// a comment that does not fit (a JPEG's EXIF segment is limited to 64 KiB) or a failed write;
// `error`, when given, then tells which. The file is mapped, not read: its unchanged runs are
// copied by the kernel, so that a large TIFF costs little more than a copy of the file. (A file
// truncated in place by another program while it is mapped ends the process with SIGBUS; our own
// writers never do that, they replace files by renaming.)
bool writeUserComment(const QString &path, const std::string &text,
                      const FileOps &ops = FileOps::system(), WriteError *error = nullptr);

// Plans an edit of the file of `size` bytes at `file` without changing it (see
// ExifContainer::planUserComment()).
using Planner =
    std::function<bool(const char *file, std::size_t size, ExifContainer::Pieces *pieces,
                       ExifContainer::EmbedError *error)>;

// Maps the file at `path`, plans its edit with `plan` and replaces the file atomically with the
// result, as writeUserComment() does.
bool writeEdited(const QString &path, const Planner &plan, const FileOps &ops = FileOps::system(),
                 WriteError *error = nullptr);

// Records `pixelsPerMetre` as the pixel size of the JPEG, PNG or TIFF file at `path` (see
// PixelSize::plan()) and replaces the file atomically.
bool writePixelSize(const QString &path, double pixelsPerMetre,
                    const FileOps &ops = FileOps::system(), WriteError *error = nullptr);

// Stores `text` as the UserComment of the JPEG, PNG or TIFF file at `path` and records
// `pixelsPerMetre` as its pixel size in one pass and one atomic replace: the result is the file
// that writeUserComment() followed by writePixelSize() gives, written once. False, with the file
// unchanged byte for byte, when the comment cannot be stored or the write fails (`error` tells
// which). A pixel size that the file cannot take is left out, the comment still stored, and
// `pixelSizeError` tells why; it is None when both were stored.
bool writeCommentAndPixelSize(const QString &path, const std::string &text, double pixelsPerMetre,
                              const FileOps &ops = FileOps::system(), WriteError *error = nullptr,
                              WriteError *pixelSizeError = nullptr);

// Writes the `size` bytes at `picture`, a whole picture file held in memory (as an encoder made
// it), to `path` in one atomic replace, with `text` (when given) as its UserComment and
// `pixelsPerMetre` (unless 0) as its pixel size: the file that writing the picture and then
// writeCommentAndPixelSize() give, written once, so that the picture is never on disk without
// them. False, with the file at `path` unchanged byte for byte, when the comment cannot be stored
// or the write fails (`error` tells which). A pixel size that the picture cannot take (a BMP, a
// size beyond its format) is left out, the picture still written, and `pixelSizeError` tells
// why. Without a comment or a pixel size any file is written as it is.
bool writePicture(const QString &path, const char *picture, std::size_t size,
                  const std::string *text, double pixelsPerMetre,
                  const FileOps &ops = FileOps::system(), WriteError *error = nullptr,
                  WriteError *pixelSizeError = nullptr);

// Reads the pixel size that the JPEG, PNG or TIFF file at `path` states (see PixelSize::read()).
bool readPixelSize(const QString &path, PixelSize::Reading *reading);

// Reads the UserComment text of the JPEG, PNG or TIFF file at `path`.
bool readUserComment(const QString &path, std::string *text);

// Replaces the file at `path` with `bytes`: writes `path` + ".velk_tmp" in the same folder,
// syncs it, renames it over the target and syncs the folder. When `path` is a symbolic link the
// file it points to is replaced and the link stays. The replaced file keeps its permission bits.
// On failure the temporary file is removed and the target is untouched.
bool writeFileAtomically(const QString &path, const std::string &bytes,
                         const FileOps &ops = FileOps::system());

} // namespace ExifUserComment
