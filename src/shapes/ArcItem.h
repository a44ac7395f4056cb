// ArcItem.h: the arc through three points; shows the arc length.
#pragma once

#include "shapes/GraphicsItemBase.h"

// Points: start, a point on the arc, end. Three collinear points (or two that coincide) have no
// circle: the arc is then the straight path through them, measured as such. GUI thread.
class ArcItem : public GraphicsItemBase
{
public:
    explicit ArcItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    // Appends `p`; the third point follows the pointer.
    void addPointF(const QPointF &p) override;

    // Valid after updateShape() with three points.
    bool isCircular() const { return m_circular; }
    QPointF centre() const { return m_centre; }
    double radius() const { return m_radius; }
    double sweep() const { return m_sweep; }
    // The measured length: the arc, or the chord of a flat arc (the middle point on the segment
    // between the ends); false when the points measure nothing (fewer than three, or collinear
    // with the middle point outside the ends).
    bool arcLength(double *length) const;

    void updateShape() override;
    void updateLabel() override;

private:
    void computeCircle();
    Drawing drawing() const override;

    bool m_circular = false;
    QPointF m_centre;
    double m_radius = 0.0;
    double m_startAngle = 0.0;
    double m_midAngle = 0.0;
    double m_endAngle = 0.0;
    double m_sweep = 0.0;
};
