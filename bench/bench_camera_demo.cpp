// CPU used by the demo camera itself while it delivers 3840x2160 MJPG at 30 frames per second,
// once its loop of frames is built (the build time is reported separately).
#include "camera/DemoCameraBackend.h"
#include "camera/FrameConversion.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <atomic>
#include <chrono>
#include <thread>
#include <time.h>

namespace {

double processCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void demoMjpg4k(benchmark::State &state)
{
    for (auto _ : state) {
        DemoCameraBackend demo;
        demo.open(0);
        CaptureMode mode;
        mode.fourcc = FrameConversion::kFourccMjpg;
        mode.width = 3840;
        mode.height = 2160;
        demo.setMode(mode);
        std::atomic<long> frames{0}, bytes{0};
        const auto begin = std::chrono::steady_clock::now();
        demo.start([&](double, const uchar *, long length) {
            ++frames;
            bytes += length;
        });
        while (frames == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const double buildSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        const long framesBefore = frames;
        const double cpuBefore = processCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(state.range(0)));
        const double cpu = processCpuSeconds() - cpuBefore;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        const long delivered = frames - framesBefore;
        demo.stop();
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
        state.counters["fps"] = delivered / wall;
        state.counters["loop_build_s"] = buildSeconds;
        state.counters["mean_frame_kB"] = bytes / 1024.0 / std::max(1L, long(frames));
    }
}

} // namespace

BENCHMARK(demoMjpg4k)->Arg(5)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // the specimen's labels need fonts
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
