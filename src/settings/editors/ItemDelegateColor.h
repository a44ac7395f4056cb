// ItemDelegateColor.h: paints colour swatches and check boxes in the attribute tree's value column.
#pragma once

#include <QStyledItemDelegate>

// Value cells (column 1) whose user-role data is "Color" are painted as a swatch of the colour
// named by the cell text with that text beside it; cells whose user-role data is "CheckBox" as
// a check box, ticked when the text is "1". Every other cell is painted as usual.
class ItemDelegateColor : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    // Rows tall enough for the editors opened in them (spin boxes, combo boxes, colour buttons).
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    static constexpr int kMinimumRowHeight = 26;

    // The swatch of a colour cell inside the cell rectangle `cell`.
    static QRect swatchRect(const QRect &cell);
    // The check box of a check-box cell inside the cell rectangle `cell`.
    static QRect checkBoxRect(const QRect &cell);
};
