// ExifContainer.h: sets and reads the EXIF UserComment of JPEG, PNG and TIFF files held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Plain C++ with no Qt and no I/O, so that it can be fuzzed on its own. Buffers are std::string
// used as byte strings. Files come from anywhere: every offset, count and length read from a
// buffer is checked before use, and a function that returns false leaves its buffer unchanged.
// All functions are reentrant and may be called from any thread.
namespace ExifContainer {

// Image kinds, detected from the first bytes of a file, never from its name.
enum ImageKind {
    UnknownImage = 0,
    JpegImage = 1,
    PngImage = 2,
    TiffImage = 3,
    BmpImage = 4,
};

// Largest buffer we edit: TIFF offsets are 32 bits wide, so a block never grows past this.
constexpr std::size_t MaxBlockSize = 0xFFFFFFFFu;

// The kind of an image whose first bytes are `data` (at most 8 bytes are looked at).
ImageKind kindOf(const char *data, std::size_t size);

// The UserComment value for `text`: the character code "ASCII" and three zero bytes, then the
// text bytes unchanged (no terminator).
std::string userCommentValue(const std::string &text);

// The smallest little-endian TIFF structure that carries `value` as UserComment: IFD0 with only
// the Exif IFD pointer, and an Exif IFD with only the UserComment.
std::string minimalBlock(const std::string &value);

// Sets the UserComment of a TIFF structure (a whole TIFF file, or the TIFF data of an EXIF block)
// in the structure's own byte order. Only appends new structures at the end (or replaces a
// comment value that is the last thing in the structure) and rewrites the entries and offsets
// that must point to them; every other byte keeps its place, so absolute offsets (image strips,
// thumbnails, maker notes) stay valid. False when the structure is malformed or would outgrow
// 32-bit offsets.
bool setUserComment(std::string &block, const std::string &value);

// Reads the UserComment of a TIFF structure. A leading 8-byte character code ("ASCII",
// "UNICODE", "JIS" or undefined) is removed; the rest is returned as raw bytes.
bool userComment(const char *block, std::size_t size, std::string *text);

// One piece of an edited file: a run of the original file's bytes, or new bytes.
struct Piece
{
    bool original = false;
    std::size_t offset = 0; // where the run starts in the original file
    std::size_t length = 0; // of the run
    std::string bytes;      // the new bytes, when not `original`
};
using Pieces = std::vector<Piece>;

// Why an edit (a comment, a pixel size) was refused.
struct EmbedError
{
    enum Reason {
        None,
        UnsupportedKind, // not a JPEG, PNG or TIFF file
        Malformed,       // the file's structure is damaged
        JpegSegmentFull, // the EXIF block would outgrow a JPEG's 64 KiB APP1 segment
        TooLarge,        // beyond the 32-bit offsets of TIFF or the chunk length of PNG
        OutOfRange,      // a value the file's format cannot record
    };
    Reason reason = None;
    // JpegSegmentFull: the longest comment text this picture can take, counted as the text
    // passed in. The EXIF block is already laid out compactly when this is reported.
    std::size_t room = 0;
};

// Plans storing `text` as the UserComment of the JPEG, PNG or TIFF file of `size` bytes at
// `file`, without changing it: `pieces` receives the new file as runs of the original and new
// bytes, so that a large file can be written without being copied in memory. Every byte outside
// the EXIF block keeps its place relative to its neighbours; inside a TIFF structure nothing but
// the comment and the entries that point to it moves. A comment that is the last value of its
// block is replaced where it starts, so that the block grows and shrinks with it and repeated
// saves leave no dead space. On false, `error` (when given) tells why.
bool planUserComment(const char *file, std::size_t size, const std::string &text, Pieces *pieces,
                     EmbedError *error = nullptr);

// The file that `pieces`, planned for the original at `file`, describe.
std::string assemble(const char *file, const Pieces &pieces);

// The number of bytes of the file that `pieces` describe.
std::size_t plannedSize(const Pieces &pieces);

// Two edits as one: `second` was planned on the file that `first` describes; the result
// describes the same file as runs of the original that `first` was planned on and new bytes.
Pieces compose(const Pieces &first, const Pieces &second);

// Stores `text` as the UserComment of the JPEG, PNG or TIFF file in `file`. On false (unknown
// kind, malformed structure, JPEG segment over 64 KiB) `file` is unchanged and `error` (when
// given) tells why.
bool embedUserComment(std::string &file, const std::string &text, EmbedError *error = nullptr);

// Reads the UserComment text of the JPEG, PNG or TIFF file in `file`.
bool extractUserComment(const std::string &file, std::string *text);

// CRC-32 as PNG chunks use it (reflected polynomial 0xEDB88320, initial value and final
// complement 0xFFFFFFFF). Pass a previous result as `crc` to continue a running checksum.
std::uint32_t crc32(const char *data, std::size_t size, std::uint32_t crc = 0);

} // namespace ExifContainer
