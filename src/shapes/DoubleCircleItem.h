// DoubleCircleItem.h: two centre-and-radius circles; shows the distance between the centres.
#pragma once

#include "shapes/GraphicsItemBase.h"

// Points: centre 1, edge 1, centre 2, edge 2. GUI thread.
class DoubleCircleItem : public GraphicsItemBase
{
public:
    explicit DoubleCircleItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    void setFirstCircle(const QPointF &centre, const QPointF &edge);
    // Needs the first circle.
    void setSecondCircle(const QPointF &centre, const QPointF &edge);
    QPointF centre1() const { return point(0); }
    QPointF edge1() const { return point(1); }
    QPointF centre2() const { return point(2); }
    QPointF edge2() const { return point(3); }

    void updateLabel() override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    Drawing drawing() const override;
};
