// ExifContainer.cpp: TIFF, JPEG and PNG structure edits for the EXIF UserComment.
#include "metadata/ExifContainer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace ExifContainer {
namespace {

constexpr std::uint16_t TagExifIfd = 0x8769;
constexpr std::uint16_t TagUserComment = 0x9286;
constexpr std::uint16_t TypeLong = 4;
constexpr std::uint16_t TypeUndefined = 7;
constexpr std::uint64_t EntrySize = 12;
constexpr std::size_t NotFound = std::string::npos;

// An APP1 segment's length field counts itself and the "Exif\0\0" identifier.
constexpr std::size_t MaxJpegBlock = 0xFFFF - 8;
// PNG chunk lengths are limited to 2^31 - 1.
constexpr std::size_t MaxPngChunk = 0x7FFFFFFF;

const char PngSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};

std::uint8_t byteAt(const char *data, std::size_t offset)
{
    return static_cast<std::uint8_t>(data[offset]);
}

std::uint16_t readBig16(const char *data, std::size_t offset)
{
    return std::uint16_t(byteAt(data, offset) << 8 | byteAt(data, offset + 1));
}

std::uint32_t readBig32(const char *data, std::size_t offset)
{
    return std::uint32_t(byteAt(data, offset)) << 24 |
           std::uint32_t(byteAt(data, offset + 1)) << 16 |
           std::uint32_t(byteAt(data, offset + 2)) << 8 | std::uint32_t(byteAt(data, offset + 3));
}

void appendBig16(std::string &out, std::uint16_t value)
{
    out.push_back(char(value >> 8));
    out.push_back(char(value));
}

void appendBig32(std::string &out, std::uint32_t value)
{
    appendBig16(out, std::uint16_t(value >> 16));
    appendBig16(out, std::uint16_t(value));
}

// A TIFF structure read in its own byte order. Every accessor expects an offset that the caller
// has checked against size(); validIfd() and findTag() do those checks for IFDs.
class TiffView
{
public:
    TiffView(const char *data, std::size_t size, bool bigEndian = false)
        : m_data(data)
        , m_size(size)
        , m_bigEndian(bigEndian)
    {}

    // True for "II" 42 or "MM" 42 in the first 8 bytes.
    bool readHeader()
    {
        if (m_size < 8)
            return false;
        if (std::memcmp(m_data, "II\x2a\x00", 4) == 0)
            m_bigEndian = false;
        else if (std::memcmp(m_data, "MM\x00\x2a", 4) == 0)
            m_bigEndian = true;
        else
            return false;
        return true;
    }

    bool bigEndian() const { return m_bigEndian; }
    std::size_t size() const { return m_size; }
    const char *data() const { return m_data; }

    std::uint16_t u16(std::size_t offset) const
    {
        const std::uint16_t a = byteAt(m_data, offset), b = byteAt(m_data, offset + 1);
        return m_bigEndian ? std::uint16_t(a << 8 | b) : std::uint16_t(b << 8 | a);
    }

    std::uint32_t u32(std::size_t offset) const
    {
        const std::uint32_t hi = u16(offset + (m_bigEndian ? 0 : 2));
        const std::uint32_t lo = u16(offset + (m_bigEndian ? 2 : 0));
        return hi << 16 | lo;
    }

    // An IFD is valid when its entry count, its entries and its next-IFD offset lie inside.
    bool validIfd(std::uint64_t offset) const
    {
        if (offset > m_size || m_size - offset < 2)
            return false;
        return m_size - offset - 2 >= u16(std::size_t(offset)) * EntrySize + 4;
    }

    // Bytes taken by a valid IFD.
    std::size_t ifdLength(std::size_t offset) const
    {
        return std::size_t(2 + u16(offset) * EntrySize + 4);
    }

    // The offset of the first entry of the valid IFD at `ifd` that has `tag`, or NotFound.
    std::size_t findTag(std::size_t ifd, std::uint16_t tag) const
    {
        const std::size_t count = u16(ifd);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = ifd + 2 + i * EntrySize;
            if (u16(entry) == tag)
                return entry;
        }
        return NotFound;
    }

private:
    const char *m_data;
    std::size_t m_size;
    bool m_bigEndian;
};

