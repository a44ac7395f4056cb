// PixelSize.cpp: resolution tags, the ImageJ description, pHYs and the JFIF density.
#include "metadata/PixelSize.h"

#include "metadata/TiffStructure.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace PixelSize {

const char ImageJDescription[] = "ImageJ=1.11a\nunit=cm\n";

namespace {

using namespace ExifContainer;
using namespace ExifContainer::detail;

constexpr std::uint16_t TagImageDescription = 0x010E;
constexpr std::uint16_t TagXResolution = 0x011A;
constexpr std::uint16_t TagYResolution = 0x011B;
constexpr std::uint16_t TagResolutionUnit = 0x0128;
constexpr std::uint16_t TypeAscii = 2;
constexpr std::uint16_t TypeShort = 3;
constexpr std::uint16_t TypeRational = 5;
constexpr std::uint16_t UnitCentimetre = 3;

// The fraction closest to `x` (between 1/(2^32 - 1) and 2^32 - 1) with numerator and
// denominator below 2^32, by continued fractions: exact for any x with few enough digits, such as
// 10000 or 12345.6789.
std::pair<std::uint32_t, std::uint32_t> rational(double x)
{
    constexpr std::uint64_t Max = 0xFFFFFFFFu;
    std::uint64_t p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    double rest = x;
    for (int i = 0; i < 64; ++i) {
        const double whole = std::floor(rest);
        if (whole > double(Max))
            break;
        const std::uint64_t a = std::uint64_t(whole);
        const std::uint64_t p2 = a * p1 + p0, q2 = a * q1 + q0;
        if (p2 > Max || q2 > Max)
            break;
        p0 = p1, q0 = q1, p1 = p2, q1 = q2;
        if (std::fabs(double(p1) / double(q1) - x) <= x * 1e-15 || rest - whole <= 0)
            break;
        rest = 1 / (rest - whole);
    }
    if (q1 == 0) // only for x >= 2^32, which the callers refuse
        return {std::uint32_t(Max), 1};
    if (p1 == 0) // x < 1/(2^32 - 1), likewise
        return {1, std::uint32_t(Max)};
    return {std::uint32_t(p1), std::uint32_t(q1)};
}

std::size_t typeSize(std::uint16_t type)
{
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 0;
    }
}

// One IFD entry to set: its type, count and value bytes in the structure's byte order.
struct Setting
{
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::string value;
};

std::string rationalBytes(const TiffView &view, double x)
{
    const std::pair<std::uint32_t, std::uint32_t> r = rational(x);
    std::string bytes;
    for (const std::uint32_t part : {r.first, r.second}) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(char(part >> (view.bigEndian() ? 24 - 8 * i : 8 * i)));
    }
    return bytes;
}

// The resolution entries for `pixelsPerMetre`, and the ImageDescription `description` (with its
// closing NUL) unless it is empty.
std::vector<Setting> resolutionSettings(const TiffView &view, double pixelsPerMetre,
                                        const std::string &description)
{
    const std::string perCentimetre = rationalBytes(view, pixelsPerMetre / 100);
    std::string unit(2, '\0');
    unit[view.bigEndian() ? 1 : 0] = char(UnitCentimetre);
    std::vector<Setting> settings = {{TagXResolution, TypeRational, 1, perCentimetre},
                                     {TagYResolution, TypeRational, 1, perCentimetre},
                                     {TagResolutionUnit, TypeShort, 1, unit}};
    if (!description.empty())
        settings.insert(settings.begin(), {TagImageDescription, TypeAscii,
                                           std::uint32_t(description.size()), description});
    return settings;
}

