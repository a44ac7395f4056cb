// bench_decode.cpp: cost per frame of our MJPG and H.264 decoders against the ffmpeg program
// decoding the same packets.
//
// Packets are encoded at start-up from a synthetic textured specimen (MJPG 3840x2160 and
// 1920x1080, H.264 1920x1080). Our decoders are timed in process CPU seconds (all threads);
// the reference is the CPU time of `ffmpeg ... -f null -` as a child process, taken as the
// difference between decoding 2N and N frames so that its start-up cost drops out. A summary
// with the median of the repetitions and the ratio to the reference is printed at the end.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
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

#include "camera/FfmpegDecoder.h"
#include "camera/TurboJpegDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

extern char **environ;

namespace {

constexpr int kDistinctFrames = 8;

// A specimen-like picture: smooth illumination, fine texture, sensor noise, dark round cells and
// a ruler of ticks, drifting a little from frame to frame so that packets differ.
QImage specimen(int width, int height, int index)
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

std::vector<QByteArray> mjpgPackets(int width, int height)
{
    std::vector<QByteArray> packets;
    for (int i = 0; i < kDistinctFrames; ++i) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        specimen(width, height, i).save(&buffer, "JPEG", 85);
        packets.push_back(bytes);
    }
    return packets;
}

// H.264 as a camera sends it: Annex B, no B-frames, a key frame every 30 frames, CABAC.
std::vector<QByteArray> h264Packets(int width, int height, int frames)
{
    std::vector<QByteArray> packets;
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!codec)
        return packets;
    AVCodecContext *context = avcodec_alloc_context3(codec);
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, 30};
    context->gop_size = 30;
    context->max_b_frames = 0;
    context->bit_rate = 8000000;
    av_opt_set(context->priv_data, "preset", "veryfast", 0);
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return packets;
    }
    AVFrame *frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    AVPacket *packet = av_packet_alloc();
    auto drain = [&]() {
        while (avcodec_receive_packet(context, packet) == 0) {
            packets.emplace_back(reinterpret_cast<const char *>(packet->data), packet->size);
            av_packet_unref(packet);
        }
    };
    for (int i = 0; i < frames; ++i) {
        const QImage rgb = specimen(width, height, i % kDistinctFrames);
        av_frame_make_writable(frame);
        for (int y = 0; y < height; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
                frame->data[0][y * frame->linesize[0] + x] =
                    uint8_t(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
                if ((x & 1) == 0 && (y & 1) == 0) {
                    frame->data[1][(y / 2) * frame->linesize[1] + x / 2] =
                        uint8_t(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
                    frame->data[2][(y / 2) * frame->linesize[2] + x / 2] =
                        uint8_t(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
                }
            }
        }
        frame->pts = i;
        avcodec_send_frame(context, frame);
        drain();
    }
    avcodec_send_frame(context, nullptr);
    drain();
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return packets;
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
    streams().push_back(
        {"MJPG 3840x2160", FfmpegDecoder::Codec::Mjpeg, 3840, 2160, mjpgPackets(3840, 2160)});
    streams().push_back(
        {"MJPG 1920x1080", FfmpegDecoder::Codec::Mjpeg, 1920, 1080, mjpgPackets(1920, 1080)});
    streams().push_back(
        {"H264 1920x1080", FfmpegDecoder::Codec::H264, 1920, 1080, h264Packets(1920, 1080, 60)});
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
    bool opened = true;
    if (stream.codec == FfmpegDecoder::Codec::Mjpeg) {
        switch (path) {
        case Path::PreviewFfmpegLowres:
            decoder.setMjpegThreads(2);
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
        decoder.setFrameThreading(true);
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
            if (turbo.decode(packet, &picture, 4)) {
                if (picture.width() > 1280 || picture.height() > 720)
                    picture =
                        picture.scaled(1280, 720, Qt::KeepAspectRatio, Qt::FastTransformation);
                ++pictures;
            }
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
double runFfmpeg(const QString &file, const char *format, bool lowres)
{
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-nostdin", "-v", "error"};
    if (lowres) {
        args.push_back("-lowres");
        args.push_back("2");
    }
    for (const char *a : {"-f", format, "-i"})
        args.push_back(a);
    args.push_back(file.toStdString());
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
void referenceFfmpeg(benchmark::State &state, int streamIndex, bool lowres)
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
        const double one = runFfmpeg(single, format, lowres);
        const double two = runFfmpeg(twice, format, lowres);
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
    QCoreApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    // The decoders announce every open; only warnings matter here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    benchmark::Initialize(&argc, argv);
    prepareStreams();

    struct Case
    {
        std::string label;
        int stream;
        Path path;
    };
    const std::vector<Case> ours = {
        {"MJPG 4K preview, FFmpeg lowres 2 + fit 960x540", 0, Path::PreviewFfmpegLowres},
        {"MJPG 4K preview, libjpeg-turbo scale 1:4", 0, Path::PreviewTurbo},
        {"MJPG 4K full resolution, 1 thread", 0, Path::FullResolution},
        {"MJPG 4K full resolution, recording (2 threads)", 0, Path::FullResolutionRecording},
        {"MJPG 1080p preview, FFmpeg lowres 2 + fit 960x540", 1, Path::PreviewFfmpegLowres},
        {"MJPG 1080p preview, libjpeg-turbo scale 1:4", 1, Path::PreviewTurbo},
        {"MJPG 1080p full resolution, 1 thread", 1, Path::FullResolution},
        {"H264 1080p, 2 threads frame+slice", 2, Path::FullResolution},
    };
    for (const Case &c : ours)
        benchmark::RegisterBenchmark(c.label.c_str(), decodeFrames, c.stream, c.path)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->UseRealTime()
            ->MinTime(1.0)
            ->Repetitions(5)
            ->ReportAggregatesOnly();
    struct Reference
    {
        std::string label;
        int stream;
        bool lowres;
    };
    const std::vector<Reference> references = {
        {"reference: ffmpeg -lowres 2, MJPG 4K", 0, true},
        {"reference: ffmpeg, MJPG 4K", 0, false},
        {"reference: ffmpeg -lowres 2, MJPG 1080p", 1, true},
        {"reference: ffmpeg, MJPG 1080p", 1, false},
        {"reference: ffmpeg, H264 1080p", 2, false},
    };
    for (const Reference &r : references)
        benchmark::RegisterBenchmark(r.label.c_str(), referenceFfmpeg, r.stream, r.lowres)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(5)
            ->ReportAggregatesOnly();

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // Our path, its reference, and the ratio of CPU per frame.
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {ours[0].label, references[0].label}, {ours[1].label, references[0].label},
        {ours[2].label, references[1].label}, {ours[3].label, references[1].label},
        {ours[4].label, references[2].label}, {ours[5].label, references[2].label},
        {ours[6].label, references[3].label}, {ours[7].label, references[4].label},
    };
    std::printf("\nMedian of 5 repetitions, per frame (reference: CPU of the ffmpeg program)\n");
    std::printf("%-52s %9s %9s %8s %9s %7s\n", "path", "CPU ms", "wall ms", "max fps", "ref ms",
                "ratio");
    for (const auto &[mine, reference] : pairs) {
        const auto m = reporter.medians.find(mine);
        const auto r = reporter.medians.find(reference);
        if (m == reporter.medians.end())
            continue;
        const double refMs = r == reporter.medians.end() ? 0.0 : r->second.second;
        std::printf("%-52s %9.2f %9.2f %8.1f %9.2f %7.2f\n", mine.c_str(), m->second.first,
                    m->second.second, 1000.0 / m->second.second, refMs,
                    refMs > 0 ? m->second.first / refMs : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
