// Tests of Camera on the scripted V4L2 device: format choice, errors, the capture callback's
// checks and queues, streaming, unplugging and the picture properties.
#include <QtTest>

#include "LogCapture.h"
#include "TestEnv.h"
#include "camera/Camera.h"
#include "camera/CameraClock.h"
#include "camera/FrameConversion.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/V4l2CaptureBackend.h"
#include "settings/SettingsKeys.h"

#include <QSettings>

#include <linux/videodev2.h>

using namespace FrameConversion;
using Size = ScriptedV4l2Device::Size;

namespace {

// Queued packets stay in the queues, where the tests look at them.
std::unique_ptr<Camera> cameraOn(ScriptedV4l2Device &device)
{
    auto camera = std::make_unique<Camera>(std::make_unique<V4l2CaptureBackend>(device.io()));
    camera->setDecodingHeld(true);
    return camera;
}

QByteArray packet(const QByteArray &head, int size, char fill = 'x')
{
    return head + QByteArray(std::max(0, size - int(head.size())), fill);
}

QList<qlonglong> numbers(const QList<QVariant> &arguments)
{
    QList<qlonglong> values;
    for (const QVariant &v : arguments)
        values << v.toLongLong();
    return values;
}

QByteArray jpegPacket(int size)
{
    return packet(QByteArray("\xFF\xD8", 2), size);
}

} // namespace

class TstCamera : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void formatChoice_data();
    void formatChoice();
    void openErrors_data();
    void openErrors();
    void callbackAcceptance_data();
    void callbackAcceptance();
    void queueEvictsOldest_data();
    void queueEvictsOldest();
    void yuy2StreamBecomesPictures();
    void unsupportedFormatReportsError();
    void cameraRateLog_data();
    void cameraRateLog();
    void unplugEndsStreamQuietly();
    void listingAndPropertyRangesOnOpen();
    void propertyWritesReadBack();
    void missingControlsFallBack();
};

void TstCamera::initTestCase()
{
    TestEnv::isolate();
    LogCapture::install();
}

void TstCamera::init()
{
    LogCapture::clear();
}

void TstCamera::formatChoice_data()
{
    QTest::addColumn<QString>("modes"); // empty = the stock microscope
    QTest::addColumn<QSize>("target");
    QTest::addColumn<QString>("preferred");
    QTest::addColumn<QString>("choice"); // the "选择格式:" label, empty = nothing chosen
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<QSize>("size");

    QTest::newRow("MJPG listed before H.264 of equal size")
        << "mjpg,h264" << QSize() << QString() << "MJPG(默认)" << kFourccMjpg << QSize(1920, 1080);
    QTest::newRow("H.264 listed before MJPG of equal size")
        << "h264,mjpg" << QSize() << QString() << "H264(默认)" << kFourccH264 << QSize(1920, 1080);
    QTest::newRow("target picks the faster of two MJPG modes")
        << "mjpg15,mjpg30" << QSize(1280, 720) << QString() << "MJPG" << kFourccJpeg
        << QSize(1280, 720);
    QTest::newRow("largest mode without target")
        << QString() << QSize() << QString() << "MJPG(默认)" << kFourccMjpg << QSize(3840, 2160);
    QTest::newRow("H.264 match wins over MJPG match")
        << QString() << QSize(1280, 720) << QString() << "H264" << kFourccH264 << QSize(1280, 720);
    QTest::newRow("preferred YUY2 at target") << QString() << QSize(640, 480) << "YUY2"
                                              << "YUY2" << kFourccYuyv << QSize(640, 480);
    QTest::newRow("preferred YUY2 on a camera without YUY2 keeps the current format")
        << "mjpg,h264" << QSize() << "YUY2" << QString() << kFourccMjpg << QSize(1920, 1080);
    QTest::newRow("stepwise sizes offer the common sizes inside")
        << "stepwise" << QSize(1280, 720) << QString() << "YUY2" << kFourccYuyv << QSize(1280, 720);
    QTest::newRow("stepwise sizes without target")
        << "stepwise" << QSize() << QString() << "YUY2(默认)" << kFourccYuyv << QSize(1920, 1080);
    QTest::newRow("unmatched target falls back to the defaults")
        << "yuy2" << QSize(800, 600) << QString() << "YUY2(默认)" << kFourccYuyv
        << QSize(1280, 720);
}

