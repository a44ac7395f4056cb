// Tests of the camera half of the left control bar on the scripted V4L2 device: the camera list
// followed through unplug and replug, frames and previews passed on, the frame rate, every
// property control read back from the device, the mode lists, errors and recording on unplug.
#include <QtTest>

#include "MessageBoxAnswerer.h"
#include "TestEnv.h"
#include "camera/Camera.h"
#include "camera/CameraClock.h"
#include "camera/DemoCameraBackend.h"
#include "camera/DemoEncoders.h"
#include "camera/DeviceMonitor.h"
#include "camera/FrameConversion.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/V4l2CaptureBackend.h"
#include "panels/LeftBarWidget.h"
#include "recording/VideoRecorder.h"
#include "resources/QuorixResources.h"
#include "settings/SettingsKeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTranslator>

#include <linux/videodev2.h>

#include <cmath>
#include <thread>

using namespace FrameConversion;

namespace {

// Longest wait for a counted event on a loaded machine; passing tests never reach it.
constexpr int kWaitMs = 120000;

// Counts what the bar passes on, on the GUI thread, whatever thread emitted it.
struct Received : QObject
{
    int images = 0, previews = 0, yuv = 0, recordingOn = 0, recordingOff = 0;
    QImage lastImage;
    VideoFrameYUV lastYuv;
    QStringList fpsTexts;
    explicit Received(LeftBarWidget *bar)
    {
        connect(bar, &LeftBarWidget::sigSetImage, this, [this](const QImage &image) {
            ++images;
            lastImage = image;
        });
        connect(bar, &LeftBarWidget::sigSetPreview, this, [this] { ++previews; });
        connect(bar, &LeftBarWidget::sigSetYuvPreview, this, [this](VideoFrameYUV f) {
            ++yuv;
            lastYuv = f;
        });
        connect(bar, &LeftBarWidget::sigFpsTextChanged, this,
                [this](const QString &t) { fpsTexts << t; });
        connect(bar, &LeftBarWidget::sigRecordingStateChanged, this,
                [this](bool on) { ++(on ? recordingOn : recordingOff); });
    }
};

QByteArray jpeg(int width, int height, int shade)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(shade, 255 - shade, 90));
    return DemoEncoders::encodeJpeg(image);
}

// A microscope with small modes, so that the tests decode little.
void smallModes(ScriptedV4l2Device &device)
{
    device.clearFormats();
    device.addFormat(kFourccMjpg, {{640, 480, {30}}, {320, 240, {30}}});
    device.addFormat(kFourccYuyv, {{640, 480, {30}}, {320, 240, {15}}});
}

// Two cameras of the same model: the second answers as /dev/video2 and /dev/video3.
V4l2Io twoCameras(ScriptedV4l2Device &a, ScriptedV4l2Device &b)
{
    constexpr int kOffset = 10000; // the second device's handles
    V4l2Io ia = a.io(), ib = b.io(), io = a.io();
    io.open = [ia, ib](const char *path, int flags) {
        const QString node = QString::fromLatin1(path);
        if (node == "/dev/video2" || node == "/dev/video3") {
            const QByteArray mapped = node == "/dev/video2" ? "/dev/video0" : "/dev/video1";
            const int fd = ib.open(mapped.constData(), flags);
            return fd < 0 ? fd : fd + kOffset;
        }
        return ia.open(path, flags);
    };
    io.close = [ia, ib](int fd) { return fd >= kOffset ? ib.close(fd - kOffset) : ia.close(fd); };
    io.ioctl = [ia, ib](int fd, unsigned long request, void *arg) {
        return fd >= kOffset ? ib.ioctl(fd - kOffset, request, arg) : ia.ioctl(fd, request, arg);
    };
    io.mmap = [ia, ib](void *addr, size_t length, int prot, int flags, int fd, off_t offset) {
        return fd >= kOffset ? ib.mmap(addr, length, prot, flags, fd - kOffset, offset)
                             : ia.mmap(addr, length, prot, flags, fd, offset);
    };
    io.poll = [ia, ib](struct pollfd *fds, nfds_t count, int timeoutMs) {
        if (count == 1 && fds[0].fd >= kOffset) {
            pollfd local = fds[0];
            local.fd -= kOffset;
            const int rc = ib.poll(&local, 1, timeoutMs);
            fds[0].revents = local.revents;
            return rc;
        }
        return ia.poll(fds, count, timeoutMs);
    };
    io.listNodes = [ia, ib] {
        QStringList nodes = ia.listNodes();
        for (const QString &node : ib.listNodes())
            nodes << (node == "/dev/video0" ? "/dev/video2" : "/dev/video3");
        return nodes;
    };
    return io;
}

