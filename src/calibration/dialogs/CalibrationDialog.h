// CalibrationDialog.h: measures a new magnification from the ruler line's pixel length and a
// known real length.
#pragma once

#include "calibration/dialogs/CalibrationDialogBase.h"

#include <QPointer>

#include <memory>

class CalibrationData;

namespace Ui {
class CalibrationDialog;
}

// The user drags the ruler line over an object of known length, types that length and its unit
// and names the magnification; OK appends (name, pixels per metre) to the calibration data. The
// dialog neither places the ruler nor saves the settings (CalibrationSession does). GUI thread.
class CalibrationDialog : public CalibrationDialogBase
{
    Q_OBJECT

public:
    explicit CalibrationDialog(CalibrationData *calibration, QWidget *parent = nullptr);
    ~CalibrationDialog() override;

    double pixelLength() const { return m_pixelLength; }
    // Pixels per metre from the current input; 0 while it gives none.
    double resolution() const { return m_resolution; }
    // The name OK appended last (empty before).
    QString acceptedName() const { return m_acceptedName; }

signals:
    void actualLengthChanged(double pixelLength, double actualLength, QString unit);

public slots:
    void updatePixelLength(double pixelLength);
    void recalculate();
    void onOk();

protected:
    void changeEvent(QEvent *event) override;

private:
    void fillMagnifications();
    void fillUnits();
    QString selectedUnit() const;
    void showResolution();

    std::unique_ptr<Ui::CalibrationDialog> ui;
    QPointer<CalibrationData> m_calibration;
    double m_pixelLength = 0.0;
    double m_resolution = 0.0;
    bool m_prefilled = false;
    QString m_acceptedName;
};
