// ParallelLine4Points.cpp: parallel-line distances by four and eight points.
#include "shapes/ParallelLine4Points.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeGeometry.h"
#include "shapes/ShapeTypes.h"

#include <QPainter>

namespace {

// A dashed piece from a measurement end to the nearer end of its line when the end lies beyond.
void addExtension(QPainterPath &dashed, const QPointF &end, const QLineF &line)
{
    const QPointF d = line.p2() - line.p1();
    if (QPointF::dotProduct(d, d) < 1e-10)
        return;
    double t = 0.0;
    ShapeGeometry::perpendicularFoot(end, line.p1(), line.p2(), &t);
    if (t < 0.0 || t > 1.0) {
        dashed.moveTo(end);
        dashed.lineTo(t < 0.0 ? line.p1() : line.p2());
    }
}

} // namespace

ParallelLine4Points::ParallelLine4Points(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::Parallel4Points;
}

void ParallelLine4Points::addPointF(const QPointF &p)
{
    QList<QPointF> &list = points();
    if (!m_label)
        createLabel(p);
    if (list.size() > pointCount() - 1)
        list.removeLast();
    list.append(p);
    notifyChanged();
    updateShape();
}

bool ParallelLine4Points::measuredLines(QLineF *line1, QLineF *line2) const
{
    const QList<QPointF> &list = points();
    if (list.size() < 4)
        return false;
    *line1 = QLineF(list[0], list[1]);
    *line2 = QLineF(list[2], list[3]);
    return true;
}

void ParallelLine4Points::snapPoints()
{
    QList<QPointF> &list = points();
    if (list.size() < 4)
        return;
    const QPointF d = list[1] - list[0];
    const double len2 = QPointF::dotProduct(d, d);
    if (len2 < 1e-10)
        return;
    const double t = QPointF::dotProduct(list[3] - list[2], d) / len2;
    list[3] = list[2] + t * d;
}

GraphicsItemBase::Drawing ParallelLine4Points::partialDrawing() const
{
    Drawing d = firstLineDrawing();
    const QList<QPointF> &list = points();
    if (list.size() == 3)
        d.markers << list[2];
    return d;
}

GraphicsItemBase::Drawing ParallelLine4Points::drawing() const
{
    QLineF line1, line2;
    if (!measuredLines(&line1, &line2))
        return partialDrawing();
    Drawing d;
    d.solid.moveTo(line1.p1());
    d.solid.lineTo(line1.p2());
    d.solid.moveTo(line2.p1());
    d.solid.lineTo(line2.p2());
    if (m_measurable) {
        d.dashed.moveTo(m_measure.p1());
        d.dashed.lineTo(m_measure.p2());
        addExtension(d.dashed, m_measure.p1(), line1);
        addExtension(d.dashed, m_measure.p2(), line2);
    }
    return d;
}

void ParallelLine4Points::updateShape()
{
    if (points().isEmpty())
        return;
    snapPoints();
    QLineF line1, line2;
    m_measurable =
        measuredLines(&line1, &line2) && line1.length() >= ShapeGeometry::kMinReferenceLength;
    if (m_measurable) {
        const QPointF foot = ShapeGeometry::perpendicularFoot(line2.p1(), line1.p1(), line1.p2());
        m_measure = QLineF(foot, line2.p1());
    }
    setGeometryFromDrawing(drawing());
    updateLabel();
}

void ParallelLine4Points::updateLabel()
{
    QLineF line1, line2;
    if (!m_label || !measuredLines(&line1, &line2))
        return;
    if (!m_measurable) {
        m_label->setPos(line1.p1());
        m_label->setText(notMeasurableText());
        return;
    }
    m_label->setPos(m_measure.center() - QPointF(0, 20));
    m_label->setText(QStringLiteral("L: %1").arg(formatLength(m_measure.length())));
}

ParallelLine8Points::ParallelLine8Points(LineDataBase::Ptr data, QGraphicsItem *parent)
    : ParallelLine4Points(std::move(data), parent)
{
    m_toolType = ShapeTypes::Parallel8Points;
}

bool ParallelLine8Points::measuredLines(QLineF *line1, QLineF *line2) const
{
    const QList<QPointF> &p = points();
    if (p.size() < 8)
        return false;
    *line1 = QLineF((p[0] + p[2]) / 2.0, (p[1] + p[3]) / 2.0);
    *line2 = QLineF((p[4] + p[6]) / 2.0, (p[5] + p[7]) / 2.0);
    return true;
}

GraphicsItemBase::Drawing ParallelLine8Points::partialDrawing() const
{
    // The placed points, and the first mid-line once its four points exist.
    Drawing d;
    const QList<QPointF> &p = points();
    d.markers = p;
    if (p.size() >= 4) {
        d.solid.moveTo((p[0] + p[2]) / 2.0);
        d.solid.lineTo((p[1] + p[3]) / 2.0);
    }
    return d;
}