// The bytes of the value of the IFD entry at `entry` in the valid IFD: inline or at its offset.
// False when the value does not lie inside the structure or its type is unknown.
bool valueBytes(const TiffView &view, std::size_t entry, const char **data, std::size_t *length)
{
    const std::size_t unit = typeSize(view.u16(entry + 2));
    if (unit == 0)
        return false;
    const std::uint64_t bytes = std::uint64_t(unit) * view.u32(entry + 4);
    if (bytes <= 4) {
        *data = view.data() + entry + 8;
    } else {
        const std::uint64_t offset = view.u32(entry + 8);
        if (offset > view.size() || bytes > view.size() - offset)
            return false;
        *data = view.data() + offset;
    }
    *length = std::size_t(bytes);
    return true;
}

// The ImageDescription of IFD0 without its closing NULs; false when there is none (or it lies
// outside the structure).
bool description(const TiffView &view, std::string *text)
{
    const std::size_t entry = view.findTag(view.u32(4), TagImageDescription);
    const char *data = nullptr;
    std::size_t length = 0;
    if (entry == NotFound || !valueBytes(view, entry, &data, &length))
        return false;
    while (length > 0 && data[length - 1] == '\0')
        --length;
    text->assign(data, length);
    return true;
}

bool isImageJ(const std::string &description)
{
    return description.compare(0, 7, "ImageJ=") == 0;
}

// The value of the "unit=" line of an ImageJ description; false when it has none.
bool imageJUnit(const std::string &description, std::string *unit)
{
    std::size_t line = 0;
    while (line < description.size()) {
        std::size_t end = description.find('\n', line);
        if (end == std::string::npos)
            end = description.size();
        if (description.compare(line, 5, "unit=") == 0) {
            unit->assign(description, line + 5, end - line - 5);
            while (!unit->empty() && (unit->back() == '\r' || unit->back() == ' '))
                unit->pop_back();
            return true;
        }
        line = end + 1;
    }
    return false;
}

// The description a TIFF gets with the new resolution (with its closing NUL), or empty to leave
// the file's own description as it is.
std::string newDescription(const TiffView &view)
{
    std::string own;
    if (!description(view, &own))
        return std::string(ImageJDescription, sizeof ImageJDescription);
    if (!isImageJ(own))
        return std::string();
    std::string unit;
    if (imageJUnit(own, &unit) && unit == "cm")
        return std::string();
    // ImageJ's own lines stay; only the unit changes to the one the resolution is written in.
    std::string updated;
    std::size_t line = 0;
    bool replaced = false;
    while (line < own.size()) {
        std::size_t end = own.find('\n', line);
        if (end == std::string::npos)
            end = own.size();
        if (own.compare(line, 5, "unit=") == 0 && !replaced) {
            updated += "unit=cm";
            replaced = true;
        } else {
            updated.append(own, line, end - line);
        }
        updated += '\n';
        line = end + 1;
    }
    if (!replaced)
        updated += "unit=cm\n";
    updated.push_back('\0');
    return updated;
}

