// Camera.h: opens one capture device, chooses its stream format and receives its buffers.
#pragma once

#include "camera/CaptureBackend.h"
#include "camera/FfmpegDecoder.h"
#include "camera/TurboJpegDecoder.h"
#include "camera/VideoFrameYUV.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <QString>
#include <QWaitCondition>

#include <atomic>
#include <memory>
#include <thread>

// The camera the application shows. open/close, the setters and the property calls run on the
// user-interface thread; deliverBuffer runs on the backend's streaming thread. Uncompressed
// buffers become pictures at once; compressed packets wait in bounded queues for the decoders.
class Camera : public QObject
{
    Q_OBJECT

public:
    // Result of one delivered buffer.
    enum class BufferResult {
        Ok,         // handled, queued, or ignored/dropped by design
        NullBuffer, // no buffer, or no device open
        Failed,     // the stream format cannot be read; error() was emitted
    };

    // Most MJPG and H.264/H.265 packets that wait for decoding; the oldest goes first.
    static constexpr int kMjpgQueueLimit = 16;
    static constexpr int kH26xQueueLimit = 60;
    // Most MJPG packets waiting for the full-resolution decoder; further ones are not queued.
    static constexpr int kFullQueueLimit = 3;

    // Uses the devices of this machine (V4L2 and the demo camera).
    explicit Camera(QObject *parent = nullptr);
    // Uses `backend` instead, e.g. a scripted device in tests.
    explicit Camera(std::unique_ptr<CaptureBackend> backend, QObject *parent = nullptr);
    ~Camera() override;

    // The identity a device is remembered by: its backend's, else "name-" and its name.
    static QString identityOf(const CaptureDeviceInfo &device);
    // The devices now present, in the order open() counts them.
    QList<CaptureDeviceInfo> devices();

    bool open(int deviceIndex);
    void close();
    bool setResolution(int width, int height);
    bool setFormat(const QString &name);
    // Sets the format and size to choose (as setFormat and setResolution do; empty and invalid
    // leave the choice to the default rule) and, when open, reopens the device once with them;
    // returns the open result, or true when closed.
    bool setStreamMode(const QString &format, const QSize &resolution);
    QString preferredFormat() const { return m_preferredFormat; }
    QSize targetResolution() const { return m_targetResolution; }
    void setMirrorHorizontal(bool on) { m_mirrorHorizontal = on; }
    void setMirrorVertical(bool on) { m_mirrorVertical = on; }

    // The modes the open device offers, in its own order; empty while closed.
    QList<CaptureMode> modes() const { return m_modes; }
    // The path of the device opened last (see CaptureDeviceInfo::path); empty before any open.
    QString devicePath() const { return m_devicePath; }
    // The physical camera opened last (CaptureDeviceInfo::identity, or "name-" and its name when
    // the backend cannot tell); empty before any open.
    QString deviceIdentity() const { return m_deviceIdentity; }
    QSize resolution() const { return m_resolution; }
    QString formatName() const { return m_formatName; }
    bool isOpened() const { return m_opened; }
    bool mirrorHorizontal() const { return m_mirrorHorizontal; }
    bool mirrorVertical() const { return m_mirrorVertical; }
    bool colourEnabled() const { return m_colourEnabled; }

    // While on (a recording runs) every MJPG packet is offered to the full-resolution decoder;
    // otherwise one packet per second. Any thread.
    void setFullRate(bool on) { m_fullRate = on; }
    bool fullRate() const { return m_fullRate; }
    // Asks for the full-resolution picture of the next frame whatever that rate: it comes as
    // frameReady and then as requestedFrameReady. Between two MJPG samples the last frameReady is
    // up to a second older than the preview on screen. Any thread.
    void requestFullFrame() { m_fullRequested = true; }
    // While held the decode thread takes no packet, so the queues can be inspected. Any thread.
    void setDecodingHeld(bool held);

