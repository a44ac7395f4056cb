#include "camera/DemoSpecimen.h"

#include <QFont>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>
#include <vector>

namespace DemoSpecimen {

namespace {

inline quint32 hash(quint32 x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

inline int clamp255(double v)
{
    return int(std::lround(std::clamp(v, 0.0, 255.0)));
}

// Soft blotches of stain and glass, plus a fine grain.
void paintBackground(QImage *stage, QRandomGenerator &random)
{
    const int cellSize = std::max(8, stage->width() / 48);
    QImage blotches(stage->width() / cellSize + 2, stage->height() / cellSize + 2,
                    QImage::Format_RGB32);
    for (int y = 0; y < blotches.height(); ++y)
        for (int x = 0; x < blotches.width(); ++x) {
            const int d = int(random.bounded(28)) - 14;
            const int tint = int(random.bounded(16));
            blotches.setPixel(x, y, qRgb(226 + d / 2, 219 + d - tint / 2, 206 + d + tint / 3));
        }
    *stage = blotches.scaled(stage->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                 .convertToFormat(QImage::Format_RGB32);
    // The grain of each pixel depends on its position alone: the rows are shared out over the
    // cores, since the demo camera's first picture waits for the stage.
    const int width = stage->width(), height = stage->height();
    uchar *bits = stage->bits();
    const qsizetype stride = stage->bytesPerLine();
    const auto grainRows = [=](int first, int last) {
        for (int y = first; y < last; ++y) {
            auto *row = reinterpret_cast<quint32 *>(bits + y * stride);
            for (int x = 0; x < width; ++x) {
                const int grain = int(hash(quint32(y) * 7919u + quint32(x)) % 13) - 6;
                const QRgb p = row[x];
                row[x] =
                    qRgb(std::clamp(qRed(p) + grain, 0, 255), std::clamp(qGreen(p) + grain, 0, 255),
                         std::clamp(qBlue(p) + grain, 0, 255));
            }
        }
    };
    const int slices = std::clamp(int(std::thread::hardware_concurrency()), 1, 4);
    std::vector<std::thread> helpers;
    for (int s = 1; s < slices; ++s) {
        try {
            helpers.emplace_back(grainRows, height * s / slices, height * (s + 1) / slices);
        } catch (const std::system_error &) {
            grainRows(height * s / slices, height * (s + 1) / slices);
        }
    }
    grainRows(0, height / slices);
    for (std::thread &helper : helpers)
        helper.join();
}

void paintCells(QPainter &painter, const QSize &size, double ppu, QRandomGenerator &random)
{
    const double meanDiameter = 34 * ppu;
    const int count = int(double(size.width()) * size.height() / (meanDiameter * meanDiameter * 7));
    for (int i = 0; i < count; ++i) {
        const double d = meanDiameter * (0.6 + random.generateDouble() * 0.8);
        const double aspect = 0.7 + random.generateDouble() * 0.5;
        const QPointF centre(random.generateDouble() * size.width(),
                             random.generateDouble() * size.height());
        painter.save();
        painter.translate(centre);
        painter.rotate(random.generateDouble() * 180);
        const int shade = int(random.bounded(40));
        painter.setPen(QPen(QColor(150 - shade, 80, 140, 150), std::max(1.0, 1.4 * ppu)));
        painter.setBrush(QColor(214 - shade, 150, 196, 70));
        painter.drawEllipse(QPointF(0, 0), d / 2, d * aspect / 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(105 - shade / 2, 45, 125, 150));
        painter.drawEllipse(QPointF(d * 0.08, -d * 0.05), d * 0.17, d * 0.14);
        painter.restore();
    }
}

// 1 mm in 100 divisions of 10 µm; long ticks numbered every 10 divisions, medium every 5.
void paintMicrometer(QPainter &painter, const QSize &size, double ppu)
{
    const QColor ink(25, 25, 32);
    const double length = 1000 * ppu;
    // Lines centred on pixel centres stay crisp where the scale is only a few pixels per tick.
    const double x0 = std::floor((size.width() - length) / 2) + 0.5;
    const double baseY = std::floor(size.height() * 0.56) + 0.5;
    const double lineWidth = std::max(1.0, 1.3 * ppu);
    painter.setPen(QPen(ink, lineWidth, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(x0, baseY), QPointF(x0 + length, baseY));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(9, int(std::lround(24 * ppu))));
    painter.setFont(font);
    for (int i = 0; i <= 100; ++i) {
        const double x = x0 + i * 10 * ppu;
        const double tick = (i % 10 == 0 ? 90 : i % 5 == 0 ? 62 : 40) * ppu;
        painter.drawLine(QPointF(x, baseY), QPointF(x, baseY - tick));
        if (i % 10 == 0) {
            const QString label = QString::number(i);
            const QRectF box(x - 60 * ppu, baseY - tick - 36 * ppu, 120 * ppu, 32 * ppu);
            painter.drawText(box, Qt::AlignHCenter | Qt::AlignBottom, label);
        }
    }
    const QRectF caption(x0, baseY + 14 * ppu, length, 34 * ppu);
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("1 DIV = 0.01 mm"));
    painter.drawText(caption, Qt::AlignRight | Qt::AlignTop, QStringLiteral("1 mm"));
}

} // namespace

double pixelsPerMicron(int frameWidth)
{
    return frameWidth / 1280.0;
}

QImage renderStage(int frameWidth, int frameHeight, int margin, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage stage(frameWidth + 2 * margin, frameHeight + 2 * margin, QImage::Format_RGB32);
    if (stage.isNull())
        return stage;
    paintBackground(&stage, random);
    const double ppu = pixelsPerMicron(frameWidth);
    QPainter painter(&stage);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paintCells(painter, stage.size(), ppu, random);
    paintMicrometer(painter, stage.size(), ppu);
    painter.end();
    return stage;
}

QPoint driftOffset(int step, int margin)
{
    // A slow diagonal drift across the margin and back over a loop of frames.
    return QPoint(std::min(margin * 2, step * 2), std::min(margin * 2, step));
}

bool Settings::operator==(const Settings &o) const
{
    return exposure == o.exposure && autoExposure == o.autoExposure && gain == o.gain &&
           whiteBalance == o.whiteBalance && autoWhiteBalance == o.autoWhiteBalance &&
           brightness == o.brightness && contrast == o.contrast && saturation == o.saturation &&
           hue == o.hue && gamma == o.gamma && sharpness == o.sharpness && colour == o.colour &&
           powerLine == o.powerLine;
}

void applySettings(QImage *frame, const Settings &s, int phase)
{
    const Settings neutral;
    if (s == neutral || frame->isNull())
        return;
    // Per-channel tone curve: exposure and gain, white balance, contrast, brightness, gamma.
    const double exposure = s.autoExposure ? 1.0 : std::exp2(double(s.exposure + 6));
    const double gain = 1.0 + s.gain / 50.0;
    double mul[3] = {1.0, 1.0, 1.0};
    if (!s.autoWhiteBalance) {
        const double t = std::max(1000.0, double(s.whiteBalance));
        mul[0] = std::pow(t / 4600.0, 0.9);
        mul[2] = std::pow(4600.0 / t, 0.9);
    }
    quint8 lut[3][256];
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) {
            double x = v / 255.0 * exposure * gain * mul[c];
            x = (x - 0.5) * s.contrast / 32.0 + 0.5 + s.brightness / 255.0;
            x = std::pow(std::clamp(x, 0.0, 1.0), 100.0 / std::max(1L, s.gamma));
            lut[c][v] = quint8(clamp255(x * 255.0));
        }
    const bool chroma = s.saturation != 64 || s.hue != 0;
    const double angle = s.hue * M_PI / 180.0;
    const double cs = std::cos(angle) * s.saturation / 64.0;
    const double sn = std::sin(angle) * s.saturation / 64.0;
    const int height = frame->height(), width = frame->width();
    const double bandPeriod = height / 5.0;
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<quint32 *>(frame->scanLine(y));
        const double flicker =
            s.powerLine == 0 ? 1.0 + 0.12 * std::sin(2 * M_PI * y / bandPeriod + phase * 0.9) : 1.0;
        for (int x = 0; x < width; ++x) {
            const QRgb p = row[x];
            double r = lut[0][qRed(p)], g = lut[1][qGreen(p)], b = lut[2][qBlue(p)];
            const double luma = 0.299 * r + 0.587 * g + 0.114 * b;
            if (!s.colour) {
                r = g = b = luma;
            } else if (chroma) {
                const double u = b - luma, v = r - luma;
                const double u2 = u * cs - v * sn, v2 = u * sn + v * cs;
                r = luma + v2;
                b = luma + u2;
                g = (luma - 0.299 * r - 0.114 * b) / 0.587;
            }
            row[x] = qRgb(clamp255(r * flicker), clamp255(g * flicker), clamp255(b * flicker));
        }
    }
    if (s.sharpness == 2)
        return;
    // Unsharp mask against a 3x3 box blur: above 2 sharpens, below 2 softens.
    const double amount = (s.sharpness - 2) * 0.6;
    const QImage source = frame->copy();
    for (int y = 1; y < height - 1; ++y) {
        auto *out = reinterpret_cast<quint32 *>(frame->scanLine(y));
        const quint32 *rows[3] = {reinterpret_cast<const quint32 *>(source.constScanLine(y - 1)),
                                  reinterpret_cast<const quint32 *>(source.constScanLine(y)),
                                  reinterpret_cast<const quint32 *>(source.constScanLine(y + 1))};
        for (int x = 1; x < width - 1; ++x) {
            int sum[3] = {0, 0, 0};
            for (const quint32 *r : rows)
                for (int dx = -1; dx <= 1; ++dx) {
                    sum[0] += qRed(r[x + dx]);
                    sum[1] += qGreen(r[x + dx]);
                    sum[2] += qBlue(r[x + dx]);
                }
            const QRgb p = rows[1][x];
            out[x] = qRgb(clamp255(qRed(p) + amount * (qRed(p) - sum[0] / 9.0)),
                          clamp255(qGreen(p) + amount * (qGreen(p) - sum[1] / 9.0)),
                          clamp255(qBlue(p) + amount * (qBlue(p) - sum[2] / 9.0)));
        }
    }
}

} // namespace DemoSpecimen
