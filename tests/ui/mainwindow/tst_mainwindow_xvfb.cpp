// tst_mainwindow_xvfb.cpp: the main window on a real display with a window manager: full screen
// and back with every area as it was, maximising, Escape, and the GL preview drawing a frame.
#include "TestEnv.h"
#include "camera/DemoCameraBackend.h"
#include "camera/DeviceMonitor.h"
#include "canvas/MeasureFrame.h"
#include "panels/LeftBarWidget.h"
#include "panels/RightWidget.h"
#include "preview/VideoOpenGLWidget.h"
#include "resources/QuorixResources.h"
#include "settings/SettingsKeys.h"
#include "ui/mainwindow/MainWidget.h"

#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QToolButton>

namespace {

std::unique_ptr<MainWidget> shownWindow()
{
    // The demo camera stays closed until the event loop runs; it is closed at once here so that
    // only the window's own behaviour is under test.
    auto window = std::make_unique<MainWidget>(std::make_unique<DemoCameraBackend>(),
                                               std::make_unique<PipeDeviceEventSource>());
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get(), 120000))
        return nullptr;
    return window;
}

QWidget *area(MainWidget *w, const char *name)
{
    return w->findChild<QWidget *>(QLatin1String(name));
}

} // namespace

class TstMainWindowXvfb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fullScreenAndBack_data();
    void fullScreenAndBack();
    void maximiseAndEscape();
    void glPreviewDrawsTheFrame();
};

void TstMainWindowXvfb::initTestCase()
{
    TestEnv::isolate();
    QuorixResources::init();
    VideoFrameYUV::registerMetaType();
    QSettings().setValue(QLatin1String(SettingsKeys::kConfirmOnExit), false);
}

void TstMainWindowXvfb::fullScreenAndBack_data()
{
    QTest::addColumn<bool>("tableShown");
    QTest::addColumn<bool>("byKey");
    QTest::newRow("table shown, button") << true << false;
    QTest::newRow("table hidden, Escape") << false << true;
}

void TstMainWindowXvfb::fullScreenAndBack()
{
    QFETCH(bool, tableShown);
    QFETCH(bool, byKey);
    std::unique_ptr<MainWidget> w = shownWindow();
    QVERIFY(w);
    w->leftBar()->closeCamera();
    if (tableShown)
        w->rightWidget()->showTable();
    else
        w->rightWidget()->hideTable();
    auto *button = w->findChild<QToolButton *>("toolButtonFullScreen");
    const QRect normal = w->geometry();

    button->click();
    QTRY_VERIFY_WITH_TIMEOUT(w->isFullScreen(), 120000);
    QTRY_COMPARE_WITH_TIMEOUT(w->size(), w->screen()->geometry().size(), 120000);
    for (const char *name : {"widgetTop", "widgetLeft", "widgetBottom"})
        QVERIFY2(!area(w.get(), name)->isVisible(), name);
    QVERIFY(!w->leftBar()->isVisible());
    QVERIFY(!w->rightWidget()->isTableVisible());
    QVERIFY(w->measureFrame()->isVisible());

    if (byKey) {
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get(), 20000));
        QTest::keyClick(w.get(), Qt::Key_Escape);
    } else {
        button->click();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!w->isFullScreen(), 120000);
    QTRY_COMPARE_WITH_TIMEOUT(w->size(), normal.size(), 120000);
    for (const char *name : {"widgetTop", "widgetLeft", "widgetBottom"})
        QVERIFY2(area(w.get(), name)->isVisible(), name);
    QVERIFY(w->leftBar()->isVisible());
    QCOMPARE(w->rightWidget()->isTableVisible(), tableShown);
    QCOMPARE(button->text(), QStringLiteral("全屏"));
}

void TstMainWindowXvfb::maximiseAndEscape()
{
    std::unique_ptr<MainWidget> w = shownWindow();
    QVERIFY(w);
    w->leftBar()->closeCamera();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get(), 20000));
    // Escape in a normal window changes nothing.
    const QRect normal = w->geometry();
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QCOMPARE(w->windowState(), Qt::WindowNoState);

    auto *maximise = w->findChild<QPushButton *>("pushButtonNormal");
    maximise->click();
    QTRY_VERIFY_WITH_TIMEOUT(w->isMaximized(), 120000);
    QTRY_COMPARE_WITH_TIMEOUT(maximise->property("state").toString(), QStringLiteral("max"),
                              120000);
    QVERIFY(area(w.get(), "widgetTop")->isVisible());
    maximise->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w->isMaximized(), 120000);
    QTRY_COMPARE_WITH_TIMEOUT(maximise->property("state").toString(), QStringLiteral("normal"),
                              20000);
    QTRY_COMPARE_WITH_TIMEOUT(w->geometry().size(), normal.size(), 120000);
}

void TstMainWindowXvfb::glPreviewDrawsTheFrame()
{
    std::unique_ptr<MainWidget> w = shownWindow();
    QVERIFY(w);
    // The live demo picture reaches the canvas.
    QTRY_VERIFY_WITH_TIMEOUT(!w->view()->imageSize().isEmpty(), 60000);
    w->leftBar()->closeCamera();
    // A YUV frame from the left bar is drawn by the GL preview: pure red in BT.601.
    VideoFrameYUV frame;
    frame.width = 64;
    frame.height = 48;
    frame.y = QByteArray(64 * 48, char(81));
    frame.u = QByteArray(32 * 24, char(90));
    frame.v = QByteArray(32 * 24, char(240));
    emit w->leftBar()->sigSetYuvPreview(frame);
    VideoOpenGLWidget *preview = w->measureFrame()->previewWidget();
    QTRY_VERIFY_WITH_TIMEOUT(preview->isVisible(), 120000);
    QImage shown;
    QTRY_VERIFY_WITH_TIMEOUT((shown = preview->grabFramebuffer(),
                              !shown.isNull() &&
                                  qRed(shown.pixel(shown.width() / 2, shown.height() / 2)) > 200 &&
                                  qGreen(shown.pixel(shown.width() / 2, shown.height() / 2)) < 60),
                             20000);
}

QTEST_MAIN(TstMainWindowXvfb)
#include "tst_mainwindow_xvfb.moc"
