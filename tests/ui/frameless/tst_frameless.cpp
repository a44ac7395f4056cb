// tst_frameless.cpp: the frameless windows under Xvfb with openbox, driven by xdotool.
#include "TestEnv.h"
#include "ui/frameless/DialogLessWindow.h"
#include "ui/frameless/WidgetLessWindow.h"
#include "ui/frameless/WinLessWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QVBoxLayout>
#include <QtTest>

#include <cstdlib>

namespace {

// The work area tools/with-openbox.sh gives the window manager: like panels at the top and bottom.
constexpr int MarginTop = 30;
constexpr int MarginBottom = 50;
// How long the window manager may take to answer on a loaded machine; results are polled.
constexpr int WmTimeout = 120000;

bool run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(WmTimeout) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool xdo(const QStringList &args)
{
    return run(QStringLiteral("xdotool"), args);
}

// The window manager's client windows from bottom to top (_NET_CLIENT_LIST_STACKING).
QList<WId> clientStacking()
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QList<WId> stacking;
    if (!xprop.waitForFinished(WmTimeout))
        return stacking;
    const QString out = QString::fromLatin1(xprop.readAllStandardOutput());
    const QRegularExpression hex(QStringLiteral("0x[0-9a-fA-F]+"));
    for (auto it = hex.globalMatch(out); it.hasNext();)
        stacking.append(it.next().captured(0).toULongLong(nullptr, 16));
    return stacking;
}

bool movePointer(const QPoint &global)
{
    return xdo(
        {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())});
}

// Counts the left-button presses and held-button motions that reach a window, before its frame
// handler sees them.
class PressCounter : public QObject
{
public:
    int presses = 0;
    int drags = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            ++presses;
        if (event->type() == QEvent::MouseMove &&
            (static_cast<QMouseEvent *>(event)->buttons() & Qt::LeftButton))
            ++drags;
        return false;
    }
};

// A window as the program builds them: a title bar with a caption label and a button, and a body
// that covers the resize zone with a cursor of its own.
struct TestWindow
{
    WidgetLessWindow window;
    QWidget *titleBar = new QWidget;
    QLabel *captionLabel = new QLabel(QStringLiteral("QUORIX"));
    QPushButton *button = new QPushButton(QStringLiteral("X"));
    QWidget *body = new QWidget;
    PressCounter counter;

    TestWindow()
    {
        titleBar->setFixedHeight(32);
        auto *titleLayout = new QHBoxLayout(titleBar);
        titleLayout->setContentsMargins(40, 0, 8, 0);
        titleLayout->addWidget(captionLabel);
        titleLayout->addStretch(1);
        titleLayout->addWidget(button);
        body->setCursor(Qt::IBeamCursor);
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(titleBar);
        layout->addWidget(body, 1);
        window.setTitleBar(titleBar);
        window.addCaptionWidget(captionLabel);
        window.setMinimumSize(200, 150);
        window.setGeometry(700, 380, 480, 320);
    }
    QPoint global(const QPoint &local) const { return window.geometry().topLeft() + local; }
};

} // namespace

Q_DECLARE_METATYPE(QMargins)

class TestFrameless : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hitTest_data();
    void hitTest();
    void resizableOffKeepsBorderWidth();
    void maxChangeReportsFirstAndChanges();
    void dragMovesOrResizes_data();
    void dragMovesOrResizes();
    void resizeCursorOverChildren();
    void doubleClickMaximisesToWorkArea();
    void dragRestoresMaximisedUnderPointer();
    void dialogStaysAboveParent();
    void dialogComboListOpensAtItsCombo();

private:
    bool showSettled(QWidget *window);
    bool press(TestWindow &t, const QPoint &local);
    bool dragUntil(TestWindow &t, const QPoint &target, const std::function<bool()> &done,
                   bool captionDrag = false);

    bool m_haveWm = true;
};

