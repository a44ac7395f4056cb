// GraphicsItemBase.cpp: shared behaviour of the measurement shapes.
#include "shapes/GraphicsItemBase.h"

#include "calibration/CalibrationData.h"
#include "shapes/CalibrationSource.h"
#include "shapes/GraphicsItemLifetimeManager.h"
#include "shapes/LabelItem.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGraphicsScene>
#include <QGraphicsSceneHoverEvent>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QLineF>
#include <QPainter>
#include <QPainterPathStroker>
#include <QStyleOptionGraphicsItem>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <limits>

GraphicsItemBase::TwoPointMaxMin::TwoPointMaxMin(const QPointF &a, const QPointF &b)
    : maxX(std::max(a.x(), b.x()))
    , minX(std::min(a.x(), b.x()))
    , maxY(std::max(a.y(), b.y()))
    , minY(std::min(a.y(), b.y()))
{}

GraphicsItemBase::GraphicsItemBase(LineDataBase::Ptr data, QGraphicsItem *parent)
    : QGraphicsItem(parent)
    , m_data(data ? std::move(data) : std::make_shared<BrokenLineDataItem>())
{
    m_pointData = dynamic_cast<BrokenLineDataItem *>(m_data.get());
    setFlags(ItemIsMovable | ItemIsSelectable);
    setAcceptHoverEvents(true);
    m_registered = GraphicsItemLifetimeManager::instance()->registerItem(this);
}

GraphicsItemBase::~GraphicsItemBase()
{
    m_destroying = true;
    if (m_registered) {
        auto *manager = GraphicsItemLifetimeManager::instance();
        emit manager->itemAboutToBeDeleted(this);
        manager->unregisterItem(this);
        m_registered = false;
        emit manager->itemDeleted(this);
    }
    m_changeCallback = nullptr;
    m_data.reset();
    m_pointData = nullptr;
    m_shapePath = QPainterPath();
}

void GraphicsItemBase::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    paintDrawing(painter, drawing(), isSelectedState(option));
}

void GraphicsItemBase::updateShape()
{
    if (points().isEmpty())
        return;
    setGeometryFromDrawing(drawing());
    updateLabel();
}

QList<QPointF> GraphicsItemBase::scenePoints() const
{
    QList<QPointF> result;
    for (const QPointF &p : points())
        result.append(mapToScene(p));
    return result;
}

GraphicsItemBase::Drawing GraphicsItemBase::firstLineDrawing() const
{
    Drawing d;
    const QList<QPointF> &list = points();
    if (list.size() < 2) {
        d.markers = list;
        return d;
    }
    d.solid.moveTo(list[0]);
    d.solid.lineTo(list[1]);
    return d;
}

Attribute::Ptr GraphicsItemBase::attribute() const
{
    return m_data ? m_data->attribute : nullptr;
}

QList<QPointF> &GraphicsItemBase::points()
{
    return m_pointData ? m_pointData->points : m_noPoints;
}

const QList<QPointF> &GraphicsItemBase::points() const
{
    return m_pointData ? m_pointData->points : m_noPoints;
}

QPointF GraphicsItemBase::point(int i) const
{
    const QList<QPointF> &list = points();
    return (i >= 0 && i < list.size()) ? list[i] : QPointF();
}

LabelItem *GraphicsItemBase::createLabel(const QPointF &pos)
{
    m_label = createExtraLabel(pos);
    return m_label;
}

void GraphicsItemBase::placeLabel(const QPointF &pos)
{
    if (!m_label)
        createLabel(pos);
    m_label->setPos(pos);
}

void GraphicsItemBase::placeLabelBeside(const QRectF &box, const QString &text)
{
    const QRectF r = box.normalized();
    if (!m_label)
        createLabel(r.topLeft());
    m_label->setText(text); // first: the side depends on the text's width
    const Attribute::Ptr attr = attribute();
    const double gap = attr ? attr->controlPoint.radius + attr->controlPoint.borderWidth : 0.0;
    const double width = m_label->rect().width();
    const auto *source = dynamic_cast<const CalibrationSource *>(scene());
    const QRectF picture = source ? mapRectFromScene(source->pictureRect()) : QRectF();
    const bool leftSide = !picture.isEmpty() && r.right() + gap + width > picture.right() &&
                          r.left() - gap - width >= picture.left();
    m_label->setPos(leftSide ? r.left() - gap - width : r.right() + gap, r.top());
}

