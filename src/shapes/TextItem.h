// TextItem.h: a free text annotation on the canvas, resizable by its four corners.
#pragma once

#include "model/LineDataBase.h"

#include <QGraphicsTextItem>

// Not a measurement shape: it has no label and no control points, but it carries a record so
// that the table and the drawing file treat it like the shapes. GUI thread.
class TextItem : public QGraphicsTextItem
{
    Q_OBJECT

public:
    static constexpr double kCornerSize = 8.0;
    static constexpr double kMinWidth = 30.0;
    static constexpr double kMinHeight = 20.0;

    explicit TextItem(LineDataBase::Ptr data = nullptr, QGraphicsItem *parent = nullptr);

    int type() const override { return 31; }
    LineDataBase::Ptr lineData() const { return m_data; }
    Attribute::Ptr attribute() const { return m_data->attribute; }
    // Rebuilds the font and text colour from the record's label style.
    void applyAttribute();
    bool isResizing() const { return m_resizing; }

    // The text's own rectangle; the item reaches half a corner square beyond it so that the
    // outer half of each corner square can be grabbed too.
    QRectF textRect() const { return QGraphicsTextItem::boundingRect(); }
    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;

private:
    // 0 none, 1 top-left, 2 top-right, 3 bottom-right, 4 bottom-left.
    int cornerAt(const QPointF &pos) const;
    QRectF cornerRect(int corner) const;

    LineDataBase::Ptr m_data;
    bool m_resizing = false;
    int m_resizeCorner = 0;
    QRectF m_startRect;
    QPointF m_startPos;
};
