// Tests of the drawing's undo history: long seeded sequences of real mouse, keyboard, table and
// style-editor operations on every tool, undone and redone to the saved document and table;
// deferred deletions; labels in the calibration of the moment; one gesture, one step.
#include <QtTest>

#include <QJsonDocument>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QUndoStack>

#include "CanvasDrawing.h"
#include "TestEnv.h"
#include "calibration/CalibrationData.h"
#include "canvas/DrawingDocument.h"
#include "canvas/GraphicsScene.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "panels/RightWidget.h"
#include "shapes/GraphicsItemLifetimeManager.h"
#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"
#include "shapes/StraightLineItem.h"
#include "shapes/TextItem.h"

namespace {

// Each tool's drawing from the drawing tests, shrunk and moved to the origin, then a typed text
// and a scale bar.
QVector<ToolCase> toolDrawings()
{
    QVector<ToolCase> tools;
    for (ToolCase c : toolCases()) {
        if (QByteArray(c.name).contains("up-left"))
            continue;
        for (QPointF &p : c.clicks)
            p = (p - QPointF(100, 100)) * 0.6;
        tools << c;
    }
    tools.append({"text", ShapeTypes::Text, Points{QPointF()}, false, {}});
    tools.append({"scale bar", ShapeTypes::Scale, Points{QPointF()}, false, {}});
    return tools;
}

} // namespace

class TstHistory : public QObject, CanvasMouse
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void randomSequencesUndoAndRedoExactly_data();
    void randomSequencesUndoAndRedoExactly();
    void undoAcrossDeferredDeletion();
    void labelsFollowTheCalibrationOfNow();
    void oneGestureOneStep();

private:
    void hoverAndDrag(const QPointF &from, const QPointF &to)
    {
        move(from);
        drag(from, to);
    }
    void draw(const ToolCase &drawing, const QPointF &origin, const QString &text);
    QList<QGraphicsItem *> drawingItems() const;
    // A point of the shape's body (not a control point) where a press reaches it first.
    bool bodyPoint(GraphicsItemBase *shape, QPointF *point) const;
    void selectOnly(QGraphicsItem *item);
    QByteArray document() const;
    QUndoStack *stack() const { return m_view->history()->stack(); }
    void runDeferredDeletions() { TestEnv::runTimersStartedBefore(11); }

    RightWidget *m_table = nullptr;
    CalibrationData *m_calibration = nullptr;
};

void TstHistory::initTestCase()
{
    TestEnv::isolate();
    qRegisterMetaType<LineDataBase::Ptr>();
    qRegisterMetaType<Attribute::Ptr>();
}

void TstHistory::init()
{
    m_calibration = new CalibrationData;
    m_calibration->addMagnification({QStringLiteral("10X"), 1e6}); // 1 px = 1 µm
    m_calibration->setCurrentIndex(0);
    m_calibration->setCurrentUnit(QStringLiteral("μm"));
    newView(m_calibration);
    m_view->setMessageBoxProvider([](QWidget *, QMessageBox::Icon, const QString &, const QString &,
                                     QMessageBox::StandardButtons,
                                     QMessageBox::StandardButton) { return QMessageBox::Yes; });
    m_table = new RightWidget;
    m_table->setCalibrationData(m_calibration);
    connect(m_view, &MeasureGraphicsViewBusiness::sigAddLine, m_table, &RightWidget::onAddDrawLine);
    connect(m_view, &MeasureGraphicsViewBusiness::sigDelLine, m_table, &RightWidget::onDelDrawLine);
    connect(m_view, &MeasureGraphicsViewBusiness::sigLineDataChanged, m_table,
            &RightWidget::onDrawLineDataChanged);
    connect(m_table, &RightWidget::sigDelDrawLine, m_view,
            &MeasureGraphicsViewBusiness::onDelLineRequested);
    QVERIFY(showView());
}

void TstHistory::cleanup()
{
    m_view->setDrawToolActive(false);
    delete m_view;
    delete m_table;
    delete m_calibration;
    runDeferredDeletions();
    LineDataRegistry::instance()->clear();
}

void TstHistory::draw(const ToolCase &drawing, const QPointF &origin, const QString &text)
{
    arm(drawing.tool);
    for (const QPointF &p : drawing.clicks)
        click(origin + p);
    if (drawing.tool == ShapeTypes::Text) {
        QTest::keyClicks(m_view, text);
        click(QPointF(790, 590)); // commits the text
    }
    if (drawing.finishWithRightButton) {
        move(origin + QPointF(60, 170));
        click(origin + QPointF(60, 170), Qt::RightButton);
    }
    m_view->setDrawToolActive(false);
}

