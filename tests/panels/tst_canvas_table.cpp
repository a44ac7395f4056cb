// The canvas and the measurement table working together, wired as the main window wires them:
// shapes drawn with the mouse get their rows, handle drags update them, selection follows in both
// directions, and deleting a row removes the shape.
#include <QtTest>

#include <QMessageBox>
#include <QTableWidget>

#include "MessageBoxAnswerer.h"
#include "TestEnv.h"
#include "calibration/CalibrationData.h"
#include "canvas/GraphicsScene.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "panels/MeasurementRow.h"
#include "panels/RightWidget.h"
#include "shapes/GraphicsItemBase.h"
#include "shapes/LabelItem.h"
#include "shapes/RectItem.h"
#include "shapes/ShapeTypes.h"
#include "shapes/TextItem.h"

#include <memory>

namespace {

using Points = QVector<QPointF>;

// One drawing per tool as a user makes it, in scene coordinates of a 260 x 240 cell.
struct ToolDrawing
{
    int tool;
    Points clicks;
    bool finishWithRightButton;
};

QVector<ToolDrawing> everyTool()
{
    const QPointF a(10, 10), b(150, 10), c(165, 95), d(40, 120);
    const Points two{a, b}, three{a, b, c}, four{a, b, c, d};
    Points eight;
    for (int i = 0; i < 8; ++i)
        eight << QPointF(10 + 28 * i, i < 4 ? 10 : 110);
    return {
        {10, two, false},
        {11, three, true},
        {12, Points{a, c}, false},
        {13, three, true},
        {14, three, false},
        {15, Points{QPointF(90, 70), QPointF(150, 70)}, false},
        {16, Points{QPointF(40, 70), QPointF(70, 70), QPointF(170, 70), QPointF(190, 70)}, false},
        {17, Points{a, b, QPointF(160, 90)}, false},
        {18, three, false},
        {19, four, false},
        {20, Points{QPointF(30, 70), QPointF(170, 70)}, false},
        {21, Points{a, c}, false},
        {22, three, false},
        {23,
         Points{QPointF(180, 70), QPointF(100, 118), QPointF(20, 70), QPointF(100, 22),
                QPointF(156.6, 103.9)},
         false},
        {24, two, false},
        {25, Points{a, QPointF(90, 60), QPointF(170, 10)}, false},
        {26, Points{a, b, QPointF(20, 90), QPointF(150, 90)}, false},
        {27, eight, false},
        {28, four, true},
        {29, three, false},
        {30, four, false}};
}

} // namespace

class TstCanvasTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void everyDrawnShapeHasItsRow();
    void handleDragsRewriteTheRow();
    void selectionFollowsBothWays();
    void deletingRowsRemovesShapes();
    void labelAndRowAgree_data();
    void labelAndRowAgree();

private:
    // The connections between canvas, table and calibration that the main window makes.
    void wire();
    QPoint at(const QPointF &scenePos) const { return m_view->mapFromScene(scenePos); }
    void move(const QPointF &scenePos, Qt::MouseButtons buttons = Qt::NoButton);
    void click(const QPointF &scenePos, Qt::MouseButton button = Qt::LeftButton);
    void drag(const QPointF &from, const QPointF &to);
    void arm(int tool);
    // Draws one shape of every tool, text and scale bar included; returns their records in
    // drawing order.
    QList<LineDataBase::Ptr> drawEveryTool();
    LineDataBase::Ptr drawLine(const QPointF &from, const QPointF &to);
    int rowOf(const LineDataBase::Ptr &record) const;
    QString cell(const LineDataBase::Ptr &record, int column) const;

    std::unique_ptr<CalibrationData> m_calibration;
    std::unique_ptr<MeasureGraphicsViewBusiness> m_view;
    std::unique_ptr<RightWidget> m_panel;
    QTableWidget *m_table = nullptr;
};

void TstCanvasTable::initTestCase()
{
    TestEnv::isolate();
    qRegisterMetaType<LineDataBase::Ptr>();
    qRegisterMetaType<Attribute::Ptr>();
}

