// Camera.h: opens one capture device, chooses its stream format and receives its buffers.
#pragma once

#include "camera/CaptureBackend.h"
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

    // Uses the devices of this machine (V4L2 and the demo camera).
    explicit Camera(QObject *parent = nullptr);
    // Uses `backend` instead, e.g. a scripted device in tests.
    explicit Camera(std::unique_ptr<CaptureBackend> backend, QObject *parent = nullptr);
    ~Camera() override;

    // The devices now present, in the order open() counts them.
    QList<CaptureDeviceInfo> devices();

    bool open(int deviceIndex);
    void close();
    bool setResolution(int width, int height);
    bool setFormat(const QString &name);
    void setMirrorHorizontal(bool on) { m_mirrorHorizontal = on; }
    void setMirrorVertical(bool on) { m_mirrorVertical = on; }

    QSize resolution() const { return m_resolution; }
    QString formatName() const { return m_formatName; }
    bool isOpened() const { return m_opened; }
    bool mirrorHorizontal() const { return m_mirrorHorizontal; }
    bool mirrorVertical() const { return m_mirrorVertical; }
    bool colourEnabled() const { return m_colourEnabled; }

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
    bool supportsAutoExposure();
    bool supportsAutoWhiteBalance();

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
    bool setManualProperty(CameraProperty property, long value, const char *failureLog);
    bool setAutoMode(CameraProperty property, bool on);
    long readLive(CameraProperty property);
    void enqueue(bool mjpg, const uchar *buffer, long length);
    void countCameraFrame();

    std::unique_ptr<CaptureBackend> m_backend;
    bool m_opened = false;
    std::atomic<bool> m_running{false};
    int m_deviceIndex = 0; // the first device until one is opened
    QSize m_resolution;
    QSize m_targetResolution;
    QString m_preferredFormat;
    QString m_formatName;
    std::atomic<bool> m_mirrorHorizontal{false};
    std::atomic<bool> m_mirrorVertical{false};
    std::atomic<bool> m_colourEnabled{true};

    // Written on the user-interface thread before streaming starts, read by the callback.
    int m_connectedModeResult = 0;
    CaptureMode m_connectedMode;
    // Written and read by the callback thread only while streaming.
    bool m_mediaTypeKnown = false;
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
};