void TestFrameless::initTestCase()
{
    TestEnv::isolate();
    // tools/with-openbox.sh started openbox before this process, so that Qt found its features.
    m_haveWm = !qEnvironmentVariableIsSet("QUORIX_TEST_NO_WM");
    QCOMPARE(run(QStringLiteral("wmctrl"), {QStringLiteral("-m")}), m_haveWm);
    if (m_haveWm) {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::primaryScreen()->availableGeometry(),
                                  screen.adjusted(0, MarginTop, 0, -MarginBottom), WmTimeout);
    }
}

// Shown, mapped by the window manager and active: its geometry is the managed one.
bool TestFrameless::showSettled(QWidget *window)
{
    window->show();
    return m_haveWm ? QTest::qWaitForWindowActive(window, WmTimeout)
                    : QTest::qWaitForWindowExposed(window, WmTimeout);
}

// Puts the pointer on local and presses the left button; true once the window has the press.
bool TestFrameless::press(TestWindow &t, const QPoint &local)
{
    if (!t.window.windowHandle())
        return false;
    t.window.windowHandle()->installEventFilter(&t.counter);
    const QPoint global = t.global(local);
    if (!movePointer(global))
        return false;
    if (!QTest::qWaitFor([&] { return QCursor::pos() == global; }, WmTimeout))
        return false;
    const int before = t.counter.presses;
    return xdo({QStringLiteral("mousedown"), QStringLiteral("1")}) &&
           QTest::qWaitFor([&] { return t.counter.presses > before; }, WmTimeout);
}

// Moves the held pointer to target until done() holds, then releases it. A caption drag starts
// at the first motion: that motion goes alone, and the window sees it before anything else moves
// (a resize starts at the press). The window manager takes over the pointer at some moment after
// the start; the pointer is wiggled by one pixel and back until it has, so the last motion it
// sees ends on target.
bool TestFrameless::dragUntil(TestWindow &t, const QPoint &target,
                              const std::function<bool()> &done, bool captionDrag)
{
    const int drags = t.counter.drags;
    if (captionDrag && (!movePointer(target) ||
                        !QTest::qWaitFor([&] { return t.counter.drags > drags; }, WmTimeout)))
        return false;
    QElapsedTimer clock;
    clock.start();
    bool reached = false;
    while (!reached && clock.elapsed() < WmTimeout) {
        movePointer(target + QPoint(1, 1));
        movePointer(target);
        QDeadlineTimer settle(300);
        while (!(reached = done()) && !settle.hasExpired())
            QTest::qWait(10);
    }
    xdo({QStringLiteral("mouseup"), QStringLiteral("1")});
    if (!reached)
        return false;
    // The release ends the gesture where it is.
    QTest::qWait(50);
    return QTest::qWaitFor(done, WmTimeout);
}

void TestFrameless::hitTest_data()
{
    QTest::addColumn<bool>("fixedWidth");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("edges");
    QTest::addColumn<bool>("caption"); // a press tests the edges first

    const int L = Qt::LeftEdge, R = Qt::RightEdge, T = Qt::TopEdge, B = Qt::BottomEdge;
    QTest::newRow("left") << false << QPoint(0, 160) << L << false;
    QTest::newRow("left inner pixel") << false << QPoint(3, 160) << L << false;
    QTest::newRow("past the zone") << false << QPoint(4, 160) << 0 << false;
    QTest::newRow("right") << false << QPoint(476, 160) << R << false;
    QTest::newRow("bottom") << false << QPoint(240, 319) << B << false;
    QTest::newRow("top over the title bar") << false << QPoint(240, 2) << T << true;
    QTest::newRow("top-left corner") << false << QPoint(2, 2) << (T | L) << true;
    QTest::newRow("bottom-right corner") << false << QPoint(479, 317) << (B | R) << false;
    QTest::newRow("bottom-left corner") << false << QPoint(1, 318) << (B | L) << false;
    QTest::newRow("top-right corner") << false << QPoint(478, 0) << (T | R) << false;
    QTest::newRow("fixed width: no side") << true << QPoint(1, 160) << 0 << false;
    QTest::newRow("fixed width: corner is top") << true << QPoint(1, 1) << T << true;
    QTest::newRow("fixed width: corner is bottom") << true << QPoint(478, 318) << B << false;
    QTest::newRow("empty title bar") << false << QPoint(240, 16) << 0 << true;
    QTest::newRow("listed caption label") << false << QPoint(45, 16) << 0 << true;
    QTest::newRow("title bar button") << false << QPoint(455, 16) << 0 << false;
    QTest::newRow("body") << false << QPoint(240, 160) << 0 << false;
}

