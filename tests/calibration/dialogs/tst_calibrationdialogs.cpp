// Tests of the calibration dialogs, driven with real input: the resolution a ruler and a known
// length give, a whole calibration on the canvas (and what a cancelled or disturbed one leaves),
// the magnification manager's round trip through a hand-written file, the edit dialog that never
// rounds a stored resolution, and damaged files that change nothing.
#include <QtTest>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>

#include "MessageBoxAnswerer.h"
#include "TestEnv.h"
#include "WidgetLook.h"
#include "calibration/CalibrationData.h"
#include "calibration/dialogs/CalibrationDialog.h"
#include "calibration/dialogs/CalibrationSession.h"
#include "calibration/dialogs/MagnificationDialog.h"
#include "calibration/dialogs/MagnificationEditDialog.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"
#include "shapes/StraightLineItem.h"

namespace {

template <typename T>
T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qWarning() << "no widget" << name;
    return widget;
}

// Replaces the widget's text by key presses carrying `text` (any script, as an input method
// delivers it).
void typeInto(QWidget *widget, const QString &text)
{
    QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

// Picks the unit whose code is `code` by keyboard, as a user would.
void chooseUnit(QComboBox *combo, const QString &code)
{
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 0; i < combo->count() && combo->currentData().toString() != code; ++i)
        QTest::keyClick(combo, Qt::Key_Down);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// "name=resolution" of each entry, the resolution with every digit it has.
QStringList entries(const QList<CalibrationData::Magnification> &list)
{
    QStringList texts;
    for (const CalibrationData::Magnification &m : list)
        texts << m.name + '=' + QString::number(m.resolution, 'g', 17);
    return texts;
}

} // namespace

class TstCalibrationDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void resolutionFromRulerAndLength_data();
    void resolutionFromRulerAndLength();
    void okRefusesIncompleteInput();
    void calibrationOnTheCanvas();
    void disturbedOrCancelledCalibrationLeavesNothing();
    void managerRoundTripKeepsTheCurrentEntry();
    void editDialogNeverRoundsTheStoredResolution_data();
    void editDialogNeverRoundsTheStoredResolution();
    void damagedFilesChangeNothing_data();
    void damagedFilesChangeNothing();
    void dialogsReadWellInBothLanguages();

private:
    QTemporaryDir m_dir;
};

void TstCalibrationDialogs::initTestCase()
{
    TestEnv::isolate();
    qRegisterMetaType<LineDataBase::Ptr>();
    QVERIFY(m_dir.isValid());
}

void TstCalibrationDialogs::resolutionFromRulerAndLength_data()
{
    QTest::addColumn<double>("pixels");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<double>("resolution");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char *name, double pixels, const char *length, const QString &unit,
                        double resolution, const char *shown) {
        QTest::newRow(name) << pixels << QString(length) << unit << resolution << QString(shown);
    };
    row("500 px over 0.2 mm", 500, "0.2", "mm", 2.5e6, "2500000.00");
    row("1000 px over 1 mm", 1000, "1", "mm", 1e6, "1000000.00");
    row("the same number in µm", 1000, "1", "μm", 1e9, "1000000000.00");
    row("1000 px over 2.5 cm", 1000, "2.5", "cm", 4e4, "40000.00");
}

void TstCalibrationDialogs::resolutionFromRulerAndLength()
{
    QFETCH(double, pixels);
    QFETCH(QString, length);
    QFETCH(QString, unit);
    QFETCH(double, resolution);
    QFETCH(QString, shown);

    CalibrationData data;
    CalibrationDialog dialog(&data);
    dialog.show();
    QSignalSpy lengths(&dialog, &CalibrationDialog::actualLengthChanged);
    dialog.updatePixelLength(pixels);
    QCOMPARE(child<QLabel>(&dialog, "labelPixelCount")->text(), QString::number(pixels, 'f', 1));
    QCOMPARE(child<QLabel>(&dialog, "labelResolution")->text(), QString("---"));
    chooseUnit(child<QComboBox>(&dialog, "comboBoxUnit"), unit);
    typeInto(child<QDoubleSpinBox>(&dialog, "doubleSpinBoxLength"), length);
    QCOMPARE(dialog.resolution(), resolution);
    QVERIFY(child<QLabel>(&dialog, "labelResolution")->text().startsWith(shown + ' '));
    QCOMPARE(lengths.last().at(2).toString(), unit);
    QCOMPARE(lengths.last().at(1).toDouble(), length.toDouble());
}

