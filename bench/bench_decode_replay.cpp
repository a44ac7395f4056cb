// bench_decode_replay.cpp: the camera's decode threads fed in real time with pre-encoded packets.
//
// A replay backend hands the packets of a stream to the camera's buffer callback at 30 fps for
// --replay_seconds (default 10) and the camera decodes them as it would a real camera's:
// previews on the decode thread, one full-resolution MJPG picture per second on the other thread
// (every packet with --full_rate). Reported per run: preview and full-resolution frames per
// second, packets that gave no preview (dropped from the bounded queue or still in flight at the
// end), process CPU seconds per second of video and per preview, and the latency from the buffer
// callback to previewReady (p50, p99). Each picture of a stream carries its number in the loop as
// five black or white squares in its top left corner, read back from the preview to find the
// packet it came from (the latest one sent with that number; latencies longer than one loop
// would alias). MJPG packets come without Huffman tables, as UVC cameras send them. The reference
// in the same run is the ffmpeg program decoding the same packets (`-lowres 2` for MJPG, the
// quarter size our preview shows), CPU per frame taken from decoding 2N minus N frames so that
// its start-up drops out. A second reference reads the packets at 30 fps (-re), as the replay
// delivers them: decoding one frame every 33 ms costs more CPU per frame than back to back
// (cold caches, the idle processor waking up), for the ffmpeg program as for us. A third
// reference (MJPG only) makes the picture our preview is, back to back: the quarter-size decode
// scaled bilinearly into the 960x540 box and converted to 32-bit RGB, where the first reference
// stops at the quarter-size picture in YUV.
// The CPU of the camera's decode thread and full-resolution thread is also shown on its own (read
// by their names from /proc before the camera closes): what the preview decoder costs per frame,
// and what the full-resolution pictures add to it.
#include <benchmark/benchmark.h>

#include "camera/Camera.h"
#include "camera/DemoEncoders.h"
#include "camera/DemoSpecimen.h"
#include "camera/FrameConversion.h"
#include "camera/TurboJpegDecoder.h"

#include <QFile>
#include <QGuiApplication>
#include <QMutex>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCodeBits = 5;    // picture numbers 0..31
constexpr int kCodeSquare = 64; // pixels of the stream picture per code square
double g_replaySeconds = 10.0;
bool g_fullRate = false;

struct Stream
{
    const char *name;
    quint32 fourcc;
    int width;
    int height;
    QList<QByteArray> packets;
};

std::vector<Stream> &streams()
{
    static std::vector<Stream> all;
    return all;
}

