// LabelItem.cpp: measured-value labels.
#include "shapes/LabelItem.h"

#include "shapes/CalibrationSource.h"
#include "shapes/ShapeTypes.h"

#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QPainter>

#include <algorithm>

LabelItem::LabelItem(QGraphicsItem *parent)
    : GraphicsItemBase(nullptr, parent)
{
    m_toolType = ShapeTypes::Label;
}

void LabelItem::setText(const QString &text)
{
    m_text = text;
    recomputeRect();
}

void LabelItem::setAttribute(Attribute::Ptr attribute)
{
    m_attribute = std::move(attribute);
    recomputeRect();
}

QFont LabelItem::labelFont(const Attribute &attribute)
{
    QFont font(attribute.textLabel.fontFamily);
    // A style read from a damaged file may carry size 0; Qt refuses sizes below 1.
    font.setPointSize(std::max(1, attribute.textLabel.fontSize));
    font.setWeight(attribute.textLabel.bold ? 75 : 50);
    font.setItalic(attribute.textLabel.italic);
    return font;
}

QPainterPath LabelItem::shape() const
{
    QPainterPath path;
    path.addRect(m_rect);
    return path;
}

void LabelItem::recomputeRect()
{
    prepareGeometryChange();
    if (m_text.isEmpty() || !m_attribute) {
        m_rect = QRectF(0, 0, 200, 36);
    } else {
        const QFontMetricsF metrics(labelFont(*m_attribute));
        const QRectF text = metrics.boundingRect(QRectF(0, 0, 10000, 10000), Qt::AlignLeft, m_text);
        m_rect = QRectF(0, 0, std::max(text.width() + 8, 50.0), std::max(text.height() + 8, 20.0));
    }
    update();
    // A longer text may reach past the edge where the shorter one did not.
    if (scene())
        setPos(insidePicture(pos()));
}

QPointF LabelItem::insidePicture(const QPointF &pos) const
{
    const auto *source = dynamic_cast<const CalibrationSource *>(scene());
    const QRectF area = source ? source->pictureRect() : QRectF();
    if (area.isEmpty())
        return pos;
    const QGraphicsItem *parent = parentItem();
    QPointF topLeft = parent ? parent->mapToScene(pos) : pos;
    // Right and bottom first: a label larger than the picture keeps its left and top edges.
    topLeft.setX(std::max(std::min(topLeft.x(), area.right() - m_rect.width()), area.left()));
    topLeft.setY(std::max(std::min(topLeft.y(), area.bottom() - m_rect.height()), area.top()));
    return parent ? parent->mapFromScene(topLeft) : topLeft;
}

QVariant LabelItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemPositionChange && scene())
        return insidePicture(value.toPointF());
    return GraphicsItemBase::itemChange(change, value);
}

void LabelItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (!m_attribute)
        return;
    QFont font = labelFont(*m_attribute);
    font.setUnderline(m_attribute->textLabel.underline);
    font.setWordSpacing(m_attribute->textLabel.spacing);
    font.setStrikeOut(m_attribute->textLabel.strikeOut);
    painter->setFont(font);
    painter->setPen(m_attribute->textLabel.color);
    painter->drawText(m_rect, Qt::AlignLeft, m_text);
}
