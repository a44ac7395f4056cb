// BrokenLineItem.h: a polyline of any number of points with its total length.
#pragma once

#include "shapes/GraphicsItemBase.h"

// Base of the angle shapes. GUI thread.
class BrokenLineItem : public GraphicsItemBase
{
public:
    explicit BrokenLineItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    // Appends `p`.
    void addPointF(const QPointF &p) override;
    void updateHoverState(const QPointF &pos) override { hoverOverPoints(pos); }
    void updateShape() override;
    void updateLabel() override;
    QList<QPointF> scenePoints() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
};
