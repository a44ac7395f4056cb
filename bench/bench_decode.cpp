// bench_decode.cpp: cost per frame of our MJPG and H.264 decoders against the ffmpeg program
// decoding the same packets.
//
// Two kinds of packets are made at start-up: the demo camera's own (its drifting stage micrometer,
// MJPG 3840x2160 and 1920x1080 through its JPEG encoder, without Huffman tables as cameras send
// them, H.264 1920x1080 through its loop
// encoder), and a noisier sensor-like specimen in MJPG that costs more to decode. Our decoders
// are timed in process CPU seconds (all threads); the reference is the CPU time of
// `ffmpeg ... -f null -` as a child process, taken as the difference between decoding 2N and N
// frames so that its start-up cost drops out. A summary with the median of the repetitions and
// the ratio to the reference is printed at the end.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

#include "camera/DemoEncoders.h"
#include "camera/DemoSpecimen.h"
#include "camera/FfmpegDecoder.h"
#include "camera/TurboJpegDecoder.h"

extern "C" {
#include <libavutil/log.h>
}

extern char **environ;

namespace {

constexpr int kDistinctFrames = 8;

// A sensor-like picture: smooth illumination, fine texture, strong pixel noise, dark round cells
// and a ruler of ticks, drifting a little from frame to frame so that packets differ.
QImage noisySpecimen(int width, int height, int index)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 seed = 0x9E3779B9u * quint32(index + 1);
    const int shift = index * 3;
    const int cell = std::max(24, width / 40);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int((seed >> 24) % 13) - 6;
            const int sx = x + shift;
            const double light = 150.0 + 60.0 * std::sin(sx * 0.0015) * std::cos(y * 0.002);
            const double texture = 12.0 * std::sin(sx * 0.09 + y * 0.05);
            const int cx = sx % (2 * cell) - cell, cy = y % (2 * cell) - cell;
            const bool inCell = cx * cx + cy * cy < (cell * cell) / 3;
            const bool tick = (y > height / 2 - 40 && y < height / 2 + 40 && sx % 40 < 3);
            int v = int(light + texture) + noise;
            if (inCell)
                v -= 60;
            if (tick)
                v = 20 + noise;
            const int r = qBound(0, v + 10, 255), g = qBound(0, v, 255),
                      b = qBound(0, v - 20 + (inCell ? 40 : 0), 255);
            line[x] = qRgb(r, g, b);
        }
    }
    return image;
}

std::vector<QByteArray> noisyMjpgPackets(int width, int height)
{
    std::vector<QByteArray> packets;
    for (int i = 0; i < kDistinctFrames; ++i)
        packets.push_back(DemoEncoders::encodeMjpegFrame(noisySpecimen(width, height, i)));
    return packets;
}

// The demo camera's drifting stage with its default picture settings.
QList<QImage> demoPictures(int width, int height, int count)
{
    const int margin = 40;
    const QImage stage = DemoSpecimen::renderStage(width, height, margin);
    QList<QImage> pictures;
    for (int step = 0; step < count; ++step) {
        QImage picture =
            stage.copy(QRect(DemoSpecimen::driftOffset(step, margin), QSize(width, height)));
        DemoSpecimen::applySettings(&picture, DemoSpecimen::Settings(), step);
        pictures << picture;
    }
    return pictures;
}

std::vector<QByteArray> demoMjpgPackets(int width, int height)
{
    std::vector<QByteArray> packets;
    for (const QImage &picture : demoPictures(width, height, kDistinctFrames))
        packets.push_back(DemoEncoders::encodeMjpegFrame(picture));
    return packets;
}

std::vector<QByteArray> demoH264Packets(int width, int height)
{
    QList<QByteArray> loop;
    QString error;
    if (!DemoEncoders::encodeH264Loop(demoPictures(width, height, 30), 30, &loop, &error))
        std::fprintf(stderr, "H.264 packets: %s\n", qPrintable(error));
    return std::vector<QByteArray>(loop.begin(), loop.end());
}

struct Stream
{
    const char *name;
    FfmpegDecoder::Codec codec;
    int width;
    int height;
    std::vector<QByteArray> packets;
};

std::vector<Stream> &streams()
{
    static std::vector<Stream> all;
    return all;
}

