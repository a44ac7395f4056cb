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
    void updateShape() override;
    void updateLabel() override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
};
