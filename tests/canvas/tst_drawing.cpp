// Tests of drawing with the mouse: every tool driven by mouse events on a live view, cancelling
// and finishing with the right button, deferred removal, control-point drags, keyboard commands,
// text, scale bars, the calibration ruler and the per-tool default styles.
#include <QtTest>

#include <QMessageBox>
#include <QSettings>

#include "CanvasDrawing.h"
#include "TestEnv.h"
#include "calibration/CalibrationData.h"
#include "canvas/GraphicsScene.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureFrame.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "shapes/GraphicsItemLifetimeManager.h"
#include "shapes/LabelItem.h"
#include "shapes/RectItem.h"
#include "shapes/ShapeTypes.h"
#include "shapes/StraightLineItem.h"
#include "shapes/TextItem.h"

Q_DECLARE_METATYPE(Points)

class TstDrawing : public QObject, CanvasMouse
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void everyToolDrawsItsShape_data();
    void everyToolDrawsItsShape();
    void everyToolRendersOnTheSheet();
    void rightButtonDiscardsShortShapes_data();
    void rightButtonDiscardsShortShapes();
    void removalInsideRemovalIsQueued();
    void textItemsAreFoundByRecordId();
    void controlPointsAreDraggedByTheirHandles();
    void selectAllThenDeleteRemovesOnlyShapes();
    void textIsPlacedTypedAndCommitted();
    void scaleBars();
    void replacedOrClearedSceneLeavesNoRecords_data();
    void replacedOrClearedSceneLeavesNoRecords();
    void rulerIsRelabelledThroughTheView();
    void toolDefaultsComeFromSettings();
    void editedToolDefaultsAreStored();
    void toolArmedThroughTheFrameDraws();

private:
    GraphicsItemBase *lastShape() const;
};

void TstDrawing::initTestCase()
{
    TestEnv::isolate();
    qRegisterMetaType<LineDataBase::Ptr>();
    qRegisterMetaType<Attribute::Ptr>();
}

void TstDrawing::init()
{
    newView();
    QVERIFY(showView());
}

void TstDrawing::cleanup()
{
    m_view->setDrawToolActive(false);
    m_view->delAllLine();
    delete m_view;
    m_view = nullptr;
    TestEnv::runTimersStartedBefore(11); // lets the deferred deletions run
    LineDataRegistry::instance()->clear();
}

GraphicsItemBase *TstDrawing::lastShape() const
{
    const QList<LineDataBase::Ptr> lines = LineDataRegistry::instance()->lines();
    return lines.isEmpty() ? nullptr : m_view->itemByName(lines.last()->id);
}

void TstDrawing::everyToolDrawsItsShape_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<Points>("clicks");
    QTest::addColumn<bool>("finishWithRightButton");
    QTest::addColumn<Points>("expected");
    for (const ToolCase &c : toolCases())
        QTest::newRow(c.name) << c.tool << c.clicks << c.finishWithRightButton << c.expected;
    // Two clicks on one spot leave the line open.
    const Points line{QPointF(100, 100), QPointF(250, 100)};
    QTest::newRow("straight line, second click on the first")
        << 10 << Points{line[0], line[0], line[1]} << false << line;
    const Points oneParallel{QPointF(100, 100), QPointF(300, 100), QPointF(150, 200)};
    QTest::newRow("parallels by any, one parallel") << 28 << oneParallel << true << oneParallel;
}

