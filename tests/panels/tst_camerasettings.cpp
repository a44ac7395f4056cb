// Tests of remembered camera settings on the scripted V4L2 device behind a fake sysfs tree: what
// the user sets through the left bar is in the device again after an unplug and replug and after
// a restart, cameras of one model keep their own by serial, values the device no longer accepts
// are fitted or skipped, and the restore button brings back the defaults and forgets.
#include <QtTest>

#include "FakeSysfs.h"
#include "LogCapture.h"
#include "MessageBoxAnswerer.h"
#include "TestEnv.h"
#include "camera/Camera.h"
#include "camera/FrameConversion.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/SysfsCameraIdentity.h"
#include "camera/V4l2CaptureBackend.h"
#include "panels/LeftBarWidget.h"
#include "resources/QuorixResources.h"
#include "settings/CameraSettingsStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>

#include <linux/videodev2.h>

using namespace FrameConversion;

namespace {

// What one camera holds: its controls and its mode.
struct Held
{
    QMap<quint32, long> controls;
    quint32 fourcc;
    QSize size;
    bool mirrorHorizontal, mirrorVertical;
};

void smallModes(ScriptedV4l2Device &device)
{
    device.clearFormats();
    device.addFormat(kFourccMjpg, {{640, 480, {30}}, {320, 240, {30}}});
    device.addFormat(kFourccYuyv, {{640, 480, {30}}, {320, 240, {15}}});
    device.resetToDefaults();
}

void activate(QComboBox *list, const QString &text)
{
    const int index = list->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    list->setCurrentIndex(index);
    emit list->activated(index);
}

void verifyHeld(ScriptedV4l2Device &device, LeftBarWidget *bar, const Held &held)
{
    for (auto it = held.controls.cbegin(); it != held.controls.cend(); ++it)
        QCOMPARE(QPair(it.key(), device.controlValue(it.key())), QPair(it.key(), it.value()));
    QCOMPARE(device.currentFourcc(), held.fourcc);
    QCOMPARE(QSize(device.currentWidth(), device.currentHeight()), held.size);
    QCOMPARE(bar->camera()->mirrorHorizontal(), held.mirrorHorizontal);
    QCOMPARE(bar->camera()->mirrorVertical(), held.mirrorVertical);
}

// A camera fresh from the factory: the device's defaults and the program's automatic modes.
const Held kDefaults = {{{V4L2_CID_BRIGHTNESS, 0},
                         {V4L2_CID_GAIN, 0},
                         {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY},
                         {V4L2_CID_AUTO_WHITE_BALANCE, 1},
                         {V4L2_CID_COLORFX, V4L2_COLORFX_NONE},
                         {V4L2_CID_POWER_LINE_FREQUENCY, 1}},
                        kFourccMjpg,
                        QSize(640, 480),
                        false,
                        false};

} // namespace

class TstCameraSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void rememberedAcrossReplugAndRestart();
    void camerasOfOneModelKeepTheirOwn();
    void storedValuesTheDeviceNoLongerAccepts();
    void restoreDefaultsForgetsTheCamera();

private:
    // The left bar on `device`, whose node video0 sysfs describes below m_sysfs.
    std::unique_ptr<LeftBarWidget> barOn(ScriptedV4l2Device &device)
    {
        V4l2Io io = device.io();
        const SysfsCameraIdentity sysfs(m_sysfs->path());
        io.identity = [sysfs](const QString &node) { return sysfs.identityOf(node); };
        return std::make_unique<LeftBarWidget>(std::make_unique<V4l2CaptureBackend>(io));
    }
    // The camera goes, loses its settings as on a power cycle, and comes back.
    static void replug(ScriptedV4l2Device &device, LeftBarWidget *bar)
    {
        device.unplug();
        bar->handleDeviceChange();
        QVERIFY(!bar->camera()->isOpened());
        device.resetToDefaults();
        device.replug();
        bar->handleDeviceChange();
    }
    // Sets, through the controls, values that differ from every default.
    static void setByUser(LeftBarWidget *bar);

    std::unique_ptr<QTemporaryDir> m_sysfs;
    QString m_usbDevice; // the camera's USB device folder in m_sysfs
};

void TstCameraSettings::initTestCase()
{
    TestEnv::isolate();
    QuorixResources::init();
    qputenv("QUORIX_DEMO_CAMERA", "0");
    LogCapture::install();
}

void TstCameraSettings::init()
{
    QSettings().clear();
    LogCapture::clear();
    m_sysfs = std::make_unique<QTemporaryDir>();
    m_usbDevice = FakeSysfs::addUsbCamera(m_sysfs->path(), "video0", "1-2", "1bcf", "2c99", "A1");
}

