// ParallelLineAny.cpp: chains of parallel lines.
#include "shapes/ParallelLineAny.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeGeometry.h"
#include "shapes/ShapeTypes.h"

#include <QPainter>

ParallelLineAny::ParallelLineAny(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::ParallelAny;
}

void ParallelLineAny::addPointF(const QPointF &p)
{
    points().append(p);
    notifyChanged();
    updateShape();
}

LabelItem *ParallelLineAny::segmentLabel(int i) const
{
    if (i == 0)
        return m_label;
    return (i > 0 && i <= m_extraLabels.size()) ? m_extraLabels[i - 1] : nullptr;
}

GraphicsItemBase::Drawing ParallelLineAny::drawing() const
{
    Drawing d = firstLineDrawing();
    const QList<QPointF> &list = points();
    if (list.size() < 2)
        return d;
    QLineF reference(list[0], list[1]);
    for (int i = 0; i < m_parallels.size(); ++i) {
        d.solid.moveTo(m_parallels[i].p1());
        d.solid.lineTo(m_parallels[i].p2());
        const QLineF &segment = m_segments[i];
        d.dashed.moveTo(segment.p1());
        d.dashed.lineTo(segment.p2());
        const QPointF dir = reference.p2() - reference.p1();
        if (QPointF::dotProduct(dir, dir) >= 1e-10) {
            double t = 0.0;
            ShapeGeometry::perpendicularFoot(segment.p1(), reference.p1(), reference.p2(), &t);
            if (t < 0.0 || t > 1.0) {
                d.dashed.moveTo(t < 0.0 ? reference.p1() : reference.p2());
                d.dashed.lineTo(segment.p2());
            }
        }
        reference = m_parallels[i];
    }
    return d;
}

void ParallelLineAny::updateShape()
{
    const QList<QPointF> &list = points();
    if (list.isEmpty())
        return;
    m_segments.clear();
    m_parallels.clear();
    m_measurable = true;
    if (list.size() >= 2) {
        QPointF a = list[0], b = list[1];
        m_measurable = QLineF(a, b).length() >= ShapeGeometry::kMinReferenceLength;
        for (int i = 2; i < list.size(); ++i) {
            const QPointF q = list[i];
            const QPointF foot = ShapeGeometry::perpendicularFoot(q, a, b);
            m_segments << QLineF(q, foot);
            QLineF parallel;
            if (a.x() == b.x()) {
                const double half = QLineF(a, b).length() / 2.0;
                parallel = QLineF(int(q.x()), int(q.y() - half), int(q.x()), int(q.y() + half));
            } else {
                const QPointF h = (b - a) / 2.0;
                parallel = QLineF(float(q.x() - h.x()), float(q.y() - h.y()), float(q.x() + h.x()),
                                  float(q.y() + h.y()));
            }
            m_parallels << parallel;
            a = parallel.p1();
            b = parallel.p2();
        }
    }
    setGeometryFromDrawing(drawing());
    updateLabel();
}

void ParallelLineAny::updateLabel()
{
    // One label per measurement segment; surplus labels (after points were removed) go away.
    while (m_extraLabels.size() > std::max(0, m_segments.size() - 1))
        delete m_extraLabels.takeLast();
    for (int i = 0; i < m_segments.size(); ++i) {
        LabelItem *label = segmentLabel(i);
        if (!label) {
            if (i == 0) {
                label = createLabel(m_segments[0].center());
            } else {
                label = createExtraLabel(m_segments[i].center());
                m_extraLabels << label;
            }
        }
        label->setPos(m_segments[i].center());
        label->setText(m_measurable
                           ? QStringLiteral("L: %1").arg(formatLength(m_segments[i].length()))
                           : notMeasurableText());
    }
}