void TestFrameless::hitTest()
{
    QFETCH(bool, fixedWidth);
    QFETCH(QPoint, pos);
    QFETCH(int, edges);
    QFETCH(bool, caption);

    TestWindow t;
    t.window.setFixedWidth(fixedWidth ? 480 : QWIDGETSIZE_MAX);
    t.window.setMinimumWidth(fixedWidth ? 480 : 200);
    t.window.resize(480, 320);
    t.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t.window));
    QCOMPARE(t.window.size(), QSize(480, 320));
    QVERIFY(t.button->geometry().contains(t.titleBar->mapFrom(&t.window, QPoint(455, 16))));
    QCOMPARE(int(t.window.frameHandler()->edgesAt(pos)), edges);
    QCOMPARE(t.window.frameHandler()->isCaptionAt(pos), caption);
}

void TestFrameless::resizableOffKeepsBorderWidth()
{
    TestWindow t;
    WinLessWindow *frame = t.window.frameHandler();
    QCOMPARE(frame->borderWidth(), 4);
    frame->setResizable(false);
    frame->setResizable(false);
    QCOMPARE(frame->borderWidth(), 0);
    QCOMPARE(int(frame->edgesAt(QPoint(0, 100))), 0);
    frame->setResizable(true);
    QCOMPARE(frame->borderWidth(), 4);
    QCOMPARE(int(frame->edgesAt(QPoint(0, 100))), int(Qt::LeftEdge));
}

void TestFrameless::maxChangeReportsFirstAndChanges()
{
    TestWindow t;
    QSignalSpy spy(&t.window, &WidgetLessWindow::maxChange);
    QVERIFY(showSettled(&t.window));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), false);
    t.window.showMaximized();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, WmTimeout);
    QCOMPARE(spy.at(1).at(0).toBool(), true);
    t.window.showMinimized();
    QTRY_VERIFY_WITH_TIMEOUT(t.window.isMinimized(), WmTimeout);
    t.window.showMaximized();
    QTRY_VERIFY_WITH_TIMEOUT(t.window.isMaximized() && !t.window.isMinimized(), WmTimeout);
    t.window.showNormal();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 3, WmTimeout);
    QCOMPARE(spy.at(2).at(0).toBool(), false);
}

void TestFrameless::dragMovesOrResizes_data()
{
    QTest::addColumn<QPoint>("grab");
    QTest::addColumn<QPoint>("delta");
    QTest::addColumn<QMargins>("change"); // how far each edge moves, outward positive

    // A caption drag moves every edge alike and keeps the size.
    QTest::newRow("caption") << QPoint(200, 16) << QPoint(-260, 150)
                             << QMargins(260, -150, -260, 150);
    QTest::newRow("left") << QPoint(1, 160) << QPoint(-40, 25) << QMargins(40, 0, 0, 0);
    QTest::newRow("right") << QPoint(478, 160) << QPoint(-60, -20) << QMargins(0, 0, -60, 0);
    QTest::newRow("top") << QPoint(240, 1) << QPoint(30, -35) << QMargins(0, 35, 0, 0);
    QTest::newRow("bottom") << QPoint(240, 318) << QPoint(-15, 45) << QMargins(0, 0, 0, 45);
    QTest::newRow("top-left") << QPoint(1, 1) << QPoint(30, 20) << QMargins(-30, -20, 0, 0);
    QTest::newRow("top-right") << QPoint(478, 1) << QPoint(50, -25) << QMargins(0, 25, 50, 0);
    QTest::newRow("bottom-left") << QPoint(1, 318) << QPoint(-35, -40) << QMargins(35, 0, 0, -40);
    QTest::newRow("bottom-right") << QPoint(478, 318) << QPoint(70, 55) << QMargins(0, 0, 70, 55);
}

