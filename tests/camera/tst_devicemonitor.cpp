// Tests of the device monitor (bursts of udev-like events merged into one signal), of what the
// camera tells about its open device (its modes, its path across device changes, YUV previews
// stamped with the mirror flags) and of how a camera is told apart across replugs and restarts:
// the identity read from a sysfs tree laid out like Linux's, what the V4L2 backend lists when
// sysfs knows nothing, and the settings group an identity names.
#include <QtTest>

#include "FakeSysfs.h"
#include "TestEnv.h"
#include "camera/Camera.h"
#include "camera/DeviceMonitor.h"
#include "camera/FrameConversion.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/SysfsCameraIdentity.h"
#include "camera/V4l2CaptureBackend.h"
#include "settings/CameraSettingsStore.h"

#include <QTemporaryDir>

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
    void identityFromSysfs_data();
    void identityFromSysfs();
    void backendListsIdentities();
    void identityNamesOneSettingsGroup();
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

void TstDeviceMonitor::identityFromSysfs_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("identity");
    QTest::addColumn<QString>("usbIds");
    QTest::newRow("serial") << "/dev/video0"
                            << "usb-1bcf-2c99-sn-A1B2C3"
                            << "vid_1bcf&pid_2c99";
    QTest::newRow("same model, other serial") << "video2"
                                              << "usb-1bcf-2c99-sn-A1B2C4"
                                              << "vid_1bcf&pid_2c99";
    QTest::newRow("no serial: bus and port chain") << "/dev/video4"
                                                   << "usb-1bcf-2c99-port-1-3.2"
                                                   << "vid_1bcf&pid_2c99";
    QTest::newRow("no serial, no busnum/devpath: the device's folder") << "/dev/video6"
                                                                       << "usb-1bcf-2c99-port-2-4"
                                                                       << "vid_1bcf&pid_2c99";
    QTest::newRow("serial with slash and blanks kept in one name") << "/dev/video8"
                                                                   << "usb-0c45-6366-sn-SN%2F7%20X"
                                                                   << "vid_0c45&pid_6366";
    QTest::newRow("not on USB") << "/dev/video10"
                                << "sysfs-platform-soc-fe801000.csi"
                                << "";
    QTest::newRow("unknown to sysfs") << "/dev/video12"
                                      << ""
                                      << "";
}

void TstDeviceMonitor::identityFromSysfs()
{
    QFETCH(QString, node);
    QFETCH(QString, identity);
    QFETCH(QString, usbIds);
    QTemporaryDir root;
    const QString r = root.path();
    FakeSysfs::addUsbCamera(r, "video0", "1-2", "1bcf", "2c99", "A1B2C3");
    FakeSysfs::addUsbCamera(r, "video2", "1-3.1", "1BCF", "2C99", "A1B2C4");
    FakeSysfs::addUsbCamera(r, "video4", "1-3.2", "1bcf", "2c99", QString());
    const QString bare = FakeSysfs::addUsbCamera(r, "video6", "2-4", "1bcf", "2c99", QString());
    FakeSysfs::writeAttribute(bare + "/busnum", QString());
    FakeSysfs::writeAttribute(bare + "/devpath", QString());
    FakeSysfs::addUsbCamera(r, "video8", "1-5", "0c45", "6366", " SN/7 X ");
    FakeSysfs::addPlatformCamera(r, "video10", "platform/soc/fe801000.csi");

    const SysfsCameraIdentity sysfs(r);
    QCOMPARE(sysfs.identityOf(node), identity);
    QCOMPARE(sysfs.usbIdsOf(node), usbIds);
}

void TstDeviceMonitor::backendListsIdentities()
{
    ScriptedV4l2Device device;
    // Sysfs knows the node: its identity is listed, and opening the device keeps it.
    QTemporaryDir root;
    FakeSysfs::addUsbCamera(root.path(), "video0", "1-2", "1bcf", "2c99", "A1");
    V4l2Io io = device.io();
    const SysfsCameraIdentity sysfs(root.path());
    io.identity = [sysfs](const QString &node) { return sysfs.identityOf(node); };
    Camera camera(std::make_unique<V4l2CaptureBackend>(io));
    QCOMPARE(camera.devices().value(0).identity, QStringLiteral("usb-1bcf-2c99-sn-A1"));
    QVERIFY(camera.open(0));
    QCOMPARE(camera.deviceIdentity(), QStringLiteral("usb-1bcf-2c99-sn-A1"));
    camera.close();

    // Without sysfs the driver's bus position names the port.
    V4l2CaptureBackend plain(device.io());
    QCOMPARE(plain.devices().value(0).identity, QStringLiteral("v4l2-usb-0000:00:14.0-2"));
}

void TstDeviceMonitor::identityNamesOneSettingsGroup()
{
    // A name-based identity may hold "/", which must not reach into another camera's group.
    const QString odd = QStringLiteral("name-USB 2.0 Camera/Mic");
    const QString other = QStringLiteral("name-USB 2.0 Camera");
    CameraSettingsStore::store(odd, CameraSettingsStore::kBrightness, 12);
    CameraSettingsStore::store(other, CameraSettingsStore::kBrightness, -7);
    CameraSettingsStore::forget(other);
    QCOMPARE(CameraSettingsStore::load(odd), QVariantMap({{CameraSettingsStore::kBrightness, 12}}));
    QVERIFY(CameraSettingsStore::load(other).isEmpty());
}

QTEST_MAIN(TstDeviceMonitor)
#include "tst_devicemonitor.moc"
