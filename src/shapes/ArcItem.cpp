// ArcItem.cpp: three-point arcs.
#include "shapes/ArcItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeGeometry.h"
#include "shapes/ShapeTypes.h"

#include <QLineF>
#include <QPainter>

#include <cmath>

ArcItem::ArcItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::Arc;
}

void ArcItem::addPointF(const QPointF &p)
{
    QList<QPointF> &list = points();
    if (list.isEmpty() && !m_label)
        createLabel(p);
    if (list.size() > 2)
        list.removeLast();
    list.append(p);
    notifyChanged();
    updateShape();
}

void ArcItem::computeCircle()
{
    const QList<QPointF> &list = points();
    m_circular = list.size() >= 3 &&
                 ShapeGeometry::circleThrough(list[0], list[1], list[2], &m_centre, &m_radius);
    if (!m_circular) {
        m_radius = 0.0;
        m_sweep = 0.0;
        return;
    }
    m_startAngle = ShapeGeometry::screenAngle(m_centre, list[0]);
    m_midAngle = ShapeGeometry::screenAngle(m_centre, list[1]);
    m_endAngle = ShapeGeometry::screenAngle(m_centre, list[2]);
    m_sweep = ShapeGeometry::arcSweep(m_startAngle, m_midAngle, m_endAngle);
}

bool ArcItem::arcLength(double *length) const
{
    const QList<QPointF> &list = points();
    if (list.size() < 3)
        return false;
    if (m_circular) {
        *length = 2.0 * M_PI * m_radius * std::abs(m_sweep) / 360.0;
        return true;
    }
    return ShapeGeometry::flatArcLength(list[0], list[1], list[2], length);
}

GraphicsItemBase::Drawing ArcItem::drawing() const
{
    Drawing d;
    const QList<QPointF> &list = points();
    if (list.size() < 3) {
        d.markers = list;
        return d;
    }
    if (m_circular) {
        const QRectF square(m_centre.x() - m_radius, m_centre.y() - m_radius, 2 * m_radius,
                            2 * m_radius);
        // Screen angles grow clockwise, Qt's arc angles counter-clockwise.
        d.solid.arcMoveTo(square, -m_startAngle);
        d.solid.arcTo(square, -m_startAngle, -m_sweep);
    } else {
        d.solid.moveTo(list[0]);
        d.solid.lineTo(list[1]);
        d.solid.lineTo(list[2]);
    }
    return d;
}

void ArcItem::updateShape()
{
    if (points().isEmpty())
        return;
    computeCircle();
    setGeometryFromDrawing(drawing());
    updateLabel();
}

void ArcItem::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.size() < 3) {
        if (m_label)
            m_label->setText(QStringLiteral("L: %1").arg(formatLength(0.0)));
        return;
    }
    placeLabel(list[0]);
    double length = 0.0;
    m_label->setText(arcLength(&length) ? QStringLiteral("L: %1").arg(formatLength(length))
                                        : notMeasurableText());
}
