#include "recording/TimeStamp.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace TimeStamp {

namespace {

QFont stampFont()
{
    QFont font(QStringLiteral("Arial"), 12, QFont::Bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void drawText(QPainter &painter, const QRect &rect, const QString &text)
{
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setFont(stampFont());
    painter.setPen(QPen(Qt::black, 3));
    painter.drawText(rect.adjusted(12, 12, -10, -10), Qt::AlignLeft | Qt::AlignTop, text);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawText(rect.adjusted(10, 10, -10, -10), Qt::AlignLeft | Qt::AlignTop, text);
}

} // namespace

QString text(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

void paint(QImage &image, const QString &text)
{
    QPainter painter(&image);
    drawText(painter, image.rect(), text);
}

void blend(const Nv12::Planes &planes, const QString &text)
{
    // Measured on an image so that the point size maps to pixels as it does when drawing.
    static const QImage metricsDevice(1, 1, QImage::Format_ARGB32_Premultiplied);
    const int advance = QFontMetrics(stampFont(), &metricsDevice).horizontalAdvance(text);
    const int boxWidth = std::min(planes.width - 4, advance + 24);
    const int boxHeight = std::min(planes.height - 4, 48);
    if (boxWidth < 1 || boxHeight < 1)
        return;

    QImage box(boxWidth, boxHeight, QImage::Format_ARGB32_Premultiplied);
    box.fill(Qt::transparent);
    {
        QPainter painter(&box);
        drawText(painter, box.rect(), text);
    }

    const int width = std::min(planes.width, boxWidth) & ~1;
    const int height = std::min(planes.height, boxHeight) & ~1;
    for (int y = 0; y < height; ++y) {
        const QRgb *src = reinterpret_cast<const QRgb *>(box.constScanLine(y));
        uint8_t *luma = planes.y + qsizetype(planes.yStride) * y;
        uint8_t *chroma = planes.uv + qsizetype(planes.uvStride) * (y / 2);
        for (int x = 0; x < width; ++x) {
            const int a = qAlpha(src[x]);
            if (a == 0)
                continue;
            // The box is premultiplied: its grey already carries the alpha, so it is weighted
            // by 255 rather than by a (weighting by a again would darken the glyph edges).
            const int grey = (11 * qRed(src[x]) + 16 * qGreen(src[x]) + 5 * qBlue(src[x])) >> 5;
            luma[x] = uint8_t((luma[x] * (255 - a) + grey * 255 + 127) / 255);
            uint8_t *pair = chroma + (x & ~1);
            pair[0] = uint8_t((pair[0] * (255 - a) + 128 * a + 127) / 255);
            pair[1] = uint8_t((pair[1] * (255 - a) + 128 * a + 127) / 255);
        }
    }
}

} // namespace TimeStamp
