// FfmpegDecoder.h: one libavcodec decoder (MJPEG, H.264 or HEVC) that turns packets into QImages.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QtGlobal>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// Decodes one camera stream. Output is Format_RGB32 (Format_Grayscale8 in grey mode), fitted into
// the target box when one is set and mirrored with the flags given before each use. The scaler
// context is cached between frames, and so is the memory of a picture its receivers let go.
//
// Threads: not thread-safe; the owner serialises every call (the camera holds its decoder lock).
class FfmpegDecoder
{
public:
    enum class Codec { Mjpeg, H264, Hevc };

    FfmpegDecoder();
    ~FfmpegDecoder();
    FfmpegDecoder(const FfmpegDecoder &) = delete;
    FfmpegDecoder &operator=(const FfmpegDecoder &) = delete;

    // Thread settings, read by open(): MJPEG uses mjpegThreads with frame threading; H.264/HEVC
    // use h26xThreads with slice threading, or frame and slice threading when frameThreading.
    void setMjpegThreads(int threads) { m_mjpegThreads = threads; }
    void setH26xThreads(int threads) { m_h26xThreads = threads; }
    void setFrameThreading(bool on) { m_frameThreading = on; }
    // H.264/HEVC, read by open(): every picture leaves the decoder as soon as it is decoded
    // (AV_CODEC_FLAG_LOW_DELAY) instead of waiting in a reorder buffer. A stream with B-frames
    // still gives every picture in display order: the decoder then holds back what it must.
    void setLowDelay(bool on) { m_lowDelay = on; }
    int mjpegThreads() const { return m_mjpegThreads; }
    int h26xThreads() const { return m_h26xThreads; }
    bool frameThreading() const { return m_frameThreading; }
    bool lowDelay() const { return m_lowDelay; }

    // Frees any previous decoder, then opens one for the codec at the given stream size.
    // lowres n decodes at 1/2^n of the size (MJPEG only). Logs and returns false on failure.
    bool open(Codec codec, int width, int height, bool grey, int lowres);
    bool isOpen() const { return m_context != nullptr; }

    // Output fit box; 0 means the frame's own size in that direction.
    void setTargetSize(int width, int height);
    void setMirror(bool horizontal, bool vertical);

    // Queues one packet. Length-prefixed H.26x input is rewritten as an Annex B stream first.
    // False when the decoder is full (receive frames first) or on a hard failure; a packet
    // refused as invalid data counts as sent (and is logged on the 1st and every 30th in a row).
    bool sendPacket(const QByteArray &bytes);
    // Takes one decoded picture. False with *again set when the decoder needs more input.
    bool receiveFrame(QImage *out, bool *again);
    // sendPacket, then receiveFrame when sending succeeded.
    bool decode(const QByteArray &bytes, QImage *out, bool *again);

    // Consecutive packets refused as invalid data.
    int invalidPacketCount() const { return m_invalidPacketCount; }

    // Rewrites 4-byte big-endian length-prefixed NAL units as an Annex B stream (start codes
    // 00 00 00 01). Input that is not length-prefixed, or whose lengths run past its end,
    // comes back unchanged.
    static QByteArray toAnnexB(const QByteArray &input);

private:
    void closeContext();
    QImage *outputImage(const QSize &size, QImage::Format format);

    AVCodecContext *m_context = nullptr;
    AVFrame *m_frame = nullptr;
    AVPacket *m_packet = nullptr;
    SwsContext *m_scaler = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_targetWidth = 0;
    int m_targetHeight = 0;
    bool m_grey = false;
    bool m_mirrorHorizontal = false;
    bool m_mirrorVertical = false;
    qint64 m_packetCounter = 0;
    int m_mjpegThreads = 1;
    int m_h26xThreads = 4;
    bool m_frameThreading = false;
    bool m_lowDelay = false;
    int m_invalidPacketCount = 0;
    // The last pictures handed out. One that nobody holds any more is written again instead of
    // allocating a new one: a large picture costs fresh pages from the system every time.
    QImage m_outputs[2];
    int m_nextOutput = 0;
};
