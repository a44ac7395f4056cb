// Tests of the demo camera: when it is listed, every mode streams through Camera, the specimen
// carries a true micrometer scale, and its properties read back and change the picture.
#include <QtTest>

#include "TestEnv.h"
#include "camera/Camera.h"
#include "camera/DemoCameraBackend.h"
#include "camera/FrameConversion.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/SystemCaptureBackend.h"

#include <QMutex>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

using namespace FrameConversion;

namespace {

double meanLuma(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < rgb.height(); y += 4)
        for (int x = 0; x < rgb.width(); x += 4)
            sum += qGray(rgb.pixel(x, y));
    return sum / ((rgb.height() + 3) / 4 * ((rgb.width() + 3) / 4));
}

bool isGrey(const QImage &image)
{
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3) {
            const QRgb p = image.pixel(x, y);
            if (std::abs(qRed(p) - qGreen(p)) > 2 || std::abs(qBlue(p) - qGreen(p)) > 2)
                return false;
        }
    return true;
}

// Collects the pictures Camera emits on the demo camera's thread.
class FrameSink
{
public:
    explicit FrameSink(Camera *camera)
    {
        QObject::connect(camera, &Camera::frameReady, [this](const QImage &frame) {
            QMutexLocker lock(&m_lock);
            m_last = frame;
            ++m_count;
        });
    }
    QImage last() const
    {
        QMutexLocker lock(&m_lock);
        return m_last;
    }
    int count() const
    {
        QMutexLocker lock(&m_lock);
        return m_count;
    }

private:
    mutable QMutex m_lock; // guards m_last and m_count
    QImage m_last;
    int m_count = 0;
};

// Decodes Annex B packets in order; returns the pictures made and their last size.
int decodeH264(const QList<QByteArray> &packets, QSize *size)
{
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext *context = avcodec_alloc_context3(codec);
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    int pictures = 0;
    if (avcodec_open2(context, codec, nullptr) == 0) {
        auto drain = [&] {
            while (avcodec_receive_frame(context, frame) == 0) {
                ++pictures;
                *size = QSize(frame->width, frame->height);
            }
        };
        for (const QByteArray &data : packets) {
            av_new_packet(packet, int(data.size()));
            std::memcpy(packet->data, data.constData(), size_t(data.size()));
            if (avcodec_send_packet(context, packet) < 0)
                pictures = -1000; // a broken stream fails the count
            av_packet_unref(packet);
            drain();
        }
        avcodec_send_packet(context, nullptr);
        drain();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return pictures;
}

// Queued packets stay in the queues, where the tests look at them.
std::unique_ptr<Camera> demoCamera()
{
    auto camera = std::make_unique<Camera>(std::make_unique<DemoCameraBackend>());
    camera->setDecodingHeld(true);
    return camera;
}

// The demo camera passing on only the first `limit` buffers of each stream start, so that what
// a test finds in the camera's queues does not depend on how soon it looks.
class GatedDemoBackend : public CaptureBackend
{
public:
    explicit GatedDemoBackend(int limit)
        : m_limit(limit)
    {}
    QList<CaptureDeviceInfo> devices() override { return m_demo.devices(); }
    int open(int index) override { return m_demo.open(index); }
    void close() override { m_demo.close(); }
    int modes(QList<CaptureMode> *modes) override { return m_demo.modes(modes); }
    int setMode(const CaptureMode &mode) override { return m_demo.setMode(mode); }
    int currentMode(CaptureMode *mode) override { return m_demo.currentMode(mode); }
    int start(BufferCallback callback) override
    {
        m_passed = 0;
        return m_demo.start([this, callback](double time, const uchar *data, long length) {
            if (m_passed < m_limit) {
                ++m_passed;
                callback(time, data, length);
            }
        });
    }
    void stop() override { m_demo.stop(); }
    bool hasGroup(PropertyGroup group) override { return m_demo.hasGroup(group); }
    int propertyRange(CameraProperty property, PropertyRange *range) override
    {
        return m_demo.propertyRange(property, range);
    }
    int property(CameraProperty property, long *value, long *flags) override
    {
        return m_demo.property(property, value, flags);
    }
    int setProperty(CameraProperty property, long value, long flags) override
    {
        return m_demo.setProperty(property, value, flags);
    }

private:
    DemoCameraBackend m_demo;
    const int m_limit;
    int m_passed = 0; // streaming thread only, reset before it starts
};

CaptureMode modeOf(quint32 fourcc, int width, int height)
{
    CaptureMode mode;
    mode.fourcc = fourcc;
    mode.width = width;
    mode.height = height;
    mode.timePerFrame = 333333;
    return mode;
}

} // namespace

