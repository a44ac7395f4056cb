// liveview.cpp: opens a camera and shows its live pictures, printing the frame rates every second.
//
//   quorix_liveview [--device N] [--format MJPG|H264|H265|YUY2|RGB24] [--size WxH]
//                   [--seconds S] [--full-rate] [--fps-log] [--list]
//
// Without options it opens the first device (the demo camera when no V4L2 camera is present) in
// the mode the camera chooses. The left view is the OpenGL widget, fed with previewYuvReady; on a
// stream that makes no YUV previews it shows the previewReady pictures converted to YUV here, so
// that the widget is seen working on live frames. The right view draws previewReady as it comes.
#include "camera/Camera.h"
#include "camera/VideoFrameYUV.h"
#include "preview/VideoOpenGLWidget.h"
#include "settings/SettingsKeys.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSettings>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdio>

namespace {

// Draws the latest picture fitted into the widget.
class ImageView : public QWidget
{
public:
    void setPicture(const QImage &picture)
    {
        m_picture = picture;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        if (m_picture.isNull())
            return;
        const QSize fitted = m_picture.size().scaled(size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2),
                           fitted);
        painter.drawImage(target, m_picture);
    }

private:
    QImage m_picture;
};

// BT.601 limited-range I420 of a picture (even size, the last odd row or column is dropped).
VideoFrameYUV toYuv(const QImage &picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    VideoFrameYUV frame;
    frame.width = rgb.width() & ~1;
    frame.height = rgb.height() & ~1;
    const int w = frame.width, h = frame.height;
    frame.y.resize(w * h);
    frame.u.resize((w / 2) * (h / 2));
    frame.v.resize((w / 2) * (h / 2));
    auto *y = reinterpret_cast<uchar *>(frame.y.data());
    auto *u = reinterpret_cast<uchar *>(frame.u.data());
    auto *v = reinterpret_cast<uchar *>(frame.v.data());
    for (int row = 0; row < h; ++row) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(row));
        for (int x = 0; x < w; ++x) {
            const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            y[row * w + x] = uchar((66 * r + 129 * g + 25 * b + 128) / 256 + 16);
            if ((row & 1) == 0 && (x & 1) == 0) {
                const int i = (row / 2) * (w / 2) + x / 2;
                u[i] = uchar((-38 * r - 74 * g + 112 * b + 128) / 256 + 128);
                v[i] = uchar((112 * r - 94 * g - 18 * b + 128) / 256 + 128);
            }
        }
    }
    return frame;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorix"));
    QApplication::setApplicationName(QStringLiteral("QUORIX-liveview"));
    VideoFrameYUV::registerMetaType();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Live camera view with frame rates."));
    parser.addHelpOption();
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("Device index (default 0)."),
                                          QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("Stream format, e.g. MJPG or H264."),
                                          QStringLiteral("name"));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("Frame size."),
                                        QStringLiteral("WxH"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Quit after S seconds (0: never)."),
                                           QStringLiteral("S"), QStringLiteral("0"));
    const QCommandLineOption fullRateOption(
        QStringLiteral("full-rate"),
        QStringLiteral("Decode every MJPG packet at full size, as while recording."));
    const QCommandLineOption fpsLogOption(
        QStringLiteral("fps-log"),
        QStringLiteral("Log the camera's own rates ([CAMFPS], [DECFPS]) for this run."));
    const QCommandLineOption listOption(QStringLiteral("list"),
                                        QStringLiteral("List the devices and quit."));
    parser.addOptions({deviceOption, formatOption, sizeOption, secondsOption, fullRateOption,
                       fpsLogOption, listOption});
    parser.process(app);

    // The camera reads the switch from the settings of this program, for this run only.
    QSettings().setValue(SettingsKeys::kFpsLog, parser.isSet(fpsLogOption));
    Camera camera;
    const QList<CaptureDeviceInfo> devices = camera.devices();
    if (parser.isSet(listOption)) {
        for (int i = 0; i < devices.size(); ++i)
            std::printf("%d: %s (%s)\n", i, qPrintable(devices.at(i).name),
                        qPrintable(devices.at(i).path));
        return 0;
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("QUORIX live view"));
    auto *gl = new VideoOpenGLWidget;
    auto *view = new ImageView;
    auto *layout = new QHBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(gl, 1);
    layout->addWidget(view, 1);
    window.resize(1280, 400);

    std::atomic<int> yuvCount{0}, previewCount{0}, frameCount{0};
    std::atomic<bool> yuvSeen{false};
    QObject::connect(&camera, &Camera::previewYuvReady, gl, [&](const VideoFrameYUV &frame) {
        ++yuvCount;
        yuvSeen = true;
        gl->setFrame(frame);
    });
    QObject::connect(&camera, &Camera::previewReady, view, [&](const QImage &preview) {
        ++previewCount;
        view->setPicture(preview);
        if (!yuvSeen)
            gl->setFrame(toYuv(preview));
    });
    QObject::connect(
        &camera, &Camera::frameReady, &camera, [&](const QImage &) { ++frameCount; },
        Qt::DirectConnection);
    QObject::connect(&camera, &Camera::error, &app, [](const QString &message) {
        std::fprintf(stderr, "camera error: %s\n", qPrintable(message));
    });

    if (parser.isSet(formatOption))
        camera.setFormat(parser.value(formatOption));
    bool opened = false;
    const int device = parser.value(deviceOption).toInt();
    if (parser.isSet(sizeOption)) {
        const QStringList parts = parser.value(sizeOption).split(QLatin1Char('x'));
        if (parts.size() != 2 || parts.at(0).toInt() < 1 || parts.at(1).toInt() < 1) {
            std::fprintf(stderr, "--size wants WxH, e.g. 1920x1080\n");
            return 2;
        }
        camera.open(device); // the size applies to the device last opened
        opened = camera.setResolution(parts.at(0).toInt(), parts.at(1).toInt());
    } else {
        opened = camera.open(device);
    }
    if (!opened) {
        std::fprintf(stderr, "could not open device %d\n", device);
        return 1;
    }
    camera.setFullRate(parser.isSet(fullRateOption));
    std::printf("device %d: %s %dx%d\n", device,
                qPrintable(device < devices.size() ? devices.at(device).name : QString()),
                camera.resolution().width(), camera.resolution().height());
    std::printf("stream %s\n", qPrintable(camera.formatName()));
    std::fflush(stdout);

    QTimer rates;
    QObject::connect(&rates, &QTimer::timeout, [&] {
        std::printf("preview %d fps, yuv preview %d fps, full %d fps\n", previewCount.exchange(0),
                    yuvCount.exchange(0), frameCount.exchange(0));
        std::fflush(stdout);
    });
    rates.start(1000);
    const int seconds = parser.value(secondsOption).toInt();
    if (seconds > 0)
        QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);

    window.show();
    const int result = app.exec();
    camera.close();
    QSettings().remove(SettingsKeys::kFpsLog);
    return result;
}