QCheckBox *checkBox(QWidget *bar, const char *name)
{
    return bar->findChild<QCheckBox *>(name);
}
QSlider *slider(QWidget *bar, const QString &key)
{
    return bar->findChild<QSlider *>("horizontalSlider" + key);
}
QComboBox *combo(QWidget *bar, const char *name)
{
    return bar->findChild<QComboBox *>(name);
}
QPushButton *button(QWidget *bar, const char *name)
{
    return bar->findChild<QPushButton *>(name);
}

QStringList entries(QComboBox *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

void activate(QComboBox *list, const QString &text)
{
    const int index = list->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    list->setCurrentIndex(index);
    emit list->activated(index);
}

} // namespace

class TstLeftBarCamera : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void followsCamerasByPathThroughUnplugAndReplug();
    void framesAndPreviewsReachTheCanvas();
    void captureAndCloseKeepThePictureOnScreen();
    void controlsReadBackFromDevice_data();
    void controlsReadBackFromDevice();
    void autoModesOneKeyWhiteBalanceAndMirror();
    void startSettings();
    void modeListsFollowDevice();
    void unsupportedStreamOneBoxAndClosed();
    void openFailureOneBox();
    void languageSwitchKeepsState();
    void unplugWhileRecordingFinishesFile();
    void destructionWhileFramesFlow();

private:
    std::unique_ptr<LeftBarWidget> barOn(ScriptedV4l2Device &device)
    {
        return std::make_unique<LeftBarWidget>(std::make_unique<V4l2CaptureBackend>(device.io()));
    }
    // Starts the selected camera and holds the 1000 ms rate timer, so tests choose the interval.
    static bool start(LeftBarWidget *bar)
    {
        const bool ok = bar->startCamera();
        bar->findChild<QTimer *>("fpsTimer")->stop();
        return ok;
    }

    std::unique_ptr<ScriptedV4l2Device> m_device; // made anew for each test, with small modes
};

void TstLeftBarCamera::initTestCase()
{
    TestEnv::isolate();
    QuorixResources::init();
    qputenv("QUORIX_DEMO_CAMERA", "0");
}

void TstLeftBarCamera::init()
{
    QSettings().clear();
    m_device = std::make_unique<ScriptedV4l2Device>();
    smallModes(*m_device);
}

void TstLeftBarCamera::followsCamerasByPathThroughUnplugAndReplug()
{
    ScriptedV4l2Device a, b;
    smallModes(a);
    smallModes(b);
    auto source = std::make_unique<PipeDeviceEventSource>();
    PipeDeviceEventSource *events = source.get();
    DeviceMonitor monitor(std::move(source));
    LeftBarWidget bar(std::make_unique<V4l2CaptureBackend>(twoCameras(a, b)));
    connect(&monitor, &DeviceMonitor::devicesChanged, &bar, &LeftBarWidget::handleDeviceChange);
    QSignalSpy changes(&monitor, &DeviceMonitor::devicesChanged);
    QComboBox *cameras = combo(&bar, "cbCameras");
    QPushButton *play = button(&bar, "pushButtonPlay");

    // Two cameras of one model: the same name, told apart by their paths.
    QCOMPARE(entries(cameras), QStringList({"Quorix UVC Microscope", "Quorix UVC Microscope"}));
    cameras->setCurrentIndex(1);
    QVERIFY(start(&bar));
    QCOMPARE(play->property("state").toString(), QStringLiteral("pause"));
    QVERIFY(bar.camera()->devicePath().endsWith("/dev/video2"));
    QVERIFY(b.streaming());

    // The other camera goes: the open one keeps streaming and stays selected at its new place.
    a.unplug();
    events->post("remove", "/dev/video0");
    events->post("remove", "/dev/video1");
    QVERIFY(changes.wait(kWaitMs));
    QCOMPARE(cameras->count(), 1);
    QCOMPARE(cameras->currentIndex(), 0);
    QVERIFY(bar.camera()->isOpened());
    QVERIFY(b.streaming());

    // The open camera goes in the middle of its stream: closed, nothing left running.
    b.pushFrame(jpeg(640, 480, 10));
    b.unplug();
    events->post("remove", "/dev/video2");
    QVERIFY(changes.wait(kWaitMs));
    QCOMPARE(changes.count(), 2); // one signal per burst
    QVERIFY(!bar.camera()->isOpened());
    QCOMPARE(play->property("state").toString(), QStringLiteral("play"));
    QCOMPARE(cameras->count(), 0);
    QCOMPARE(b.openHandles(), 0);
    QVERIFY(!b.streaming());

    // Plugged in again: listed, and it starts.
    b.replug();
    events->post("add", "/dev/video2");
    events->post("add", "/dev/video3");
    QVERIFY(changes.wait(kWaitMs));
    QCOMPARE(cameras->count(), 1);
    QVERIFY(start(&bar));
    QVERIFY(b.streaming());
}

