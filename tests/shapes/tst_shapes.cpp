// Tests of the shape base, labels and the line shapes: geometry, texts, and mouse handling
// through a real (offscreen) view.
#include <QtTest>

#include <QGraphicsScene>
#include <QGraphicsView>

#include "TestEnv.h"
#include "calibration/CalibrationData.h"
#include "shapes/BrokenLineItem.h"
#include "shapes/CalibrationSource.h"
#include "shapes/GraphicsItemLifetimeManager.h"
#include "shapes/LabelItem.h"
#include "shapes/Line3PointItem.h"
#include "shapes/RectItem.h"
#include "shapes/StraightLineItem.h"

// A scene that offers a calibration, as the canvas scene does.
class CalibratedScene : public QGraphicsScene, public CalibrationSource
{
public:
    CalibrationData *calibrationData() const override { return calibration.data(); }
    QRectF pictureRect() const override { return picture; }
    QPointer<CalibrationData> calibration;
    QRectF picture;
};

class TstShapes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formatLength_data();
    void formatLength();
    void labelRectangle();
    void straightLinePointRules();
    void brokenLineRules();
    void registryTracksLifetime();
    void line3PointRules();
    void dimensionCorners_data();
    void dimensionCorners();
    void arrowAndScale();
    void dragsThroughAView();
};

void TstShapes::initTestCase()
{
    TestEnv::isolate();
}

void TstShapes::formatLength_data()
{
    QTest::addColumn<int>("calibration"); // 0: none, 1: offered, 2: offered, then destroyed
    QTest::addColumn<double>("resolution");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<double>("pixels");
    QTest::addColumn<QString>("text");
    QTest::newRow("no calibration") << 0 << 0.0 << "px" << 123.456 << "123.5 (px)";
    QTest::newRow("unit px") << 1 << 2.5e6 << "px" << 123.456 << "123.5 (px)";
    QTest::newRow("uncalibrated mm") << 1 << 0.0 << "mm" << 123.456 << "123.5 (px)";
    QTest::newRow("mm") << 1 << 2.5e6 << "mm" << 500.0 << "0.20 (mm)";
    QTest::newRow("um") << 1 << 2.5e6 << QString("μm") << 123.456 << QString("49.38 (μm)");
    QTest::newRow("zero") << 1 << 2.5e6 << "mm" << 0.0 << "0.00 (mm)";
    QTest::newRow("calibration destroyed") << 2 << 1e6 << "mm" << 500.0 << "500.0 (px)";
}

void TstShapes::formatLength()
{
    QFETCH(int, calibration);
    QFETCH(double, resolution);
    QFETCH(QString, unit);
    QFETCH(double, pixels);
    QFETCH(QString, text);
    CalibratedScene scene;
    auto data = std::make_unique<CalibrationData>();
    data->addMagnification({"10X", resolution});
    data->setCurrentIndex(0);
    data->setCurrentUnit(unit);
    if (calibration)
        scene.calibration = data.get();
    auto *line = new StraightLineItem(nullptr);
    scene.addItem(line);
    line->addPointF({0, 0}, -1);
    line->addPointF({pixels, 0}, -1);
    if (calibration == 2)
        data.reset();
    line->updateShape();
    QCOMPARE(line->labelItem()->text(), "L: " + text);
}

void TstShapes::labelRectangle()
{
    LabelItem label;
    QCOMPARE(label.rect(), QRectF(0, 0, 200, 36));
    auto attribute = std::make_shared<Attribute>();
    attribute->textLabel.fontSize = 1;
    label.setAttribute(attribute);
    label.setText("x");
    QVERIFY(label.rect().width() >= 50 && label.rect().height() >= 20);
    label.setText("");
    QCOMPARE(label.rect(), QRectF(0, 0, 200, 36));

    // A damaged style with size 0 still gives a usable font.
    attribute->textLabel.fontSize = 0;
    QCOMPARE(LabelItem::labelFont(*attribute).pointSize(), 1);
}

