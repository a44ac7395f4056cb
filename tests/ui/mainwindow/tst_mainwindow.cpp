// tst_mainwindow.cpp: the main window offscreen: every wiring row, the unsaved mark, the status
// text, the zoom kept over live frames, theme, language, shortcuts and accessible names.
#include "MessageBoxAnswerer.h"
#include "TestEnv.h"
#include "WidgetLook.h"
#include "app/AppLanguage.h"
#include "calibration/CalibrationData.h"
#include "camera/Camera.h"
#include "camera/DemoCameraBackend.h"
#include "camera/DeviceMonitor.h"
#include "camera/FrameConversion.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/V4l2CaptureBackend.h"
#include "canvas/GraphicsScene.h"
#include "canvas/MeasureFrame.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "panels/LeftBarWidget.h"
#include "panels/RightWidget.h"
#include "preview/VideoOpenGLWidget.h"
#include "resources/QuorixResources.h"
#include "settings/SettingsKeys.h"
#include "shapes/GraphicsItemBase.h"
#include "shapes/ShapeTypes.h"
#include "ui/mainwindow/MainWidget.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSignalSpy>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {

QImage picture(int width = 800, int height = 600)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(90, 140, 200));
    return image;
}

// A window on a scripted camera (not the demo camera, so nothing starts by itself) with device
// events fed through a pipe.
struct Fixture
{
    ScriptedV4l2Device device;
    PipeDeviceEventSource *events = nullptr;
    std::unique_ptr<MainWidget> window;

    Fixture()
    {
        device.clearFormats();
        device.addFormat(FrameConversion::kFourccMjpg, {{640, 480, {30}}});
        auto source = std::make_unique<PipeDeviceEventSource>();
        events = source.get();
        window = std::make_unique<MainWidget>(std::make_unique<V4l2CaptureBackend>(device.io()),
                                              std::move(source));
    }
    MeasureGraphicsViewBusiness *view() const { return window->view(); }
    template <typename W>
    W *find(const char *name) const
    {
        return window->findChild<W *>(QLatin1String(name));
    }
    QTableWidget *table() const { return window->rightWidget()->findChild<QTableWidget *>(); }
    GraphicsItemBase *addLine() const
    {
        GraphicsItemBase *shape = view()->createShape(10);
        return shape;
    }
};

// The leftmost column of a cell's text as the view's style paints the cell plain, selected and
// under the pointer.
QList<int> textStartByState(QAbstractItemView *view)
{
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = QRect(0, 0, 120, 24);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = QStringLiteral("500.386");
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    QList<int> starts;
    for (QStyle::State state :
         {QStyle::State_None, QStyle::State_Selected, QStyle::State_MouseOver}) {
        option.state = QStyle::State_Enabled | QStyle::State_Active | state;
        QImage cell(option.rect.size(), QImage::Format_ARGB32);
        cell.fill(Qt::transparent);
        QPainter painter(&cell);
        view->style()->drawControl(QStyle::CE_ItemViewItem, &option, &painter, view);
        painter.end();
        const QRgb background = cell.pixel(cell.width() - 2, 2);
        int start = -1;
        for (int x = 0; x < cell.width() && start < 0; ++x)
            for (int y = 0; y < cell.height() && start < 0; ++y)
                if (cell.pixel(x, y) != background)
                    start = x;
        starts << start;
    }
    return starts;
}

// How far a picture's pixels stand out from its top-left corner's colour, summed.
qint64 ink(const QImage &image)
{
    const int background = qGray(image.pixel(0, 0));
    qint64 sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += std::abs(qGray(image.pixel(x, y)) - background);
    return sum;
}

bool hasChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("[\\x{3400}-\\x{9fff}]"));
    return text.contains(han);
}

} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void wiring_data();
    void wiring();
    void deviceChangesReachTheLeftBar();
    void liveFramesKeepTheUnsavedMarkAndTheZoom();
    void cameraStartAsksAndClearsTheDrawing();
    void statusTextLastsFromTheNewestMessage();
    void demoCameraStartsWhenItIsTheOnlyCamera();
    void themeSwitch();
    void languageSwitchLeavesNoChineseAndEveryControlNamed();
    void leftBarIsAsWideAsItsContent();
    void shortcutsFromTheSettings();
    void settingsDialogAppliesTheSettings();
};

