// Tests of the circle, ellipse, rectangle, polygon, angle, parallel, perpendicular and text
// shapes: measured values against independent computations, degenerate input, and painting.
#include <QtTest>

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "shapes/AngleItems.h"
#include "shapes/ArcItem.h"
#include "shapes/Circle2PointItem.h"
#include "shapes/CircleCenterRadiusItem.h"
#include "shapes/DoubleCircleItem.h"
#include "shapes/Ellipse5PointsItem.h"
#include "shapes/EllipseItem.h"
#include "shapes/LabelItem.h"
#include "shapes/Line3PointItem.h"
#include "shapes/ParallelLine4Points.h"
#include "shapes/ParallelLineAny.h"
#include "shapes/PerpendicularItems.h"
#include "shapes/PolygonItem.h"
#include "shapes/Rec3PointItem.h"
#include "shapes/RectItem.h"
#include "shapes/ShapeGeometry.h"
#include "shapes/ShapeTypes.h"
#include "shapes/StraightLineItem.h"
#include "shapes/TextItem.h"

#include <cmath>
#include <memory>
#include <tuple>

namespace {

QString label(const GraphicsItemBase &item)
{
    return item.labelItem() ? item.labelItem()->text() : QString();
}

// Reads "a: X (px)\nb: Y (px)\n" style numbers in order.
QList<double> numbers(const QString &text)
{
    QList<double> values;
    QRegularExpressionMatchIterator it = QRegularExpression(R"((-?\d+\.\d+) \()").globalMatch(text);
    while (it.hasNext())
        values << it.next().captured(1).toDouble();
    return values;
}

QList<QPointF> ellipsePoints(QPointF c, double a, double b, double degrees, QList<double> t)
{
    const double th = qDegreesToRadians(degrees);
    QList<QPointF> result;
    for (double u : t) {
        const double x = a * std::cos(u), y = b * std::sin(u);
        result << c + QPointF(x * std::cos(th) - y * std::sin(th),
                              x * std::sin(th) + y * std::cos(th));
    }
    return result;
}

// Angle of v in degrees with y pointing up, in [0, 360).
double upAngle(QPointF v)
{
    double a = qRadiansToDegrees(std::atan2(-v.y(), v.x()));
    return a < 0 ? a + 360 : a;
}

template <class T>
GraphicsItemBase *make()
{
    return new T(nullptr);
}

// A shape of `type` given `pts` the way the canvas places them (the three-point shapes fixed).
GraphicsItemBase *shape(int type, const QList<QPointF> &pts)
{
    namespace S = ShapeTypes;
    // clang-format off
    static const QMap<int, GraphicsItemBase *(*)()> makers{
        {S::StraightLine, &make<StraightLineItem>},       {S::Arrow, &make<ArrowItem>},
        {S::Line3Point, &make<Line3PointItem>},           {S::Circle2Point, &make<Circle2PointItem>},
        {S::DoubleCircle, &make<DoubleCircleItem>},       {S::CircleCenterRadius, &make<CircleCenterRadiusItem>},
        {S::Arc, &make<ArcItem>},                         {S::Rect, &make<RectItem>},
        {S::Ellipse, &make<EllipseItem>},                 {S::Rec3Point, &make<Rec3PointItem>},
        {S::Ellipse3Point, &make<Ellipse3PointItem>},     {S::Ellipse5Point, &make<Ellipse5PointsItem>},
        {S::Polygon, &make<PolygonItem>},                 {S::Angle3Point, &make<Angle3PointItem>},
        {S::Angle4Point, &make<Angle4PointItem>},         {S::Parallel4Points, &make<ParallelLine4Points>},
        {S::Parallel8Points, &make<ParallelLine8Points>}, {S::ParallelAny, &make<ParallelLineAny>},
        {S::Perpendicular3Points, &make<Perpendicular3Points>},
        {S::Perpendicular4Points, &make<Perpendicular4Points>},
    };
    // clang-format on
    GraphicsItemBase *item = makers.value(type)();
    item->setPointFixed(true);
    auto *line = dynamic_cast<StraightLineItem *>(item);
    auto *twin = dynamic_cast<DoubleCircleItem *>(item);
    if (twin) {
        twin->setFirstCircle(pts[0], pts[1]);
        if (pts.size() == 4)
            twin->setSecondCircle(pts[2], pts[3]);
        else // a damaged list: three points
            twin->points() << pts.mid(2);
        twin->updateShape();
    }
    for (int k = 0; !twin && k < pts.size(); ++k) {
        if (line)
            line->addPointF(pts[k], -1);
        else if (type == ShapeTypes::Ellipse5Point)
            static_cast<Ellipse5PointsItem *>(item)->setPointAt(pts[k], k + 1);
        else
            item->addPointF(pts[k]);
    }
    return item;
}

} // namespace

