// CircleCenterRadiusItem.cpp: centre-and-radius circles.
#include "shapes/CircleCenterRadiusItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"

#include <QCoreApplication>
#include <QLineF>
#include <QPainter>

CircleCenterRadiusItem::CircleCenterRadiusItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::CircleCenterRadius;
}

void CircleCenterRadiusItem::addPointF(const QPointF &p)
{
    QList<QPointF> &list = points();
    if (!m_centreSet) {
        placeLabel(p);
        list.clear();
        list.append(p);
        m_centreSet = true;
    } else if (list.size() <= 1) {
        list.append(p);
    } else {
        list[1] = p;
    }
    notifyChanged();
    updateShape();
}

double CircleCenterRadiusItem::radius() const
{
    const QList<QPointF> &list = points();
    return list.size() >= 2 ? QLineF(list.first(), list.last()).length() : 0.0;
}

GraphicsItemBase::Drawing CircleCenterRadiusItem::drawing() const
{
    Drawing d;
    const QList<QPointF> &list = points();
    if (list.size() >= 2 && radius() >= 0.5)
        d.solid.addEllipse(list.first(), radius(), radius());
    else if (!list.isEmpty())
        d.markers << list.first();
    return d;
}

void CircleCenterRadiusItem::updateLabel()
{
    if (points().isEmpty())
        return;
    const double r = radius();
    placeLabelBeside(QRectF(points().first(), QSizeF()).adjusted(-r, -r, r, r),
                     QCoreApplication::translate("CircleCenterRadiusItem", "半径") +
                         QStringLiteral(": %1").arg(formatLength(r)));
}

void CircleCenterRadiusItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                                   QWidget *)
{
    paintDrawing(painter, drawing(), false);
    const QList<QPointF> &list = points();
    if (isSelectedState(option) && !list.isEmpty()) {
        drawControlPoint(painter, list.first());
        if (list.size() >= 2)
            drawControlPoint(painter, list.last());
    }
}