LabelItem *GraphicsItemBase::createExtraLabel(const QPointF &pos)
{
    auto *label = new LabelItem(this);
    // Behind its shape, so that a label lying over a control point never steals the press.
    label->setFlags(ItemIsMovable | ItemIsSelectable | ItemStacksBehindParent |
                    ItemSendsGeometryChanges);
    label->setAttribute(attribute());
    label->setPos(pos);
    label->setZValue(-1);
    return label;
}

void GraphicsItemBase::movePoint(const QPointF &pos, int index)
{
    QList<QPointF> &list = points();
    if (list.isEmpty())
        return;
    if (index == -1)
        index = list.size() - 1;
    if (index < 0 || index >= list.size())
        return;
    list[index] = pos;
    notifyChanged();
    updateShape();
}

bool GraphicsItemBase::isAlive() const
{
    return m_registered && !m_destroying;
}

bool GraphicsItemBase::isAliveInScene() const
{
    return isAlive() && scene() != nullptr;
}

void GraphicsItemBase::dragTo(const QPointF &scenePos)
{
    m_pressedButton = 1;
    QGraphicsSceneMouseEvent event(QEvent::GraphicsSceneMouseMove);
    event.setScenePos(scenePos);
    event.setPos(mapFromScene(scenePos));
    event.setLastScenePos(scenePos);
    event.setLastPos(event.pos());
    event.setButton(Qt::LeftButton);
    event.setButtons(Qt::LeftButton);
    event.setButtonDownScenePos(Qt::LeftButton, scenePos);
    event.setButtonDownPos(Qt::LeftButton, event.pos());
    mouseMoveEvent(&event);
}

QString GraphicsItemBase::formatLength(double pixels) const
{
    const auto *source = dynamic_cast<const CalibrationSource *>(scene());
    const CalibrationData *calibration = source ? source->calibrationData() : nullptr;
    if (calibration && calibration->isCalibrated() &&
        calibration->currentUnit() != QLatin1String("px")) {
        return QStringLiteral("%1 (%2)")
            .arg(calibration->convertPixelLength(pixels), 0, 'f', 2)
            .arg(calibration->currentUnit());
    }
    return QStringLiteral("%1 (px)").arg(pixels, 0, 'f', 1);
}

void GraphicsItemBase::applyPen(QPainter *painter) const
{
    const Attribute::Ptr attr = attribute();
    if (!attr)
        return;
    QPen pen(QBrush(attr->imgElement.color), double(attr->imgElement.width), Qt::SolidLine,
             Qt::SquareCap, Qt::BevelJoin);
    pen.setStyle(Attribute::penStyle(attr->imgElement.lineStyle));
    painter->setPen(pen);
}

void GraphicsItemBase::drawControlPoint(QPainter *painter, const QPointF &p) const
{
    const Attribute::Ptr attr = attribute();
    if (!attr)
        return;
    const double r = attr->controlPoint.radius;
    painter->save();
    painter->setPen(QPen(attr->controlPoint.borderColor, attr->controlPoint.borderWidth));
    painter->setBrush(QBrush(attr->controlPoint.color));
    painter->drawEllipse(QRectF(p.x() - r, p.y() - r, 2 * r, 2 * r));
    painter->restore();
}

namespace {

// Twice the signed area of a closed polygon: its sign says which way it turns.
double turning(const QPolygonF &polygon)
{
    double twice = 0.0;
    for (int i = 0; i + 1 < polygon.size(); ++i)
        twice += polygon[i].x() * polygon[i + 1].y() - polygon[i + 1].x() * polygon[i].y();
    return twice;
}

// Adds a piece of a hit area turning the way Qt's ellipse outlines turn, under the winding rule:
// overlapping pieces (joints, the circles at the ends) add up instead of cancelling out and
// leaving holes the pointer falls through, with no costly path union per piece.
void addHitPolygon(QPainterPath &path, QPolygonF polygon)
{
    static const bool ellipsePositive = [] {
        QPainterPath ellipse;
        ellipse.addEllipse(QPointF(), 1.0, 1.0);
        return turning(ellipse.toFillPolygon()) > 0;
    }();
    if ((turning(polygon) > 0) != ellipsePositive)
        std::reverse(polygon.begin(), polygon.end());
    path.setFillRule(Qt::WindingFill);
    path.addPolygon(polygon);
    path.closeSubpath();
}

} // namespace