void prepareStreams()
{
    using Codec = FfmpegDecoder::Codec;
    streams().push_back({"demo MJPG 4K", Codec::Mjpeg, 3840, 2160, demoMjpgPackets(3840, 2160)});
    streams().push_back({"demo MJPG 1080p", Codec::Mjpeg, 1920, 1080, demoMjpgPackets(1920, 1080)});
    streams().push_back({"demo H264 1080p", Codec::H264, 1920, 1080, demoH264Packets(1920, 1080)});
    streams().push_back({"noisy MJPG 4K", Codec::Mjpeg, 3840, 2160, noisyMjpgPackets(3840, 2160)});
    streams().push_back(
        {"noisy MJPG 1080p", Codec::Mjpeg, 1920, 1080, noisyMjpgPackets(1920, 1080)});
    for (const Stream &s : streams()) {
        qint64 bytes = 0;
        for (const QByteArray &p : s.packets)
            bytes += p.size();
        std::printf("%s: %zu packets, %.0f KB each on average\n", s.name, s.packets.size(),
                    s.packets.empty() ? 0.0 : bytes / 1024.0 / double(s.packets.size()));
    }
}

// One decoder configuration as the camera's decode paths set it up.
enum class Path { PreviewFfmpegLowres, PreviewTurbo, FullResolution, FullResolutionRecording };

void decodeFrames(benchmark::State &state, int streamIndex, Path path)
{
    const Stream &stream = streams()[size_t(streamIndex)];
    if (stream.packets.empty()) {
        state.SkipWithError("no packets (encoder missing)");
        return;
    }
    FfmpegDecoder decoder;
    TurboJpegDecoder turbo;
    turbo.setPreviewSize(4, QSize(960, 540));
    bool opened = true;
    if (stream.codec == FfmpegDecoder::Codec::Mjpeg) {
        switch (path) {
        case Path::PreviewFfmpegLowres:
            decoder.setMjpegThreads(1);
            opened = decoder.open(stream.codec, stream.width, stream.height, false, 2);
            decoder.setTargetSize(960, 540);
            break;
        case Path::PreviewTurbo:
            break;
        case Path::FullResolution:
            decoder.setMjpegThreads(1);
            opened = decoder.open(stream.codec, stream.width, stream.height, false, 0);
            break;
        case Path::FullResolutionRecording:
            decoder.setMjpegThreads(2);
            opened = decoder.open(stream.codec, stream.width, stream.height, false, 0);
            break;
        }
    } else {
        decoder.setH26xThreads(2);
        decoder.setLowDelay(true);
        opened = decoder.open(stream.codec, stream.width, stream.height, false, 0);
    }
    if (!opened) {
        state.SkipWithError("decoder did not open");
        return;
    }
    size_t next = 0;
    qint64 pictures = 0;
    for (auto _ : state) {
        const QByteArray &packet = stream.packets[next];
        next = (next + 1) % stream.packets.size();
        QImage picture;
        if (path == Path::PreviewTurbo && stream.codec == FfmpegDecoder::Codec::Mjpeg) {
            if (turbo.decodePreview(packet, &picture))
                ++pictures;
        } else {
            bool again = false;
            while (!decoder.sendPacket(packet)) {
                if (!decoder.receiveFrame(&picture, &again))
                    break;
                ++pictures;
            }
            while (decoder.receiveFrame(&picture, &again))
                ++pictures;
        }
        benchmark::DoNotOptimize(picture);
    }
    state.SetItemsProcessed(pictures);
}

double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs ffmpeg on the file; returns its CPU seconds, or a negative value when it failed.
// How the ffmpeg program is asked to decode: plainly, at a quarter size, or plainly and then
// converted to 32-bit BGRA as our decoder's output is.
enum class Reference { Plain, Lowres, ToBgra };

double runFfmpeg(const QString &file, const char *format, Reference mode)
{
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-nostdin", "-v", "error"};
    if (mode == Reference::Lowres) {
        args.push_back("-lowres");
        args.push_back("2");
    }
    for (const char *a : {"-f", format, "-i"})
        args.push_back(a);
    args.push_back(file.toStdString());
    if (mode == Reference::ToBgra) {
        args.push_back("-pix_fmt");
        args.push_back("bgra");
    }
    for (const char *a : {"-f", "null", "-"})
        args.push_back(a);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const double before = childCpuSeconds();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0)
        return -1.0;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1.0;
    return childCpuSeconds() - before;
}

