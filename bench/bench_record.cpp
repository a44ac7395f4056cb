// Recording costs, each next to a reference measured in the same run: our parallel RGB32 to NV12
// conversion against libswscale; the writer's whole per-frame work (conversion, time stamp,
// libx264) against the ffmpeg command line encoding the same frames with the same preset; and
// 20 seconds of real-time recording at 30 fps with the camera's MJPG decode running beside it.
// Arguments of the encoding benchmarks: size index (0 = 1920x1080, 1 = 3840x2160), preset index.
#include <benchmark/benchmark.h>

#include "recording/Nv12Convert.h"
#include "recording/TimeStamp.h"
#include "recording/VideoFileWriter.h"
#include "recording/VideoRecorder.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cmath>
#include <ctime>
#include <map>
#include <sys/resource.h>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace {

const QSize kSizes[] = {{1920, 1080}, {3840, 2160}};
const char *const kPresets[] = {"ultrafast", "superfast", "veryfast"};
constexpr int kClipFrames = 30; // distinct frames, played in a loop
constexpr int kEncodeFrames = 90;
constexpr int kFps = 30;

QTemporaryDir &tempDir()
{
    static QTemporaryDir dir;
    return dir;
}

// A specimen-like picture: a textured background drifting slowly, cells moving across it.
QImage renderFrame(const QSize &size, int index)
{
    static std::map<int, QImage> textures;
    QImage &texture = textures[size.width()];
    if (texture.isNull()) {
        texture = QImage(size + QSize(64, 64), QImage::Format_RGB32);
        for (int y = 0; y < texture.height(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(texture.scanLine(y));
            for (int x = 0; x < texture.width(); ++x) {
                const double v = 0.5 + 0.25 * std::sin(x * 0.031 + std::sin(y * 0.017) * 3) +
                                 0.25 * std::sin(y * 0.023 + x * 0.007);
                const int noise = int((x * 7919 + y * 104729) % 23) - 11;
                const int g = std::clamp(int(60 + 150 * v) + noise, 0, 255);
                line[x] = qRgb(std::clamp(g + 20, 0, 255), g, std::clamp(g - 30, 0, 255));
            }
        }
    }
    QImage frame(size, QImage::Format_RGB32);
    QPainter painter(&frame);
    painter.drawImage(QPoint(-(index % 64), -(index / 2 % 64)), texture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(30, 60, 30), 3));
    painter.setBrush(QColor(120, 200, 120, 160));
    for (int c = 0; c < 12; ++c) {
        const int r = size.height() / 20 + c * 3;
        const QPoint centre((c * size.width() / 12 + index * (c + 3)) % size.width(),
                            (c * 397 + index * (c % 4 + 1)) % size.height());
        painter.drawEllipse(centre, r, r * 3 / 4);
    }
    painter.setPen(QPen(Qt::black, 2));
    for (int t = 0; t <= 100; ++t) {
        const int x = size.width() / 8 + t * size.width() * 3 / 400;
        painter.drawLine(x, size.height() * 4 / 5, x, size.height() * 4 / 5 - (t % 10 ? 20 : 50));
    }
    return frame;
}

struct Clip
{
    std::vector<QImage> frames;    // RGB32
    std::vector<QByteArray> jpegs; // the same frames as the camera's MJPG packets
    QString rawNv12;               // the same frames as NV12, for the command line
};

Clip &clip(const QSize &size)
{
    static std::map<int, Clip> clips;
    Clip &c = clips[size.width()];
    if (!c.frames.empty())
        return c;
    c.rawNv12 = tempDir().filePath(QString("clip_%1.nv12").arg(size.width()));
    QFile raw(c.rawNv12);
    raw.open(QIODevice::WriteOnly);
    std::vector<uint8_t> nv12(size_t(size.width()) * size.height() * 3 / 2);
    const Nv12::Planes planes{
        nv12.data(),  size.width(), nv12.data() + size.width() * size.height(),
        size.width(), size.width(), size.height()};
    for (int i = 0; i < kClipFrames; ++i) {
        c.frames.push_back(renderFrame(size, i));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        c.frames.back().save(&buffer, "JPG", 90);
        c.jpegs.push_back(jpeg);
        Nv12::fromRgb32(c.frames.back(), planes, Nv12::kBt709);
        raw.write(reinterpret_cast<const char *>(nv12.data()), qint64(nv12.size()));
    }
    return c;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

int countFrames(const QString &path)
{
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-count_packets",
                            "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", path});
    probe.waitForFinished(120000);
    return probe.readAllStandardOutput().trimmed().toInt();
}