class TstShapeFamilies : public QObject
{
    Q_OBJECT

private slots:
    void labels_data();
    void labels();
    void circleThroughThreePoints_data();
    void circleThroughThreePoints();
    void arcSweepSignAndLength();
    void fivePointEllipse_data();
    void fivePointEllipse();
    void dragsOnAView();
    void threePointRectangleAndEllipse_data();
    void threePointRectangleAndEllipse();
    void angles_data();
    void angles();
    void parallelAngle();
    void parallelFourPoints();
    void parallelAny();
    void perpendiculars();
    void everyShapePaintsInsideItsBoundsWithFiniteLabels();
};

void TstShapeFamilies::circleThroughThreePoints_data()
{
    QTest::addColumn<QPointF>("p0");
    QTest::addColumn<QPointF>("p1");
    QTest::addColumn<QPointF>("p2");
    QTest::newRow("well conditioned") << QPointF(10, 20) << QPointF(200, 40) << QPointF(90, 240);
    QTest::newRow("p0 and p1 share y") << QPointF(0, 50) << QPointF(100, 50) << QPointF(60, 120);
    QTest::newRow("p1 and p2 share y") << QPointF(0, 0) << QPointF(40, 90) << QPointF(120, 90);
    QTest::newRow("nearly collinear") << QPointF(0, 0) << QPointF(500, 1) << QPointF(1000, 0);
}

void TstShapeFamilies::circleThroughThreePoints()
{
    QFETCH(QPointF, p0);
    QFETCH(QPointF, p1);
    QFETCH(QPointF, p2);
    // Textbook determinant form in absolute coordinates.
    const double ax = p0.x(), ay = p0.y(), bx = p1.x(), by = p1.y(), cx = p2.x(), cy = p2.y();
    const double d = 2 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by));
    const double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    const QPointF expected((a2 * (by - cy) + b2 * (cy - ay) + c2 * (ay - by)) / d,
                           (a2 * (cx - bx) + b2 * (ax - cx) + c2 * (bx - ax)) / d);
    QPointF centre;
    double r = 0;
    QVERIFY(ShapeGeometry::circleThrough(p0, p1, p2, &centre, &r));
    QVERIFY(QLineF(centre, expected).length() < 1e-6 * std::max(1.0, r));
    QVERIFY(qAbs(r - QLineF(expected, p2).length()) < 1e-6 * std::max(1.0, r));
}

void TstShapeFamilies::arcSweepSignAndLength()
{
    // A half circle of radius 50 around (100, 100), drawn both ways, and a three-quarter arc.
    const QPointF right(150, 100), bottom(100, 150), left(50, 100), top(100, 50);
    ArcItem forward(nullptr), backward(nullptr), large(nullptr);
    for (const QPointF &p : {right, bottom, left})
        forward.addPointF(p);
    for (const QPointF &p : {left, bottom, right})
        backward.addPointF(p);
    for (const QPointF &p : {right, top, bottom}) // through the top: 270 degrees
        large.addPointF(p);
    QVERIFY(forward.isCircular() && backward.isCircular());
    QCOMPARE(forward.sweep(), -backward.sweep());
    QVERIFY(qAbs(std::abs(forward.sweep()) - 180) < 1e-9);
    QCOMPARE(label(forward), label(backward));
    QCOMPARE(label(forward), QString("L: %1 (px)").arg(M_PI * 50, 0, 'f', 1));
    QVERIFY(qAbs(std::abs(large.sweep()) - 270) < 1e-9);
    QCOMPARE(label(large), QString("L: %1 (px)").arg(1.5 * M_PI * 50, 0, 'f', 1));
    // The third and later clicks move the end point.
    large.addPointF(left);
    QCOMPARE(large.points().size(), 3);
    QVERIFY(qAbs(std::abs(large.sweep()) - 180) < 1e-9);
}

