// PerpendicularItems.cpp: three- and four-point perpendiculars.
#include "shapes/PerpendicularItems.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeGeometry.h"
#include "shapes/ShapeTypes.h"

#include <QDebug>
#include <QPainter>

#include <cmath>

Perpendicular3Points::Perpendicular3Points(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::Perpendicular3Points;
}

void Perpendicular3Points::addPointF(const QPointF &p)
{
    QList<QPointF> &list = points();
    qDebug().noquote().nospace() << "Perpendicular3Points::addPointF, " << __LINE__
                                 << ", points().size(): " << list.size();
    if (list.size() > 2)
        list.removeLast();
    list.append(p);
    qDebug().noquote().nospace() << "Perpendicular3Points::addPointF, " << __LINE__
                                 << ", points().size(): " << list.size();
    notifyChanged();
    updateShape();
}

void Perpendicular3Points::computeSegment()
{
    const QList<QPointF> &list = points();
    m_hasSegment = list.size() >= 3;
    if (m_hasSegment)
        m_perpSegment =
            QLineF(list[2], ShapeGeometry::perpendicularFoot(list[2], list[0], list[1]));
}

GraphicsItemBase::Drawing Perpendicular3Points::drawing() const
{
    Drawing d = firstLineDrawing();
    const QList<QPointF> &list = points();
    if (m_hasSegment) {
        d.solid.moveTo(m_perpSegment.p1());
        d.solid.lineTo(m_perpSegment.p2());
        const QPointF dir = list[1] - list[0];
        if (QPointF::dotProduct(dir, dir) >= 1e-10) {
            double t = 0.0;
            const QPointF foot = ShapeGeometry::perpendicularFoot(list[2], list[0], list[1], &t);
            if (t < 0.0 || t > 1.0) {
                d.dashed.moveTo(foot);
                d.dashed.lineTo(t < 0.0 ? list[0] : list[1]);
            }
        }
    }
    return d;
}

void Perpendicular3Points::updateShape()
{
    if (points().isEmpty())
        return;
    computeSegment();
    setGeometryFromDrawing(drawing());
    updateLabel();
}

void Perpendicular3Points::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.size() < 3)
        return;
    placeLabel(list[2]);
    m_label->setText(QStringLiteral("L: %1").arg(formatLength(m_perpSegment.length())));
}

Perpendicular4Points::Perpendicular4Points(LineDataBase::Ptr data, QGraphicsItem *parent)
    : Perpendicular3Points(std::move(data), parent)
{
    m_toolType = ShapeTypes::Perpendicular4Points;
}

void Perpendicular4Points::addPointF(const QPointF &p)
{
    QList<QPointF> &list = points();
    if (list.size() > 3)
        list.removeLast();
    list.append(p);
    notifyChanged();
    updateShape();
}

void Perpendicular4Points::computeSegment()
{
    Perpendicular3Points::computeSegment();
    const QList<QPointF> &list = points();
    if (list.size() < 4)
        return;
    // The perpendicular's direction: from p2 to its foot; when p2 lies on the line, the line's
    // normal; without a line either, straight towards p3.
    const QPointF start = list[2];
    QPointF dir = m_perpSegment.p2() - start;
    if (std::hypot(dir.x(), dir.y()) < 1e-9) {
        const QPointF along = list[1] - list[0];
        dir = QPointF(-along.y(), along.x());
    }
    if (std::hypot(dir.x(), dir.y()) < 1e-9) {
        m_perpSegment = QLineF(start, list[3]);
        return;
    }
    m_perpSegment = QLineF(start, ShapeGeometry::perpendicularFoot(list[3], start, start + dir));
}

void Perpendicular4Points::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.size() >= 2) {
        placeLabel(list[0]);
        m_label->setText(
            QStringLiteral("L: %1").arg(formatLength(QLineF(list[0], list[1]).length())));
    }
    if (list.size() >= 4) {
        if (!m_secondLabel)
            m_secondLabel = createExtraLabel(list[2]);
        m_secondLabel->setPos(list[2]);
        m_secondLabel->setText(QStringLiteral("L: %1").arg(formatLength(m_perpSegment.length())));
    }
}
