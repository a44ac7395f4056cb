// ElidingComboBox.cpp: painting of the shortened current entry.
#include "panels/ElidingComboBox.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

void ElidingComboBox::paintEvent(QPaintEvent *)
{
    // As the base paints, with the label's text elided to the edit field.
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0)
        option.palette.setBrush(QPalette::ButtonText,
                                option.palette.brush(QPalette::ButtonText).color().lighter());
    if (!isEditable()) {
        int width =
            style()
                ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
                .width();
        if (!option.currentIcon.isNull())
            width -= option.iconSize.width() + 4;
        // A little margin: the styles draw the label a pixel or two inside the field.
        option.currentText =
            fontMetrics().elidedText(option.currentText, Qt::ElideRight, std::max(0, width - 4));
    }
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}