// The label of each shape fed with clicks, including the extra clicks that move the last point
// and the degenerate input that must say it cannot measure rather than show a number.
void TstShapeFamilies::labels_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<QPointF>>("pts");
    QTest::addColumn<QString>("text");
    const auto row = [](const char *name, int type, const QList<QPointF> &pts,
                        const QString &text) { QTest::newRow(name) << type << pts << text; };
    using namespace ShapeTypes;
    const QString none = QStringLiteral("无法测量");
    row("2-point circle, coincident", Circle2Point, {{10, 10}, {10, 10}}, "直径: 0.0 (px)");
    row("2-point circle, third click moves the second", Circle2Point,
        {{10, 10}, {10, 10}, {40, 50}}, "直径: 50.0 (px)");
    row("centre-radius circle, third click moves the edge", CircleCenterRadius,
        {{100, 100}, {130, 140}, {100, 110}}, "半径: 10.0 (px)");
    row("two circles", DoubleCircle, {{0, 0}, {10, 0}, {30, 40}, {30, 45}}, "50.0 (px)");
    row("two circles, three points", DoubleCircle, {{0, 0}, {10, 0}, {30, 40}}, "");
    // An arc without a circle: only a flat one (the middle point between the ends) measures
    // something, its chord.
    row("arc collinear", Arc, {{0, 0}, {50, 50}, {100, 100}}, "L: 141.4 (px)");
    row("arc horizontal collinear", Arc, {{0, 7}, {30, 7}, {100, 7}}, "L: 100.0 (px)");
    row("arc, first two coincide", Arc, {{5, 5}, {5, 5}, {5, 25}}, "L: 20.0 (px)");
    row("arc, all coincide", Arc, {{5, 5}, {5, 5}, {5, 5}}, none);
    row("arc, middle beyond the end", Arc, {{0, 0}, {500, 250}, {100, 50}}, none);
    row("arc, ends coincide", Arc, {{0, 0}, {90, 0}, {0, 0}}, none);
    row("5-point hyperbola", Ellipse5Point,
        {{110, 110}, {120, 105}, {140, 102.5}, {90, 90}, {80, 95}}, none);
    row("5-point collinear", Ellipse5Point,
        {{100, 100}, {110, 110}, {120, 120}, {130, 130}, {140, 140}}, none);
    row("5-point, two coincide", Ellipse5Point,
        {{100, 100}, {100, 100}, {200, 130}, {140, 190}, {70, 150}}, none);
    row("5-point, all coincide", Ellipse5Point, QVector<QPointF>(5, {170, 170}).toList(), none);
    // Drawn towards the top left, the sizes are still positive lengths.
    row("ellipse", Ellipse, {{10, 10}, {110, 60}}, "a: 50.0 (px)\nb: 25.0 (px)\n");
    row("ellipse backwards", Ellipse, {{110, 60}, {10, 10}}, "a: 50.0 (px)\nb: 25.0 (px)\n");
    row("rectangle backwards", Rect, {{200, 150}, {100, 100}}, "H: 50.0 (px)\nW: 100.0 (px)\n");
    row("polygon: its perimeter", Polygon, {{0, 0}, {30, 0}, {30, 40}}, "L: 120.0 (px)");
    row("angle, an arm of length 0", Angle4Point, {{5, 5}, {5, 5}, {0, 50}, {100, 50}}, none);
    row("4-point parallel, first line a point", Parallel4Points,
        {{9, 9}, {9, 9}, {50, 150}, {20, 10}}, none);
    // Line 1 along y = 10 (pairs at y 0 and 20), line 2 along y = 70 (pairs at 60 and 80).
    row("8-point parallel", Parallel8Points,
        {{0, 0}, {200, 0}, {0, 20}, {200, 20}, {20, 60}, {180, 60}, {20, 80}, {180, 80}},
        "L: 60.0 (px)");
    row("3-point perpendicular, the third point follows", ShapeTypes::Perpendicular3Points,
        {{0, 0}, {100, 0}, {160, 40}, {50, -30}}, "L: 30.0 (px)");
}

