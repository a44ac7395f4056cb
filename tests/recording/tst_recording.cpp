// Tests of the video recorder: NV12 conversion, the recorder's hand-over and the files it writes,
// judged by ffprobe and by frames decoded with the ffmpeg command line.
#include "TestEnv.h"
#include "recording/Nv12Convert.h"
#include "recording/VideoRecorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

QImage filled(const QSize &size, QColor colour, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
    image.fill(colour);
    return image;
}

// A picture with moving content, so that the encoder has real work.
QImage movingFrame(const QSize &size, int index)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 60, 80));
    QPainter painter(&image);
    painter.setBrush(QColor(220, 180, 40));
    painter.drawEllipse(QPoint((index * 7) % size.width(), size.height() / 2), size.height() / 5,
                        size.height() / 5);
    return image;
}

QJsonObject probeStream(const QString &path)
{
    QProcess probe;
    probe.start("ffprobe",
                {"-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                 "stream=codec_name,profile,pix_fmt,width,height,color_space,"
                 "color_range,nb_read_frames,avg_frame_rate,r_frame_rate:format=duration,"
                 "format_name",
                 "-of", "json", path});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
        return {};
    const QJsonObject root = QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
    QJsonObject stream = root.value("streams").toArray().first().toObject();
    stream.insert("duration", root.value("format").toObject().value("duration"));
    stream.insert("format_name", root.value("format").toObject().value("format_name"));
    return stream;
}

// Every frame of the file decoded by the ffmpeg command line into the given raw pixel format.
std::vector<QByteArray> decodeFrames(const QString &path, const QSize &size,
                                     const QString &pixelFormat, int bytesPerPixel)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
                 {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", pixelFormat, "-"});
    std::vector<QByteArray> frames;
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return frames;
    const QByteArray all = ffmpeg.readAllStandardOutput();
    const int frameBytes = size.width() * size.height() * bytesPerPixel;
    for (int offset = 0; offset + frameBytes <= all.size(); offset += frameBytes)
        frames.push_back(all.mid(offset, frameBytes));
    return frames;
}

// Hands frames over at the file's rate on an absolute schedule; returns the time from the first
// to the last hand-over in seconds.
double feedAtRate(VideoRecorder &recorder, const QSize &size, int fps, int count)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 period = 1000000000LL / fps;
    for (int i = 0; i < count; ++i) {
        while (clock.nsecsElapsed() < i * period)
            QThread::usleep(500);
        recorder.writeFrame(movingFrame(size, i));
    }
    return double((count - 1) * period) / 1e9;
}

QStringList s_log;
void captureLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    s_log << message;
}

// Child mode of the kill test: records moving frames until killed.
int recordUntilKilled(const QString &path)
{
    VideoRecorder recorder;
    const QSize size(1280, 720);
    recorder.start(path, size, 30);
    std::printf("recording\n");
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0;; ++i) {
        while (clock.nsecsElapsed() < i * 33333333LL)
            QThread::usleep(500);
        recorder.writeFrame(movingFrame(size, i));
    }
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void conversionMatchesMatrix_data();
    void conversionMatchesMatrix();
    void greyUsesLimitedRange();
    void invalidStartIsRefused_data();
    void invalidStartIsRefused();
    void fileProperties_data();
    void fileProperties();
    void pacingCapsTheRate();
    void onlyNewestFrameIsWritten();
    void frameOfOtherSizeIsIgnored();
    void timeStampInTopLeftCorner_data();
    void timeStampInTopLeftCorner();
    void unusableFileIsReported_data();
    void unusableFileIsReported();
    void killedRecordingStaysPlayable();

private:
    QString m_dir;
};

void TestRecording::initTestCase()
{
    m_dir = TestEnv::isolate() + "/videos";
    QVERIFY(QDir().mkpath(m_dir));
    qunsetenv("QUORIX_REC_INPUT");
}

void TestRecording::conversionMatchesMatrix_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("bt709");
    for (bool hd : {true, false}) {
        const char *m = hd ? "709" : "601";
        QTest::addRow("red %s", m) << QColor(255, 0, 0) << hd;
        QTest::addRow("green %s", m) << QColor(0, 255, 0) << hd;
        QTest::addRow("blue %s", m) << QColor(0, 0, 255) << hd;
        QTest::addRow("white %s", m) << QColor(255, 255, 255) << hd;
        QTest::addRow("black %s", m) << QColor(0, 0, 0) << hd;
        QTest::addRow("skin %s", m) << QColor(224, 172, 105) << hd;
    }
}

