// PixelSize.h: records a calibrated picture's pixel size where other imaging programs read it.
#pragma once

#include "metadata/ExifContainer.h"

#include <cstddef>
#include <string>

// Every format keeps its own unit, so the size is given in pixels per metre and stored as:
// - TIFF: XResolution and YResolution in pixels per centimetre with ResolutionUnit centimetre,
//   and, only when the file has no ImageDescription, an ImageJ-style description
//   "ImageJ=1.11a\nunit=cm\n". ImageJ reads XResolution as pixels per the description's unit,
//   other readers as pixels per ResolutionUnit; centimetre is the one unit that both can name,
//   so both read the same size. A description of the file's own is kept, except that an ImageJ
//   description (one that starts with "ImageJ=") gets "unit=cm" in place of its unit line, as
//   its old unit would make ImageJ misread the new resolution.
// - PNG: the pHYs chunk in pixels per metre (rounded to whole pixels per metre).
// - JPEG: the JFIF density in dots per centimetre (rounded; left as it is when the size is beyond
//   its 16 bits, when the density says "no unit" instead, rather than a wrong size) and, where
//   the file has EXIF, XResolution, YResolution and ResolutionUnit of
//   IFD0 as in TIFF. A JPEG with neither JFIF nor EXIF gets a JFIF segment.
// Everything else in the file stays as it is. Plain C++ like ExifContainer, so that it can be
// fuzzed; ExifUserComment::writePixelSize() applies it to a file on disk.
namespace PixelSize {

// The ImageDescription written into a TIFF that has none.
extern const char ImageJDescription[];

// Plans recording `pixelsPerMetre` (in both directions) in the JPEG, PNG or TIFF file of `size`
// bytes at `file`, without changing it; see ExifContainer::planUserComment(). OutOfRange for a
// size that is not a finite number above 0 or that the file's format cannot record.
bool plan(const char *file, std::size_t size, double pixelsPerMetre, ExifContainer::Pieces *pieces,
          ExifContainer::EmbedError *error = nullptr);

// Records `pixelsPerMetre` in the picture in `file`; on false `file` is unchanged.
bool embed(std::string &file, double pixelsPerMetre, ExifContainer::EmbedError *error = nullptr);

// Where a pixel size that was read came from.
enum class Source {
    None,
    ImageJ, // a TIFF's resolution in the unit of its ImageJ description
    Tiff,   // a TIFF's resolution tags
    Exif,   // a JPEG's EXIF resolution tags
    Jfif,   // a JPEG's JFIF density
    Png,    // a PNG's pHYs chunk
};

struct Reading
{
    double xPerMetre = 0; // pixels per metre across
    double yPerMetre = 0; // and down
    Source source = Source::None;
};

// Resolutions coarser than this (1200 dots per inch, about 21 um per pixel) are what programs
// write for screens and printers (72, 96, 300 dpi), not a measured pixel size; only a TIFF whose
// ImageJ description names a unit of length is taken at any value.
constexpr double MinMeasuredPixelsPerMetre = 1200 / 0.0254;

// Reads the pixel size that the JPEG, PNG or TIFF file of `size` bytes at `file` states as a
// measurement, in the places plan() writes (and ImageJ's description units: nm, micron, um, mm,
// cm, m, inch). A JPEG's EXIF is preferred to its JFIF density, which is rounded. False when the
// file states none, only a screen or print resolution, or is damaged where the size would be.
// Every offset is checked: any bytes may be passed.
bool read(const char *file, std::size_t size, Reading *reading);

} // namespace PixelSize
