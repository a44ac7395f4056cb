// tst_mainwindow_undo.cpp: undo and redo in the main window: the unsaved mark follows the saved
// state through the history, the shortcuts and buttons, and their entries in the settings.
#include "MessageBoxAnswerer.h"
#include "TestEnv.h"
#include "calibration/dialogs/CalibrationDialog.h"
#include "calibration/dialogs/CalibrationSession.h"
#include "camera/DeviceMonitor.h"
#include "camera/FrameConversion.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/V4l2CaptureBackend.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "panels/RightWidget.h"
#include "resources/QuorixResources.h"
#include "settings/SettingsKeys.h"
#include "settings/dialog/SettingDialog.h"
#include "settings/editors/AttributeTree.h"
#include "shapes/StraightLineItem.h"
#include "ui/mainwindow/MainWidget.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QTreeWidgetItemIterator>
#include <QUndoStack>

namespace {

// A window on a scripted camera, so that nothing starts by itself.
struct Fixture
{
    ScriptedV4l2Device device;
    std::unique_ptr<MainWidget> window;

    Fixture()
    {
        device.clearFormats();
        device.addFormat(FrameConversion::kFourccMjpg, {{640, 480, {30}}});
        window = std::make_unique<MainWidget>(std::make_unique<V4l2CaptureBackend>(device.io()),
                                              std::make_unique<PipeDeviceEventSource>());
        QImage image(800, 600, QImage::Format_RGB32);
        image.fill(Qt::gray);
        window->onSetImage(image);
        window->show();
        window->activateWindow();
    }
    MeasureGraphicsViewBusiness *view() const { return window->view(); }
    QToolButton *button(const char *name) const
    {
        return window->findChild<QToolButton *>(QLatin1String(name));
    }
    bool marked() const { return window->windowTitle().endsWith(QLatin1Char('*')); }
    // One step of the user's: a line drawn, or the last line moved.
    void step(bool draw)
    {
        if (draw) {
            auto *line = static_cast<StraightLineItem *>(view()->createShape(10));
            line->setStartPoint(QPointF(100, 100));
            line->setEndPoint(QPointF(300, 100));
        } else {
            view()->allItems().first()->moveBy(10, 0);
        }
        view()->history()->record();
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        QTest::keyClick(window.get(), Qt::Key(key), modifiers);
    }
};

} // namespace

class TstMainWindowUndo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void unsavedMarkShortcutsAndButtons();
    void shortcutsAreEditedInTheSettings();
    void calibrationAcceptedAndWindowClosedDuringOne();
    void settingsOkLeavesTheDrawingAlone();
};

void TstMainWindowUndo::initTestCase()
{
    TestEnv::isolate();
    QuorixResources::init();
}

void TstMainWindowUndo::init()
{
    QSettings settings;
    settings.clear();
    settings.setValue(QLatin1String(SettingsKeys::kConfirmOnExit), false);
}

// Undoing back to the saved drawing clears the mark, moving away from it sets it; the keys and
// the buttons undo and redo, and the table follows.
void TstMainWindowUndo::unsavedMarkShortcutsAndButtons()
{
    Fixture f;
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    QUndoStack *stack = f.view()->history()->stack();
    QToolButton *undo = f.button("toolButtonUndo");
    QToolButton *redo = f.button("toolButtonRedo");
    QCOMPARE(undo->accessibleName(), QStringLiteral("撤销"));
    QCOMPARE(undo->toolTip(), QStringLiteral("撤销 (Ctrl+Z)"));
    QVERIFY(!undo->icon().isNull() && !redo->icon().isNull());
    QVERIFY(!undo->isEnabled() && !redo->isEnabled());

    f.step(true);
    QVERIFY(f.marked());
    f.key(Qt::Key_Z); // back to the picture as it came
    QVERIFY(!f.marked());
    QCOMPARE(f.window->rightWidget()->tableRows().size(), 0);
    QVERIFY(!undo->isEnabled() && redo->isEnabled());
    f.key(Qt::Key_Y);
    QVERIFY(f.marked());
    QCOMPARE(f.window->rightWidget()->tableRows().size(), 1);

    f.window->setModified(false); // what saving does
    f.step(false);
    QVERIFY(f.marked());
    QTest::mouseClick(undo, Qt::LeftButton); // back to the saved drawing
    QVERIFY(!f.marked());
    f.key(Qt::Key_Z);
    QVERIFY(f.marked());
    QCOMPARE(stack->index(), 0);
    f.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(!f.marked());
    QTest::mouseClick(redo, Qt::LeftButton);
    QVERIFY(f.marked());
    QCOMPARE(stack->index(), 2);
    QVERIFY(!redo->isEnabled());

    // The style editor reports every keystroke; a width typed as "1", "12" is one step.
    f.view()->allItems().first()->setSelected(true);
    auto *tree = f.window->findChild<AttributeTree *>();
    QTreeWidgetItem *width = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it && !width; ++it) {
        if ((*it)->data(0, Qt::UserRole).toInt() == 0 && (*it)->parent())
            width = *it;
    }
    QVERIFY(width);
    tree->onItemClicked(width, 1);
    auto *spin = qobject_cast<QSpinBox *>(tree->itemWidget(width, 1));
    QVERIFY(spin);
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("12"));
    QCOMPARE(f.view()->allItems().first()->attribute()->imgElement.width, 12);
    QCOMPARE(stack->index(), 3);
    f.key(Qt::Key_Z);
    QCOMPARE(f.view()->allItems().first()->attribute()->imgElement.width, 2);

    // A new picture starts a new history: nothing to undo, nothing unsaved.
    QImage other(640, 480, QImage::Format_RGB32);
    other.fill(Qt::white);
    f.view()->setBackgroundImage(other, true);
    QVERIFY(!stack->canUndo());
    QVERIFY(!f.marked());
}

