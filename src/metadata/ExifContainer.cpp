// ExifContainer.cpp: TIFF, JPEG and PNG structure edits for the EXIF UserComment.
#include "metadata/ExifContainer.h"
#include "metadata/TiffStructure.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace ExifContainer {

using namespace detail;

namespace detail {

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

} // namespace detail

namespace {

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

std::size_t plannedSize(const Pieces &pieces)
{
    std::size_t total = 0;
    for (const Piece &piece : pieces)
        total += piece.original ? piece.length : piece.bytes.size();
    return total;
}

Pieces compose(const Pieces &first, const Pieces &second)
{
    // Where each piece of `first` starts in the file it describes.
    std::vector<std::size_t> starts;
    starts.reserve(first.size() + 1);
    std::size_t at = 0;
    for (const Piece &piece : first) {
        starts.push_back(at);
        at += piece.original ? piece.length : piece.bytes.size();
    }
    starts.push_back(at);

    Pieces result;
    for (const Piece &piece : second) {
        if (!piece.original) {
            addBytes(&result, piece.bytes);
            continue;
        }
        std::size_t from = piece.offset;
        const std::size_t end = piece.offset + piece.length;
        // The piece of `first` that holds `from`: the last one starting at or before it.
        std::size_t i =
            std::size_t(std::upper_bound(starts.begin(), starts.end(), from) - starts.begin()) - 1;
        for (; from < end && i < first.size(); ++i) {
            const Piece &source = first[i];
            const std::size_t skip = from - starts[i];
            const std::size_t take = std::min(end, starts[i + 1]) - from;
            if (source.original)
                addRun(&result, source.offset + skip, take);
            else
                addBytes(&result, source.bytes.substr(skip, take));
            from += take;
        }
    }
    return result;
}

std::string assemble(const char *file, const Pieces &pieces)
{
    std::string result;
    result.reserve(plannedSize(pieces));
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
