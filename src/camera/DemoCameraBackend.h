// DemoCameraBackend.h: the built-in demo camera, a microscope looking at a stage micrometer.
#pragma once

#include "camera/CaptureBackend.h"
#include "camera/DemoSpecimen.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// Offers the modes of a typical microscope camera. Each mode's loop of frames is rendered and
// encoded once (MJPG with libjpeg-turbo and, as UVC cameras send it, without Huffman tables; H.264
// Annex B with libavcodec; YUY2 and RGB24 raw) and then sent round on the device's own thread at
// the mode's frame rate, so streaming costs almost nothing. Except for H.264, the stream starts
// with the first picture alone while the rest of the loop is encoded. A property change re-encodes
// the loop in the background and the picture follows within about a second.
class DemoCameraBackend : public CaptureBackend
{
public:
    // Pictures per loop: the stage drifts over 16 positions and back.
    static constexpr int kDriftSteps = 16;

    DemoCameraBackend();
    ~DemoCameraBackend() override;

    // The name under which the demo camera is listed: "演示相机", translated.
    static QString displayName();
    // The demo camera's modes, in its own order.
    static QList<CaptureMode> demoModes();

    QList<CaptureDeviceInfo> devices() override;
    int open(int index) override;
    void close() override;
    int modes(QList<CaptureMode> *modes) override;
    int setMode(const CaptureMode &mode) override;
    int currentMode(CaptureMode *mode) override;
    int start(BufferCallback callback) override;
    void stop() override;
    bool hasGroup(PropertyGroup group) override;
    int propertyRange(CameraProperty property, PropertyRange *range) override;
    int property(CameraProperty property, long *value, long *flags) override;
    int setProperty(CameraProperty property, long value, long flags) override;

    // The pictures of one loop for a mode and settings, before encoding (for tests and tools).
    static QList<QImage> renderPictures(const CaptureMode &mode,
                                        const DemoSpecimen::Settings &settings);

private:
    struct Loop
    {
        QList<QByteArray> frames; // sent in this order, round and round
    };

    // The whole loop; from `stage` when given, else from a stage rendered here.
    static std::shared_ptr<const Loop> buildLoop(const CaptureMode &mode,
                                                 const DemoSpecimen::Settings &settings,
                                                 QString *error, const QImage &stage = QImage());
    // A loop of the first picture alone, sent while the whole loop is being encoded.
    static std::shared_ptr<const Loop> buildFirstFrame(const CaptureMode &mode,
                                                       const DemoSpecimen::Settings &settings,
                                                       const QImage &stage, QString *error);
    static QImage renderStage(const CaptureMode &mode);
    static QImage renderPicture(const QImage &stage, const CaptureMode &mode,
                                const DemoSpecimen::Settings &settings, int step);
    // The same picture, as a view into `stage` when the settings leave it unchanged.
    static QImage pictureAt(const QImage &stage, const CaptureMode &mode,
                            const DemoSpecimen::Settings &settings, int step);
    static QByteArray encodePicture(const CaptureMode &mode, const QImage &picture);
    void run(BufferCallback callback, CaptureMode mode);

    bool m_open = false;
    CaptureMode m_mode;

    // m_lock protects m_settings, m_whiteBalanceHeld, m_settingsGeneration and m_stop; m_wake
    // ends waits early.
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    DemoSpecimen::Settings m_settings;
    bool m_whiteBalanceHeld = false; // one-push white balance holds its measured value
    quint64 m_settingsGeneration = 0;
    bool m_stop = false;
    std::thread m_thread;
};
