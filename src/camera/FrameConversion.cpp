#include "camera/FrameConversion.h"

#include <algorithm>
#include <cstring>

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

inline quint32 packPixel(int r, int g, int b)
{
    return 0xFF000000u | (clampByte(r >> 8) << 16) | (clampByte(g >> 8) << 8) | clampByte(b >> 8);
}

inline quint32 packGrey(int c)
{
    return 0xFF000000u | (clampByte(c >> 8) * 0x010101u);
}

// The row kernels are built for AVX2 as well as the baseline and chosen at run time; each loop
// handles whole Y,Y pairs with their U,V so that it vectorises. Loads and stores go through
// memcpy because rows need not be aligned to their word size.
// ThreadSanitizer instruments the clone resolvers, which run before its runtime starts: such
// builds use the baseline kernels only.
#if defined(__SANITIZE_THREAD__)
#define QUORIX_ROW_KERNEL
#else
#define QUORIX_ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#endif

// Two output pixels of one chroma pair.
inline quint64 pixelPair(int y0, int y1, int u, int v, const ChromaTables &t)
{
    const int c0 = 298 * (y0 - 16) + 128, c1 = 298 * (y1 - 16) + 128;
    const int r = t.vr[v], g = t.ug[u] + t.vg[v], b = t.ub[u];
    return packPixel(c0 + r, c0 + g, c0 + b) | (quint64(packPixel(c1 + r, c1 + g, c1 + b)) << 32);
}

QUORIX_ROW_KERNEL void yuy2Row(const uchar *__restrict row, int pairs, uchar *__restrict out,
                               const ChromaTables &__restrict t)
{
    for (int k = 0; k < pairs; ++k) {
        quint32 w;
        std::memcpy(&w, row + 4 * k, 4);
        const quint64 p =
            pixelPair(int(w & 0xFF), int((w >> 16) & 0xFF), int((w >> 8) & 0xFF), int(w >> 24), t);
        std::memcpy(out + 8 * k, &p, 8);
    }
}

// NV12: luma pairs and interleaved U,V pairs.
QUORIX_ROW_KERNEL void nv12Row(const uchar *__restrict luma, const uchar *__restrict chroma,
                               int pairs, uchar *__restrict out, const ChromaTables &__restrict t)
{
    for (int k = 0; k < pairs; ++k) {
        quint16 y, c;
        std::memcpy(&y, luma + 2 * k, 2);
        std::memcpy(&c, chroma + 2 * k, 2);
        const quint64 p = pixelPair(y & 0xFF, y >> 8, c & 0xFF, c >> 8, t);
        std::memcpy(out + 8 * k, &p, 8);
    }
}

// I420: luma pairs with one byte of each chroma plane.
QUORIX_ROW_KERNEL void i420Row(const uchar *__restrict luma, const uchar *__restrict u,
                               const uchar *__restrict v, int pairs, uchar *__restrict out,
                               const ChromaTables &__restrict t)
{
    for (int k = 0; k < pairs; ++k) {
        quint16 y;
        std::memcpy(&y, luma + 2 * k, 2);
        const quint64 p = pixelPair(y & 0xFF, y >> 8, u[k], v[k], t);
        std::memcpy(out + 8 * k, &p, 8);
    }
}

// Monochrome: the stretched luma of every pixel; `step` is 2 for YUY2, 1 for planar luma.
QUORIX_ROW_KERNEL void greyRow(const uchar *__restrict luma, int step, int width,
                               quint32 *__restrict out)
{
    for (int x = 0; x < width; ++x)
        out[x] = packGrey(298 * (luma[x * step] - 16) + 128);
}

// A fresh picture for the result. When `out` already holds a picture of this size and format
// that nobody else shares, its memory is reused: nobody can see the difference, and a decode
// thread converting frame after frame saves an allocation and its page faults per frame.
bool makeImage(int width, int height, QImage *out, QImage *image)
{
    if (!out || width < 1 || height < 1)
        return false;
    if (out->width() == width && out->height() == height && out->format() == QImage::Format_RGB32 &&
        out->isDetached()) {
        std::swap(*image, *out);
        return true;
    }
    *image = QImage(width, height, QImage::Format_RGB32);
    return !image->isNull();
}

// Runs `convertRow(y, outRow)` for every row, rows in parallel with a static schedule.
template <typename ConvertRow>
void convertRows(QImage &image, int height, ConvertRow convertRow)
{
    chromaTables(); // built before the parallel region
    uchar *bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
#pragma omp parallel for schedule(static)
    for (int y = 0; y < height; ++y)
        convertRow(y, bits + y * stride);
}

// One pixel from its own Y, U and V through the tables (odd edges and one-pixel axes).
inline quint32 singlePixel(int y, int u, int v, const ChromaTables &t)
{
    const int c = 298 * (y - 16) + 128;
    return packPixel(c + t.vr[v], c + t.ug[u] + t.vg[v], c + t.ub[u]);
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
    const ChromaTables &t = chromaTables();
    convertRows(image, height, [&](int y, uchar *outRow) {
        const uchar *row = data + y * rowBytes;
        auto *pixels = reinterpret_cast<quint32 *>(outRow);
        if (!colour) {
            greyRow(row, 2, width, pixels);
            return;
        }
        yuy2Row(row, width / 2, outRow, t);
        if (width & 1) {
            // The last pair of an odd width has no V byte in the row: the previous pair's V.
            const int x = width - 1;
            pixels[x] = singlePixel(row[2 * x], row[2 * x + 1], x > 0 ? row[2 * x - 1] : 128, t);
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
    const ChromaTables &t = chromaTables();
    convertRows(image, height, [&](int y, uchar *outRow) {
        const uchar *row = data + qsizetype(y) * width;
        auto *pixels = reinterpret_cast<quint32 *>(outRow);
        if (!colour) {
            greyRow(row, 1, width, pixels);
            return;
        }
        if (lastPair < 0 || lastChromaRow < 0) { // a one-pixel axis carries no chroma
            for (int x = 0; x < width; ++x)
                pixels[x] = singlePixel(row[x], 128, 128, t);
            return;
        }
        // Odd sizes reuse the last whole chroma row and pair.
        const uchar *c = chroma + qsizetype(std::min(y / 2, lastChromaRow)) * width;
        nv12Row(row, c, width / 2, outRow, t);
        if (width & 1)
            pixels[width - 1] =
                singlePixel(row[width - 1], c[2 * lastPair], c[2 * lastPair + 1], t);
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
    const ChromaTables &t = chromaTables();
    convertRows(image, height, [&](int y, uchar *outRow) {
        const uchar *row = data + qsizetype(y) * width;
        auto *pixels = reinterpret_cast<quint32 *>(outRow);
        if (!colour) {
            greyRow(row, 1, width, pixels);
            return;
        }
        if (lastCol < 0 || lastChromaRow < 0) {
            for (int x = 0; x < width; ++x)
                pixels[x] = singlePixel(row[x], 128, 128, t);
            return;
        }
        const qsizetype offset = qsizetype(std::min(y / 2, lastChromaRow)) * chromaStride;
        i420Row(row, uPlane + offset, vPlane + offset, width / 2, outRow, t);
        if (width & 1)
            pixels[width - 1] =
                singlePixel(row[width - 1], uPlane[offset + lastCol], vPlane[offset + lastCol], t);
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