void TstMainWindow::initTestCase()
{
    TestEnv::isolate();
    QuorixResources::init();
    VideoFrameYUV::registerMetaType();
    QSettings().setValue(QLatin1String(SettingsKeys::kConfirmOnExit), false);
}

void TstMainWindow::init()
{
    QSettings settings;
    settings.clear();
    settings.setValue(QLatin1String(SettingsKeys::kConfirmOnExit), false);
    installAppLanguage(0);
}

using Step = std::function<void(Fixture &)>;
using Check = std::function<bool(Fixture &)>;
Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(Check)

// Each row of the wiring: a picture is shown first, then the signal goes in, the effect comes out.
void TstMainWindow::wiring_data()
{
    QTest::addColumn<Step>("act");
    QTest::addColumn<Check>("effect");

    QTest::newRow("slider sets the zoom")
        << Step([](Fixture &f) { f.find<QSlider>("horizontalSliderCanvas")->setValue(3); })
        << Check([](Fixture &f) { return qFuzzyCompare(f.view()->canvasZoom(), 3.0); });
    QTest::newRow("zoom shows in label and slider")
        << Step([](Fixture &f) { emit f.window->measureFrame()->canvasZoomChanged(2.5); })
        << Check([](Fixture &f) {
               return f.find<QLabel>("labelSliderCanvasZoom")->text() == QLatin1String("2.5") &&
                      f.find<QSlider>("horizontalSliderCanvas")->value() == 2;
           });
    QTest::newRow("new shape: row and unsaved mark")
        << Step([](Fixture &f) { f.addLine(); }) << Check([](Fixture &f) {
               return f.table()->rowCount() == 1 && f.window->windowTitle().endsWith('*') &&
                      f.window->isModified();
           });
    QTest::newRow("table deletes the shape") << Step([](Fixture &f) {
        GraphicsItemBase *shape = f.addLine();
        emit f.window->rightWidget()->sigDelDrawLine(shape->lineData());
    }) << Check([](Fixture &f) { return f.view()->allItems().isEmpty(); });
    QTest::newRow("table selects the shape") << Step([](Fixture &f) {
        f.addLine();
        GraphicsItemBase *shape = f.addLine();
        emit f.window->rightWidget()->sigLineSelected(shape->lineData());
    }) << Check([](Fixture &f) {
        const QList<QGraphicsItem *> selected = f.view()->graphicsScene()->selectedItems();
        return selected.size() == 1;
    });
    QTest::newRow("canvas selection selects the row") << Step([](Fixture &f) {
        f.addLine();
        GraphicsItemBase *shape = f.addLine();
        emit f.view()->sigChoosedItemChanged(shape->lineData()->attribute);
    }) << Check([](Fixture &f) { return f.table()->currentRow() == 1; });
    QTest::newRow("delete all") << Step([](Fixture &f) {
        f.addLine();
        f.addLine();
        emit f.window->leftBar()->sigDeleteAllRequested();
    }) << Check([](Fixture &f) {
        return f.view()->allItems().isEmpty() && f.table()->rowCount() == 0;
    });
    QTest::newRow("palm mode") << Step([](Fixture &f) {
        emit f.window->leftBar()->sigPalmModeChanged(true);
    }) << Check([](Fixture &f) { return f.view()->panningMode(); });
    QTest::newRow("left bar status text")
        << Step([](Fixture &f) { emit f.window->leftBar()->sigStatusMessage("left"); })
        << Check([](Fixture &f) { return f.window->statusLabel()->text() == "left"; });
    QTest::newRow("table status text")
        << Step([](Fixture &f) { emit f.window->rightWidget()->sigStatusMessage("right"); })
        << Check([](Fixture &f) { return f.window->statusLabel()->text() == "right"; });
    QTest::newRow("frame rate text")
        << Step([](Fixture &f) { emit f.window->leftBar()->sigFpsTextChanged("FPS: 29.9"); })
        << Check([](Fixture &f) { return f.find<QLabel>("label_fps")->text() == "FPS: 29.9"; });
    QTest::newRow("camera frame becomes the picture")
        << Step([](Fixture &f) { emit f.window->leftBar()->sigSetImage(picture(1000, 500)); })
        << Check([](Fixture &f) { return f.view()->imageSize() == QSize(1000, 500); });
    QTest::newRow("YUV preview shows the GL preview") << Step([](Fixture &f) {
        VideoFrameYUV frame;
        frame.width = 4;
        frame.height = 4;
        frame.y = QByteArray(16, char(81));
        frame.u = QByteArray(4, char(90));
        frame.v = QByteArray(4, char(240));
        emit f.window->leftBar()->sigSetYuvPreview(frame);
    }) << Check([](Fixture &f) {
        return f.window->measureFrame()->previewWidget()->isVisibleTo(f.window.get());
    });
    QTest::newRow("image preview hides the GL preview") << Step([](Fixture &f) {
        f.window->measureFrame()->previewWidget()->show();
        emit f.window->leftBar()->sigSetPreview(picture(400, 300));
    }) << Check([](Fixture &f) {
        return !f.window->measureFrame()->previewWidget()->isVisibleTo(f.window.get());
    });
    QTest::newRow("list button toggles the table") << Step([](Fixture &f) {
        f.window->rightWidget()->showTable();
        f.find<QToolButton>("toolButtonList")->click();
    }) << Check([](Fixture &f) {
        const bool hidden = !f.window->rightWidget()->isTableVisible();
        f.find<QToolButton>("toolButtonList")->click();
        return hidden && f.window->rightWidget()->isTableVisible();
    });
    QTest::newRow("measure page") << Step([](Fixture &f) {
        f.find<QToolButton>("toolButtonMeasure")->click();
    }) << Check([](Fixture &f) {
        return f.find<QToolButton>("toolButtonMeasure")->property("state") == "choosed" &&
               f.find<QToolButton>("toolButtonCamera")->property("state") == "unchoosed";
    });
    QTest::newRow("clear canvas") << Step([](Fixture &f) {
        f.addLine();
        emit f.window->leftBar()->sigClearCanvas();
    }) << Check([](Fixture &f) {
        return f.view()->allItems().isEmpty() && f.table()->rowCount() == 0;
    });
    QTest::newRow("maximised look of the maximise button")
        << Step([](Fixture &f) { emit f.window->maxChange(true); }) << Check([](Fixture &f) {
               return f.find<QPushButton>("pushButtonNormal")->property("state") == "max";
           });
}