class TstDemoCamera : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listing_data();
    void listing();
    void streams_data();
    void streams();
    void micrometerHasTrueScale();
    void settingsChangeThePicture_data();
    void settingsChangeThePicture();
    void propertiesReadBack();
};

void TstDemoCamera::initTestCase()
{
    TestEnv::isolate();
}

void TstDemoCamera::listing_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<bool>("cameraPresent");
    QTest::addColumn<QStringList>("names");
    const QString real = QStringLiteral("Quorix UVC Microscope");
    const QString demo = QStringLiteral("演示相机");
    QTest::newRow("real camera, no variable") << QByteArray() << true << QStringList{real};
    QTest::newRow("no camera, no variable") << QByteArray() << false << QStringList{demo};
    QTest::newRow("real camera, variable 1") << QByteArray("1") << true << QStringList{real, demo};
    QTest::newRow("no camera, variable 0") << QByteArray("0") << false << QStringList{};
    QTest::newRow("real camera, variable 0") << QByteArray("0") << true << QStringList{real};
}

void TstDemoCamera::listing()
{
    QFETCH(QByteArray, variable);
    QFETCH(bool, cameraPresent);
    QFETCH(QStringList, names);
    if (variable.isNull())
        qunsetenv("QUORIX_DEMO_CAMERA");
    else
        qputenv("QUORIX_DEMO_CAMERA", variable);
    ScriptedV4l2Device device;
    device.setPresent(cameraPresent);
    SystemCaptureBackend backend(std::make_unique<V4l2CaptureBackend>(device.io()));
    QStringList listed;
    for (const CaptureDeviceInfo &info : backend.devices())
        listed << info.name;
    QCOMPARE(listed, names);
    // The demo camera opens under its index; the index after the list does not.
    if (names.contains(QStringLiteral("演示相机"))) {
        QCOMPARE(backend.open(int(names.size()) - 1), 0);
        QList<CaptureMode> modes;
        QCOMPARE(backend.modes(&modes), 0);
        QCOMPARE(modes.size(), DemoCameraBackend::demoModes().size());
        QCOMPARE(subtypeName(modes.first().fourcc), QStringLiteral("MJPG"));
    }
    QVERIFY(backend.open(int(names.size())) != 0);
    qunsetenv("QUORIX_DEMO_CAMERA");
}

void TstDemoCamera::streams_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("size");
    QTest::newRow("YUY2 640x480") << "YUY2" << QSize(640, 480);
    QTest::newRow("RGB24 640x480") << "RGB24" << QSize(640, 480);
    QTest::newRow("MJPG 1280x720") << "MJPG" << QSize(1280, 720);
    QTest::newRow("H264 1920x1080") << "H264" << QSize(1920, 1080);
}