// MJPG frames give previews and full-resolution samples; YUV previews are passed on whole with
// the camera's mirror flags; YUY2 frames give no previews and the rate counts them instead.
void TstLeftBarCamera::framesAndPreviewsReachTheCanvas()
{
    ScriptedV4l2Device &device = *m_device;
    auto bar = barOn(device);
    Received received(bar.get());
    QVERIFY(start(bar.get()));
    QCOMPARE(received.fpsTexts.last(), QStringLiteral("FPS: 0.0"));
    for (int i = 0; i < 30; ++i) { // one at a time: a full decode queue would drop packets
        device.pushFrame(jpeg(640, 480, i * 8));
        QTRY_COMPARE_WITH_TIMEOUT(received.previews, i + 1, kWaitMs);
    }
    QTRY_VERIFY_WITH_TIMEOUT(received.images >= 1, kWaitMs); // the full-resolution sample
    QCOMPARE(bar->lastFrame().size(), QSize(640, 480));
    bar->applyFrameRate(1000);
    QCOMPARE(received.fpsTexts.last(), QStringLiteral("FPS: 30.0"));
    QCOMPARE(bar->fpsText(), QStringLiteral("FPS: 30.0"));

    bar->camera()->setMirrorHorizontal(true);
    auto frame = [](int w, int h, int uBytes) {
        VideoFrameYUV f;
        f.width = w;
        f.height = h;
        f.y = QByteArray(w * h, char(16));
        f.u = QByteArray(uBytes, char(128));
        f.v = QByteArray(w * h / 4, char(128));
        return f;
    };
    // Made on a decoder's thread, as a YUV decoder would.
    std::thread decoder([&] {
        bar->camera()->deliverYuvPreview(frame(8, 4, 7)); // U plane short by one byte
        bar->camera()->deliverYuvPreview(frame(0, 4, 0)); // no width
        bar->camera()->deliverYuvPreview(frame(8, 4, 8));
    });
    decoder.join();
    // Every preview counts, passed on or not, in the second it was made: none has reached this
    // thread yet.
    bar->applyFrameRate(1000);
    QCOMPARE(bar->fpsText(), QStringLiteral("FPS: 3.0"));
    QCOMPARE(received.yuv, 0);
    QTRY_COMPARE_WITH_TIMEOUT(received.yuv, 1, kWaitMs);
    QCOMPARE(received.lastYuv.width, 8);
    QVERIFY(received.lastYuv.mirrorHorizontal);
    QVERIFY(!received.lastYuv.mirrorVertical);
    // Their late arrival does not count them again (one more preview keeps the rate from
    // falling back to the full-resolution frames).
    bar->camera()->deliverYuvPreview(frame(8, 4, 8));
    bar->applyFrameRate(1000);
    QCOMPARE(bar->fpsText(), QStringLiteral("FPS: 1.0"));

    activate(combo(bar.get(), "comboBoxFormat"), "YUY2");
    bar->findChild<QTimer *>("fpsTimer")->stop();
    bar->applyFrameRate(1000);         // forget what came before
    QCoreApplication::processEvents(); // the MJPG samples still queued
    const int images = received.images, previews = received.previews;
    for (int i = 0; i < 12; ++i)
        device.pushFrame(QByteArray(640 * 480 * 2, char(100 + i)));
    QVERIFY(device.waitUntilDelivered(kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(received.images, images + 12, kWaitMs);
    QCOMPARE(received.previews, previews);
    bar->applyFrameRate(2000);
    QCOMPARE(bar->fpsText(), QStringLiteral("FPS: 6.0"));

    // The play button closes the camera.
    button(bar.get(), "pushButtonPlay")->click();
    QVERIFY(!bar->camera()->isOpened());
    QCOMPARE(received.fpsTexts.last(), QStringLiteral("FPS: --"));
    QVERIFY(!slider(bar.get(), "Brightness")->isEnabled());
}

// Between two once-a-second MJPG samples a capture asks for the full-resolution picture of the
// next frame instead of writing the older sample; a second click while it waits writes that
// picture too, and without a frame the sample is written after the wait. A save and closing the
// camera wait in the same way; the canvas has the picture first, and no later preview covers it.
void TstLeftBarCamera::captureAndCloseKeepThePictureOnScreen()
{
    CameraClock::setSource([]() -> qint64 { return 5000000; }); // no sample falls due by itself
    const auto restoreClock = qScopeGuard([] { CameraClock::setSource(nullptr); });
    QTemporaryDir dir;
    QSettings settings;
    settings.setValue(SettingsKeys::kUsePresetPath, true);
    settings.setValue(SettingsKeys::kSavePath, dir.path());
    settings.setValue(SettingsKeys::kFileType, 2); // BMP keeps the pixels as they were
    ScriptedV4l2Device &device = *m_device;
    auto bar = barOn(device);
    Received received(bar.get());
    QStringList saved;
    QList<int> canvasShades; // the canvas picture's when each save was asked for
    connect(bar.get(), &LeftBarWidget::sigSaveImage, bar.get(), [&](const QString &path) {
        saved << path;
        canvasShades << qRed(received.lastImage.pixel(320, 240));
    });
    auto *capture = bar->findChild<QToolButton *>("toolButtonCapture");
    const auto red = [](const QString &path) { return qRed(QImage(path).pixel(320, 240)); };
    QVERIFY(start(bar.get()));

    device.pushFrame(jpeg(640, 480, 40)); // the first frame is sampled
    QTRY_VERIFY_WITH_TIMEOUT(!bar->lastFrame().isNull(), kWaitMs);
    device.pushFrame(jpeg(640, 480, 200)); // only previewed
    QTRY_COMPARE_WITH_TIMEOUT(received.previews, 2, kWaitMs);
    capture->click();
    capture->click();
    QVERIFY(saved.isEmpty());
    device.pushFrame(jpeg(640, 480, 120));
    QTRY_COMPARE_WITH_TIMEOUT(saved.size(), 2, kWaitMs);
    QVERIFY(saved[0] != saved[1]);
    QVERIFY(qAbs(red(saved[0]) - 120) <= 8 && qAbs(red(saved[1]) - 120) <= 8);

    device.pushFrame(jpeg(640, 480, 200));
    QTRY_COMPARE_WITH_TIMEOUT(received.previews, 4, kWaitMs);
    capture->click();
    QTRY_COMPARE_WITH_TIMEOUT(saved.size(), 3, kWaitMs);
    QVERIFY(qAbs(red(saved[2]) - 120) <= 8);
    device.pushFrame(jpeg(640, 480, 160)); // still answers the request
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(qRed(bar->lastFrame().pixel(320, 240)) - 160) <= 8, kWaitMs);

    device.pushFrame(jpeg(640, 480, 200));
    QTRY_COMPARE_WITH_TIMEOUT(received.previews, 6, kWaitMs);
    bar->findChild<QToolButton *>("toolButtonSave")->click();
    QCOMPARE(saved.size(), 3);
    device.pushFrame(jpeg(640, 480, 100));
    QTRY_COMPARE_WITH_TIMEOUT(saved.size(), 4, kWaitMs);
    QVERIFY(qAbs(canvasShades[3] - 100) <= 8);

    device.pushFrame(jpeg(640, 480, 200));
    QTRY_COMPARE_WITH_TIMEOUT(received.previews, 8, kWaitMs);
    auto *play = bar->findChild<QPushButton *>("pushButtonPlay");
    play->click();
    play->click();
    QVERIFY(bar->camera()->isOpened());
    device.pushFrame(jpeg(640, 480, 80));
    QTRY_VERIFY_WITH_TIMEOUT(!bar->camera()->isOpened(), kWaitMs);
    QVERIFY(qAbs(qRed(received.lastImage.pixel(320, 240)) - 80) <= 8);
    const int previews = received.previews;
    bar->updatePreview(received.lastImage); // on its way when the camera closed
    QCoreApplication::processEvents();
    QCOMPARE(received.previews, previews);
}

void TstLeftBarCamera::controlsReadBackFromDevice_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<quint32>("control");
    QTest::addColumn<bool>("spinBox");
    QTest::newRow("exposure") << "Exposure" << quint32(V4L2_CID_EXPOSURE_ABSOLUTE) << false;
    QTest::newRow("gain") << "Gain" << quint32(V4L2_CID_GAIN) << false;
    QTest::newRow("white balance")
        << "WhiteBalance" << quint32(V4L2_CID_WHITE_BALANCE_TEMPERATURE) << false;
    QTest::newRow("brightness") << "Brightness" << quint32(V4L2_CID_BRIGHTNESS) << true;
    QTest::newRow("contrast") << "Contrast" << quint32(V4L2_CID_CONTRAST) << true;
    QTest::newRow("saturation") << "Saturation" << quint32(V4L2_CID_SATURATION) << true;
    QTest::newRow("hue") << "Hue" << quint32(V4L2_CID_HUE) << true;
    QTest::newRow("gamma") << "Gamma" << quint32(V4L2_CID_GAMMA) << true;
    QTest::newRow("sharpness") << "Sharpness" << quint32(V4L2_CID_SHARPNESS) << true;
}