void TstCamera::formatChoice()
{
    QFETCH(QString, modes);
    QFETCH(QSize, target);
    QFETCH(QString, preferred);
    QFETCH(QString, choice);
    QFETCH(quint32, fourcc);
    QFETCH(QSize, size);

    ScriptedV4l2Device device;
    const Size hd{1920, 1080, {30}};
    const QMap<QString, QList<QPair<quint32, Size>>> lists{
        {QStringLiteral("mjpg,h264"), {{kFourccMjpg, hd}, {kFourccH264, hd}}},
        {QStringLiteral("h264,mjpg"), {{kFourccH264, hd}, {kFourccMjpg, hd}}},
        {QStringLiteral("mjpg15,mjpg30"),
         {{kFourccMjpg, {1280, 720, {15}}}, {kFourccJpeg, {1280, 720, {30, 15}}}}},
        {QStringLiteral("yuy2"),
         {{kFourccYuyv, {640, 480, {30}}}, {kFourccYuyv, {1280, 720, {10}}}}},
    };
    if (modes == QLatin1String("stepwise")) {
        device.clearFormats();
        device.addStepwiseFormat(kFourccYuyv, 160, 1920, 16, 120, 1080, 8, 15);
    } else if (!modes.isEmpty()) {
        device.clearFormats();
        QList<quint32> order; // sizes of one fourcc form one format
        QMap<quint32, QList<Size>> sizes;
        for (const auto &m : lists.value(modes)) {
            if (!order.contains(m.first))
                order << m.first;
            sizes[m.first] << m.second;
        }
        for (quint32 code : order)
            device.addFormat(code, sizes.value(code));
    }
    auto camera = cameraOn(device);
    QSignalSpy formats(camera.get(), &Camera::formatChanged);
    QSignalSpy errors(camera.get(), &Camera::error);
    QSignalSpy resolutions(camera.get(), &Camera::resolutionChanged);
    if (!preferred.isEmpty())
        QVERIFY(camera->setFormat(preferred)); // not open: only remembered
    if (target.isValid())
        QVERIFY(camera->setResolution(target.width(), target.height()));
    else
        QVERIFY(camera->open(0));

    QVERIFY(camera->isOpened());
    QCOMPARE(errors.count(), 0);
    QCOMPARE(resolutions.count(), target.isValid() ? 1 : 0);
    if (target.isValid())
        QCOMPARE(resolutions.first().first().toSize(), size);
    QCOMPARE(device.currentFourcc(), fourcc);
    QCOMPARE(QSize(device.currentWidth(), device.currentHeight()), size);
    QCOMPARE(camera->resolution(), size);
    QCOMPARE(camera->formatName(), subtypeName(fourcc));
    if (choice.isEmpty()) {
        QCOMPARE(formats.count(), 0);
        QCOMPARE(LogCapture::count(QStringLiteral("选择格式:")), 0);
    } else {
        QCOMPARE(formats.count(), 1);
        QCOMPARE(formats.first().first().toString(), subtypeName(fourcc));
        QCOMPARE(LogCapture::count(QStringLiteral("选择格式: %1 %2x%3")
                                       .arg(choice)
                                       .arg(size.width())
                                       .arg(size.height())),
                 1);
        // The stream is asked for 30 frames per second.
        QCOMPARE(device.requestedInterval(), qMakePair(quint32(333333), quint32(10000000)));
    }
    QCOMPARE(LogCapture::count(QStringLiteral("相机支持的格式数量:")), 1);
}

void TstCamera::openErrors_data()
{
    QTest::addColumn<int>("openErrno");
    QTest::addColumn<int>("streamOnErrno");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("message");
    QTest::newRow("busy at open") << EBUSY << 0 << 0
                                  << "摄像头被其他程序占用，请关闭占用程序后重试";
    QTest::newRow("gone at open") << ENOENT << 0 << 0 << "未检测到摄像头设备，请检查连接";
    QTest::newRow("no access")
        << EACCES << 0 << 0
        << "相机被其他程序占用或无法访问，请检查相机连接并关闭其他使用此相机的程序";
    QTest::newRow("other open failure") << EIO << 0 << 0 << "摄像头初始化失败，请尝试重新连接设备";
    QTest::newRow("busy at stream start")
        << 0 << EBUSY << 0 << "相机被其他程序占用，请关闭其他使用此相机的程序后重试";
    QTest::newRow("stream start fails") << 0 << EIO << 0 << "摄像头启动失败，请检查设备状态";
    QTest::newRow("index equal to the device count")
        << 0 << 0 << 1 << "未检测到摄像头设备，请检查连接";
    QTest::newRow("negative index") << 0 << 0 << -1 << "未检测到摄像头设备，请检查连接";
}

