// EllipseItem.h: the ellipse inscribed in a two-corner rectangle; shows its semi-axes.
#pragma once

#include "shapes/RectItem.h"

// GUI thread.
class EllipseItem : public RectItem
{
public:
    explicit EllipseItem(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);
    void updateLabel() override;

protected:
    QPainterPath outline() const override;
};
