// FrameConversion.h: stream format names and the pixel conversions shared by capture and decoding.
#pragma once

#include <QImage>
#include <QString>

namespace FrameConversion {

// V4L2 pixel format codes of the formats the camera handles.
constexpr quint32 fourcc(char a, char b, char c, char d)
{
    return quint32(quint8(a)) | (quint32(quint8(b)) << 8) | (quint32(quint8(c)) << 16) |
           (quint32(quint8(d)) << 24);
}
inline constexpr quint32 kFourccYuyv = fourcc('Y', 'U', 'Y', 'V');
inline constexpr quint32 kFourccMjpg = fourcc('M', 'J', 'P', 'G');
inline constexpr quint32 kFourccJpeg = fourcc('J', 'P', 'E', 'G');
inline constexpr quint32 kFourccH264 = fourcc('H', '2', '6', '4');
inline constexpr quint32 kFourccHevc = fourcc('H', 'E', 'V', 'C');
inline constexpr quint32 kFourccNv12 = fourcc('N', 'V', '1', '2');
inline constexpr quint32 kFourccBgr24 = fourcc('B', 'G', 'R', '3');
inline constexpr quint32 kFourccXrgb32 = fourcc('X', 'R', '2', '4');
inline constexpr quint32 kFourccBgr32 = fourcc('B', 'G', 'R', '4');

// The name used in format lists, logs and formatChanged: "YUY2", "MJPG", "H264", "H265",
// "NV12", "RGB24", "RGB32"; any other code is named by its four characters (up to the first
// zero byte), so an all-zero code gives an empty name.
QString subtypeName(quint32 fourcc);

bool isH264(quint32 fourcc);
bool isH265(quint32 fourcc);
bool isMjpg(quint32 fourcc);
bool isYuy2(quint32 fourcc);
bool isRgb24(quint32 fourcc);

// The table-driven converters below split their rows over this many threads: the calling thread
// and worker threads kept for the process, which sleep between frames and never spin. 0 (the
// default) means the cores of the machine; at most 8 are used. Any thread; takes effect from the
// next frame. Conversions on several threads at once never wait for each other: one of them
// has the workers, the others convert alone.
void setConversionThreads(int threads);
int conversionThreads();

// Packed Y0 U Y1 V rows of 2 * width bytes to Format_RGB32, rows in parallel with the chroma
// lookup tables. With `colour` false every channel is the stretched luma. Returns false and
// leaves `out` untouched when `data` is null, a size is below 1 or the image cannot be made.
// An odd width converts its last pixel with the pair it starts and never reads past the row.
bool convertYuy2ToImage(const uchar *data, int width, int height, QImage *out, bool colour = true);
// Y plane, then the interleaved U,V plane with row stride `width`.
bool convertNv12ToImage(const uchar *data, int width, int height, QImage *out, bool colour = true);
// Y plane, U plane at width * height, V plane at width * height + (width * height) / 4.
bool convertI420ToImage(const uchar *data, int width, int height, QImage *out, bool colour = true);

// The capture callback's serial YUY2 conversion with direct arithmetic (same pixels as the
// table-driven converter). `height` may be negative: |height| rows, flipped top to bottom.
bool convertYuy2ToImageSerial(const uchar *data, int width, int height, QImage *out, bool colour);

// Wraps B,G,R rows of 3 * width bytes as a deep-copied Format_RGB888 picture in R,G,B order;
// flipped top to bottom when `height` is negative. Null on bad input.
QImage convertRgb24ToImage(const uchar *data, long length, int width, int height);

// Software monochrome of a picture that is not the result of a YUV conversion: Format_ARGB32,
// grey = (11 R + 16 G + 5 B) >> 5 in every channel, alpha kept.
QImage toSoftwareMonochrome(const QImage &image);

// QImage::mirrored with the two flags, only when one of them is set.
QImage applyMirror(const QImage &image, bool horizontal, bool vertical);

// Scales into 1280x720 keeping the aspect ratio when wider than 1280 or taller than 720.
QImage scaleForPreview(const QImage &image);

} // namespace FrameConversion
