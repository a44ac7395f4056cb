// bench_undo_memory.cpp: resident memory of the canvas over 10,000 undo steps on a drawing of
// 60 shapes (moves and style edits, with a "delete all" and its undo every 500 steps), with the
// history's step limit against the same run with an unlimited history (the reference). Each run
// is a child process of its own, so that one run's heap does not hide the other's.
// Run: QT_QPA_PLATFORM=offscreen build/bench/bench_undo_memory
#include "canvas/DrawingHistory.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "shapes/GraphicsItemBase.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QUndoStack>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kSteps = 10000;

// Resident set size in KiB.
long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// One run; prints "<rss after setup> <rss after the steps> <steps kept>".
int run(bool limited)
{
    MeasureGraphicsViewBusiness view;
    view.resize(900, 700);
    QImage image(800, 600, QImage::Format_RGB32);
    image.fill(Qt::gray);
    view.setBackgroundImage(image, true);
    if (!limited)
        view.history()->stack()->setUndoLimit(0);
    const int types[] = {10, 11, 12, 13, 15, 16, 18, 21, 24, 25, 26, 28};
    QRandomGenerator rng(42);
    for (int i = 0; i < 60; ++i) {
        GraphicsItemBase *shape = view.createShape(types[i % 12]);
        auto record = std::static_pointer_cast<BrokenLineDataItem>(shape->lineData());
        const QPointF a(50 + rng.bounded(600), 50 + rng.bounded(450));
        record->points = {a, a + QPointF(40, 10), a + QPointF(60, 50), a + QPointF(10, 70)};
        shape->updateShape();
    }
    view.history()->clear();
    view.history()->rebase();
    const long before = residentKiB();
    for (int step = 0; step < kSteps; ++step) {
        const QList<GraphicsItemBase *> shapes = view.allItems();
        if (step % 500 == 499) {
            view.delAllLine();
            view.undo();
            continue;
        }
        GraphicsItemBase *shape = shapes.at(rng.bounded(shapes.size()));
        if (step % 3 == 0) {
            shape->attribute()->imgElement.width = 1 + step % 7;
            view.history()->breakMerge();
            view.history()->record(QString(), true);
        } else {
            shape->moveBy(rng.bounded(11) - 5, rng.bounded(11) - 5);
            view.history()->record();
        }
        if (step % 100 == 0)
            QCoreApplication::processEvents(); // lets the deferred deletions run
    }
    QCoreApplication::processEvents();
    std::printf("%ld %ld %d\n", before, residentKiB(), view.history()->stack()->count());
    return 0;
}

struct Figures
{
    long before = 0;
    long after = 0;
    int kept = 0;
};

Figures child(const QString &mode)
{
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(), {mode});
    process.waitForFinished(-1);
    Figures f;
    std::sscanf(process.readAllStandardOutput().constData(), "%ld %ld %d", &f.before, &f.after,
                &f.kept);
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1)
        return run(QString::fromLatin1(argv[1]) == QLatin1String("limited"));

    // Five runs of each; the median growth.
    QList<long> ours, reference;
    Figures last, lastRef;
    for (int i = 0; i < 5; ++i) {
        last = child(QStringLiteral("limited"));
        lastRef = child(QStringLiteral("unlimited"));
        ours << last.after - last.before;
        reference << lastRef.after - lastRef.before;
    }
    std::sort(ours.begin(), ours.end());
    std::sort(reference.begin(), reference.end());
    const long a = ours.at(2);
    const long b = reference.at(2);
    std::printf("%d steps on 60 shapes, resident memory growth (median of 5 runs):\n", kSteps);
    std::printf("  limited history (%d steps kept):   %ld KiB\n", last.kept, a);
    std::printf("  unlimited history (%d steps kept): %ld KiB (reference)\n", lastRef.kept, b);
    std::printf("  ratio limited / unlimited: %.3f\n", b > 0 ? double(a) / double(b) : 0.0);
    return 0;
}
