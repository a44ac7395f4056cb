// Tests of the camera's decode threads: which packets reach the full-resolution decoder, what the
// preview and full pictures look like, damaged streams, rate logs, and stopping with packets
// still queued. The camera's clock is the test's own: it moves only when a test moves it.
#include <QtTest>

#include "LogCapture.h"
#include "TestEnv.h"
#include "camera/Camera.h"
#include "camera/CameraClock.h"
#include "camera/DemoCameraBackend.h"
#include "camera/DemoEncoders.h"
#include "camera/FrameConversion.h"
#include "camera/JpegHuffmanTables.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/V4l2CaptureBackend.h"
#include "settings/SettingsKeys.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QSettings>
#include <QThread>

#include <linux/videodev2.h>
#include <thread>

using namespace FrameConversion;

namespace {

// The camera's clock in these tests, in microseconds.
std::atomic<qint64> g_now{1000000000};
qint64 testClock()
{
    return g_now;
}

// Red left half, blue right half: mirroring and colour are visible in one pixel.
QImage halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(0, 0, 220));
    for (int y = 0; y < height; ++y)
        std::fill_n(reinterpret_cast<QRgb *>(image.scanLine(y)), width / 2, qRgb(220, 0, 0));
    return image;
}

// Collects what the camera emits, on whichever thread emits it. Declared before the camera it
// watches, so that it outlives the camera's threads.
class Sink
{
public:
    void attach(Camera *camera)
    {
        QObject::connect(
            camera, &Camera::previewReady, camera,
            [this](const QImage &p) {
                QMutexLocker lock(&m_lock);
                m_previews << p;
            },
            Qt::DirectConnection);
        QObject::connect(
            camera, &Camera::frameReady, camera,
            [this](const QImage &f) {
                QMutexLocker lock(&m_lock);
                m_frames << f;
            },
            Qt::DirectConnection);
    }
    int previews() const
    {
        QMutexLocker lock(&m_lock);
        return m_previews.size();
    }
    int frames() const
    {
        QMutexLocker lock(&m_lock);
        return m_frames.size();
    }
    QImage lastPreview() const
    {
        QMutexLocker lock(&m_lock);
        return m_previews.isEmpty() ? QImage() : m_previews.last();
    }
    QImage lastFrame() const
    {
        QMutexLocker lock(&m_lock);
        return m_frames.isEmpty() ? QImage() : m_frames.last();
    }

private:
    mutable QMutex m_lock; // guards m_previews and m_frames
    QList<QImage> m_previews;
    QList<QImage> m_frames;
};

struct Stream
{
    ScriptedV4l2Device device;
    // While armed, the backend's stop holds in VIDIOC_STREAMOFF: stopEntered is released when it
    // gets there, and it goes on once stopRelease is released.
    std::atomic<bool> holdStop{false};
    QSemaphore stopEntered, stopRelease;
    std::unique_ptr<Camera> camera;
    QList<QByteArray> packets; // good packets of the stream; H.264 starts with a key frame

    Stream(quint32 fourcc, int width, int height)
    {
        device.clearFormats();
        device.addFormat(fourcc, {{width, height, {30}}});
        V4l2Io io = device.io();
        io.ioctl = [this, ioctl = io.ioctl](int fd, unsigned long request, void *arg) {
            if (request == VIDIOC_STREAMOFF && holdStop.exchange(false)) {
                stopEntered.release();
                stopRelease.acquire();
            }
            return ioctl(fd, request, arg);
        };
        camera = std::make_unique<Camera>(std::make_unique<V4l2CaptureBackend>(io));
        const QImage picture = halves(width, height);
        if (fourcc == kFourccMjpg) {
            packets << DemoEncoders::encodeJpeg(picture);
        } else {
            QString error;
            DemoEncoders::encodeH264Loop({picture, picture, picture, picture}, 30, &packets,
                                         &error);
        }
    }
    bool open() { return !packets.isEmpty() && camera->open(0); }
    void deliver(const QByteArray &packet)
    {
        camera->deliverBuffer(0, reinterpret_cast<const uchar *>(packet.constData()),
                              packet.size());
    }
    // Waits until the decode thread has taken every queued packet.
    bool drained()
    {
        QElapsedTimer timer;
        timer.start();
        while (camera->mjpgQueueSize() + camera->h26xQueueSize() > 0) {
            if (timer.elapsed() > 60000)
                return false;
            QThread::msleep(2);
        }
        return true;
    }
};

