// bench_startup.cpp: start-up of the main window against a minimal Qt window, both launched as a
// new process the same way in the same run, under the current display (run it under Xvfb):
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bench_startup [runs]
// Prints per kind the median of: launch to window shown (first expose), and for the main window
// launch to the first live demo picture painted on the canvas; then the ratio.
#include "app/AppLanguage.h"
#include "camera/VideoFrameYUV.h"
#include "canvas/MeasureFrame.h"
#include "panels/LeftBarWidget.h"
#include "resources/QuorixResources.h"
#include "settings/SettingsStore.h"
#include "ui/mainwindow/MainWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

qint64 nowUs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

qint64 launchedUs()
{
    return qEnvironmentVariable("BENCH_LAUNCH_US").toLongLong();
}

// Reports the first paint of a widget (its window shown on screen) once.
class FirstPaint : public QObject
{
public:
    FirstPaint(QWidget *widget, std::function<void()> done)
        : m_done(std::move(done))
    {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_done) {
            auto done = std::move(m_done);
            m_done = nullptr;
            watched->removeEventFilter(this);
            QTimer::singleShot(0, done);
        }
        return false;
    }

private:
    std::function<void()> m_done;
};

int runMinimal(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(1248, 702);
    FirstPaint shown(&window, [] {
        std::printf("shown %lld\n", (long long)(nowUs() - launchedUs()));
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    window.show();
    return app.exec();
}

int runMain(int argc, char **argv)
{
    QApplication app(argc, argv);
    VideoFrameYUV::registerMetaType();
    QCoreApplication::setOrganizationName(QStringLiteral("Quorix"));
    QCoreApplication::setApplicationName(QStringLiteral("QUORIX"));
    SettingsStore::prepare();
    QuorixResources::init();
    installAppLanguage(0);
    MainWidget window;
    bool shownDone = false, pictureDone = false;
    const auto finish = [&] {
        if (shownDone && pictureDone)
            QCoreApplication::quit();
    };
    FirstPaint shown(&window, [&] {
        std::printf("shown %lld\n", (long long)(nowUs() - launchedUs()));
        shownDone = true;
        finish();
    });
    // The first live picture: the canvas's viewport paints after the first camera picture came.
    std::unique_ptr<FirstPaint> picture;
    QObject::connect(
        window.leftBar(), &LeftBarWidget::sigSetImage, &window,
        [&] {
            if (picture || pictureDone)
                return;
            picture = std::make_unique<FirstPaint>(window.view()->viewport(), [&] {
                std::printf("picture %lld\n", (long long)(nowUs() - launchedUs()));
                pictureDone = true;
                finish();
            });
        },
        Qt::QueuedConnection);
    window.show();
    QTimer::singleShot(120000, &app, &QCoreApplication::quit);
    const int result = app.exec();
    window.leftBar()->closeCamera();
    return result;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--minimal") == 0)
        return runMinimal(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--main") == 0)
        return runMain(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    QList<double> minimalShown, mainShown, mainPicture;
    for (int run = 0; run < runs; ++run) {
        for (const char *kind : {"--minimal", "--main"}) {
            QTemporaryDir home; // a first start: no settings, the demo camera as the only camera
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("HOME"), home.path());
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + "/config");
            env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + "/data");
            env.insert(QStringLiteral("QUORIX_DEMO_CAMERA"), QStringLiteral("1"));
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            env.insert(QStringLiteral("BENCH_LAUNCH_US"), QString::number(nowUs()));
            child.setProcessEnvironment(env);
            child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kind)});
            child.waitForFinished(180000);
            const QStringList lines =
                QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
            for (const QString &line : lines) {
                const QStringList parts = line.split(' ');
                if (parts.size() != 2)
                    continue;
                const double ms = parts.at(1).toDouble() / 1000.0;
                if (qstrcmp(kind, "--minimal") == 0 && parts.at(0) == "shown")
                    minimalShown << ms;
                else if (parts.at(0) == "shown")
                    mainShown << ms;
                else if (parts.at(0) == "picture")
                    mainPicture << ms;
            }
        }
    }
    const double reference = median(minimalShown), shown = median(mainShown);
    std::printf("runs: %d\n", runs);
    std::printf("minimal Qt window shown:   median %8.1f ms (%lld samples)\n", reference,
                (long long)minimalShown.size());
    std::printf("main window shown:         median %8.1f ms (%lld samples)  ratio %.2f\n", shown,
                (long long)mainShown.size(), reference > 0 ? shown / reference : 0.0);
    std::printf("first live demo picture:   median %8.1f ms (%lld samples)\n", median(mainPicture),
                (long long)mainPicture.size());
    return 0;
}
