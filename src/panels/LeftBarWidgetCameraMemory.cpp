// LeftBarWidgetCameraMemory.cpp: the left bar's remembered camera settings: what the user sets is
// stored for the open camera, given back at its every start, and forgotten on request.
#include "panels/LeftBarWidget.h"
#include "ui_LeftBarWidget.h"

#include "camera/Camera.h"
#include "camera/RememberedCameraSettings.h"
#include "settings/CameraSettingsStore.h"
#include "settings/SettingsKeys.h"

#include <QCheckBox>
#include <QDebug>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>

void LeftBarWidget::rememberValue(const char *name, const QVariant &value)
{
    if (!name || m_applyingRemembered || !m_camera->isOpened())
        return;
    CameraSettingsStore::store(m_camera->deviceIdentity(), QString::fromLatin1(name), value);
}

void LeftBarWidget::rememberAutoMode(const PropertyRow &row, bool on)
{
    rememberValue(RememberedCameraSettings::autoName(row.property), on);
    // Switched off, the value the automatic mode left behind is the manual one now.
    if (!on && row.bound)
        rememberValue(RememberedCameraSettings::valueName(row.property), row.slider->value());
}

void LeftBarWidget::applyRememberedSettings(const RememberedCameraSettings &fitted)
{
    // The picture flags are the program's own: a camera without remembered flags starts
    // unmirrored, whatever the camera opened before had.
    m_camera->setMirrorHorizontal(fitted.mirrorHorizontal.value_or(false));
    m_camera->setMirrorVertical(fitted.mirrorVertical.value_or(false));
    if (fitted.isEmpty())
        return;
    qInfo().noquote() << "[相机设置] 应用已保存的设置:" << m_camera->deviceIdentity();
    QScopedValueRollback<bool> applying(m_applyingRemembered, true);

    // Through the controls, so that they show what the camera holds: the automatic mode first,
    // since a manual value does not hold under it.
    for (PropertyRow &r : m_rows) {
        if (!r.bound)
            continue;
        const auto automatic = fitted.automatic.find(r.property);
        if (r.autoBox && r.autoBox->isEnabled() && automatic != fitted.automatic.end() &&
            r.autoBox->isChecked() != automatic->second)
            r.autoBox->setChecked(automatic->second);
        const auto value = fitted.values.find(r.property);
        if (value == fitted.values.end() || (r.autoBox && r.autoBox->isChecked()))
            continue;
        if (r.slider->value() == int(value->second))
            onSliderMoved(r, int(value->second)); // the slider is there, the device may not be
        else
            r.slider->setValue(int(value->second));
    }

    const auto colour = fitted.values.find(CameraProperty::ColorEnable);
    if (colour != fitted.values.end()) {
        QSignalBlocker block(ui->comboBoxColorMode);
        ui->comboBoxColorMode->setCurrentIndex(
            ui->comboBoxColorMode->findData(int(colour->second)));
        m_camera->setColorEnable(colour->second);
    }
    const auto powerLine = fitted.values.find(CameraProperty::PowerLineFrequency);
    if (powerLine != fitted.values.end()) {
        // Only the frequencies the list offers: "disabled" is no choice of ours.
        const int index = ui->comboBoxPowerLine->findData(int(powerLine->second));
        if (index < 0) {
            qWarning().noquote() << "[相机设置]" << m_camera->deviceIdentity()
                                 << "powerLineFrequency =" << powerLine->second
                                 << "不被设备接受，已跳过";
        } else {
            QSignalBlocker block(ui->comboBoxPowerLine);
            ui->comboBoxPowerLine->setCurrentIndex(index);
            m_camera->setPowerlineFrequency(powerLine->second);
        }
    }
}

void LeftBarWidget::reapplyRememberedSettings()
{
    if (m_camera->isOpened())
        applyRememberedSettings(
            RememberedCameraSettings::load(m_camera->deviceIdentity()).fittedTo(*m_camera));
}

void LeftBarWidget::on_pushButtonCameraDefaults_clicked()
{
    if (!m_camera->isOpened() || isRecording())
        return;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("恢复相机默认设置"), tr("将此相机的所有设置恢复为默认值，并清除为它保存的设置？"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    const QString identity = m_camera->deviceIdentity();
    qInfo().noquote() << "[相机设置] 恢复默认设置:" << identity;
    QScopedValueRollback<bool> restoring(m_applyingRemembered, true);
    CameraSettingsStore::forget(identity);

    // The format and size the default rule chooses (a reopen, only when another was chosen).
    if (!m_camera->preferredFormat().isEmpty() || m_camera->targetResolution().isValid()) {
        if (!m_camera->setStreamMode(QString(), QSize()))
            return; // the camera's error reports why; it is closed
        fillModeLists();
    }

    // One-key white balance ends; every property goes to its default, then the automatic modes
    // come on where offered, as for a camera opened the first time.
    if (ui->pushButtonOneKeyWB->property("oneKeyOn").toBool()) {
        ui->pushButtonOneKeyWB->setProperty("oneKeyOn", false);
        ui->pushButtonOneKeyWB->setText(tr("一键白平衡"));
        setToggleStyle(ui->pushButtonOneKeyWB, false);
    }
    for (PropertyRow &r : m_rows)
        resetRow(r);
    for (PropertyRow &r : m_rows)
        if (r.autoBox && r.autoBox->isEnabled() && !r.autoBox->isChecked())
            r.autoBox->setChecked(true);

    m_camera->setMirrorHorizontal(false);
    m_camera->setMirrorVertical(false);
    setToggleStyle(ui->pushButtonMirror, false);
    setToggleStyle(ui->pushButtonFlip, false);

    // Colour, also for the start of cameras that remember no colour mode.
    {
        QSignalBlocker block(ui->comboBoxColorMode);
        ui->comboBoxColorMode->setCurrentIndex(ui->comboBoxColorMode->findData(1));
    }
    QSettings().setValue(SettingsKeys::kColorMode, ui->comboBoxColorMode->currentIndex());
    m_camera->setColorEnable(1);

    PropertyRange powerLine;
    if (m_camera->propertyRange(CameraProperty::PowerLineFrequency, &powerLine)) {
        m_camera->setPowerlineFrequency(powerLine.defaultValue);
        const int index = ui->comboBoxPowerLine->findData(int(powerLine.defaultValue));
        if (index >= 0) {
            QSignalBlocker block(ui->comboBoxPowerLine);
            ui->comboBoxPowerLine->setCurrentIndex(index);
        }
    }
    emit sigStatusMessage(tr("已恢复相机默认设置"));
}
