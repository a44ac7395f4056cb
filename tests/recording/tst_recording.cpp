// Tests of the video recorder: NV12 conversion, the hand-over and the files it writes, judged by
// ffprobe and by frames decoded with the ffmpeg command line.
#include "RecorderTestClock.h"
#include "TestEnv.h"
#include "recording/Nv12Convert.h"
#include "recording/VideoRecorder.h"

#include <QDeadlineTimer>
#include <QDir>
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

#include <atomic>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

namespace {

QImage filled(const QSize &size, QColor colour, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
    image.fill(colour);
    return image;
}

QImage movingFrame(const QSize &size, int index)
{
    QImage image = filled(size, QColor(40, 60, 80));
    QPainter painter(&image);
    painter.setBrush(QColor(220, 180, 40));
    const int r = size.height() / 5;
    painter.drawEllipse(QPoint((index * 7) % size.width(), size.height() / 2), r, r);
    return image;
}

// Waits until the worker has taken the frame handed over last.
bool taken(const VideoRecorder &recorder)
{
    const QDeadlineTimer safety(60000);
    while (recorder.hasWaitingFrame()) {
        if (safety.hasExpired())
            return false;
        QThread::usleep(200);
    }
    return true;
}

// Hands `count` moving frames over, one per frame time of `fps` on the test clock, each once the
// worker has taken the one before; returns the seconds from the first to the last hand-over.
double feedOnGrid(VideoRecorder &recorder, RecorderTestClock &clock, const QSize &size, int fps,
                  int count)
{
    const qint64 period = 1000000000LL / fps;
    for (int i = 0; i < count; ++i) {
        clock.set(i * period);
        recorder.writeFrame(movingFrame(size, i));
        if (!taken(recorder))
            return -1;
    }
    return double((count - 1) * period) / 1e9;
}

QJsonObject probeStream(const QString &path)
{
    QProcess probe;
    probe.start("ffprobe",
                {"-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                 "stream=codec_name,profile,pix_fmt,width,height,color_space,color_range,"
                 "nb_read_frames,r_frame_rate:format=duration",
                 "-of", "json", path});
    probe.waitForFinished(120000);
    const QJsonObject root = QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
    QJsonObject stream = root.value("streams").toArray().first().toObject();
    stream.insert("duration", root.value("format").toObject().value("duration"));
    return stream;
}

// Every frame of the file, decoded by the ffmpeg command line into a raw pixel format.
std::vector<QByteArray> decodeFrames(const QString &path, const QSize &size, const char *format,
                                     int bytesPerPixel)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", format, "-"});
    ffmpeg.waitForFinished(120000);
    const QByteArray all = ffmpeg.readAllStandardOutput();
    const int frameBytes = size.width() * size.height() * bytesPerPixel;
    std::vector<QByteArray> frames;
    for (int offset = 0; offset + frameBytes <= all.size(); offset += frameBytes)
        frames.push_back(all.mid(offset, frameBytes));
    return frames;
}

QStringList s_log;
void captureLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    s_log << message;
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

    QString m_dir;