void TstCalibrationDialogs::okRefusesIncompleteInput()
{
    CalibrationData data;
    data.addMagnification({"40x", 1e6});
    CalibrationDialog dialog(&data);
    dialog.show();
    auto *name = child<QComboBox>(&dialog, "comboBoxMagnification");
    auto *length = child<QDoubleSpinBox>(&dialog, "doubleSpinBoxLength");
    auto *ok = child<QPushButton>(&dialog, "pushButtonOk");
    // The existing names follow the five usual ones.
    QCOMPARE(name->itemText(5), QString("40x"));

    MessageBoxAnswerer answers;
    QTest::mouseClick(ok, Qt::LeftButton);
    dialog.updatePixelLength(400);
    QTest::mouseClick(ok, Qt::LeftButton);
    typeInto(length, "2");
    typeInto(name->lineEdit(), "  ");
    QTest::mouseClick(ok, Qt::LeftButton);
    typeInto(name->lineEdit(), "40x");
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(answers.texts(), (QStringList{"标尺线像素长度为零，请先在画面上拖动标尺线。",
                                           "请输入有效的实际长度。", "请输入放大率名称。",
                                           "放大倍率\"40x\"已存在，请在放大倍率管理中编辑。"}));
    QVERIFY(dialog.isVisible());
    QCOMPARE(data.count(), 1);

    // A name differing only in case is a new magnification.
    typeInto(name->lineEdit(), "40X");
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(data.count(), 2);
    QCOMPARE(data.magnifications()[1].name, QString("40X"));
    QCOMPARE(data.magnifications()[1].resolution, 400 / 0.002);
}

