// Circle2PointItem.h: a circle given by the two ends of a diameter; shows the diameter.
#pragma once

#include "shapes/GraphicsItemBase.h"

// GUI thread.
class Circle2PointItem : public GraphicsItemBase
{
public:
    explicit Circle2PointItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    // Appends `p`, replacing the second point once there are two.
    void addPointF(const QPointF &p) override;
    void updateLabel() override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    Drawing drawing() const override;
};