// The integer tables agree with the floating-point definition of each matrix within one step,
// across a frame whose rows are shorter than the plane strides.
void TestRecording::conversionMatchesMatrix()
{
    QFETCH(QColor, colour);
    QFETCH(bool, bt709);
    const double kr = bt709 ? 0.2126 : 0.299, kb = bt709 ? 0.0722 : 0.114, kg = 1 - kr - kb;
    const double r = colour.red(), g = colour.green(), b = colour.blue();
    const double luma = (kr * r + kg * g + kb * b) / 255;
    const int y = qRound(16 + 219 * luma);
    const int u = qRound(128 + 224 * (b / 255 - luma) / (2 * (1 - kb)));
    const int v = qRound(128 + 224 * (r / 255 - luma) / (2 * (1 - kr)));

    const QSize size(6, 4);
    std::vector<uint8_t> yPlane(8 * 4, 0), uvPlane(10 * 2, 0);
    const Nv12::Planes planes{yPlane.data(), 8, uvPlane.data(), 10, 6, 4};
    Nv12::fromRgb32(filled(size, colour), planes, bt709 ? Nv12::kBt709 : Nv12::kBt601);
    for (int row = 0; row < 4; ++row) {
        for (int x = 0; x < 6; ++x)
            QVERIFY2(qAbs(yPlane[size_t(row * 8 + x)] - y) <= 1, qPrintable(QString::number(x)));
        QCOMPARE(yPlane[size_t(row * 8 + 6)], uint8_t(0)); // stride padding untouched
    }
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 6; x += 2) {
            QVERIFY(qAbs(uvPlane[size_t(row * 10 + x)] - u) <= 1);
            QVERIFY(qAbs(uvPlane[size_t(row * 10 + x + 1)] - v) <= 1);
        }
    }
}

// Grey maps 0..255 onto 16..235 with neutral chroma; a 2x2 block shares its averaged chroma.
void TestRecording::greyUsesLimitedRange()
{
    QImage grey(4, 2, QImage::Format_Grayscale8);
    const uint8_t values[] = {0, 255, 128, 64};
    for (int row = 0; row < 2; ++row)
        std::memcpy(grey.scanLine(row), values, 4);
    std::vector<uint8_t> y(8), uv(4);
    Nv12::fromGrey(grey, {y.data(), 4, uv.data(), 4, 4, 2});
    QCOMPARE(y[0], uint8_t(16));
    QCOMPARE(y[1], uint8_t(235));
    QCOMPARE(y[6], uint8_t(126));
    QCOMPARE(uv, std::vector<uint8_t>(4, 128));

    // Half red, half blue in one block: chroma of the mean colour (127, 0, 127).
    QImage mixed = filled(QSize(2, 2), Qt::red);
    mixed.setPixel(1, 0, qRgb(0, 0, 255));
    mixed.setPixel(0, 1, qRgb(0, 0, 255));
    std::vector<uint8_t> y2(4), uv2(2);
    Nv12::fromRgb32(mixed, {y2.data(), 2, uv2.data(), 2, 2, 2}, Nv12::kBt601);
    QCOMPARE(int(uv2[0]), ((-38 * 128 + 112 * 128 + 128) >> 8) + 128);
    QCOMPARE(int(uv2[1]), ((112 * 128 - 18 * 128 + 128) >> 8) + 128);
}

void TestRecording::invalidStartIsRefused_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("fps");
    QTest::addColumn<bool>("whileRecording");
    QTest::newRow("fps 0") << QSize(640, 480) << 0 << false;
    QTest::newRow("negative fps") << QSize(640, 480) << -5 << false;
    QTest::newRow("empty size") << QSize(0, 480) << 30 << false;
    QTest::newRow("invalid size") << QSize() << 30 << false;
    QTest::newRow("fps 0 while recording") << QSize(640, 480) << 0 << true;
}

