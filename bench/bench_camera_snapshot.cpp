// Writes what the demo camera shows as PNG files, through the same path as a real camera: the
// camera opens the demo device, its buffers pass the capture callback, MJPG packets are decoded.
//   camera_demo_snapshot [output folder]
#include "camera/Camera.h"
#include "camera/DemoCameraBackend.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMutex>
#include <QThread>

#include <cstdio>

namespace {

// Opens the demo camera at one mode and returns its first picture.
QImage grab(const QString &format, int width, int height)
{
    Camera camera(std::make_unique<DemoCameraBackend>());
    QMutex lock; // guards picture: frameReady arrives on the demo camera's thread
    QImage picture;
    QObject::connect(&camera, &Camera::frameReady, [&](const QImage &frame) {
        QMutexLocker locker(&lock);
        if (picture.isNull())
            picture = frame;
    });
    camera.setFormat(format);
    if (!camera.setResolution(width, height))
        return QImage();
    QElapsedTimer timer;
    timer.start();
    QByteArray packet;
    QImage decoded;
    while (timer.elapsed() < 20000 && decoded.isNull()) {
        if (camera.takeMjpgPacket(&packet))
            decoded = QImage::fromData(packet, "JPEG");
        QMutexLocker locker(&lock);
        if (!picture.isNull())
            decoded = picture;
        locker.unlock();
        QThread::msleep(20);
    }
    camera.close();
    return decoded;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(folder);
    const struct
    {
        const char *format;
        int width, height;
        const char *file;
    } shots[] = {{"MJPG", 1920, 1080, "demo_mjpg_1920x1080.png"},
                 {"YUY2", 640, 480, "demo_yuy2_640x480.png"}};
    int failures = 0;
    for (const auto &shot : shots) {
        const QImage picture = grab(QString::fromLatin1(shot.format), shot.width, shot.height);
        const QString path = QDir(folder).filePath(QString::fromLatin1(shot.file));
        if (picture.isNull() || !picture.save(path)) {
            std::fprintf(stderr, "no picture for %s %dx%d\n", shot.format, shot.width, shot.height);
            ++failures;
            continue;
        }
        std::printf("%s (%dx%d)\n", qPrintable(path), picture.width(), picture.height());
    }
    return failures ? 1 : 0;
}
