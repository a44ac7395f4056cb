// DoubleCircleItem.cpp: double circles.
#include "shapes/DoubleCircleItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"

#include <QLineF>
#include <QPainter>

DoubleCircleItem::DoubleCircleItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::DoubleCircle;
}

void DoubleCircleItem::setFirstCircle(const QPointF &centre, const QPointF &edge)
{
    if (!m_label)
        createLabel(centre);
    QList<QPointF> &list = points();
    if (list.size() > 2) {
        list[0] = centre;
        list[1] = edge;
    } else {
        list = {centre, edge};
    }
    notifyChanged();
    updateShape();
}

void DoubleCircleItem::setSecondCircle(const QPointF &centre, const QPointF &edge)
{
    QList<QPointF> &list = points();
    if (list.size() < 2)
        return;
    if (!m_label)
        createLabel(centre);
    if (list.size() >= 4) {
        list[2] = centre;
        list[3] = edge;
    } else if (list.size() == 3) {
        list[2] = centre;
        list.append(edge);
    } else {
        list << centre << edge;
    }
    notifyChanged();
    updateShape();
}

GraphicsItemBase::Drawing DoubleCircleItem::drawing() const
{
    Drawing d;
    const QList<QPointF> &list = points();
    if (list.size() == 1)
        d.markers << list[0];
    if (list.size() >= 2) {
        const double r1 = QLineF(list[0], list[1]).length();
        d.solid.addEllipse(list[0], r1, r1);
    }
    if (list.size() >= 3) {
        d.solid.moveTo(list[0]);
        d.solid.lineTo(list[2]);
    }
    if (list.size() == 3)
        d.markers << list[2];
    if (list.size() >= 4) {
        const double r2 = QLineF(list[2], list[3]).length();
        d.solid.addEllipse(list[2], r2, r2);
    }
    return d;
}

void DoubleCircleItem::updateLabel()
{
    if (m_destroying || points().size() < 4)
        return;
    if (!m_label)
        createLabel(centre1());
    m_label->setPos((centre1() + centre2()) / 2.0);
    m_label->setText(formatLength(QLineF(centre1(), centre2()).length()));
}

void DoubleCircleItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    paintDrawing(painter, drawing(), isSelectedState(option) && points().size() >= 4);
}
