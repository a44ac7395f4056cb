#include "recording/Nv12Convert.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace Nv12 {

namespace {

// Runs body(first, last) over [0, count) in equal slices, one per core, the last one on the
// calling thread. Plain threads started per call rather than OpenMP: this compiler's OpenMP
// threads spin for about 10 ms after every parallel region, which at one conversion per video
// frame burns a third of a core that the encoder needs (see bench_record).
template <typename Body>
void forEachSlice(int count, const Body &body)
{
    const int slices = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
    if (slices == 1 || count < 2 * slices) {
        body(0, count);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(size_t(slices - 1));
    for (int s = 0; s + 1 < slices; ++s) {
        const int first = count * s / slices, last = count * (s + 1) / slices;
        try {
            helpers.emplace_back(body, first, last);
        } catch (const std::system_error &) {
            body(first, last); // no thread to spare: do the slice here
        }
    }
    body(count * (slices - 1) / slices, count);
    for (std::thread &helper : helpers)
        helper.join();
}

inline uint8_t clampByte(int v)
{
    return uint8_t(std::clamp(v, 0, 255));
}

const std::array<uint8_t, 256> &greyTable()
{
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int g = 0; g < 256; ++g)
            t[size_t(g)] = uint8_t(((g * 220 + 128) >> 8) + 16);
        return t;
    }();
    return table;
}

// Luma of one row; kept apart from the chroma loop so that the compiler vectorises it.
inline void lumaRow(const uint8_t *__restrict src, uint8_t *__restrict dst, int width,
                    const Coefficients &c)
{
    for (int x = 0; x < width; ++x) {
        const int b = src[4 * x], g = src[4 * x + 1], r = src[4 * x + 2];
        dst[x] = uint8_t(((c.cR * r + c.cG * g + c.cB * b + 128) >> 8) + 16);
    }
}

} // namespace

void fromRgb32(const QImage &image, const Planes &dst, const Coefficients &c)
{
    const int width = std::min(dst.width, image.width()) & ~1;
    const int pairs = std::min(dst.height, image.height()) / 2;
    const uint8_t *bits = image.constBits();
    const qsizetype srcStride = image.bytesPerLine();

    forEachSlice(pairs, [&](int firstPair, int lastPair) {
        for (int p = firstPair; p < lastPair; ++p) {
            const uint8_t *s0 = bits + srcStride * (2 * p);
            const uint8_t *s1 = s0 + srcStride;
            uint8_t *y0 = dst.y + qsizetype(dst.yStride) * (2 * p);
            lumaRow(s0, y0, width, c);
            lumaRow(s1, y0 + dst.yStride, width, c);
            uint8_t *uv = dst.uv + qsizetype(dst.uvStride) * p;
            for (int x = 0; x < width; x += 2) {
                const int b = (s0[4 * x] + s0[4 * x + 4] + s1[4 * x] + s1[4 * x + 4] + 2) >> 2;
                const int g =
                    (s0[4 * x + 1] + s0[4 * x + 5] + s1[4 * x + 1] + s1[4 * x + 5] + 2) >> 2;
                const int r =
                    (s0[4 * x + 2] + s0[4 * x + 6] + s1[4 * x + 2] + s1[4 * x + 6] + 2) >> 2;
                uv[x] = clampByte(((c.uR * r + c.uG * g + 112 * b + 128) >> 8) + 128);
                uv[x + 1] = clampByte(((112 * r + c.vG * g + c.vB * b + 128) >> 8) + 128);
            }
        }
    });
}

void fromGrey(const QImage &image, const Planes &dst)
{
    const int width = std::min(dst.width, image.width()) & ~1;
    const int pairs = std::min(dst.height, image.height()) / 2;
    const uint8_t *bits = image.constBits();
    const qsizetype srcStride = image.bytesPerLine();
    const uint8_t *table = greyTable().data();

    forEachSlice(pairs, [&](int firstPair, int lastPair) {
        for (int p = firstPair; p < lastPair; ++p) {
            for (int row = 2 * p; row < 2 * p + 2; ++row) {
                const uint8_t *s = bits + srcStride * row;
                uint8_t *y = dst.y + qsizetype(dst.yStride) * row;
                for (int x = 0; x < width; ++x)
                    y[x] = table[s[x]];
            }
            std::memset(dst.uv + qsizetype(dst.uvStride) * p, 128, size_t(width));
        }
    });
}

} // namespace Nv12
