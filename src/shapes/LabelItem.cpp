// LabelItem.cpp: measured-value labels.
#include "shapes/LabelItem.h"

#include "shapes/ShapeTypes.h"

#include <QFontMetricsF>
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