void TstLeftBarCamera::controlsReadBackFromDevice()
{
    QFETCH(QString, key);
    QFETCH(quint32, control);
    QFETCH(bool, spinBox);
    ScriptedV4l2Device &device = *m_device;
    auto bar = barOn(device);
    QVERIFY(start(bar.get()));
    for (const char *name : {"checkBoxAutoExposure", "checkBoxAutoWhiteBalance"})
        if (checkBox(bar.get(), name)->isChecked())
            checkBox(bar.get(), name)->click();
    QSlider *s = slider(bar.get(), key);
    QVERIFY(s->isEnabled());
    const int before = s->value();

    // Up by one step through the spin box or the slider, as the user's keys would.
    if (spinBox) {
        QSpinBox *box = bar->findChild<QSpinBox *>("spinBox" + key);
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(box->value(), before + 1);
    } else {
        QTest::keyClick(s, Qt::Key_Right);
    }
    QCOMPARE(s->value(), before + 1);
    const long expected =
        key == "Exposure" ? std::lround(std::pow(2.0, before + 1) / 100e-6) : long(before + 1);
    QCOMPARE(device.controlValue(control), expected);

    // The reset writes the default back.
    const int def = s->property("defaultValue").toInt();
    const char *reset = key == "Exposure"       ? "pushButtonExposureDefault"
                        : key == "Gain"         ? "pushButtonGainDefault"
                        : key == "WhiteBalance" ? "pushButtonWBDefault"
                                                : "pushButtonColorDefault";
    button(bar.get(), reset)->click();
    QCOMPARE(s->value(), def);
    const long expectedDefault =
        key == "Exposure" ? std::lround(std::pow(2.0, def) / 100e-6) : long(def);
    QCOMPARE(device.controlValue(control), expectedDefault);
}

