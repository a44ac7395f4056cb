// CircleCenterRadiusItem.h: a circle given by its centre and a point on it; shows the radius.
#pragma once

#include "shapes/GraphicsItemBase.h"

// GUI thread.
class CircleCenterRadiusItem : public GraphicsItemBase
{
public:
    explicit CircleCenterRadiusItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    // The first click sets the centre (restarting the circle); later ones the edge point.
    void addPointF(const QPointF &p) override;
    void updateLabel() override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    Drawing drawing() const override;
    double radius() const;

    bool m_centreSet = false;
};