void TstShapes::straightLinePointRules()
{
    StraightLineItem line(nullptr);
    int changes = 0;
    line.setChangeCallback([&changes](GraphicsItemBase *) { ++changes; });
    line.addPointF({5, 5}, -1);
    line.addPointF({5, 5}, -1);
    QCOMPARE(line.points(), (QList<QPointF>{{5, 5}, {5, 5}}));
    QCOMPARE(line.labelItem()->text(), QString("L: 0.0 (px)"));
    line.addPointF({8, 9}, -1);
    QCOMPARE(line.points(), (QList<QPointF>{{5, 5}, {8, 9}}));
    line.addPointF({1, 1}, 5); // beyond the end: ignored
    QCOMPARE(line.points().size(), 2);
    line.setStartPoint({0, 0});
    QCOMPARE(line.point(0), QPointF(0, 0));
    QCOMPARE(changes, 4);
    QCOMPARE(line.labelItem()->text(), QString("L: 12.0 (px)"));
    // At the midpoint, above it for a line falling to the right, so that the text is clear of it.
    const auto labelBox = [&line] {
        return line.labelItem()->mapRectToParent(line.labelItem()->rect());
    };
    QCOMPARE(labelBox().bottomLeft(), QPointF(4, 4.5));
    line.labelItem()->setPos(300, 300); // moved by hand: still follows
    line.setEndPoint({10, -10});
    QCOMPARE(labelBox().topLeft(), QPointF(5, -5));
    line.setEndPoint({10, 10});
    QCOMPARE(labelBox().bottomLeft(), QPointF(5, 5));
    QVERIFY(line.boundingRect().contains(QRectF(0, 0, 10, 10)));
    // A one-pixel line can be picked a few units beside it, not only exactly on it, and its ends
    // where the line's and the end's hit areas overlap.
    for (const QPointF &p : {QPointF(7, 3), QPointF(0, 0), QPointF(11, 10), QPointF(5, 5)})
        QVERIFY(line.shape().contains(p));
    QVERIFY(!line.shape().contains(QPointF(9, 1)));
}

void TstShapes::brokenLineRules()
{
    BrokenLineItem empty(nullptr);
    empty.movePoint({1, 1}, 0);
    empty.movePoint({1, 1}, -1);
    QVERIFY(empty.points().isEmpty());

    BrokenLineItem line(nullptr);
    line.addPointF({0, 0});
    QCOMPARE(line.labelItem()->text(), QString("L: 0.0 (px)"));
    line.addPointF({30, 40});
    line.addPointF({30, 100});
    QCOMPARE(line.labelItem()->text(), QString("L: 110.0 (px)")); // the whole path
    QCOMPARE(line.labelItem()->pos(), QPointF(0, 0));
    for (const QPointF &p : {QPointF(12.6, 21.8), QPointF(30, 40), QPointF(31, 41), QPointF(0, 0)})
        QVERIFY(line.shape().contains(p)); // beside the first segment, its corner, its ends
    line.movePoint({20, 20}, -1);
    line.movePoint({7, 7}, 3);
    line.movePoint({7, 7}, -2);
    QCOMPARE(line.points(), (QList<QPointF>{{0, 0}, {30, 40}, {20, 20}}));
}

void TstShapes::registryTracksLifetime()
{
    auto *manager = GraphicsItemLifetimeManager::instance();
    QSignalSpy deleted(manager, &GraphicsItemLifetimeManager::itemDeleted);
    auto *line = new StraightLineItem(nullptr);
    QVERIFY(line->isAlive());
    QVERIFY(!line->isAliveInScene());
    QVERIFY(manager->isRegistered(line));
    line->addPointF({0, 0}, -1); // creates the label, itself registered
    LabelItem *label = line->labelItem();
    QVERIFY(manager->isRegistered(label));
    delete line;
    QVERIFY(!manager->isRegistered(line));
    QVERIFY(!manager->isRegistered(label));
    QCOMPARE(deleted.count(), 2);
    QVERIFY(!manager->registerItem(nullptr));
    QVERIFY(!manager->unregisterItem(nullptr));
}