// Sets `settings` (in ascending tag order) in IFD0 of the valid TIFF structure in `edit`. An
// entry that exists keeps its place and, where its old value is large enough and lies clear of
// the header and IFD0, its value's place too; missing entries make IFD0 be rebuilt at the end
// with them, in tag order. False when IFD0 cannot take more entries.
bool setInIfd0(TiffEdit &edit, const std::vector<Setting> &settings)
{
    const TiffView &view = edit.original();
    const std::size_t ifd0 = view.u32(4);
    const std::size_t oldCount = view.u16(ifd0);
    std::vector<std::size_t> oldEntries, entries;
    std::size_t missing = 0;
    for (const Setting &setting : settings) {
        oldEntries.push_back(view.findTag(ifd0, setting.tag));
        entries.push_back(oldEntries.back());
        missing += oldEntries.back() == NotFound ? 1 : 0;
    }
    if (oldCount + missing > 0xFFFF)
        return false;

    if (missing > 0) {
        const std::size_t newIfd = edit.alignEnd();
        edit.appendZeros(2 + (oldCount + missing) * EntrySize + 4);
        edit.put16(newIfd, std::uint16_t(oldCount + missing));
        std::size_t at = newIfd + 2, next = 0;
        for (std::size_t i = 0; i <= oldCount; ++i) {
            const std::size_t old = ifd0 + 2 + i * EntrySize;
            const std::uint16_t tag = i < oldCount ? view.u16(old) : 0xFFFF;
            // New entries go before the first old entry with a greater tag.
            for (; next < settings.size() && (i == oldCount || settings[next].tag < tag); ++next) {
                if (oldEntries[next] == NotFound) {
                    edit.put16(at, settings[next].tag);
                    entries[next] = at;
                    at += EntrySize;
                }
            }
            if (i == oldCount)
                break;
            edit.write(at, view.data() + old, EntrySize);
            for (std::size_t s = 0; s < settings.size(); ++s) {
                if (oldEntries[s] == old)
                    entries[s] = at;
            }
            at += EntrySize;
        }
        edit.put32(at, view.u32(ifd0 + 2 + oldCount * EntrySize));
        edit.put32(4, std::uint32_t(newIfd));
    }

    std::vector<std::pair<std::uint64_t, std::uint64_t>> reused; // old value places taken
    for (std::size_t s = 0; s < settings.size(); ++s) {
        const Setting &setting = settings[s];
        const std::size_t entry = entries[s];
        std::size_t reuse = NotFound;
        if (oldEntries[s] != NotFound && setting.value.size() > 4) {
            const std::size_t old = oldEntries[s];
            const std::uint64_t oldBytes =
                std::uint64_t(typeSize(view.u16(old + 2))) * view.u32(old + 4);
            const std::uint64_t offset = view.u32(old + 8);
            const std::uint64_t length = setting.value.size();
            // A damaged file's values may share bytes: each place is taken once.
            const bool taken = std::any_of(reused.begin(), reused.end(), [&](const auto &r) {
                return overlaps(offset, length, r.first, r.second);
            });
            if (oldBytes >= length && offset + length <= view.size() && !taken &&
                !overlaps(offset, length, 0, 8) &&
                !overlaps(offset, length, ifd0, view.ifdLength(ifd0))) {
                reuse = std::size_t(offset);
                reused.emplace_back(offset, length);
            }
        }
        edit.put16(entry + 2, setting.type);
        edit.put32(entry + 4, setting.count);
        if (reuse != NotFound) {
            edit.write(reuse, setting.value.data(), setting.value.size());
            edit.put32(entry + 8, std::uint32_t(reuse));
        } else {
            edit.placeValue(entry, setting.value);
        }
    }
    return true;
}

// True for a TIFF structure whose header and IFD0 are valid and that can grow by a rebuilt IFD0
// and its values.
bool editable(TiffView &view)
{
    if (!view.readHeader() || !view.validIfd(view.u32(4)))
        return false;
    return std::uint64_t(view.size()) + view.ifdLength(view.u32(4)) + 200 <= MaxBlockSize;
}

bool refuse(EmbedError *error, EmbedError::Reason reason)
{
    if (error) {
        error->reason = reason;
        error->room = 0;
    }
    return false;
}

// One replacement in a file: `removed` bytes from `at` give way to `bytes`.
struct Change
{
    std::size_t at;
    std::size_t removed;
    std::string bytes;
};

void addChanges(std::size_t size, std::vector<Change> changes, Pieces *pieces)
{
    std::sort(changes.begin(), changes.end(),
              [](const Change &a, const Change &b) { return a.at < b.at; });
    std::size_t at = 0;
    for (const Change &change : changes) {
        addRun(pieces, at, change.at - at);
        addBytes(pieces, change.bytes);
        at = change.at + change.removed;
    }
    addRun(pieces, at, size - at);
}

