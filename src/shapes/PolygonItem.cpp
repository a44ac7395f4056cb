// PolygonItem.cpp: polygons.
#include "shapes/PolygonItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeGeometry.h"
#include "shapes/ShapeTypes.h"

#include <QPainter>

PolygonItem::PolygonItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::Polygon;
}

void PolygonItem::addPointF(const QPointF &p)
{
    if (!m_label)
        createLabel(p);
    points().append(p);
    notifyChanged();
    updateShape();
}

GraphicsItemBase::Drawing PolygonItem::drawing() const
{
    Drawing d;
    const QList<QPointF> &list = points();
    if (list.size() == 1) {
        d.markers = list;
    } else if (list.size() == 2) {
        d.solid.moveTo(list[1]);
        d.solid.lineTo(list[0]);
        d.markers = list;
    } else if (list.size() >= 3) {
        d.solid.addPolygon(QPolygonF(list.toVector()));
        d.solid.closeSubpath();
        d.solid.setFillRule(Qt::OddEvenFill);
    }
    return d;
}

void PolygonItem::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.size() < 2)
        return;
    placeLabel(list[0]);
    // The perimeter: the polygon is drawn closed, so its closing edge counts.
    m_label->setText(
        QStringLiteral("L: %1").arg(formatLength(ShapeGeometry::polygonPerimeter(list))));
}
