// ParallelLine4Points.h: the distance between two parallel lines, given by four or eight points.
#pragma once

#include "shapes/GraphicsItemBase.h"

#include <QLineF>

// p0-p1: line 1; p2: a point of line 2; p3: its second point, kept on the parallel through p2.
// The measurement segment runs from line 1 perpendicularly to line 2's first point. GUI thread.
class ParallelLine4Points : public GraphicsItemBase
{
public:
    explicit ParallelLine4Points(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    // Appends `p`; once all points exist the last one follows the pointer.
    void addPointF(const QPointF &p) override;
    QLineF measurementSegment() const { return m_measure; }

    void updateShape() override;
    void updateLabel() override;

protected:
    virtual int pointCount() const { return 4; }
    // The two measured lines once every point exists.
    virtual bool measuredLines(QLineF *line1, QLineF *line2) const;
    // What is drawn before every point exists.
    virtual Drawing partialDrawing() const;
    // Keeps the fourth point on the parallel through the third.
    virtual void snapPoints();
    Drawing drawing() const override;

    QLineF m_measure; // from line 1 to line 2, valid when m_measurable
    bool m_measurable = false;
};

// Line 1 through the midpoints of (p0, p2) and (p1, p3), line 2 through those of (p4, p6) and
// (p5, p7). GUI thread.
class ParallelLine8Points : public ParallelLine4Points
{
public:
    explicit ParallelLine8Points(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

protected:
    int pointCount() const override { return 8; }
    bool measuredLines(QLineF *line1, QLineF *line2) const override;
    Drawing partialDrawing() const override;
    void snapPoints() override {}
};
