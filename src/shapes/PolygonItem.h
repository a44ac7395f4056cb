// PolygonItem.h: a closed polygon of any number of vertices.
#pragma once

#include "shapes/GraphicsItemBase.h"

// The label shows the length of the open path through the vertices in order, as the record's
// length() does. GUI thread.
class PolygonItem : public GraphicsItemBase
{
public:
    explicit PolygonItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);

    void addPointF(const QPointF &p) override;
    void updateHoverState(const QPointF &pos) override { hoverOverPoints(pos); }
    void updateShape() override;
    void updateLabel() override;
    QList<QPointF> scenePoints() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    Drawing drawing() const;
};