void TstCanvasTable::init()
{
    m_calibration = std::make_unique<CalibrationData>();
    m_view = std::make_unique<MeasureGraphicsViewBusiness>();
    m_panel = std::make_unique<RightWidget>();
    m_table = m_panel->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QVERIFY(m_table);
    wire();
    m_view->resize(1640, 1040);
    QImage image(1600, 1000, QImage::Format_RGB32);
    image.fill(Qt::darkGray);
    m_view->setBackgroundImage(image, true);
    m_view->show();
    m_panel->showTable();
    m_panel->show();
    QApplication::setActiveWindow(m_view.get());
    QVERIFY(QTest::qWaitForWindowActive(m_view.get(), 60000));
    m_view->setCanvasZoom(1.0);
}

void TstCanvasTable::cleanup()
{
    m_view->setDrawToolActive(false);
    m_view->delAllLine();
    m_view.reset();
    m_panel.reset();
    m_calibration.reset();
    TestEnv::runTimersStartedBefore(11); // lets the deferred deletions run
    LineDataRegistry::instance()->clear();
}

void TstCanvasTable::wire()
{
    MeasureGraphicsViewBusiness *view = m_view.get();
    RightWidget *panel = m_panel.get();
    using V = MeasureGraphicsViewBusiness;
    connect(view, &V::sigAddLine, panel, &RightWidget::onAddDrawLine);
    connect(view, &V::sigDelLine, panel, &RightWidget::onDelDrawLine);
    connect(view, &V::sigLineDataChanged, panel, &RightWidget::onDrawLineDataChanged);
    connect(view, &V::sigChoosedItemChanged, panel, &RightWidget::onSelectedAttributeChanged);
    connect(panel, &RightWidget::sigDelDrawLine, view, &V::onDelLineRequested);
    connect(panel, &RightWidget::sigLineSelected, view, &V::onLineSelectionRequested);
    CalibrationData *calibration = m_calibration.get();
    view->setCalibrationData(calibration);
    panel->setCalibrationData(calibration);
    const auto recalibrated = [view, panel, calibration] {
        panel->setCalibrationData(calibration);
        view->setCalibrationData(calibration);
        for (GraphicsItemBase *item : view->allItems())
            item->update();
    };
    connect(calibration, &CalibrationData::unitChanged, panel, recalibrated);
    connect(calibration, &CalibrationData::currentMagnificationChanged, panel, recalibrated);
}

void TstCanvasTable::move(const QPointF &scenePos, Qt::MouseButtons buttons)
{
    const QPoint pos = at(scenePos);
    QMouseEvent event(QEvent::MouseMove, pos, m_view->viewport()->mapToGlobal(pos), Qt::NoButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(m_view->viewport(), &event);
}

void TstCanvasTable::click(const QPointF &scenePos, Qt::MouseButton button)
{
    move(scenePos);
    QTest::mousePress(m_view->viewport(), button, Qt::NoModifier, at(scenePos));
    QTest::mouseRelease(m_view->viewport(), button, Qt::NoModifier, at(scenePos));
}

void TstCanvasTable::drag(const QPointF &from, const QPointF &to)
{
    move(from);
    QTest::mousePress(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, at(from));
    move((from + to) / 2, Qt::LeftButton);
    move(to, Qt::LeftButton);
    QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, at(to));
}

void TstCanvasTable::arm(int tool)
{
    LineDataRegistry::instance()->setToolType(tool);
    m_view->setDrawToolActive(true);
}

QList<LineDataBase::Ptr> TstCanvasTable::drawEveryTool()
{
    QList<LineDataBase::Ptr> records;
    const auto newest = [] { return LineDataRegistry::instance()->lines().last(); };
    for (const ToolDrawing &d : everyTool()) {
        const int i = records.size();
        const QPointF origin(20 + (i % 6) * 260, 20 + (i / 6) * 240);
        arm(d.tool);
        for (const QPointF &p : d.clicks)
            click(origin + p);
        if (d.finishWithRightButton)
            click(origin + QPointF(220, 200), Qt::RightButton);
        records << newest();
    }
    arm(32);
    click(QPointF(1100, 800));
    records << newest();
    arm(31);
    click(QPointF(1100, 900));
    for (const QChar ch : QStringLiteral("标尺 12.5 µm")) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(m_view.get(), &key);
    }
    click(QPointF(1500, 950)); // commits the text
    records << newest();
    m_view->setDrawToolActive(false);
    return records;
}