void TstCalibrationDialogs::calibrationOnTheCanvas()
{
    MeasureGraphicsViewBusiness view;
    view.resize(1300, 900);
    QImage image(2000, 1200, QImage::Format_RGB32);
    image.fill(Qt::darkGray);
    view.setBackgroundImage(image, true);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setCanvasZoom(1.0);
    CalibrationData data;
    view.setCalibrationData(&data);
    QSignalSpy added(&view, &MeasureGraphicsViewBusiness::sigAddLine);
    QSignalSpy changed(&view, &MeasureGraphicsViewBusiness::sigLineDataChanged);
    QSignalSpy removed(&view, &MeasureGraphicsViewBusiness::sigDelLine);

    CalibrationSession session(&view, &data, &view);
    QSignalSpy finished(&session, &CalibrationSession::finished);
    QVERIFY(session.start());
    CalibrationDialog *dialog = session.dialog();
    QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    StraightLineItem *ruler = session.ruler();
    QVERIFY(ruler);
    const double shown = view.mapToScene(view.viewport()->rect()).boundingRect().width();
    QCOMPARE(dialog->pixelLength(), 2 * shown / 3);
    QCOMPARE(LineDataRegistry::instance()->lines().size(), 0);
    // The dialog opens beside the ruler, not over the line the user has to drag.
    const auto onScreen = [&](const QPointF &p) {
        return view.viewport()->mapToGlobal(view.mapFromScene(p));
    };
    const QRect rulerOnScreen =
        QRect(onScreen(ruler->scenePoints().at(0)), onScreen(ruler->scenePoints().at(1)))
            .normalized()
            .adjusted(0, -8, 0, 8);
    QVERIFY2(!dialog->frameGeometry().intersects(rulerOnScreen),
             qPrintable(QString("dialog %1,%2 %3x%4 over the ruler at y %5")
                            .arg(dialog->frameGeometry().x())
                            .arg(dialog->frameGeometry().y())
                            .arg(dialog->width())
                            .arg(dialog->height())
                            .arg(rulerOnScreen.center().y())));

    // The user drags the ruler's right end so that it spans 1000 pixels.
    const QPointF left = ruler->scenePoints().at(0);
    const QPointF right = ruler->scenePoints().at(1);
    const QPointF target = left + QPointF(1000, 0);
    QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, view.mapFromScene(right));
    QMouseEvent drag(QEvent::MouseMove, view.mapFromScene(target),
                     view.viewport()->mapToGlobal(view.mapFromScene(target)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drag);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, view.mapFromScene(target));
    QCOMPARE(ruler->scenePoints().at(1), target);
    QCOMPARE(dialog->pixelLength(), 1000.0);

    // Another straight line being drawn does not feed the calibration.
    auto *other = static_cast<StraightLineItem *>(view.createShape(ShapeTypes::StraightLine));
    other->setStartPoint(other->mapFromScene(QPointF(0, 100)));
    other->setEndPoint(other->mapFromScene(QPointF(1000, 100)));
    other->setEndPoint(other->mapFromScene(QPointF(333, 100)));
    QCOMPARE(dialog->pixelLength(), 1000.0);

    chooseUnit(child<QComboBox>(dialog, "comboBoxUnit"), "mm");
    typeInto(child<QDoubleSpinBox>(dialog, "doubleSpinBoxLength"), "1");
    QCOMPARE(ruler->labelItem()->text(), QString("L: 1000.0 px / 1.00 mm"));
    typeInto(child<QComboBox>(dialog, "comboBoxMagnification")->lineEdit(), "镜头 5X");
    QTest::mouseClick(child<QPushButton>(dialog, "pushButtonOk"), Qt::LeftButton);

    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(data.count(), 1);
    QCOMPARE(data.currentMagnification().name, QString("镜头 5X"));
    QCOMPARE(data.currentMagnification().resolution, 1e6);
    QCOMPARE(QSettings().value("Calibration/magnifications/1/resolution").toDouble(), 1e6);
    QVERIFY(!session.ruler());

    // Lengths now read in the calibrated unit: 1000 px is 1000.00 µm.
    data.setCurrentUnit(QStringLiteral("μm"));
    other->setEndPoint(other->mapFromScene(QPointF(1000, 100)));
    QCOMPARE(other->labelItem()->text(), QString("L: 1000.00 (μm)"));

    // The ruler never showed up as a measurement.
    QCOMPARE(added.count(), 1);
    QCOMPARE(removed.count(), 0);
    for (const QList<QVariant> &args : qAsConst(changed))
        QCOMPARE(args.first().value<LineDataBase::Ptr>()->id, other->lineData()->id);
    view.delAllLine();
    TestEnv::runTimersStartedBefore(20); // the deferred deletions
    QSettings().remove("Calibration");
}