QList<QGraphicsItem *> TstHistory::drawingItems() const
{
    QList<QGraphicsItem *> items;
    for (GraphicsItemBase *shape : m_view->allItems())
        items << shape;
    for (TextItem *text : m_view->allTextItems())
        items << text;
    return items;
}

bool TstHistory::bodyPoint(GraphicsItemBase *shape, QPointF *point) const
{
    const QRectF bounds = shape->sceneBoundingRect().intersected(QRectF(5, 5, 790, 590));
    const double radius = shape->attribute()->controlPoint.radius + 3;
    for (double y = bounds.top(); y < bounds.bottom(); y += 3) {
        for (double x = bounds.left(); x < bounds.right(); x += 3) {
            const QPointF p(x, y);
            bool nearPoint = false;
            for (const QPointF &q : shape->scenePoints())
                nearPoint = nearPoint || QLineF(p, q).length() <= radius;
            if (nearPoint)
                continue;
            // The press must reach this shape, not its label or another item above it.
            const QList<QGraphicsItem *> hits = m_view->items(at(p));
            if (!hits.isEmpty() && hits.first() == shape) {
                *point = m_view->mapToScene(at(p));
                return true;
            }
        }
    }
    return false;
}

void TstHistory::selectOnly(QGraphicsItem *item)
{
    m_view->scene()->clearSelection();
    item->setSelected(true);
}

QByteArray TstHistory::document() const
{
    return QJsonDocument(DrawingDocument::document(m_view->scene()->items(), nullptr))
        .toJson(QJsonDocument::Compact);
}

void TstHistory::randomSequencesUndoAndRedoExactly_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 7u, 2024u})
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

