// MagnificationEditDialog.h: edits the name and resolution of one magnification.
#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/dialogs/CalibrationDialogBase.h"

#include <memory>

namespace Ui {
class MagnificationEditDialog;
}

// The resolution is shown in pixels per selected unit (µm, mm, cm or m). The stored pixels per
// metre come back unchanged unless the user edited the number, so renaming or switching the
// unit never rounds a resolution. GUI thread.
class MagnificationEditDialog : public CalibrationDialogBase
{
    Q_OBJECT

public:
    MagnificationEditDialog(const CalibrationData::Magnification &entry, const QString &unit,
                            QWidget *parent = nullptr);
    ~MagnificationEditDialog() override;

    // The name trimmed and the resolution in pixels per metre.
    CalibrationData::Magnification result() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    QString selectedUnit() const;
    void onUnitChanged();
    void showValue(double perUnit);
    static double factorOf(const QString &unit);

    std::unique_ptr<Ui::MagnificationEditDialog> ui;
    CalibrationData::Magnification m_entry;
    double m_factor = 1.0; // metres per unit shown
    bool m_edited = false; // the user changed the number
    bool m_showing = false;
};
