// ElidingComboBox.h: a combo box whose current entry ends in an ellipsis when it is too long for
// the field.
#pragma once

#include <QComboBox>

// The left bar's lists narrow with the bar: a long entry (a magnification's name with its
// resolution) is shown shortened with "…" instead of being cut through a letter; the list and the
// tool tip show it whole. GUI thread only.
class ElidingComboBox : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent *event) override;
};