void TstDemoCamera::streams()
{
    QFETCH(QString, format);
    QFETCH(QSize, size);
    // A whole H.264 loop (32 pictures) and the start of the next one, and nothing after.
    const int buffers = 34;
    auto camera = std::make_unique<Camera>(std::make_unique<GatedDemoBackend>(buffers));
    camera->setDecodingHeld(true);
    FrameSink sink(camera.get());
    QSignalSpy errors(camera.get(), &Camera::error);
    QVERIFY(camera->setFormat(format));
    QVERIFY(camera->setResolution(size.width(), size.height()));
    QCOMPARE(camera->formatName(), format);
    QCOMPARE(camera->resolution(), size);
    if (format == QLatin1String("YUY2") || format == QLatin1String("RGB24")) {
        QTRY_VERIFY_WITH_TIMEOUT(sink.count() >= 3, 60000);
        QCOMPARE(sink.last().size(), size);
    } else if (format == QLatin1String("MJPG")) {
        QTRY_VERIFY_WITH_TIMEOUT(camera->mjpgQueueSize() >= 3, 60000);
        QByteArray packet;
        QVERIFY(camera->takeMjpgPacket(&packet));
        QCOMPARE(QImage::fromData(packet, "JPEG").size(), size);
    } else {
        // A whole loop and the start of the next one decode without a break.
        QTRY_COMPARE_WITH_TIMEOUT(camera->h26xQueueSize(), buffers, 60000);
        QList<QByteArray> packets;
        QByteArray next;
        while (camera->takeH26xPacket(&next))
            packets << next;
        QSize decoded;
        QCOMPARE(decodeH264(packets, &decoded), int(packets.size()));
        QCOMPARE(decoded, size);
        const QByteArray packet = packets.first();
        // The loop starts with an IDR picture carrying its parameter sets, in Annex B form.
        QVERIFY(packet.startsWith(QByteArray("\0\0\0\1", 4)));
        QCOMPARE(packet.at(4) & 0x1F, 7); // SPS
        QVERIFY(packet.contains(QByteArray("\0\0\1\x65", 4)) ||
                packet.contains(QByteArray("\0\0\0\1\x65", 5)));
    }
    QCOMPARE(errors.count(), 0);
    camera->close();
    const int delivered = sink.count();
    camera.reset();                    // joins every thread of the camera and its backend
    QCOMPARE(sink.count(), delivered); // nothing arrives after close
}

void TstDemoCamera::micrometerHasTrueScale()
{
    // At 1280 pixels wide one micrometre is one pixel: the 101 ticks lie 10 pixels apart.
    const QImage picture =
        DemoCameraBackend::renderPictures(modeOf(kFourccYuyv, 1280, 720), {}).first();
    // Column means over the band every tick covers: ticks are dark all the way, cells are not.
    const int baseY = int((720 + 80) * 0.56);
    QList<int> centres;
    int runStart = -1;
    for (int x = 0; x <= picture.width(); ++x) {
        double sum = 0;
        for (int y = baseY - 36; x < picture.width() && y < baseY - 2; ++y)
            sum += qGray(picture.pixel(x, y));
        const bool dark = x < picture.width() && sum / 34 < 150;
        if (dark && runStart < 0)
            runStart = x;
        if (!dark && runStart >= 0) {
            centres << (runStart + x - 1) / 2;
            runStart = -1;
        }
    }
    QCOMPARE(centres.size(), 101);
    QVERIFY(std::abs(centres.last() - centres.first() - 1000) <= 2);
    for (int i = 1; i < centres.size(); ++i)
        QVERIFY(std::abs(centres.at(i) - centres.at(i - 1) - 10) <= 1);
}

void TstDemoCamera::settingsChangeThePicture_data()
{
    QTest::addColumn<int>("property");
    QTest::addColumn<long>("value");
    QTest::addColumn<QString>("effect");
    QTest::newRow("brightness up") << int(CameraProperty::Brightness) << 60L << "brighter";
    QTest::newRow("longer manual exposure") << int(CameraProperty::Exposure) << -4L << "brighter";
    QTest::newRow("gain") << int(CameraProperty::Gain) << 60L << "brighter";
    QTest::newRow("gamma") << int(CameraProperty::Gamma) << 72L << "darker";
    QTest::newRow("no colour") << int(CameraProperty::ColorEnable) << 0L << "grey";
    QTest::newRow("no saturation") << int(CameraProperty::Saturation) << 0L << "grey";
    QTest::newRow("warm white balance") << int(CameraProperty::WhiteBalance) << 2800L << "bluer";
    QTest::newRow("mains flicker") << int(CameraProperty::PowerLineFrequency) << 0L << "different";
    QTest::newRow("sharpness") << int(CameraProperty::Sharpness) << 6L << "different";
    QTest::newRow("hue") << int(CameraProperty::Hue) << 40L << "different";
}

