// Nv12Convert.h: RGB and grey frames to limited-range NV12 planes, pairs of rows in parallel.
#pragma once

#include <QImage>

#include <cstdint>

namespace Nv12 {

// Integer weights (scaled by 256) of one colour matrix, limited range (Y 16..235, UV 16..240).
// The blue weight of U and the red weight of V are 112 in both matrices.
struct Coefficients
{
    int cR, cG, cB; // Y
    int uR, uG;     // U
    int vG, vB;     // V
};

inline constexpr Coefficients kBt709{47, 157, 16, -26, -87, -102, -10};
inline constexpr Coefficients kBt601{66, 129, 25, -38, -74, -94, -18};

// The destination: a Y plane followed (anywhere) by an interleaved U,V plane of half height.
struct Planes
{
    uint8_t *y = nullptr;
    int yStride = 0;
    uint8_t *uv = nullptr;
    int uvStride = 0;
    int width = 0;  // even
    int height = 0; // even
};

// Converts a Format_RGB32 or Format_ARGB32 image (alpha ignored) of the planes' size. Each 2x2
// block shares the chroma of its averaged colour. Any thread may call it.
void fromRgb32(const QImage &image, const Planes &dst, const Coefficients &c);

// Converts a Format_Grayscale8 image of the planes' size: grey 0..255 onto Y 16..235,
// neutral chroma.
void fromGrey(const QImage &image, const Planes &dst);

} // namespace Nv12