void TstCamera::openErrors()
{
    QFETCH(int, openErrno);
    QFETCH(int, streamOnErrno);
    QFETCH(int, index);
    QFETCH(QString, message);
    ScriptedV4l2Device device;
    device.failOpen(openErrno, 1); // listed first, then fails to open
    device.failStreamOn(streamOnErrno);
    auto camera = cameraOn(device);
    QSignalSpy errors(camera.get(), &Camera::error);
    QVERIFY(!camera->open(index));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(), message);
    QVERIFY(!camera->isOpened());
    QVERIFY(!device.streaming());
    QCOMPARE(device.openHandles(), 0); // nothing is left open after a failure
}

void TstCamera::callbackAcceptance_data()
{
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<bool>("queued");
    const QByteArray start4("\0\0\0\1", 4), start3("\0\0\1", 3);
    QTest::newRow("MJPG of 129 bytes") << kFourccMjpg << jpegPacket(129) << true;
    QTest::newRow("MJPG of 128 bytes") << kFourccMjpg << jpegPacket(128) << false;
    QTest::newRow("MJPG without SOI") << kFourccMjpg << packet("\xFF\xD9", 400) << false;
    QTest::newRow("H.264 of 20 bytes with start code") << kFourccH264 << packet(start4, 20) << true;
    QTest::newRow("H.264 of 8 bytes") << kFourccH264 << packet(start4, 8) << false;
    QTest::newRow("H.264 start code at byte 12")
        << kFourccH264 << packet(QByteArray(12, 'z') + start3, 30) << true;
    QTest::newRow("H.264 start code beyond byte 16")
        << kFourccH264 << packet(QByteArray(17, 'z') + start3, 40) << false;
    QTest::newRow("HEVC with length prefix of 12 bytes")
        << kFourccHevc << packet(QByteArray("\0\0\0\x08", 4), 12) << true;
    QTest::newRow("H.264 prefix below 2")
        << kFourccH264 << packet(QByteArray("\0\0\0\x01", 4), 12) << false;
}

void TstCamera::callbackAcceptance()
{
    QFETCH(quint32, fourcc);
    QFETCH(QByteArray, buffer);
    QFETCH(bool, queued);
    ScriptedV4l2Device device;
    device.clearFormats();
    device.addFormat(fourcc, {{1280, 720, {30}}});
    auto camera = cameraOn(device);
    QVERIFY(camera->open(0));
    QSignalSpy errors(camera.get(), &Camera::error);
    const auto *data = reinterpret_cast<const uchar *>(buffer.constData());
    QCOMPARE(camera->deliverBuffer(0, data, buffer.size()), Camera::BufferResult::Ok);
    const int waiting = camera->mjpgQueueSize() + camera->h26xQueueSize();
    QCOMPARE(waiting, queued ? 1 : 0);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(camera->deliverBuffer(0, nullptr, 10), Camera::BufferResult::NullBuffer);
}

void TstCamera::queueEvictsOldest_data()
{
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("warning"); // logged once, at the first overflow
    QTest::newRow("MJPG") << kFourccMjpg << QByteArray("\xFF\xD8", 2)
                          << int(Camera::kMjpgQueueLimit) << QString();
    QTest::newRow("H.264") << kFourccH264 << QByteArray("\0\0\0\1", 4)
                           << int(Camera::kH26xQueueLimit)
                           << QStringLiteral("H264 帧队列溢出，丢弃最旧帧（解码速度跟不上相机）");
}

void TstCamera::queueEvictsOldest()
{
    QFETCH(quint32, fourcc);
    QFETCH(QByteArray, head);
    QFETCH(int, limit);
    QFETCH(QString, warning);
    ScriptedV4l2Device device;
    device.clearFormats();
    device.addFormat(fourcc, {{1920, 1080, {30}}});
    auto camera = cameraOn(device);
    QVERIFY(camera->open(0));
    const bool mjpg = fourcc == kFourccMjpg;
    const auto waiting = [&] { return mjpg ? camera->mjpgQueueSize() : camera->h26xQueueSize(); };
    for (int i = 0; i < limit + 2; ++i) {
        const QByteArray p = packet(head + QByteArray::number(i) + ':', 200);
        camera->deliverBuffer(i, reinterpret_cast<const uchar *>(p.constData()), p.size());
        if (i == limit - 1 && !warning.isEmpty())
            QCOMPARE(LogCapture::count(warning), 0);
    }
    QCOMPARE(waiting(), limit);
    if (!warning.isEmpty())
        QCOMPARE(LogCapture::count(warning), 1);
    QByteArray first;
    QVERIFY(mjpg ? camera->takeMjpgPacket(&first) : camera->takeH26xPacket(&first));
    QVERIFY(first.startsWith(head + "2:")); // packets 0 and 1 were dropped
    camera->close();
    QCOMPARE(waiting(), 0);
}