void TstMainWindow::wiring()
{
    QFETCH(Step, act);
    QFETCH(Check, effect);
    Fixture f;
    f.window->onSetImage(picture());
    act(f);
    QVERIFY(effect(f));
}

void TstMainWindow::deviceChangesReachTheLeftBar()
{
    Fixture f;
    QComboBox *cameras = f.window->leftBar()->findChild<QComboBox *>("cbCameras");
    QCOMPARE(cameras->count(), 1);
    QSignalSpy changes(f.window->deviceMonitor(), &DeviceMonitor::devicesChanged);
    f.device.setPresent(false);
    f.events->post(QStringLiteral("remove"), QStringLiteral("/dev/video0"));
    QVERIFY(changes.wait(20000));
    QCOMPARE(cameras->count(), 0);
}

void TstMainWindow::liveFramesKeepTheUnsavedMarkAndTheZoom()
{
    Fixture f;
    emit f.window->leftBar()->sigSetImage(picture());
    f.addLine();
    QVERIFY(f.window->windowTitle().endsWith('*'));
    // The user zooms; further live frames of the same size keep the zoom and the mark.
    f.window->findChild<QPushButton *>("pushButtonCanvasScalenEnlarge")->click();
    const double zoom = f.view()->canvasZoom();
    QVERIFY(!f.view()->fitMode());
    for (int i = 0; i < 3; ++i)
        emit f.window->leftBar()->sigSetImage(picture());
    QCOMPARE(f.view()->canvasZoom(), zoom);
    QVERIFY(f.window->isModified());
    QVERIFY(f.window->windowTitle().endsWith('*'));
}

