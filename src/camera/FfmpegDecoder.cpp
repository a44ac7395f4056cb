#include "camera/FfmpegDecoder.h"

#include "camera/PictureGeometry.h"

#include <QDebug>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace {

const char *codecName(FfmpegDecoder::Codec codec)
{
    switch (codec) {
    case FfmpegDecoder::Codec::Mjpeg:
        return "MJPG";
    case FfmpegDecoder::Codec::H264:
        return "H264";
    case FfmpegDecoder::Codec::Hevc:
        return "H265";
    }
    return "";
}

AVCodecID codecId(FfmpegDecoder::Codec codec)
{
    switch (codec) {
    case FfmpegDecoder::Codec::Mjpeg:
        return AV_CODEC_ID_MJPEG;
    case FfmpegDecoder::Codec::H264:
        return AV_CODEC_ID_H264;
    case FfmpegDecoder::Codec::Hevc:
        return AV_CODEC_ID_HEVC;
    }
    return AV_CODEC_ID_NONE;
}

quint32 readBigEndian32(const char *p)
{
    const auto *b = reinterpret_cast<const unsigned char *>(p);
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

// The limited-range twin of a full-range (JPEG) YUV format, or the format itself.
AVPixelFormat plainFormat(AVPixelFormat format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        return AV_PIX_FMT_YUV411P;
    default:
        return format;
    }
}

// swscale's vector code writes whole blocks of pixels: past the end of a row whose width is not
// a multiple of its block, and one row too many for some odd heights. The image gets rows padded
// to 64 bytes, one spare row and some slack at the end, so those writes stay inside it.
QImage paddedImage(const QSize &size, QImage::Format format)
{
    const int bytesPerPixel = format == QImage::Format_Grayscale8 ? 1 : 4;
    const qint64 stride = (qint64(size.width()) * bytesPerPixel + 63) & ~qint64(63);
    const qint64 bytes = stride * (size.height() + 1) + 256;
    if (stride > std::numeric_limits<int>::max() || bytes > std::numeric_limits<int>::max())
        return QImage();
    auto *data = static_cast<uchar *>(av_malloc(size_t(bytes)));
    if (!data)
        return QImage();
    return QImage(data, size.width(), size.height(), int(stride), format, av_free, data);
}

// The output size for a frame of width x height with the given fit box (0 = frame's own).
QSize outputSize(int width, int height, int targetWidth, int targetHeight)
{
    if (targetWidth > 0 && targetHeight > 0)
        return PictureGeometry::fitted(QSize(width, height), QSize(targetWidth, targetHeight));
    if (targetWidth > 0)
        return QSize(targetWidth, height);
    if (targetHeight > 0)
        return QSize(width, targetHeight);
    return QSize(width, height);
}

} // namespace

FfmpegDecoder::FfmpegDecoder()
    : m_frame(av_frame_alloc())
    , m_packet(av_packet_alloc())
{}

FfmpegDecoder::~FfmpegDecoder()
{
    closeContext();
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
}

void FfmpegDecoder::closeContext()
{
    avcodec_free_context(&m_context);
    sws_freeContext(m_scaler);
    m_scaler = nullptr;
}

bool FfmpegDecoder::open(Codec codec, int width, int height, bool grey, int lowres)
{
    closeContext();
    m_width = width;
    m_height = height;
    m_grey = grey;
    m_invalidPacketCount = 0;

    const AVCodecID id = codecId(codec);
    const AVCodec *decoder = avcodec_find_decoder(id);
    if (!decoder) {
        qWarning() << "FFmpeg decoder not found, codecId:" << int(id);
        return false;
    }
    m_context = avcodec_alloc_context3(decoder);
    if (!m_context) {
        qWarning() << "avcodec_alloc_context3 failed";
        return false;
    }
    int threads = 0;
    if (codec == Codec::Mjpeg) {
        threads = m_mjpegThreads;
        m_context->thread_type = FF_THREAD_FRAME;
    } else {
        threads = m_h26xThreads;
        m_context->thread_type =
            m_frameThreading ? (FF_THREAD_FRAME | FF_THREAD_SLICE) : FF_THREAD_SLICE;
        if (m_lowDelay)
            m_context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    }
    m_context->thread_count = threads;
    // The decoder itself rejects a lowres beyond what it supports; never ask for more.
    m_context->lowres = std::clamp(lowres, 0, int(decoder->max_lowres));
    m_context->width = width;
    m_context->height = height;
    if (avcodec_open2(m_context, decoder, nullptr) < 0) {
        qWarning() << "avcodec_open2 failed";
        avcodec_free_context(&m_context);
        return false;
    }
    qDebug().noquote() << "FFmpeg decoder opened:" << codecName(codec)
                       << QStringLiteral("%1x%2").arg(width).arg(height)
                       << QStringLiteral("threads=%1").arg(threads);
    return true;
}

void FfmpegDecoder::setTargetSize(int width, int height)
{
    m_targetWidth = width;
    m_targetHeight = height;
}

void FfmpegDecoder::setMirror(bool horizontal, bool vertical)
{
    m_mirrorHorizontal = horizontal;
    m_mirrorVertical = vertical;
}