void TstCamera::yuy2StreamBecomesPictures()
{
    ScriptedV4l2Device device;
    auto camera = cameraOn(device);
    QVERIFY(camera->setFormat(QStringLiteral("YUY2")));
    QVERIFY(camera->setResolution(640, 480));
    QCOMPARE(camera->formatName(), QStringLiteral("YUY2"));
    QSignalSpy frames(camera.get(), &Camera::frameReady);
    QSignalSpy previews(camera.get(), &Camera::previewReady);

    // Left half white, right half black.
    QByteArray frame;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; x += 2) {
            const char luma = x < 320 ? char(235) : char(16);
            frame.append(luma).append(char(128)).append(luma).append(char(128));
        }
    device.pushFrame(frame);
    QVERIFY(device.waitUntilDelivered(300000));
    camera->setMirrorHorizontal(true);
    device.pushFrame(frame);
    QVERIFY(device.waitUntilDelivered(300000));
    device.pushFrame(frame.left(1000)); // short buffer: dropped, never read past its end
    QVERIFY(device.waitUntilDelivered(300000));

    QCOMPARE(frames.count(), 2);
    QCOMPARE(previews.count(), 0); // uncompressed streams give no preview image
    const QImage plain = frames.at(0).first().value<QImage>();
    const QImage mirrored = frames.at(1).first().value<QImage>();
    QCOMPARE(plain.size(), QSize(640, 480));
    QCOMPARE(plain.pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(plain.pixel(639, 479), qRgb(0, 0, 0));
    QCOMPARE(mirrored.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(LogCapture::count(QStringLiteral("创建有效图像失败")), 1);
}

void TstCamera::unsupportedFormatReportsError()
{
    ScriptedV4l2Device device;
    device.clearFormats();
    device.addFormat(fourcc('G', 'R', 'E', 'Y'), {{640, 480, {30}}});
    auto camera = cameraOn(device);
    QVERIFY(camera->setResolution(640, 480)); // chosen as the "其他" match
    QCOMPARE(LogCapture::count(QStringLiteral("选择格式: 其他 640x480")), 1);
    QSignalSpy errors(camera.get(), &Camera::error);
    for (int i = 0; i < 4; ++i)
        device.pushFrame(QByteArray(640 * 480, char(90)));
    QVERIFY(device.waitUntilDelivered(300000));
    camera->close();             // no callback runs after this
    QCOMPARE(errors.count(), 1); // once per stream
    QCOMPARE(errors.first().first().toString(), QStringLiteral("不支持当前摄像头的视频格式"));
    QCOMPARE(LogCapture::count(QStringLiteral("不支持的格式: GREY")), 1);
    QVERIFY(camera->open(0)); // the next stream reports again
    device.pushFrame(QByteArray(640 * 480, char(90)));
    QVERIFY(device.waitUntilDelivered(300000));
    camera->close();
    QCOMPARE(errors.count(), 2);
}

void TstCamera::cameraRateLog_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::newRow("debug/fpsLog on") << true;
    QTest::newRow("debug/fpsLog off") << false;
}

void TstCamera::cameraRateLog()
{
    QFETCH(bool, enabled);
    QSettings().setValue(SettingsKeys::kFpsLog, enabled);
    // The camera reads the test's clock, which moves 40 ms per frame: 1.2 s, one rate period
    // and a bit, whatever the speed of the machine.
    static std::atomic<qint64> now{1000000000};
    CameraClock::setSource([]() -> qint64 { return now; });
    ScriptedV4l2Device device;
    auto camera = cameraOn(device);
    QVERIFY(camera->open(0));
    for (int i = 0; i <= 30; ++i) {
        device.pushFrame(jpegPacket(300));
        QVERIFY(device.waitUntilDelivered(20000));
        now += 40000;
    }
    camera->close();
    CameraClock::setSource(nullptr);
    QCOMPARE(LogCapture::count(QStringLiteral("[CAMFPS] 相机投递帧率: ")), enabled ? 1 : 0);
    if (enabled)
        QCOMPARE(
            LogCapture::count(QStringLiteral("[CAMFPS] 相机投递帧率: 26.0 fps (26 帧/1000 ms)")),
            1);
    QSettings().remove(SettingsKeys::kFpsLog);
}

