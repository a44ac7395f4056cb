// DemoEncoders.h: turns the demo camera's pictures into the byte streams a real camera sends.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace DemoEncoders {

// Chroma subsampling of a JPEG: 4:2:0, or 4:2:2 as most UVC cameras send it, or none.
enum class JpegSampling { Yuv420, Yuv422, Yuv444 };

// A baseline JPEG of a Format_RGB32 picture with the standard Huffman tables. Empty on failure.
QByteArray encodeJpeg(const QImage &picture, int quality = 85,
                      JpegSampling sampling = JpegSampling::Yuv420);

// The same JPEG as a UVC camera sends it in an MJPG stream: without Huffman tables, so that the
// decoder must use the standard ones.
QByteArray encodeMjpegFrame(const QImage &picture, int quality = 85,
                            JpegSampling sampling = JpegSampling::Yuv420);

// Packed Y0 U Y1 V rows (BT.601 limited range) of a Format_RGB32 picture of even width.
QByteArray encodeYuyv(const QImage &picture);

// B,G,R rows of 3 * width bytes, top-down.
QByteArray encodeBgr24(const QImage &picture);

// Encodes `pictures` (all of one even size, Format_RGB32) as one H.264 group of pictures in
// Annex B form: one packet per picture, the first an IDR frame preceded by SPS and PPS, no
// B-frames, so the packets can be sent round and round. False with a reason on failure.
bool encodeH264Loop(const QList<QImage> &pictures, int fps, QList<QByteArray> *packets,
                    QString *error);

// Whether an H.264 encoder is available at all.
bool h264Available();

} // namespace DemoEncoders