void GraphicsItemBase::addSegmentOutline(QPainterPath &path, QPointF a, QPointF b) const
{
    const Attribute::Ptr attr = attribute();
    if (!attr)
        return;
    // Half a thin line's width is no area at all (a one-pixel line had none): the pointer gets
    // the same reach as on the shapes outlined from their drawing.
    const double half = std::max(attr->imgElement.width / 2.0, kMinHitHalfWidth);
    const int r = attr->controlPoint.radius;
    if (isSelected()) {
        // Leave the control-point circles free so that a press there grabs the point.
        const int h = r / 2;
        if (std::abs(a.x() - b.x()) > r) {
            QPointF &lo = a.x() < b.x() ? a : b;
            QPointF &hi = a.x() < b.x() ? b : a;
            lo.rx() += h;
            hi.rx() -= h;
        }
        if (std::abs(a.y() - b.y()) > r) {
            QPointF &lo = a.y() < b.y() ? a : b;
            QPointF &hi = a.y() < b.y() ? b : a;
            lo.ry() += h;
            hi.ry() -= h;
        }
    }
    if (qFuzzyCompare(a.x(), b.x()) || qFuzzyCompare(a.y(), b.y())) {
        // Vertical or horizontal: a plain rectangle.
        addHitPolygon(path,
                      QPolygonF(TwoPointMaxMin(a, b).rect().adjusted(-half, -half, half, half)));
        return;
    }
    const double angle = std::atan2(b.y() - a.y(), b.x() - a.x()) * 180.0 / M_PI;
    const double rad = qDegreesToRadians(angle + 90.0);
    const QPointF offset(std::cos(rad) * half, std::sin(rad) * half);
    QPolygonF polygon;
    polygon << a + offset << b + offset << b - offset << a - offset << a + offset;
    addHitPolygon(path, polygon);
}

void GraphicsItemBase::addPointCircle(QPainterPath &path, const QPointF &p, double r)
{
    path.setFillRule(Qt::WindingFill);
    path.addEllipse(p, r, r);
}

void GraphicsItemBase::hoverOverPoints(const QPointF &pos)
{
    if (!isSelected())
        return;
    const Attribute::Ptr attr = attribute();
    const double r = attr ? attr->controlPoint.radius : 0.0;
    const QList<QPointF> &list = points();
    for (int i = 0; i < list.size(); ++i) {
        if (QLineF(list[i], pos).length() <= r) {
            m_hoverIndex = i + 1;
            setCursor(Qt::SizeFDiagCursor);
            return;
        }
    }
    m_hoverIndex = 0;
    setCursor(Qt::SizeAllCursor);
}

void GraphicsItemBase::notifyChanged()
{
    if (m_changeCallback)
        m_changeCallback(this);
}

void GraphicsItemBase::setGeometry(const QRectF &boundRect, const QPainterPath &shapePath)
{
    if (boundRect != m_boundRect)
        prepareGeometryChange();
    m_boundRect = boundRect;
    m_shapePath = shapePath;
    update();
}

double GraphicsItemBase::paintMargin() const
{
    const Attribute::Ptr attr = attribute();
    if (!attr)
        return 1.0;
    return std::max(attr->controlPoint.radius + attr->controlPoint.borderWidth,
                    attr->imgElement.width) +
           1.0;
}

bool GraphicsItemBase::isSelectedState(const QStyleOptionGraphicsItem *option)
{
    return option && (option->state & QStyle::State_Selected);
}

void GraphicsItemBase::hoverEnterEvent(QGraphicsSceneHoverEvent *event)
{
    m_pressedButton = 0;
    updateHoverState(event->pos());
    QGraphicsItem::hoverEnterEvent(event);
}

void GraphicsItemBase::hoverMoveEvent(QGraphicsSceneHoverEvent *event)
{
    updateHoverState(event->pos());
    if (m_hoverIndex == 0 && isSelected())
        setCursor(Qt::SizeAllCursor);
    QGraphicsItem::hoverMoveEvent(event);
}

void GraphicsItemBase::hoverLeaveEvent(QGraphicsSceneHoverEvent *event)
{
    setCursor(Qt::ArrowCursor);
    QGraphicsItem::hoverLeaveEvent(event);
}