bool isRed(QRgb c)
{
    return qRed(c) > 150 && qBlue(c) < 80 && qGreen(c) < 80;
}

bool isBlue(QRgb c)
{
    return qBlue(c) > 150 && qRed(c) < 80 && qGreen(c) < 80;
}

} // namespace

class TstDecodePipeline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pictures_data();
    void pictures();
    void fullResolutionSampling_data();
    void fullResolutionSampling();
    void fullQueueSkipsButClockAdvances();
    void h264PacketsOfTwoPictures();
    void damagedPacketsThenRecovery_data();
    void damagedPacketsThenRecovery();
    void rateLog_data();
    void rateLog();
    void stopWithPacketsQueued_data();
    void stopWithPacketsQueued();
    void framesWithoutHuffmanTables();
};

void TstDecodePipeline::initTestCase()
{
    TestEnv::isolate();
    LogCapture::install();
    CameraClock::setSource(testClock);
}

void TstDecodePipeline::pictures_data()
{
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("mirror");
    QTest::addColumn<QSize>("preview");
    // MJPG previews are decoded at a quarter of the size and fitted into 960x540.
    QTest::newRow("MJPG 1920x1080") << kFourccMjpg << QSize(1920, 1080) << false << QSize(960, 540);
    QTest::newRow("MJPG 1920x1080 mirrored")
        << kFourccMjpg << QSize(1920, 1080) << true << QSize(960, 540);
    QTest::newRow("MJPG 640x480") << kFourccMjpg << QSize(640, 480) << false << QSize(720, 540);
    // H.264 previews are reduced into 1280x720; the full picture keeps the stream size.
    QTest::newRow("H264 1920x1080")
        << kFourccH264 << QSize(1920, 1080) << false << QSize(1280, 720);
    QTest::newRow("H264 640x480 mirrored")
        << kFourccH264 << QSize(640, 480) << true << QSize(640, 480);
}

void TstDecodePipeline::pictures()
{
    QFETCH(quint32, fourcc);
    QFETCH(QSize, size);
    QFETCH(bool, mirror);
    QFETCH(QSize, preview);
    if (fourcc == kFourccH264 && !DemoEncoders::h264Available())
        QSKIP("no H.264 encoder");
    Sink sink;
    Stream stream(fourcc, size.width(), size.height());
    sink.attach(stream.camera.get());
    QVERIFY(stream.open());
    stream.camera->setMirrorHorizontal(mirror);
    for (int i = 0; i < 3; ++i)
        for (const QByteArray &p : qAsConst(stream.packets))
            stream.deliver(p);
    QTRY_VERIFY_WITH_TIMEOUT(sink.previews() >= 1 && sink.frames() >= 1, 60000);

    const QImage p = sink.lastPreview();
    QCOMPARE(p.size(), preview);
    QVERIFY(isRed(p.pixel(mirror ? p.width() - 4 : 3, p.height() / 2)));
    QVERIFY(isBlue(p.pixel(mirror ? 3 : p.width() - 4, p.height() / 2)));
    const QImage f = sink.lastFrame();
    QCOMPARE(f.size(), size);
    QVERIFY(isRed(f.pixel(mirror ? f.width() - 4 : 3, f.height() / 2)));
}

void TstDecodePipeline::fullResolutionSampling_data()
{
    QTest::addColumn<bool>("recording");
    QTest::addColumn<int>("fullFrames");
    // Both packets arrive at the same moment of the camera's clock.
    QTest::newRow("live view: one per second") << false << 1;
    QTest::newRow("recording: every packet") << true << 2;
}

