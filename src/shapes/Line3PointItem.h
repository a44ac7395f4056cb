// Line3PointItem.h: a dimension line: two measured points and a third that places the bracket.
#pragma once

#include "shapes/GraphicsItemBase.h"

// Base of the three-point family (three-point rectangle and ellipses). GUI thread.
class Line3PointItem : public GraphicsItemBase
{
public:
    explicit Line3PointItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    void setPointFixed(bool fixed) override { m_pointFixed = fixed; }
    bool pointFixed() const { return m_pointFixed; }
    // Sets point k (counted from 1): appended when exactly k-1 points exist, replaced when it
    // exists, otherwise nothing.
    void setPointAt(const QPointF &p, int k);
    // The second point follows the pointer until the first two are fixed; then the third.
    void addPointF(const QPointF &p) override;

    // The points that the drawing file stores for this shape.
    virtual QList<QPointF> line3PointF() const { return points(); }

    // The bracket corners A (beside p0) and B (beside p1): p0 and p1 moved by the distance of
    // p2 from the line p0-p1, towards p2. For a vertical line the normal is used directly; when
    // p0 and p1 coincide there is no direction and both corners are p2.
    static void dimensionCorners(const QPointF &p0, const QPointF &p1, const QPointF &p2,
                                 QPointF *a, QPointF *b);

    void updateShape() override;
    void updateLabel() override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    // What paint() draws for the current points, as a path in item coordinates.
    virtual QPainterPath drawnPath() const;

    bool m_pointFixed = false;
};
