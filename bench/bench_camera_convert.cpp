// YUY2, NV12 and I420 to RGB32: our converters against libswscale on the same frames, and a
// plain copy of the output as the floor. Our converters run on one and on two threads: two must
// cost no more than 1.15 times the process CPU of one (helpers must not spin) and take less wall
// time. Compare medians of repeated runs (--benchmark_repetitions=9).
#include "camera/FrameConversion.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QRandomGenerator>

#include <cstring>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

namespace {

enum Layout { Yuy2, Nv12, I420 };

std::vector<uint8_t> randomFrame(Layout layout, int width, int height)
{
    const size_t size =
        layout == Yuy2 ? size_t(width) * height * 2 : size_t(width) * height * 3 / 2;
    std::vector<uint8_t> frame(size);
    QRandomGenerator random(42);
    for (auto &b : frame)
        b = uint8_t(random.bounded(256));
    return frame;
}

void convertLoop(benchmark::State &state, Layout layout)
{
    const int width = int(state.range(0)), height = int(state.range(1));
    const std::vector<uint8_t> frame = randomFrame(layout, width, height);
    QImage out;
    for (auto _ : state) {
        const bool ok =
            layout == Yuy2 ? FrameConversion::convertYuy2ToImage(frame.data(), width, height, &out)
            : layout == Nv12
                ? FrameConversion::convertNv12ToImage(frame.data(), width, height, &out)
                : FrameConversion::convertI420ToImage(frame.data(), width, height, &out);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(out.constBits());
    }
}

// Our converters with their rows split over `threads` threads.
void withThreads(benchmark::State &state, Layout layout, int threads)
{
    const int previous = FrameConversion::conversionThreads();
    FrameConversion::setConversionThreads(threads);
    convertLoop(state, layout);
    FrameConversion::setConversionThreads(previous);
}

// Two threads, the configuration the speed target is set for.
void ours(benchmark::State &state, Layout layout)
{
    withThreads(state, layout, 2);
}

// One thread: a comparison that holds up when other processes share the cores.
void oursOneThread(benchmark::State &state, Layout layout)
{
    withThreads(state, layout, 1);
}

void swscale(benchmark::State &state, Layout layout)
{
    const int width = int(state.range(0)), height = int(state.range(1));
    const std::vector<uint8_t> frame = randomFrame(layout, width, height);
    const AVPixelFormat source = layout == Yuy2   ? AV_PIX_FMT_YUYV422
                                 : layout == Nv12 ? AV_PIX_FMT_NV12
                                                  : AV_PIX_FMT_YUV420P;
    SwsContext *context = sws_getContext(width, height, source, width, height, AV_PIX_FMT_BGRA,
                                         SWS_POINT, nullptr, nullptr, nullptr);
    std::vector<uint8_t> out(size_t(width) * height * 4);
    const uint8_t *planes[3] = {frame.data(), nullptr, nullptr};
    int strides[3] = {width * 2, 0, 0};
    if (layout == Nv12) {
        planes[1] = frame.data() + size_t(width) * height;
        strides[0] = width;
        strides[1] = width;
    } else if (layout == I420) {
        planes[1] = frame.data() + size_t(width) * height;
        planes[2] = planes[1] + size_t(width) * height / 4;
        strides[0] = width;
        strides[1] = strides[2] = width / 2;
    }
    uint8_t *dst[1] = {out.data()};
    const int dstStride[1] = {width * 4};
    for (auto _ : state) {
        sws_scale(context, planes, strides, 0, height, dst, dstStride);
        benchmark::DoNotOptimize(out.data());
    }
    sws_freeContext(context);
}

void copyFloor(benchmark::State &state)
{
    const size_t size = size_t(state.range(0)) * state.range(1) * 4;
    std::vector<uint8_t> in(size, 7), out(size);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), size);
        benchmark::DoNotOptimize(out.data());
    }
}

void sizes(benchmark::internal::Benchmark *b)
{
    // Process CPU time counts the work of every thread.
    b->Args({1920, 1080})
        ->Args({3840, 2160})
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}

} // namespace

BENCHMARK_CAPTURE(ours, yuy2, Yuy2)->Apply(sizes);
BENCHMARK_CAPTURE(oursOneThread, yuy2, Yuy2)->Apply(sizes);
BENCHMARK_CAPTURE(swscale, yuy2, Yuy2)->Apply(sizes);
BENCHMARK_CAPTURE(ours, nv12, Nv12)->Apply(sizes);
BENCHMARK_CAPTURE(oursOneThread, nv12, Nv12)->Apply(sizes);
BENCHMARK_CAPTURE(swscale, nv12, Nv12)->Apply(sizes);
BENCHMARK_CAPTURE(ours, i420, I420)->Apply(sizes);
BENCHMARK_CAPTURE(oursOneThread, i420, I420)->Apply(sizes);
BENCHMARK_CAPTURE(swscale, i420, I420)->Apply(sizes);
BENCHMARK(copyFloor)->Apply(sizes);

BENCHMARK_MAIN();