void TstCalibrationDialogs::disturbedOrCancelledCalibrationLeavesNothing()
{
    MeasureGraphicsViewBusiness view;
    view.resize(900, 700);
    QImage image(800, 600, QImage::Format_RGB32);
    image.fill(Qt::darkGray);
    view.setBackgroundImage(image, true);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    CalibrationData data;
    QSignalSpy added(&view, &MeasureGraphicsViewBusiness::sigAddLine);
    QSignalSpy changed(&view, &MeasureGraphicsViewBusiness::sigLineDataChanged);
    QSignalSpy removed(&view, &MeasureGraphicsViewBusiness::sigDelLine);
    MessageBoxAnswerer answers;

    // The user deletes the ruler while the dialog is open: the length drops to 0 and OK says so.
    CalibrationSession session(&view, &data, &view);
    QSignalSpy finished(&session, &CalibrationSession::finished);
    QVERIFY(session.start());
    QPointer<CalibrationDialog> dialog = session.dialog();
    QVERIFY(session.ruler()->isSelected());
    answers.answer(QMessageBox::Yes);
    QTest::keyClick(view.viewport(), Qt::Key_Delete);
    QVERIFY(!session.ruler());
    QCOMPARE(dialog->pixelLength(), 0.0);
    typeInto(child<QDoubleSpinBox>(dialog, "doubleSpinBoxLength"), "1");
    QTest::mouseClick(child<QPushButton>(dialog, "pushButtonOk"), Qt::LeftButton);
    QCOMPARE(answers.texts().last(), QString("标尺线像素长度为零，请先在画面上拖动标尺线。"));
    QTest::mouseClick(child<QPushButton>(dialog, "pushButtonCancel"), Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), false);

    // Another picture replaces the scene under a running calibration; then it is cancelled.
    CalibrationSession second(&view, &data, &view);
    QVERIFY(second.start());
    view.setBackgroundImage(image, true);
    QVERIFY(!second.ruler());
    QCOMPARE(second.dialog()->pixelLength(), 0.0);
    QTest::mouseClick(child<QPushButton>(second.dialog(), "pushButtonCancel"), Qt::LeftButton);

    // Neither left a measurement, a table row, an unsaved change or a magnification.
    QCOMPARE(added.count() + changed.count() + removed.count(), 0);
    QCOMPARE(LineDataRegistry::instance()->lines().size(), 0);
    QCOMPARE(view.allItems().size(), 0);
    QCOMPARE(data.count(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dialog.isNull());  // deleted on close
    QVERIFY(!session.start()); // one dialog per session
}