void TestRecording::invalidStartIsRefused()
{
    QFETCH(QSize, size);
    QFETCH(int, fps);
    QFETCH(bool, whileRecording);
    VideoRecorder recorder;
    QSignalSpy errors(&recorder, &VideoRecorder::error);
    QSignalSpy stopped(&recorder, &VideoRecorder::recordingStopped);
    const QString running = m_dir + "/running.mp4";
    if (whileRecording) {
        recorder.start(running, QSize(320, 240), 10);
        recorder.writeFrame(filled(QSize(320, 240), Qt::gray));
    }
    recorder.start(m_dir + "/refused.mp4", size, fps);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QString("无效的帧尺寸或帧率"));
    QCOMPARE(recorder.isRecording(), whileRecording);
    QVERIFY(!QFileInfo::exists(m_dir + "/refused.mp4"));
    if (whileRecording) {
        recorder.stop();
        QTRY_COMPARE(stopped.count(), 1);
        QCOMPARE(stopped.at(0).at(0).toString(), running);
        QCOMPARE(probeStream(running).value("nb_read_frames").toString(), QString("1"));
    }
    QCOMPARE(errors.count(), 1);
}

void TestRecording::fileProperties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("fps");
    QTest::addColumn<QByteArray>("inputEnv");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("colourSpace");
    QTest::addColumn<QSize>("encoded");
    QTest::newRow("1080p NV12 BT.709")
        << "hd.mp4" << QSize(1920, 1080) << 10 << QByteArray() << "NV12"
        << "bt709" << QSize(1920, 1080);
    QTest::newRow("576p NV12 BT.601") << "sd.mp4" << QSize(720, 576) << 25 << QByteArray() << "NV12"
                                      << "smpte170m" << QSize(720, 576);
    QTest::newRow("odd width RGB32")
        << "odd.mp4" << QSize(1921, 1080) << 10 << QByteArray() << "RGB32"
        << "bt709" << QSize(1922, 1080);
    QTest::newRow("forced RGB32") << "forced.mp4" << QSize(640, 480) << 30 << QByteArray("rgb32")
                                  << "RGB32"
                                  << "smpte170m" << QSize(640, 480);
    QTest::newRow("other env value")
        << "other.mp4" << QSize(640, 480) << 30 << QByteArray("RGB") << "NV12"
        << "smpte170m" << QSize(640, 480);
    QTest::newRow("AVI") << "clip.avi" << QSize(640, 480) << 15 << QByteArray() << "NV12"
                         << "smpte170m" << QSize(640, 480);
}

// ffprobe reads back the codec, profile, pixel format, size, colour matrix, frame count, rate
// and a duration that matches the frames handed over.
void TestRecording::fileProperties()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(int, fps);
    QFETCH(QByteArray, inputEnv);
    QFETCH(QString, input);
    QFETCH(QString, colourSpace);
    QFETCH(QSize, encoded);
    if (inputEnv.isEmpty())
        qunsetenv("QUORIX_REC_INPUT");
    else
        qputenv("QUORIX_REC_INPUT", inputEnv);

    const QString path = m_dir + "/" + name;
    const int count = 15;
    s_log.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureLog);
    double span = 0;
    {
        VideoRecorder recorder;
        QSignalSpy stopped(&recorder, &VideoRecorder::recordingStopped);
        recorder.start(path, size, fps);
        QVERIFY(recorder.isRecording());
        span = feedAtRate(recorder, size, fps, count);
        recorder.stop();
        QVERIFY(!recorder.isRecording());
        QTRY_COMPARE(stopped.count(), 1);
        QCOMPARE(stopped.at(0).at(0).toString(), path);
    }
    qInstallMessageHandler(previous);
    qunsetenv("QUORIX_REC_INPUT");
    QVERIFY2(s_log.filter(input + " input").size() == 1, qPrintable(s_log.join('\n')));

    const QJsonObject stream = probeStream(path);
    QCOMPARE(stream.value("codec_name").toString(), QString("h264"));
    QCOMPARE(stream.value("profile").toString(), QString("High"));
    QVERIFY(QStringList({"yuv420p", "nv12"}).contains(stream.value("pix_fmt").toString()));
    QCOMPARE(QSize(stream.value("width").toInt(), stream.value("height").toInt()), encoded);
    QCOMPARE(stream.value("color_space").toString(), colourSpace);
    QCOMPARE(stream.value("color_range").toString(), QString("tv"));

    const int frames = stream.value("nb_read_frames").toString().toInt();
    QVERIFY2(frames >= count - 1 && frames <= count, qPrintable(QString::number(frames)));
    const double frameTime = 1.0 / fps;
    const double duration = stream.value("duration").toString().toDouble();
    QVERIFY2(qAbs(duration - frames * frameTime) <= frameTime + 0.005,
             qPrintable(QString("duration %1, %2 frames").arg(duration).arg(frames)));
    QVERIFY2(qAbs(duration - (span + frameTime)) <= 1.5 * frameTime,
             qPrintable(QString("duration %1, handed over in %2 s").arg(duration).arg(span)));
    QCOMPARE(stream.value("r_frame_rate").toString(), QString("%1/1").arg(fps));
}

