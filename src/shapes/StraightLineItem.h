// StraightLineItem.h: a two-point line with its length; base of the arrow and the scale bar.
#pragma once

#include "shapes/GraphicsItemBase.h"

// GUI thread.
class StraightLineItem : public GraphicsItemBase
{
public:
    explicit StraightLineItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    // Index -1: the last point is replaced once there are two, else `p` is appended; an index
    // inside the list replaces that point; index == count appends; larger indices do nothing.
    void addPointF(const QPointF &p, int index);
    using GraphicsItemBase::addPointF;
    void setStartPoint(const QPointF &p) { addPointF(p, 0); }
    void setEndPoint(const QPointF &p) { addPointF(p, 1); }

    // Dashed guides perpendicular to the line through both ends (the calibration ruler).
    void setShowEndGuides(bool show);
    bool showEndGuides() const { return m_showEndGuides; }

    void updateHoverState(const QPointF &pos) override;
    void updateShape() override;
    void updateLabel() override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void paintEndGuides(QPainter *painter) const;
    // Half the length of an end guide: half the smaller side of the scene rectangle.
    double guideHalfLength() const;

    bool m_showEndGuides = false;
};

// A straight line drawn as a filled arrow from its first point to its second. GUI thread.
class ArrowItem : public StraightLineItem
{
public:
    explicit ArrowItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
    // The arrow outline for p0 -> p1 (head 25 long and 20 wide); empty below 1 unit.
    static QPolygonF arrowPolygon(const QPointF &p0, const QPointF &p1);
};

// A horizontal scale bar labelled with the calibrated length of scaleLength pixels. GUI thread.
class ScaleItem : public StraightLineItem
{
public:
    explicit ScaleItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    // The bar from p to p + (100, 0), with its label at p.
    void placeAt(const QPointF &p);
    int scaleLength() const { return m_scaleLength; }
    void setScaleLength(int pixels);

    void updateHoverState(const QPointF &pos) override;
    void updateLabel() override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;

private:
    int m_scaleLength = 100;
};