// The JFIF APP0 segment of a JPEG: the offset of its 0xFF, or NotFound.
std::size_t findJfif(const char *data, std::size_t size)
{
    std::size_t pos = 2;
    while (size - pos >= 4 && byteAt(data, pos) == 0xFF) {
        const std::uint8_t marker = byteAt(data, pos + 1);
        if (marker == 0xD9 || marker == 0xDA || (marker >= 0xD0 && marker <= 0xD8) ||
            marker == 0x01 || marker == 0xFF)
            return NotFound;
        const std::size_t length = readBig16(data, pos + 2);
        if (length < 2 || length > size - pos - 2)
            return NotFound;
        if (marker == 0xE0 && length >= 16 && std::memcmp(data + pos + 4, "JFIF\0", 5) == 0)
            return pos;
        pos += 2 + length;
    }
    return NotFound;
}

bool planJpeg(const char *file, std::size_t size, double pixelsPerMetre, Pieces *pieces,
              EmbedError *error)
{
    std::size_t segment = 0, length = 0;
    const JpegScan scan = findExifSegment(file, size, &segment, &length);
    if (scan == JpegScan::Malformed)
        return refuse(error, EmbedError::Malformed);
    std::vector<Change> changes;
    if (scan == JpegScan::Found) {
        TiffView view(file + segment + 10, length - 8);
        if (!editable(view))
            return refuse(error, EmbedError::Malformed);
        TiffEdit edit(view);
        if (!setInIfd0(edit, resolutionSettings(view, pixelsPerMetre, std::string())))
            return refuse(error, EmbedError::Malformed);
        std::string block(view.data(), view.size());
        edit.applyTo(block);
        if (block.size() > MaxJpegBlock)
            return refuse(error, EmbedError::JpegSegmentFull);
        std::string app1("\xff\xe1", 2);
        appendBig16(app1, std::uint16_t(block.size() + 8));
        app1.append("Exif\0\0", 6);
        changes.push_back({segment, 2 + length, app1 + block});
    }

    // A density beyond JFIF's 16 bits says "no unit" (square pixels) rather than keep a size
    // that the picture does not have, such as a writer's 72 dpi.
    const double density = std::round(pixelsPerMetre / 100);
    const bool fitsJfif = density >= 1 && density <= 0xFFFF;
    const std::size_t jfif = findJfif(file, size);
    std::string fields(1, fitsJfif ? '\x02' : '\x00'); // dots per centimetre, or aspect only
    appendBig16(fields, std::uint16_t(fitsJfif ? density : 1));
    appendBig16(fields, std::uint16_t(fitsJfif ? density : 1));
    if (!fitsJfif && scan == JpegScan::NotFound) // no place can hold it
        return refuse(error, EmbedError::OutOfRange);
    if (jfif != NotFound) {
        changes.push_back({jfif + 11, 5, fields});
    } else if (scan == JpegScan::NotFound) {
        changes.push_back(
            {2, 0,
             std::string("\xff\xe0\x00\x10JFIF\0\x01\x01", 11) + fields + std::string(2, '\0')});
    }
    addChanges(size, changes, pieces);
    return true;
}

bool planPng(const char *file, std::size_t size, double pixelsPerMetre, Pieces *pieces,
             EmbedError *error)
{
    const PngChunks chunks = walkPng(file, size);
    if (!chunks.complete || chunks.idat == NotFound)
        return refuse(error, EmbedError::Malformed);
    const double perMetre = std::round(pixelsPerMetre);
    if (!(perMetre >= 1 && perMetre <= double(MaxPngChunk)))
        return refuse(error, EmbedError::OutOfRange);
    std::size_t phys = NotFound;
    for (std::size_t pos = 8; pos < chunks.idat; pos += 12 + readBig32(file, pos)) {
        if (std::memcmp(file + pos + 4, "pHYs", 4) == 0) {
            phys = pos;
            break;
        }
    }
    std::string chunk;
    appendBig32(chunk, 9);
    chunk.append("pHYs", 4);
    appendBig32(chunk, std::uint32_t(perMetre));
    appendBig32(chunk, std::uint32_t(perMetre));
    chunk.push_back('\x01'); // metre
    appendBig32(chunk, crc32(chunk.data() + 4, chunk.size() - 4));
    if (phys != NotFound)
        addChanges(size, {{phys, 12 + readBig32(file, phys), chunk}}, pieces);
    else
        addChanges(size, {{chunks.idat, 0, chunk}}, pieces);
    return true;
}