void TstMainWindow::cameraStartAsksAndClearsTheDrawing()
{
    Fixture f;
    emit f.window->leftBar()->sigSetImage(picture());
    f.addLine();
    MessageBoxAnswerer answerer;
    // Cancel keeps the drawing and the camera closed; Discard clears it and starts the camera.
    answerer.answer(QMessageBox::Cancel);
    emit f.window->leftBar()->sigRequestStartCamera();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(f.view()->allItems().size(), 1);
    QVERIFY(!f.window->leftBar()->camera()->isOpened());
    answerer.answer(QMessageBox::Discard);
    emit f.window->leftBar()->sigRequestStartCamera();
    QCOMPARE(answerer.count(), 2);
    QVERIFY(f.view()->allItems().isEmpty());
    QCOMPARE(f.table()->rowCount(), 0);
    QVERIFY(!f.window->windowTitle().endsWith('*'));
    QVERIFY(f.window->leftBar()->camera()->isOpened());
    f.window->leftBar()->closeCamera();
}

void TstMainWindow::statusTextLastsFromTheNewestMessage()
{
    Fixture f;
    emit f.window->leftBar()->sigStatusMessage("old");
    auto *clear = f.window->findChild<QTimer *>("statusTimer");
    QVERIFY(clear && clear->isActive());
    // Wait until the clock of the old text has visibly run, then a newer text restarts it.
    QTRY_VERIFY_WITH_TIMEOUT(clear->remainingTime() < 4990, 120000);
    const int before = clear->remainingTime();
    emit f.window->leftBar()->sigStatusMessage("new");
    QVERIFY(clear->remainingTime() > before);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->statusLabel()->text().isEmpty(), 120000);

    // A text longer than the bar has room for gets an ellipsis instead of being cut through a
    // letter: the label's last pixels look as without a text; the text itself stays whole.
    f.window->resize(1248, 702);
    f.window->show();
    QLabel *label = f.window->statusLabel();
    const QImage empty = label->grab().toImage();
    // Full blocks: ink throughout, up to the closing blank that a whole text ends with.
    const QString blocks = QString(400, QChar(0x2588)) + QLatin1Char(' ');
    emit f.window->leftBar()->sigStatusMessage(blocks);
    const QImage full = label->grab().toImage();
    const QRect room = label->contentsRect();
    QVERIFY(room.width() > 100);
    for (int x = room.right() - 1; x <= room.right(); ++x)
        for (int y = room.top(); y <= room.bottom(); ++y)
            QCOMPARE(full.pixel(x, y), empty.pixel(x, y));
    QCOMPARE(label->text(), blocks);
    // The text's end stays in sight: a message that begins with a long path ends in what happened.
    emit f.window->leftBar()->sigStatusMessage(blocks + QStringLiteral("saved"));
    const QImage saved = label->grab().toImage();
    emit f.window->leftBar()->sigStatusMessage(blocks + QStringLiteral("failed"));
    QVERIFY(label->grab().toImage() != saved);
    // A text that fits stands where a plain label puts it.
    emit f.window->leftBar()->sigStatusMessage(QStringLiteral("Saved"));
    QLabel plain(label->parentWidget());
    plain.setStyleSheet(label->styleSheet());
    plain.setGeometry(label->geometry());
    plain.setText(label->text());
    plain.show();
    QCOMPARE(label->grab().toImage(), plain.grab().toImage());
}