void TstDrawing::everyToolDrawsItsShape()
{
    QFETCH(int, tool);
    QFETCH(Points, clicks);
    QFETCH(bool, finishWithRightButton);
    QFETCH(Points, expected);

    QSignalSpy added(m_view, &MeasureGraphicsViewBusiness::sigAddLine);
    QSignalSpy changed(m_view, &MeasureGraphicsViewBusiness::sigLineDataChanged);
    arm(tool);
    for (const QPointF &p : clicks)
        click(p);
    if (finishWithRightButton) {
        move(QPointF(500, 400));
        click(QPointF(500, 400), Qt::RightButton);
    }

    QCOMPARE(added.size(), 1);
    const auto record = added.first().first().value<LineDataBase::Ptr>();
    QCOMPARE(int(record->type()), tool);
    QVERIFY(!changed.isEmpty());
    QVERIFY2(!m_view->currentShape(), "the shape is complete");
    QVERIFY(m_view->drawToolActive());
    GraphicsItemBase *shape = m_view->itemByName(record->id);
    QVERIFY(shape);
    QCOMPARE(shape->type(), tool);
    QVERIFY(shape->flags() & QGraphicsItem::ItemIsSelectable);
    QCOMPARE(shape->isSelected(), tool != 16);
    QCOMPARE(LineDataRegistry::instance()->line(record->id), record);

    QList<QPointF> points;
    for (const QPointF &p : shape->points())
        points << shape->mapToScene(p);
    QCOMPARE(points.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QVERIFY2(
            QLineF(points[i], expected[i]).length() < 1.0,
            qPrintable(
                QStringLiteral("point %1: (%2, %3)").arg(i).arg(points[i].x()).arg(points[i].y())));
    }
}

// Every tool's drawing over a picture, half of them selected, labelled in micrometres: each must
// paint; the sheet lands in QUORIX_RENDER_DIR, when that is set, for a person to look at.
void TstDrawing::everyToolRendersOnTheSheet()
{
    const QColor background(60, 60, 60);
    QImage image(1600, 1000, QImage::Format_RGB32);
    image.fill(background);
    CalibrationData calibration;
    calibration.addMagnification({"40X", 2.5e6});
    calibration.setCurrentIndex(0);
    calibration.setCurrentUnit(QStringLiteral("μm"));
    m_view->setCalibrationData(&calibration);
    m_view->setBackgroundImage(image, true);

    QList<GraphicsItemBase *> shapes;
    for (const ToolCase &c : toolCases()) {
        if (QByteArray(c.name).contains("up-left"))
            continue;
        const QPointF origin(20 + (shapes.size() % 6) * 260, 20 + (shapes.size() / 6) * 240);
        const auto place = [&](const QPointF &p) { return origin + (p - QPointF(100, 100)) * 0.7; };
        arm(c.tool);
        for (const QPointF &p : c.clicks)
            click(place(p));
        if (c.finishWithRightButton)
            click(place(QPointF(420, 380)), Qt::RightButton);
        QVERIFY2(!m_view->currentShape(), c.name);
        shapes << lastShape();
    }
    arm(32);
    click(QPointF(1400, 900));
    shapes << lastShape();
    arm(31);
    click(QPointF(1100, 800));
    QTest::keyClicks(m_view, QStringLiteral("12.5 um"));
    m_view->setDrawToolActive(false);
    for (int i = 0; i < shapes.size(); i += 2)
        shapes[i]->setSelected(true);

    const QImage sheet = m_view->renderSceneToImage();
    for (GraphicsItemBase *shape : shapes) {
        // The shape's own pixels: its label, which may lie inside its box, does not count.
        const QRect box = shape->sceneBoundingRect().toAlignedRect() & sheet.rect();
        const QRect label =
            shape->labelItem() ? shape->labelItem()->sceneBoundingRect().toAlignedRect() : QRect();
        bool painted = false;
        for (int y = box.top(); y <= box.bottom() && !painted; ++y) {
            for (int x = box.left(); x <= box.right() && !painted; ++x)
                painted = !label.contains(x, y) && sheet.pixelColor(x, y) != background;
        }
        QVERIFY2(painted, qPrintable(ShapeTypes::key(shape->type())));
    }
    QTemporaryDir dir;
    QVERIFY(sheet.save(qEnvironmentVariable("QUORIX_RENDER_DIR", dir.path()) + "/drawn_tools.png"));
}