void TstShapes::line3PointRules()
{
    Line3PointItem item(nullptr);
    item.addPointF({0, 0});
    item.addPointF({10, 0});
    item.addPointF({20, 0}); // not fixed: the second point follows
    QCOMPARE(item.points(), (QList<QPointF>{{0, 0}, {20, 0}}));
    item.setPointFixed(true);
    item.addPointF({5, 10});
    QCOMPARE(item.points().size(), 3);
    item.addPointF({5, 12});
    QCOMPARE(item.point(2), QPointF(5, 12));
    item.setPointAt({1, 1}, 5);
    QCOMPARE(item.points().size(), 3);
    QCOMPARE(item.labelItem()->text(), QString("L: 20.0 (px)"));
    QCOMPARE(item.labelItem()->pos(), QPointF(0, 0));
    // The bracket reaches p2's side; the bounds must hold it.
    QVERIFY(item.boundingRect().contains(QPointF(20, 12)));
    Line3PointItem coincident(nullptr);
    coincident.setPointFixed(true);
    for (const QPointF &p : {QPointF(200, 200), QPointF(200, 200), QPointF(240, 260)})
        coincident.addPointF(p);
    QCOMPARE(coincident.labelItem()->text(), QString("L: 0.0 (px)"));
}

void TstShapes::dimensionCorners_data()
{
    QTest::addColumn<QPointF>("p0");
    QTest::addColumn<QPointF>("p1");
    QTest::addColumn<QPointF>("p2");
    QTest::newRow("horizontal, below") << QPointF(0, 0) << QPointF(100, 0) << QPointF(30, 40);
    QTest::newRow("horizontal, above") << QPointF(0, 0) << QPointF(100, 0) << QPointF(30, -40);
    QTest::newRow("rising") << QPointF(10, 10) << QPointF(110, 60) << QPointF(0, 100);
    QTest::newRow("falling, other side") << QPointF(10, 60) << QPointF(110, 10) << QPointF(0, 0);
    QTest::newRow("vertical") << QPointF(50, 0) << QPointF(50, 100) << QPointF(80, 30);
    QTest::newRow("vertical, left") << QPointF(50, 100) << QPointF(50, 0) << QPointF(10, 30);
    QTest::newRow("nearly vertical")
        << QPointF(50, 0) << QPointF(50.000001, 100) << QPointF(80, 30);
    QTest::newRow("p2 on the line") << QPointF(0, 0) << QPointF(100, 100) << QPointF(50, 50);
}

void TstShapes::dimensionCorners()
{
    QFETCH(QPointF, p0);
    QFETCH(QPointF, p1);
    QFETCH(QPointF, p2);
    // Independent reference: project p2 - p0 onto the unit normal of p0 -> p1.
    const QLineF line(p0, p1);
    const QPointF normal(-line.dy() / line.length(), line.dx() / line.length());
    const double d = QPointF::dotProduct(p2 - p0, normal);
    const QPointF expectedA = p0 + d * normal;
    const QPointF expectedB = p1 + d * normal;
    QPointF a, b;
    Line3PointItem::dimensionCorners(p0, p1, p2, &a, &b);
    QVERIFY2(QLineF(a, expectedA).length() < 1e-3,
             qPrintable(QString("A %1,%2").arg(a.x()).arg(a.y())));
    QVERIFY(QLineF(b, expectedB).length() < 1e-3);
}

void TstShapes::arrowAndScale()
{
    QVERIFY(ArrowItem::arrowPolygon({0, 0}, {0.5, 0.5}).isEmpty());
    const QPolygonF arrow = ArrowItem::arrowPolygon({0, 0}, {100, 0});
    QCOMPARE(arrow.size(), 7);
    QCOMPARE(arrow.first(), QPointF(100, 0));
    QCOMPARE(arrow.boundingRect(), QRectF(0, -10, 100, 20)); // head 25 long, 20 wide

    CalibratedScene scene;
    CalibrationData calibration;
    calibration.addMagnification({"40X", 1e6});
    calibration.setCurrentIndex(0);
    calibration.setCurrentUnit(QStringLiteral("μm"));
    scene.calibration = &calibration;
    auto *bar = new ScaleItem(nullptr);
    scene.addItem(bar);
    bar->placeAt({10, 20});
    QCOMPARE(bar->points(), (QList<QPointF>{{10, 20}, {110, 20}}));
    QCOMPARE(bar->labelItem()->text(), QString("L: 100.00 (μm)"));
    QCOMPARE(bar->labelItem()->pos(), QPointF(10, 20));
    bar->setScaleLength(250);
    QCOMPARE(bar->labelItem()->text(), QString("L: 250.00 (μm)"));
}