void TstMainWindowUndo::shortcutsAreEditedInTheSettings()
{
    {
        // The dialog shows both entries; redo keeps its two sequences, and no other action may
        // take one of them (Qt fires neither of two equal shortcuts).
        SettingDialog dialog;
        dialog.show();
        auto *undoEdit = dialog.findChild<QLineEdit *>(QStringLiteral("lineEditUndo"));
        auto *redoEdit = dialog.findChild<QLineEdit *>(QStringLiteral("lineEditRedo"));
        QCOMPARE(undoEdit->text(), QStringLiteral("Ctrl+Z"));
        QCOMPARE(redoEdit->text(), QStringLiteral("Ctrl+Shift+Z; Ctrl+Y"));
        dialog.findChild<QPushButton *>(QStringLiteral("pushButtonClearUndo"))->click();
        QTest::mouseClick(undoEdit, Qt::LeftButton);
        MessageBoxAnswerer boxes;
        QTest::keyClick(undoEdit, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(boxes.count(), 1);
        QVERIFY(boxes.texts().first().contains(QStringLiteral("重做")));
        QTest::keyClick(undoEdit, Qt::Key_Backspace, Qt::AltModifier);
        QCOMPARE(undoEdit->text(), QStringLiteral("Alt+Backspace"));
        dialog.findChild<QPushButton *>(QStringLiteral("pushButtonClearRedo"))->click();
        dialog.findChild<QPushButton *>(QStringLiteral("pushButton_10"))->click(); // Apply
    }
    QCOMPARE(QSettings().value(SettingsKeys::kShortcutUndo).toString(),
             QStringLiteral("Alt+Backspace"));
    QCOMPARE(QSettings().value(SettingsKeys::kShortcutRedo).toString(), QString());

    Fixture f;
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    auto *undoAction = f.window->findChild<QAction *>(QStringLiteral("actionUndo"));
    auto *redoAction = f.window->findChild<QAction *>(QStringLiteral("actionRedo"));
    QCOMPARE(undoAction->shortcuts(),
             QList<QKeySequence>{QKeySequence(QStringLiteral("Alt+Backspace"))});
    QVERIFY(redoAction->shortcuts().isEmpty());
    f.step(true);
    f.key(Qt::Key_Z);
    QCOMPARE(f.view()->history()->stack()->index(), 1);
    f.key(Qt::Key_Backspace, Qt::AltModifier);
    QCOMPARE(f.view()->history()->stack()->index(), 0);
}

// OK on unchanged settings leaves a saved drawing saved and adds no step; turning the scale bar
// on is a change of the drawing.
void TstMainWindowUndo::settingsOkLeavesTheDrawingAlone()
{
    Fixture f;
    f.window->setDialogRunner([](QDialog *) { return int(QDialog::Accepted); });
    f.step(true);
    f.window->setModified(false); // what saving does
    QUndoStack *stack = f.view()->history()->stack();
    const int steps = stack->count();
    const auto scaleBars = [&f] {
        int n = 0;
        for (GraphicsItemBase *item : f.view()->allItems())
            n += item->type() == 32 && item->isVisible();
        return n;
    };
    for (int i = 0; i < 2; ++i) {
        f.window->onOpenSetting();
        QVERIFY(!f.marked());
        QCOMPARE(stack->count(), steps);
        QCOMPARE(scaleBars(), 0);
    }

    QSettings().setValue(QLatin1String(SettingsKeys::kShowScale), false);
    f.window->onOpenSetting();
    QSettings().setValue(QLatin1String(SettingsKeys::kShowScale), true);
    f.window->onOpenSetting();
    QCOMPARE(scaleBars(), 1);
}

QTEST_MAIN(TstMainWindowUndo)

// An accepted calibration marks the drawing unsaved, and undoing and redoing back to the step
// saved before it leaves the mark. A window destroyed while a calibration is open takes the
// ruler off its canvas before the canvas goes (it used to crash at exit).
void TstMainWindowUndo::calibrationAcceptedAndWindowClosedDuringOne()
{
    MessageBoxAnswerer answerer;
    for (bool accept : {true, false}) {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        f.step(true);
        f.window->setModified(false);
        answerer.answer(QMessageBox::Ok); // the hint to calibrate at 100 %
        f.window->onOpenCalibrationDialog(nullptr);
        auto *session = f.window->findChild<CalibrationSession *>();
        QVERIFY(session);
        if (!accept)
            continue; // the window goes with the calibration open
        emit session->finished(true);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the ruler goes
        QVERIFY(f.marked());
        f.key(Qt::Key_Z);
        f.key(Qt::Key_Y);
        QVERIFY(f.marked());
    }
}

#include "tst_mainwindow_undo.moc"