void TstCameraSettings::setByUser(LeftBarWidget *bar)
{
    bar->findChild<QCheckBox *>("checkBoxAutoExposure")->click();
    bar->findChild<QCheckBox *>("checkBoxAutoWhiteBalance")->click();
    bar->findChild<QSlider *>("horizontalSliderExposure")->setValue(-5);
    bar->findChild<QSlider *>("horizontalSliderWhiteBalance")->setValue(5000);
    bar->findChild<QSlider *>("horizontalSliderGain")->setValue(40);
    bar->findChild<QSpinBox *>("spinBoxBrightness")->setValue(20);
    bar->findChild<QPushButton *>("pushButtonMirror")->click();
    bar->findChild<QPushButton *>("pushButtonFlip")->click();
    activate(bar->findChild<QComboBox *>("comboBoxColorMode"), QStringLiteral("黑白"));
    activate(bar->findChild<QComboBox *>("comboBoxPowerLine"), QStringLiteral("60Hz"));
    activate(bar->findChild<QComboBox *>("comboBoxFormat"), QStringLiteral("YUY2"));
    activate(bar->findChild<QComboBox *>("comboBoxResolution"), QStringLiteral("320 x 240"));
}

void TstCameraSettings::rememberedAcrossReplugAndRestart()
{
    const Held set = {{{V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
                       {V4L2_CID_EXPOSURE_ABSOLUTE, 313}, // 2^-5 s in 100 µs units
                       {V4L2_CID_AUTO_WHITE_BALANCE, 0},
                       {V4L2_CID_WHITE_BALANCE_TEMPERATURE, 5000},
                       {V4L2_CID_GAIN, 40},
                       {V4L2_CID_BRIGHTNESS, 20},
                       {V4L2_CID_COLORFX, V4L2_COLORFX_BW},
                       {V4L2_CID_POWER_LINE_FREQUENCY, 2}},
                      kFourccYuyv,
                      QSize(320, 240),
                      true,
                      true};
    ScriptedV4l2Device device;
    smallModes(device);
    {
        auto bar = barOn(device);
        QVERIFY(bar->startCamera());
        verifyHeld(device, bar.get(), kDefaults);
        setByUser(bar.get());
        verifyHeld(device, bar.get(), set);

        replug(device, bar.get());
        QVERIFY(bar->startCamera());
        verifyHeld(device, bar.get(), set);
        // The controls show what the camera holds.
        QVERIFY(!bar->findChild<QCheckBox *>("checkBoxAutoExposure")->isChecked());
        QCOMPARE(bar->findChild<QSpinBox *>("spinBoxBrightness")->value(), 20);
        QCOMPARE(bar->findChild<QComboBox *>("comboBoxResolution")->currentText(),
                 QStringLiteral("320 x 240"));
        QCOMPARE(bar->findChild<QComboBox *>("comboBoxPowerLine")->currentText(),
                 QStringLiteral("60Hz"));
        QVERIFY(
            bar->findChild<QPushButton *>("pushButtonMirror")->styleSheet().contains("#4CAF50"));
    }
    QSettings().sync();
    QFile ini(QSettings().fileName());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("[CameraSettings]\nusb-1bcf-2c99-sn-A1\\brightness=20"));

    // A restart: a new program over the same settings file and a camera at its defaults.
    ScriptedV4l2Device restarted;
    smallModes(restarted);
    auto bar = barOn(restarted);
    QVERIFY(bar->startCamera());
    verifyHeld(restarted, bar.get(), set);
    QCOMPARE(LogCapture::count("已跳过"), 0);
    QCOMPARE(LogCapture::count("超出范围"), 0);
}

void TstCameraSettings::camerasOfOneModelKeepTheirOwn()
{
    // The same model, the same name, the same port: only the serial tells them apart.
    ScriptedV4l2Device device;
    smallModes(device);
    auto bar = barOn(device);
    auto plugIn = [&](const QString &serial) {
        FakeSysfs::writeAttribute(m_usbDevice + "/serial", serial);
        replug(device, bar.get());
        QVERIFY(bar->startCamera());
    };
    QSpinBox *brightness = bar->findChild<QSpinBox *>("spinBoxBrightness");
    QPushButton *mirror = bar->findChild<QPushButton *>("pushButtonMirror");

    QVERIFY(bar->startCamera());
    brightness->setValue(30);
    mirror->click();
    plugIn("B2");
    verifyHeld(device, bar.get(), kDefaults);
    brightness->setValue(-30);

    plugIn("A1");
    QCOMPARE(device.controlValue(V4L2_CID_BRIGHTNESS), 30L);
    QVERIFY(bar->camera()->mirrorHorizontal());
    plugIn("B2");
    QCOMPARE(device.controlValue(V4L2_CID_BRIGHTNESS), -30L);
    QVERIFY(!bar->camera()->mirrorHorizontal());
    QCOMPARE(bar->camera()->deviceIdentity(), QStringLiteral("usb-1bcf-2c99-sn-B2"));
}