void TstDrawing::rightButtonDiscardsShortShapes_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<Points>("clicks");
    QTest::addColumn<QString>("how"); // "right" button, "disarm" or "escape"

    QTest::newRow("polyline with one point") << 11 << Points{QPointF(100, 100)} << "right";
    QTest::newRow("polygon with two vertices")
        << 13 << Points{QPointF(100, 100), {200, 100}} << "right";
    QTest::newRow("polygon disarmed") << 13 << Points{QPointF(100, 100), {200, 120}} << "disarm";
    QTest::newRow("polygon with two vertices, Escape")
        << 13 << Points{QPointF(100, 100), {200, 100}} << "escape";
    QTest::newRow("any-parallel with its base line only")
        << 28 << Points{QPointF(100, 100), {200, 100}} << "right";
    QTest::newRow("straight line half drawn") << 10 << Points{QPointF(100, 100)} << "right";
    QTest::newRow("straight line half drawn, Escape")
        << 10 << Points{QPointF(100, 100)} << "escape";
    QTest::newRow("arc half drawn") << 25 << Points{QPointF(100, 100), {200, 100}} << "right";
}

void TstDrawing::rightButtonDiscardsShortShapes()
{
    QFETCH(int, tool);
    QFETCH(Points, clicks);
    QFETCH(QString, how);
    const bool disarm = how == "disarm";

    QSignalSpy added(m_view, &MeasureGraphicsViewBusiness::sigAddLine);
    QSignalSpy deleted(m_view, &MeasureGraphicsViewBusiness::sigDelLine);
    QSignalSpy finished(m_view, &MeasureGraphicsViewBusiness::sigDrawingFinished);
    QSet<const void *> gone;
    const auto connection =
        connect(GraphicsItemLifetimeManager::instance(), &GraphicsItemLifetimeManager::itemDeleted,
                this, [&gone](GraphicsItemBase *item) { gone.insert(item); });
    arm(tool);
    for (const QPointF &p : clicks)
        click(p);
    GraphicsItemBase *shape = m_view->currentShape();
    QVERIFY(shape);
    move(QPointF(400, 300));
    if (disarm)
        m_view->setDrawToolActive(false);
    else if (how == "escape")
        QTest::keyClick(m_view, Qt::Key_Escape);
    else
        click(QPointF(400, 300), Qt::RightButton);

    QCOMPARE(deleted.size(), 1);
    QCOMPARE(deleted.first().first().value<LineDataBase::Ptr>(),
             added.first().first().value<LineDataBase::Ptr>());
    QVERIFY(LineDataRegistry::instance()->lines().isEmpty());
    QVERIFY(!m_view->currentShape());
    QVERIFY(m_view->allItems().isEmpty());
    QVERIFY(!shape->isVisible());
    QVERIFY2(m_view->drawToolActive() != disarm && finished.isEmpty(), "the tool stays armed");
    QTRY_VERIFY_WITH_TIMEOUT(gone.contains(shape), 60000);
    disconnect(connection);
    if (how != "escape")
        return;
    // Escape finishes a polygon as the right button does, then, with no shape left, ends drawing.
    arm(13);
    for (const QPointF &p : {QPointF(100, 100), QPointF(300, 100), QPointF(300, 300)})
        click(p);
    move(QPointF(400, 300));
    QTest::keyClick(m_view, Qt::Key_Escape);
    QVERIFY(!m_view->currentShape());
    const auto polygon = added.last().first().value<LineDataBase::Ptr>();
    QCOMPARE(m_view->itemByName(polygon->id)->points().size(), 3);
    QVERIFY(m_view->drawToolActive() && finished.isEmpty());
    QTest::keyClick(m_view, Qt::Key_Escape);
    QVERIFY(!m_view->drawToolActive());
    QCOMPARE(finished.size(), 1);
}