// The demo camera's drifting stage micrometer with its default picture settings.
QList<QImage> demoPictures(int width, int height, int count)
{
    const int margin = 40;
    const QImage stage = DemoSpecimen::renderStage(width, height, margin);
    QList<QImage> pictures;
    for (int step = 0; step < count; ++step) {
        QImage picture =
            stage.copy(QRect(DemoSpecimen::driftOffset(step, margin), QSize(width, height)));
        DemoSpecimen::applySettings(&picture, DemoSpecimen::Settings(), step);
        for (int bit = 0; bit < kCodeBits; ++bit)
            for (int y = 0; y < kCodeSquare; ++y)
                std::fill_n(reinterpret_cast<QRgb *>(picture.scanLine(kCodeSquare + y)) +
                                kCodeSquare * (1 + 2 * bit),
                            kCodeSquare, (step >> bit) & 1 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        pictures << picture;
    }
    return pictures;
}

// The number drawn into a picture, read from a preview of a stream `width` pixels wide.
int readCode(const QImage &preview, int width)
{
    const double scale = double(preview.width()) / width;
    int code = 0;
    for (int bit = 0; bit < kCodeBits; ++bit) {
        const QPoint centre(int((kCodeSquare * (1.5 + 2 * bit)) * scale),
                            int(kCodeSquare * 1.5 * scale));
        if (preview.valid(centre) && qGray(preview.pixel(centre)) > 128)
            code |= 1 << bit;
    }
    return code;
}

void prepareStreams()
{
    using namespace FrameConversion;
    auto mjpg = [](int width, int height) {
        QList<QByteArray> packets;
        for (const QImage &picture : demoPictures(width, height, 15))
            packets << DemoEncoders::encodeMjpegFrame(picture);
        return packets;
    };
    QList<QByteArray> h264;
    QString error;
    if (!DemoEncoders::encodeH264Loop(demoPictures(1920, 1080, 30), 30, &h264, &error))
        std::fprintf(stderr, "H.264 packets: %s\n", qPrintable(error));
    streams().push_back({"MJPG 3840x2160", kFourccMjpg, 3840, 2160, mjpg(3840, 2160)});
    streams().push_back({"MJPG 1920x1080", kFourccMjpg, 1920, 1080, mjpg(1920, 1080)});
    streams().push_back({"H264 1920x1080", kFourccH264, 1920, 1080, h264});
}

// One camera streaming the packets of a stream round and round at 30 fps.
class ReplayBackend : public CaptureBackend
{
public:
    ReplayBackend(const Stream &stream, int packetCount)
        : m_stream(stream)
        , m_packetCount(packetCount)
    {
        m_sendTimes.reserve(size_t(packetCount));
    }
    ~ReplayBackend() override { stop(); }

    QList<CaptureDeviceInfo> devices() override
    {
        return {{QStringLiteral("replay"), QStringLiteral("replay")}};
    }
    int open(int index) override { return index == 0 ? 0 : ENODEV; }
    void close() override { stop(); }
    int modes(QList<CaptureMode> *modes) override
    {
        *modes = {mode()};
        return 0;
    }
    int setMode(const CaptureMode &) override { return 0; }
    int currentMode(CaptureMode *mode) override
    {
        *mode = this->mode();
        return 0;
    }
    int start(BufferCallback callback) override
    {
        stop(); // open() closes first, which stops a replay that never ran
        m_stop = false;
        m_done = false;
        m_sendTimes.clear();
        m_thread = std::thread([this, callback] {
            const auto start = Clock::now();
            for (int i = 0; i < m_packetCount && !m_stop; ++i) {
                std::this_thread::sleep_until(start + std::chrono::microseconds(i * 33333LL));
                const QByteArray &packet = m_stream.packets.at(i % m_stream.packets.size());
                m_sendTimes.push_back(Clock::now());
                callback(i / 30.0, reinterpret_cast<const uchar *>(packet.constData()),
                         packet.size());
            }
            m_done = true;
        });
        return 0;
    }
    void stop() override
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    bool hasGroup(PropertyGroup) override { return false; }
    int propertyRange(CameraProperty, PropertyRange *) override { return ENOTSUP; }
    int property(CameraProperty, long *, long *) override { return ENOTSUP; }
    int setProperty(CameraProperty, long, long) override { return ENOTSUP; }

    bool done() const { return m_done; }
    // Valid once done() or after stop().
    const std::vector<Clock::time_point> &sendTimes() const { return m_sendTimes; }

private:
    CaptureMode mode() const
    {
        CaptureMode m;
        m.fourcc = m_stream.fourcc;
        m.width = m_stream.width;
        m.height = m_stream.height;
        m.timePerFrame = 333333;
        return m;
    }

    const Stream &m_stream;
    const int m_packetCount;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::vector<Clock::time_point> m_sendTimes; // written by the replay thread only
};

// CPU milliseconds of this process's threads that carry the given name, from /proc.
double threadCpuMs(const char *name)
{
    double total = 0.0;
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return 0.0;
    while (const dirent *task = readdir(tasks)) {
        if (task->d_name[0] == '.')
            continue;
        const std::string dir = std::string("/proc/self/task/") + task->d_name;
        char comm[32] = {};
        if (FILE *file = std::fopen((dir + "/comm").c_str(), "r")) {
            if (!std::fgets(comm, sizeof(comm), file))
                comm[0] = 0;
            std::fclose(file);
        }
        comm[std::strcspn(comm, "\n")] = 0;
        if (std::strcmp(comm, name) != 0)
            continue;
        double nanoseconds = 0.0; // schedstat: time on the processor in ns first
        if (FILE *file = std::fopen((dir + "/schedstat").c_str(), "r")) {
            if (std::fscanf(file, "%lf", &nanoseconds) != 1)
                nanoseconds = 0.0;
            std::fclose(file);
        }
        total += nanoseconds / 1e6;
    }
    closedir(tasks);
    return total;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

void replay(benchmark::State &state, int streamIndex)
{
    const Stream &stream = streams()[size_t(streamIndex)];
    if (stream.packets.isEmpty()) {
        state.SkipWithError("no packets (encoder missing)");
        return;
    }
    const int packetCount = int(g_replaySeconds * 30.0);
    for (auto _ : state) {
        auto backend = std::make_unique<ReplayBackend>(stream, packetCount);
        ReplayBackend *replayBackend = backend.get();
        QMutex lock; // guards previewTimes and previewCodes
        std::vector<Clock::time_point> previewTimes;
        std::vector<int> previewCodes;
        previewTimes.reserve(size_t(packetCount));
        std::atomic<int> fullFrames{0};
        std::vector<Clock::time_point> sent; // copied before the camera takes its backend away
        double decodeMs = 0.0, fullMs = 0.0; // the camera's two decode threads, read before close
        const double cpuBefore = processCpuSeconds();
        {
            Camera camera(std::move(backend));
            QObject::connect(
                &camera, &Camera::previewReady, &camera,
                [&](const QImage &preview) {
                    const auto now = Clock::now();
                    const int code = readCode(preview, stream.width);
                    QMutexLocker locker(&lock);
                    previewTimes.push_back(now);
                    previewCodes.push_back(code);
                },
                Qt::DirectConnection);
            QObject::connect(
                &camera, &Camera::frameReady, &camera, [&](const QImage &) { ++fullFrames; },
                Qt::DirectConnection);
            camera.setFullRate(g_fullRate);
            if (!camera.open(0)) {
                state.SkipWithError("camera did not open");
                return;
            }
            while (!replayBackend->done())
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            // Let the last packets through the decoders before stopping.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            decodeMs = threadCpuMs("quorix-decode");
            fullMs = threadCpuMs("quorix-fullres");
            camera.close();
            sent = replayBackend->sendTimes();
        }
        const double cpu = processCpuSeconds() - cpuBefore;
        const double video = sent.size() / 30.0;
        // Each preview belongs to the latest packet sent before it that carries its number.
        const int loop = int(stream.packets.size());
        std::vector<double> latencies;
        size_t last = 0; // packets sent before the current preview
        for (size_t k = 0; k < previewTimes.size(); ++k) {
            while (last < sent.size() && sent[last] <= previewTimes[k])
                ++last;
            for (size_t i = last; i-- > 0;)
                if (int(i % size_t(loop)) == previewCodes[k]) {
                    latencies.push_back(
                        std::chrono::duration<double, std::milli>(previewTimes[k] - sent[i])
                            .count());
                    break;
                }
        }
        state.counters["unmatched"] = double(previewTimes.size() - latencies.size());
        state.SetIterationTime(video);
        state.counters["preview_fps"] = previewTimes.size() / video;
        state.counters["full_fps"] = fullFrames / video;
        state.counters["dropped"] = double(sent.size()) - double(previewTimes.size());
        state.counters["cpu_s_per_s"] = cpu / video;
        state.counters["cpu_ms_per_preview"] =
            previewTimes.empty() ? 0.0 : 1000.0 * cpu / previewTimes.size();
        state.counters["decode_ms_per_preview"] =
            previewTimes.empty() ? 0.0 : decodeMs / previewTimes.size();
        state.counters["fullres_ms_per_preview"] =
            previewTimes.empty() ? 0.0 : fullMs / previewTimes.size();
        state.counters["latency_p50_ms"] = percentile(latencies, 0.50);
        state.counters["latency_p99_ms"] = percentile(latencies, 0.99);
    }
}

double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// How the ffmpeg program is run as a reference.
enum class Reference {
    BackToBack, // as fast as it can
    Paced,      // reading the packets at 30 fps as a camera delivers them (-re)
    Preview,    // as fast as it can, to the preview's size and pixel format
};

// CPU seconds of the ffmpeg program decoding the file, negative when it failed. `preview` is the
// size of our preview of the stream, made by the Preview reference.
double runFfmpeg(const QString &file, bool mjpg, Reference reference, const QSize &preview)
{
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-nostdin", "-v", "error"};
    if (reference == Reference::Paced)
        args.insert(args.end(), {"-re", "-framerate", "30"});
    if (mjpg)
        args.insert(args.end(), {"-lowres", "2"});
    args.insert(args.end(), {"-f", mjpg ? "mjpeg" : "h264", "-i", file.toStdString()});
    if (reference == Reference::Preview)
        args.insert(args.end(), {"-vf",
                                 QStringLiteral("scale=%1:%2:flags=bilinear")
                                     .arg(preview.width())
                                     .arg(preview.height())
                                     .toStdString(),
                                 "-pix_fmt", "bgra"});
    args.insert(args.end(), {"-f", "null", "-"});
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

void referenceFfmpeg(benchmark::State &state, int streamIndex, Reference reference)
{
    const Stream &stream = streams()[size_t(streamIndex)];
    if (stream.packets.isEmpty() || QStandardPaths::findExecutable("ffmpeg").isEmpty()) {
        state.SkipWithError("ffmpeg program or packets missing");
        return;
    }
    const bool mjpg = stream.fourcc == FrameConversion::kFourccMjpg;
    QTemporaryDir dir;
    // 300 and 600 frames as fast as it can, so that the difference (seconds of CPU at 4K) stands
    // well above the variation of the program's start-up; paced runs take real time, so 150 and
    // 300 frames.
    const bool paced = reference == Reference::Paced;
    const int frames = paced ? 150 : 300;
    const int passes = std::max<int>(1, frames / std::max<int>(1, int(stream.packets.size())));
    auto write = [&](const QString &name, int count) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        for (int pass = 0; pass < count; ++pass)
            for (const QByteArray &p : stream.packets)
                file.write(p);
        return file.fileName();
    };
    const QString single = write(QStringLiteral("single"), passes);
    const QString twice = write(QStringLiteral("twice"), 2 * passes);
    const int decoded = int(stream.packets.size()) * passes;
    const QSize preview =
        TurboJpegDecoder::previewSize(QSize(stream.width, stream.height), 4, QSize(960, 540));
    for (auto _ : state) {
        const double one = runFfmpeg(single, mjpg, reference, preview);
        const double two = runFfmpeg(twice, mjpg, reference, preview);
        if (one < 0 || two < 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.SetIterationTime(std::max(0.0, two - one) / decoded);
    }
}

// Keeps the medians of the repetitions for the closing summary.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            const bool single = run.repetitions <= 1 && run.aggregate_name.empty();
            if ((run.aggregate_name != "median" && !single) || run.error_occurred)
                continue;
            std::string name = run.benchmark_name();
            name = name.substr(0, name.find('/'));
            Summary &s = medians[name];
            s.seconds = run.real_accumulated_time / std::max<double>(1, double(run.iterations));
            for (const auto &[key, counter] : run.counters)
                s.counters[key] = counter.value;
        }
    }
    struct Summary
    {
        double seconds = 0;
        std::map<std::string, double> counters;
    };
    std::map<std::string, Summary> medians;
};

} // namespace

