// Ellipse5PointsItem.h: the general ellipse through five points, by a conic fit.
#pragma once

#include "shapes/Line3PointItem.h"
#include "shapes/ShapeGeometry.h"

// The canvas places the points with setPointAt(p, 1..5); further points are ignored. Five
// points that fit no ellipse (a hyperbola, a parabola, collinear points) draw only their points
// and label themselves as not measurable. GUI thread.
class Ellipse5PointsItem : public Line3PointItem
{
public:
    explicit Ellipse5PointsItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    // The fitted ellipse; false with fewer than five points or no ellipse through them.
    bool ellipse(ShapeGeometry::EllipseAxes *axes) const;

    void updateLabel() override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    QPainterPath drawnPath() const override;
};