bool planTiff(const char *file, std::size_t size, double pixelsPerMetre, Pieces *pieces,
              EmbedError *error)
{
    TiffView view(file, size);
    if (!editable(view))
        return refuse(error, EmbedError::Malformed);
    TiffEdit edit(view);
    if (!setInIfd0(edit, resolutionSettings(view, pixelsPerMetre, newDescription(view))))
        return refuse(error, EmbedError::Malformed);
    edit.addPieces(0, pieces);
    return true;
}

} // namespace

bool plan(const char *file, std::size_t size, double pixelsPerMetre, Pieces *pieces,
          EmbedError *error)
{
    // TIFF rationals hold pixels per centimetre between 1/(2^32 - 1) and 2^32 - 1.
    constexpr double MaxRational = 4294967295.0;
    const double perCentimetre = pixelsPerMetre / 100;
    if (!std::isfinite(pixelsPerMetre) || !(perCentimetre >= 1 / MaxRational) ||
        perCentimetre > MaxRational)
        return refuse(error, EmbedError::OutOfRange);
    Pieces planned;
    bool ok = false;
    switch (kindOf(file, size)) {
    case JpegImage:
        ok = planJpeg(file, size, pixelsPerMetre, &planned, error);
        break;
    case PngImage:
        ok = planPng(file, size, pixelsPerMetre, &planned, error);
        break;
    case TiffImage:
        ok = planTiff(file, size, pixelsPerMetre, &planned, error);
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

bool embed(std::string &file, double pixelsPerMetre, EmbedError *error)
{
    Pieces pieces;
    if (!plan(file.data(), file.size(), pixelsPerMetre, &pieces, error))
        return false;
    file = assemble(file.data(), pieces);
    return true;
}

namespace {

// Pixel sizes finer than a picometre are no picture's.
constexpr double MaxPixelsPerMetre = 1e12;

bool plausible(double perMetre)
{
    return std::isfinite(perMetre) && perMetre > 0 && perMetre <= MaxPixelsPerMetre;
}

bool measured(double perMetre)
{
    return plausible(perMetre) && perMetre >= MinMeasuredPixelsPerMetre;
}

// Metres per unit of an ImageJ unit name; 0 for anything that is not a length (such as "pixel").
double imageJUnitMetres(const std::string &unit)
{
    static const struct
    {
        const char *name;
        double metres;
    } units[] = {
        {"nm", 1e-9},       {"nanometer", 1e-9},  {"micron", 1e-6},   {"microns", 1e-6},
        {"um", 1e-6},       {"\xc2\xb5m", 1e-6},  {"\xb5m", 1e-6},    {"\xce\xbcm", 1e-6},
        {"\\u00B5m", 1e-6}, {"micrometer", 1e-6}, {"mm", 1e-3},       {"millimeter", 1e-3},
        {"cm", 1e-2},       {"centimeter", 1e-2}, {"m", 1},           {"meter", 1},
        {"metre", 1},       {"inch", 0.0254},     {"inches", 0.0254}, {"in", 0.0254},
    };
    for (const auto &u : units) {
        if (unit == u.name)
            return u.metres;
    }
    return 0;
}

// The first value of a RATIONAL, SHORT or LONG entry; 0 when it cannot be read.
double numberValue(const TiffView &view, std::size_t entry)
{
    const char *data = nullptr;
    std::size_t length = 0;
    if (entry == NotFound || view.u32(entry + 4) == 0 || !valueBytes(view, entry, &data, &length))
        return 0;
    const std::size_t at = std::size_t(data - view.data());
    switch (view.u16(entry + 2)) {
    case TypeRational: {
        const std::uint32_t denominator = view.u32(at + 4);
        return denominator == 0 ? 0 : double(view.u32(at)) / denominator;
    }
    case TypeShort:
        return view.u16(at);
    case 4: // LONG
        return view.u32(at);
    default:
        return 0;
    }
}

// The pixel size of a TIFF structure's IFD0; ImageJ's description is honoured when `imageJ`.
bool readTiff(const char *data, std::size_t size, bool imageJ, Source source, Reading *reading)
{
    TiffView view(data, size);
    if (!view.readHeader() || !view.validIfd(view.u32(4)))
        return false;
    const std::size_t ifd0 = view.u32(4);
    const double x = numberValue(view, view.findTag(ifd0, TagXResolution));
    double y = numberValue(view, view.findTag(ifd0, TagYResolution));
    if (!(y > 0))
        y = x;

    std::string text, unit;
    if (imageJ && description(view, &text) && isImageJ(text) && imageJUnit(text, &unit)) {
        // ImageJ reads the resolution as pixels per its own unit, whatever ResolutionUnit says.
        const double metres = imageJUnitMetres(unit);
        if (!(metres > 0) || !plausible(x / metres) || !plausible(y / metres))
            return false;
        *reading = {x / metres, y / metres, Source::ImageJ};
        return true;
    }
    const std::size_t unitEntry = view.findTag(ifd0, TagResolutionUnit);
    const double unitCode = unitEntry == NotFound ? 2 : numberValue(view, unitEntry); // inch
    const double metres = unitCode == 2 ? 0.0254 : unitCode == UnitCentimetre ? 0.01 : 0;
    if (!(metres > 0) || !measured(x / metres) || !measured(y / metres))
        return false;
    *reading = {x / metres, y / metres, source};
    return true;
}

bool readJpeg(const char *file, std::size_t size, Reading *reading)
{
    std::size_t segment = 0, length = 0;
    if (findExifSegment(file, size, &segment, &length) == JpegScan::Found &&
        readTiff(file + segment + 10, length - 8, false, Source::Exif, reading))
        return true;
    const std::size_t jfif = findJfif(file, size);
    if (jfif == NotFound)
        return false;
    const std::uint8_t unit = byteAt(file, jfif + 11);
    const double perUnit = unit == 1 ? 1 / 0.0254 : unit == 2 ? 100 : 0;
    const double x = readBig16(file, jfif + 12) * perUnit;
    const double y = readBig16(file, jfif + 14) * perUnit;
    if (!measured(x) || !measured(y))
        return false;
    *reading = {x, y, Source::Jfif};
    return true;
}

bool readPng(const char *file, std::size_t size, Reading *reading)
{
    std::size_t pos = 8;
    while (size - pos >= 12) {
        const std::size_t length = readBig32(file, pos);
        if (length > size - pos - 12 || std::memcmp(file + pos + 4, "IDAT", 4) == 0)
            return false;
        if (std::memcmp(file + pos + 4, "pHYs", 4) == 0) {
            if (length != 9 || byteAt(file, pos + 16) != 1) // 1: pixels per metre
                return false;
            const double x = readBig32(file, pos + 8);
            const double y = readBig32(file, pos + 12);
            if (!measured(x) || !measured(y))
                return false;
            *reading = {x, y, Source::Png};
            return true;
        }
        pos += 12 + length;
    }
    return false;
}

} // namespace

bool read(const char *file, std::size_t size, Reading *reading)
{
    Reading found;
    bool ok = false;
    switch (kindOf(file, size)) {
    case JpegImage:
        ok = size >= 6 && readJpeg(file, size, &found);
        break;
    case PngImage:
        ok = size >= 8 && readPng(file, size, &found);
        break;
    case TiffImage:
        ok = readTiff(file, size, true, Source::Tiff, &found);
        break;
    case BmpImage:
    case UnknownImage:
        break;
    }
    if (ok)
        *reading = found;
    return ok;
}

} // namespace PixelSize
