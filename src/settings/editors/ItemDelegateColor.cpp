// ItemDelegateColor.cpp: swatch and check-box painting of the attribute tree.
#include "settings/editors/ItemDelegateColor.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

namespace {

// Light and dark squares under a swatch, so that a translucent colour reads as translucent.
void paintChecker(QPainter *painter, const QRect &rect)
{
    const int cell = 4;
    painter->save();
    painter->setClipRect(rect);
    painter->fillRect(rect, QColor(255, 255, 255));
    for (int y = rect.top(); y <= rect.bottom(); y += cell) {
        for (int x = rect.left() + (((y - rect.top()) / cell) % 2) * cell; x <= rect.right();
             x += 2 * cell)
            painter->fillRect(QRect(x, y, cell, cell), QColor(204, 204, 204));
    }
    painter->restore();
}

} // namespace

QRect ItemDelegateColor::swatchRect(const QRect &cell)
{
    // One pixel inside the cell, as wide as a short word.
    const QRect inner = cell.adjusted(1, 1, -1, -1);
    return QRect(inner.left() + 2, inner.top(), qMin(inner.width() - 2, 2 * inner.height()),
                 inner.height());
}

QRect ItemDelegateColor::checkBoxRect(const QRect &cell)
{
    const int side = qMax(8, qMin(cell.height() - 6, 14));
    return QRect(cell.left() + 4, cell.top() + (cell.height() - side) / 2, side, side);
}

QSize ItemDelegateColor::sizeHint(const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const
{
    const QSize hint = QStyledItemDelegate::sizeHint(option, index);
    return QSize(hint.width(), qMax(hint.height(), kMinimumRowHeight));
}

void ItemDelegateColor::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    const QString role = index.column() == 1 ? index.data(Qt::UserRole).toString() : QString();
    if (role != QLatin1String("Color") && role != QLatin1String("CheckBox")) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The background and selection as for any cell, without the text.
    QStyleOptionViewItem base = option;
    initStyleOption(&base, index);
    const QString text = base.text;
    base.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &base, painter, widget);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    if (role == QLatin1String("Color")) {
        const QRect swatch = swatchRect(option.rect);
        paintChecker(painter, swatch);
        painter->fillRect(swatch, QColor(text));
        painter->setPen(QColor(0x5D, 0x5E, 0x61));
        painter->drawRect(swatch.adjusted(0, 0, -1, -1));
        const QRect textRect =
            option.rect.adjusted(swatch.right() - option.rect.left() + 6, 0, 0, 0);
        painter->setPen(base.palette.color(
            (option.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, text);
    } else {
        const QRect box = checkBoxRect(option.rect);
        painter->setPen(QPen(QColor(0x5D, 0x5E, 0x61), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
        if (text == QLatin1String("1")) {
            // The tick, drawn as a path so that it stays sharp at any scale.
            QPainterPath tick;
            tick.moveTo(box.left() + box.width() * 0.2, box.top() + box.height() * 0.52);
            tick.lineTo(box.left() + box.width() * 0.42, box.top() + box.height() * 0.75);
            tick.lineTo(box.left() + box.width() * 0.8, box.top() + box.height() * 0.25);
            painter->setPen(QPen(base.palette.color(QPalette::Text), 2, Qt::SolidLine, Qt::RoundCap,
                                 Qt::RoundJoin));
            painter->drawPath(tick);
        }
    }
    painter->restore();
}