// Operations of every kind on shapes of every tool, then everything undone and redone: the saved
// document and the table must come back exactly, row order included.
void TstHistory::randomSequencesUndoAndRedoExactly()
{
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    const QVector<ToolCase> tools = toolDrawings();
    const auto origin = [&rng] { return QPointF(20 + rng.bounded(500), 20 + rng.bounded(400)); };
    // A drawing opened from a file: one shape of every tool, and no history yet.
    for (const ToolCase &drawing : tools)
        draw(drawing, origin(), QStringLiteral("start"));
    m_view->history()->clear();
    m_view->history()->rebase();
    QCOMPARE(drawingItems().size(), tools.size());
    const QByteArray startDocument = document();
    const QList<QStringList> startTable = m_table->tableRows();

    int drawn = tools.size();
    int moved = 0;
    int reshaped = 0;
    QSet<int> kinds;
    for (int op = 0; op < 200; ++op) {
        const QList<QGraphicsItem *> items = drawingItems();
        QGraphicsItem *item = items.isEmpty() ? nullptr : items.at(rng.bounded(items.size()));
        auto *shape = dynamic_cast<GraphicsItemBase *>(item);
        const int steps = stack()->index();
        // The last operation makes a step, so that redoing everything ends where the run ended.
        int kind = op == 199 ? 0 : rng.bounded(10);
        if (!item && kind > 0 && kind < 8)
            kind = 0;
        kinds.insert(kind);
        switch (kind) {
        case 0: // draw any tool
        case 1:
            draw(tools.at(rng.bounded(tools.size())), origin(), QStringLiteral("t%1").arg(op));
            ++drawn;
            QCOMPARE(stack()->index(), steps + 1);
            break;
        case 2: { // drag the body
            QPointF p;
            if (auto *text = dynamic_cast<TextItem *>(item))
                p = text->mapToScene(text->textRect().center());
            else if (!bodyPoint(shape, &p))
                break;
            selectOnly(item);
            const QPointF before = item->pos();
            hoverAndDrag(p, p + QPointF(rng.bounded(61) - 30, rng.bounded(61) - 30));
            QCOMPARE(stack()->index(), steps + (item->pos() != before ? 1 : 0));
            moved += stack()->index() - steps;
            break;
        }
        case 3: { // drag a control point (a text item's corner resizes it)
            selectOnly(item);
            QPointF p;
            if (auto *text = dynamic_cast<TextItem *>(item))
                p = text->mapToScene(text->textRect().bottomRight());
            else if (shape->type() != ShapeTypes::Scale && !shape->scenePoints().isEmpty())
                p = shape->scenePoints().at(rng.bounded(shape->scenePoints().size()));
            else
                break;
            hoverAndDrag(p, p + QPointF(rng.bounded(41) - 20, rng.bounded(41) - 20));
            QVERIFY(stack()->index() <= steps + 1);
            reshaped += stack()->index() - steps;
            break;
        }
        case 4: // Delete key on one or two selected shapes (texts stay)
            selectOnly(item);
            items.at(rng.bounded(items.size()))->setSelected(true);
            QTest::keyClick(m_view, Qt::Key_Delete);
            QVERIFY(stack()->index() <= steps + 1);
            break;
        case 5: // deleted from the table
            emit m_table->sigDelDrawLine(LineDataRegistry::instance()->lines().first());
            QCOMPARE(stack()->index(), steps + 1);
            break;
        case 6: { // the style editor: a width typed digit by digit, then a colour
            selectOnly(item);
            const Attribute::Ptr style =
                shape ? shape->attribute() : static_cast<TextItem *>(item)->attribute();
            for (int width : {1, 12, 3}) {
                style->imgElement.width = width + int(rng.bounded(3));
                m_view->onAttributeDataChanged();
            }
            // One step for the width (a text's first edit also restyles its font: two).
            QVERIFY(stack()->index() <= steps + 2);
            style->textLabel.fontSize = 10 + int(rng.bounded(30));
            m_view->onAttributeDataChanged();
            style->imgElement.color = QColor::fromRgb(rng.generate());
            m_view->onAttributeDataChanged();
            QVERIFY(stack()->index() <= steps + 4);
            break;
        }
        case 7:
            if (rng.bounded(4) == 0) // every shape and text at once
                m_view->delAllLine();
            else
                m_view->undo();
            break;
        default:
            m_view->redo();
            break;
        }
        QVERIFY(!m_view->currentShape());
    }
    QCOMPARE(kinds.size(), 10);
    QVERIFY(drawn > 40);
    QVERIFY(moved > 5);
    QVERIFY(reshaped > 5);
    const QByteArray endDocument = document();
    const QList<QStringList> endTable = m_table->tableRows();
    QVERIFY(endDocument != startDocument);

    while (stack()->canUndo())
        m_view->undo();
    runDeferredDeletions();
    QCOMPARE(document(), startDocument);
    QCOMPARE(m_table->tableRows(), startTable);
    QCOMPARE(LineDataRegistry::instance()->lines().size(), tools.size());

    while (stack()->canRedo())
        m_view->redo();
    runDeferredDeletions();
    QCOMPARE(document(), endDocument);
    QCOMPARE(m_table->tableRows(), endTable);
}

// A removed shape lives on, hidden, until its deletion timer fires; an undo in between must build
// a new item and never touch the old one.
void TstHistory::undoAcrossDeferredDeletion()
{
    draw(toolDrawings().first(), QPointF(100, 100), QString());
    draw(toolDrawings().at(3), QPointF(300, 300), QString());
    GraphicsItemBase *line = m_view->allItems().value(0);
    const QString id = line->lineData()->id;
    const QByteArray before = document();
    const QList<QStringList> rows = m_table->tableRows();

    selectOnly(m_view->itemByName(id));
    QTest::keyClick(m_view, Qt::Key_Delete);
    QVERIFY(!m_view->itemByName(id));
    m_view->undo(); // the removed item has not been deleted yet
    GraphicsItemBase *restored = m_view->itemByName(id);
    QVERIFY(restored);
    QVERIFY(restored->isAliveInScene());
    runDeferredDeletions();
    QVERIFY(GraphicsItemLifetimeManager::instance()->isRegistered(restored));
    QCOMPARE(m_view->itemByName(id), restored);
    QCOMPARE(document(), before);
    QCOMPARE(m_table->tableRows(), rows);

    // Redo and undo again right away, with the deletions still pending.
    m_view->redo();
    m_view->undo();
    m_view->redo();
    QVERIFY(!m_view->itemByName(id));
    QCOMPARE(m_table->tableRows().size(), 1);
    m_view->undo();
    runDeferredDeletions();
    QCOMPARE(document(), before);
    QCOMPARE(m_table->tableRows(), rows);
}

