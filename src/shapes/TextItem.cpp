// TextItem.cpp: text annotations.
#include "shapes/TextItem.h"

#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QTextDocument>

#include <algorithm>

TextItem::TextItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : QGraphicsTextItem(parent)
    , m_data(data ? std::move(data) : std::make_shared<BrokenLineDataItem>())
{
    m_data->typeNumber = 31;
    setFlags(ItemIsMovable | ItemIsSelectable);
    setAcceptHoverEvents(true);
    setDefaultTextColor(Qt::red);
    QFont f = font();
    f.setPointSize(60);
    setFont(f);
    setPlainText(QStringLiteral("Text"));
    m_data->text = toPlainText();
    setTextWidth(300.0);
    // Lines break between words only: a word longer than the box widens it rather than being cut
    // in two.
    QTextOption option = document()->defaultTextOption();
    option.setWrapMode(QTextOption::WordWrap);
    document()->setDefaultTextOption(option);
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        m_data->text = toPlainText();
        update();
    });
}

void TextItem::applyAttribute()
{
    const Attribute &a = *m_data->attribute;
    QFont f(a.textLabel.fontFamily);
    f.setPointSize(std::max(1, a.textLabel.fontSize));
    f.setWeight(a.textLabel.bold ? 75 : 50);
    f.setItalic(a.textLabel.italic);
    f.setUnderline(a.textLabel.underline);
    setFont(f);
    setDefaultTextColor(a.textLabel.color);
}

QRectF TextItem::boundingRect() const
{
    const double m = kCornerSize / 2 + 1;
    return textRect().adjusted(-m, -m, m, m);
}

QPainterPath TextItem::shape() const
{
    QPainterPath path;
    path.addRect(boundingRect());
    return path;
}

QRectF TextItem::cornerRect(int corner) const
{
    const QRectF r = textRect();
    QPointF c;
    switch (corner) {
    case 1:
        c = r.topLeft();
        break;
    case 2:
        c = r.topRight();
        break;
    case 3:
        c = r.bottomRight();
        break;
    default:
        c = r.bottomLeft();
        break;
    }
    return QRectF(c.x() - kCornerSize / 2, c.y() - kCornerSize / 2, kCornerSize, kCornerSize);
}

int TextItem::cornerAt(const QPointF &pos) const
{
    for (int corner = 1; corner <= 4; ++corner) {
        if (cornerRect(corner).contains(pos))
            return corner;
    }
    return 0;
}

void TextItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    // The base draws its own dotted selection frame; ours replaces it.
    QStyleOptionGraphicsItem plain(*option);
    plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    QGraphicsTextItem::paint(painter, &plain, widget);
    if (!(option->state & QStyle::State_Selected))
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    const QColor frame(QStringLiteral("#00E5FF"));
    painter->setPen(QPen(frame, 1.5, Qt::DashLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(textRect());
    painter->setPen(QPen(frame, 1.5, Qt::SolidLine));
    painter->setBrush(Qt::white);
    for (int corner = 1; corner <= 4; ++corner)
        painter->drawRect(cornerRect(corner));
    painter->restore();
}

void TextItem::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    const int corner = event->button() == Qt::LeftButton ? cornerAt(event->pos()) : 0;
    if (corner == 0) {
        setSelected(true);
        QGraphicsTextItem::mousePressEvent(event);
        return;
    }
    setSelected(true);
    m_resizing = true;
    m_resizeCorner = corner;
    setFlag(ItemIsMovable, false);
    m_startRect = textRect();
    m_startPos = event->scenePos();
    if (scene() && !scene()->views().isEmpty())
        scene()->views().first()->setDragMode(QGraphicsView::NoDrag);
    event->accept();
}

void TextItem::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    if (!m_resizing) {
        QGraphicsTextItem::mouseMoveEvent(event);
        return;
    }
    const QPointF delta = event->scenePos() - m_startPos;
    const bool right = m_resizeCorner == 2 || m_resizeCorner == 3;
    const bool bottom = m_resizeCorner == 3 || m_resizeCorner == 4;
    const double width =
        std::max(kMinWidth, m_startRect.width() + (right ? delta.x() : -delta.x()));
    const double height =
        std::max(kMinHeight, m_startRect.height() + (bottom ? delta.y() : -delta.y()));
    setTextWidth(width);
    const double docHeight = document()->size().height();
    if (docHeight > 1.0) {
        QFont f = font();
        int size = int(height * f.pointSizeF() / docHeight);
        if (size < 2)
            size = 1;
        f.setPointSize(size);
        setFont(f);
    }
    event->accept();
}

void TextItem::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    if (!m_resizing) {
        QGraphicsTextItem::mouseReleaseEvent(event);
        return;
    }
    m_resizing = false;
    setFlag(ItemIsMovable, true);
    if (scene() && !scene()->views().isEmpty())
        scene()->views().first()->setDragMode(QGraphicsView::RubberBandDrag);
    event->accept();
}
