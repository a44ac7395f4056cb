// ExifContainer.cpp: TIFF, JPEG and PNG structure edits for the EXIF UserComment.
#include "metadata/ExifContainer.h"

#include <array>
#include <cstring>

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

// Writes fields into a TIFF structure in its byte order.
class TiffWriter
{
public:
    TiffWriter(std::string &block, bool bigEndian)
        : m_block(block)
        , m_bigEndian(bigEndian)
    {}

    void put16(std::size_t offset, std::uint16_t value)
    {
        m_block[offset] = char(m_bigEndian ? value >> 8 : value);
        m_block[offset + 1] = char(m_bigEndian ? value : value >> 8);
    }

    void put32(std::size_t offset, std::uint32_t value)
    {
        put16(offset + (m_bigEndian ? 0 : 2), std::uint16_t(value >> 16));
        put16(offset + (m_bigEndian ? 2 : 0), std::uint16_t(value));
    }

    // Pads the block to an even length, so that the next structure starts at an even offset,
    // and returns that offset.
    std::size_t alignEnd()
    {
        if (m_block.size() % 2 != 0)
            m_block.push_back('\0');
        return m_block.size();
    }

    // Appends zeros and returns where they start.
    std::size_t appendZeros(std::size_t count)
    {
        const std::size_t at = m_block.size();
        m_block.append(count, '\0');
        return at;
    }

    // Stores `value` as the data of the entry at `entry`: inline when it fits in the 4-byte
    // field, otherwise appended at an even offset that the field then points to.
    void placeValue(std::size_t entry, const std::string &value)
    {
        if (value.size() <= 4) {
            put32(entry + 8, 0);
            m_block.replace(entry + 8, value.size(), value);
            return;
        }
        const std::size_t at = alignEnd();
        m_block.append(value);
        put32(entry + 8, std::uint32_t(at));
    }

    // Appends a copy of the valid IFD at `ifd` with one more entry (tag, type, count, value 0)
    // placed before the first entry with a greater tag, and the old next-IFD offset. The old IFD
    // stays where it was, unreferenced. Returns the offset of the new IFD; `entry` receives the
    // offset of the new entry. The caller has checked that the tag is absent and that the count
    // can grow.
    std::size_t appendIfdWith(std::size_t ifd, std::uint16_t tag, std::uint16_t type,
                              std::uint32_t count, std::size_t *entry)
    {
        const TiffView view(m_block.data(), m_block.size(), m_bigEndian);
        const std::size_t oldCount = view.u16(ifd);
        std::string entries = m_block.substr(ifd + 2, oldCount * EntrySize);
        const std::uint32_t next = view.u32(ifd + 2 + oldCount * EntrySize);

        std::size_t slot = 0;
        while (slot < oldCount && view.u16(ifd + 2 + slot * EntrySize) < tag)
            ++slot;

        const std::size_t newIfd = alignEnd();
        appendZeros(2 + (oldCount + 1) * EntrySize + 4);
        put16(newIfd, std::uint16_t(oldCount + 1));
        const std::size_t first = newIfd + 2;
        m_block.replace(first, slot * EntrySize, entries, 0, slot * EntrySize);
        *entry = first + slot * EntrySize;
        put16(*entry, tag);
        put16(*entry + 2, type);
        put32(*entry + 4, count);
        put32(*entry + 8, 0);
        const std::size_t rest = (oldCount - slot) * EntrySize;
        m_block.replace(*entry + EntrySize, rest, entries, slot * EntrySize, rest);
        put32(first + (oldCount + 1) * EntrySize, next);
        return newIfd;
    }

private:
    std::string &m_block;
    bool m_bigEndian;
};

bool overlaps(std::uint64_t start, std::uint64_t length, std::uint64_t otherStart,
              std::uint64_t otherLength)
{
    return start < otherStart + otherLength && otherStart < start + length;
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
    return !overlaps(oldOffset, length, 0, 8) &&
           !overlaps(oldOffset, length, layout.ifd0, view.ifdLength(layout.ifd0)) &&
           !overlaps(oldOffset, length, layout.exifIfd, view.ifdLength(layout.exifIfd));
}

enum class JpegScan { Found, NotFound, Malformed };

