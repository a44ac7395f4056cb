// MagnificationEditDialog.cpp: one magnification's name and resolution.
#include "calibration/dialogs/MagnificationEditDialog.h"

#include "ui_MagnificationEditDialog.h"

#include "calibration/dialogs/UnitComboBox.h"

#include <QEvent>
#include <QScopedValueRollback>

#include <cmath>

MagnificationEditDialog::MagnificationEditDialog(const CalibrationData::Magnification &entry,
                                                 const QString &unit, QWidget *parent)
    : CalibrationDialogBase(parent)
    , ui(std::make_unique<Ui::MagnificationEditDialog>())
    , m_entry(entry)
{
    ui->setupUi(this);
    ui->lineEditName->setText(entry.name);
    fillUnitComboBox(ui->comboBoxUnit, unit);
    m_factor = factorOf(selectedUnit());
    showValue(entry.resolution * m_factor);
    connect(ui->doubleSpinBoxResolution, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this] {
                if (!m_showing)
                    m_edited = true;
            });
    connect(ui->comboBoxUnit, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MagnificationEditDialog::onUnitChanged);
    connect(ui->pushButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->pushButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

MagnificationEditDialog::~MagnificationEditDialog() = default;

double MagnificationEditDialog::factorOf(const QString &unit)
{
    const double f = CalibrationData::metresPerUnit(unit);
    return f > 0 ? f : 1.0;
}

QString MagnificationEditDialog::selectedUnit() const
{
    return ui->comboBoxUnit->currentData().toString();
}

void MagnificationEditDialog::showValue(double perUnit)
{
    // Enough decimals for a hundredth of a pixel per metre in every unit: 2 in m, 8 in µm.
    const int decimals = 2 + int(std::lround(-std::log10(m_factor)));
    const QScopedValueRollback<bool> showing(m_showing, true);
    ui->doubleSpinBoxResolution->setDecimals(decimals);
    // The same limit of 1e12 pixels per metre in every unit.
    ui->doubleSpinBoxResolution->setRange(0.0, 1e12 * m_factor);
    ui->doubleSpinBoxResolution->setValue(perUnit);
    ui->labelPerUnit->setText(tr("像素/%1").arg(selectedUnit()));
}

void MagnificationEditDialog::onUnitChanged()
{
    const double newFactor = factorOf(selectedUnit());
    const double shown = ui->doubleSpinBoxResolution->value();
    const double perUnit = m_edited ? shown * newFactor / m_factor : m_entry.resolution * newFactor;
    m_factor = newFactor;
    showValue(perUnit);
}

CalibrationData::Magnification MagnificationEditDialog::result() const
{
    const double resolution =
        m_edited ? ui->doubleSpinBoxResolution->value() / m_factor : m_entry.resolution;
    return {ui->lineEditName->text().trimmed(), resolution};
}

void MagnificationEditDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        const QString unit = selectedUnit();
        ui->retranslateUi(this);
        fillUnitComboBox(ui->comboBoxUnit, unit);
        ui->labelPerUnit->setText(tr("像素/%1").arg(selectedUnit()));
    }
    CalibrationDialogBase::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        growToFitLater(this);
}
