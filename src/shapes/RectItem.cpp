// RectItem.cpp: two-corner rectangles.
#include "shapes/RectItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"

#include <QCursor>
#include <QDebug>
#include <QGraphicsSceneMouseEvent>
#include <QLineF>
#include <QPainter>

RectItem::RectItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : GraphicsItemBase(std::move(data), parent)
{
    m_toolType = ShapeTypes::Rect;
}

QRectF RectItem::rectF() const
{
    const QList<QPointF> &list = points();
    if (list.isEmpty()) {
        qWarning().noquote() << "RectItem::rectF"
                             << ", " << __LINE__ << ": No Data for Rect!";
        return QRectF();
    }
    if (list.size() == 1)
        return QRectF(list[0], QSizeF(0, 0));
    return QRectF(list[0], list[1]);
}

void RectItem::addPointF(const QPointF &p)
{
    if (!m_label)
        createLabel(p);
    QList<QPointF> &list = points();
    if (list.size() < 2)
        list.append(p);
    else
        list[1] = p;
    notifyChanged();
    updateShape();
}

void RectItem::setRect(const QRectF &rect)
{
    if (!m_label)
        createLabel(rect.topLeft());
    points() = {rect.topLeft(), rect.bottomRight()};
    notifyChanged();
}

QPointF RectItem::handlePoint(int k) const
{
    const QRectF r = rectF();
    switch (k) {
    case 1:
        return r.topLeft();
    case 2:
        return QPointF(r.center().x(), r.top());
    case 3:
        return r.topRight();
    case 4:
        return QPointF(r.right(), r.center().y());
    case 5:
        return r.bottomRight();
    case 6:
        return QPointF(r.center().x(), r.bottom());
    case 7:
        return r.bottomLeft();
    default:
        return QPointF(r.left(), r.center().y());
    }
}

void RectItem::updateHoverState(const QPointF &pos)
{
    if (!isSelected() || points().isEmpty())
        return;
    const Attribute::Ptr attr = attribute();
    const double r = attr ? attr->controlPoint.radius : 0.0;
    static const Qt::CursorShape cursors[] = {Qt::SizeFDiagCursor, Qt::SizeVerCursor,
                                              Qt::SizeBDiagCursor, Qt::SizeHorCursor};
    for (int k = 1; k <= 8; ++k) {
        if (QLineF(handlePoint(k), pos).length() <= r) {
            m_hoverIndex = k;
            setCursor(cursors[(k - 1) % 4]);
            return;
        }
    }
    m_hoverIndex = 0;
    setCursor(Qt::SizeAllCursor);
}

void RectItem::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    GraphicsItemBase::mousePressEvent(event);
    if (m_hoverIndex > 0 && !points().isEmpty())
        m_pressRect = rectF();
}

void RectItem::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    const bool left = event->buttons() & Qt::LeftButton;
    if (m_hoverIndex >= 1 && m_hoverIndex <= 8 && left && points().size() >= 2) {
        // The grabbed corner or side follows the pointer; the opposite one stays where it was
        // at the press, so crossing over keeps working.
        const QRectF r = m_pressRect;
        const QPointF p = event->pos();
        QPointF moving, fixed;
        switch (m_hoverIndex) {
        case 1:
            moving = p, fixed = r.bottomRight();
            break;
        case 2:
            moving = QPointF(r.left(), p.y()), fixed = r.bottomRight();
            break;
        case 3:
            moving = p, fixed = r.bottomLeft();
            break;
        case 4:
            moving = QPointF(p.x(), r.bottom()), fixed = r.topLeft();
            break;
        case 5:
            moving = p, fixed = r.topLeft();
            break;
        case 6:
            moving = QPointF(r.right(), p.y()), fixed = r.topLeft();
            break;
        case 7:
            moving = p, fixed = r.topRight();
            break;
        default:
            moving = QPointF(p.x(), r.top()), fixed = r.bottomRight();
            break;
        }
        setRect(TwoPointMaxMin(moving, fixed).rect());
        updateShape();
        event->accept();
    } else if (m_hoverIndex <= 0) {
        QGraphicsItem::mouseMoveEvent(event);
    } else {
        event->accept();
    }
    if (isSelected() && left)
        notifyChanged();
}

QPainterPath RectItem::outline() const
{
    QPainterPath path;
    path.addRect(rectF().normalized());
    return path;
}

GraphicsItemBase::Drawing RectItem::drawing() const
{
    Drawing d;
    if (points().size() < 2)
        return d;
    const QRectF r = rectF().normalized();
    // Both corners on one spot would draw nothing: show where the shape is.
    if (r.width() < 0.5 && r.height() < 0.5)
        d.markers << r.center();
    else
        d.solid = outline();
    return d;
}

void RectItem::updateLabel()
{
    if (points().isEmpty())
        return;
    const QRectF r = rectF();
    // Sizes are magnitudes: a rectangle drawn towards the top left is not negative in size.
    placeLabelBeside(r, QStringLiteral("H: %1\nW: %2\n")
                            .arg(formatLength(qAbs(r.height())), formatLength(qAbs(r.width()))));
}

QList<QPointF> RectItem::scenePoints() const
{
    QList<QPointF> result;
    if (points().isEmpty())
        return result;
    for (int k = 1; k <= 8; ++k)
        result.append(mapToScene(handlePoint(k)));
    return result;
}

void RectItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    if (points().size() < 2)
        return;
    paintDrawing(painter, drawing(), false);
    if (isSelectedState(option)) {
        for (int k = 1; k <= 8; ++k)
            drawControlPoint(painter, handlePoint(k));
    }
}