void TstShapeFamilies::labels()
{
    QFETCH(int, type);
    QFETCH(QList<QPointF>, pts);
    QFETCH(QString, text);
    std::unique_ptr<GraphicsItemBase> item(shape(type, pts));
    QCOMPARE(label(*item), text);
    // A rectangle's, box ellipse's or circle's label stands beside it, not over what it encloses.
    QRectF extent;
    if (const auto *box = dynamic_cast<const RectItem *>(item.get()))
        extent = box->rectF().normalized();
    const QList<QPointF> &p = item->points();
    if (type == ShapeTypes::Circle2Point || type == ShapeTypes::CircleCenterRadius) {
        const bool byCentre = type == ShapeTypes::CircleCenterRadius;
        const QPointF c = byCentre ? p.first() : (p.first() + p.last()) / 2;
        const double r = QLineF(c, p.last()).length();
        extent = QRectF(c - QPointF(r, r), c + QPointF(r, r));
    }
    if (!extent.isNull()) {
        const LabelItem *l = item->labelItem();
        QVERIFY(!l->mapRectToParent(l->rect()).intersects(extent));
    }
}

void TstShapeFamilies::fivePointEllipse_data()
{
    QTest::addColumn<QList<QPointF>>("pts");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<QPointF>("centre");
    const QList<double> spread{0.1, 1.3, 2.2, 3.9, 5.1};
    QTest::newRow("circle r 50 at (200,100)")
        << ellipsePoints({200, 100}, 50, 50, 0, spread) << 50.0 << 50.0 << QPointF(200, 100);
    QTest::newRow("rotated 30 degrees")
        << ellipsePoints({300, 200}, 80, 30, 30, spread) << 80.0 << 30.0 << QPointF(300, 200);
    QTest::newRow("A equals C: 45 degrees")
        << ellipsePoints({150, 150}, 90, 40, 45, spread) << 90.0 << 40.0 << QPointF(150, 150);
    QTest::newRow("through the origin")
        << ellipsePoints({60, 0}, 60, 20, 0, {M_PI, 0.5, 1.4, 2.0, 4.5}) << 60.0 << 20.0
        << QPointF(60, 0);
    QTest::newRow("clustered on one side")
        << ellipsePoints({500, 400}, 120, 70, -20, {0.0, 0.15, 0.3, 0.45, 0.6}) << 120.0 << 70.0
        << QPointF(500, 400);
}

void TstShapeFamilies::fivePointEllipse()
{
    QFETCH(QList<QPointF>, pts);
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(QPointF, centre);
    Ellipse5PointsItem item(nullptr);
    for (int k = 0; k < 5; ++k)
        item.setPointAt(pts[k], k + 1);
    ShapeGeometry::EllipseAxes axes;
    QVERIFY(item.ellipse(&axes));
    const double big = std::max(axes.p, axes.q), small = std::min(axes.p, axes.q);
    QVERIFY2(qAbs(big - a) < 0.05 && qAbs(small - b) < 0.05,
             qPrintable(QString("%1 %2").arg(axes.p).arg(axes.q)));
    QVERIFY(QLineF(axes.centre, centre).length() < 0.05);
    const QList<double> shown = numbers(label(item));
    QCOMPARE(shown.size(), 2);
    QVERIFY(qAbs(std::max(shown[0], shown[1]) - a) <= 0.051);
}