LineDataBase::Ptr TstCanvasTable::drawLine(const QPointF &from, const QPointF &to)
{
    arm(ShapeTypes::StraightLine);
    click(from);
    click(to);
    m_view->setDrawToolActive(false);
    return LineDataRegistry::instance()->lines().last();
}

int TstCanvasTable::rowOf(const LineDataBase::Ptr &record) const
{
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QTableWidgetItem *item = m_table->item(row, MeasurementRow::Name);
        if (item && item->data(Qt::UserRole).toString() == record->id)
            return row;
    }
    return -1;
}

QString TstCanvasTable::cell(const LineDataBase::Ptr &record, int column) const
{
    const int row = rowOf(record);
    const QTableWidgetItem *item = row < 0 ? nullptr : m_table->item(row, column);
    return item ? item->text() : QString();
}

// Every tool drawn with the mouse gets exactly one row, in drawing order, named after its type
// and holding the values of the shape's final geometry, in pixels and then in micrometres.
void TstCanvasTable::everyDrawnShapeHasItsRow()
{
    const QList<LineDataBase::Ptr> records = drawEveryTool();
    QCOMPARE(records.size(), 23);
    QCOMPARE(LineDataRegistry::instance()->lines(), records);
    QCOMPARE(m_table->rowCount(), records.size());
    for (int row = 0; row < records.size(); ++row) {
        const LineDataBase::Ptr &record = records[row];
        const QString what = ShapeTypes::key(record->type());
        QVERIFY2(m_view->graphicsItemByName(record->id), qPrintable(what));
        QCOMPARE(rowOf(record), row);
        QCOMPARE(m_table->item(row, 0)->text(), ShapeTypes::displayName(record->type()));
        // The last change of the shape reached the table.
        const QMap<int, QString> expected = MeasurementRow::cells(*record, m_calibration.get());
        for (int column = 1; column < MeasurementRow::ColumnCount; ++column)
            QVERIFY2(cell(record, column) == expected.value(column),
                     qPrintable(what + QStringLiteral(" column %1: %2 instead of %3")
                                           .arg(column)
                                           .arg(cell(record, column), expected.value(column))));
    }

    // Values checked against the shapes' geometry in the scene.
    const auto scenePoints = [this](const LineDataBase::Ptr &record) {
        return m_view->itemByName(record->id)->scenePoints();
    };
    const QList<QPointF> line = scenePoints(records[0]);
    QCOMPARE(line.size(), 2);
    const double lineLength = QLineF(line[0], line[1]).length();
    QCOMPARE(cell(records[0], MeasurementRow::Length), QString::number(lineLength, 'g', 6));
    const auto *rectItem = static_cast<RectItem *>(m_view->itemByName(records[2]->id));
    const QSizeF size = rectItem->mapRectToScene(rectItem->rectF()).size();
    QCOMPARE(cell(records[2], MeasurementRow::Width), QString::number(size.width(), 'g', 6));
    QCOMPARE(cell(records[2], MeasurementRow::Height), QString::number(size.height(), 'g', 6));
    const QList<QPointF> circle = scenePoints(records[10]);
    const double diameter = QLineF(circle[0], circle[1]).length();
    QCOMPARE(cell(records[10], MeasurementRow::Diameter), QString::number(diameter, 'g', 6));
    // The text's row was written when the text was placed and follows the typing.
    QCOMPARE(cell(records.last(), 0), QStringLiteral("文本"));
    QCOMPARE(cell(records.last(), MeasurementRow::Length), QStringLiteral("标尺 12.5 µm"));

    // 2 pixels per micrometre: a unit change rewrites every row.
    m_calibration->addMagnification({QStringLiteral("10X"), 2.0e6});
    m_calibration->setCurrentIndex(0);
    m_calibration->setCurrentUnit(QStringLiteral("μm"));
    QCOMPARE(cell(records[0], MeasurementRow::Length), QString::number(lineLength / 2, 'f', 2));
    QCOMPARE(cell(records[2], MeasurementRow::Area),
             QString::number(size.width() * size.height() / 4, 'f', 2));
    QCOMPARE(cell(records[10], MeasurementRow::Radius), QString::number(diameter / 4, 'f', 2));
    QCOMPARE(cell(records.last(), MeasurementRow::Length), QStringLiteral("标尺 12.5 µm"));
}

