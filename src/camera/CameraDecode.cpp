// CameraDecode.cpp: the camera's decode thread (live preview) and full-resolution thread.
#include "camera/Camera.h"

#include "camera/FrameConversion.h"
#include "camera/JpegHuffmanTables.h"
#include "camera/PictureGeometry.h"
#include "camera/ThreadName.h"
#include "settings/SettingsKeys.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

using namespace FrameConversion;

namespace {

// Preview pictures larger than this are reduced before they leave the camera.
constexpr int kPreviewMaxWidth = 1280;
constexpr int kPreviewMaxHeight = 720;
// Fit box of the reduced-resolution MJPG decoder.
constexpr int kLowresFitWidth = 960;
constexpr int kLowresFitHeight = 540;
// MJPG previews show the picture reduced to a quarter of its size (FFmpeg's lowres 2), then fitted.
constexpr int kPreviewLowres = 2;
constexpr int kPreviewReduction = 1 << kPreviewLowres;
constexpr qint64 kFullInterval = 1000000; // µs between full-resolution samples when not recording

// Process-wide count of MJPG packets that no full-resolution decoder could read.
std::atomic<int> g_fullDecodeFailures{0};

QImage fitPreview(const QImage &picture)
{
    if (picture.width() <= kPreviewMaxWidth && picture.height() <= kPreviewMaxHeight)
        return picture;
    return picture.scaled(kPreviewMaxWidth, kPreviewMaxHeight, Qt::KeepAspectRatio,
                          Qt::FastTransformation);
}

// Qt's JPEG reader, given the standard Huffman tables when the frame has none (as UVC cameras
// send it).
QImage readJpeg(const QByteArray &packet)
{
    return QImage::fromData(JpegHuffmanTables::withStandardTables(packet), "JPEG");
}

// libav* messages go to the application's log instead of standard error. Only warnings and worse
// are kept, at debug level: a damaged stream makes the decoders complain about every packet, and
// those packets are already counted and logged by the decoder wrapper.
void routeFfmpegLog(void *avcl, int level, const char *format, va_list args)
{
    if (level > AV_LOG_WARNING)
        return;
    thread_local QByteArray pending;
    thread_local int printPrefix = 1;
    char line[1024];
    av_log_format_line2(avcl, level, format, args, line, int(sizeof line), &printPrefix);
    pending += line;
    if (!pending.endsWith('\n'))
        return;
    pending.chop(1);
    qDebug().noquote() << "FFmpeg:" << QString::fromUtf8(pending);
    pending.clear();
}

} // namespace

void Camera::startDecodeThreads()
{
    static std::once_flag logRouting;
    std::call_once(logRouting, [] { av_log_set_callback(routeFfmpegLog); });
    m_decodeThread = std::thread([this] {
        nameCurrentThread("quorix-decode");
        decodeLoop();
    });
    m_fullThread = std::thread([this] {
        nameCurrentThread("quorix-fullres");
        fullDecodeLoop();
    });
}

void Camera::stopDecodeThreads()
{
    {
        QMutexLocker lock(&m_queueLock);
        m_stopDecode = true;
        m_queueCondition.wakeAll();
    }
    if (m_decodeThread.joinable())
        m_decodeThread.join();
    {
        QMutexLocker lock(&m_fullLock);
        m_stopFull = true;
        m_fullQueue.clear();
        m_fullCondition.wakeAll();
    }
    if (m_fullThread.joinable())
        m_fullThread.join();
    releaseDecoders();
}

void Camera::setDecodingHeld(bool held)
{
    QMutexLocker lock(&m_queueLock);
    m_decodeHeld = held;
    m_queueCondition.wakeAll();
}

void Camera::waitDecodeIdle()
{
    // A receiver connected directly runs on a decode thread; it must not wait for itself.
    const std::thread::id self = std::this_thread::get_id();
    if (self != m_decodeThread.get_id()) {
        QMutexLocker lock(&m_queueLock);
        while (m_decodeBusy)
            m_queueCondition.wait(&m_queueLock);
    }
    QMutexLocker lock(&m_fullLock);
    m_fullQueue.clear();
    if (self != m_fullThread.get_id())
        while (m_fullBusy)
            m_fullCondition.wait(&m_fullLock);
}

void Camera::releaseDecoders()
{
    QMutexLocker decoderLock(&m_decoderLock);
    QMutexLocker fullDecoderLock(&m_fullDecoderLock);
    m_previewDecoder.reset();
    m_streamDecoder.reset();
    m_fullDecoder.reset();
}

void Camera::countDecodedFrame(const QString &logTemplate)
{
    const QString line = rateLogLine(m_decodedFrameCount, m_decodedRateTime, logTemplate);
    if (!line.isEmpty())
        qDebug().noquote() << line;
}