void TstCalibrationDialogs::managerRoundTripKeepsTheCurrentEntry()
{
    // A file written by hand, as another installation or a colleague would send it.
    const QString input = m_dir.filePath("hand.magn");
    writeFile(input, R"({
  "version": 1,
  "magnifications": [
    {"name": "4X", "resolution": 250000},
    {"name": "显微 40X", "resolution": 2345678.25},
    {"name": "uncalibrated", "resolution": 0}
  ]
})");
    CalibrationData data;
    data.addMagnification({"old", 5e5});
    data.setCurrentIndex(0);
    MagnificationDialog dialog(&data);
    dialog.show();
    QString askedFilter;
    dialog.setOpenFileNameProvider([&](QWidget *parent, const QString &, const QString &filter) {
        askedFilter = filter;
        return parent == &dialog ? input : QString();
    });
    auto *table = child<QTableWidget>(&dialog, "tableWidget");
    const auto button = [&](const char *name) { return child<QPushButton>(&dialog, name); };

    QTest::mouseClick(button("pushButtonImport"), Qt::LeftButton);
    QCOMPARE(askedFilter, QString("放大率文件 (*.magn);;所有文件 (*)"));
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->item(1, 1)->text(), QString("2345678.25"));
    QCOMPARE(table->item(2, 1)->text(), QString("未定标"));
    QCOMPARE(table->currentRow(), 0);
    QVERIFY(!button("pushButtonMoveUp")->isEnabled());
    QVERIFY(button("pushButtonMoveDown")->isEnabled());
    QCOMPARE(data.count(), 1); // nothing changes before OK

    // Reorder: the last row down is impossible, "4X" goes down by one.
    QTest::mouseClick(button("pushButtonMoveDown"), Qt::LeftButton);
    QCOMPARE(table->item(1, 0)->text(), QString("4X"));
    QCOMPARE(table->currentRow(), 1);
    table->selectRow(2);
    QVERIFY(!button("pushButtonMoveDown")->isEnabled());

    // Rename "uncalibrated" in the edit dialog, unit cm, without touching the number.
    QTimer::singleShot(0, &dialog, [&] {
        auto *editor = dialog.findChild<MagnificationEditDialog *>();
        QVERIFY(editor && editor->isVisible());
        typeInto(child<QLineEdit>(editor, "lineEditName"), " 10X ");
        QTest::mouseClick(child<QPushButton>(editor, "pushButtonOk"), Qt::LeftButton);
    });
    QTest::mouseClick(button("pushButtonEdit"), Qt::LeftButton);
    QCOMPARE(table->item(2, 0)->text(), QString("10X"));
    QCOMPARE(table->currentRow(), 2);

    // Export writes what the table shows; an independent reader checks the file.
    const QString output = m_dir.filePath("out.magn");
    dialog.setSaveFileNameProvider(
        [&](QWidget *, const QString &, const QString &) { return output; });
    QTest::mouseClick(button("pushButtonExport"), Qt::LeftButton);
    QFile file(output);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonArray written =
        QJsonDocument::fromJson(file.readAll()).object()["magnifications"].toArray();
    QCOMPARE(written.size(), 3);
    QCOMPARE(written[0].toObject()["name"].toString(), QString("显微 40X"));
    QCOMPARE(written[0].toObject()["resolution"].toDouble(), 2345678.25);
    QCOMPARE(written[2].toObject()["name"].toString(), QString("10X"));
    QCOMPARE(written[2].toObject()["resolution"].toDouble(), 0.0);

    QTest::mouseClick(button("pushButtonOk"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(entries(data.magnifications()),
             QStringList({"显微 40X=2345678.25", "4X=250000", "10X=0"}));
    // "old" was current and is gone: nothing is current.
    QCOMPARE(data.currentIndex(), -1);

    // The current entry is followed through a move and a rename, and stays current after OK.
    data.setCurrentIndex(1);
    MagnificationDialog again(&data);
    again.show();
    auto *table2 = child<QTableWidget>(&again, "tableWidget");
    table2->selectRow(1);
    QTest::mouseClick(child<QPushButton>(&again, "pushButtonMoveUp"), Qt::LeftButton);
    QTimer::singleShot(0, &again, [&] {
        auto *editor = again.findChild<MagnificationEditDialog *>();
        typeInto(child<QLineEdit>(editor, "lineEditName"), "4X neu");
        QTest::mouseClick(child<QPushButton>(editor, "pushButtonOk"), Qt::LeftButton);
    });
    QTest::keyClick(table2, Qt::Key_Return); // edits the selected row, as the Edit button does
    QVERIFY(again.isVisible());
    table2->selectRow(2);
    QTest::mouseClick(child<QPushButton>(&again, "pushButtonDelete"), Qt::LeftButton);
    QCOMPARE(table2->currentRow(), 1);
    QTest::mouseClick(child<QPushButton>(&again, "pushButtonOk"), Qt::LeftButton);
    QCOMPARE(data.count(), 2);
    QCOMPARE(data.currentIndex(), 0);
    QCOMPARE(data.currentMagnification().name, QString("4X neu"));
    QCOMPARE(data.currentMagnification().resolution, 250000.0);
    QVERIFY(data.isCalibrated());

    // Clearing asks first (No keeps the list); Cancel then changes nothing.
    MagnificationDialog clearing(&data);
    clearing.show();
    MessageBoxAnswerer answers;
    answers.answer({QMessageBox::No, QMessageBox::Yes});
    auto *clearAll = child<QPushButton>(&clearing, "pushButtonClearAll");
    QTest::mouseClick(clearAll, Qt::LeftButton);
    QCOMPARE(clearing.workingList().size(), 2);
    QTest::mouseClick(clearAll, Qt::LeftButton);
    QVERIFY(clearing.workingList().isEmpty());
    QVERIFY(!clearAll->isEnabled());
    QVERIFY(!child<QPushButton>(&clearing, "pushButtonExport")->isEnabled());
    QCOMPARE(answers.titles(), (QStringList{"清空确认", "清空确认"}));
    QTest::mouseClick(child<QPushButton>(&clearing, "pushButtonCancel"), Qt::LeftButton);
    QCOMPARE(data.count(), 2);
    QCOMPARE(data.currentIndex(), 0);
}

void TstCalibrationDialogs::editDialogNeverRoundsTheStoredResolution_data()
{
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed"); // empty: the number is left alone
    QTest::addColumn<double>("result");
    const auto row = [](const char *name, double stored, const QString &unit, const char *shown,
                        const char *typed, double result) {
        QTest::newRow(name) << stored << unit << QString(shown) << QString(typed) << result;
    };
    row("µm, renamed only", 2345678.0, "μm", "2.34567800", "", 2345678.0);
    row("mm, small resolution", 4000.0, "mm", "4.00000", "", 4000.0);
    row("cm shows a hundredth", 2345678.0, "cm", "23456.7800", "", 2345678.0);
    row("unknown unit reads as mm", 1e6, "px", "1000.00000", "", 1e6);
    row("a typed number counts", 2345678.0, "mm", "2345.67800", "1234.5", 1234500.0);
}

void TstCalibrationDialogs::editDialogNeverRoundsTheStoredResolution()
{
    QFETCH(double, stored);
    QFETCH(QString, unit);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(double, result);

    MagnificationEditDialog dialog({"10X", stored}, unit);
    dialog.show();
    auto *spin = child<QDoubleSpinBox>(&dialog, "doubleSpinBoxResolution");
    auto *units = child<QComboBox>(&dialog, "comboBoxUnit");
    QCOMPARE(spin->text(), shown);
    typeInto(child<QLineEdit>(&dialog, "lineEditName"), "10X (new)");
    if (!typed.isEmpty()) {
        typeInto(spin, typed);
    } else {
        // Switching units back and forth converts what is shown, never what is stored.
        const QString start = units->currentData().toString();
        chooseUnit(units, "m");
        chooseUnit(units, "μm");
        chooseUnit(units, start);
        QCOMPARE(spin->text(), shown);
    }
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonOk"), Qt::LeftButton);
    QCOMPARE(dialog.result().name, QString("10X (new)"));
    QCOMPARE(dialog.result().resolution, result);
}

void TstCalibrationDialogs::damagedFilesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << QByteArray() << "不是放大率文件";
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 131 + 7) & 0xff);
    QTest::newRow("binary") << binary << "不是放大率文件";
    QByteArray big = R"({"magnifications": [)";
    while (big.size() < 10 * 1024 * 1024)
        big += R"({"name": "x", "resolution": 1},)";
    QTest::newRow("10 MB") << big << "文件过大";
    QTest::newRow("duplicate names")
        << QByteArray(R"({"magnifications": [{"name": "10X", "resolution": 1},
                                              {"name": "10X", "resolution": 2}]})")
        << "第 2 项：放大倍率“10X”重复";
    QTest::newRow("empty name") << QByteArray(
                                       R"({"magnifications": [{"name": " ", "resolution": 1}]})")
                                << "第 1 项：放大倍率名称为空";
    QTest::newRow("inf as text") << QByteArray(
                                        R"({"magnifications": [{"name": "a", "resolution": 1},
                                              {"name": "b", "resolution": "inf"}]})")
                                 << "第 2 项（b）：分辨率不是有效的非负数值";
    QTest::newRow("number beyond double")
        << QByteArray(R"({"magnifications": [{"name": "a", "resolution": 1e999}]})") << "";
    QTest::newRow("negative")
        << QByteArray(R"({"magnifications": [{"name": "a", "resolution": -250000}]})")
        << "第 1 项（a）";
    QTest::newRow("list not an array")
        << QByteArray(R"({"magnifications": {"name": "a"}})") << "格式错误";
}