// Where the UserComment lives in a TIFF structure.
struct CommentLayout
{
    std::size_t ifd0 = NotFound;
    std::size_t exifPointer = NotFound; // the 0x8769 entry of IFD0
    std::size_t exifIfd = NotFound;
    std::size_t comment = NotFound; // the 0x9286 entry of the Exif IFD
};

// Validates the header, IFD0 and, when IFD0 points to one, the Exif IFD. False on any
// structure that lies outside the buffer, and on an Exif IFD that is IFD0 itself.
bool locateComment(TiffView &view, CommentLayout *layout)
{
    if (!view.readHeader())
        return false;
    const std::uint32_t ifd0 = view.u32(4);
    if (!view.validIfd(ifd0))
        return false;
    layout->ifd0 = ifd0;
    layout->exifPointer = view.findTag(ifd0, TagExifIfd);
    if (layout->exifPointer == NotFound)
        return true;
    const std::uint32_t exifIfd = view.u32(layout->exifPointer + 8);
    if (exifIfd == ifd0 || !view.validIfd(exifIfd))
        return false;
    layout->exifIfd = exifIfd;
    layout->comment = view.findTag(exifIfd, TagUserComment);
    return true;
}

void addRun(Pieces *pieces, std::size_t offset, std::size_t length)
{
    if (length == 0)
        return;
    if (!pieces->empty() && pieces->back().original &&
        pieces->back().offset + pieces->back().length == offset) {
        pieces->back().length += length;
        return;
    }
    Piece piece;
    piece.original = true;
    piece.offset = offset;
    piece.length = length;
    pieces->push_back(std::move(piece));
}

void addBytes(Pieces *pieces, const std::string &bytes)
{
    if (bytes.empty())
        return;
    if (!pieces->empty() && !pieces->back().original) {
        pieces->back().bytes.append(bytes);
        return;
    }
    Piece piece;
    piece.bytes = bytes;
    pieces->push_back(std::move(piece));
}

// An edit of a TIFF structure held against its original bytes, which it never changes: fields
// written inside the kept part of the original become patches, structures appended at the end
// form a tail. The result is the original up to `keep` with the patches applied, then the tail.
// So a large file is edited without copying it, and its unchanged runs can be copied by the
// kernel. All writes use the structure's byte order.
class TiffEdit
{
public:
    explicit TiffEdit(const TiffView &original)
        : m_view(original)
        , m_keep(original.size())
    {}

    const TiffView &original() const { return m_view; }
    std::size_t size() const { return m_keep + m_tail.size(); }

    // Drops the original bytes from `keep` on; called before anything is written there.
    void truncate(std::size_t keep) { m_keep = keep; }

    void put16(std::size_t offset, std::uint16_t value)
    {
        const char bytes[2] = {char(m_view.bigEndian() ? value >> 8 : value),
                               char(m_view.bigEndian() ? value : value >> 8)};
        write(offset, bytes, 2);
    }

    void put32(std::size_t offset, std::uint32_t value)
    {
        put16(offset + (m_view.bigEndian() ? 0 : 2), std::uint16_t(value >> 16));
        put16(offset + (m_view.bigEndian() ? 2 : 0), std::uint16_t(value));
    }

    // Overwrites `size` bytes at `offset`, which lie inside the result.
    void write(std::size_t offset, const char *bytes, std::size_t size)
    {
        if (offset < m_keep) {
            const std::size_t patched = std::min(size, m_keep - offset);
            patch(offset, std::string(bytes, patched));
            offset += patched;
            bytes += patched;
            size -= patched;
        }
        if (size > 0)
            m_tail.replace(offset - m_keep, size, bytes, size);
    }

    // Pads the result to an even length, so that the next structure starts at an even offset,
    // and returns that offset.
    std::size_t alignEnd()
    {
        if (size() % 2 != 0)
            m_tail.push_back('\0');
        return size();
    }

    // Appends zeros and returns where they start.
    std::size_t appendZeros(std::size_t count)
    {
        const std::size_t at = size();
        m_tail.append(count, '\0');
        return at;
    }

    void append(const std::string &bytes) { m_tail.append(bytes); }

    // Stores `value` as the data of the entry at `entry`: inline when it fits in the 4-byte
    // field, otherwise appended at an even offset that the field then points to.
    void placeValue(std::size_t entry, const std::string &value)
    {
        if (value.size() <= 4) {
            char field[4] = {};
            std::memcpy(field, value.data(), value.size());
            write(entry + 8, field, 4);
            return;
        }
        const std::size_t at = alignEnd();
        m_tail.append(value);
        put32(entry + 8, std::uint32_t(at));
    }