void TstCamera::unplugEndsStreamQuietly()
{
    ScriptedV4l2Device device;
    auto camera = cameraOn(device);
    QVERIFY(camera->open(0));
    QSignalSpy errors(camera.get(), &Camera::error);
    for (int i = 0; i < 5; ++i)
        device.pushFrame(jpegPacket(4000));
    QVERIFY(device.waitUntilDelivered(300000));
    QCOMPARE(camera->mjpgQueueSize(), 5);
    device.unplug();
    QTRY_COMPARE_WITH_TIMEOUT(LogCapture::count(QStringLiteral("视频流结束")), 1, 60000);
    camera->close();
    QVERIFY(!camera->isOpened());
    QCOMPARE(device.openHandles(), 0);
    QCOMPARE(errors.count(), 0);
    // A reopen of the vanished camera reports it missing.
    QVERIFY(!camera->open(0));
    QCOMPARE(errors.last().first().toString(), QStringLiteral("未检测到摄像头设备，请检查连接"));
}

void TstCamera::listingAndPropertyRangesOnOpen()
{
    ScriptedV4l2Device device;
    auto camera = cameraOn(device);
    const QList<CaptureDeviceInfo> list = camera->devices();
    QCOMPARE(list.size(), 1); // /dev/video1 is the metadata node
    QCOMPARE(list.first().name, QStringLiteral("Quorix UVC Microscope"));
    QCOMPARE(list.first().path, QStringLiteral("usb-vid_1bcf&pid_2c99-/dev/video0"));
    QCOMPARE(device.openHandles(), 0);
    QSignalSpy exposure(camera.get(), &Camera::exposureRangeChanged);
    QSignalSpy gain(camera.get(), &Camera::gainRangeChanged);
    QSignalSpy whiteBalance(camera.get(), &Camera::whiteBalanceRangeChanged);
    QSignalSpy sharpness(camera.get(), &Camera::sharpnessRangeChanged);
    QSignalSpy colour(camera.get(), &Camera::colorEnableChanged);
    QSignalSpy powerLine(camera.get(), &Camera::powerlineFrequencyChanged);
    QVERIFY(camera->open(0));
    // 1..5000 units of 100 µs: 2^-14 s .. 2^-1 s; 157 units = 15.7 ms ~ 2^-6 s.
    QCOMPARE(exposure.count(), 1);
    QCOMPARE(numbers(exposure.first()), (QList<qlonglong>{-14, -1, 1, -6, -6}));
    QCOMPARE(numbers(gain.first()), (QList<qlonglong>{0, 100, 1, 0, 0}));
    QCOMPARE(numbers(whiteBalance.first()), (QList<qlonglong>{2800, 6500, 1, 4600, 4600}));
    QCOMPARE(numbers(sharpness.first()), (QList<qlonglong>{0, 6, 1, 2, 2}));
    QCOMPARE(colour.first().first().toLongLong(), 1LL);
    QCOMPARE(powerLine.first().first().toLongLong(), 1LL);
    QCOMPARE(LogCapture::count(QStringLiteral("曝光参数 - 范围: -14 - -1 , 步长: 1 , 当前值: -6")),
             1);
    QVERIFY(camera->supportsAutoExposure());
    QVERIFY(camera->supportsAutoWhiteBalance());
}

