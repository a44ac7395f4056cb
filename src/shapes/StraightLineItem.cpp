// StraightLineItem.cpp: straight lines, arrows and scale bars.
#include "shapes/StraightLineItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"

#include <QCursor>
#include <QDebug>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QLineF>
#include <QPainter>

#include <algorithm>
#include <cmath>

StraightLineItem::StraightLineItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::StraightLine;
}

void StraightLineItem::addPointF(const QPointF &p, int index)
{
    if (!dynamic_cast<BrokenLineDataItem *>(m_data.get())) {
        qDebug().noquote() << "StraightLineItem::addPointF"
                           << ", " << __LINE__;
        return;
    }
    QList<QPointF> &list = points();
    if (index == -1) {
        if (list.size() >= 2)
            list.removeLast();
        list.append(p);
    } else if (index >= 0 && index < list.size()) {
        list[index] = p;
    } else if (index == list.size()) {
        list.append(p);
    } else {
        return;
    }
    if (!m_label)
        createLabel(p);
    notifyChanged();
    updateShape();
}

void StraightLineItem::setShowEndGuides(bool show)
{
    m_showEndGuides = show;
    updateShape();
}

void StraightLineItem::updateHoverState(const QPointF &pos)
{
    const Attribute::Ptr attr = attribute();
    const double r = attr ? attr->controlPoint.radius : 0.0;
    const QList<QPointF> &list = points();
    if (isSelected()) {
        for (int i = 0; i < std::min<int>(2, list.size()); ++i) {
            if (QLineF(list[i], pos).length() <= r) {
                m_hoverIndex = i + 1;
                setCursor(Qt::SizeFDiagCursor);
                return;
            }
        }
    }
    m_hoverIndex = 0;
    setCursor(isSelected() ? Qt::SizeAllCursor : Qt::ArrowCursor);
}

void StraightLineItem::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    const bool left = event->buttons() & Qt::LeftButton;
    if (m_hoverIndex == 1 && left)
        addPointF(event->pos(), 0);
    else if (m_hoverIndex == 2 && left && points().size() >= 2)
        addPointF(event->pos(), 1);
    else if (m_hoverIndex <= 0)
        QGraphicsItem::mouseMoveEvent(event);
    else
        event->accept();
    if (isSelected() && left)
        notifyChanged();
}

double StraightLineItem::guideHalfLength() const
{
    if (!scene())
        return 0.0;
    const QRectF rect = scene()->sceneRect();
    return std::min(rect.width(), rect.height()) / 2.0;
}

void StraightLineItem::updateShape()
{
    const QList<QPointF> &list = points();
    if (list.size() < 2)
        return;
    const QPointF p0 = list[0];
    const QPointF p1 = list[1];
    const Attribute::Ptr attr = attribute();
    const double r = attr ? attr->controlPoint.radius : 0.0;
    QRectF bound = TwoPointMaxMin(p0, p1).rect();
    if (m_showEndGuides) {
        // The guides reach out along the normal; their ends belong to the painted area.
        const double h = guideHalfLength();
        const QLineF line(p0, p1);
        if (line.length() > 0) {
            const QPointF n(-line.dy() / line.length(), line.dx() / line.length());
            for (const QPointF &p : {p0, p1}) {
                bound |= TwoPointMaxMin(p - h * n, p + h * n).rect();
            }
        }
    }
    // 7 covers the scale bar's ticks (5 above and below plus half its 3-unit pen).
    const double margin = std::max({r, paintMargin(), 7.0});
    bound.adjust(-margin, -margin, margin, margin);

    QPainterPath path;
    addSegmentOutline(path, p0, p1);
    addPointCircle(path, p0, r);
    addPointCircle(path, p1, r);
    setGeometry(bound, path);
    updateLabel();
}

void StraightLineItem::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.isEmpty())
        return;
    if (!m_label)
        createLabel(list[0]);
    const QPointF p1 = list.size() >= 2 ? list[1] : list[0];
    m_label->setText(QStringLiteral("L: %1").arg(formatLength(QLineF(list[0], p1).length())));
    // The text runs right and down from the midpoint, clear of a line that rises to the right;
    // one that falls to the right would cross it there, so the text stands above the midpoint.
    const QPointF d = p1 - list[0];
    const QPointF mid = (list[0] + p1) / 2.0;
    m_label->setPos(d.x() * d.y() > 0 ? mid - QPointF(0, m_label->rect().height()) : mid);
}