void TstDecodePipeline::fullResolutionSampling()
{
    QFETCH(bool, recording);
    QFETCH(int, fullFrames);
    Sink sink;
    Stream stream(kFourccMjpg, 640, 480);
    sink.attach(stream.camera.get());
    stream.camera->setDecodingHeld(true);
    QVERIFY(stream.open());
    stream.camera->setFullRate(recording);
    stream.deliver(stream.packets.first());
    stream.deliver(stream.packets.first());
    stream.camera->setDecodingHeld(false);
    QTRY_COMPARE_WITH_TIMEOUT(sink.previews(), 2, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(sink.frames(), fullFrames, 60000);
    stream.camera->close(); // waits for both threads: no further picture is on its way
    QCOMPARE(sink.frames(), fullFrames);
    QCOMPARE(sink.lastFrame().size(), QSize(640, 480));
}

void TstDecodePipeline::fullQueueSkipsButClockAdvances()
{
    // The first full picture blocks its thread until released, so the full queue fills up.
    QSemaphore entered, release;
    std::atomic<bool> first{true};
    Sink sink;
    Stream stream(kFourccMjpg, 320, 240);
    sink.attach(stream.camera.get());
    QObject::connect(
        stream.camera.get(), &Camera::frameReady, stream.camera.get(),
        [&](const QImage &) {
            if (first.exchange(false)) {
                entered.release();
                release.acquire();
            }
        },
        Qt::DirectConnection);
    QVERIFY(stream.open());
    stream.camera->setFullRate(true);
    stream.deliver(stream.packets.first());
    QVERIFY(entered.tryAcquire(1, 60000));
    for (int i = 0; i < 4; ++i) // three wait, the fourth finds the queue full
        stream.deliver(stream.packets.first());
    QTRY_COMPARE_WITH_TIMEOUT(sink.previews(), 5, 60000);
    // Not recording any more: the skipped packet's offer time still counts, so the next
    // packet within the second is not offered.
    stream.camera->setFullRate(false);
    stream.deliver(stream.packets.first());
    QTRY_COMPARE_WITH_TIMEOUT(sink.previews(), 6, 60000);
    release.release();
    QTRY_COMPARE_WITH_TIMEOUT(sink.frames(), 4, 60000);
    stream.camera->close(); // waits for both threads: no further picture is on its way
    QCOMPARE(sink.frames(), 4);
}

// Cameras may send two pictures in one buffer; the decoder must not clog up and stall the preview.
void TstDecodePipeline::h264PacketsOfTwoPictures()
{
    if (!DemoEncoders::h264Available())
        QSKIP("no H.264 encoder");
    Sink sink;
    Stream stream(kFourccH264, 320, 240);
    sink.attach(stream.camera.get());
    QVERIFY(stream.open());
    const QList<QByteArray> &loop = stream.packets; // an IDR picture, then three more
    for (int round = 0; round < 10; ++round) {
        stream.deliver(loop.at(0) + loop.at(1));
        stream.deliver(loop.at(2) + loop.at(3));
        QVERIFY(stream.drained());
    }
    QTRY_VERIFY_WITH_TIMEOUT(sink.previews() >= 18, 60000);
    QVERIFY(isRed(sink.lastPreview().pixel(3, 120)));
}

void TstDecodePipeline::damagedPacketsThenRecovery_data()
{
    QTest::addColumn<quint32>("fourcc");
    QTest::newRow("MJPG") << kFourccMjpg;
    QTest::newRow("H264") << kFourccH264;
}

void TstDecodePipeline::damagedPacketsThenRecovery()
{
    QFETCH(quint32, fourcc);
    if (fourcc == kFourccH264 && !DemoEncoders::h264Available())
        QSKIP("no H.264 encoder");
    Sink sink;
    Stream stream(fourcc, 320, 240);
    sink.attach(stream.camera.get());
    QVERIFY(stream.open());
    stream.camera->setFullRate(true);
    QRandomGenerator random(fourcc);
    const int headerBytes = fourcc == kFourccMjpg ? 2 : 5; // what the callback checks
    for (int i = 0; i < 400; ++i) { // a hundred packets of each kind of damage
        QByteArray p = stream.packets.at(i % stream.packets.size());
        switch (i % 4) {
        case 0: // truncated
            p.truncate(headerBytes + int(random.bounded(p.size() - headerBytes)));
            break;
        case 1: // bytes overwritten
            for (int k = 0; k < 12; ++k)
                p[headerBytes + int(random.bounded(p.size() - headerBytes))] =
                    char(random.bounded(256));
            break;
        case 2: // noise behind a valid start
            for (int k = headerBytes; k < p.size(); ++k)
                p[k] = char(random.bounded(256));
            break;
        case 3: // a block duplicated into the middle
            p.insert(p.size() / 2, p.mid(p.size() / 3, p.size() / 4));
            break;
        }
        if (p.size() < 200)
            p += QByteArray(200, char(0xFF));
        stream.deliver(p);
        if (i % 16 == 15)
            QVERIFY(stream.drained());
    }
    QVERIFY(stream.drained());
    const int before = sink.previews();
    const int framesBefore = sink.frames();
    for (int round = 0; round < 3; ++round)
        for (const QByteArray &p : qAsConst(stream.packets)) {
            stream.deliver(p);
            QVERIFY(stream.drained());
        }
    QTRY_VERIFY_WITH_TIMEOUT(sink.previews() > before && sink.frames() > framesBefore, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(isRed(sink.lastPreview().pixel(3, sink.lastPreview().height() / 2)),
                             60000);
    QTRY_VERIFY_WITH_TIMEOUT(isBlue(sink.lastFrame().pixel(316, 120)), 60000);
}

void TstDecodePipeline::rateLog_data()
{
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("line");
    QTest::newRow("MJPG, log on") << kFourccMjpg << true
                                  << QStringLiteral("[DECFPS] MJPG 流水线输出帧率: ");
    QTest::newRow("MJPG, log off")
        << kFourccMjpg << false << QStringLiteral("[DECFPS] MJPG 流水线输出帧率: ");
    QTest::newRow("H264, log on") << kFourccH264 << true
                                  << QStringLiteral("[DECFPS] 解码线程输出帧率: ");
}

void TstDecodePipeline::rateLog()
{
    QFETCH(quint32, fourcc);
    QFETCH(bool, enabled);
    QFETCH(QString, line);
    if (fourcc == kFourccH264 && !DemoEncoders::h264Available())
        QSKIP("no H.264 encoder");
    QSettings().setValue(SettingsKeys::kFpsLog, enabled);
    Stream stream(fourcc, 320, 240);
    QVERIFY(stream.open());
    const int before = LogCapture::count(line);
    // 1.4 s of 30 fps gives one log line after the first second. A packet is taken only once
    // the one before it is decoded, so each picture is counted before the clock passes the
    // next packet.
    for (int i = 0; i < 43; ++i) {
        g_now += 33333;
        stream.deliver(stream.packets.at(i % stream.packets.size()));
        QVERIFY(stream.drained());
    }
    stream.camera.reset();
    QCOMPARE(LogCapture::count(line) - before, enabled ? 1 : 0);
    QSettings().remove(SettingsKeys::kFpsLog);
}

void TstDecodePipeline::stopWithPacketsQueued_data()
{
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<bool>("destroy");
    QTest::newRow("MJPG, close") << kFourccMjpg << false;
    QTest::newRow("MJPG, destroy") << kFourccMjpg << true;
    QTest::newRow("H264, close") << kFourccH264 << false;
    QTest::newRow("H264, destroy") << kFourccH264 << true;
}

// Stopping drops the queued packets before it stops the backend (whose stop takes a while), and
// waits only for the picture being decoded.
void TstDecodePipeline::stopWithPacketsQueued()
{
    QFETCH(quint32, fourcc);
    QFETCH(bool, destroy);
    if (fourcc == kFourccH264 && !DemoEncoders::h264Available())
        QSKIP("no H.264 encoder");
    Sink sink;
    Stream stream(fourcc, 320, 240);
    sink.attach(stream.camera.get());
    // The first preview holds the decode thread in the middle of its packet until released.
    QSemaphore pictureEntered, pictureRelease;
    std::atomic<bool> holdPicture{true}, pictureFinished{false};
    QObject::connect(
        stream.camera.get(), &Camera::previewReady, stream.camera.get(),
        [&](const QImage &) {
            if (holdPicture.exchange(false)) {
                pictureEntered.release();
                pictureRelease.acquire();
                pictureFinished = true;
            }
        },
        Qt::DirectConnection);
    stream.camera->setDecodingHeld(true);
    QVERIFY(stream.open());
    const int queued = fourcc == kFourccMjpg ? Camera::kMjpgQueueLimit : Camera::kH26xQueueLimit;
    for (int i = 0; i < queued; ++i)
        stream.deliver(stream.packets.at(i % stream.packets.size()));
    stream.camera->setDecodingHeld(false);
    QVERIFY(pictureEntered.tryAcquire(1, 60000));
    Camera *camera = stream.camera.get();
    const int waiting = camera->mjpgQueueSize() + camera->h26xQueueSize();
    QVERIFY2(waiting > 0, "packets still wait while the first picture is being made");

    // Stopping runs here; a helper looks at the queues once the backend's stop has begun, then
    // lets the picture and the stop go on.
    int waitingAtStop = -1;
    stream.holdStop = true;
    std::thread helper([&] {
        if (stream.stopEntered.tryAcquire(1, 60000))
            waitingAtStop = camera->mjpgQueueSize() + camera->h26xQueueSize();
        pictureRelease.release();
        stream.stopRelease.release();
    });
    if (destroy)
        stream.camera.reset();
    else
        stream.camera->close();
    helper.join();
    QCOMPARE(waitingAtStop, 0);
    QVERIFY(pictureFinished); // the picture in progress was finished before stopping returned
    const int previews = sink.previews();
    if (!destroy) {
        QCOMPARE(stream.camera->mjpgQueueSize() + stream.camera->h26xQueueSize(), 0);
        // A closed camera takes no packet; an open one decodes again.
        stream.deliver(stream.packets.first());
        QCOMPARE(stream.camera->mjpgQueueSize() + stream.camera->h26xQueueSize(), 0);
        QVERIFY(stream.open());
        for (const QByteArray &p : qAsConst(stream.packets))
            stream.deliver(p);
        QTRY_VERIFY_WITH_TIMEOUT(sink.previews() > previews, 60000);
    }
}

// UVC cameras send MJPG frames without Huffman tables, and so do the scripted device and the demo
// camera; such frames become previews and full pictures.
void TstDecodePipeline::framesWithoutHuffmanTables()
{
    Sink sink;
    Stream stream(kFourccMjpg, 640, 480);
    sink.attach(stream.camera.get());
    stream.camera->setDecodingHeld(true);
    QVERIFY(stream.open());
    QVERIFY(JpegHuffmanTables::hasTables(stream.packets.first()));
    stream.device.pushFrame(stream.packets.first());
    QVERIFY(stream.device.waitUntilDelivered(300000));
    QByteArray sent;
    QVERIFY(stream.camera->takeMjpgPacket(&sent));
    QVERIFY(!JpegHuffmanTables::hasTables(sent));
    stream.camera->setDecodingHeld(false);
    stream.device.pushFrame(stream.packets.first());
    QVERIFY(stream.device.waitUntilDelivered(300000));
    QTRY_VERIFY_WITH_TIMEOUT(sink.previews() >= 1 && sink.frames() >= 1, 300000);
    const QImage preview = sink.lastPreview(), frame = sink.lastFrame();
    QCOMPARE(preview.size(), QSize(720, 540));
    QVERIFY(isRed(preview.pixel(3, 270)) && isBlue(preview.pixel(716, 270)));
    QCOMPARE(frame.size(), QSize(640, 480));
    QVERIFY(isRed(frame.pixel(3, 240)) && isBlue(frame.pixel(636, 240)));

    Camera demo(std::make_unique<DemoCameraBackend>());
    demo.setDecodingHeld(true);
    QVERIFY(demo.setFormat(QStringLiteral("MJPG")));
    QVERIFY(demo.setResolution(1280, 720));
    QTRY_VERIFY_WITH_TIMEOUT(demo.mjpgQueueSize() >= 1, 300000);
    QByteArray packet;
    QVERIFY(demo.takeMjpgPacket(&packet));
    QVERIFY(!JpegHuffmanTables::hasTables(packet));
    demo.close();
}

QTEST_MAIN(TstDecodePipeline)
#include "tst_decodepipeline.moc"