QByteArray FfmpegDecoder::toAnnexB(const QByteArray &input)
{
    const qint64 size = input.size();
    if (size < 9 || input[0] != 0 || input[1] != 0 || input[2] != 0 || uchar(input[3]) < 2)
        return input;
    QByteArray out;
    out.reserve(int(size + 16));
    static const char startCode[4] = {0, 0, 0, 1};
    qint64 offset = 0;
    while (size - offset >= 4) {
        const qint64 length = readBigEndian32(input.constData() + offset);
        if (offset + 4 + length > size)
            return input;
        out.append(startCode, 4);
        out.append(input.constData() + offset + 4, int(length));
        offset += 4 + length;
    }
    return out.isEmpty() ? input : out;
}

bool FfmpegDecoder::sendPacket(const QByteArray &bytes)
{
    if (!m_context || !m_packet || bytes.isEmpty())
        return false;
    const QByteArray data = toAnnexB(bytes);
    if (av_new_packet(m_packet, data.size()) < 0) {
        qWarning() << "av_new_packet failed";
        return false;
    }
    std::memcpy(m_packet->data, data.constData(), size_t(data.size()));
    m_packet->pts = m_packetCounter++;
    const int result = avcodec_send_packet(m_context, m_packet);
    av_packet_unref(m_packet);

    if (result >= 0) {
        m_invalidPacketCount = 0;
        return true;
    }
    if (result == AVERROR(EAGAIN))
        return false;
    if (result == AVERROR_INVALIDDATA) {
        ++m_invalidPacketCount;
        if (m_invalidPacketCount == 1 || m_invalidPacketCount % 30 == 0)
            qDebug() << "FFmpeg skipping invalid packet (waiting for keyframe), count ="
                     << m_invalidPacketCount;
        return true;
    }
    qWarning() << "avcodec_send_packet failed:" << result;
    return false;
}

bool FfmpegDecoder::receiveFrame(QImage *out, bool *again)
{
    if (again)
        *again = false;
    if (!m_context || !m_frame)
        return false;
    const int result = avcodec_receive_frame(m_context, m_frame);
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
        if (again)
            *again = true;
        return false;
    }
    if (result < 0) {
        qWarning() << "avcodec_receive_frame failed:" << result;
        return false;
    }
    const int frameWidth = m_frame->width;
    const int frameHeight = m_frame->height;
    if (frameWidth < 1 || frameHeight < 1) {
        av_frame_unref(m_frame);
        return false;
    }

    // JPEG streams arrive full range, as YUVJ420P, YUVJ422P (most UVC cameras) or another YUVJ
    // layout; swscale wants the plain format plus the range. Other frames carry their range.
    AVPixelFormat sourceFormat = AVPixelFormat(m_frame->format);
    int sourceFullRange = m_frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    if (const AVPixelFormat plain = plainFormat(sourceFormat); plain != sourceFormat) {
        sourceFormat = plain;
        sourceFullRange = 1;
    }

    const QSize size = outputSize(frameWidth, frameHeight, m_targetWidth, m_targetHeight);
    QImage *output = outputImage(size, m_grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (!output) {
        av_frame_unref(m_frame);
        return false;
    }
    QImage &image = *output;
    m_scaler = sws_getCachedContext(m_scaler, frameWidth, frameHeight, sourceFormat, size.width(),
                                    size.height(), m_grey ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_BGRA,
                                    SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_scaler) {
        qWarning() << "sws_getCachedContext failed";
        av_frame_unref(m_frame);
        return false;
    }
    // Grey pictures keep the full 0..255 range: a limited-range grey image would show black as
    // 16 and white as 235. For RGB output swscale always produces full-range values.
    const int *coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(m_scaler, coefficients, sourceFullRange, coefficients, m_grey ? 1 : 0,
                             0, 1 << 16, 1 << 16);
    uint8_t *destination[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int destinationStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(m_scaler, m_frame->data, m_frame->linesize, 0, frameHeight, destination,
              destinationStride);
    av_frame_unref(m_frame);

    PictureGeometry::mirrorInPlace(&image, m_mirrorHorizontal, m_mirrorVertical);
    if (out)
        *out = image;
    return true;
}

QImage *FfmpegDecoder::outputImage(const QSize &size, QImage::Format format)
{
    for (QImage &kept : m_outputs) {
        if (kept.isDetached() && kept.size() == size && kept.format() == format) {
            // The last holder has let go (on any thread): its reads happen before these writes.
            std::atomic_thread_fence(std::memory_order_acquire);
            return &kept;
        }
    }
    QImage &slot = m_outputs[m_nextOutput];
    m_nextOutput = (m_nextOutput + 1) % int(std::size(m_outputs));
    slot = paddedImage(size, format);
    return slot.isNull() ? nullptr : &slot;
}

bool FfmpegDecoder::decode(const QByteArray &bytes, QImage *out, bool *again)
{
    if (again)
        *again = false;
    if (!sendPacket(bytes))
        return false;
    return receiveFrame(out, again);
}