void BM_Nv12FromRgb32(benchmark::State &state)
{
    const QSize size = kSizes[state.range(0)];
    const QImage &frame = clip(size).frames.front();
    std::vector<uint8_t> nv12(size_t(size.width()) * size.height() * 3 / 2);
    const Nv12::Planes planes{
        nv12.data(),  size.width(), nv12.data() + size.width() * size.height(),
        size.width(), size.width(), size.height()};
    for (auto _ : state) {
        Nv12::fromRgb32(frame, planes, Nv12::kBt709);
        benchmark::DoNotOptimize(nv12.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Nv12FromRgb32)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Reference: libswscale's BGRA to NV12 with the same matrix and range.
void BM_SwscaleToNv12(benchmark::State &state)
{
    const QSize size = kSizes[state.range(0)];
    const QImage &frame = clip(size).frames.front();
    SwsContext *sws =
        sws_getContext(size.width(), size.height(), AV_PIX_FMT_BGRA, size.width(), size.height(),
                       AV_PIX_FMT_NV12, SWS_BILINEAR, nullptr, nullptr, nullptr);
    sws_setColorspaceDetails(sws, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    std::vector<uint8_t> nv12(size_t(size.width()) * size.height() * 3 / 2);
    uint8_t *dst[2] = {nv12.data(), nv12.data() + size.width() * size.height()};
    const int dstStride[2] = {size.width(), size.width()};
    const uint8_t *src[1] = {frame.constBits()};
    const int srcStride[1] = {int(frame.bytesPerLine())};
    for (auto _ : state) {
        sws_scale(sws, src, srcStride, 0, size.height(), dst, dstStride);
        benchmark::DoNotOptimize(nv12.data());
    }
    sws_freeContext(sws);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SwscaleToNv12)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_TimeStampBlend(benchmark::State &state)
{
    const QSize size = kSizes[0];
    std::vector<uint8_t> nv12(size_t(size.width()) * size.height() * 3 / 2, 128);
    const Nv12::Planes planes{
        nv12.data(),  size.width(), nv12.data() + size.width() * size.height(),
        size.width(), size.width(), size.height()};
    for (auto _ : state)
        TimeStamp::blend(planes, TimeStamp::text(QDateTime::currentDateTime()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TimeStampBlend)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Everything the worker does per frame, as fast as it can: conversion, stamp, encode, mux.
void BM_WriterEncode(benchmark::State &state)
{
    const QSize size = kSizes[state.range(0)];
    const char *preset = kPresets[state.range(1)];
    Clip &c = clip(size);
    const QString path = tempDir().filePath("writer.mp4");
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        VideoFileWriter writer;
        VideoFileWriter::Options options;
        options.path = path;
        options.size = size;
        options.fps = kFps;
        options.preset = preset;
        QString error;
        if (writer.open(options, &error) != VideoFileWriter::OpenResult::Ok) {
            state.SkipWithError(error.toUtf8().constData());
            return;
        }
        for (int i = 0; i < kEncodeFrames; ++i) {
            Nv12::Planes planes;
            writer.nv12Planes(&planes, &error);
            Nv12::fromRgb32(c.frames[size_t(i % kClipFrames)], planes, Nv12::kBt709);
            TimeStamp::blend(planes, TimeStamp::text(QDateTime::currentDateTime()));
            writer.writeNv12(int64_t(i) * 10000000 / kFps, &error);
        }
        writer.close(&error);
    }
    const double frames = double(kEncodeFrames) * state.iterations();
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] = (processCpuSeconds() - cpuBefore) * 1000 / frames;
}

// Reference: the ffmpeg command line encoding the same frames (already NV12) with the same
// preset, thread count, bit rate, key-frame interval and fragmented MP4 output.
void BM_CommandLineEncode(benchmark::State &state)
{
    const QSize size = kSizes[state.range(0)];
    const char *preset = kPresets[state.range(1)];
    Clip &c = clip(size);
    const QString bitRate = QString::number(qint64(size.width()) * size.height() * kFps / 6);
    const QStringList arguments{"-v",
                                "error",
                                "-y",
                                "-f",
                                "rawvideo",
                                "-pix_fmt",
                                "nv12",
                                "-s",
                                QString("%1x%2").arg(size.width()).arg(size.height()),
                                "-r",
                                QString::number(kFps),
                                "-stream_loop",
                                QString::number(kEncodeFrames / kClipFrames - 1),
                                "-i",
                                c.rawNv12,
                                "-c:v",
                                "libx264",
                                "-preset",
                                preset,
                                "-profile:v",
                                "high",
                                "-x264-params",
                                "8x8dct=1",
                                "-threads",
                                "2",
                                "-b:v",
                                bitRate,
                                "-g",
                                QString::number(kFps),
                                "-movflags",
                                "+frag_keyframe+empty_moov+default_base_moof",
                                tempDir().filePath("cli.mp4")};
    const double cpuBefore = childrenCpuSeconds();
    for (auto _ : state) {
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", arguments);
        ffmpeg.waitForFinished(-1);
        if (ffmpeg.exitCode() != 0) {
            state.SkipWithError(ffmpeg.readAllStandardError().constData());
            return;
        }
    }
    const double frames = double(kEncodeFrames) * state.iterations();
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] = (childrenCpuSeconds() - cpuBefore) * 1000 / frames;
}

void encodeArguments(benchmark::internal::Benchmark *b)
{
    for (int preset = 0; preset < 3; ++preset)
        b->Args({0, preset});
    for (int preset = 0; preset < 2; ++preset)
        b->Args({1, preset});
    b->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_WriterEncode)->Apply(encodeArguments);
BENCHMARK(BM_CommandLineEncode)->Apply(encodeArguments);

// 20 s at 30 fps through the recorder, fed by a thread that decodes the MJPG packets at full
// resolution as the camera does: frames offered, frames written, CPU of the decode and of the
// rest (the recorder's conversion, stamp and encoder).
void BM_RealtimeRecording(benchmark::State &state)
{
    const QSize size = kSizes[state.range(0)];
    const char *preset = kPresets[state.range(1)];
    Clip &c = clip(size);
    const QString path = tempDir().filePath("realtime.mp4");
    constexpr int kSeconds = 20;
    int offered = 0;
    double decodeCpu = 0, processCpu = 0, wall = 0;
    for (auto _ : state) {
        VideoRecorder recorder;
        recorder.setEncoderPreset(preset);
        recorder.start(path, size, kFps);
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        std::thread camera([&] {
            const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
            AVCodecContext *decoder = avcodec_alloc_context3(codec);
            avcodec_open2(decoder, codec, nullptr);
            AVPacket *packet = av_packet_alloc();
            AVFrame *picture = av_frame_alloc();
            SwsContext *sws = nullptr;
            const double threadCpuBefore = threadCpuSeconds();
            for (int i = 0; i < kSeconds * kFps; ++i) {
                const qint64 due = qint64(i) * 1000000000 / kFps;
                while (clock.nsecsElapsed() < due)
                    QThread::usleep(200);
                const QByteArray &jpeg = c.jpegs[size_t(i % kClipFrames)];
                packet->data = reinterpret_cast<uint8_t *>(const_cast<char *>(jpeg.constData()));
                packet->size = int(jpeg.size());
                if (avcodec_send_packet(decoder, packet) < 0 ||
                    avcodec_receive_frame(decoder, picture) < 0)
                    continue;
                sws = sws_getCachedContext(sws, picture->width, picture->height,
                                           AVPixelFormat(picture->format), size.width(),
                                           size.height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr,
                                           nullptr, nullptr);
                QImage image(size, QImage::Format_RGB32);
                uint8_t *dst[1] = {image.bits()};
                const int dstStride[1] = {int(image.bytesPerLine())};
                sws_scale(sws, picture->data, picture->linesize, 0, picture->height, dst,
                          dstStride);
                recorder.writeFrame(image);
                ++offered;
            }
            decodeCpu += threadCpuSeconds() - threadCpuBefore;
            sws_freeContext(sws);
            av_frame_free(&picture);
            av_packet_free(&packet);
            avcodec_free_context(&decoder);
        });
        camera.join();
        recorder.stop();
        wall += clock.nsecsElapsed() / 1e9;
        processCpu += processCpuSeconds() - cpuBefore;
    }
    const int written = countFrames(path);
    state.counters["offered"] = offered;
    state.counters["written"] = written;
    state.counters["dropped_%"] = offered ? 100.0 * (offered - written) / offered : 0;
    state.counters["decode_cores"] = decodeCpu / wall;
    state.counters["encoder_cores"] = (processCpu - decodeCpu) / wall;
    // Load-independent: the cores that 30 fps of decoding and of recording need.
    state.counters["decode_cores_at_30fps"] = offered ? decodeCpu / offered * kFps : 0;
    state.counters["encoder_cores_at_30fps"] =
        written ? (processCpu - decodeCpu) / written * kFps : 0;
}
BENCHMARK(BM_RealtimeRecording)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