void TstDemoCamera::settingsChangeThePicture()
{
    QFETCH(int, property);
    QFETCH(long, value);
    QFETCH(QString, effect);
    DemoCameraBackend demo;
    QCOMPARE(demo.open(0), 0);
    const CaptureMode mode = modeOf(kFourccYuyv, 320, 240);
    const QImage before = DemoCameraBackend::renderPictures(mode, {}).first();
    QCOMPARE(demo.setProperty(CameraProperty(property), value, PropertyFlagManual), 0);
    long readBack = 0, flags = 0;
    QCOMPARE(demo.property(CameraProperty(property), &readBack, &flags), 0);
    QCOMPARE(readBack, value);
    // The demo camera's settings as they now stand, applied to the same specimen.
    using S = DemoSpecimen::Settings;
    const QMap<CameraProperty, long S::*> fields{
        {CameraProperty::Brightness, &S::brightness},
        {CameraProperty::Exposure, &S::exposure},
        {CameraProperty::Gain, &S::gain},
        {CameraProperty::Gamma, &S::gamma},
        {CameraProperty::Saturation, &S::saturation},
        {CameraProperty::WhiteBalance, &S::whiteBalance},
        {CameraProperty::PowerLineFrequency, &S::powerLine},
        {CameraProperty::Sharpness, &S::sharpness},
        {CameraProperty::Hue, &S::hue}};
    S settings;
    settings.autoExposure = CameraProperty(property) != CameraProperty::Exposure;
    settings.autoWhiteBalance = CameraProperty(property) != CameraProperty::WhiteBalance;
    if (CameraProperty(property) == CameraProperty::ColorEnable)
        settings.colour = value != 0;
    else
        settings.*fields.value(CameraProperty(property)) = value;
    const QImage after = DemoCameraBackend::renderPictures(mode, settings).first();
    QCOMPARE(after.size(), before.size());
    QVERIFY(!isGrey(before));
    if (effect == QLatin1String("brighter"))
        QVERIFY(meanLuma(after) > meanLuma(before) + 8);
    else if (effect == QLatin1String("darker"))
        QVERIFY(meanLuma(after) < meanLuma(before) - 8);
    else if (effect == QLatin1String("grey"))
        QVERIFY(isGrey(after));
    else if (effect == QLatin1String("bluer"))
        QVERIFY(qBlue(after.pixel(5, 5)) - qRed(after.pixel(5, 5)) >
                qBlue(before.pixel(5, 5)) - qRed(before.pixel(5, 5)) + 10);
    else
        QVERIFY(after != before);
}

// The properties read back, and a change reaches the running stream.
void TstDemoCamera::propertiesReadBack()
{
    auto camera = demoCamera();
    FrameSink sink(camera.get());
    QSignalSpy exposure(camera.get(), &Camera::exposureRangeChanged);
    QSignalSpy whiteBalance(camera.get(), &Camera::whiteBalanceRangeChanged);
    QVERIFY(camera->setFormat(QStringLiteral("RGB24")));
    QVERIFY(camera->setResolution(640, 480));
    QTRY_VERIFY_WITH_TIMEOUT(sink.count() > 0, 60000);
    const double before = meanLuma(sink.last());
    QVERIFY(camera->setBrightness(64));
    QTRY_VERIFY_WITH_TIMEOUT(meanLuma(sink.last()) > before + 20, 60000);
    QCOMPARE(exposure.count(), 1);
    QCOMPARE(exposure.first().at(0).toLongLong(), -13LL);
    QCOMPARE(whiteBalance.first().at(1).toLongLong(), 6500LL);
    QVERIFY(camera->supportsAutoExposure());
    QVERIFY(camera->supportsAutoWhiteBalance());

    QVERIFY(camera->setExposure(-9));
    QCOMPARE(camera->exposure(), -9L);
    QVERIFY(camera->setAutoExposure(true));
    QCOMPARE(camera->exposure(), -6L); // the metered exposure
    QVERIFY(camera->setAutoExposure(false));
    QVERIFY(camera->setWhiteBalance(3300));
    QCOMPARE(camera->whiteBalance(), 3300L);
    QVERIFY(camera->setOneKeyWhiteBalance(true));
    QVERIFY(camera->oneKeyWhiteBalanceActive());
    QCOMPARE(camera->whiteBalance(), 4600L); // measured on the specimen's neutral light
    QVERIFY(camera->setOneKeyWhiteBalance(false));
    QVERIFY(!camera->oneKeyWhiteBalanceActive());
    QVERIFY(camera->setGain(35));
    QCOMPARE(camera->gain(), 35L);
    QVERIFY(camera->setPowerlineFrequency(2));
    QVERIFY(!camera->setPowerlineFrequency(5));
    QVERIFY(camera->setColorEnable(0));
    QVERIFY(!camera->colourEnabled());
}

QTEST_MAIN(TstDemoCamera)
#include "tst_democamera.moc"
