// Tests of the device monitor (bursts of udev-like events merged into one signal) and of what the
// camera tells about its open device: its modes, its path across device changes, one report of
// an unsupported stream, and YUV previews stamped with the mirror flags.
#include <QtTest>

#include "TestEnv.h"
#include "camera/Camera.h"
#include "camera/DeviceMonitor.h"
#include "camera/FrameConversion.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/V4l2CaptureBackend.h"

#include <thread>

using namespace FrameConversion;

// Longest wait for a counted event on a loaded machine; passing tests never reach it.
constexpr int kWaitMs = 20000;

class TstDeviceMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void burstGivesOneSignal();
    void systemMonitorNeverBlocks();
    void modesAndPathOfOpenDevice();
    void unsupportedStreamReportedOnce();
    void yuvPreviewCarriesMirrorFlags();
};

void TstDeviceMonitor::initTestCase()
{
    TestEnv::isolate();
    VideoFrameYUV::registerMetaType();
}

void TstDeviceMonitor::burstGivesOneSignal()
{
    auto source = std::make_unique<PipeDeviceEventSource>();
    PipeDeviceEventSource *events = source.get();
    DeviceMonitor monitor(std::move(source));
    QVERIFY(monitor.isActive());
    QSignalSpy changes(&monitor, &DeviceMonitor::devicesChanged);

    // One plug: the capture node and its metadata node, plus an event that changes nothing.
    events->post("add", "/dev/video0");
    events->post("change", "/dev/video0");
    events->post("add", "/dev/video1");
    QVERIFY(changes.wait(kWaitMs));
    // A later event is a burst of its own; had the first burst given two signals, three
    // would be counted by the time this one arrives.
    events->post("remove", "/dev/video0");
    QVERIFY(changes.wait(kWaitMs));
    QCOMPARE(changes.count(), 2);

    // Events that add or remove nothing give no signal: the next one counted is the add's.
    events->post("change", "/dev/video0");
    events->post("bind", "");
    events->post("add", "/dev/video0");
    QVERIFY(changes.wait(kWaitMs));
    QCOMPARE(changes.count(), 3);
}

void TstDeviceMonitor::systemMonitorNeverBlocks()
{
    // The machine's own monitor (udev may be absent in a container): no event, no hang.
    DeviceMonitor monitor;
    QSignalSpy changes(&monitor, &DeviceMonitor::devicesChanged);
    QCoreApplication::processEvents();
    QCOMPARE(changes.count(), 0);
}

void TstDeviceMonitor::modesAndPathOfOpenDevice()
{
    ScriptedV4l2Device device;
    Camera camera(std::make_unique<V4l2CaptureBackend>(device.io()));
    QVERIFY(camera.modes().isEmpty());
    QVERIFY(camera.open(0));
    QCOMPARE(camera.devicePath(), QStringLiteral("usb-vid_1bcf&pid_2c99-/dev/video0"));
    // The stock microscope: MJPG in four sizes, YUYV in two, H.264 in two.
    const QList<CaptureMode> modes = camera.modes();
    QCOMPARE(modes.size(), 8);
    QCOMPARE(modes.first().fourcc, kFourccMjpg);
    QCOMPARE(QSize(modes.first().width, modes.first().height), QSize(3840, 2160));
    QCOMPARE(modes.at(4).fourcc, kFourccYuyv);
    QCOMPARE(modes.at(4).timePerFrame, qint64(1000000)); // 10 fps at 1280x720
    QVERIFY(camera.setResolution(640, 480));
    QCOMPARE(camera.modes().size(), 8);
    camera.close();
    QVERIFY(camera.modes().isEmpty());
    QCOMPARE(camera.devicePath(), QStringLiteral("usb-vid_1bcf&pid_2c99-/dev/video0"));
}

void TstDeviceMonitor::unsupportedStreamReportedOnce()
{
    ScriptedV4l2Device device;
    device.clearFormats();
    device.addFormat(fourcc('G', 'R', 'E', 'Y'), {{640, 480, {30}}});
    Camera camera(std::make_unique<V4l2CaptureBackend>(device.io()));
    QSignalSpy errors(&camera, &Camera::error);
    QVERIFY(camera.setResolution(640, 480));
    for (int i = 0; i < 4; ++i)
        device.pushFrame(QByteArray(640 * 480, char(90)));
    QVERIFY(device.waitUntilDelivered(kWaitMs));
    camera.close(); // no callback runs after this
    QCOMPARE(errors.count(), 1);
    // The next stream reports again.
    QVERIFY(camera.open(0));
    device.pushFrame(QByteArray(640 * 480, char(90)));
    QVERIFY(device.waitUntilDelivered(kWaitMs));
    camera.close();
    QCOMPARE(errors.count(), 2);
}

void TstDeviceMonitor::yuvPreviewCarriesMirrorFlags()
{
    ScriptedV4l2Device device;
    Camera camera(std::make_unique<V4l2CaptureBackend>(device.io()));
    QObject receiver;
    QList<VideoFrameYUV> frames;
    connect(&camera, &Camera::previewYuvReady, &receiver,
            [&](VideoFrameYUV frame) { frames << frame; });
    camera.setMirrorVertical(true);
    VideoFrameYUV frame;
    frame.width = 4;
    frame.height = 2;
    frame.y = QByteArray(8, char(50));
    frame.u = frame.v = QByteArray(2, char(128));
    frame.mirrorHorizontal = true; // the camera's flags win
    std::thread decoder([&] { camera.deliverYuvPreview(frame); });
    decoder.join();
    QTRY_COMPARE_WITH_TIMEOUT(frames.size(), 1, kWaitMs); // queued to the receiver's thread
    QVERIFY(!frames.first().mirrorHorizontal);
    QVERIFY(frames.first().mirrorVertical);
    QCOMPARE(frames.first().y, frame.y);
}

QTEST_MAIN(TstDeviceMonitor)
#include "tst_devicemonitor.moc"
