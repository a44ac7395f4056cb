// TiffStructure.h: reading and editing TIFF structures, and finding the EXIF data of JPEG and
// PNG files; shared by the metadata edits. Internal to the metadata module.
#pragma once

#include "metadata/ExifContainer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace ExifContainer {
namespace detail {

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

constexpr char PngSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};

inline std::uint8_t byteAt(const char *data, std::size_t offset)
{
    return static_cast<std::uint8_t>(data[offset]);
}

inline std::uint16_t readBig16(const char *data, std::size_t offset)
{
    return std::uint16_t(byteAt(data, offset) << 8 | byteAt(data, offset + 1));
}

inline std::uint32_t readBig32(const char *data, std::size_t offset)
{
    return std::uint32_t(byteAt(data, offset)) << 24 |
           std::uint32_t(byteAt(data, offset + 1)) << 16 |
           std::uint32_t(byteAt(data, offset + 2)) << 8 | std::uint32_t(byteAt(data, offset + 3));
}

inline void appendBig16(std::string &out, std::uint16_t value)
{
    out.push_back(char(value >> 8));
    out.push_back(char(value));
}

inline void appendBig32(std::string &out, std::uint32_t value)
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

inline void addRun(Pieces *pieces, std::size_t offset, std::size_t length)
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

inline void addBytes(Pieces *pieces, const std::string &bytes)
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

inline bool overlaps(std::uint64_t start, std::uint64_t length, std::uint64_t otherStart,
                     std::uint64_t otherLength)
{
    return start < otherStart + otherLength && otherStart < start + length;
}

enum class JpegScan { Found, NotFound, Malformed };

// Walks the marker segments of a JPEG up to the start of scan. Found: `segment` is the offset of
// the 0xFF of the EXIF APP1 segment and `length` its length field. NotFound: the headers end
// without one. Malformed: the headers are not a well-formed marker sequence.
JpegScan findExifSegment(const char *data, std::size_t size, std::size_t *segment,
                         std::size_t *length);

struct PngChunks
{
    std::size_t exif = NotFound; // the first "eXIf" chunk
    std::size_t idat = NotFound; // the first "IDAT" chunk
    bool complete = false;       // every chunk up to "IEND" lies inside the file
};

// Walks the chunks of a PNG file from after the signature up to "IEND".
PngChunks walkPng(const char *data, std::size_t size);

} // namespace detail
} // namespace ExifContainer
