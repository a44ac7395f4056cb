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
//   so both read the same size.
// - PNG: the pHYs chunk in pixels per metre (rounded to whole pixels per metre).
// - JPEG: the JFIF density in dots per centimetre (rounded; left as it is when the size is beyond
//   its 16 bits) and, where the file has EXIF, XResolution, YResolution and ResolutionUnit of
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

} // namespace PixelSize