// Walks the marker segments of a JPEG up to the start of scan. Found: `segment` is the offset of
// the 0xFF of the EXIF APP1 segment and `length` its length field. NotFound: the headers end
// without one. Malformed: the headers are not a well-formed marker sequence.
JpegScan findExifSegment(const std::string &file, std::size_t *segment, std::size_t *length)
{
    const char *data = file.data();
    const std::size_t size = file.size();
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

bool embedInJpeg(std::string &file, const std::string &value)
{
    std::size_t segment = 0, length = 0;
    std::string block;
    const JpegScan scan = findExifSegment(file, &segment, &length);
    switch (scan) {
    case JpegScan::Malformed:
        return false;
    case JpegScan::Found:
        block = file.substr(segment + 10, length - 8);
        if (!setUserComment(block, value))
            return false;
        break;
    case JpegScan::NotFound:
        if (value.size() > MaxJpegBlock)
            return false;
        block = minimalBlock(value);
        break;
    }
    if (block.size() > MaxJpegBlock)
        return false;

    std::string app1;
    app1.reserve(block.size() + 10);
    app1.append("\xff\xe1", 2);
    appendBig16(app1, std::uint16_t(block.size() + 8));
    app1.append("Exif\0\0", 6);
    app1.append(block);
    if (scan == JpegScan::Found)
        file.replace(segment, 2 + length, app1);
    else
        file.insert(2, app1);
    return true;
}

struct PngChunks
{
    std::size_t exif = NotFound; // the first "eXIf" chunk
    std::size_t idat = NotFound; // the first "IDAT" chunk
    bool complete = false;       // every chunk up to "IEND" lies inside the file
};

// Walks the chunks of a PNG file from after the signature up to "IEND".
PngChunks walkPng(const std::string &file)
{
    PngChunks chunks;
    const char *data = file.data();
    const std::size_t size = file.size();
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

bool embedInPng(std::string &file, const std::string &value)
{
    const PngChunks chunks = walkPng(file);
    if (!chunks.complete || chunks.idat == NotFound)
        return false;
    std::string block;
    std::size_t replaced = 0;
    if (chunks.exif != NotFound) {
        const std::size_t length = readBig32(file.data(), chunks.exif);
        block = file.substr(chunks.exif + 8, length);
        if (!setUserComment(block, value))
            return false;
        replaced = 12 + length;
    } else {
        if (value.size() > MaxPngChunk)
            return false;
        block = minimalBlock(value);
    }
    if (block.size() > MaxPngChunk)
        return false;

    std::string chunk;
    chunk.reserve(block.size() + 12);
    appendBig32(chunk, std::uint32_t(block.size()));
    chunk.append("eXIf", 4);
    chunk.append(block);
    appendBig32(chunk, crc32(chunk.data() + 4, chunk.size() - 4));
    file.replace(chunks.exif != NotFound ? chunks.exif : chunks.idat, replaced, chunk);
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
    block.append(12, '\0'); // count, value or offset, next IFD
    TiffWriter writer(block, false);
    writer.put32(32, std::uint32_t(value.size()));
    writer.placeValue(28, value);
    return block;
}

bool setUserComment(std::string &block, const std::string &value)
{
    TiffView view(block.data(), block.size());
    CommentLayout layout;
    if (!locateComment(view, &layout))
        return false;

    // The most the block can grow by: padding, a rebuilt Exif IFD and IFD0, and the value.
    std::uint64_t growth = 3 + std::uint64_t(value.size()) + view.ifdLength(layout.ifd0) + 12 +
                           (layout.exifIfd != NotFound ? view.ifdLength(layout.exifIfd) : 18) + 12;
    if (std::uint64_t(block.size()) + growth > MaxBlockSize)
        return false;
    const std::uint32_t length = std::uint32_t(value.size());

    TiffWriter writer(block, view.bigEndian());
    if (layout.comment != NotFound) {
        const bool inPlace = fitsInPlace(view, layout, value.size());
        const std::uint32_t oldOffset = view.u32(layout.comment + 8);
        writer.put16(layout.comment + 2, TypeUndefined);
        writer.put32(layout.comment + 4, length);
        if (inPlace)
            block.replace(oldOffset, value.size(), value);
        else
            writer.placeValue(layout.comment, value);
        return true;
    }

    if (layout.exifIfd != NotFound) {
        if (view.u16(layout.exifIfd) == 0xFFFF)
            return false;
        std::size_t entry = 0;
        const std::size_t exifIfd =
            writer.appendIfdWith(layout.exifIfd, TagUserComment, TypeUndefined, length, &entry);
        writer.placeValue(entry, value);
        writer.put32(layout.exifPointer + 8, std::uint32_t(exifIfd));
        return true;
    }

    if (view.u16(layout.ifd0) == 0xFFFF)
        return false;
    const std::size_t exifIfd = writer.alignEnd();
    writer.appendZeros(2 + EntrySize + 4);
    writer.put16(exifIfd, 1);
    writer.put16(exifIfd + 2, TagUserComment);
    writer.put16(exifIfd + 4, TypeUndefined);
    writer.put32(exifIfd + 6, length);
    writer.placeValue(exifIfd + 2, value);
    std::size_t entry = 0;
    const std::size_t ifd0 = writer.appendIfdWith(layout.ifd0, TagExifIfd, TypeLong, 1, &entry);
    writer.put32(entry + 8, std::uint32_t(exifIfd));
    writer.put32(4, std::uint32_t(ifd0));
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

bool embedUserComment(std::string &file, const std::string &text)
{
    const std::string value = userCommentValue(text);
    switch (kindOf(file.data(), file.size())) {
    case JpegImage:
        return embedInJpeg(file, value);
    case PngImage:
        return embedInPng(file, value);
    case TiffImage:
        return setUserComment(file, value);
    case BmpImage:
    case UnknownImage:
        break;
    }
    return false;
}

bool extractUserComment(const std::string &file, std::string *text)
{
    switch (kindOf(file.data(), file.size())) {
    case JpegImage: {
        std::size_t segment = 0, length = 0;
        if (findExifSegment(file, &segment, &length) != JpegScan::Found)
            return false;
        return userComment(file.data() + segment + 10, length - 8, text);
    }
    case PngImage: {
        const PngChunks chunks = walkPng(file);
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
