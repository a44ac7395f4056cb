// Line3PointItem.cpp: dimension lines.
#include "shapes/Line3PointItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"

#include <QPainter>

#include <cmath>

Line3PointItem::Line3PointItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::Line3Point;
}

void Line3PointItem::setPointAt(const QPointF &p, int k)
{
    QList<QPointF> &list = points();
    if (!m_label)
        createLabel(list.isEmpty() ? p : list.first());
    if (k < 1)
        return;
    if (list.size() < k) {
        if (list.size() != k - 1)
            return;
        list.append(p);
    } else {
        list[k - 1] = p;
    }
    notifyChanged();
    updateShape();
}

void Line3PointItem::addPointF(const QPointF &p)
{
    const int n = points().size();
    if (n < 2)
        setPointAt(p, n + 1);
    else if (n == 2)
        setPointAt(p, m_pointFixed ? 3 : 2);
    else if (m_pointFixed)
        setPointAt(p, 3);
    updateShape();
}

void Line3PointItem::dimensionCorners(const QPointF &p0, const QPointF &p1, const QPointF &p2,
                                      QPointF *a, QPointF *b)
{
    const float x0 = float(p0.x()), y0 = float(p0.y());
    const float x1 = float(p1.x()), y1 = float(p1.y());
    const float x2 = float(p2.x()), y2 = float(p2.y());
    const float dx = x1 - x0;
    const float dy = y1 - y0;
    const float length = std::sqrt(dx * dx + dy * dy);
    QPointF offset;
    if (std::abs(dx) > 1e-5f) {
        // Slope form: distance of p2 from y = kx + c, laid off on p2's side.
        const float k = dy / dx;
        const float c = y0 - k * x0;
        const float d = std::abs(k * x2 - y2 + c) / std::sqrt(k * k + 1);
        const float s = y2 - k * x2 - c;
        const float ox = std::abs(d * dy / length);
        const float oy = std::abs(d * dx / length);
        const bool xPlus = (k > 0 && s <= 0) || (k <= 0 && s > 0);
        offset = QPointF(xPlus ? ox : -ox, s > 0 ? oy : -oy);
    } else if (length > 1e-5f) {
        // (Nearly) vertical: the slope is unbounded, so use the unit normal instead.
        const float nx = -dy / length;
        const float ny = dx / length;
        const float d = (x2 - x0) * nx + (y2 - y0) * ny;
        offset = QPointF(d * nx, d * ny);
    } else {
        // No direction to measure along: both corners sit on the third point.
        *a = p2;
        *b = p2;
        return;
    }
    *a = p0 + offset;
    *b = p1 + offset;
}

QPainterPath Line3PointItem::drawnPath() const
{
    const QList<QPointF> &list = points();
    QPainterPath path;
    if (list.size() == 3) {
        QPointF a, b;
        dimensionCorners(list[0], list[1], list[2], &a, &b);
        const auto trunc = [](const QPointF &p) { return QPointF(int(p.x()), int(p.y())); };
        path.moveTo(trunc(list[0]));
        path.lineTo(trunc(a));
        path.lineTo(trunc(b));
        path.lineTo(trunc(list[1]));
    } else if (list.size() == 2) {
        path.moveTo(list[0]);
        path.lineTo(list[1]);
    }
    return path;
}

void Line3PointItem::updateShape()
{
    if (points().isEmpty())
        return;
    Drawing drawing;
    drawing.solid = drawnPath();
    setGeometryFromDrawing(drawing);
    updateLabel();
}

void Line3PointItem::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.isEmpty())
        return;
    placeLabel(list.first());
    const double length = list.size() >= 2 ? QLineF(list[0], list[1]).length() : 0.0;
    m_label->setText(QStringLiteral("L: %1").arg(formatLength(length)));
}

void Line3PointItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    const QList<QPointF> &list = points();
    if (list.isEmpty())
        return;
    painter->setRenderHint(QPainter::Antialiasing, true);
    applyPen(painter);
    const bool selected = isSelectedState(option);
    if (list.size() <= 2) {
        painter->drawPath(drawnPath());
        // While being drawn, the placed points are always visible.
        for (const QPointF &p : list)
            drawControlPoint(painter, p);
        return;
    }
    painter->drawPath(drawnPath());
    if (selected) {
        for (const QPointF &p : list)
            drawControlPoint(painter, p);
    }
}