void TstCameraSettings::storedValuesTheDeviceNoLongerAccepts()
{
    ScriptedV4l2Device device;
    smallModes(device);
    auto bar = barOn(device);
    QVERIFY(bar->startCamera());
    bar->findChild<QCheckBox *>("checkBoxAutoExposure")->click();
    bar->findChild<QSlider *>("horizontalSliderExposure")->setValue(-5);
    bar->findChild<QSpinBox *>("spinBoxBrightness")->setValue(60);
    bar->findChild<QSpinBox *>("spinBoxContrast")->setValue(33);
    bar->findChild<QSpinBox *>("spinBoxGamma")->setValue(400);
    activate(bar->findChild<QComboBox *>("comboBoxPowerLine"), QStringLiteral("60Hz"));
    activate(bar->findChild<QComboBox *>("comboBoxFormat"), QStringLiteral("YUY2"));
    activate(bar->findChild<QComboBox *>("comboBoxResolution"), QStringLiteral("320 x 240"));

    // Back with other firmware: narrower ranges, coarser steps, no YUYV, no 60 Hz, no automatic
    // exposure.
    device.unplug();
    bar->handleDeviceChange();
    device.setControl(V4L2_CID_BRIGHTNESS, {-32, 32, 1, 0, 0, {}});
    device.setControl(V4L2_CID_CONTRAST, {0, 64, 4, 32, 32, {}});
    device.setControl(V4L2_CID_GAMMA, {100, 300, 50, 100, 100, {}});
    device.setControl(V4L2_CID_POWER_LINE_FREQUENCY, {0, 1, 1, 1, 1, {0, 1}});
    device.removeControl(V4L2_CID_EXPOSURE_AUTO);
    device.clearFormats();
    device.addFormat(kFourccMjpg, {{640, 480, {30}}, {320, 240, {30}}});
    device.resetToDefaults();
    device.replug();
    bar->handleDeviceChange();
    LogCapture::clear();
    QVERIFY(bar->startCamera());

    // Clamped into range and onto the step; the rest as remembered.
    QCOMPARE(device.controlValue(V4L2_CID_BRIGHTNESS), 32L);
    QCOMPARE(device.controlValue(V4L2_CID_CONTRAST), 32L);
    QCOMPARE(device.controlValue(V4L2_CID_GAMMA), 300L);
    QCOMPARE(device.controlValue(V4L2_CID_EXPOSURE_ABSOLUTE), 313L);
    QCOMPARE(LogCapture::count("超出范围"), 3);
    // 60 Hz is no longer in the menu: not written, the device keeps its own.
    QCOMPARE(device.controlValue(V4L2_CID_POWER_LINE_FREQUENCY), 1L);
    QCOMPARE(LogCapture::count("powerLineFrequency = 2 不被设备接受"), 1);
    QCOMPARE(LogCapture::count("设置电力线频率失败"), 0);
    // The lost format gives way to the default choice; the size is still offered and kept.
    QCOMPARE(LogCapture::count("格式 YUY2 已不再提供"), 1);
    QCOMPARE(device.currentFourcc(), kFourccMjpg);
    QCOMPARE(QSize(device.currentWidth(), device.currentHeight()), QSize(320, 240));
    QVERIFY(bar->camera()->isOpened());
    QCOMPARE(bar->findChild<QComboBox *>("comboBoxFormat")->currentText(), QStringLiteral("MJPG"));
    // What was stored stays for a device that accepts it again.
    QCOMPARE(CameraSettingsStore::load(bar->camera()->deviceIdentity())
                 .value(CameraSettingsStore::kBrightness)
                 .toInt(),
             60);
}

void TstCameraSettings::restoreDefaultsForgetsTheCamera()
{
    ScriptedV4l2Device device;
    smallModes(device);
    auto bar = barOn(device);
    QPushButton *restore = bar->findChild<QPushButton *>("pushButtonCameraDefaults");
    QCOMPARE(restore->accessibleName(), QStringLiteral("恢复相机默认设置"));
    QVERIFY(!restore->isEnabled()); // an open camera only
    QVERIFY(bar->startCamera());
    setByUser(bar.get());
    bar->findChild<QPushButton *>("pushButtonOneKeyWB")->click();

    MessageBoxAnswerer answerer;
    answerer.answer(QMessageBox::Yes);
    QTest::mouseClick(restore, Qt::LeftButton);
    QCOMPARE(answerer.count(), 1);
    verifyHeld(device, bar.get(), kDefaults);
    QCOMPARE(device.controlValue(V4L2_CID_BRIGHTNESS), 0L);
    QVERIFY(bar->findChild<QCheckBox *>("checkBoxAutoExposure")->isChecked());
    QVERIFY(!bar->camera()->oneKeyWhiteBalanceActive());
    QCOMPARE(bar->findChild<QComboBox *>("comboBoxColorMode")->currentText(),
             QStringLiteral("彩色"));
    QVERIFY(CameraSettingsStore::load(bar->camera()->deviceIdentity()).isEmpty());

    // Nothing comes back at the next start.
    LogCapture::clear();
    replug(device, bar.get());
    QVERIFY(bar->startCamera());
    verifyHeld(device, bar.get(), kDefaults);
    QCOMPARE(LogCapture::count("应用已保存的设置"), 0);
}

QTEST_MAIN(TstCameraSettings)
#include "tst_camerasettings.moc"
