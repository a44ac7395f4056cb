// PerpendicularItems.h: the perpendicular from a point to a line (three points), and a
// perpendicular of chosen length standing on a line (four points).
#pragma once

#include "shapes/GraphicsItemBase.h"

#include <QLineF>

// p0-p1: the line; p2: the point. GUI thread.
class Perpendicular3Points : public GraphicsItemBase
{
public:
    explicit Perpendicular3Points(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    void addPointF(const QPointF &p) override;
    QLineF perpSegment() const { return m_perpSegment; }

    void updateShape() override;
    void updateLabel() override;

protected:
    // Points beyond which the last one follows the pointer.
    virtual int pointCount() const { return 3; }
    virtual void computeSegment();
    Drawing drawing() const override;

    QLineF m_perpSegment;
    bool m_hasSegment = false;
};

// p0-p1: the line; p2: the start of the perpendicular; p3: sets its length. Shows the line's
// length at p0 and the perpendicular's at p2. GUI thread.
class Perpendicular4Points : public Perpendicular3Points
{
public:
    explicit Perpendicular4Points(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    void addPointF(const QPointF &p) override;
    void updateLabel() override;
    LabelItem *secondLabel() const { return m_secondLabel; }

protected:
    int pointCount() const override { return 4; }
    void computeSegment() override;

private:
    LabelItem *m_secondLabel = nullptr;
};