void GraphicsItemBase::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_pressedButton = 1;
    else if (event->button() == Qt::RightButton)
        m_pressedButton = 2;
    updateHoverState(event->pos());
    if (m_hoverIndex == -1)
        m_hoverIndex = 0;
    if (m_hoverIndex > 0 && scene() && !scene()->views().isEmpty()) {
        QGraphicsView *view = scene()->views().first();
        m_savedDragMode = view->dragMode();
        view->setDragMode(QGraphicsView::NoDrag);
    }
    QGraphicsItem::mousePressEvent(event);
    event->accept();
}

void GraphicsItemBase::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    if (m_hoverIndex > 0 && (event->buttons() & Qt::LeftButton))
        movePoint(event->pos(), m_hoverIndex - 1);
    else if (m_hoverIndex <= 0)
        QGraphicsItem::mouseMoveEvent(event);
    else
        event->accept();
    if (isSelected() && (event->buttons() & Qt::LeftButton))
        notifyChanged();
}

void GraphicsItemBase::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    updateShape();
    m_hoverIndex = 0;
    m_pressedButton = 0;
    if (m_savedDragMode != QGraphicsView::NoDrag && scene() && !scene()->views().isEmpty()) {
        scene()->views().first()->setDragMode(QGraphicsView::DragMode(m_savedDragMode));
        // Restored once: a later body drag must not override a mode chosen since.
        m_savedDragMode = QGraphicsView::NoDrag;
    }
    QGraphicsItem::mouseReleaseEvent(event);
}

QVariant GraphicsItemBase::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemPositionHasChanged && m_changeCallback && isAlive())
        m_changeCallback(this);
    else if (change == ItemSelectedHasChanged && !value.toBool())
        setCursor(Qt::ArrowCursor);
    return QGraphicsItem::itemChange(change, value);
}

QString GraphicsItemBase::notMeasurableText()
{
    return QCoreApplication::translate("GraphicsItemBase", "无法测量");
}

void GraphicsItemBase::paintDrawing(QPainter *painter, const Drawing &drawing, bool handles) const
{
    painter->setRenderHint(QPainter::Antialiasing, true);
    applyPen(painter);
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(drawing.solid);
    if (!drawing.dashed.isEmpty()) {
        QPen dashed = painter->pen();
        dashed.setStyle(Qt::DashLine);
        painter->save();
        painter->setPen(dashed);
        painter->drawPath(drawing.dashed);
        painter->restore();
    }
    for (const QPointF &p : drawing.markers)
        painter->drawEllipse(p, 5.0, 5.0);
    if (handles) {
        for (const QPointF &p : points())
            drawControlPoint(painter, p);
    }
}

void GraphicsItemBase::setGeometryFromDrawing(const Drawing &drawing)
{
    const Attribute::Ptr attr = attribute();
    const double r = attr ? attr->controlPoint.radius : 0.0;
    // Extremes by hand: QRectF::united() skips zero-size rectangles such as single points.
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    const auto addPoint = [&](const QPointF &p) {
        minX = std::min(minX, p.x());
        minY = std::min(minY, p.y());
        maxX = std::max(maxX, p.x());
        maxY = std::max(maxY, p.y());
    };
    for (const QPainterPath *path : {&drawing.solid, &drawing.dashed}) {
        if (path->elementCount() > 0) {
            const QRectF r = path->boundingRect();
            addPoint(r.topLeft());
            addPoint(r.bottomRight());
        }
    }
    for (const QPointF &p : points())
        addPoint(p);
    for (const QPointF &p : drawing.markers)
        addPoint(p);
    if (minX > maxX)
        addPoint(QPointF(0, 0));
    QRectF bound(QPointF(minX, minY), QPointF(maxX, maxY));
    // Markers have radius 5; the pen and the control points reach paintMargin() further.
    const double margin = std::max({r, paintMargin(), 5.0 + (attr ? attr->imgElement.width : 1)});
    bound.adjust(-margin, -margin, margin, margin);

    QPainterPathStroker stroker;
    stroker.setWidth(std::max(2 * kMinHitHalfWidth, attr ? double(attr->imgElement.width) : 1.0));
    QPainterPath hit = stroker.createStroke(drawing.solid);
    if (!drawing.dashed.isEmpty())
        hit.addPath(stroker.createStroke(drawing.dashed));
    for (const QPointF &p : points())
        hit.addEllipse(p, r, r);
    for (const QPointF &p : drawing.markers)
        hit.addEllipse(p, 5.0, 5.0);
    setGeometry(bound, hit);
}
