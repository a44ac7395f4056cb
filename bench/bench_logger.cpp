// Logging cost per line against the floor: the same bytes written and flushed with stdio.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <cstdio>

#include "app/Logger.h"

static const QByteArray kText = "MeasureGraphicsView::fitViewToScene zoom = 0.4375 scene 3840x2160";

static void BM_LoggerLine(benchmark::State &state)
{
    QTemporaryDir dir;
    Logger logger({dir.path() + "/bench", {}, {}, nullptr});
    for (auto _ : state)
        logger.log(Logger::Debug, kText);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoggerLine);

static void BM_StdioLineFloor(benchmark::State &state)
{
    QTemporaryDir dir;
    FILE *file = std::fopen((dir.path() + "/floor.log").toLocal8Bit().constData(), "a");
    const QByteArray line = "[DEBUG] 09:05:01.042  " + kText + "\n";
    for (auto _ : state) {
        std::fwrite(line.constData(), 1, size_t(line.size()), file);
        std::fflush(file);
    }
    std::fclose(file);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StdioLineFloor);

BENCHMARK_MAIN();