void TestFrameless::dragMovesOrResizes()
{
    QFETCH(QPoint, grab);
    QFETCH(QPoint, delta);
    QFETCH(QMargins, change);

    TestWindow t;
    QVERIFY(showSettled(&t.window));
    const QRect expected = t.window.geometry().marginsAdded(change);
    const bool caption = t.window.frameHandler()->isCaptionAt(grab);
    QVERIFY(press(t, grab));
    QVERIFY2(
        dragUntil(
            t, t.global(grab) + delta, [&] { return t.window.geometry() == expected; }, caption),
        qPrintable(QStringLiteral("geometry %1,%2 %3x%4")
                       .arg(t.window.x())
                       .arg(t.window.y())
                       .arg(t.window.width())
                       .arg(t.window.height())));
}

void TestFrameless::resizeCursorOverChildren()
{
    TestWindow t;
    QVERIFY(showSettled(&t.window));
    auto overrideShape = [] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        return cursor ? int(cursor->shape()) : -1;
    };
    const struct
    {
        QPoint local;
        Qt::CursorShape shape;
    } spots[] = {{{2, 160}, Qt::SizeHorCursor},   {{477, 200}, Qt::SizeHorCursor},
                 {{240, 318}, Qt::SizeVerCursor}, {{240, 1}, Qt::SizeVerCursor},
                 {{1, 1}, Qt::SizeFDiagCursor},   {{478, 318}, Qt::SizeFDiagCursor},
                 {{478, 2}, Qt::SizeBDiagCursor}, {{2, 318}, Qt::SizeBDiagCursor}};
    for (const auto &spot : spots) {
        QVERIFY(movePointer(t.global(QPoint(240, 160))));
        QTRY_COMPARE_WITH_TIMEOUT(overrideShape(), -1, WmTimeout);
        QVERIFY(movePointer(t.global(spot.local)));
        QTRY_COMPARE_WITH_TIMEOUT(overrideShape(), int(spot.shape), WmTimeout);
    }
    // Leaving the window gives the desktop its own cursor back.
    QVERIFY(movePointer(t.global(QPoint(-50, 160))));
    QTRY_COMPARE_WITH_TIMEOUT(overrideShape(), -1, WmTimeout);
}