// Selecting a row selects the shape; dragging its handles rewrites the row at once.
void TstCanvasTable::handleDragsRewriteTheRow()
{
    const LineDataBase::Ptr line = drawLine(QPointF(100, 100), QPointF(300, 100));
    arm(ShapeTypes::Rect);
    click(QPointF(400, 300));
    click(QPointF(500, 380));
    m_view->setDrawToolActive(false);
    const LineDataBase::Ptr rect = LineDataRegistry::instance()->lines().last();
    QCOMPARE(cell(line, MeasurementRow::Length), QStringLiteral("200"));
    QCOMPARE(cell(rect, MeasurementRow::Area), QStringLiteral("8000"));

    m_table->setCurrentCell(rowOf(line), MeasurementRow::Length);
    QCOMPARE(m_view->scene()->selectedItems(),
             QList<QGraphicsItem *>{m_view->itemByName(line->id)});
    drag(QPointF(300, 100), QPointF(300, 250));
    QCOMPARE(m_view->itemByName(line->id)->scenePoints().at(1), QPointF(300, 250));
    QCOMPARE(cell(line, MeasurementRow::Length), QString::number(std::hypot(200, 150), 'g', 6));

    m_table->setCurrentCell(rowOf(rect), MeasurementRow::Name);
    drag(QPointF(500, 380), QPointF(600, 400));
    QCOMPARE(cell(rect, MeasurementRow::Width), QStringLiteral("200"));
    QCOMPARE(cell(rect, MeasurementRow::Height), QStringLiteral("100"));
    QCOMPARE(cell(rect, MeasurementRow::Area), QStringLiteral("20000"));
    // The line kept its values.
    QCOMPARE(cell(line, MeasurementRow::Length), QStringLiteral("250"));
}