void TstCalibrationDialogs::damagedFilesChangeNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    const QString path = m_dir.filePath("damaged.magn");
    writeFile(path, content);

    CalibrationData data;
    data.addMagnification({"keep", 1e5});
    data.setCurrentIndex(0);
    MagnificationDialog dialog(&data);
    dialog.show();
    dialog.setOpenFileNameProvider(
        [&](QWidget *, const QString &, const QString &) { return path; });
    MessageBoxAnswerer answers;
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonImport"), Qt::LeftButton);
    QCOMPARE(answers.titles(), QStringList{"导入失败"});
    QVERIFY2(answers.texts().first().contains(reason), qPrintable(answers.texts().first()));
    QVERIFY(answers.texts().first().contains(path));
    QCOMPARE(entries(dialog.workingList()), QStringList{"keep=100000"});
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonOk"), Qt::LeftButton);
    QCOMPARE(entries(data.magnifications()), QStringList{"keep=100000"});
    QCOMPARE(data.currentIndex(), 0);

    // The data layer refuses the same file on its own.
    QString why;
    QVERIFY(!data.importFromFile(path, &why));
    QVERIFY(why.contains(reason));
    QCOMPARE(data.count(), 1);
}

void TstCalibrationDialogs::dialogsReadWellInBothLanguages()
{
    CalibrationData data;
    data.addMagnification({"10X", 250000});
    data.addMagnification({"显微 40X", 2345678.25});
    data.addMagnification({"uncalibrated", 0});
    data.setCurrentIndex(1);
    data.setCurrentUnit(QStringLiteral("μm"));
    CalibrationDialog calibration(&data);
    calibration.updatePixelLength(1000);
    typeInto(child<QDoubleSpinBox>(&calibration, "doubleSpinBoxLength"), "1");
    MagnificationDialog manager(&data);
    child<QTableWidget>(&manager, "tableWidget")->selectRow(1);
    MagnificationEditDialog edit(data.magnifications()[1], data.currentUnit());
    const QList<QDialog *> dialogs{&calibration, &manager, &edit};
    for (QDialog *dialog : dialogs) {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
    }

    for (const bool english : {false, true}) {
        QVERIFY(WidgetLook::setEnglish(english));
        QCOMPARE(calibration.windowTitle(), english ? QString("Calibrate") : QString("定标"));
        QCOMPARE(manager.windowTitle(),
                 english ? QString("Magnification Manager") : QString("放大率管理"));
        QCOMPARE(edit.windowTitle(),
                 english ? QString("Edit Magnification") : QString("编辑放大率"));
        QCOMPARE(child<QTableWidget>(&manager, "tableWidget")->item(2, 1)->text(),
                 english ? QString("Not Calibrated") : QString("未定标"));
        QVERIFY(child<QLabel>(&calibration, "labelResolution")
                    ->text()
                    .endsWith(english ? QString(" pixels/meter") : QString(" 像素/米")));
        QCOMPARE(child<QComboBox>(&calibration, "comboBoxUnit")->currentData().toString(),
                 QString("μm"));
        for (QDialog *dialog : dialogs) {
            QApplication::processEvents();
            QVERIFY2(WidgetLook::clippedTexts(dialog).isEmpty(),
                     qPrintable(WidgetLook::clippedTexts(dialog).join(" | ")));
            for (QWidget *w : dialog->findChildren<QWidget *>()) {
                if ((qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) ||
                     qobject_cast<QAbstractSpinBox *>(w) || qobject_cast<QLineEdit *>(w) ||
                     qobject_cast<QTableWidget *>(w)) &&
                    w->isVisible() && !w->objectName().startsWith("qt_"))
                    QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
            }
            WidgetLook::saveScreenshot(dialog, dialog->objectName() + (english ? "_en" : "_zh"));
        }
    }
    QVERIFY(WidgetLook::setEnglish(false));
    // Tab visits every control (a table that kept the key trapped keyboard users in it) and
    // Enter means OK in every dialog, not the button that happens to follow the first focus.
    for (QDialog *dialog : dialogs) {
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QVERIFY2(WidgetLook::unreachedByTab(dialog).isEmpty(),
                 qPrintable(WidgetLook::unreachedByTab(dialog).join(' ')));
        QVERIFY2(child<QPushButton>(dialog, "pushButtonOk")->isDefault(),
                 qPrintable(dialog->objectName()));
    }
}

QTEST_MAIN(TstCalibrationDialogs)
#include "tst_calibrationdialogs.moc"