    // Picture properties (writers, live readers and capability tests).
    bool setExposure(long value);
    bool setGain(long value);
    bool setWhiteBalance(long value);
    bool setBrightness(long value);
    bool setContrast(long value);
    bool setSaturation(long value);
    bool setHue(long value);
    bool setGamma(long value);
    bool setSharpness(long value);
    bool setAutoExposure(bool on);
    bool setAutoWhiteBalance(bool on);
    bool setColorEnable(long value);
    // One-key white balance: on measures the white balance once and holds it; off returns to
    // manual control at the value found. Active while the held value came from a measurement.
    bool setOneKeyWhiteBalance(bool on);
    bool oneKeyWhiteBalanceActive();
    bool setPowerlineFrequency(long value);
    long exposure();
    long gain();
    long whiteBalance();
    // The range of a property of the open device; false when it has none.
    bool propertyRange(CameraProperty property, PropertyRange *range);
    bool supportsAutoExposure();
    bool supportsAutoWhiteBalance();

    // A planar YUV 4:2:0 preview made by a decoder: stamped with the mirror flags and emitted as
    // previewYuvReady. Any thread.
    void deliverYuvPreview(VideoFrameYUV frame);

    // The capture callback: called by the backend for every buffer, on its streaming thread.
    BufferResult deliverBuffer(double time, const uchar *buffer, long length);

    // Takes the oldest waiting packet of a queue; false when it is empty. For the decode thread.
    bool takeMjpgPacket(QByteArray *packet);
    bool takeH26xPacket(QByteArray *packet);
    // Packets waiting now.
    int mjpgQueueSize() const;
    int h26xQueueSize() const;

signals:
    void frameReady(QImage frame);
    // The picture asked for by requestFullFrame(), right after its frameReady.
    void requestedFrameReady(QImage frame);
    void previewReady(QImage preview);
    void previewYuvReady(VideoFrameYUV frame);
    void error(QString message);
    void exposureRangeChanged(long min, long max, long step, long current, long def);
    void gainRangeChanged(long min, long max, long step, long current, long def);
    void whiteBalanceRangeChanged(long min, long max, long step, long current, long def);
    void brightnessRangeChanged(long min, long max, long step, long current, long def);
    void contrastRangeChanged(long min, long max, long step, long current, long def);
    void saturationRangeChanged(long min, long max, long step, long current, long def);
    void hueRangeChanged(long min, long max, long step, long current, long def);
    void gammaRangeChanged(long min, long max, long step, long current, long def);
    void sharpnessRangeChanged(long min, long max, long step, long current, long def);
    void colorEnableChanged(long current);
    void powerlineFrequencyChanged(long current);
    void resolutionChanged(QSize resolution);
    void formatChanged(QString format);

private:
    bool openDevice(int deviceIndex);
    bool failOpen(const QString &message);
    bool chooseMode(const QList<CaptureMode> &modes, CaptureMode *chosen, QString *name);
    void readAllProperties();
    bool readRange(CameraProperty property);
    void emitRange(CameraProperty property, const PropertyRange &range, long current);
    // Writes a value in manual mode, with the logs of that property.
    bool setManualProperty(CameraProperty property, long value);
    bool setAutoMode(CameraProperty property, bool on);
    long readLive(CameraProperty property);
    void enqueue(bool mjpg, const uchar *buffer, long length);
    void countCameraFrame();
    void reportUnsupportedFormat();
    int openDeviceIndex();
    // Counts one frame; once a second, while "debug/fpsLog" is on, returns the rate line built
    // from logTemplate (%1 fps, %2 frames, %3 ms). `since` is 0 before the first frame.
    static qint64 monotonicMicroseconds(); // steady clock, for rates and sampling
    static QString rateLogLine(std::atomic<qint64> &count, qint64 &since,
                               const QString &logTemplate);