// A row made current selects its shape alone; a shape clicked on the canvas selects its row, and
// neither selection echoes back.
void TstCanvasTable::selectionFollowsBothWays()
{
    QList<LineDataBase::Ptr> lines;
    for (int i = 0; i < 3; ++i)
        lines << drawLine(QPointF(100, 100 + 100 * i), QPointF(400, 100 + 100 * i));
    QSignalSpy rowSelected(m_panel.get(), &RightWidget::sigLineSelected);

    for (int i : {2, 0, 1}) {
        const QRect cellRect = m_table->visualItemRect(m_table->item(i, MeasurementRow::Length));
        QTest::mouseClick(m_table->viewport(), Qt::LeftButton, Qt::NoModifier, cellRect.center());
        QCOMPARE(m_view->scene()->selectedItems(),
                 QList<QGraphicsItem *>{m_view->itemByName(lines[i]->id)});
        QCOMPARE(m_table->currentRow(), i);
        QCOMPARE(m_table->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(m_table->selectionModel()->selectedRows().first().row(), i);
    }
    QCOMPARE(rowSelected.count(), 3);
    // A text row selects its text item.
    TextItem *note = m_view->createTextItem();
    note->setPos(1200, 100);
    const QRect noteCell = m_table->visualItemRect(m_table->item(3, MeasurementRow::Name));
    QTest::mouseClick(m_table->viewport(), Qt::LeftButton, Qt::NoModifier, noteCell.center());
    QCOMPARE(m_view->scene()->selectedItems(), QList<QGraphicsItem *>{note});
    QCOMPARE(rowSelected.count(), 4);

    rowSelected.clear();
    for (int i : {0, 2}) {
        click(QPointF(250, 100 + 100 * i));
        QCOMPARE(m_view->scene()->selectedItems(),
                 QList<QGraphicsItem *>{m_view->itemByName(lines[i]->id)});
        QCOMPARE(m_table->currentRow(), i);
        QCOMPARE(m_table->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(m_table->selectionModel()->selectedRows().first().row(), i);
    }
    // The canvas deleting the shape of the current row moves the current row, silently.
    m_view->onDelLineRequested(lines[2]);
    QCOMPARE(m_table->rowCount(), 3);
    QCOMPARE(rowSelected.count(), 0);
    // A double circle is picked by one of its circles, which are child items.
    arm(ShapeTypes::DoubleCircle);
    for (const QPointF &p :
         {QPointF(600, 600), QPointF(640, 600), QPointF(800, 600), QPointF(830, 600)})
        click(p);
    m_view->setDrawToolActive(false);
    const LineDataBase::Ptr circles = LineDataRegistry::instance()->lines().last();
    click(QPointF(600, 640));
    QCOMPARE(m_view->scene()->selectedItems().size(), 1);
    QCOMPARE(m_table->currentRow(), rowOf(circles));
    QCOMPARE(rowSelected.count(), 0);
    // A click on empty canvas clears both.
    click(QPointF(1000, 800));
    QVERIFY(m_view->scene()->selectedItems().isEmpty());
    QVERIFY(m_table->selectionModel()->selectedIndexes().isEmpty());
    QCOMPARE(rowSelected.count(), 0);
}

// A row deleted in the table takes its shape off the canvas and out of the registry; "delete
// all" empties canvas and table.
void TstCanvasTable::deletingRowsRemovesShapes()
{
    const QList<LineDataBase::Ptr> records = drawEveryTool();
    const LineDataBase::Ptr victim = records[4];
    GraphicsItemBase *shape = m_view->itemByName(victim->id);
    QVERIFY(shape);

    m_table->setCurrentCell(rowOf(victim), MeasurementRow::Name);
    MessageBoxAnswerer boxes;
    boxes.answer({QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Yes});
    m_panel->onDeleteSelectedRow();
    QCOMPARE(m_table->rowCount(), records.size() - 1);
    QCOMPARE(rowOf(victim), -1);
    QVERIFY(!m_view->itemByName(victim->id));
    QVERIFY(!m_view->scene()->items().contains(shape));
    QVERIFY(!LineDataRegistry::instance()->line(victim->id));
    TestEnv::runTimersStartedBefore(11); // the shape is deleted now; the table must not reach it
    QCOMPARE(m_table->item(rowOf(records[5]), 0)->text(),
             ShapeTypes::displayName(records[5]->type()));

    // The text row goes like any other, its item deferred like a shape.
    const LineDataBase::Ptr textRecord = records.last();
    QCOMPARE(textRecord->type(), ShapeTypes::Text);
    QPointer<TextItem> text = m_view->textItemByName(textRecord->id);
    QVERIFY(text);
    m_table->setCurrentCell(rowOf(textRecord), MeasurementRow::Name);
    m_panel->onDeleteSelectedRow();
    QCOMPARE(rowOf(textRecord), -1);
    QVERIFY(!LineDataRegistry::instance()->line(textRecord->id));
    QVERIFY(!m_view->textItemByName(textRecord->id));
    QVERIFY(text && !text->scene());
    QTRY_VERIFY(!text);

    m_panel->onDeleteAllRows();
    TestEnv::runTimersStartedBefore(11);
    QVERIFY(m_view->allItems().isEmpty());
    QVERIFY(m_view->allTextItems().isEmpty());
    QVERIFY(LineDataRegistry::instance()->lines().isEmpty());
    QCOMPARE(m_table->rowCount(), 0);

    // A shape given up while drawn takes its row with it.
    const int rows = m_table->rowCount();
    arm(ShapeTypes::Polygon);
    click(QPointF(100, 100));
    click(QPointF(300, 100));
    QCOMPARE(m_table->rowCount(), rows + 1);
    click(QPointF(300, 300), Qt::RightButton);
    QCOMPARE(m_table->rowCount(), rows);
}

// A shape whose points measure nothing says so on its label and in its table cell, and leaves
// the cell empty in the files; a measurable value reads the same on the label and in the row.
void TstCanvasTable::labelAndRowAgree_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Points>("points");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("value"); // empty: not measurable
    // clang-format off
    QTest::newRow("3-point angle, zero arm") << int(ShapeTypes::Angle3Point) << Points{{50, 50}, {50, 50}, {90, 10}} << int(MeasurementRow::Angle) << QString();
    QTest::newRow("4-point angle, zero line") << int(ShapeTypes::Angle4Point) << Points{{0, 0}, {0, 0}, {10, 10}, {90, 10}} << int(MeasurementRow::Angle) << QString();
    QTest::newRow("4-point parallel, base points coincide") << int(ShapeTypes::Parallel4Points) << Points{{20, 20}, {20, 20}, {80, 70}, {30, 90}} << int(MeasurementRow::Distance) << QString();
    QTest::newRow("8-point parallel, collapsed line") << int(ShapeTypes::Parallel8Points) << Points{{10, 10}, {30, 10}, {30, 10}, {10, 10}, {0, 60}, {90, 60}, {0, 70}, {90, 70}} << int(MeasurementRow::Distance) << QString();
    QTest::newRow("free parallel, base points coincide") << int(ShapeTypes::ParallelAny) << Points{{20, 20}, {20, 20}, {80, 70}} << int(MeasurementRow::Distance) << QString();
    QTest::newRow("arc, middle beyond the end") << int(ShapeTypes::Arc) << Points{{0, 0}, {500, 250}, {100, 50}} << int(MeasurementRow::Length) << QString();
    QTest::newRow("arc, ends coincide") << int(ShapeTypes::Arc) << Points{{0, 0}, {90, 0}, {0, 0}} << int(MeasurementRow::Length) << QString();
    QTest::newRow("5-point ellipse, no ellipse") << int(ShapeTypes::Ellipse5Point) << Points{{0, 0}, {10, 0}, {20, 0}, {30, 0}, {40, 0}} << int(MeasurementRow::Width) << QString();
    QTest::newRow("3-point angle of 1e-5 degrees") << int(ShapeTypes::Angle3Point) << Points{{100, 0}, {0, 0}, {100, 100 * std::tan(qDegreesToRadians(1e-5))}} << int(MeasurementRow::Angle) << QStringLiteral("0");
    QTest::newRow("flat arc: its chord") << int(ShapeTypes::Arc) << Points{{0, 7}, {30, 7}, {100, 7}} << int(MeasurementRow::Length) << QStringLiteral("100");
    // clang-format on
}

void TstCanvasTable::labelAndRowAgree()
{
    QFETCH(int, type);
    QFETCH(Points, points);
    QFETCH(int, column);
    QFETCH(QString, value);
    // The canvas feeds a five-point ellipse its points directly and then announces it; the
    // others take theirs click by click.
    GraphicsItemBase *item = m_view->createShape(type);
    if (type == ShapeTypes::Ellipse5Point)
        item->points() = QList<QPointF>(points.cbegin(), points.cend());
    else
        for (const QPointF &p : points)
            item->addPointF(p);
    item->updateShape();
    emit m_view->sigLineDataChanged(item->lineData());
    QVERIFY(item->labelItem());
    const QString label = item->labelItem()->text();
    const QString shown = m_table->item(0, column)->text();
    const QString filed = m_panel->tableRows().at(0).at(column);
    if (value.isEmpty()) {
        QCOMPARE(label, GraphicsItemBase::notMeasurableText());
        QCOMPARE(shown, GraphicsItemBase::notMeasurableText());
        QCOMPARE(filed, QString());
    } else {
        QCOMPARE(label, column == MeasurementRow::Angle ? value : QStringLiteral("L: 100.0 (px)"));
        QCOMPARE(shown, value);
        QCOMPARE(filed, value);
    }
}

QTEST_MAIN(TstCanvasTable)
#include "tst_canvas_table.moc"
