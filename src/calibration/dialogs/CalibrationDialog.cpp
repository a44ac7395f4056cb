// CalibrationDialog.cpp: the new magnification from ruler pixels over a known length.
#include "calibration/dialogs/CalibrationDialog.h"

#include "ui_CalibrationDialog.h"

#include "calibration/CalibrationData.h"
#include "calibration/dialogs/UnitComboBox.h"

#include <QEvent>
#include <QLineEdit>
#include <QMessageBox>

CalibrationDialog::CalibrationDialog(CalibrationData *calibration, QWidget *parent)
    : CalibrationDialogBase(parent)
    , ui(std::make_unique<Ui::CalibrationDialog>())
    , m_calibration(calibration)
{
    ui->setupUi(this);
    fillMagnifications();
    fillUnits();
    connect(ui->doubleSpinBoxLength, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &CalibrationDialog::recalculate);
    connect(ui->comboBoxUnit, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CalibrationDialog::recalculate);
    connect(ui->pushButtonOk, &QPushButton::clicked, this, &CalibrationDialog::onOk);
    connect(ui->pushButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->comboBoxMagnification->lineEdit()->setAccessibleName(tr("放大倍率"));
    adjustSize();
    resize(2 * sizeHint().width(), sizeHint().height());
}

CalibrationDialog::~CalibrationDialog() = default;

void CalibrationDialog::fillMagnifications()
{
    QStringList names = {QStringLiteral("4X"), QStringLiteral("10X"), QStringLiteral("20X"),
                         QStringLiteral("40X"), QStringLiteral("100X")};
    if (m_calibration) {
        for (const CalibrationData::Magnification &entry : m_calibration->magnifications()) {
            if (!names.contains(entry.name))
                names.append(entry.name);
        }
    }
    ui->comboBoxMagnification->addItems(names);
    if (m_calibration && m_calibration->currentIndex() >= 0) {
        const QString current = m_calibration->currentMagnification().name;
        const int index = ui->comboBoxMagnification->findText(current, Qt::MatchFixedString);
        if (index >= 0)
            ui->comboBoxMagnification->setCurrentIndex(index);
    }
}

void CalibrationDialog::fillUnits()
{
    const QString selected = ui->comboBoxUnit->count() > 0
                                 ? selectedUnit()
                                 : (m_calibration ? m_calibration->currentUnit() : QString());
    fillUnitComboBox(ui->comboBoxUnit, selected);
}

QString CalibrationDialog::selectedUnit() const
{
    return ui->comboBoxUnit->currentData().toString();
}

void CalibrationDialog::updatePixelLength(double pixelLength)
{
    m_pixelLength = pixelLength;
    ui->labelPixelCount->setText(QString::number(pixelLength, 'f', 1));
    if (!m_prefilled && m_calibration && m_calibration->isCalibrated() && pixelLength > 0) {
        const double f = CalibrationData::metresPerUnit(selectedUnit());
        if (f > 0) {
            const QSignalBlocker blocker(ui->doubleSpinBoxLength);
            ui->doubleSpinBoxLength->setValue(pixelLength /
                                              m_calibration->currentMagnification().resolution / f);
        }
        m_prefilled = true;
    }
    recalculate();
}

void CalibrationDialog::recalculate()
{
    const double length = ui->doubleSpinBoxLength->value();
    const double metres = length * CalibrationData::metresPerUnit(selectedUnit());
    m_resolution = (m_pixelLength > 0 && metres > 0) ? m_pixelLength / metres : 0.0;
    showResolution();
    emit actualLengthChanged(m_pixelLength, length, selectedUnit());
}

void CalibrationDialog::showResolution()
{
    ui->labelResolution->setText(m_resolution > 0
                                     ? QString::number(m_resolution, 'f', 2) + tr(" 像素/米")
                                     : QStringLiteral("---"));
}

void CalibrationDialog::onOk()
{
    const auto refuse = [this](const QString &text) {
        QMessageBox::warning(this, tr("提示"), text);
    };
    if (!(m_pixelLength > 0))
        return refuse(tr("标尺线像素长度为零，请先在画面上拖动标尺线。"));
    if (!(ui->doubleSpinBoxLength->value() > 0))
        return refuse(tr("请输入有效的实际长度。"));
    if (!(m_resolution > 0))
        return refuse(tr("分辨率计算无效，请检查输入。"));
    const QString name = ui->comboBoxMagnification->currentText().trimmed();
    if (name.isEmpty())
        return refuse(tr("请输入放大率名称。"));
    if (!m_calibration)
        return refuse(tr("定标数据已不存在，无法保存。"));
    for (const CalibrationData::Magnification &entry : m_calibration->magnifications()) {
        if (entry.name == name)
            return refuse(tr("放大倍率\"%1\"已存在，请在放大倍率管理中编辑。").arg(name));
    }
    m_calibration->addMagnification({name, m_resolution});
    m_acceptedName = name;
    accept();
}

void CalibrationDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        ui->comboBoxMagnification->lineEdit()->setAccessibleName(tr("放大倍率"));
        fillUnits();
        ui->labelPixelCount->setText(QString::number(m_pixelLength, 'f', 1));
        showResolution();
    }
    CalibrationDialogBase::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        growToFitLater(this);
}