// Frames handed over at twice the file's rate: about every second one is written, at the
// file's rate, and the duration follows the clock.
void TestRecording::pacingCapsTheRate()
{
    const QString path = m_dir + "/paced.mp4";
    const QSize size(320, 240);
    const int fps = 10, count = 40;
    double span = 0;
    {
        VideoRecorder recorder;
        recorder.start(path, size, fps);
        span = feedAtRate(recorder, size, 2 * fps, count);
        recorder.stop();
    }
    const QJsonObject stream = probeStream(path);
    const int frames = stream.value("nb_read_frames").toString().toInt();
    QVERIFY2(frames >= 14 && frames <= 22, qPrintable(QString::number(frames)));
    QCOMPARE(stream.value("r_frame_rate").toString(), QString("10/1"));
    const double duration = stream.value("duration").toString().toDouble();
    QVERIFY2(qAbs(duration - (span + 0.1)) <= 0.25,
             qPrintable(QString("duration %1, handed over in %2 s").arg(duration).arg(span)));
}

// Frames handed over while the worker waits for its turn replace each other: of a red and a
// blue frame handed over within one frame time, only the blue one reaches the file.
void TestRecording::onlyNewestFrameIsWritten()
{
    const QString path = m_dir + "/newest.mp4";
    const QSize size(320, 240);
    VideoRecorder recorder;
    recorder.start(path, size, 1);
    QTest::qWait(300);
    recorder.writeFrame(filled(size, Qt::gray));
    QTest::qWait(100);
    const QImage red = filled(size, Qt::red), blue = filled(size, Qt::blue);
    recorder.writeFrame(red);
    recorder.writeFrame(blue);
    // Past half a frame, so the stop writes the waiting frame instead of dropping it.
    QTest::qWait(600);
    recorder.stop();

    const std::vector<QByteArray> frames = decodeFrames(path, size, "rgb24", 3);
    QCOMPARE(frames.size(), size_t(2));
    // Sample far from the time stamp.
    const int centre = (120 * 320 + 160) * 3;
    const auto pixel = [&](size_t f) {
        return QColor(uint8_t(frames[f][centre]), uint8_t(frames[f][centre + 1]),
                      uint8_t(frames[f][centre + 2]));
    };
    QVERIFY(pixel(0).saturation() < 20);
    QVERIFY2(pixel(1).blue() > 200 && pixel(1).red() < 50, qPrintable(pixel(1).name()));
}

void TestRecording::frameOfOtherSizeIsIgnored()
{
    const QString path = m_dir + "/sizes.mp4";
    const QSize size(320, 240);
    VideoRecorder recorder;
    recorder.start(path, size, 30);
    recorder.writeFrame(filled(size, Qt::gray));
    QTest::qWait(200);
    recorder.writeFrame(filled(QSize(321, 240), Qt::red));
    recorder.writeFrame(filled(QSize(160, 120), Qt::red));
    recorder.writeFrame(QImage());
    QTest::qWait(200);
    recorder.stop();
    QCOMPARE(probeStream(path).value("nb_read_frames").toString(), QString("1"));
}

