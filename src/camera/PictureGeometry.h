// PictureGeometry.h: the size a decoded picture is fitted to, and flipping it in place.
#pragma once

#include <QImage>
#include <QSize>

#include <algorithm>
#include <cmath>

namespace PictureGeometry {

// `size` scaled to fit into `box` with its aspect kept, each side rounded to the nearest pixel
// (halves upwards) and at least 1.
inline QSize fitted(const QSize &size, const QSize &box)
{
    const double scale =
        std::min(double(box.width()) / size.width(), double(box.height()) / size.height());
    return QSize(std::max(1, int(std::floor(size.width() * scale + 0.5))),
                 std::max(1, int(std::floor(size.height() * scale + 0.5))));
}

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

} // namespace PictureGeometry