// Drags through a real view: a rectangle drawn backwards grabs the handle under the mouse, and a
// text resizes from its corner down to its limits or moves when held inside.
void TstShapeFamilies::dragsOnAView()
{
    QGraphicsScene scene(0, 0, 800, 600);
    QGraphicsView view(&scene);
    view.setFrameShape(QFrame::NoFrame);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.resize(800, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view, 60000));
    QWidget *vp = view.viewport();
    const auto moveAndRelease = [&](const QPointF &scenePos) {
        const QPoint to = view.mapFromScene(scenePos);
        QMouseEvent move(QEvent::MouseMove, to, vp->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
    };
    auto *rect = new RectItem(nullptr);
    scene.addItem(rect);
    rect->addPointF({200, 150}); // drawn from bottom-right to top-left
    rect->addPointF({100, 100});
    rect->setSelected(true);
    // Grab the right side's middle handle (handle 8 of the unnormalised rectangle: its left
    // side, at x = 200) and drag it to x = 260.
    QTest::mousePress(vp, Qt::LeftButton, {}, view.mapFromScene(200, 125));
    QCOMPARE(rect->hoverIndex(), 8);
    moveAndRelease({260, 130});
    QCOMPARE(rect->rectF(), QRectF(100, 100, 160, 50));
    QCOMPARE(label(*rect), QString("H: 50.0 (px)\nW: 160.0 (px)\n"));

    auto *text = new TextItem;
    scene.addItem(text);
    text->setPos(400, 300);
    const QPointF corner = text->mapToScene(text->textRect().bottomRight() + QPointF(2, 2));
    QTest::mousePress(vp, Qt::LeftButton, {}, view.mapFromScene(corner));
    QVERIFY(text->isResizing());
    QVERIFY(!(text->flags() & QGraphicsItem::ItemIsMovable));
    moveAndRelease(corner - QPointF(2000, 2000));
    QCOMPARE(text->textWidth(), 30.0);
    QVERIFY(text->font().pointSize() >= 1);
    QVERIFY(text->flags() & QGraphicsItem::ItemIsMovable);
    // A press inside, away from the corners, moves the item.
    const QPointF inside = text->mapToScene(text->textRect().center());
    const QPointF before = text->pos();
    QTest::mousePress(vp, Qt::LeftButton, {}, view.mapFromScene(inside));
    moveAndRelease(inside + QPointF(40, 30));
    QVERIFY(!text->isResizing());
    QCOMPARE(text->pos(), before + QPointF(40, 30));

    // A word longer than the box widens it instead of being cut in two.
    TextItem word;
    word.setPlainText(QStringLiteral("Measurements"));
    QCOMPARE(word.document()->begin().layout()->lineCount(), 1);
    QVERIFY(word.textRect().width() > word.textWidth());
}

void TstShapeFamilies::threePointRectangleAndEllipse_data()
{
    QTest::addColumn<QList<QPointF>>("pts");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::newRow("tilted") << QList<QPointF>{{0, 0}, {30, 40}, {-40, 30}} << 50.0 << 50.0;
    QTest::newRow("vertical side") << QList<QPointF>{{50, 0}, {50, 80}, {20, 10}} << 80.0 << 30.0;
    QTest::newRow("p2 on the line") << QList<QPointF>{{0, 0}, {100, 0}, {40, 0}} << 100.0 << 0.0;
    QTest::newRow("p0 = p1") << QList<QPointF>{{10, 10}, {10, 10}, {10, 50}} << 0.0 << 40.0;
}

void TstShapeFamilies::threePointRectangleAndEllipse()
{
    QFETCH(QList<QPointF>, pts);
    QFETCH(double, width);
    QFETCH(double, height);
    Rec3PointItem rect(nullptr);
    Ellipse3PointItem ellipse(nullptr);
    rect.setPointFixed(true);
    ellipse.setPointFixed(true);
    rect.addPointF(pts[0]);
    rect.addPointF(pts[1]);
    ellipse.addPointF(pts[0]);
    ellipse.addPointF(pts[1]);
    QCOMPARE(label(ellipse), QString("a: %1 (px)\n").arg(width / 2, 0, 'f', 1));
    QCOMPARE(label(rect), QString("W: %1 (px)\n").arg(width, 0, 'f', 1));
    rect.addPointF(pts[2]);
    ellipse.addPointF(pts[2]);
    QCOMPARE(label(rect),
             QString("H: %1 (px)\nW: %2 (px)\n").arg(height, 0, 'f', 1).arg(width, 0, 'f', 1));
    QCOMPARE(
        label(ellipse),
        QString("a: %1 (px)\nb: %2 (px)\n").arg(width / 2, 0, 'f', 1).arg(height / 2, 0, 'f', 1));
}

void TstShapeFamilies::angles_data()
{
    QTest::addColumn<QList<QPointF>>("pts");
    QTest::addColumn<QPointF>("labelAt");
    QTest::newRow("right angle one way")
        << QList<QPointF>{{200, 100}, {100, 100}, {100, 0}} << QPointF(100, 100);
    QTest::newRow("right angle other way")
        << QList<QPointF>{{100, 0}, {100, 100}, {200, 100}} << QPointF(100, 100);
    QTest::newRow("acute") << QList<QPointF>{{300, 120}, {10, 10}, {280, 200}} << QPointF(10, 10);
    QTest::newRow("nearly straight")
        << QList<QPointF>{{0, 0}, {100, 0.001}, {200, 0}} << QPointF(100, 0.001);
    QTest::newRow("two lines crossing") << QList<QPointF>{{0, 0}, {100, 100}, {0, 200}, {100, 150}}
                                        << QPointF(400.0 / 3, 400.0 / 3);
}

