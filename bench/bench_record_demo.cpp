// Records 30 s of the demo camera through the recorder, as the left bar does while recording:
// full-resolution frames go from the camera's thread straight into VideoRecorder::writeFrame.
//   bench_record_demo [file.mp4] [FORMAT WIDTH HEIGHT]   (default: video_demo.mp4 YUY2 640 480)
// Check the result with ffprobe and ffplay.
#include "camera/Camera.h"
#include "camera/DemoCameraBackend.h"
#include "recording/VideoRecorder.h"

#include <QAtomicInt>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "video_demo.mp4";
    const QString format = argc > 4 ? QString::fromLatin1(argv[2]) : QStringLiteral("YUY2");
    const QSize size = argc > 4 ? QSize(atoi(argv[3]), atoi(argv[4])) : QSize(640, 480);
    const int fps = 30, seconds = 30;

    VideoRecorder recorder;
    QObject::connect(&recorder, &VideoRecorder::error, &app, [](const QString &message) {
        std::fprintf(stderr, "recorder error: %s\n", qPrintable(message));
    });
    Camera camera(std::make_unique<DemoCameraBackend>());
    QObject::connect(&camera, &Camera::error, &app, [](const QString &message) {
        std::fprintf(stderr, "camera error: %s\n", qPrintable(message));
    });
    QAtomicInt offered;
    QObject::connect(
        &camera, &Camera::frameReady, &recorder,
        [&](const QImage &frame) {
            recorder.writeFrame(frame);
            offered.ref();
        },
        Qt::DirectConnection);

    camera.setFormat(format);
    if (!camera.setResolution(size.width(), size.height())) {
        std::fprintf(stderr, "the demo camera has no %s %dx%d mode\n", qPrintable(format),
                     size.width(), size.height());
        return 1;
    }
    // While recording every compressed frame is decoded at full resolution.
    camera.setFullRate(true);
    recorder.start(path, camera.resolution(), fps);
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    camera.close();
    recorder.stop();
    std::printf("%s: %d frames of %s %dx%d offered in %.2f s\n", qPrintable(path),
                offered.loadRelaxed(), qPrintable(format), camera.resolution().width(),
                camera.resolution().height(), clock.nsecsElapsed() / 1e9);
    return 0;
}