    // The decode threads (CameraDecode.cpp). Both run from construction to destruction.
    struct StreamInfo
    {
        quint32 subtype = 0;
        int width = 0;
        int height = 0; // rows, always positive
        bool grey = false;
        bool operator==(const StreamInfo &o) const
        {
            return subtype == o.subtype && width == o.width && height == o.height && grey == o.grey;
        }
    };
    struct FullPacket
    {
        QByteArray data;
        StreamInfo stream;
        bool requested = false; // its picture was asked for by requestFullFrame()
    };
    // Emits frameReady, then requestedFrameReady when the picture was asked for.
    void emitFrame(const QImage &picture, bool requested);
    void startDecodeThreads();
    void stopDecodeThreads();
    void waitDecodeIdle();
    void releaseDecoders();
    void decodeLoop();
    void fullDecodeLoop();
    void decodeMjpg(const QByteArray &packet, const StreamInfo &stream, qint64 now);
    void decodeH26x(const QByteArray &packet, const StreamInfo &stream);
    void countDecodedFrame(const QString &logTemplate);

    std::unique_ptr<CaptureBackend> m_backend;
    bool m_opened = false;
    std::atomic<bool> m_running{false};
    int m_deviceIndex = 0; // the first device until one is opened
    QSize m_resolution;
    QSize m_targetResolution;
    QString m_preferredFormat;
    QString m_formatName;
    QList<CaptureMode> m_modes;
    QString m_devicePath;
    QString m_deviceIdentity;
    std::atomic<bool> m_mirrorHorizontal{false};
    std::atomic<bool> m_mirrorVertical{false};
    std::atomic<bool> m_colourEnabled{true};

    // Written on the user-interface thread before streaming starts, read by the callback.
    int m_connectedModeResult = 0;
    CaptureMode m_connectedMode;
    // Written and read by the callback thread only while streaming.
    bool m_mediaTypeKnown = false;
    bool m_formatErrorReported = false; // the stream's format error was emitted once
    quint32 m_subtype = 0;
    int m_width = 0;
    int m_height = 0;
    std::atomic<qint64> m_cameraFrameCount{0};
    qint64 m_cameraRateTime = 0; // µs of the last rate log, 0 = none yet

    // m_queueLock protects m_mjpgQueue, m_h26xQueue and m_newData; m_queueCondition wakes the
    // decode thread when a packet arrives.
    mutable QMutex m_queueLock;
    QWaitCondition m_queueCondition;
    QList<QByteArray> m_mjpgQueue;
    QList<QByteArray> m_h26xQueue;
    bool m_newData = false;
    // Also under m_queueLock: the stream the queued packets belong to (set by the callback),
    // whether the queues take packets (not while closing or closed), the stop and hold
    // requests, and whether the decode thread is working on a packet.
    StreamInfo m_queueStream;
    bool m_queueClosed = true;
    bool m_stopDecode = false;
    bool m_decodeHeld = false;
    bool m_decodeBusy = false;

    // m_fullLock protects m_fullQueue, m_stopFull and m_fullBusy; m_fullCondition wakes the
    // full-resolution thread and whoever waits for it to go idle.
    QMutex m_fullLock;
    QWaitCondition m_fullCondition;
    QList<FullPacket> m_fullQueue;
    bool m_stopFull = false;
    bool m_fullBusy = false;
    std::atomic<bool> m_fullRate{false};
    std::atomic<bool> m_fullRequested{false};
    qint64 m_lastFullTime = 0; // decode thread only: µs of the last full-resolution offer

    // m_decoderLock protects the preview decoders and the stream each was opened for.
    QMutex m_decoderLock;
    std::unique_ptr<FfmpegDecoder> m_previewDecoder;
    StreamInfo m_previewStream;
    std::unique_ptr<FfmpegDecoder> m_streamDecoder;
    StreamInfo m_streamStream;
    // m_fullDecoderLock protects the full-resolution decoder, its stream and its thread mode.
    QMutex m_fullDecoderLock;
    std::unique_ptr<FfmpegDecoder> m_fullDecoder;
    StreamInfo m_fullStream;
    bool m_fullDecoderFullRate = false;
    // Decode thread only: stateless, made on first use.
    std::unique_ptr<TurboJpegDecoder> m_jpegDecoder;
    // Shared by every rate log of the decode thread.
    std::atomic<qint64> m_decodedFrameCount{0};
    qint64 m_decodedRateTime = 0; // decode thread only

    std::thread m_decodeThread;
    std::thread m_fullThread;
};