void StraightLineItem::paintEndGuides(QPainter *painter) const
{
    const QList<QPointF> &list = points();
    const QLineF line(list[0], list[1]);
    const double length = line.length();
    if (!(length > 0))
        return;
    const double h = guideHalfLength();
    const QPointF n(-line.dy() / length, line.dx() / length);
    painter->save();
    painter->setClipping(false);
    QPen shadow(QColor(0, 0, 0, 120), 3, Qt::DashLine);
    QPen red(QColor(255, 0, 0, 200), 1, Qt::DashLine);
    for (const QPen &pen : {shadow, red}) {
        painter->setPen(pen);
        painter->drawLine(QLineF(list[0] - h * n, list[0] + h * n));
        painter->drawLine(QLineF(list[1] - h * n, list[1] + h * n));
    }
    painter->restore();
}

void StraightLineItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    const QList<QPointF> &list = points();
    if (list.size() < 2)
        return;
    painter->setRenderHint(QPainter::Antialiasing, true);
    applyPen(painter);
    painter->drawLine(QLineF(list[0], list[1]));
    if (isSelectedState(option)) {
        drawControlPoint(painter, list[0]);
        drawControlPoint(painter, list[1]);
    }
    if (m_showEndGuides)
        paintEndGuides(painter);
}

ArrowItem::ArrowItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : StraightLineItem(std::move(data), parent)
{
    m_toolType = ShapeTypes::Arrow;
}

QPolygonF ArrowItem::arrowPolygon(const QPointF &p0, const QPointF &p1)
{
    const QPointF d = p1 - p0;
    const double length = std::hypot(d.x(), d.y());
    if (length < 1.0)
        return {};
    const QPointF u = d / length;
    const QPointF b = p1 - 25.0 * u;
    const QPointF side(u.y(), -u.x());
    const QPointF l1 = b + 10.0 * side;
    const QPointF r1 = b - 10.0 * side;
    const QPointF lm = (l1 + b) / 2.0;
    const QPointF rm = (r1 + b) / 2.0;
    return QPolygonF({p1, r1, rm, p0, lm, l1, p1});
}

void ArrowItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    const QList<QPointF> &list = points();
    if (list.size() < 2)
        return;
    painter->setRenderHint(QPainter::Antialiasing, true);
    applyPen(painter);
    const QPolygonF polygon = arrowPolygon(list[0], list[1]);
    if (!polygon.isEmpty()) {
        const QColor color = painter->pen().color();
        painter->save();
        painter->setPen(Qt::NoPen);
        painter->setBrush(color);
        painter->drawPolygon(polygon, Qt::OddEvenFill);
        painter->restore();
    }
    if (isSelectedState(option)) {
        drawControlPoint(painter, list[0]);
        drawControlPoint(painter, list[1]);
    }
}

ScaleItem::ScaleItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : StraightLineItem(std::move(data), parent)
{
    m_toolType = ShapeTypes::Scale;
}

void ScaleItem::placeAt(const QPointF &p)
{
    QList<QPointF> &list = points();
    list = {p, p + QPointF(100, 0)};
    placeLabel(p);
    notifyChanged();
    updateShape();
}

void ScaleItem::setScaleLength(int pixels)
{
    m_scaleLength = pixels;
    updateLabel();
}

void ScaleItem::updateHoverState(const QPointF &)
{
    m_hoverIndex = 0;
    setCursor(isSelected() ? Qt::SizeAllCursor : Qt::ArrowCursor);
}

void ScaleItem::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    QGraphicsItem::mouseMoveEvent(event);
    if (isSelected())
        notifyChanged();
}

void ScaleItem::updateLabel()
{
    if (!m_label) {
        if (points().isEmpty())
            return;
        createLabel(points().first());
    }
    m_label->setText(QStringLiteral("L: %1").arg(formatLength(m_scaleLength)));
}

void ScaleItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    const QList<QPointF> &list = points();
    if (list.size() < 2)
        return;
    painter->setRenderHint(QPainter::Antialiasing, true);
    applyPen(painter);
    painter->setPen(QPen(painter->pen().color(), 3.0));
    painter->drawLine(QLineF(list[0], list[1]));
    for (const QPointF &p : {list[0], list[1]})
        painter->drawLine(QLineF(p.x(), p.y() - 5, p.x(), p.y() + 5));
}