private slots:
    void initTestCase()
    {
        m_dir = TestEnv::isolate() + "/videos";
        QVERIFY(QDir().mkpath(m_dir));
        qunsetenv("QUORIX_REC_INPUT");
    }

    void conversionMatchesMatrix_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("bt709");
        for (bool hd : {true, false}) {
            for (QColor c : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue),
                             QColor(Qt::white), QColor(Qt::black), QColor(224, 172, 105)})
                QTest::addRow("%s %s", qPrintable(c.name()), hd ? "709" : "601") << c << hd;
        }
    }

    // The integer tables agree with the floating-point definition of each matrix within one step,
    // in planes whose strides are wider than the frame.
    void conversionMatchesMatrix()
    {
        QFETCH(QColor, colour);
        QFETCH(bool, bt709);
        const double kr = bt709 ? 0.2126 : 0.299, kb = bt709 ? 0.0722 : 0.114;
        const double r = colour.red() / 255.0, b = colour.blue() / 255.0;
        const double luma = kr * r + (1 - kr - kb) * colour.green() / 255.0 + kb * b;
        const int y = qRound(16 + 219 * luma);
        const int u = qRound(128 + 112 * (b - luma) / (1 - kb));
        const int v = qRound(128 + 112 * (r - luma) / (1 - kr));

        std::vector<uint8_t> yPlane(8 * 4, 0), uvPlane(10 * 2, 0);
        Nv12::fromRgb32(filled(QSize(6, 4), colour), {yPlane.data(), 8, uvPlane.data(), 10, 6, 4},
                        bt709 ? Nv12::kBt709 : Nv12::kBt601);
        for (int row = 0; row < 4; ++row) {
            for (int x = 0; x < 6; ++x)
                QVERIFY(qAbs(yPlane[size_t(row * 8 + x)] - y) <= 1);
            QCOMPARE(yPlane[size_t(row * 8 + 6)], uint8_t(0)); // stride padding untouched
        }
        for (size_t i : {0, 2, 4, 10, 12, 14}) {
            QVERIFY(qAbs(uvPlane[i] - u) <= 1);
            QVERIFY(qAbs(uvPlane[i + 1] - v) <= 1);
        }
    }

    // A 2x2 block gets the chroma of its mean colour.
    void chromaOfBlockAverage()
    {
        QImage mixed = filled(QSize(2, 2), Qt::red); // half red, half blue: mean (128, 0, 128)
        mixed.setPixel(1, 0, qRgb(0, 0, 255));
        mixed.setPixel(0, 1, qRgb(0, 0, 255));
        std::vector<uint8_t> y2(4), uv2(2);
        Nv12::fromRgb32(mixed, {y2.data(), 2, uv2.data(), 2, 2, 2}, Nv12::kBt601);
        QCOMPARE(uv2, std::vector<uint8_t>({165, 175}));
    }

    void invalidStartIsRefused_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("fps");
        QTest::addColumn<bool>("whileRecording");
        QTest::newRow("fps 0") << QSize(640, 480) << 0 << false;
        QTest::newRow("empty size") << QSize(0, 480) << 30 << false;
        QTest::newRow("fps 0 while recording") << QSize(640, 480) << 0 << true;
    }

    // Refused with the error text and no change of state: a running recording goes on.
    void invalidStartIsRefused()
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
            QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 60000);
            QCOMPARE(probeStream(running).value("nb_read_frames").toString(), QString("1"));
        }
        QCOMPARE(errors.count(), 1);
    }

    void fileProperties_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("fps");
        QTest::addColumn<QByteArray>("inputEnv");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("matrix");
        QTest::addColumn<QSize>("encoded");
        const QSize vga(640, 480);
        QTest::newRow("1080p, relative name with colon")
            << "hd12:30.mp4" << QSize(1920, 1080) << 10 << QByteArray() << "NV12"
            << "bt709" << QSize(1920, 1080);
        QTest::newRow("576p") << "sd.mp4" << QSize(720, 576) << 25 << QByteArray() << "NV12"
                              << "smpte170m" << QSize(720, 576);
        QTest::newRow("odd width")
            << "odd.mp4" << QSize(1921, 1080) << 10 << QByteArray() << "RGB32"
            << "bt709" << QSize(1922, 1080);
        QTest::newRow("forced RGB32") << "forced.mp4" << vga << 30 << QByteArray("rgb32") << "RGB32"
                                      << "smpte170m" << vga;
        QTest::newRow("other env value") << "other.mp4" << vga << 30 << QByteArray("RGB") << "NV12"
                                         << "smpte170m" << vga;
        QTest::newRow("AVI") << "clip.avi" << vga << 15 << QByteArray() << "NV12"
                             << "smpte170m" << vga;
    }

    // ffprobe reads back codec, profile, pixel format, size, colour matrix and range, the rate,
    // and a duration that matches both the frames written and the time they were handed over in.
    void fileProperties()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(int, fps);
        QFETCH(QByteArray, inputEnv);
        QFETCH(QString, input);
        QFETCH(QString, matrix);
        QFETCH(QSize, encoded);
        if (!inputEnv.isEmpty())
            qputenv("QUORIX_REC_INPUT", inputEnv);
        // Recorded by the name as given (relative to the current folder), probed by full path.
        QVERIFY(QDir::setCurrent(m_dir));
        const QString path = m_dir + "/" + name;
        const int count = 15;
        s_log.clear();
        const QtMessageHandler previous = qInstallMessageHandler(captureLog);
        double span = 0;
        {
            RecorderTestClock clock;
            VideoRecorder recorder(nullptr, clock.clock());
            QSignalSpy stopped(&recorder, &VideoRecorder::recordingStopped);
            recorder.start(name, size, fps);
            QVERIFY(recorder.isRecording());
            span = feedOnGrid(recorder, clock, size, fps, count);
            QVERIFY(span > 0);
            recorder.stop();
            QVERIFY(!recorder.isRecording());
            QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 60000);
            QCOMPARE(stopped.at(0).at(0).toString(), name);
        }
        qInstallMessageHandler(previous);
        qunsetenv("QUORIX_REC_INPUT");
        QVERIFY2(s_log.filter(input + " input").size() == 1, qPrintable(s_log.join('\n')));

        const QJsonObject stream = probeStream(path);
        QCOMPARE(stream.value("codec_name").toString(), QString("h264"));
        QCOMPARE(stream.value("profile").toString(), QString("High"));
        QVERIFY(QStringList({"yuv420p", "nv12"}).contains(stream.value("pix_fmt").toString()));
        QCOMPARE(QSize(stream.value("width").toInt(), stream.value("height").toInt()), encoded);
        QCOMPARE(stream.value("color_space").toString(), matrix);
        QCOMPARE(stream.value("color_range").toString(), QString("tv"));
        QCOMPARE(stream.value("r_frame_rate").toString(), QString("%1/1").arg(fps));
        QCOMPARE(stream.value("nb_read_frames").toString().toInt(), count);
        const double frameTime = 1.0 / fps;
        const double duration = stream.value("duration").toString().toDouble();
        const QString got = QString("duration %1 for frames handed over in %2 s").arg(duration);
        QVERIFY2(qAbs(duration - span - frameTime) <= 0.005, qPrintable(got.arg(span)));
    }

    // Frames handed over at twice the file's rate: every second one is written, and the
    // duration follows the clock. The frames between wait and are replaced by the next one.
    void pacingCapsTheRate()
    {
        const QString path = m_dir + "/paced.mp4";
        const qint64 half = 50000000; // half a frame of 10 fps
        {
            RecorderTestClock clock;
            VideoRecorder recorder(nullptr, clock.clock());
            recorder.start(path, QSize(320, 240), 10);
            for (int i = 0; i < 40; ++i) {
                clock.handed = i * half;
                recorder.writeFrame(movingFrame(QSize(320, 240), i));
                if (i % 2 == 0) {
                    clock.seen = i * half; // a whole frame since the last one: due now
                    QVERIFY(taken(recorder));
                }
            }
            QVERIFY(recorder.hasWaitingFrame()); // half a frame early: dropped by the stop
            recorder.stop();
        }
        const QJsonObject stream = probeStream(path);
        QCOMPARE(stream.value("nb_read_frames").toString().toInt(), 20);
        const double duration = stream.value("duration").toString().toDouble();
        QVERIFY2(qAbs(duration - 2.0) <= 0.005, qPrintable(QString::number(duration)));
    }

    // Frames handed over while the worker waits for its turn replace each other (of red and blue
    // only blue is written); frames of another size and null frames are ignored.
    void onlyNewestFrameOfTheRightSizeIsWritten()
    {
        const QString path = m_dir + "/newest.mp4";
        const QSize size(320, 240);
        const QImage red = filled(size, Qt::red), blue = filled(size, Qt::blue);
        RecorderTestClock clock;
        VideoRecorder recorder(nullptr, clock.clock());
        recorder.start(path, size, 1);
        clock.set(300000000);
        recorder.writeFrame(filled(size, Qt::gray));
        QVERIFY(taken(recorder));
        clock.set(400000000);
        recorder.writeFrame(red);
        recorder.writeFrame(blue);
        recorder.writeFrame(filled(QSize(321, 240), Qt::red));
        recorder.writeFrame(filled(QSize(160, 120), Qt::red));
        recorder.writeFrame(QImage());
        QVERIFY(recorder.hasWaitingFrame());
        clock.set(900000000); // past half a frame: the stop writes the waiting frame
        recorder.stop();

        const std::vector<QByteArray> frames = decodeFrames(path, size, "rgb24", 3);
        QCOMPARE(frames.size(), size_t(2));
        const int centre = (120 * 320 + 160) * 3; // far from the time stamp
        const auto pixel = [&](size_t f) {
            return QColor(uint8_t(frames[f][centre]), uint8_t(frames[f][centre + 1]),
                          uint8_t(frames[f][centre + 2]));
        };
        QVERIFY(pixel(0).saturation() < 20);
        QVERIFY2(pixel(1).blue() > 200 && pixel(1).red() < 50, qPrintable(pixel(1).name()));
    }

    void timeStampInTopLeftCorner_data()
    {
        QTest::addColumn<QByteArray>("inputEnv");
        QTest::addColumn<QImage::Format>("format");
        QTest::newRow("NV12 from RGB32") << QByteArray() << QImage::Format_RGB32;
        QTest::newRow("NV12 from grey") << QByteArray() << QImage::Format_Grayscale8;
        QTest::newRow("NV12 from RGB888") << QByteArray() << QImage::Format_RGB888;
        QTest::newRow("RGB32 input") << QByteArray("rgb32") << QImage::Format_RGB32;
    }

    // The first decoded frame carries bright text with a dark shadow in its top-left corner; the
    // rest keeps the plain grey it was given.
    void timeStampInTopLeftCorner()
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
            recorder.stop(); // writes the frame handed over before it
        }
        qunsetenv("QUORIX_REC_INPUT");

        const std::vector<QByteArray> frames = decodeFrames(path, size, "gray", 1);
        QVERIFY(!frames.empty());
        int bright = 0, dark = 0, changedOutside = 0;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const int value = uint8_t(frames.front()[y * size.width() + x]);
                if (x < 320 && y < 48) {
                    bright += value > 200;
                    dark += value < 60;
                } else {
                    changedOutside += qAbs(value - 128) > 12;
                }
            }
        }
        QVERIFY2(bright > 150 && dark > 100, qPrintable(QString("%1 %2").arg(bright).arg(dark)));
        QCOMPARE(changedOutside, 0);
    }

    void failuresAreReportedOnce_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QString create = "无法创建视频文件: 0x";
        QTest::newRow("missing folder") << "/missing-folder/video.mp4" << create;
        QTest::newRow("folder in the way") << "folder.mp4" << create;
        QTest::newRow("unknown container") << "video.unknownext" << create;
        QTest::newRow("device full") << "full.mp4"
                                     << "开始写入失败: 0x";
        QTest::newRow("size limit reached later") << "limited.mp4"
                                                  << "写入帧失败: 0x";
    }

    // One error naming the failure, not one per frame; the recorder stays recording without a
    // file until the stop, which announces nothing.
    void failuresAreReportedOnce()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        const QString path = name.startsWith('/') ? name : m_dir + "/" + name;
        if (name == "folder.mp4")
            QVERIFY(QDir().mkpath(path));
        if (name == "full.mp4")
            QVERIFY(QFile::link("/dev/full", path));
        std::optional<TestEnv::FileSizeLimit> limit;
        if (name == "limited.mp4")
            limit.emplace(16 * 1024);
        RecorderTestClock clock;
        VideoRecorder recorder(nullptr, clock.clock());
        QSignalSpy errors(&recorder, &VideoRecorder::error);
        QSignalSpy stopped(&recorder, &VideoRecorder::recordingStopped);
        recorder.start(path, QSize(320, 240), 30);
        QVERIFY(feedOnGrid(recorder, clock, QSize(320, 240), 30, 45) > 0);
        QVERIFY(recorder.isRecording());
        recorder.stop(); // every error is reported before the worker acknowledges the stop
        limit.reset();
        QCOMPARE(errors.count(), 1);
        QVERIFY2(errors.at(0).at(0).toString().startsWith(text),
                 qPrintable(errors.at(0).at(0).toString()));
        QCOMPARE(stopped.count(), 0);
    }

    // A recording process killed without warning leaves every completed fragment playable.
    void killedRecordingStaysPlayable()
    {
        const QString path = m_dir + "/killed.mp4";
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--record-until-killed", path});
        // The child reports once 3 s of frames have gone into the file.
        QVERIFY(child.waitForReadyRead(120000));
        QCOMPARE(child.readAllStandardOutput(), QByteArray("written\n"));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(300000));

        QProcess probe;
        probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                "frame=pts_time", "-of", "csv=p=0", path});
        QVERIFY(probe.waitForFinished(120000));
        const QList<QByteArray> times = probe.readAllStandardOutput().trimmed().split('\n');
        QVERIFY2(times.size() >= 55, qPrintable(QString::number(times.size())));
        QVERIFY2(times.last().toDouble() >= 1.95, times.last().constData());
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--record-until-killed") {
        // Child of the kill test: records 3 s of 640x360 at 30 fps, says so, and waits to be
        // killed with the file still open.
        RecorderTestClock clock;
        VideoRecorder recorder(nullptr, clock.clock());
        recorder.start(QString::fromLocal8Bit(argv[2]), QSize(640, 360), 30);
        if (feedOnGrid(recorder, clock, QSize(640, 360), 30, 91) < 0)
            return 1;
        std::printf("written\n");
        std::fflush(stdout);
        for (;;)
            QThread::sleep(60);
    }
    TestRecording test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recording.moc"