void Camera::decodeLoop()
{
    for (;;) {
        QByteArray packet;
        StreamInfo stream;
        {
            QMutexLocker lock(&m_queueLock);
            m_decodeBusy = false;
            m_queueCondition.wakeAll(); // close() may wait for the thread to go idle
            while (!m_stopDecode &&
                   (m_decodeHeld || (!m_newData && m_mjpgQueue.isEmpty() && m_h26xQueue.isEmpty())))
                m_queueCondition.wait(&m_queueLock);
            if (m_stopDecode)
                return;
            if (!m_h26xQueue.isEmpty())
                packet = m_h26xQueue.takeFirst();
            else if (!m_mjpgQueue.isEmpty())
                packet = m_mjpgQueue.takeFirst();
            m_newData = false;
            if (packet.isEmpty())
                continue;
            stream = m_queueStream;
            m_decodeBusy = true;
        }
        const qint64 now = monotonicMicroseconds();
        if (isH264(stream.subtype) || isH265(stream.subtype))
            decodeH26x(packet, stream);
        else
            decodeMjpg(packet, stream, now);
    }
}

void Camera::decodeMjpg(const QByteArray &packet, const StreamInfo &stream, qint64 now)
{
    const bool requested = m_fullRequested.exchange(false);
    if (requested || m_fullRate || m_lastFullTime == 0 || now - m_lastFullTime >= kFullInterval) {
        QMutexLocker lock(&m_fullLock);
        if (m_fullQueue.size() < kFullQueueLimit) {
            m_fullQueue.append({packet, stream, requested});
            m_fullCondition.wakeAll();
        } else if (requested) {
            m_fullRequested = true; // the next packet, once the decoder has room
        }
        m_lastFullTime = now;
    }

    const bool horizontal = m_mirrorHorizontal, vertical = m_mirrorVertical;

    // libjpeg-turbo first: its scaled inverse DCT decodes straight into the preview size.
    if (!m_jpegDecoder)
        m_jpegDecoder = std::make_unique<TurboJpegDecoder>();
    m_jpegDecoder->setPreviewSize(kPreviewReduction, QSize(kLowresFitWidth, kLowresFitHeight));
    m_jpegDecoder->setGrey(stream.grey);
    m_jpegDecoder->setMirror(horizontal, vertical);
    QImage picture;
    if (m_jpegDecoder->decodePreview(packet, &picture)) {
        // The pipeline's own path; the fallbacks below log under their decoder's name.
        countDecodedFrame(QStringLiteral("[DECFPS] MJPG 流水线输出帧率: %1 fps (%2 帧/%3 ms)"));
        emit previewReady(picture);
        return;
    }

    // FFmpeg at a quarter of the size, fitted into the same box. One thread: the picture of a
    // packet comes out of that packet, never later among libjpeg-turbo's pictures.
    QList<QImage> pictures;
    bool handled = false;
    {
        QMutexLocker lock(&m_decoderLock);
        if (m_previewDecoder && !(m_previewStream == stream))
            m_previewDecoder.reset();
        if (!m_previewDecoder) {
            auto decoder = std::make_unique<FfmpegDecoder>();
            decoder->setMjpegThreads(1);
            if (decoder->open(FfmpegDecoder::Codec::Mjpeg, stream.width, stream.height, stream.grey,
                              kPreviewLowres)) {
                decoder->setTargetSize(kLowresFitWidth, kLowresFitHeight);
                m_previewDecoder = std::move(decoder);
                m_previewStream = stream;
            } else {
                qWarning().noquote()
                    << "FFmpeg MJPG lowres open failed, preview will fallback to Qt's JPEG reader";
            }
        }
        if (m_previewDecoder) {
            FfmpegDecoder &decoder = *m_previewDecoder;
            decoder.setMirror(horizontal, vertical);
            bool again = false;
            bool sent = decoder.sendPacket(packet);
            while (!sent) {
                // The decoder is full: take a picture out to make room, then send again.
                if (!decoder.receiveFrame(&picture, &again))
                    break;
                pictures << picture;
                sent = decoder.sendPacket(packet);
            }
            while (decoder.receiveFrame(&picture, &again))
                pictures << picture;
            handled = sent || !pictures.isEmpty();
        }
    }
    // Emitted without the lock held, so that a receiver may close the camera.
    for (const QImage &each : qAsConst(pictures)) {
        countDecodedFrame(QStringLiteral("[DECFPS] FFmpeg MJPG 输出帧率: %1 fps (%2 帧/%3 ms)"));
        emit previewReady(each);
    }
    if (handled)
        return; // FFmpeg took the packet: a damaged one gives nothing

    // Qt's reader when FFmpeg is missing or refused the packet, given the standard Huffman
    // tables when the frame has none.
    picture = readJpeg(packet);
    if (picture.isNull())
        return;
    if (stream.grey)
        picture = toSoftwareMonochrome(picture);
    const QSize size = TurboJpegDecoder::previewSize(picture.size(), kPreviewReduction,
                                                     QSize(kLowresFitWidth, kLowresFitHeight));
    picture = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(stream.grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    PictureGeometry::mirrorInPlace(&picture, horizontal, vertical);
    countDecodedFrame(QStringLiteral("[DECFPS] Qt JPEG 输出帧率: %1 fps (%2 帧/%3 ms)"));
    emit previewReady(picture);
}

void Camera::decodeH26x(const QByteArray &packet, const StreamInfo &stream)
{
    const bool horizontal = m_mirrorHorizontal, vertical = m_mirrorVertical;
    QImage picture;
    {
        QMutexLocker lock(&m_decoderLock);
        if (m_streamDecoder && !(m_streamStream == stream))
            m_streamDecoder.reset();
        if (!m_streamDecoder) {
            auto decoder = std::make_unique<FfmpegDecoder>();
            // Slice threads only and no reordering delay: each picture is shown as soon as its
            // packet is decoded. Frame threads would hold one picture back per thread.
            decoder->setH26xThreads(std::clamp(QThread::idealThreadCount() / 4, 2, 6));
            decoder->setFrameThreading(false);
            decoder->setLowDelay(true);
            const auto codec =
                isH265(stream.subtype) ? FfmpegDecoder::Codec::Hevc : FfmpegDecoder::Codec::H264;
            if (decoder->open(codec, stream.width, stream.height, stream.grey, 0)) {
                m_streamDecoder = std::move(decoder);
                m_streamStream = stream;
            } else {
                qWarning().noquote() << "FFmpeg H264/H265 open failed, fallback to MF";
            }
        }
        if (m_streamDecoder) {
            FfmpegDecoder &decoder = *m_streamDecoder;
            decoder.setMirror(horizontal, vertical);
            bool again = false;
            // A packet may carry more than one picture. Pictures left in the decoder would make
            // it refuse every later packet, so a refused packet is sent again after taking one
            // out, and the last picture made is the one shown.
            bool sent = decoder.sendPacket(packet);
            while (!sent && decoder.receiveFrame(&picture, &again))
                sent = decoder.sendPacket(packet);
            if (sent) {
                QImage next;
                while (decoder.receiveFrame(&next, &again))
                    picture = next;
            }
            if (picture.isNull() && (again || sent))
                return; // the decoder holds the packet and needs the next one
        }
    }
    if (picture.isNull()) {
        // Only a JPEG can be read here; other bytes would only make the reader complain.
        if (!packet.startsWith("\xFF\xD8"))
            return;
        picture = readJpeg(packet);
        if (picture.isNull())
            return;
        if (stream.grey)
            picture = toSoftwareMonochrome(picture);
        picture = applyMirror(picture, horizontal, vertical);
    }
    countDecodedFrame(QStringLiteral("[DECFPS] 解码线程输出帧率: %1 fps (%2 帧/%3 ms)"));
    emit previewReady(fitPreview(picture));
    emitFrame(picture, m_fullRequested.exchange(false));
}

void Camera::emitFrame(const QImage &picture, bool requested)
{
    emit frameReady(picture);
    if (requested)
        emit requestedFrameReady(picture);
}

void Camera::fullDecodeLoop()
{
    for (;;) {
        FullPacket packet;
        {
            QMutexLocker lock(&m_fullLock);
            m_fullBusy = false;
            m_fullCondition.wakeAll(); // close() may wait for the thread to go idle
            while (!m_stopFull && m_fullQueue.isEmpty())
                m_fullCondition.wait(&m_fullLock);
            if (m_stopFull)
                return;
            packet = m_fullQueue.takeFirst();
            m_fullBusy = true;
        }
        const bool fullRate = m_fullRate;
        QImage picture;
        {
            QMutexLocker lock(&m_fullDecoderLock);
            if (m_fullDecoder &&
                (m_fullDecoderFullRate != fullRate || !(m_fullStream == packet.stream)))
                m_fullDecoder.reset();
            if (!m_fullDecoder) {
                auto decoder = std::make_unique<FfmpegDecoder>();
                decoder->setMjpegThreads(
                    fullRate ? std::clamp(QThread::idealThreadCount() / 4, 2, 4) : 1);
                if (decoder->open(FfmpegDecoder::Codec::Mjpeg, packet.stream.width,
                                  packet.stream.height, packet.stream.grey, 0)) {
                    m_fullDecoder = std::move(decoder);
                    m_fullStream = packet.stream;
                    m_fullDecoderFullRate = fullRate;
                } else {
                    qWarning().noquote() << "FFmpeg MJPG full-res open failed in fullDecodeLoop";
                }
            }
            if (m_fullDecoder) {
                m_fullDecoder->setMirror(m_mirrorHorizontal, m_mirrorVertical);
                bool again = false;
                m_fullDecoder->decode(packet.data, &picture, &again);
            }
        }
        if (picture.isNull())
            picture = readJpeg(packet.data);
        if (picture.isNull()) {
            if (g_fullDecodeFailures.fetch_add(1) < 5)
                qWarning().noquote()
                    << "[DIAG] fullDecodeLoop: both FFmpeg and Qt failed to decode MJPG frame";
            if (packet.requested)
                m_fullRequested = true; // the picture asked for comes from the next packet
            continue;
        }
        emitFrame(picture, packet.requested);
    }
}
