// ParallelLineAny.h: a base line and any number of parallels, each measured against the one
// before it.
#pragma once

#include "shapes/GraphicsItemBase.h"

#include <QLineF>
#include <QVector>

class LabelItem;

// p0-p1: the base line; every further point: one more parallel through it. GUI thread.
class ParallelLineAny : public GraphicsItemBase
{
public:
    explicit ParallelLineAny(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    void addPointF(const QPointF &p) override;
    // One per point after the base line: from the point to its foot on the previous line.
    QVector<QLineF> measurementSegments() const { return m_segments; }
    // The label of segment i (the shape's own label for the first).
    LabelItem *segmentLabel(int i) const;

    void updateShape() override;
    void updateLabel() override;

private:
    Drawing drawing() const override;

    QVector<QLineF> m_segments;
    QVector<QLineF> m_parallels; // the drawn parallel through each further point
    QList<LabelItem *> m_extraLabels;
    bool m_measurable = true;
};