// Removals asked for while one runs (a shape's, a text's) wait for it; repeats are ignored.
void TstDrawing::removalInsideRemovalIsQueued()
{
    GraphicsItemBase *first = m_view->createShape(10);
    GraphicsItemBase *second = m_view->createShape(12);
    GraphicsItemBase *third = m_view->createShape(25);
    QPointer<TextItem> text = m_view->createTextItem();
    const QString textId = text->lineData()->id;
    QList<QString> order;
    int depth = 0, maxDepth = 0;
    const auto connection = connect(m_view, &MeasureGraphicsViewBusiness::sigDelLine, this,
                                    [&](LineDataBase::Ptr record) {
                                        maxDepth = qMax(maxDepth, ++depth);
                                        order << record->id;
                                        QVERIFY(m_view->isDeleting());
                                        m_view->removeLine(second);
                                        m_view->removeLine(first);
                                        m_view->removeTextItem(text);
                                        m_view->removeLineById(textId);
                                        m_view->removeLine(third);
                                        --depth;
                                    });
    const QStringList ids{first->lineData()->id, second->lineData()->id, textId,
                          third->lineData()->id};
    m_view->removeLine(first);
    disconnect(connection);
    QCOMPARE(order, ids);
    QCOMPARE(maxDepth, 1);
    QVERIFY(!m_view->isDeleting());
    QVERIFY(m_view->allItems().isEmpty());
    QVERIFY(LineDataRegistry::instance()->lines().isEmpty());
    QVERIFY(!m_view->graphicsItemByName(textId));
    // Out of the scene at once, deleted only after the handlers have returned.
    QVERIFY(text && !text->scene() && !text->isVisible());
    TestEnv::runTimersStartedBefore(11);
    QVERIFY(!text);
    // The items are gone now; naming them again must not touch them.
    m_view->removeLine(first);
    QVERIFY(!m_view->removeLineById(textId));
    m_view->delAllLine();
    QCOMPARE(order.size(), 4);
}

// A text item is reached by its record id like a shape.
void TstDrawing::textItemsAreFoundByRecordId()
{
    GraphicsItemBase *line = m_view->createShape(10);
    TextItem *text = m_view->createTextItem();
    text->setPos(400, 400);
    const QString lineId = line->lineData()->id;
    const QString textId = text->lineData()->id;
    QCOMPARE(m_view->textItemByName(textId), text);
    QCOMPARE(m_view->graphicsItemByName(textId), text);
    QCOMPARE(m_view->graphicsItemByName(lineId), line);
    QVERIFY(!m_view->itemByName(textId));
    QVERIFY(!m_view->textItemByName(lineId));

    QVERIFY(m_view->selectLineById(lineId));
    QVERIFY(m_view->selectLineById(textId));
    QCOMPARE(m_view->scene()->selectedItems(), QList<QGraphicsItem *>{text});
    QVERIFY(!m_view->selectLineById(QStringLiteral("no-such-id")));
    QVERIFY(m_view->scene()->selectedItems().isEmpty());
}

void TstDrawing::controlPointsAreDraggedByTheirHandles()
{
    auto *line = static_cast<StraightLineItem *>(m_view->createShape(10));
    line->setStartPoint(QPointF(100, 100));
    line->setEndPoint(QPointF(300, 100));
    line->setSelected(true);
    QSignalSpy changed(m_view, &MeasureGraphicsViewBusiness::sigLineDataChanged);

    // A line's point moves freely, whatever its place in the point list.
    const QPointF end = m_view->mapToScene(at(QPointF(300, 100)));
    for (const QPointF &p : {QPointF(100, 100), end}) {
        move(p);
        QCOMPARE(m_view->viewport()->cursor().shape(), Qt::SizeFDiagCursor);
    }
    drag(end, QPointF(350, 180), 1);
    QVERIFY(QLineF(line->scenePoints().at(1), QPointF(350, 180)).length() < 1.0);
    QCOMPARE(line->scenePoints().at(0), QPointF(100, 100));
    QVERIFY(!changed.isEmpty());

    // A rectangle's corner handle keeps the opposite corner where it was.
    m_view->scene()->clearSelection();
    auto *rect = static_cast<RectItem *>(m_view->createShape(12));
    rect->setRect(QRectF(400, 300, 100, 80));
    rect->setSelected(true);
    move(QPointF(450, 300)); // the top side's handle moves it up or down only
    QCOMPARE(m_view->viewport()->cursor().shape(), Qt::SizeVerCursor);
    drag(QPointF(500, 380), QPointF(560, 420), 1);
    const QRectF r = rect->mapRectToScene(rect->rectF());
    QVERIFY(QLineF(r.topLeft(), QPointF(400, 300)).length() < 1.0);
    QVERIFY(QLineF(r.bottomRight(), QPointF(560, 420)).length() < 1.5);
    QCOMPARE(m_view->dragMode(), QGraphicsView::RubberBandDrag);
}