void TestFrameless::doubleClickMaximisesToWorkArea()
{
    if (!m_haveWm)
        QSKIP("needs a window manager");
    TestWindow t;
    QVERIFY(showSettled(&t.window));
    const QRect normal = t.window.geometry();
    const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(workArea != QGuiApplication::primaryScreen()->geometry());

    auto doubleClickCaption = [&] {
        const QPoint global = t.global(QPoint(200, 16));
        return movePointer(global) &&
               xdo({QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                    QStringLiteral("--delay"), QStringLiteral("60"), QStringLiteral("1")});
    };
    QVERIFY(doubleClickCaption());
    QTRY_VERIFY_WITH_TIMEOUT(t.window.isMaximized(), WmTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(t.window.geometry(), workArea, WmTimeout);
    // No border while maximised: the contents reach the screen's edges.
    QCOMPARE(t.window.contentsMargins(), QMargins());

    QVERIFY(doubleClickCaption());
    QTRY_VERIFY_WITH_TIMEOUT(!t.window.isMaximized(), WmTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(t.window.geometry(), normal, WmTimeout);
    QCOMPARE(t.window.contentsMargins(), QMargins(1, 1, 1, 1));
}

void TestFrameless::dragRestoresMaximisedUnderPointer()
{
    if (!m_haveWm)
        QSKIP("needs a window manager");
    TestWindow t;
    QVERIFY(showSettled(&t.window));
    const QSize normal = t.window.size();
    const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
    t.window.showMaximized();
    QTRY_COMPARE_WITH_TIMEOUT(t.window.geometry(), workArea, WmTimeout);

    // The pointer keeps its place along the title bar (300 of 1920 pixels) and in its height.
    const QPoint grab(300, 16);
    const QPoint target = t.global(grab) + QPoint(50, 200);
    const QRect expected(target - QPoint(300 * normal.width() / workArea.width(), 16), normal);
    QVERIFY(press(t, grab));
    QVERIFY2(dragUntil(
                 t, target,
                 [&] { return !t.window.isMaximized() && t.window.geometry() == expected; }, true),
             qPrintable(QStringLiteral("geometry %1,%2 %3x%4")
                            .arg(t.window.x())
                            .arg(t.window.y())
                            .arg(t.window.width())
                            .arg(t.window.height())));
}

void TestFrameless::dialogStaysAboveParent()
{
    if (!m_haveWm)
        QSKIP("needs a window manager");
    TestWindow t;
    QVERIFY(showSettled(&t.window));
    DialogLessWindow dialog(&t.window);
    dialog.setGeometry(QRect(t.window.geometry().center(), QSize(300, 200)));
    QVERIFY(showSettled(&dialog));

    // The main window is activated by the window manager, which raises it first: once it is
    // active, the stacking order shows the raise.
    QVERIFY(xdo({QStringLiteral("windowactivate"), QString::number(t.window.winId())}));
    QList<WId> stacking;
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeWindow() == &t.window &&
                                 (stacking = clientStacking()).contains(t.window.winId()) &&
                                 stacking.contains(dialog.winId()),
                             WmTimeout);
    QVERIFY(stacking.indexOf(dialog.winId()) > stacking.indexOf(t.window.winId()));
}

// A dialog opens centred over its parent where Qt knows it is, as the X server has it: a combo
// box's list, placed by Qt from the dialog's position, opens at its combo.
void TestFrameless::dialogComboListOpensAtItsCombo()
{
    if (!m_haveWm)
        QSKIP("needs a window manager");
    TestWindow t;
    QVERIFY(showSettled(&t.window));
    DialogLessWindow dialog(&t.window);
    auto *combo = new QComboBox;
    combo->addItems({QStringLiteral("one"), QStringLiteral("two")});
    auto *layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(40, 60, 40, 40);
    layout->addWidget(combo);
    dialog.resize(300, 200);
    QVERIFY(showSettled(&dialog));

    // Where the dialog really is, as the X server has it.
    QPoint real;
    const auto realPosition = [&] {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"),
                      {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                       QString::number(dialog.winId())});
        if (!xdotool.waitForFinished(WmTimeout))
            return false;
        const QString out = QString::fromLatin1(xdotool.readAllStandardOutput());
        const QRegularExpression x(QStringLiteral("X=(-?\\d+)")), y(QStringLiteral("Y=(-?\\d+)"));
        real = QPoint(x.match(out).captured(1).toInt(), y.match(out).captured(1).toInt());
        return real == dialog.geometry().topLeft();
    };
    QTRY_VERIFY2_WITH_TIMEOUT(realPosition(),
                              qPrintable(QStringLiteral("X server %1,%2, Qt %3,%4")
                                             .arg(real.x())
                                             .arg(real.y())
                                             .arg(dialog.x())
                                             .arg(dialog.y())),
                              WmTimeout);
    QVERIFY((dialog.geometry().center() - t.window.geometry().center()).manhattanLength() <= 2);
    combo->showPopup();
    QWidget *popup = combo->view()->window();
    QTRY_VERIFY_WITH_TIMEOUT(popup->isVisible(), WmTimeout);
    // The style decides whether the list opens below the combo or over it, at the current item:
    // either way it starts at the combo's left edge and touches the combo.
    const QRect at(real + combo->mapTo(&dialog, QPoint()), combo->size());
    const QRect list = popup->geometry();
    QVERIFY2(std::abs(list.left() - at.left()) <= 4 && list.top() <= at.bottom() + 4 &&
                 list.bottom() >= at.top() - 4,
             qPrintable(QStringLiteral("list at %1,%2, combo at %3,%4")
                            .arg(list.left())
                            .arg(list.top())
                            .arg(at.left())
                            .arg(at.top())));
    combo->hidePopup();
}

QTEST_MAIN(TestFrameless)
#include "tst_frameless.moc"
