// BrokenLineItem.cpp: polylines.
#include "shapes/BrokenLineItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"

#include <QPainter>

#include <algorithm>

BrokenLineItem::BrokenLineItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::BrokenLine;
}

void BrokenLineItem::addPointF(const QPointF &p)
{
    QList<QPointF> &list = points();
    if (!m_label)
        createLabel(list.isEmpty() ? p : list.first());
    list.append(p);
    notifyChanged();
    updateShape();
}

void BrokenLineItem::updateShape()
{
    const QList<QPointF> &list = points();
    if (list.isEmpty())
        return;
    const Attribute::Ptr attr = attribute();
    const double r = attr ? attr->controlPoint.radius : 0.0;
    QPolygonF polygon(list.toVector());
    QRectF bound = polygon.boundingRect();
    const double margin = std::max({r, paintMargin(), kMinHitHalfWidth});
    bound.adjust(-margin, -margin, margin, margin);
    QPainterPath path;
    for (int i = 1; i < list.size(); ++i)
        addSegmentOutline(path, list[i - 1], list[i]);
    for (const QPointF &p : list)
        addPointCircle(path, p, r);
    setGeometry(bound, path);
    updateLabel();
}

void BrokenLineItem::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.isEmpty())
        return;
    placeLabel(list.first());
    m_label->setText(QStringLiteral("L: %1").arg(formatLength(m_data->length())));
}

void BrokenLineItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    const QList<QPointF> &list = points();
    if (list.size() < 2)
        return;
    painter->setRenderHint(QPainter::Antialiasing, true);
    applyPen(painter);
    for (int i = 1; i < list.size(); ++i)
        painter->drawLine(QLineF(list[i - 1], list[i]));
    if (isSelectedState(option)) {
        for (const QPointF &p : list)
            drawControlPoint(painter, p);
    }
}
