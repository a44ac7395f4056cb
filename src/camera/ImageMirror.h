// ImageMirror.h: flips a decoded picture in place, without a second copy of it.
#pragma once

#include <QImage>

#include <algorithm>

namespace ImageMirror {

// Mirrors an 8-bit grey or a 32-bit picture left to right and/or top to bottom in place.
inline void mirrorInPlace(QImage *image, bool horizontal, bool vertical)
{
    const int width = image->width(), height = image->height();
    if (vertical) {
        const int bytes = image->bytesPerLine();
        for (int i = 0; i < height / 2; ++i)
            std::swap_ranges(image->scanLine(i), image->scanLine(i) + bytes,
                             image->scanLine(height - 1 - i));
    }
    if (horizontal) {
        const bool grey = image->depth() == 8;
        for (int row = 0; row < height; ++row) {
            uchar *line = image->scanLine(row);
            if (grey) {
                std::reverse(line, line + width);
            } else {
                auto *pixels = reinterpret_cast<quint32 *>(line);
                std::reverse(pixels, pixels + width);
            }
        }
    }
}

} // namespace ImageMirror
