// Circle2PointItem.cpp: two-point circles.
#include "shapes/Circle2PointItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLineF>
#include <QPainter>

Circle2PointItem::Circle2PointItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::Circle2Point;
}

void Circle2PointItem::addPointF(const QPointF &p)
{
    if (!dynamic_cast<BrokenLineDataItem *>(m_data.get())) {
        qDebug().noquote() << "Circle2PointItem::addPointF"
                           << ", " << __LINE__;
        return;
    }
    if (!m_label)
        createLabel(p);
    QList<QPointF> &list = points();
    if (list.size() >= 2)
        list.removeLast();
    list.append(p);
    notifyChanged();
    updateShape();
}

GraphicsItemBase::Drawing Circle2PointItem::drawing() const
{
    Drawing d;
    const QList<QPointF> &list = points();
    if (list.size() >= 2) {
        const QPointF centre = (list[0] + list[1]) / 2.0;
        const double r = QLineF(list[0], list[1]).length() / 2.0;
        // A circle of radius 0 would be invisible: show where it is.
        if (r < 0.5)
            d.markers << centre;
        else
            d.solid.addEllipse(centre, r, r);
    } else if (list.size() == 1) {
        d.markers << list[0];
    }
    return d;
}

void Circle2PointItem::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.isEmpty())
        return;
    const double diameter = list.size() >= 2 ? QLineF(list[0], list[1]).length() : 0.0;
    const QPointF centre = (list.first() + list.last()) / 2.0;
    const double r = diameter / 2;
    placeLabelBeside(QRectF(centre, QSizeF()).adjusted(-r, -r, r, r),
                     QCoreApplication::translate("Circle2PointItem", "直径") +
                         QStringLiteral(": %1").arg(formatLength(diameter)));
}

void Circle2PointItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    const QList<QPointF> &list = points();
    const bool selected = isSelectedState(option);
    paintDrawing(painter, drawing(), false);
    if (selected && list.size() >= 2) {
        drawControlPoint(painter, list[0]);
        drawControlPoint(painter, (list[0] + list[1]) / 2.0);
        drawControlPoint(painter, list[1]);
    }
}