// The angle from the second arm to the first, counter-clockwise with y up: arms from the vertex
// for three points, the two lines' directions for four (labelled where they cross).
void TstShapeFamilies::angles()
{
    QFETCH(QList<QPointF>, pts);
    QFETCH(QPointF, labelAt);
    const bool three = pts.size() == 3;
    std::unique_ptr<GraphicsItemBase> angle(
        shape(three ? ShapeTypes::Angle3Point : ShapeTypes::Angle4Point, pts));
    const QPointF first = three ? pts[0] - pts[1] : pts[1] - pts[0];
    const QPointF second = three ? pts[2] - pts[1] : pts[3] - pts[2];
    const double expected = std::fmod(upAngle(first) - upAngle(second) + 360.0, 360.0);
    QVERIFY2(qAbs(label(*angle).toDouble() - expected) < 1e-3,
             qPrintable(label(*angle) + " vs " + QString::number(expected)));
    if (three) {
        // At the vertex, clear of both arms.
        const QRectF box = angle->labelItem()->mapRectToParent(angle->labelItem()->rect());
        QPainterPath arms;
        arms.moveTo(pts[0]);
        arms.lineTo(pts[1]);
        arms.lineTo(pts[2]);
        QVERIFY(QLineF(box.center(), labelAt).length() < box.width() + box.height());
        QVERIFY(!QPainterPathStroker().createStroke(arms).intersects(box));
    } else {
        QVERIFY(QLineF(angle->labelItem()->pos(), labelAt).length() < 1e-6);
        // Two separate lines with arms to their vertex: nothing joins the first line's end to
        // the second line's start.
        QVERIFY(angle->shape().contains((pts[1] + labelAt) / 2));
        QVERIFY(!angle->shape().contains((pts[1] + pts[2]) / 2));
    }
}

void TstShapeFamilies::parallelAngle()
{
    Angle4PointItem parallel(nullptr);
    for (const QPointF &p : {QPointF(0, 0), QPointF(100, 0), QPointF(0, 50), QPointF(100, 50)})
        parallel.addPointF(p);
    QCOMPARE(parallel.labelItem()->pos(), QPointF(100, 0)); // at p1: no vertex
    QVERIFY(label(parallel) == "0" || label(parallel) == "180");
    // No arms to a vertex: the bounds hold just the two segments.
    QVERIFY(parallel.boundingRect().height() < 80);
}

void TstShapeFamilies::parallelFourPoints()
{
    ParallelLine4Points item(nullptr);
    for (const QPointF &p : {QPointF(0, 0), QPointF(300, 100), QPointF(50, 150), QPointF(200, 10)})
        item.addPointF(p);
    // The fourth point was snapped onto the parallel through the third.
    const QPointF d = item.point(3) - item.point(2);
    QVERIFY(qAbs(d.x() * 100 - d.y() * 300) < 1e-6);
    // Distance of p2 from line 1 by the cross product.
    const double expected = std::abs(300 * 150 - 100 * 50) / std::hypot(300.0, 100.0);
    QCOMPARE(label(item), QString("L: %1 (px)").arg(expected, 0, 'f', 1));
    QVERIFY(qAbs(item.measurementSegment().length() - expected) < 1e-9);
    item.addPointF({400, 300}); // a fifth click replaces the fourth point
    QCOMPARE(item.points().size(), 4);
    QCOMPARE(item.point(2), QPointF(50, 150));
}

void TstShapeFamilies::parallelAny()
{
    ParallelLineAny any(nullptr);
    for (const QPointF &p : {QPointF(0, 0), QPointF(100, 0), QPointF(300, 30), QPointF(20, 75)})
        any.addPointF(p);
    QCOMPARE(any.measurementSegments().size(), 2);
    QCOMPARE(any.segmentLabel(0)->text(), QString("L: 30.0 (px)"));
    QCOMPARE(any.segmentLabel(1)->text(), QString("L: 45.0 (px)"));
    QVERIFY(any.boundingRect().contains(QPointF(300, 0))); // the dashed extension's end
}