    // Appends a copy of the valid original IFD at `ifd` with one more entry (tag, type, count,
    // value 0) placed before the first entry with a greater tag, and the old next-IFD offset.
    // The old IFD stays where it was, unreferenced. Returns the offset of the new IFD; `entry`
    // receives the offset of the new entry. The caller has checked that the tag is absent and
    // that the count can grow.
    std::size_t appendIfdWith(std::size_t ifd, std::uint16_t tag, std::uint16_t type,
                              std::uint32_t count, std::size_t *entry)
    {
        const std::size_t oldCount = m_view.u16(ifd);
        const char *entries = m_view.data() + ifd + 2;
        const std::uint32_t next = m_view.u32(ifd + 2 + oldCount * EntrySize);

        std::size_t slot = 0;
        while (slot < oldCount && m_view.u16(ifd + 2 + slot * EntrySize) < tag)
            ++slot;

        const std::size_t newIfd = alignEnd();
        m_tail.reserve(m_tail.size() + 2 + (oldCount + 1) * EntrySize + 4);
        appendZeros(2);
        put16(newIfd, std::uint16_t(oldCount + 1));
        m_tail.append(entries, slot * EntrySize);
        *entry = appendZeros(EntrySize);
        put16(*entry, tag);
        put16(*entry + 2, type);
        put32(*entry + 4, count);
        m_tail.append(entries + slot * EntrySize, (oldCount - slot) * EntrySize);
        put32(appendZeros(4), next);
        return newIfd;
    }

    // Turns `block`, a copy of the original, into the result.
    void applyTo(std::string &block) const
    {
        block.resize(m_keep);
        for (const Patch &p : m_patches)
            block.replace(p.offset, p.bytes.size(), p.bytes);
        block.append(m_tail);
    }

    // Appends the result to `pieces`, with runs of the original as runs of the file starting
    // at `base`.
    void addPieces(std::size_t base, Pieces *pieces) const
    {
        std::vector<Patch> patches = m_patches;
        std::sort(patches.begin(), patches.end(),
                  [](const Patch &a, const Patch &b) { return a.offset < b.offset; });
        std::size_t at = 0;
        for (const Patch &p : patches) {
            addRun(pieces, base + at, p.offset - at);
            addBytes(pieces, p.bytes);
            at = p.offset + p.bytes.size();
        }
        addRun(pieces, base + at, m_keep - at);
        addBytes(pieces, m_tail);
    }

private:
    struct Patch
    {
        std::size_t offset;
        std::string bytes;
    };

    // Records new bytes inside the kept original. Patches that overlap or touch are merged, the
    // later bytes winning, so that the patches never overlap each other.
    void patch(std::size_t offset, std::string bytes)
    {
        std::size_t begin = offset, end = offset + bytes.size();
        std::vector<Patch> merged;
        for (auto it = m_patches.begin(); it != m_patches.end();) {
            if (it->offset <= end && begin <= it->offset + it->bytes.size()) {
                begin = std::min(begin, it->offset);
                end = std::max(end, it->offset + it->bytes.size());
                merged.push_back(std::move(*it));
                it = m_patches.erase(it);
            } else {
                ++it;
            }
        }
        if (merged.empty()) {
            m_patches.push_back({offset, std::move(bytes)});
            return;
        }
        std::string joined(m_view.data() + begin, end - begin);
        merged.push_back({offset, std::move(bytes)});
        for (const Patch &p : merged)
            joined.replace(p.offset - begin, p.bytes.size(), p.bytes);
        m_patches.push_back({begin, std::move(joined)});
    }

    TiffView m_view;
    std::size_t m_keep;
    std::vector<Patch> m_patches; // inside [0, m_keep), never overlapping
    std::string m_tail;           // the bytes from m_keep on
};

bool overlaps(std::uint64_t start, std::uint64_t length, std::uint64_t otherStart,
              std::uint64_t otherLength)
{
    return start < otherStart + otherLength && otherStart < start + length;
}

