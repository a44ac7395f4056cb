// bench_canvas_shapes.cpp: pan and zoom frame time of the canvas with 1000 measuring shapes on a
// 4K picture, against the same canvas with the picture alone, in the same run. Run on a display
// (xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bench_canvas_shapes).
// Each frame is one zoom or scroll step followed by a synchronous repaint of the viewport.
#include "canvas/MeasureFrame.h"
#include "model/LineDataBase.h"
#include "shapes/GraphicsItemBase.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>

namespace {

QImage picture4k()
{
    QImage image(3840, 2160, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 3840, 2160);
    g.setColorAt(0, QColor(240, 220, 230));
    g.setColorAt(1, QColor(180, 150, 200));
    p.fillRect(image.rect(), g);
    return image;
}

void addShapes(MeasureGraphicsViewBusiness *view, int count)
{
    const int types[] = {10, 12, 20, 24};
    for (int i = 0; i < count; ++i) {
        GraphicsItemBase *shape = view->createShape(types[i % 4]);
        auto record = std::static_pointer_cast<BrokenLineDataItem>(shape->lineData());
        const QPointF a(100 + (i * 37) % 3600, 100 + (i * 53) % 1900);
        record->points = {a, a + QPointF(60 + i % 90, 40 + i % 70)};
        shape->updateShape();
    }
}

// Median milliseconds per frame over `frames` alternating zoom and pan steps.
double frameTime(MeasureFrame *frame, int frames)
{
    MeasureGraphicsViewBusiness *view = frame->view();
    QList<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < frames; ++i) {
        clock.start();
        if (i % 2 == 0) {
            view->setCanvasZoom(0.3 + 0.05 * (i % 20));
        } else {
            QScrollBar *h = view->horizontalScrollBar();
            h->setValue(h->minimum() + (h->maximum() - h->minimum()) * (i % 10) / 10);
        }
        view->viewport()->repaint();
        times << clock.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int frames = 200;
    MeasureFrame frame;
    frame.resize(1600, 900);
    frame.show();
    frame.view()->setBackgroundImage(picture4k(), true);
    QCoreApplication::processEvents();
    const double bare = frameTime(&frame, frames);
    addShapes(frame.view(), 1000);
    QCoreApplication::processEvents();
    const double shapes = frameTime(&frame, frames);
    std::printf("4K picture alone:         median %.2f ms per frame\n", bare);
    std::printf("4K picture, 1000 shapes:  median %.2f ms per frame (%.1f fps)  ratio %.2f\n",
                shapes, 1000.0 / shapes, shapes / bare);
    return 0;
}
