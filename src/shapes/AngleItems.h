// AngleItems.h: the angle at a vertex (three points) and between two lines (four points).
#pragma once

#include "shapes/BrokenLineItem.h"

// p0: end of arm 1, p1: vertex, p2: end of arm 2. GUI thread.
class Angle3PointItem : public BrokenLineItem
{
public:
    explicit Angle3PointItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);
    void addPointF(const QPointF &p) override;
    void updateLabel() override;
};

// p0-p1: line 1, p2-p3: line 2; the arms are drawn to their intersection. GUI thread.
class Angle4PointItem : public BrokenLineItem
{
public:
    explicit Angle4PointItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);
    void addPointF(const QPointF &p) override;
    void updateLabel() override;
    // The two lines and their arms to the vertex, not the polyline through all four points.
    void updateShape() override { GraphicsItemBase::updateShape(); }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override
    {
        GraphicsItemBase::paint(painter, option, widget);
    }

private:
    Drawing drawing() const override;
    // The lines' intersection when it lies near enough to be drawn to; else false.
    bool vertex(QPointF *at) const;
};

namespace AngleText {
// The angle from `from` to `to` in degrees, counter-clockwise, 0 <= a < 360; false when either
// line has no length.
bool degrees(const QLineF &from, const QLineF &to, double *angle);
// An angle as a bare number with six significant digits, never in exponent form.
QString format(double angle);
// The angle from `from` to `to` as text; "not measurable" when either line has no length.
QString angleBetween(const QLineF &from, const QLineF &to);
} // namespace AngleText