void TstMainWindow::demoCameraStartsWhenItIsTheOnlyCamera()
{
    {
        Fixture f;
        QCoreApplication::processEvents();
        QVERIFY(!f.window->leftBar()->camera()->isOpened());
    }
    MainWidget window(std::make_unique<DemoCameraBackend>(),
                      std::make_unique<PipeDeviceEventSource>());
    QVERIFY(!window.leftBar()->camera()->isOpened()); // only once the event loop runs
    QTRY_VERIFY_WITH_TIMEOUT(window.leftBar()->camera()->isOpened(), 120000);
    QTRY_VERIFY_WITH_TIMEOUT(!window.view()->imageSize().isEmpty(), 60000);
    QVERIFY(!window.isModified());
    window.leftBar()->closeCamera();
}

void TstMainWindow::themeSwitch()
{
    Fixture f;
    const auto css = [](const char *name) {
        QFile file{QString::fromLatin1(name)};
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    // In either theme a row's texts stay put when it is selected or under the pointer, the
    // title bar's buttons sit whole and centred in the bar, and a disabled icon looks faded.
    f.window->show();
    const auto textsStayPut = [&f] {
        for (QAbstractItemView *view :
             {static_cast<QAbstractItemView *>(f.table()),
              f.window->leftBar()->findChild<QAbstractItemView *>(QStringLiteral("treeWidget"))}) {
            const QList<int> starts = textStartByState(view);
            QVERIFY(starts.value(0) > 0);
            QCOMPARE(starts.value(1), starts.value(0));
            QCOMPARE(starts.value(2), starts.value(0));
        }
        auto *bar = f.find<QWidget>("widgetTop");
        QCoreApplication::processEvents();
        for (QPushButton *button : bar->findChildren<QPushButton *>()) {
            QVERIFY2(bar->rect().contains(button->geometry()), qPrintable(button->objectName()));
            QVERIFY(std::abs(button->geometry().center().y() - bar->rect().center().y()) <= 1);
        }
        auto *undo = f.find<QToolButton>("toolButtonUndo");
        const auto look = [undo] { return undo->parentWidget()->grab(undo->geometry()).toImage(); };
        const QImage off = look(); // nothing to undo yet
        undo->defaultAction()->setEnabled(true);
        const QImage on = look();
        undo->defaultAction()->setEnabled(false);
        QVERIFY2(ink(off) * 2 < ink(on),
                 qPrintable(QStringLiteral("%1 %2").arg(ink(off)).arg(ink(on))));
        // A disabled push button differs from an enabled one by more than its text's colour.
        QPushButton enabled(f.window.get()), disabled(f.window.get());
        disabled.setEnabled(false);
        const auto face = [](QPushButton &button) {
            button.ensurePolished();
            button.resize(80, 30);
            return button.grab().toImage().pixel(8, 8);
        };
        QVERIFY(face(enabled) != face(disabled));
        // The canvas's own messages (here: a BMP cannot hold the drawing) read as well as the
        // window's: they must not take the canvas's dark background in the light theme.
        QTemporaryDir dir;
        const QString bmp = dir.filePath("plain.bmp");
        QVERIFY(QImage(8, 8, QImage::Format_RGB32).save(bmp));
        double contrast = 0;
        QTimer::singleShot(0, [&contrast] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                const QLabel *text = box->findChild<QLabel *>("qt_msgbox_label");
                contrast = WidgetLook::textContrast(box->grab(text->geometry()).toImage());
                box->done(QMessageBox::Ok);
            }
        });
        f.window->view()->onSaveImg(bmp);
        QVERIFY2(contrast >= 4.5, qPrintable(QString::number(contrast)));
    };
    QSettings().setValue(QLatin1String(SettingsKeys::kTheme), 0);
    f.window->applyThemeSettings();
    textsStayPut();
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(f.window->iconDir(), QStringLiteral(":/imgs/dark/"));
    QVERIFY(qApp->styleSheet().contains(css(":/mainwidget_light.css")));
    QVERIFY(!qApp->styleSheet().contains(css(":/mainwidget.css")));
    QSettings().setValue(QLatin1String(SettingsKeys::kTheme), 1);
    f.window->applyThemeSettings();
    QCOMPARE(f.window->iconDir(), QStringLiteral(":/imgs/"));
    textsStayPut();
    QVERIFY(qApp->styleSheet().contains(css(":/mainwidget.css")));
    QVERIFY(qApp->styleSheet().contains(css(":/button.css")));
}

