// RectItem.h: an axis-parallel rectangle from two corners, resizable by eight handles.
#pragma once

#include "shapes/GraphicsItemBase.h"

// Base of EllipseItem. GUI thread.
class RectItem : public GraphicsItemBase
{
public:
    explicit RectItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    // From p0 (top-left) to p1 (bottom-right), not normalised; empty at p0 with one point.
    QRectF rectF() const;
    // Appends `p` until there are two corners, then moves the second corner.
    void addPointF(const QPointF &p) override;
    void setRect(const QRectF &rect);
    // Handle k (1..8): top-left, top, top-right, right, bottom-right, bottom, bottom-left, left.
    QPointF handlePoint(int k) const;

    void updateHoverState(const QPointF &pos) override;
    void updateLabel() override;
    QList<QPointF> scenePoints() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    // The outline that paint() draws for rectF().
    virtual QPainterPath outline() const;
    Drawing drawing() const override;

private:
    QRectF m_pressRect; // rectF() when a handle was grabbed
};
