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
    void updateLabel() override;

private:
    Drawing drawing() const override;
};