void TestRecording::timeStampInTopLeftCorner_data()
{
    QTest::addColumn<QByteArray>("inputEnv");
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("NV12 from RGB32") << QByteArray() << QImage::Format_RGB32;
    QTest::newRow("NV12 from grey") << QByteArray() << QImage::Format_Grayscale8;
    QTest::newRow("NV12 from RGB888") << QByteArray() << QImage::Format_RGB888;
    QTest::newRow("RGB32 input") << QByteArray("rgb32") << QImage::Format_RGB32;
}

// The first decoded frame carries bright text with a dark shadow in its top-left corner; the rest
// of the frame keeps the plain grey it was given.
void TestRecording::timeStampInTopLeftCorner()
{
    QFETCH(QByteArray, inputEnv);
    QFETCH(QImage::Format, format);
    if (!inputEnv.isEmpty())
        qputenv("QUORIX_REC_INPUT", inputEnv);
    const QString path = m_dir + "/stamp.mp4";
    const QSize size(640, 480);
    {
        VideoRecorder recorder;
        recorder.start(path, size, 10);
        recorder.writeFrame(filled(size, QColor(128, 128, 128), format));
        QTest::qWait(150);
        recorder.stop();
    }
    qunsetenv("QUORIX_REC_INPUT");

    const std::vector<QByteArray> frames = decodeFrames(path, size, "gray", 1);
    QVERIFY(!frames.empty());
    const QByteArray &frame = frames.front();
    const auto at = [&](int x, int y) { return int(uint8_t(frame[y * size.width() + x])); };
    int bright = 0, dark = 0, changedOutside = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const bool corner = x < 320 && y < 48;
            if (corner) {
                bright += at(x, y) > 200;
                dark += at(x, y) < 60;
            } else {
                changedOutside += qAbs(at(x, y) - 128) > 12;
            }
        }
    }
    QVERIFY2(bright > 150, qPrintable(QString::number(bright)));
    QVERIFY2(dark > 100, qPrintable(QString::number(dark)));
    QCOMPARE(changedOutside, 0);
}

void TestRecording::unusableFileIsReported_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing folder") << "/missing-folder/video.mp4";
    QTest::newRow("folder in the way") << "FOLDER";
    QTest::newRow("unknown container") << "video.unknownext";
}

// The error names the failure; the recorder stays in the recording state without a file, drops
// frames, and its stop announces no file.
void TestRecording::unusableFileIsReported()
{
    QFETCH(QString, path);
    if (path == "FOLDER") {
        path = m_dir + "/folder.mp4";
        QVERIFY(QDir().mkpath(path));
    } else if (!path.startsWith('/')) {
        path = m_dir + "/" + path;
    }
    VideoRecorder recorder;
    QSignalSpy errors(&recorder, &VideoRecorder::error);
    QSignalSpy stopped(&recorder, &VideoRecorder::recordingStopped);
    recorder.start(path, QSize(320, 240), 10);
    QTRY_COMPARE(errors.count(), 1);
    QVERIFY2(errors.at(0).at(0).toString().startsWith("无法创建视频文件: 0x"),
             qPrintable(errors.at(0).at(0).toString()));
    QVERIFY(recorder.isRecording());
    recorder.writeFrame(filled(QSize(320, 240), Qt::gray));
    recorder.stop();
    QVERIFY(!recorder.isRecording());
    QTest::qWait(50);
    QCOMPARE(stopped.count(), 0);
    QCOMPARE(errors.count(), 1);
}

// A recording process killed without warning leaves every completed fragment playable.
void TestRecording::killedRecordingStaysPlayable()
{
    const QString path = m_dir + "/killed.mp4";
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--record-until-killed", path});
    QVERIFY(child.waitForReadyRead(20000));
    QVERIFY(child.readAllStandardOutput().contains("recording"));
    QTest::qWait(3000);
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                            "frame=pts_time", "-of", "csv=p=0", path});
    QVERIFY(probe.waitForFinished(60000));
    const QList<QByteArray> times = probe.readAllStandardOutput().trimmed().split('\n');
    QVERIFY2(times.size() >= 55, qPrintable(QString::number(times.size())));
    QVERIFY2(times.last().toDouble() >= 1.95, times.last().constData());
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--record-until-killed")
        return recordUntilKilled(QString::fromLocal8Bit(argv[2]));
    TestRecording test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recording.moc"