// True when `length` bytes from `offset` stay clear of the header and of the two IFDs we rely on.
bool clearOfStructures(const TiffView &view, const CommentLayout &layout, std::uint64_t offset,
                       std::uint64_t length)
{
    return !overlaps(offset, length, 0, 8) &&
           !overlaps(offset, length, layout.ifd0, view.ifdLength(layout.ifd0)) &&
           !overlaps(offset, length, layout.exifIfd, view.ifdLength(layout.exifIfd));
}

// True when the value of the existing UserComment entry can be overwritten where it is: the new
// value is longer than 4 bytes, no longer than the old count, lies inside the block and does not
// overlap the header or the two IFDs we rely on.
bool fitsInPlace(const TiffView &view, const CommentLayout &layout, std::size_t length)
{
    const std::uint32_t oldCount = view.u32(layout.comment + 4);
    const std::uint64_t oldOffset = view.u32(layout.comment + 8);
    if (length < 5 || length > oldCount || oldOffset + length > view.size())
        return false;
    return clearOfStructures(view, layout, oldOffset, length);
}

// True when the value of the existing UserComment entry is the last thing in the structure. A
// new value of any length then takes its place and the structure grows or shrinks with it, so
// that a replaced comment never stays behind as dead space. Every value we append ends up last.
bool valueAtEnd(const TiffView &view, const CommentLayout &layout)
{
    const std::uint32_t count = view.u32(layout.comment + 4);
    const std::uint64_t offset = view.u32(layout.comment + 8);
    return count > 4 && offset + count == view.size() &&
           clearOfStructures(view, layout, offset, count);
}

// Sets the UserComment in `edit`, whose original has the (validated) `layout`.
EmbedError::Reason editComment(TiffEdit &edit, const CommentLayout &layout,
                               const std::string &value)
{
    const TiffView &view = edit.original();
    // The most the block can grow by: padding, a rebuilt Exif IFD and IFD0, and the value.
    const std::uint64_t growth =
        3 + std::uint64_t(value.size()) + view.ifdLength(layout.ifd0) + 12 +
        (layout.exifIfd != NotFound ? view.ifdLength(layout.exifIfd) : 18) + 12;
    if (std::uint64_t(view.size()) + growth > MaxBlockSize)
        return EmbedError::TooLarge;
    const std::uint32_t length = std::uint32_t(value.size());

    if (layout.comment != NotFound) {
        const std::uint32_t oldOffset = view.u32(layout.comment + 8);
        const bool atEnd = valueAtEnd(view, layout);
        const bool inPlace = !atEnd && fitsInPlace(view, layout, value.size());
        if (atEnd)
            edit.truncate(oldOffset);
        edit.put16(layout.comment + 2, TypeUndefined);
        edit.put32(layout.comment + 4, length);
        if (atEnd && value.size() > 4)
            edit.append(value); // at the old offset, which the entry keeps
        else if (inPlace)
            edit.write(oldOffset, value.data(), value.size());
        else
            edit.placeValue(layout.comment, value);
        return EmbedError::None;
    }

    if (layout.exifIfd != NotFound) {
        if (view.u16(layout.exifIfd) == 0xFFFF)
            return EmbedError::Malformed;
        std::size_t entry = 0;
        const std::size_t exifIfd =
            edit.appendIfdWith(layout.exifIfd, TagUserComment, TypeUndefined, length, &entry);
        edit.put32(layout.exifPointer + 8, std::uint32_t(exifIfd));
        edit.placeValue(entry, value);
        return EmbedError::None;
    }

    if (view.u16(layout.ifd0) == 0xFFFF)
        return EmbedError::Malformed;
    const std::size_t exifIfd = edit.alignEnd();
    edit.appendZeros(2 + EntrySize + 4);
    edit.put16(exifIfd, 1);
    edit.put16(exifIfd + 2, TagUserComment);
    edit.put16(exifIfd + 4, TypeUndefined);
    edit.put32(exifIfd + 6, length);
    std::size_t entry = 0;
    const std::size_t ifd0 = edit.appendIfdWith(layout.ifd0, TagExifIfd, TypeLong, 1, &entry);
    edit.put32(entry + 8, std::uint32_t(exifIfd));
    edit.put32(4, std::uint32_t(ifd0));
    edit.placeValue(exifIfd + 2, value); // last, so that the next save can take its place
    return EmbedError::None;
}