int main(int argc, char **argv)
{
    // The demo stage is drawn with text: a GUI application, on no screen unless one is asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // The camera and its decoders announce every open; only warnings matter here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    int repetitions = 3;
    std::vector<char *> rest;
    for (int i = 0; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg.startsWith("--replay_seconds="))
            g_replaySeconds = std::max(1.0, arg.mid(17).toDouble());
        else if (arg.startsWith("--replay_repetitions="))
            repetitions = std::max(1, arg.mid(21).toInt());
        else if (arg == "--full_rate")
            g_fullRate = true;
        else
            rest.push_back(argv[i]);
    }
    int restCount = int(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    prepareStreams();
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) == 3)
        std::printf("load average before the run: %.2f %.2f %.2f (%u cores)\n", load[0], load[1],
                    load[2], std::thread::hardware_concurrency());
    std::printf("replay %.0f s per run at 30 fps, full-resolution rate: %s\n", g_replaySeconds,
                g_fullRate ? "every packet (recording)" : "one per second");

    struct Names
    {
        std::string replay, reference, paced, preview;
    };
    std::vector<Names> names;
    for (size_t i = 0; i < streams().size(); ++i) {
        const bool mjpg = streams()[i].fourcc == FrameConversion::kFourccMjpg;
        const std::string options = mjpg ? " -lowres 2, " : ", ";
        const Names n{std::string("replay ") + streams()[i].name,
                      "reference ffmpeg" + options + streams()[i].name,
                      "reference ffmpeg -re" + options + streams()[i].name,
                      mjpg ? "reference ffmpeg -lowres 2 to the preview, " +
                                 std::string(streams()[i].name)
                           : std::string()};
        benchmark::RegisterBenchmark(n.replay.c_str(), replay, int(i))
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(repetitions)
            ->ReportAggregatesOnly();
        for (const auto &[name, reference] :
             {std::pair(n.reference, Reference::BackToBack), std::pair(n.paced, Reference::Paced),
              std::pair(n.preview, Reference::Preview)}) {
            if (name.empty())
                continue;
            benchmark::RegisterBenchmark(name.c_str(), referenceFfmpeg, int(i), reference)
                ->Unit(benchmark::kMillisecond)
                ->UseManualTime()
                ->Iterations(1)
                ->Repetitions(repetitions)
                ->ReportAggregatesOnly();
        }
        names.push_back(n);
    }
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf(
        "\nMedian of %d runs (references: CPU per frame of the ffmpeg program decoding as "
        "fast as it can, paced at 30 fps with -re as the replay is, and as fast as it can "
        "into the preview's size and 32-bit RGB). dec ms: the decode thread's CPU per "
        "preview, its ratio to the first reference; full ms: the full-resolution thread's\n",
        repetitions);
    std::printf("%-24s %8s %8s %8s %8s %9s %8s %8s %8s %6s %8s %6s %8s %6s %7s %6s %7s\n", "stream",
                "prev fps", "full fps", "dropped", "CPU s/s", "CPU ms/fr", "p50 ms", "p99 ms",
                "ref ms", "ratio", "paced ms", "ratio", "pict ms", "ratio", "dec ms", "ratio",
                "full ms");
    auto referenceMs = [&](const std::string &name) {
        const auto r = reporter.medians.find(name);
        return r == reporter.medians.end() ? 0.0 : 1000.0 * r->second.seconds;
    };
    for (const Names &n : names) {
        const auto m = reporter.medians.find(n.replay);
        if (m == reporter.medians.end())
            continue;
        auto c = [&](const char *key) { return m->second.counters[key]; };
        const double ours = c("cpu_ms_per_preview");
        const double refMs = referenceMs(n.reference), pacedMs = referenceMs(n.paced),
                     pictureMs = referenceMs(n.preview);
        const double decodeMs = c("decode_ms_per_preview");
        auto ratio = [](double value, double reference) {
            return reference > 0 ? value / reference : 0.0;
        };
        std::printf("%-24s %8.1f %8.1f %8.0f %8.2f %9.2f %8.1f %8.1f %8.2f %6.2f %8.2f %6.2f %8.2f "
                    "%6.2f %7.2f %6.2f %7.2f\n",
                    n.replay.c_str() + 7, c("preview_fps"), c("full_fps"), c("dropped"),
                    c("cpu_s_per_s"), ours, c("latency_p50_ms"), c("latency_p99_ms"), refMs,
                    ratio(ours, refMs), pacedMs, ratio(ours, pacedMs), pictureMs,
                    ratio(ours, pictureMs), decodeMs, ratio(decodeMs, refMs),
                    c("fullres_ms_per_preview"));
    }
    benchmark::Shutdown();
    return 0;
}