void TstMainWindow::languageSwitchLeavesNoChineseAndEveryControlNamed()
{
    Fixture f;
    f.window->show();
    f.window->onSetImage(picture());
    f.addLine();
    installAppLanguage(1);
    QCoreApplication::processEvents();
    QStringList chinese, unnamed;
    const auto note = [&](QWidget *w, const QString &text) {
        if (hasChinese(text))
            chinese << QStringLiteral("%1: %2").arg(w->objectName(), text);
    };
    for (QWidget *w : f.window->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(f.window.get()))
            continue;
        note(w, w->toolTip());
        note(w, w->accessibleName());
        if (auto *label = qobject_cast<QLabel *>(w))
            note(w, label->text());
        if (auto *button = qobject_cast<QAbstractButton *>(w))
            note(w, button->text());
        if (auto *combo = qobject_cast<QComboBox *>(w))
            for (int i = 0; i < combo->count(); ++i)
                note(w, combo->itemText(i));
        if (auto *table = qobject_cast<QTableWidget *>(w))
            for (int c = 0; c < table->columnCount(); ++c)
                if (table->horizontalHeaderItem(c))
                    note(w, table->horizontalHeaderItem(c)->text());
        // Every stop of the Tab key is named too: an unnamed one is a dead stop to the user.
        const bool control = qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) ||
                             qobject_cast<QAbstractSlider *>(w) ||
                             qobject_cast<QAbstractSpinBox *>(w) || qobject_cast<QLineEdit *>(w) ||
                             ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy());
        if (control && w->accessibleName().isEmpty() && !w->inherits("QScrollBar") &&
            w->objectName() != QLatin1String("qt_spinbox_lineedit"))
            unnamed << QString::fromLatin1(w->metaObject()->className()) + ':' + w->objectName();
    }
    QVERIFY2(chinese.isEmpty(), qPrintable(chinese.join('\n')));
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join('\n')));
    QCOMPARE(f.window->findChild<QToolButton *>("toolButtonFullScreen")->text(),
             QStringLiteral("Fullscreen"));
    installAppLanguage(0);
    QCoreApplication::processEvents();
    QCOMPARE(f.window->findChild<QToolButton *>("toolButtonFullScreen")->text(),
             QStringLiteral("全屏"));
}

// Neither a long magnification name nor the English texts clip a text of the left bar's pages,
// the canvas keeps most of the window, and the measurement table shows whole beside the bar.
// Started in either language, the bar is as wide as it stays: neither showing the measuring page
// nor selecting a shape widens it (a wider bar moves and rescales the picture under the user's
// hand); then the other language is switched to live.
void TstMainWindow::leftBarIsAsWideAsItsContent()
{
    for (int language : {0, 1}) {
        installAppLanguage(language);
        MainWidget window(std::make_unique<DemoCameraBackend>(),
                          std::make_unique<PipeDeviceEventSource>());
        window.resize(1248, 702);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.leftBar()->camera()->isOpened(), 120000);
        CalibrationData *calibration = window.leftBar()->calibrationData();
        calibration->addMagnification({QStringLiteral("100X 油镜 平场复消色差"), 4.0e6});
        calibration->setCurrentIndex(calibration->count() - 1);
        window.leftBar()->reloadCalibrationLists();
        QCoreApplication::processEvents();
        const int width = window.leftBar()->width();
        // Rows come while the table is hidden; it fits them when shown.
        for (int type : {ShapeTypes::StraightLine, ShapeTypes::CircleCenterRadius, ShapeTypes::Rect,
                         ShapeTypes::Angle3Point, ShapeTypes::Perpendicular4Points})
            window.view()->createShape(type);
        window.rightWidget()->showTable();
        auto *table = window.rightWidget()->findChild<QTableWidget *>();
        auto *pages =
            window.leftBar()->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
        QVERIFY(pages);
        for (int shown : {language, 1 - language}) {
            installAppLanguage(shown);
            for (int page = 0; page < pages->count(); ++page) {
                pages->setCurrentIndex(page);
                window.leftBar()->onAttribute(page ? std::make_shared<Attribute>() : nullptr);
                QCoreApplication::processEvents();
                const QStringList clipped = WidgetLook::clippedTexts(pages->currentWidget());
                QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join('\n')));
                if (shown == language)
                    QCOMPARE(window.leftBar()->width(), width);
            }
            QVERIFY2(window.rightWidget()->width() > window.width() / 2,
                     qPrintable(QString::number(window.leftBar()->width())));
            // The whole measurement table shows: every title fits its column and nothing
            // scrolls sideways; the columns fill the table.
            QCoreApplication::processEvents();
            const QStringList titles = WidgetLook::clippedTexts(table->horizontalHeader());
            QVERIFY2(titles.isEmpty(), qPrintable(titles.join('\n')));
            QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
            QCOMPARE(table->horizontalHeader()->length(), table->viewport()->width());
            // The picture keeps two thirds of the height.
            const QList<int> heights =
                window.rightWidget()->findChild<QSplitter *>(QStringLiteral("splitter"))->sizes();
            QVERIFY2(
                std::abs(heights.value(0) - 2 * heights.value(1)) <= 2,
                qPrintable(QStringLiteral("%1 %2").arg(heights.value(0)).arg(heights.value(1))));
        }
        window.leftBar()->closeCamera();
    }
    installAppLanguage(0);
}