void TstLeftBarCamera::autoModesOneKeyWhiteBalanceAndMirror()
{
    ScriptedV4l2Device &device = *m_device;
    auto bar = barOn(device);
    QVERIFY(start(bar.get()));
    QCheckBox *autoExposure = checkBox(bar.get(), "checkBoxAutoExposure");
    QCheckBox *autoWb = checkBox(bar.get(), "checkBoxAutoWhiteBalance");
    QSlider *exposure = slider(bar.get(), "Exposure");
    QSlider *gain = slider(bar.get(), "Gain");
    QSlider *wb = slider(bar.get(), "WhiteBalance");

    // Offered by the device: checked, switched on, the sliders greyed.
    QVERIFY(autoExposure->isEnabled() && autoExposure->isChecked());
    QVERIFY(autoWb->isEnabled() && autoWb->isChecked());
    QCOMPARE(device.controlValue(V4L2_CID_EXPOSURE_AUTO), long(V4L2_EXPOSURE_APERTURE_PRIORITY));
    QCOMPARE(device.controlValue(V4L2_CID_AUTO_WHITE_BALANCE), 1L);
    QVERIFY(!exposure->isEnabled() && !wb->isEnabled());
    QVERIFY(exposure->styleSheet().contains("#9a9a9a"));

    // The polls show what the automatic modes choose.
    device.setControl(V4L2_CID_EXPOSURE_ABSOLUTE, {1, 5000, 1, 157, 1250, {}}); // 2^-3 s
    device.setControl(V4L2_CID_GAIN, {0, 100, 1, 0, 37, {}});
    device.setControl(V4L2_CID_WHITE_BALANCE_TEMPERATURE, {2800, 6500, 1, 4600, 5100, {}});
    QTRY_COMPARE_WITH_TIMEOUT(exposure->value(), -3, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(gain->value(), 37, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(wb->value(), 5100, kWaitMs);
    QCOMPARE(bar->findChild<QLabel *>("labelExposureValue")->text(),
             QStringLiteral("-3 (125.0000 ms)"));

    // Off again: manual control at the value found, the polls stopped.
    autoExposure->click();
    autoWb->click();
    QCOMPARE(device.controlValue(V4L2_CID_EXPOSURE_AUTO), long(V4L2_EXPOSURE_MANUAL));
    QCOMPARE(device.controlValue(V4L2_CID_AUTO_WHITE_BALANCE), 0L);
    QVERIFY(exposure->isEnabled() && wb->isEnabled());
    QVERIFY(exposure->styleSheet().isEmpty());
    QVERIFY(!bar->findChild<QTimer *>("exposurePoll")->isActive());
    QVERIFY(!bar->findChild<QTimer *>("whiteBalancePoll")->isActive());
    QCOMPARE(bar->findChild<QLabel *>("labelExposureValue")->text(),
             QStringLiteral("-3 (125.00 ms)"));

    // One-key white balance takes over from the automatic mode until it is switched off.
    autoWb->click();
    QPushButton *oneKey = button(bar.get(), "pushButtonOneKeyWB");
    oneKey->click();
    QCOMPARE(device.controlValue(V4L2_CID_DO_WHITE_BALANCE), 1L);
    QVERIFY(bar->camera()->oneKeyWhiteBalanceActive());
    QCOMPARE(oneKey->text(), QStringLiteral("关闭一键白平衡"));
    QVERIFY(!autoWb->isChecked() && !wb->isEnabled());
    oneKey->click();
    QVERIFY(!bar->camera()->oneKeyWhiteBalanceActive());
    QCOMPARE(oneKey->text(), QStringLiteral("一键白平衡"));
    QVERIFY(wb->isEnabled());

    // Mirror and flip: toggles that show their state.
    QPushButton *mirror = button(bar.get(), "pushButtonMirror");
    mirror->click();
    button(bar.get(), "pushButtonFlip")->click();
    QVERIFY(bar->camera()->mirrorHorizontal() && bar->camera()->mirrorVertical());
    QVERIFY(mirror->styleSheet().contains("#4CAF50"));
    mirror->click();
    QVERIFY(!bar->camera()->mirrorHorizontal());
    QVERIFY(mirror->styleSheet().isEmpty());

    // A device without automatic modes offers none; mirroring waits for an open camera.
    ScriptedV4l2Device plain;
    smallModes(plain);
    plain.removeControl(V4L2_CID_EXPOSURE_AUTO);
    plain.removeControl(V4L2_CID_AUTO_WHITE_BALANCE);
    auto plainBar = barOn(plain);
    QVERIFY(!button(plainBar.get(), "pushButtonMirror")->isEnabled());
    QVERIFY(start(plainBar.get()));
    QVERIFY(!checkBox(plainBar.get(), "checkBoxAutoExposure")->isEnabled());
    QVERIFY(slider(plainBar.get(), "Exposure")->isEnabled());
}

void TstLeftBarCamera::startSettings()
{
    ScriptedV4l2Device &device = *m_device;
    device.setControl(V4L2_CID_BRIGHTNESS, {-64, 64, 1, 0, 20, {}});
    device.setControl(V4L2_CID_SHARPNESS, {0, 6, 1, 2, 5, {}});
    QSettings().setValue(SettingsKeys::kResetVideoParams, true);
    QSettings().setValue(SettingsKeys::kColorMode, 1);
    auto bar = barOn(device);
    QVERIFY(start(bar.get()));

    // Reset to the defaults, the automatic modes off, the key cleared.
    QCOMPARE(slider(bar.get(), "Brightness")->value(), 0);
    QCOMPARE(device.controlValue(V4L2_CID_BRIGHTNESS), 0L);
    QCOMPARE(device.controlValue(V4L2_CID_SHARPNESS), 2L);
    QVERIFY(!checkBox(bar.get(), "checkBoxAutoExposure")->isChecked());
    QCOMPARE(device.controlValue(V4L2_CID_EXPOSURE_AUTO), long(V4L2_EXPOSURE_MANUAL));
    QCOMPARE(QSettings().value(SettingsKeys::kResetVideoParams).toBool(), false);

    // The stored colour mode: black and white.
    QComboBox *colour = combo(bar.get(), "comboBoxColorMode");
    QCOMPARE(colour->currentIndex(), 1);
    QCOMPARE(device.controlValue(V4L2_CID_COLORFX), long(V4L2_COLORFX_BW));
    QVERIFY(!bar->camera()->colourEnabled());
    activate(colour, QStringLiteral("彩色"));
    QCOMPARE(QSettings().value(SettingsKeys::kColorMode).toInt(), 0);
    QCOMPARE(device.controlValue(V4L2_CID_COLORFX), long(V4L2_COLORFX_NONE));
}

void TstLeftBarCamera::modeListsFollowDevice()
{
    ScriptedV4l2Device &device = *m_device;
    auto bar = barOn(device);
    QComboBox *resolutions = combo(bar.get(), "comboBoxResolution");
    QComboBox *formats = combo(bar.get(), "comboBoxFormat");
    QVERIFY(!resolutions->isEnabled());
    QVERIFY(start(bar.get()));
    QCOMPARE(entries(resolutions), QStringList({"640 x 480", "320 x 240"}));
    QCOMPARE(entries(formats), QStringList({"MJPG", "YUY2"}));
    QCOMPARE(resolutions->currentText(), QStringLiteral("640 x 480"));
    QCOMPARE(formats->currentText(), QStringLiteral("MJPG"));

    activate(resolutions, "320 x 240");
    QCOMPARE(device.currentWidth(), 320);
    QCOMPARE(resolutions->currentText(), QStringLiteral("320 x 240"));
    activate(formats, "YUY2");
    QCOMPARE(device.currentFourcc(), kFourccYuyv);
    QCOMPARE(formats->currentText(), QStringLiteral("YUY2"));
    QCOMPARE(resolutions->currentText(), QStringLiteral("320 x 240"));

    // Locked while a recording runs: the camera is not reopened under it.
    QTemporaryDir dir;
    device.pushFrame(QByteArray(320 * 240 * 2, char(80)));
    QVERIFY(device.waitUntilDelivered(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(!bar->lastFrame().isNull(), kWaitMs);
    QVERIFY(bar->beginRecording(dir.filePath("locked.mp4")));
    QVERIFY(!resolutions->isEnabled() && !formats->isEnabled());
    QVERIFY(bar->camera()->fullRate());
    bar->endRecording();
    QVERIFY(resolutions->isEnabled() && formats->isEnabled());
    QVERIFY(!bar->camera()->fullRate());
}

void TstLeftBarCamera::unsupportedStreamOneBoxAndClosed()
{
    ScriptedV4l2Device &device = *m_device;
    device.clearFormats();
    device.addFormat(fourcc('G', 'R', 'E', 'Y'), {{640, 480, {30}}});
    auto bar = barOn(device);
    MessageBoxAnswerer answerer;
    QVERIFY(start(bar.get()));
    activate(combo(bar.get(), "comboBoxResolution"), "640 x 480"); // the "其他" match
    QCOMPARE(device.currentFourcc(), fourcc('G', 'R', 'E', 'Y'));
    for (int i = 0; i < 5; ++i)
        device.pushFrame(QByteArray(640 * 480, char(90)));
    QVERIFY(device.waitUntilDelivered(kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(answerer.count(), 1, kWaitMs);
    QCoreApplication::processEvents();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.titles().first(), QStringLiteral("相机错误"));
    QCOMPARE(answerer.texts().first(), QStringLiteral("不支持当前摄像头的视频格式"));
    QVERIFY(!bar->camera()->isOpened());
    QCOMPARE(button(bar.get(), "pushButtonPlay")->property("state").toString(),
             QStringLiteral("play"));
}

void TstLeftBarCamera::openFailureOneBox()
{
    ScriptedV4l2Device &device = *m_device;
    auto bar = barOn(device);
    device.failOpen(EBUSY);
    MessageBoxAnswerer answerer;
    QSignalSpy errors(bar.get(), &LeftBarWidget::error);
    QVERIFY(!bar->startCamera());
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.titles().first(), QStringLiteral("错误"));
    QVERIFY(answerer.texts().first().startsWith(QStringLiteral("相机初始化失败!\n")));
    QVERIFY(answerer.texts().first().contains(QStringLiteral("占用")));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(button(bar.get(), "pushButtonPlay")->property("state").toString(),
             QStringLiteral("play"));

    // A reopen for another size that fails: one box, the camera closed.
    device.failOpen(0);
    QVERIFY(start(bar.get()));
    device.failStreamOn(EIO);
    activate(combo(bar.get(), "comboBoxResolution"), "320 x 240");
    QTRY_COMPARE_WITH_TIMEOUT(answerer.count(), 2, kWaitMs);
    QCOMPARE(answerer.titles().last(), QStringLiteral("相机错误"));
    QVERIFY(!bar->camera()->isOpened());
    QCOMPARE(button(bar.get(), "pushButtonPlay")->property("state").toString(),
             QStringLiteral("play"));
    QVERIFY(!combo(bar.get(), "comboBoxResolution")->isEnabled());
}

void TstLeftBarCamera::languageSwitchKeepsState()
{
    ScriptedV4l2Device &device = *m_device;
    auto bar = barOn(device);
    QVERIFY(start(bar.get()));
    activate(combo(bar.get(), "comboBoxColorMode"), QStringLiteral("黑白"));
    LeftBarWidget demoBar(std::make_unique<DemoCameraBackend>());
    demoBar.refreshCameraList();
    QCOMPARE(combo(&demoBar, "cbCameras")->currentText(), QStringLiteral("演示相机"));
    QTranslator english;
    QVERIFY(english.load(QStringLiteral(":/translations/quorix_en.qm")));
    QCoreApplication::installTranslator(&english); // posts the language-change events
    QTRY_COMPARE_WITH_TIMEOUT(button(bar.get(), "pushButtonPlay")->text(),
                              QStringLiteral("Close Camera"), kWaitMs);
    QCOMPARE(bar->findChild<QToolButton *>("toolButtonExposure")->text(),
             QStringLiteral("Exposure && Gain"));
    QCOMPARE(combo(bar.get(), "comboBoxColorMode")->currentText(),
             QStringLiteral("Black and White"));
    QTRY_COMPARE_WITH_TIMEOUT(combo(&demoBar, "cbCameras")->currentText(),
                              QStringLiteral("Demo Camera"), kWaitMs);
    QCoreApplication::removeTranslator(&english);
    QTRY_COMPARE_WITH_TIMEOUT(button(bar.get(), "pushButtonPlay")->text(),
                              QStringLiteral("关闭相机"), kWaitMs);
}

void TstLeftBarCamera::unplugWhileRecordingFinishesFile()
{
    ScriptedV4l2Device &device = *m_device;
    auto bar = barOn(device);
    Received received(bar.get());
    QVERIFY(start(bar.get()));
    device.pushFrame(jpeg(640, 480, 0));
    QVERIFY(device.waitUntilDelivered(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(!bar->lastFrame().isNull(), kWaitMs);
    bar->applyFrameRate(100); // 10 fps measured

    QTemporaryDir dir;
    const QString path = dir.filePath("unplugged.mp4");
    QVERIFY(bar->beginRecording(path));
    QCOMPARE(received.recordingOn, 1);
    QCOMPARE(bar->findChild<QToolButton *>("toolButtonVideotape")->text(),
             QStringLiteral("停止录像"));
    const int before = received.images;
    for (int i = 1; i <= 20; ++i) {
        device.pushFrame(jpeg(640, 480, i * 10));
        QVERIFY(device.waitUntilDelivered(kWaitMs));
    }
    QTRY_VERIFY_WITH_TIMEOUT(received.images > before,
                             kWaitMs); // full frames reach the canvas while recording

    device.unplug();
    bar->handleDeviceChange();
    QVERIFY(!bar->isRecording());
    QVERIFY(!bar->recorder()->isRecording());
    QVERIFY(!bar->camera()->isOpened());
    QVERIFY(!bar->camera()->fullRate());
    QCOMPARE(received.recordingOff, 1);
    QCOMPARE(bar->findChild<QToolButton *>("toolButtonVideotape")->text(), QStringLiteral("录像"));

    // An independent reader finds a finished, playable file.
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-count_frames",
                            "-show_entries", "stream=codec_name,pix_fmt,width,nb_read_frames",
                            "-of", "default=noprint_wrappers=1", path});
    QVERIFY(probe.waitForFinished(60000));
    QCOMPARE(probe.exitCode(), 0);
    const QString out = QString::fromUtf8(probe.readAllStandardOutput());
    QVERIFY2(out.contains("codec_name=h264") && out.contains("pix_fmt=yuv420p") &&
                 out.contains("width=640"),
             qPrintable(out));
    const int frames = out.section("nb_read_frames=", 1).trimmed().toInt();
    QVERIFY2(frames >= 1, qPrintable(out));
}

void TstLeftBarCamera::destructionWhileFramesFlow()
{
    // The decoding thread calls the bar directly; destroying the bar must neither deadlock nor
    // leave that thread running into freed members.
    ScriptedV4l2Device &device = *m_device;
    auto bar = barOn(device);
    QVERIFY(start(bar.get()));
    for (int i = 0; i < 20; ++i)
        device.pushFrame(jpeg(640, 480, i));
    bar.reset();
    QCOMPARE(device.openHandles(), 0);
    QVERIFY(!device.streaming());
}

QTEST_MAIN(TstLeftBarCamera)
#include "tst_leftbar_camera.moc"
