// LabelItem.h: the text label that shows a shape's measured value, a child of the shape.
#pragma once

#include "shapes/GraphicsItemBase.h"

#include <QFont>

// Draws its text in the owner's label style; movable by hand until the owner changes. GUI thread.
class LabelItem : public GraphicsItemBase
{
public:
    explicit LabelItem(QGraphicsItem *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    void setAttribute(Attribute::Ptr attribute);
    Attribute::Ptr labelAttribute() const { return m_attribute; }
    QRectF rect() const { return m_rect; }

    // The label font of an attribute: family, point size (at least 1), weight, italic.
    static QFont labelFont(const Attribute &attribute);

    // A label has no control points.
    void updateHoverState(const QPointF &) override {}
    QRectF boundingRect() const override { return m_rect; }
    QPainterPath shape() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    // Keeps the label inside the picture (the scene rectangle), wherever its shape anchors it or
    // the user drags it, so that no value is cut off at the edge, also in the saved picture.
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    void recomputeRect();
    // `pos` (parent coordinates) moved as little as needed to bring the label into the picture.
    QPointF insidePicture(const QPointF &pos) const;

    QRectF m_rect = QRectF(0, 0, 200, 36);
    QString m_text;
    Attribute::Ptr m_attribute;
};