// Validates the TIFF structure of `size` bytes at `data` and sets its UserComment in `edit`.
EmbedError::Reason editStructure(const char *data, std::size_t size, const std::string &value,
                                 std::string *result)
{
    TiffView view(data, size);
    CommentLayout layout;
    if (!locateComment(view, &layout))
        return EmbedError::Malformed;
    TiffEdit edit(view);
    const EmbedError::Reason reason = editComment(edit, layout, value);
    if (reason == EmbedError::None) {
        result->assign(data, size);
        edit.applyTo(*result);
    }
    return reason;
}

bool refuse(EmbedError *error, EmbedError::Reason reason, std::size_t room = 0)
{
    if (error) {
        error->reason = reason;
        error->room = room;
    }
    return false;
}

enum class JpegScan { Found, NotFound, Malformed };

// Walks the marker segments of a JPEG up to the start of scan. Found: `segment` is the offset of
// the 0xFF of the EXIF APP1 segment and `length` its length field. NotFound: the headers end
// without one. Malformed: the headers are not a well-formed marker sequence.
JpegScan findExifSegment(const char *data, std::size_t size, std::size_t *segment,
                         std::size_t *length)
{
    if (size < 6 || byteAt(data, 0) != 0xFF || byteAt(data, 1) != 0xD8)
        return JpegScan::Malformed;
    std::size_t pos = 2;
    while (size - pos >= 4) {
        if (byteAt(data, pos) != 0xFF)
            return JpegScan::Malformed;
        const std::uint8_t marker = byteAt(data, pos + 1);
        if (marker == 0xFF) { // a fill byte before a marker
            ++pos;
            continue;
        }
        if ((marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) {
            pos += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA)
            return JpegScan::NotFound;
        const std::size_t segmentLength = readBig16(data, pos + 2);
        if (segmentLength < 2 || segmentLength > size - pos - 2)
            return JpegScan::Malformed;
        if (marker == 0xE1 && segmentLength >= 8 && std::memcmp(data + pos + 4, "Exif", 4) == 0 &&
            data[pos + 8] == 0 && data[pos + 9] == 0) {
            *segment = pos;
            *length = segmentLength;
            return JpegScan::Found;
        }
        pos += 2 + segmentLength;
    }
    return JpegScan::Malformed;
}

// The longest comment text an EXIF block can take where a value lands at the end: everything in
// the block but the value, and the 8-byte character code, must leave room for it. `block` holds
// `value` at its end, as editComment() and minimalBlock() lay it out whenever the block grows.
std::size_t jpegRoom(const std::string &block, const std::string &value)
{
    const std::size_t fixed = block.size() - value.size() + 8;
    return fixed < MaxJpegBlock ? MaxJpegBlock - fixed : 0;
}

bool planJpeg(const char *file, std::size_t size, const std::string &text, Pieces *pieces,
              EmbedError *error)
{
    std::size_t segment = 0, length = 0;
    const JpegScan scan = findExifSegment(file, size, &segment, &length);
    if (scan == JpegScan::Malformed)
        return refuse(error, EmbedError::Malformed);
    // A comment that cannot fit is laid out at one byte over the limit, to tell the room.
    const std::string value =
        userCommentValue(text.size() > MaxJpegBlock ? std::string(MaxJpegBlock, '\0') : text);
    std::string block;
    std::size_t roomInPlace = 0; // the longest text that the old comment's place takes
    if (scan == JpegScan::Found) {
        const char *tiff = file + segment + 10;
        const EmbedError::Reason reason = editStructure(tiff, length - 8, value, &block);
        if (reason != EmbedError::None)
            return refuse(error, reason);
        TiffView view(tiff, length - 8);
        CommentLayout layout;
        if (locateComment(view, &layout) && layout.comment != NotFound &&
            !valueAtEnd(view, layout)) {
            const std::uint32_t count = view.u32(layout.comment + 4);
            if (count >= 8 && fitsInPlace(view, layout, count))
                roomInPlace = count - 8;
        }
    } else {
        block = minimalBlock(value);
    }
    if (block.size() > MaxJpegBlock || value.size() != text.size() + 8)
        return refuse(error, EmbedError::JpegSegmentFull,
                      std::max(jpegRoom(block, value), roomInPlace));

    const std::size_t at = scan == JpegScan::Found ? segment : 2;
    const std::size_t replaced = scan == JpegScan::Found ? 2 + length : 0;
    std::string app1;
    app1.reserve(block.size() + 10);
    app1.append("\xff\xe1", 2);
    appendBig16(app1, std::uint16_t(block.size() + 8));
    app1.append("Exif\0\0", 6);
    app1.append(block);
    addRun(pieces, 0, at);
    addBytes(pieces, app1);
    addRun(pieces, at + replaced, size - at - replaced);
    return true;
}

struct PngChunks
{
    std::size_t exif = NotFound; // the first "eXIf" chunk
    std::size_t idat = NotFound; // the first "IDAT" chunk
    bool complete = false;       // every chunk up to "IEND" lies inside the file
};

// Walks the chunks of a PNG file from after the signature up to "IEND".
PngChunks walkPng(const char *data, std::size_t size)
{
    PngChunks chunks;
    if (size < 20 || std::memcmp(data, PngSignature, 8) != 0)
        return chunks;
    std::size_t pos = 8;
    while (size - pos >= 12) {
        const std::size_t length = readBig32(data, pos);
        if (length > size - pos - 12)
            break;
        const char *type = data + pos + 4;
        if (chunks.exif == NotFound && std::memcmp(type, "eXIf", 4) == 0)
            chunks.exif = pos;
        if (chunks.idat == NotFound && std::memcmp(type, "IDAT", 4) == 0)
            chunks.idat = pos;
        if (std::memcmp(type, "IEND", 4) == 0) {
            chunks.complete = true;
            break;
        }
        pos += 12 + length;
    }
    return chunks;
}

bool planPng(const char *file, std::size_t size, const std::string &text, Pieces *pieces,
             EmbedError *error)
{
    const PngChunks chunks = walkPng(file, size);
    if (!chunks.complete || chunks.idat == NotFound)
        return refuse(error, EmbedError::Malformed);
    if (text.size() > MaxPngChunk)
        return refuse(error, EmbedError::TooLarge);
    const std::string value = userCommentValue(text);
    std::string block;
    std::size_t replaced = 0;
    if (chunks.exif != NotFound) {
        const std::size_t length = readBig32(file, chunks.exif);
        const EmbedError::Reason reason =
            editStructure(file + chunks.exif + 8, length, value, &block);
        if (reason != EmbedError::None)
            return refuse(error, reason);
        replaced = 12 + length;
    } else {
        block = minimalBlock(value);
    }
    if (block.size() > MaxPngChunk)
        return refuse(error, EmbedError::TooLarge);

    std::string chunk;
    chunk.reserve(block.size() + 12);
    appendBig32(chunk, std::uint32_t(block.size()));
    chunk.append("eXIf", 4);
    chunk.append(block);
    appendBig32(chunk, crc32(chunk.data() + 4, chunk.size() - 4));
    const std::size_t at = chunks.exif != NotFound ? chunks.exif : chunks.idat;
    addRun(pieces, 0, at);
    addBytes(pieces, chunk);
    addRun(pieces, at + replaced, size - at - replaced);
    return true;
}

bool planTiff(const char *file, std::size_t size, const std::string &text, Pieces *pieces,
              EmbedError *error)
{
    TiffView view(file, size);
    CommentLayout layout;
    if (!locateComment(view, &layout))
        return refuse(error, EmbedError::Malformed);
    if (text.size() > MaxBlockSize)
        return refuse(error, EmbedError::TooLarge);
    TiffEdit edit(view);
    const EmbedError::Reason reason = editComment(edit, layout, userCommentValue(text));
    if (reason != EmbedError::None)
        return refuse(error, reason);
    edit.addPieces(0, pieces);
    return true;
}

constexpr std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> CrcTable = makeCrcTable();

} // namespace

