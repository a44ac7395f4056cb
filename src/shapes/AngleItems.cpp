// AngleItems.cpp: three- and four-point angles.
#include "shapes/AngleItems.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeGeometry.h"
#include "shapes/ShapeTypes.h"

#include <QLineF>
#include <QPainter>

namespace {
// Arms are drawn to an intersection only this close to the lines; nearly parallel lines meet
// far outside any picture.
constexpr double kMaxVertexDistance = 1e5;
} // namespace

bool AngleText::degrees(const QLineF &from, const QLineF &to, double *angle)
{
    if (from.length() < 1e-9 || to.length() < 1e-9)
        return false;
    *angle = double(float(from.angleTo(to)));
    return true;
}

QString AngleText::format(double angle)
{
    const QString text = QString::number(angle, 'g', 6);
    // Six significant digits of an angle a hair above 0 would read in exponent form.
    return text.contains(QLatin1Char('e')) ? QStringLiteral("0") : text;
}

QString AngleText::angleBetween(const QLineF &from, const QLineF &to)
{
    double angle = 0.0;
    return degrees(from, to, &angle) ? format(angle) : GraphicsItemBase::notMeasurableText();
}

Angle3PointItem::Angle3PointItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : BrokenLineItem(std::move(data), parent)
{
    m_toolType = ShapeTypes::Angle3Point;
}

void Angle3PointItem::addPointF(const QPointF &p)
{
    QList<QPointF> &list = points();
    if (list.size() == 2 && !m_label)
        createLabel(p);
    list.append(p);
    notifyChanged();
    updateShape();
}

void Angle3PointItem::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.size() < 3)
        return;
    placeLabel(list[1]);
    m_label->setText(AngleText::angleBetween(QLineF(list[1], list[2]), QLineF(list[1], list[0])));
    // The label stands at the vertex on the side away from both arms (against the bisector of the
    // angle between them), clear of the arms and the vertex's handle.
    const QLineF arm0(list[1], list[0]), arm2(list[1], list[2]);
    if (arm0.length() < 1e-9 || arm2.length() < 1e-9)
        return;
    const QPointF u0 = (arm0.p2() - arm0.p1()) / arm0.length();
    const QPointF u2 = (arm2.p2() - arm2.p1()) / arm2.length();
    QPointF away = -(u0 + u2);
    if (QLineF(QPointF(), away).length() < 1e-6) // a straight angle: beside the line
        away = QPointF(-u0.y(), u0.x());
    away /= QLineF(QPointF(), away).length();
    const Attribute::Ptr attr = attribute();
    const double gap = attr ? attr->controlPoint.radius + attr->controlPoint.borderWidth : 0.0;
    const QPointF corner = list[1] + away * gap;
    const QSizeF size = m_label->rect().size();
    m_label->setPos(away.x() >= 0 ? corner.x() : corner.x() - size.width(),
                    away.y() >= 0 ? corner.y() : corner.y() - size.height());
}

Angle4PointItem::Angle4PointItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : BrokenLineItem(std::move(data), parent)
{
    m_toolType = ShapeTypes::Angle4Point;
}

bool Angle4PointItem::vertex(QPointF *at) const
{
    const QList<QPointF> &list = points();
    if (list.size() < 4 || !ShapeGeometry::lineIntersection(list[0], list[1], list[2], list[3], at))
        return false;
    return QLineF(*at, list[1]).length() <= kMaxVertexDistance;
}

void Angle4PointItem::addPointF(const QPointF &p)
{
    QList<QPointF> &list = points();
    if (list.size() >= 3) {
        QPointF at;
        const bool meet = ShapeGeometry::lineIntersection(list[0], list[1], list[2], p, &at) &&
                          QLineF(at, list[1]).length() <= kMaxVertexDistance;
        const QPointF anchor = meet ? at : list[1];
        placeLabel(anchor);
    }
    list.append(p);
    notifyChanged();
    updateLabel();
    updateShape();
}

GraphicsItemBase::Drawing Angle4PointItem::drawing() const
{
    Drawing d = firstLineDrawing();
    const QList<QPointF> &list = points();
    if (list.size() >= 4) {
        d.solid.moveTo(list[2]);
        d.solid.lineTo(list[3]);
        QPointF at;
        if (vertex(&at)) {
            d.solid.moveTo(at);
            d.solid.lineTo(list[1]);
            d.solid.moveTo(at);
            d.solid.lineTo(list[3]);
        }
    }
    return d;
}

void Angle4PointItem::updateLabel()
{
    const QList<QPointF> &list = points();
    if (list.size() < 4 || !m_label)
        return;
    QPointF at;
    m_label->setPos(vertex(&at) ? at : list[1]);
    m_label->setText(AngleText::angleBetween(QLineF(list[2], list[3]), QLineF(list[0], list[1])));
}
