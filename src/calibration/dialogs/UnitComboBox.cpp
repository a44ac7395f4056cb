// UnitComboBox.cpp: the unit list of the calibration dialogs.
#include "calibration/dialogs/UnitComboBox.h"

#include "calibration/CalibrationData.h"

#include <QComboBox>

void fillUnitComboBox(QComboBox *combo, const QString &selected)
{
    const QStringList codes = CalibrationData::unitCodes();
    const QStringList names = CalibrationData::unitDisplayNames();
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (int i = 1; i < codes.size(); ++i) // every unit but px
        combo->addItem(names.value(i), codes[i]);
    int index = combo->findData(selected);
    if (index < 0)
        index = combo->findData(QStringLiteral("mm"));
    combo->setCurrentIndex(index);
}