ImageKind kindOf(const char *data, std::size_t size)
{
    if (size >= 2 && byteAt(data, 0) == 0xFF && byteAt(data, 1) == 0xD8)
        return JpegImage;
    if (size >= 8 && std::memcmp(data, PngSignature, 8) == 0)
        return PngImage;
    if (size >= 4 &&
        (std::memcmp(data, "II\x2a\x00", 4) == 0 || std::memcmp(data, "MM\x00\x2a", 4) == 0))
        return TiffImage;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        return BmpImage;
    return UnknownImage;
}

std::string userCommentValue(const std::string &text)
{
    std::string value("ASCII\0\0\0", 8);
    value.append(text);
    return value;
}

std::string minimalBlock(const std::string &value)
{
    static const char head[] = "II\x2a\x00\x08\x00\x00\x00" // header, IFD0 at 8
                               "\x01\x00"                   // IFD0: one entry
                               "\x69\x87\x04\x00\x01\x00\x00\x00\x1a\x00\x00\x00" // Exif IFD at 26
                               "\x00\x00\x00\x00"                                 // no next IFD
                               "\x01\x00"          // Exif IFD: one entry
                               "\x86\x92\x07\x00"; // UserComment, UNDEFINED
    std::string block(head, sizeof(head) - 1);
    block.reserve(block.size() + 12 + value.size());
    block.append(12, '\0'); // count, value or offset, next IFD
    TiffView view(block.data(), block.size());
    TiffEdit edit(view);
    edit.put32(32, std::uint32_t(value.size()));
    edit.placeValue(28, value);
    std::string result = block;
    edit.applyTo(result);
    return result;
}