void TstShapeFamilies::perpendiculars()
{
    Perpendicular3Points three(nullptr);
    for (const QPointF &p : {QPointF(0, 0), QPointF(100, 0), QPointF(160, 40)})
        three.addPointF(p);
    QCOMPARE(three.perpSegment(), QLineF(160, 40, 160, 0));
    QCOMPARE(label(three), QString("L: 40.0 (px)"));
    QVERIFY(three.boundingRect().contains(QPointF(130, 0))); // dashed extension to p1

    Perpendicular4Points four(nullptr);
    for (const QPointF &p : {QPointF(0, 0), QPointF(100, 0), QPointF(50, 20), QPointF(90, 70)})
        four.addPointF(p);
    QCOMPARE(four.perpSegment(), QLineF(50, 20, 50, 70));
    QCOMPARE(label(four), QString("L: 100.0 (px)"));
    QCOMPARE(four.secondLabel()->text(), QString("L: 50.0 (px)"));

    Perpendicular4Points onLine(nullptr); // p2 on the line: the normal gives the direction
    for (const QPointF &p : {QPointF(0, 0), QPointF(100, 0), QPointF(50, 0), QPointF(80, 30)})
        onLine.addPointF(p);
    QCOMPARE(onLine.secondLabel()->text(), QString("L: 30.0 (px)"));
}

static QStringList g_problems;
static void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtWarningMsg || type == QtCriticalMsg)
        g_problems << text;
}