// A view showing scene (0, 0)-(400, 300) at scale 1, with the line (100,100)-(300,100) selected.
struct ViewFixture
{
    ViewFixture()
    {
        scene.setSceneRect(0, 0, 400, 300);
        view.setScene(&scene);
        view.setDragMode(QGraphicsView::RubberBandDrag);
        view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.setFrameShape(QFrame::NoFrame);
        view.resize(400, 300);
        view.show();
        line = new StraightLineItem(nullptr);
        scene.addItem(line);
        line->addPointF({100, 100}, -1);
        line->addPointF({300, 100}, -1);
        line->setSelected(true);
    }
    QPoint at(const QPointF &scenePos) const { return view.mapFromScene(scenePos); }

    CalibratedScene scene;
    QGraphicsView view;
    StraightLineItem *line;
};

// A point dragged by its handle (the view's drag mode off meanwhile), then the whole line by its
// body.
void TstShapes::dragsThroughAView()
{
    ViewFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.view, 60000));
    QWidget *vp = f.view.viewport();
    const auto moveTo = [&](const QPointF &scenePos) {
        QMouseEvent move(QEvent::MouseMove, f.at(scenePos), vp->mapToGlobal(f.at(scenePos)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
    };
    QTest::mousePress(vp, Qt::LeftButton, {}, f.at({302, 101})); // within radius 6 of p1
    QCOMPARE(f.line->hoverIndex(), 2);
    QCOMPARE(f.view.dragMode(), QGraphicsView::NoDrag);
    moveTo({250, 180});
    QTest::mouseRelease(vp, Qt::LeftButton, {}, f.at({250, 180}));
    QCOMPARE(f.line->points(), (QList<QPointF>{{100, 100}, {250, 180}}));
    QCOMPARE(f.line->pos(), QPointF(0, 0));
    QCOMPARE(f.view.dragMode(), QGraphicsView::RubberBandDrag);
    QCOMPARE(f.line->labelItem()->text(), QString("L: 170.0 (px)"));

    // The body moves the whole item, in steps, and leaves the drag mode alone.
    QTest::mousePress(vp, Qt::LeftButton, {}, f.at({175, 140}));
    QCOMPARE(f.line->hoverIndex(), 0);
    QCOMPARE(f.view.dragMode(), QGraphicsView::RubberBandDrag);
    moveTo({185, 160});
    moveTo({195, 180});
    QTest::mouseRelease(vp, Qt::LeftButton, {}, f.at({195, 180}));
    QCOMPARE(f.line->pos(), QPointF(20, 40));
    QCOMPARE(f.line->points(), (QList<QPointF>{{100, 100}, {250, 180}}));
    QCOMPARE(f.line->scenePoints(), (QList<QPointF>{{120, 140}, {270, 220}}));

    // A later body drag does not reinstate a mode that was changed meanwhile.
    f.view.setDragMode(QGraphicsView::ScrollHandDrag);
    QTest::mousePress(vp, Qt::LeftButton, {}, f.at({195, 180}));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, f.at({195, 180}));
    QCOMPARE(f.view.dragMode(), QGraphicsView::ScrollHandDrag);

    // On a picture, a label that would reach past its edge stays inside, also when dragged.
    f.scene.picture = QRectF(0, 0, 400, 300);
    f.line->setEndPoint({380, 250});
    const auto box = [&f] { return f.line->labelItem()->sceneBoundingRect(); };
    QVERIFY(f.scene.picture.contains(box()));
    QCOMPARE(box().right(), 400.0);
    f.line->labelItem()->setPos(-500, 100);
    QCOMPARE(box().left(), 0.0);
    // A rectangle near the right edge has its label on its left, not pushed back over it.
    auto *rect = new RectItem(nullptr);
    f.scene.addItem(rect);
    rect->setRect(QRectF(300, 50, 90, 70));
    rect->updateShape();
    const QRectF rectLabel = rect->labelItem()->sceneBoundingRect();
    QVERIFY(f.scene.picture.contains(rectLabel));
    QVERIFY(rectLabel.right() < 300);
}

QObject *createShapeFamiliesTest();

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TstShapes lines;
    std::unique_ptr<QObject> families(createShapeFamiliesTest());
    int failures = QTest::qExec(&lines, argc, argv);
    failures += QTest::qExec(families.get(), argc, argv);
    return failures;
}
#include "tst_shapes.moc"
