// Rec3PointItem.h: a rectangle at any angle: two points give one side, a third the other side.
#pragma once

#include "shapes/Line3PointItem.h"

// GUI thread.
class Rec3PointItem : public Line3PointItem
{
public:
    explicit Rec3PointItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    // Distance of p2 from the line p0-p1 (from p0 when p0 and p1 coincide).
    static double sideDistance(const QPointF &p0, const QPointF &p1, const QPointF &p2);

    void updateLabel() override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    QPainterPath drawnPath() const override;
};

// The ellipse inscribed in a three-point rectangle; shows its semi-axes. GUI thread.
class Ellipse3PointItem : public Line3PointItem
{
public:
    explicit Ellipse3PointItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    void updateLabel() override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    QPainterPath drawnPath() const override;

private:
    // The bounding rectangle's corners p0, p1, B, A and the inscribed ellipse.
    void rectangleAndEllipse(QPolygonF *rectangle, QPainterPath *ellipse) const;
};