// Undo measures again with the calibration in force; it never brings back an old label text.
void TstHistory::labelsFollowTheCalibrationOfNow()
{
    draw({"line", 10, Points{QPointF(0, 0), QPointF(100, 0)}, false, {}}, QPointF(100, 100),
         QString());
    const QString id = m_view->allItems().first()->lineData()->id;
    const auto label = [this, &id] { return m_view->itemByName(id)->labelItem()->text(); };
    QCOMPARE(label(), QStringLiteral("L: 100.00 (μm)"));
    QPointF p;
    QVERIFY(bodyPoint(m_view->itemByName(id), &p));
    selectOnly(m_view->itemByName(id));
    hoverAndDrag(p, p + QPointF(0, 50));
    QTest::keyClick(m_view, Qt::Key_Delete);

    m_calibration->setCurrentUnit(QStringLiteral("mm")); // labels not refreshed on purpose
    m_view->undo();                                      // the deletion: a rebuilt line
    QCOMPARE(label(), QStringLiteral("L: 0.10 (mm)"));
    m_calibration->setCurrentUnit(QStringLiteral("px"));
    m_view->undo(); // the move
    QCOMPARE(label(), QStringLiteral("L: 100.0 (px)"));
    m_calibration->setCurrentUnit(QStringLiteral("cm"));
    m_view->redo();
    QCOMPARE(label(), QStringLiteral("L: 0.01 (cm)"));
}

// A drag with many moves, a run of keystrokes in one property, a "delete all": one step each.
// A half-drawn shape is what the first undo takes back.
void TstHistory::oneGestureOneStep()
{
    draw(toolDrawings().first(), QPointF(100, 100), QString());
    draw(toolDrawings().at(3), QPointF(300, 300), QString());
    draw(toolDrawings().at(21), QPointF(500, 100), QStringLiteral("note")); // text
    QCOMPARE(stack()->count(), 3);
    QCOMPARE(stack()->text(2), QStringLiteral("添加文本"));

    GraphicsItemBase *rect = m_view->allItems().value(1);
    if (rect->type() != ShapeTypes::Rect)
        rect = m_view->allItems().value(0);
    QPointF p;
    QVERIFY(bodyPoint(rect, &p));
    selectOnly(rect);
    move(p);
    QTest::mousePress(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, at(p));
    for (int i = 1; i <= 20; ++i) {
        move(p + QPointF(i, i), Qt::LeftButton);
        m_view->undo(); // ignored while the button is held
    }
    QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, Qt::NoModifier,
                        at(p + QPointF(20, 20)));
    QCOMPARE(stack()->count(), 4);

    // Width typed digit by digit and corrected: one step; an edit back to where it started
    // leaves none.
    const int width = rect->attribute()->imgElement.width;
    for (int w : {1, 11, 3}) {
        rect->attribute()->imgElement.width = width + w;
        m_view->onAttributeDataChanged();
    }
    QCOMPARE(stack()->count(), 5);
    rect->attribute()->imgElement.color = Qt::green;
    m_view->onAttributeDataChanged();
    QCOMPARE(stack()->count(), 6);
    m_view->undo();
    m_view->undo();
    QCOMPARE(rect->attribute()->imgElement.width, width);
    rect->attribute()->imgElement.width = width + 5;
    m_view->onAttributeDataChanged();
    rect->attribute()->imgElement.width = width;
    m_view->onAttributeDataChanged();
    QCOMPARE(stack()->count(), 4);

    m_view->delAllLine();
    QCOMPARE(stack()->count(), 5);
    QVERIFY(drawingItems().isEmpty());

    // A shape half drawn: undo discards it and leaves the history alone.
    LineDataRegistry::instance()->setToolType(ShapeTypes::BrokenLine);
    m_view->setDrawToolActive(true);
    click(QPointF(50, 50));
    click(QPointF(150, 80));
    QVERIFY(m_view->currentShape());
    m_view->undo();
    QVERIFY(!m_view->currentShape());
    QCOMPARE(stack()->index(), 5);
    m_view->undo();
    QCOMPARE(drawingItems().size(), 3);
    QCOMPARE(m_table->tableRows().size(), 3);

    // The scale bar that the settings ask for is not a step of the user's.
    m_view->setScaleBarShown(true);
    QCOMPARE(drawingItems().size(), 4);
    QCOMPARE(stack()->index(), 4);
    QCOMPARE(stack()->count(), 5);
}

QTEST_MAIN(TstHistory)
#include "tst_history.moc"