bool setUserComment(std::string &block, const std::string &value)
{
    std::string result;
    if (editStructure(block.data(), block.size(), value, &result) != EmbedError::None)
        return false;
    block.swap(result);
    return true;
}

bool userComment(const char *block, std::size_t size, std::string *text)
{
    TiffView view(block, size);
    CommentLayout layout;
    if (!locateComment(view, &layout) || layout.comment == NotFound)
        return false;
    const std::uint32_t count = view.u32(layout.comment + 4);
    std::size_t offset = layout.comment + 8;
    if (count > 4) {
        offset = view.u32(layout.comment + 8);
        if (offset > size || size - offset < count)
            return false;
    }
    const char *value = block + offset;
    std::size_t length = count;
    static const char *const codes[] = {"ASCII\0\0\0", "UNICODE\0", "JIS\0\0\0\0\0",
                                        "\0\0\0\0\0\0\0\0"};
    if (length >= 8) {
        for (const char *code : codes) {
            if (std::memcmp(value, code, 8) == 0) {
                value += 8;
                length -= 8;
                break;
            }
        }
    }
    if (text)
        text->assign(value, length);
    return true;
}

bool planUserComment(const char *file, std::size_t size, const std::string &text, Pieces *pieces,
                     EmbedError *error)
{
    Pieces planned;
    bool ok = false;
    switch (kindOf(file, size)) {
    case JpegImage:
        ok = planJpeg(file, size, text, &planned, error);
        break;
    case PngImage:
        ok = planPng(file, size, text, &planned, error);
        break;
    case TiffImage:
        ok = planTiff(file, size, text, &planned, error);
        break;
    case BmpImage:
    case UnknownImage:
        return refuse(error, EmbedError::UnsupportedKind);
    }
    if (ok) {
        pieces->swap(planned);
        if (error)
            *error = EmbedError();
    }
    return ok;
}

std::string assemble(const char *file, const Pieces &pieces)
{
    std::size_t total = 0;
    for (const Piece &piece : pieces)
        total += piece.original ? piece.length : piece.bytes.size();
    std::string result;
    result.reserve(total);
    for (const Piece &piece : pieces) {
        if (piece.original)
            result.append(file + piece.offset, piece.length);
        else
            result.append(piece.bytes);
    }
    return result;
}

bool embedUserComment(std::string &file, const std::string &text, EmbedError *error)
{
    Pieces pieces;
    if (!planUserComment(file.data(), file.size(), text, &pieces, error))
        return false;
    file = assemble(file.data(), pieces);
    return true;
}

bool extractUserComment(const std::string &file, std::string *text)
{
    switch (kindOf(file.data(), file.size())) {
    case JpegImage: {
        std::size_t segment = 0, length = 0;
        if (findExifSegment(file.data(), file.size(), &segment, &length) != JpegScan::Found)
            return false;
        return userComment(file.data() + segment + 10, length - 8, text);
    }
    case PngImage: {
        const PngChunks chunks = walkPng(file.data(), file.size());
        if (chunks.exif == NotFound)
            return false;
        return userComment(file.data() + chunks.exif + 8, readBig32(file.data(), chunks.exif),
                           text);
    }
    case TiffImage:
        return userComment(file.data(), file.size(), text);
    case BmpImage:
    case UnknownImage:
        break;
    }
    return false;
}

std::uint32_t crc32(const char *data, std::size_t size, std::uint32_t crc)
{
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = CrcTable[(crc ^ byteAt(data, i)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace ExifContainer
