// Tests of how a camera is told apart across replugs and restarts: the identity read from a
// sysfs tree laid out like Linux's, what the V4L2 backend lists when sysfs knows nothing, and
// the settings group an identity names.
#include <QtTest>

#include "FakeSysfs.h"
#include "TestEnv.h"
#include "camera/Camera.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/SysfsCameraIdentity.h"
#include "camera/V4l2CaptureBackend.h"
#include "settings/CameraSettingsStore.h"

#include <QTemporaryDir>

class TstCameraIdentity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void identityFromSysfs_data();
    void identityFromSysfs();
    void backendListsIdentities();
    void identityNamesOneSettingsGroup();
};

void TstCameraIdentity::initTestCase()
{
    TestEnv::isolate();
}

void TstCameraIdentity::identityFromSysfs_data()
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

void TstCameraIdentity::identityFromSysfs()
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

void TstCameraIdentity::backendListsIdentities()
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

void TstCameraIdentity::identityNamesOneSettingsGroup()
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

QTEST_GUILESS_MAIN(TstCameraIdentity)
#include "tst_cameraidentity.moc"