void TstShapeFamilies::everyShapePaintsInsideItsBoundsWithFiniteLabels()
{
    // Each shape in a normal and a degenerate configuration, one per cell of a grid: a straight
    // line with guides (their length depends on the scene), an arrow too short to draw, ...
    namespace S = ShapeTypes;
    using P = QList<QPointF>;
    // clang-format off
    const QList<std::tuple<int, P, P>> cases = {
        {S::StraightLine, {{20, 20}, {120, 60}}, {{20, 20}, {20, 20}}},
        {S::Arrow, {{20, 100}, {140, 60}}, {{20, 100}, {20.4, 100.4}}},
        {S::Line3Point, {{100, 10}, {100, 200}, {160, 80}}, {{60, 60}, {60, 60}, {100, 120}}},
        {S::Circle2Point, {{20, 20}, {120, 90}}, {{20, 20}, {20, 20}}},
        {S::CircleCenterRadius, {{70, 60}, {110, 90}}, {{70, 60}, {70, 60}}},
        {S::DoubleCircle, {{40, 40}, {70, 40}, {120, 100}, {140, 100}}, {{40, 40}, {70, 40}, {40, 40}, {140, 100}}},
        {S::Arc, {{10, 100}, {70, 20}, {140, 90}}, {{10, 10}, {60, 60}, {110, 110}}},
        {S::Rect, {{130, 110}, {20, 20}}, {{130, 110}, {130, 110}}},
        {S::Ellipse, {{20, 20}, {140, 100}}, {{20, 20}, {20, 90}}},
        {S::Rec3Point, {{20, 60}, {100, 20}, {120, 100}}, {{60, 20}, {60, 20}, {100, 100}}},
        {S::Ellipse3Point, {{20, 60}, {100, 20}, {120, 100}}, {{70, 10}, {70, 120}, {70, 60}}},
        {S::Ellipse5Point, ellipsePoints({75, 60}, 60, 30, 25, {0.2, 1.5, 2.6, 3.7, 5.0}),
                           {{10, 10}, {30, 30}, {50, 50}, {70, 70}, {90, 90}}},
        {S::Polygon, {{20, 20}, {130, 40}, {90, 120}, {10, 90}}, {{50, 50}, {50, 50}}},
        {S::Angle3Point, {{130, 100}, {20, 100}, {80, 20}}, {{130, 100}, {20, 100}, {20, 100}}},
        {S::Angle4Point, {{10, 20}, {60, 60}, {10, 120}, {60, 90}}, {{10, 20}, {140, 20}, {10, 80}, {140, 80.0001}}},
        {S::Parallel4Points, {{10, 20}, {90, 20}, {100, 90}, {140, 100}}, {{50, 50}, {50, 50}, {80, 100}, {120, 100}}},
        {S::Parallel8Points, {{10, 10}, {60, 10}, {10, 30}, {60, 30}, {80, 90}, {140, 90}, {80, 110}, {140, 110}},
                             {{10, 10}, {60, 10}, {10, 30}, {60, 30}, {20, 80}, {20, 80}, {20, 80}, {20, 80}}},
        {S::ParallelAny, {{10, 20}, {60, 20}, {120, 60}, {30, 110}}, {{40, 40}, {40, 40}, {80, 80}}},
        {S::Perpendicular3Points, {{10, 20}, {60, 20}, {130, 100}}, {{10, 20}, {10, 20}, {130, 100}}},
        {S::Perpendicular4Points, {{10, 20}, {130, 20}, {70, 20}, {90, 110}}, {{10, 20}, {10, 20}, {70, 20}, {90, 110}}},
    };
    // clang-format on

    g_problems.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    // Two sheets for a person to look at: normal and degenerate input, each shape unselected
    // and selected side by side.
    const QSize cellSize(300, 230);
    QImage sheets[2] = {QImage(cellSize.width() * 6, cellSize.height() * 7, QImage::Format_RGB32),
                        QImage(cellSize.width() * 6, cellSize.height() * 7, QImage::Format_RGB32)};
    for (QImage &sheet : sheets)
        sheet.fill(QColor(235, 235, 225));
    int cell = 0;
    for (const auto &[type, normal, degenerated] : cases) {
        for (bool selected : {false, true}) {
            for (bool degenerate : {false, true}) {
                QGraphicsScene own(0, 0, 400, 300);
                GraphicsItemBase *item = shape(type, degenerate ? degenerated : normal);
                if (type == S::StraightLine)
                    static_cast<StraightLineItem *>(item)->setShowEndGuides(true);
                own.addItem(item);
                item->attribute()->textLabel.fontSize = 12;
                item->updateShape();
                item->setPos(20, 20);
                const QRect bound = item->sceneBoundingRect().toAlignedRect();
                QImage image(400, 300, QImage::Format_ARGB32);
                image.fill(Qt::transparent);
                QPainter painter(&image);
                QStyleOptionGraphicsItem option;
                if (selected)
                    option.state |= QStyle::State_Selected;
                painter.setTransform(item->sceneTransform());
                item->paint(&painter, &option, nullptr);
                painter.end();
                bool painted = false;
                for (int y = 0; y < image.height(); ++y) {
                    const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
                    for (int x = 0; x < image.width(); ++x) {
                        painted = painted || qAlpha(row[x]);
                        if (qAlpha(row[x]) && !bound.contains(x, y)) {
                            QString where;
                            QDebug(&where) << "type" << type << degenerate << QPoint(x, y) << bound;
                            QFAIL(qPrintable("paints outside its bounds: " + where));
                        }
                    }
                }
                QVERIFY2(painted || degenerate, qPrintable(QString::number(item->type())));
                const QList<QGraphicsItem *> children = item->childItems();
                for (QGraphicsItem *child : children)
                    if (auto *l = dynamic_cast<LabelItem *>(child))
                        QVERIFY2(!l->text().contains(QRegularExpression(
                                     "nan|inf|e-", QRegularExpression::CaseInsensitiveOption)),
                                 qPrintable(l->text()));
                item->setSelected(selected);
                QPainter sheetPainter(&sheets[degenerate]);
                sheetPainter.setRenderHint(QPainter::Antialiasing);
                const QRect target(
                    QPoint((cell % 6) * cellSize.width(), (cell / 6) * cellSize.height()),
                    cellSize);
                own.render(&sheetPainter, target, QRectF(QPointF(0, 0), QSizeF(cellSize)));
                sheetPainter.setPen(Qt::gray);
                sheetPainter.drawRect(target.adjusted(0, 0, -1, -1));
            }
            ++cell;
        }
    }
    qInstallMessageHandler(previous);
    QVERIFY2(g_problems.isEmpty(), qPrintable(g_problems.join('\n')));
    const QString dir = qEnvironmentVariable("QUORIX_RENDER_DIR");
    if (!dir.isEmpty()) {
        QVERIFY(sheets[0].save(dir + "/shapes_normal.png"));
        QVERIFY(sheets[1].save(dir + "/shapes_degenerate.png"));
    }
}

QObject *createShapeFamiliesTest()
{
    return new TstShapeFamilies;
}

#include "tst_shape_families.moc"
