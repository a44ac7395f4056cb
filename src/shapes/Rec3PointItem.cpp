// Rec3PointItem.cpp: three-point rectangles and three-point ellipses.
#include "shapes/Rec3PointItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"

#include <QLineF>
#include <QPainter>

#include <cmath>

Rec3PointItem::Rec3PointItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : Line3PointItem(std::move(data), parent)
{
    m_toolType = ShapeTypes::Rec3Point;
}

double Rec3PointItem::sideDistance(const QPointF &p0, const QPointF &p1, const QPointF &p2)
{
    const QPointF d = p1 - p0;
    const double length = std::hypot(d.x(), d.y());
    if (length <= 1e-12)
        return QLineF(p0, p2).length();
    const QPointF v = p2 - p0;
    return std::abs(d.x() * v.y() - d.y() * v.x()) / length;
}

QPainterPath Rec3PointItem::drawnPath() const
{
    const QList<QPointF> &list = points();
    if (list.size() != 3)
        return Line3PointItem::drawnPath();
    QPointF a, b;
    dimensionCorners(list[0], list[1], list[2], &a, &b);
    const auto trunc = [](const QPointF &p) { return QPointF(int(p.x()), int(p.y())); };
    QPainterPath path;
    path.moveTo(trunc(list[0]));
    path.lineTo(trunc(list[1]));
    path.lineTo(trunc(b));
    path.lineTo(trunc(a));
    path.closeSubpath();
    return path;
}

void Rec3PointItem::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.size() < 2)
        return;
    placeLabel(list[0]);
    const QString width = formatLength(QLineF(list[0], list[1]).length());
    if (list.size() >= 3) {
        m_label->setText(QStringLiteral("H: %1\nW: %2\n")
                             .arg(formatLength(sideDistance(list[0], list[1], list[2])), width));
    } else {
        m_label->setText(QStringLiteral("W: %1\n").arg(width));
    }
}

void Rec3PointItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    Drawing d;
    d.solid = drawnPath();
    paintDrawing(painter, d, isSelectedState(option));
}

Ellipse3PointItem::Ellipse3PointItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : Line3PointItem(std::move(data), parent)
{
    m_toolType = ShapeTypes::Ellipse3Point;
}

void Ellipse3PointItem::rectangleAndEllipse(QPolygonF *rectangle, QPainterPath *ellipse) const
{
    const QList<QPointF> &list = points();
    QPointF a, b;
    dimensionCorners(list[0], list[1], list[2], &a, &b);
    *rectangle = QPolygonF({list[0], list[1], b, a, list[0]});
    const QPointF centre = (list[0] + list[1] + a + b) / 4.0;
    const double length = QLineF(list[0], list[1]).length();
    const double height = QLineF(list[0], a).length();
    // Without a first side the ellipse collapses onto the segment towards p2.
    const QPointF axis =
        length > 1e-12 ? list[1] - list[0] : QPointF(-(a - list[0]).y(), (a - list[0]).x());
    QTransform transform;
    transform.translate(centre.x(), centre.y());
    transform.rotateRadians(std::atan2(axis.y(), axis.x()));
    QPainterPath local;
    local.addEllipse(QPointF(0, 0), length / 2.0, height / 2.0);
    *ellipse = transform.map(local);
}

QPainterPath Ellipse3PointItem::drawnPath() const
{
    if (points().size() != 3)
        return Line3PointItem::drawnPath();
    QPolygonF rectangle;
    QPainterPath ellipse;
    rectangleAndEllipse(&rectangle, &ellipse);
    ellipse.addPolygon(rectangle);
    return ellipse;
}

void Ellipse3PointItem::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.size() < 2)
        return;
    placeLabel(list[0]);
    const QString a = formatLength(QLineF(list[0], list[1]).length() / 2.0);
    if (list.size() >= 3) {
        const double b = Rec3PointItem::sideDistance(list[0], list[1], list[2]) / 2.0;
        m_label->setText(QStringLiteral("a: %1\nb: %2\n").arg(a, formatLength(b)));
    } else {
        m_label->setText(QStringLiteral("a: %1\n").arg(a));
    }
}

void Ellipse3PointItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    const bool selected = isSelectedState(option);
    Drawing d;
    if (points().size() == 3) {
        QPolygonF rectangle;
        rectangleAndEllipse(&rectangle, &d.solid);
        if (selected) {
            QPainterPath frame;
            frame.addPolygon(rectangle);
            d.dashed = frame;
        }
    } else {
        d.solid = Line3PointItem::drawnPath();
    }
    paintDrawing(painter, d, selected);
}