// The ffmpeg program decoding the same packets: CPU per frame from 2N minus N frames.
void referenceFfmpeg(benchmark::State &state, int streamIndex, Reference mode)
{
    const Stream &stream = streams()[size_t(streamIndex)];
    if (stream.packets.empty() || QStandardPaths::findExecutable("ffmpeg").isEmpty()) {
        state.SkipWithError("ffmpeg program or packets missing");
        return;
    }
    QTemporaryDir dir;
    const int perPass = stream.codec == FfmpegDecoder::Codec::Mjpeg ? 4 : 1;
    auto write = [&](const QString &name, int passes) {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        for (int pass = 0; pass < passes; ++pass)
            for (const QByteArray &p : stream.packets)
                file.write(p);
        return file.fileName();
    };
    const QString single = write("single", perPass);
    const QString twice = write("twice", 2 * perPass);
    const int frames = int(stream.packets.size()) * perPass;
    const char *format = stream.codec == FfmpegDecoder::Codec::Mjpeg ? "mjpeg" : "h264";
    for (auto _ : state) {
        const double one = runFfmpeg(single, format, mode);
        const double two = runFfmpeg(twice, format, mode);
        if (one < 0 || two < 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.SetIterationTime(std::max(0.0, two - one) / frames);
    }
}

// Collects the medians of the repetitions for the closing summary.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.aggregate_name != "median" || run.error_occurred)
                continue;
            std::string name = run.benchmark_name();
            name = name.substr(0, name.find('/'));
            const double iterationsTime = run.GetAdjustedRealTime();
            medians[name] = {run.GetAdjustedCPUTime(), iterationsTime};
        }
    }
    // name -> {CPU ms per frame, wall ms per frame}
    std::map<std::string, std::pair<double, double>> medians;
};

} // namespace

int main(int argc, char **argv)
{
    // The demo stage is drawn with text: a GUI application, on no screen unless one is asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    // The decoders announce every open; only warnings matter here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    benchmark::Initialize(&argc, argv);
    prepareStreams();

    // Our paths on every stream, each paired with the ffmpeg program on the same packets.
    struct Case
    {
        int stream;
        Path path;
        const char *what;
    };
    std::vector<Case> ours;
    for (int stream : {0, 1, 3, 4}) {
        ours.push_back(
            {stream, Path::PreviewFfmpegLowres, "preview, FFmpeg lowres 2 + fit 960x540"});
        ours.push_back({stream, Path::PreviewTurbo, "preview, libjpeg-turbo at 960x540"});
        ours.push_back({stream, Path::FullResolution, "full resolution, 1 thread"});
    }
    ours.push_back({0, Path::FullResolutionRecording, "full resolution, 2 threads (recording)"});
    ours.push_back({2, Path::FullResolution, "2 slice threads, low delay"});

    // MJPG paths against plain or quarter-size decoding; H.264 (a full-size RGB picture per
    // packet) against decoding plus conversion to BGRA.
    auto referenceFor = [](const Case &c) {
        const Stream &stream = streams()[size_t(c.stream)];
        if (stream.codec != FfmpegDecoder::Codec::Mjpeg)
            return std::make_pair(std::string("reference: ffmpeg -pix_fmt bgra, ") + stream.name,
                                  Reference::ToBgra);
        if (c.path == Path::PreviewFfmpegLowres || c.path == Path::PreviewTurbo)
            return std::make_pair(std::string("reference: ffmpeg -lowres 2, ") + stream.name,
                                  Reference::Lowres);
        return std::make_pair(std::string("reference: ffmpeg, ") + stream.name, Reference::Plain);
    };
    std::vector<std::pair<std::string, std::string>> pairs;
    std::map<std::string, std::pair<int, Reference>> references;
    for (const Case &c : ours) {
        const std::string name = std::string(streams()[size_t(c.stream)].name) + " " + c.what;
        benchmark::RegisterBenchmark(name.c_str(), decodeFrames, c.stream, c.path)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->UseRealTime()
            ->MinTime(1.0)
            ->Repetitions(5)
            ->ReportAggregatesOnly();
        const auto [reference, mode] = referenceFor(c);
        pairs.emplace_back(name, reference);
        references[reference] = {c.stream, mode};
    }
    for (const auto &[name, what] : references)
        benchmark::RegisterBenchmark(name.c_str(), referenceFfmpeg, what.first, what.second)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(5)
            ->ReportAggregatesOnly();

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nMedian of 5 repetitions, per frame (reference: CPU of the ffmpeg program)\n");
    std::printf("%-60s %8s %8s %8s %8s %6s\n", "path", "CPU ms", "wall ms", "fps/wall", "ref ms",
                "ratio");
    for (const auto &[mine, reference] : pairs) {
        const auto m = reporter.medians.find(mine);
        const auto r = reporter.medians.find(reference);
        if (m == reporter.medians.end())
            continue;
        const double refMs = r == reporter.medians.end() ? 0.0 : r->second.second;
        std::printf("%-60s %8.2f %8.2f %8.1f %8.2f %6.2f\n", mine.c_str(), m->second.first,
                    m->second.second, 1000.0 / m->second.second, refMs,
                    refMs > 0 ? m->second.first / refMs : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