void TstDrawing::selectAllThenDeleteRemovesOnlyShapes()
{
    auto *line = static_cast<StraightLineItem *>(m_view->createShape(10));
    line->setStartPoint(QPointF(100, 100));
    line->setEndPoint(QPointF(300, 100));
    TextItem *text = m_view->createTextItem();
    text->setPos(400, 400);
    QSignalSpy deleted(m_view, &MeasureGraphicsViewBusiness::sigDelLine);

    QTest::keyClick(m_view, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(line->isSelected());
    QVERIFY(text->isSelected());
    QVERIFY(!m_view->backgroundItem()->isSelected());
    // The question goes through the view's message-box provider: No keeps everything.
    QStringList asked;
    QMessageBox::StandardButton answer = QMessageBox::No;
    m_view->setMessageBoxProvider([&](QWidget *, QMessageBox::Icon, const QString &,
                                      const QString &text, QMessageBox::StandardButtons buttons,
                                      QMessageBox::StandardButton defaultButton) {
        asked << text;
        [&] {
            QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(defaultButton, QMessageBox::No);
        }();
        return answer;
    });
    QTest::keyClick(m_view, Qt::Key_Delete);
    QCOMPARE(asked, QStringList(QStringLiteral("确定删除选中的线?")));
    QCOMPARE(deleted.size(), 0);
    answer = QMessageBox::Yes;
    QTest::keyClick(m_view, Qt::Key_Delete);
    m_view->setMessageBoxProvider(nullptr);
    QCOMPARE(deleted.size(), 1);
    QCOMPARE(deleted.first().first().value<LineDataBase::Ptr>(), line->lineData());
    QCOMPARE(text->scene(), m_view->scene());
}

// A text is placed, typed and committed; a click on it selects it; clearing the canvas takes it.
void TstDrawing::textIsPlacedTypedAndCommitted()
{
    GraphicsItemBase *line = m_view->createShape(10); // made by code, for the clearing below
    QSignalSpy added(m_view, &MeasureGraphicsViewBusiness::sigAddLine);
    arm(31);
    click(QPointF(200, 200));
    QCOMPARE(added.size(), 1);
    QPointer<TextItem> text = m_view->editingText();
    QVERIFY(text);
    QCOMPARE(text->pos(), m_view->mapToScene(at(QPointF(200, 200))));
    QCOMPARE(text->textInteractionFlags(), Qt::TextEditorInteraction);
    QTest::keyClicks(m_view, QStringLiteral("5 um"));
    QCOMPARE(text->toPlainText(), QStringLiteral("5 um"));

    click(QPointF(500, 400));
    QVERIFY(!m_view->editingText());
    QCOMPARE(text->textInteractionFlags(), Qt::NoTextInteraction);
    QCOMPARE(added.size(), 1);

    // A click on an existing text selects it instead of making a new one.
    click(text->mapToScene(text->textRect().center()));
    QCOMPARE(added.size(), 1);
    QVERIFY(text->isSelected());

    // Clearing the canvas takes the shapes, every text (the one being typed too) and records that
    // no item carries any more, each announced once.
    click(QPointF(600, 500));
    QPointer<TextItem> typed = m_view->editingText();
    QVERIFY(typed && typed != text);
    QTest::keyClicks(m_view, QStringLiteral("12"));
    auto orphan = std::make_shared<BrokenLineDataItem>();
    LineDataRegistry::instance()->addLine(orphan);
    const QList<LineDataBase::Ptr> expected{line->lineData(), text->lineData(), typed->lineData(),
                                            orphan};
    QSignalSpy deleted(m_view, &MeasureGraphicsViewBusiness::sigDelLine);
    m_view->delAllLine();
    QList<LineDataBase::Ptr> announced;
    for (const QList<QVariant> &args : deleted)
        announced << args.first().value<LineDataBase::Ptr>();
    QCOMPARE(announced.size(), expected.size());
    for (const LineDataBase::Ptr &record : expected)
        QVERIFY(announced.contains(record));
    QVERIFY(LineDataRegistry::instance()->lines().isEmpty());
    QVERIFY(!m_view->editingText());
    QVERIFY(m_view->allTextItems().isEmpty());
    TestEnv::runTimersStartedBefore(11);
    QVERIFY(!text && !typed);
    // The text tool still works on the emptied canvas.
    click(QPointF(300, 300));
    QVERIFY(m_view->editingText());
    QCOMPARE(LineDataRegistry::instance()->lines().size(), 1);
}

void TstDrawing::scaleBars()
{
    QSignalSpy length(m_view, &MeasureGraphicsViewBusiness::sigScaleLengthChanged);
    arm(32);
    click(QPointF(300, 300));
    QVERIFY(!length.isEmpty());
    QCOMPARE(length.last().first().toDouble(), 100.0);
    GraphicsItemBase *manual = lastShape();
    QVERIFY(manual && manual->type() == 32 && manual->isSelected());
    m_view->setDrawToolActive(false);

    m_view->delAllLine();
    m_view->setScaleBarShown(true);
    GraphicsItemBase *automatic = lastShape();
    QVERIFY(automatic && automatic->type() == 32);
    QCOMPARE(automatic->scenePoints().first(), QPointF(20, 560));
    arm(32);
    click(QPointF(300, 300));
    manual = lastShape();
    m_view->setDrawToolActive(false);
    m_view->setScaleBarShown(false);
    QVERIFY(!automatic->isVisible());
    QVERIFY(manual->isVisible());
    m_view->setScaleBarShown(true);
    QVERIFY(automatic->isVisible());
    QCOMPARE(m_view->allItems().size(), 2);
}

void TstDrawing::replacedOrClearedSceneLeavesNoRecords_data()
{
    QTest::addColumn<bool>("newPicture");
    QTest::newRow("new picture") << true;
    QTest::newRow("scene cleared") << false;
}

// Items that go with their scene leave no records behind, so an empty canvas reads as empty.
void TstDrawing::replacedOrClearedSceneLeavesNoRecords()
{
    QFETCH(bool, newPicture);
    const QString lineId = m_view->createShape(12)->lineData()->id;
    const QString textId = m_view->createTextItem()->lineData()->id;
    arm(11); // and a polyline half drawn
    click(QPointF(100, 100));
    click(QPointF(200, 150));
    QVERIFY(m_view->currentShape());
    QCOMPARE(LineDataRegistry::instance()->lines().size(), 3);
    if (newPicture) {
        QImage image(640, 480, QImage::Format_RGB32);
        image.fill(Qt::black);
        m_view->setBackgroundImage(image, true);
    } else {
        m_view->clearAll();
    }
    QVERIFY(!m_view->currentShape());
    QVERIFY(LineDataRegistry::instance()->lines().isEmpty());
    QVERIFY(!m_view->graphicsItemByName(lineId));
    QVERIFY(!m_view->graphicsItemByName(textId));
    QVERIFY(m_view->allTextItems().isEmpty());
    if (!newPicture)
        return;
    // The polyline tool draws afresh on the new picture.
    QSignalSpy added(m_view, &MeasureGraphicsViewBusiness::sigAddLine);
    click(QPointF(50, 50));
    click(QPointF(150, 80));
    click(QPointF(300, 300), Qt::RightButton);
    QCOMPARE(added.size(), 1);
    QCOMPARE(lastShape()->points().size(), 2);
}

// The calibration's ruler is relabelled and measured through the view by its record id.
void TstDrawing::rulerIsRelabelledThroughTheView()
{
    QSignalSpy length(m_view, &MeasureGraphicsViewBusiness::sigScaleLengthChanged);
    StraightLineItem *ruler = m_view->createRulerLine(QPointF(400, 300), 200, false);
    QCOMPARE(ruler->scenePoints(), (QList<QPointF>{QPointF(300, 300), QPointF(500, 300)}));
    QVERIFY(ruler->showEndGuides() && ruler->isSelected());
    QCOMPARE(length.last().first().toDouble(), 200.0);
    const QString id = ruler->lineData()->id;
    QCOMPARE(m_view->linePixelLength(id), 200.0);
    QVERIFY(m_view->setLineLabelText(id, QStringLiteral("L: 200.0 px / 1.00 mm")));
    QCOMPARE(ruler->labelItem()->text(), QStringLiteral("L: 200.0 px / 1.00 mm"));

    // Relabelled on every length change, the ruler shows the caller's text after a drag.
    const auto connection =
        connect(m_view, &MeasureGraphicsViewBusiness::sigScaleLengthChanged, this, [&] {
            m_view->setLineLabelText(
                id, QStringLiteral("L: %1 px").arg(m_view->linePixelLength(id), 0, 'f', 1));
        });
    ruler->setEndPoint(ruler->mapFromScene(QPointF(550, 300)));
    QCOMPARE(m_view->linePixelLength(id), 250.0);
    QCOMPARE(ruler->labelItem()->text(), QStringLiteral("L: 250.0 px"));
    // Dragged by its end handle: the release redraws the line, the caption stays.
    drag(QPointF(550, 300), QPointF(600, 300), 1);
    disconnect(connection);
    QVERIFY(qAbs(m_view->linePixelLength(id) - 300.0) < 1.0);
    QCOMPARE(ruler->labelItem()->text(),
             QStringLiteral("L: %1 px").arg(m_view->linePixelLength(id), 0, 'f', 1));
    QVERIFY(m_view->setLineLabelText(id, QString()));
    QVERIFY(ruler->labelItem()->text().endsWith(QLatin1String("(px)")));

    const QString textId = m_view->createTextItem()->lineData()->id;
    QVERIFY(!m_view->setLineLabelText(textId, QStringLiteral("x")));
    QCOMPARE(m_view->linePixelLength(textId), -1.0);
    QSignalSpy deleted(m_view, &MeasureGraphicsViewBusiness::sigDelLine);
    QVERIFY(m_view->removeLineById(id));
    QVERIFY(deleted.isEmpty()); // the ruler never was a measurement
    QVERIFY(!m_view->setLineLabelText(id, QStringLiteral("x")));
    QCOMPARE(m_view->linePixelLength(id), -1.0);
}

void TstDrawing::toolDefaultsComeFromSettings()
{
    QSettings settings;
    settings.clear();
    settings.setValue("Measure/Rect/defaultLineColor", "#123456");
    settings.setValue("Measure/defaultLineWidth", 5);
    settings.setValue("Measure/Arc/defaultLineWidth", 7);
    settings.setValue("Measure/defaultCPColorAlpha", 90);
    settings.sync();
    m_view->loadToolDefaults();

    // The first load replaces stored tool colours by the palette once and writes them all.
    QCOMPARE(settings.value("Measure/defaultColorsUpgraded").toBool(), true);
    QCOMPARE(m_view->toolDefaults().tool(12).lineColor, QColor("#00AA00"));
    for (int type : ToolDefaultsTable::toolTypes()) {
        const QString key =
            QStringLiteral("Measure/%1/defaultLineColor").arg(ShapeTypes::key(type));
        QCOMPARE(QColor(settings.value(key).toString()), ToolDefaultsTable::paletteColor(type));
    }
    settings.setValue("Measure/Rect/defaultLineColor", "#123456");
    m_view->loadToolDefaults();
    QCOMPARE(m_view->toolDefaults().tool(12).lineColor, QColor("#123456"));

    const Attribute::Ptr arc = m_view->createShape(25)->attribute();
    QCOMPARE(arc->imgElement.width, 7);
    QCOMPARE(arc->imgElement.color, QColor("#00AA88"));
    QCOMPARE(arc->controlPoint.color.alpha(), 90);
    QCOMPARE(arc->textLabel.fontSize, 24);
    QCOMPARE(m_view->createShape(10)->attribute()->imgElement.width, 5);
    // Text and scale bars have no settings: the built-in style.
    QCOMPARE(m_view->createShape(32)->attribute()->imgElement.width, 1);
    QCOMPARE(m_view->createTextItem()->attribute()->imgElement.width, 1);
}

void TstDrawing::editedToolDefaultsAreStored()
{
    QSignalSpy defaults(m_view, &MeasureGraphicsViewBusiness::sigToolDefaultAttributesChanged);
    arm(12);
    const Attribute::Ptr attr = defaults.last().first().value<Attribute::Ptr>();
    QVERIFY(attr);
    attr->imgElement.width = 9;
    attr->imgElement.color = QColor(10, 20, 30);
    attr->textLabel.fontSize = 31;
    m_view->onAttributeDataChanged();
    QSettings settings;
    QCOMPARE(settings.value("Measure/Rect/defaultLineWidth").toInt(), 9);
    QCOMPARE(settings.value("Measure/Rect/defaultLineColor").toString(), QString("#ff0a141e"));
    QCOMPARE(settings.value("Measure/labelFontSize").toInt(), 31);

    click(QPointF(100, 100));
    click(QPointF(200, 200));
    const Attribute::Ptr drawn = lastShape()->attribute();
    QCOMPARE(drawn->imgElement.width, 9);
    QCOMPARE(drawn->textLabel.fontSize, 31);
    QVERIFY(drawn != attr);

    // The text tool offers nothing to edit.
    arm(31);
    QVERIFY(!defaults.last().first().value<Attribute::Ptr>());
    settings.remove("Measure/labelFontSize");

    // A right click with nothing half drawn ends drawing, and the editor has no tool to show.
    arm(12);
    QVERIFY(defaults.last().first().value<Attribute::Ptr>());
    QSignalSpy finished(m_view, &MeasureGraphicsViewBusiness::sigDrawingFinished);
    click(QPointF(200, 200), Qt::RightButton);
    QCOMPARE(finished.size(), 1);
    QVERIFY(!m_view->drawToolActive());
    QVERIFY(!defaults.last().first().value<Attribute::Ptr>());
    QVERIFY(!m_view->currentToolAttribute());
}

void TstDrawing::toolArmedThroughTheFrameDraws()
{
    // The main window arms tools and panning through the frame's view, and may keep it as the
    // base view type: either way the full arming runs (cursor, panning off, tool defaults).
    MeasureFrame frame;
    frame.resize(900, 700);
    MeasureGraphicsViewBusiness *view = frame.view();
    QImage image(800, 600, QImage::Format_RGB32);
    image.fill(Qt::darkGray);
    view->setBackgroundImage(image, true);
    frame.show();
    QApplication::setActiveWindow(&frame);
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    view->setCanvasZoom(1.0);
    QSettings().setValue("Measure/showDrawingCrossCursor", true);

    QSignalSpy defaults(view, &MeasureGraphicsViewBusiness::sigToolDefaultAttributesChanged);
    QSignalSpy added(view, &MeasureGraphicsViewBusiness::sigAddLine);
    MeasureGraphicsView *base = view;
    base->setPanningMode(true);
    QCOMPARE(view->viewport()->cursor().shape(), Qt::OpenHandCursor);
    LineDataRegistry::instance()->setToolType(ShapeTypes::Rect);
    base->setDrawToolActive(true);
    QVERIFY(!view->panningMode());
    QCOMPARE(view->viewport()->cursor().shape(), Qt::CrossCursor);
    QCOMPARE(defaults.count(), 1);
    QVERIFY(defaults.last().first().value<Attribute::Ptr>());

    MeasureGraphicsViewBusiness *const own = m_view;
    m_view = view; // the mouse helpers drive the frame's view
    const auto restore = qScopeGuard([&] { m_view = own; });
    click(QPointF(100, 120));
    click(QPointF(300, 260));
    QCOMPARE(added.count(), 1);
    GraphicsItemBase *rect = view->itemByName(added.last().first().value<LineDataBase::Ptr>()->id);
    QVERIFY(rect && rect->type() == ShapeTypes::Rect);
    QCOMPARE(rect->mapToScene(rect->point(0)), QPointF(100, 120));
    QCOMPARE(rect->mapToScene(rect->point(1)), QPointF(300, 260));
    QCOMPARE(rect->attribute()->imgElement.color,
             view->toolDefaults().tool(ShapeTypes::Rect).lineColor);

    base->setDrawToolActive(false);
    QVERIFY(!defaults.last().first().value<Attribute::Ptr>());
    QCOMPARE(view->viewport()->cursor().shape(), Qt::ArrowCursor);
    QSettings().remove("Measure/showDrawingCrossCursor");
    view->delAllLine();
}

QTEST_MAIN(TstDrawing)
#include "tst_drawing.moc"
