// UnitComboBox.h: the length units of the calibration dialogs in a combo box.
#pragma once

#include <QString>

class QComboBox;

// Refills `combo` with every unit but px (display name as text, code as item data) and selects
// `selected`, or mm when that is not listed. Emits no change signals.
void fillUnitComboBox(QComboBox *combo, const QString &selected);
