#include "camera/FrameConversion.h"

#include <algorithm>
#include <vector>

namespace FrameConversion {

namespace {

// Chroma products of BT.601 limited range, indexed by the raw byte.
struct ChromaTables
{
    qint32 ug[256]; // -100 (u - 128)
    qint32 ub[256]; //  516 (u - 128)
    qint32 vr[256]; //  409 (v - 128)
    qint32 vg[256]; // -208 (v - 128)
};

// Built once per process by the first caller and never rebuilt.
const ChromaTables &chromaTables()
{
    static const ChromaTables tables = [] {
        ChromaTables t;
        for (int i = 0; i < 256; ++i) {
            t.ug[i] = -100 * (i - 128);
            t.ub[i] = 516 * (i - 128);
            t.vr[i] = 409 * (i - 128);
            t.vg[i] = -208 * (i - 128);
        }
        return t;
    }();
    return tables;
}

inline quint32 clampByte(int v)
{
    return quint32(std::min(255, std::max(0, v)));
}

// Per-thread scratch rows: luma term and the three chroma terms of every pixel.
struct RowScratch
{
    explicit RowScratch(int width)
        : luma(width)
        , r(width)
        , g(width)
        , b(width)
    {}
    std::vector<qint32> luma, r, g, b;
};

// Writes one output row from the prepared terms. Kept free of lookups so it vectorises.
inline void writeRow(const RowScratch &s, int width, bool colour, quint32 *out)
{
    const qint32 *luma = s.luma.data();
    if (!colour) {
        for (int x = 0; x < width; ++x) {
            const quint32 grey = clampByte(luma[x] >> 8);
            out[x] = 0xFF000000u | (grey << 16) | (grey << 8) | grey;
        }
        return;
    }
    const qint32 *r = s.r.data();
    const qint32 *g = s.g.data();
    const qint32 *b = s.b.data();
    for (int x = 0; x < width; ++x) {
        const quint32 rr = clampByte((luma[x] + r[x]) >> 8);
        const quint32 gg = clampByte((luma[x] + g[x]) >> 8);
        const quint32 bb = clampByte((luma[x] + b[x]) >> 8);
        out[x] = 0xFF000000u | (rr << 16) | (gg << 8) | bb;
    }
}

// Chroma terms of pixels 2k and 2k + 1 from one U,V pair.
inline void setPair(RowScratch &s, const ChromaTables &t, int x, int width, uchar u, uchar v)
{
    const qint32 r = t.vr[v], g = t.ug[u] + t.vg[v], b = t.ub[u];
    s.r[x] = r;
    s.g[x] = g;
    s.b[x] = b;
    if (x + 1 < width) {
        s.r[x + 1] = r;
        s.g[x + 1] = g;
        s.b[x + 1] = b;
    }
}

// A fresh picture for the result. When `out` already holds a picture of this size and format
// that nobody else shares, its memory is reused: nobody can see the difference, and a decode
// thread converting frame after frame saves an allocation and its page faults per frame.
bool makeImage(int width, int height, QImage *out, QImage *image)
{
    if (!out || width < 1 || height < 1)
        return false;
    if (out->width() == width && out->height() == height &&
        out->format() == QImage::Format_RGB32 && out->isDetached()) {
        std::swap(*image, *out);
        return true;
    }
    *image = QImage(width, height, QImage::Format_RGB32);
    return !image->isNull();
}

// Runs `prepare(row, scratch)` and writes each row, rows in parallel with a static schedule.
template <typename Prepare>
void convertRows(QImage &image, int width, int height, bool colour, Prepare prepare)
{
    chromaTables(); // built before the parallel region
    uchar *bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
#pragma omp parallel
    {
        RowScratch scratch(width);
#pragma omp for schedule(static)
        for (int y = 0; y < height; ++y) {
            prepare(y, scratch);
            writeRow(scratch, width, colour, reinterpret_cast<quint32 *>(bits + y * stride));
        }
    }
}

} // namespace

QString subtypeName(quint32 code)
{
    switch (code) {
    case kFourccYuyv:
        return QStringLiteral("YUY2");
    case kFourccMjpg:
    case kFourccJpeg:
        return QStringLiteral("MJPG");
    case kFourccH264:
        return QStringLiteral("H264");
    case kFourccHevc:
        return QStringLiteral("H265");
    case kFourccNv12:
        return QStringLiteral("NV12");
    case kFourccBgr24:
        return QStringLiteral("RGB24");
    case kFourccXrgb32:
    case kFourccBgr32:
        return QStringLiteral("RGB32");
    default:
        break;
    }
    QString name;
    for (int i = 0; i < 4; ++i) {
        const char c = char((code >> (8 * i)) & 0xFF);
        if (c == 0)
            break;
        name += QLatin1Char(c);
    }
    return name;
}

bool isH264(quint32 code)
{
    return code == kFourccH264;
}

bool isH265(quint32 code)
{
    return code == kFourccHevc;
}

bool isMjpg(quint32 code)
{
    return code == kFourccMjpg || code == kFourccJpeg;
}

bool isYuy2(quint32 code)
{
    return code == kFourccYuyv;
}

bool isRgb24(quint32 code)
{
    return code == kFourccBgr24;
}

bool convertYuy2ToImage(const uchar *data, int width, int height, QImage *out, bool colour)
{
    QImage image;
    if (!data || !makeImage(width, height, out, &image))
        return false;
    const qsizetype rowBytes = qsizetype(width) * 2;
    convertRows(image, width, height, colour, [&](int y, RowScratch &s) {
        const ChromaTables &t = chromaTables();
        const uchar *row = data + y * rowBytes;
        for (int x = 0; x < width; ++x)
            s.luma[x] = 298 * (row[2 * x] - 16) + 128;
        if (!colour)
            return;
        for (int x = 0; x < width; x += 2) {
            const qsizetype pair = qsizetype(x) * 2;
            // An odd width leaves the last pair without its V byte: borrow the previous pair's.
            const uchar v = pair + 3 < rowBytes ? row[pair + 3] : (x > 0 ? row[pair - 1] : 128);
            setPair(s, t, x, width, row[pair + 1], v);
        }
    });
    *out = image;
    return true;
}

bool convertNv12ToImage(const uchar *data, int width, int height, QImage *out, bool colour)
{
    QImage image;
    if (!data || !makeImage(width, height, out, &image))
        return false;
    const uchar *chroma = data + qsizetype(width) * height;
    const int lastPair = width / 2 - 1, lastChromaRow = height / 2 - 1;
    convertRows(image, width, height, colour, [&](int y, RowScratch &s) {
        const ChromaTables &t = chromaTables();
        const uchar *row = data + qsizetype(y) * width;
        for (int x = 0; x < width; ++x)
            s.luma[x] = 298 * (row[x] - 16) + 128;
        if (!colour)
            return;
        // Odd sizes reuse the last whole chroma row and pair; a 1-pixel axis has no chroma.
        const bool neutral = lastPair < 0 || lastChromaRow < 0;
        const uchar *c = chroma + qsizetype(std::min(y / 2, lastChromaRow)) * width;
        for (int x = 0; x < width; x += 2) {
            const int pair = std::min(x / 2, lastPair);
            setPair(s, t, x, width, neutral ? 128 : c[2 * pair], neutral ? 128 : c[2 * pair + 1]);
        }
    });
    *out = image;
    return true;
}

bool convertI420ToImage(const uchar *data, int width, int height, QImage *out, bool colour)
{
    QImage image;
    if (!data || !makeImage(width, height, out, &image))
        return false;
    const qsizetype lumaSize = qsizetype(width) * height;
    const uchar *uPlane = data + lumaSize;
    const uchar *vPlane = data + lumaSize + lumaSize / 4;
    const int chromaStride = width / 2;
    const int lastCol = chromaStride - 1, lastChromaRow = height / 2 - 1;
    convertRows(image, width, height, colour, [&](int y, RowScratch &s) {
        const ChromaTables &t = chromaTables();
        const uchar *row = data + qsizetype(y) * width;
        for (int x = 0; x < width; ++x)
            s.luma[x] = 298 * (row[x] - 16) + 128;
        if (!colour)
            return;
        const bool neutral = lastCol < 0 || lastChromaRow < 0;
        const qsizetype offset = qsizetype(std::min(y / 2, lastChromaRow)) * chromaStride;
        for (int x = 0; x < width; x += 2) {
            const int col = std::min(x / 2, lastCol);
            setPair(s, t, x, width, neutral ? 128 : uPlane[offset + col],
                    neutral ? 128 : vPlane[offset + col]);
        }
    });
    *out = image;
    return true;
}

bool convertYuy2ToImageSerial(const uchar *data, int width, int height, QImage *out, bool colour)
{
    const int rows = height < 0 ? -height : height;
    if (!data || !out || width < 1 || rows < 1)
        return false;
    QImage image(width, rows, QImage::Format_RGB32);
    if (image.isNull())
        return false;
    const qsizetype rowBytes = qsizetype(width) * 2;
    for (int y = 0; y < rows; ++y) {
        const uchar *row = data + y * rowBytes;
        auto *dst = reinterpret_cast<quint32 *>(image.scanLine(height < 0 ? rows - 1 - y : y));
        for (int x = 0; x < width; ++x) {
            const qsizetype pair = qsizetype(x / 2) * 4;
            const int c = 298 * (row[2 * x] - 16) + 128;
            if (!colour) {
                const quint32 grey = clampByte(c >> 8);
                dst[x] = 0xFF000000u | (grey << 16) | (grey << 8) | grey;
                continue;
            }
            const int d = row[pair + 1] - 128;
            const int e =
                (pair + 3 < rowBytes ? row[pair + 3] : (pair > 0 ? row[pair - 1] : 128)) - 128;
            const quint32 r = clampByte((c + 409 * e) >> 8);
            const quint32 g = clampByte((c - 100 * d - 208 * e) >> 8);
            const quint32 b = clampByte((c + 516 * d) >> 8);
            dst[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    *out = image;
    return true;
}

QImage convertRgb24ToImage(const uchar *data, long length, int width, int height)
{
    const int rows = height < 0 ? -height : height;
    if (!data || width < 1 || rows < 1 || length < qint64(width) * 3 * rows)
        return QImage();
    QImage wrapped(data, width, rows, width * 3, QImage::Format_RGB888);
    if (height < 0)
        return wrapped.mirrored(false, true).rgbSwapped();
    return wrapped.rgbSwapped(); // rgbSwapped makes a deep copy
}

QImage toSoftwareMonochrome(const QImage &image)
{
    QImage grey = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        auto *px = reinterpret_cast<quint32 *>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const quint32 p = px[x];
            const quint32 v = (11 * qRed(p) + 16 * qGreen(p) + 5 * qBlue(p)) >> 5;
            px[x] = (p & 0xFF000000u) | (v << 16) | (v << 8) | v;
        }
    }
    return grey;
}

QImage applyMirror(const QImage &image, bool horizontal, bool vertical)
{
    if (!horizontal && !vertical)
        return image;
    return image.mirrored(horizontal, vertical);
}

QImage scaleForPreview(const QImage &image)
{
    if (image.width() > 1280 || image.height() > 720)
        return image.scaled(1280, 720, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace FrameConversion
