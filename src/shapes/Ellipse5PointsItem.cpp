// Ellipse5PointsItem.cpp: five-point ellipses.
#include "shapes/Ellipse5PointsItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"

#include <QPainter>

Ellipse5PointsItem::Ellipse5PointsItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : Line3PointItem(std::move(data), parent)
{
    m_toolType = ShapeTypes::Ellipse5Point;
}

bool Ellipse5PointsItem::ellipse(ShapeGeometry::EllipseAxes *axes) const
{
    return points().size() >= 5 && ShapeGeometry::ellipseThrough(points(), axes);
}

QPainterPath Ellipse5PointsItem::drawnPath() const
{
    QPainterPath path;
    ShapeGeometry::EllipseAxes axes;
    if (!ellipse(&axes))
        return path;
    QTransform transform;
    transform.translate(axes.centre.x(), axes.centre.y());
    transform.rotateRadians(axes.angle);
    QPainterPath local;
    local.addEllipse(QPointF(0, 0), axes.p, axes.q);
    return transform.map(local);
}

void Ellipse5PointsItem::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.size() < 5)
        return;
    placeLabel(list[0]);
    ShapeGeometry::EllipseAxes axes;
    if (ellipse(&axes)) {
        m_label->setText(
            QStringLiteral("a: %1\nb: %2\n").arg(formatLength(axes.p), formatLength(axes.q)));
    } else {
        m_label->setText(notMeasurableText());
    }
}

void Ellipse5PointsItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    Drawing d;
    d.solid = drawnPath();
    // Until the ellipse exists the placed points are what the user sees of it.
    const bool handles = isSelectedState(option) || d.solid.isEmpty();
    paintDrawing(painter, d, handles);
}