void TstCamera::propertyWritesReadBack()
{
    ScriptedV4l2Device device;
    auto camera = cameraOn(device);
    QVERIFY(camera->open(0));

    QVERIFY(camera->setExposure(-8));
    QCOMPARE(device.controlValue(V4L2_CID_EXPOSURE_AUTO), long(V4L2_EXPOSURE_MANUAL));
    QCOMPARE(device.controlValue(V4L2_CID_EXPOSURE_ABSOLUTE), 39L); // 2^-8 s in 100 µs units
    QCOMPARE(camera->exposure(), -8L);
    // Automatic mode writes the default with the automatic flag: aperture priority here.
    QVERIFY(camera->setAutoExposure(true));
    QCOMPARE(device.controlValue(V4L2_CID_EXPOSURE_AUTO), long(V4L2_EXPOSURE_APERTURE_PRIORITY));
    QVERIFY(camera->setAutoExposure(false));
    QCOMPARE(device.controlValue(V4L2_CID_EXPOSURE_AUTO), long(V4L2_EXPOSURE_MANUAL));
    QCOMPARE(camera->exposure(), -8L);

    QVERIFY(camera->setWhiteBalance(3200));
    QCOMPARE(device.controlValue(V4L2_CID_AUTO_WHITE_BALANCE), 0L);
    QCOMPARE(camera->whiteBalance(), 3200L);
    QVERIFY(camera->setAutoWhiteBalance(true));
    QCOMPARE(device.controlValue(V4L2_CID_AUTO_WHITE_BALANCE), 1L);
    // One key: automatic off, the camera measures once and holds; off again is plain manual.
    QVERIFY(!camera->oneKeyWhiteBalanceActive());
    QVERIFY(camera->setOneKeyWhiteBalance(true));
    QCOMPARE(device.controlValue(V4L2_CID_AUTO_WHITE_BALANCE), 0L);
    QCOMPARE(device.controlValue(V4L2_CID_DO_WHITE_BALANCE), 1L);
    QVERIFY(camera->oneKeyWhiteBalanceActive());
    QVERIFY(camera->setOneKeyWhiteBalance(false));
    QVERIFY(!camera->oneKeyWhiteBalanceActive());

    QVERIFY(camera->setGain(40));
    QCOMPARE(camera->gain(), 40L);
    const struct
    {
        bool (Camera::*set)(long);
        quint32 control;
        long value;
    } plain[] = {{&Camera::setBrightness, V4L2_CID_BRIGHTNESS, -20},
                 {&Camera::setContrast, V4L2_CID_CONTRAST, 50},
                 {&Camera::setSaturation, V4L2_CID_SATURATION, 0},
                 {&Camera::setHue, V4L2_CID_HUE, 12},
                 {&Camera::setGamma, V4L2_CID_GAMMA, 220},
                 {&Camera::setSharpness, V4L2_CID_SHARPNESS, 5},
                 {&Camera::setPowerlineFrequency, V4L2_CID_POWER_LINE_FREQUENCY, 2}};
    for (const auto &p : plain) {
        QVERIFY((camera.get()->*p.set)(p.value));
        QCOMPARE(device.controlValue(p.control), p.value);
    }
    QVERIFY(!camera->setPowerlineFrequency(7)); // not in the menu
    QCOMPARE(LogCapture::count(QStringLiteral("设置电力线频率失败: 0x00000016")), 1);

    QVERIFY(camera->setColorEnable(0));
    QCOMPARE(device.controlValue(V4L2_CID_COLORFX), long(V4L2_COLORFX_BW));
    QVERIFY(!camera->colourEnabled());
    QVERIFY(camera->setColorEnable(1));
    QCOMPARE(device.controlValue(V4L2_CID_COLORFX), long(V4L2_COLORFX_NONE));
}

void TstCamera::missingControlsFallBack()
{
    ScriptedV4l2Device device;
    device.removeControl(V4L2_CID_EXPOSURE_ABSOLUTE);
    device.removeControl(V4L2_CID_COLORFX);
    device.removeControl(V4L2_CID_GAIN);
    auto camera = cameraOn(device);
    QSignalSpy exposure(camera.get(), &Camera::exposureRangeChanged);
    QSignalSpy gain(camera.get(), &Camera::gainRangeChanged);
    QSignalSpy brightness(camera.get(), &Camera::brightnessRangeChanged);
    QVERIFY(camera->open(0));
    QCOMPARE(exposure.count(), 0);
    QCOMPARE(gain.count(), 0);
    QCOMPARE(brightness.count(), 1);
    QCOMPARE(LogCapture::count(QStringLiteral("相机不支持 Gain 属性，增益滑块将禁用")), 1);
    QVERIFY(!camera->setExposure(-5));
    QVERIFY(!camera->supportsAutoExposure());
    QCOMPARE(camera->exposure(), 0L);
    QVERIFY(LogCapture::count(QStringLiteral("相机控制接口未初始化")) >= 2);
    // Without the colour effect control the picture still turns grey, in software.
    QVERIFY(camera->setColorEnable(0));
    QVERIFY(!camera->colourEnabled());
    QCOMPARE(LogCapture::count(QStringLiteral("ColorEnable 属性不被此相机支持，使用软件灰度方案")),
             1);
}

QTEST_GUILESS_MAIN(TstCamera)
#include "tst_camera.moc"