void TstMainWindow::shortcutsFromTheSettings()
{
    QSettings settings;
    settings.setValue(QLatin1String(SettingsKeys::kShortcutZoomIn), "Ctrl++");
    settings.setValue(QLatin1String(SettingsKeys::kShortcutFullscreen), "");
    settings.setValue(QLatin1String(SettingsKeys::kShortcutCapture), "F6");
    Fixture f;
    const auto shortcut = [&f](const char *name) { return f.find<QShortcut>(name); };
    QCOMPARE(shortcut("shortcutZoomIn")->key(), QKeySequence(QStringLiteral("Ctrl+=")));
    QCOMPARE(shortcut("shortcutZoomOut")->key(), QKeySequence(QStringLiteral("Ctrl+-")));
    QCOMPARE(shortcut("shortcutCapture")->key(), QKeySequence(QStringLiteral("F6")));
    QVERIFY(!shortcut("shortcutFullScreen"));
    QCOMPARE(f.window->findChildren<QShortcut *>().size(), 3);

    // Zoom steps of 0.1 from the keyboard, bounded below by 0.1.
    f.window->show();
    f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    f.window->onSetImage(picture());
    f.view()->setCanvasZoom(1.0);
    QTest::keyClick(f.window.get(), Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(f.view()->canvasZoom(), 1.1);
    f.view()->setCanvasZoom(0.15);
    QTest::keyClick(f.window.get(), Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(f.view()->canvasZoom(), 0.1);
    QTest::keyClick(f.window.get(), Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(f.view()->canvasZoom(), 0.1);

    // Reloading replaces the shortcuts rather than adding to them.
    settings.setValue(QLatin1String(SettingsKeys::kShortcutFullscreen), "F11");
    f.window->loadShortcuts();
    QCoreApplication::processEvents();
    QCOMPARE(f.window->findChildren<QShortcut *>().size(), 4);
}

void TstMainWindow::settingsDialogAppliesTheSettings()
{
    Fixture f;
    int runs = 0;
    f.window->setDialogRunner([&runs](QDialog *) {
        ++runs;
        QSettings().setValue(QLatin1String(SettingsKeys::kTheme), 0);
        return int(QDialog::Accepted);
    });
    QCOMPARE(f.window->iconDir(), QStringLiteral(":/imgs/"));
    emit f.window->leftBar()->sigOpenSetting();
    QCOMPARE(runs, 1);
    QCOMPARE(f.window->iconDir(), QStringLiteral(":/imgs/dark/"));
    f.window->findChild<QToolButton *>("toolButtonSetting")->click();
    QCOMPARE(runs, 2);
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
