// Records 30 s of synthetic moving frames at 1920x1080 and 30 fps through the recorder, as the
// camera would hand them over, into the file named on the command line (default
// "video_demo.mp4"); then check it with ffprobe and ffplay.
#include "recording/VideoRecorder.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QThread>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "video_demo.mp4";
    const QSize size(1920, 1080);
    const int fps = 30, seconds = 30;

    VideoRecorder recorder;
    QObject::connect(&recorder, &VideoRecorder::error, &app, [](const QString &message) {
        std::fprintf(stderr, "error: %s\n", qPrintable(message));
    });
    recorder.start(path, size, fps);
    QElapsedTimer clock;
    clock.start();
    int offered = 0;
    for (int i = 0; i < fps * seconds; ++i) {
        while (clock.nsecsElapsed() < qint64(i) * 1000000000 / fps)
            QThread::usleep(500);
        QImage frame(size, QImage::Format_RGB32);
        frame.fill(QColor(30, 40, 55));
        QPainter painter(&frame);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(230, 190, 60));
        painter.drawEllipse(QPoint(100 + (i * 12) % (size.width() - 200), size.height() / 2), 90,
                            90);
        painter.setPen(QPen(Qt::white, 3));
        for (int t = 0; t <= 100; ++t) {
            const int x = 360 + t * 12 + (i % 60);
            painter.drawLine(x, 900, x, t % 10 ? 880 : 840);
        }
        painter.setFont(QFont("Sans", 40));
        painter.drawText(QPoint(760, 200), QString("frame %1").arg(i));
        painter.end();
        recorder.writeFrame(frame);
        ++offered;
    }
    recorder.stop();
    std::printf("%s: %d frames offered in %.2f s\n", qPrintable(path), offered,
                clock.nsecsElapsed() / 1e9);
    return 0;
}
