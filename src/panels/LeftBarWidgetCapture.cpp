// LeftBarWidgetCapture.cpp: the capture half of the left control bar: stills, recordings, files,
// drawing tools and the calibration lists. Only the parts the rest of the panel relies on exist
// yet; the capture, file and tool buttons stay disabled until their behaviour is built here.
#include "panels/LeftBarWidget.h"
#include "ui_LeftBarWidget.h"

#include <QButtonGroup>
#include <QDebug>

void LeftBarWidget::setupCaptureSide()
{
    m_toolGroup = new QButtonGroup(this);
    const QList<QAbstractButton *> tools = {
        ui->pushButtonStraightLine,  ui->pushButtonBrokenLine,    ui->pushButtonRect,
        ui->pushButtonPolygon,       ui->pushButtonLine3Point,    ui->pushButtonCircleCenterRadius,
        ui->pushButtonDCircle,       ui->pushButtonRect3Point,    ui->pushButtonAngle3Point,
        ui->pushButtonAngle4Point,   ui->pushButtonCircle2Point,  ui->pushButtonEllipse,
        ui->pushButtonEllipse3Point, ui->pushButtonEllipse5Point, ui->pushButtonArrow,
        ui->pushButtonArc,           ui->pushButtonPara4Points,   ui->pushButtonPara8Points,
        ui->pushButtonParaAny,       ui->pushButtonPerp3Points,   ui->pushButtonPerp4Points,
        ui->pushButtonText,          ui->pushButtonScale,         ui->pushButtonMouse,
        ui->pushButtonPalm,          ui->pushButtonDel,           ui->pushButtonDelAll,
    };
    for (QAbstractButton *button : tools)
        m_toolGroup->addButton(button);
    setDrawButtonsEnabled(false);
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->toolButtonCapture, ui->toolButtonVideotape, ui->comboBoxFileType,
             ui->toolButtonOpenImg, ui->toolButtonSave, ui->toolButtonFusionImage,
             ui->toolButtonExportReport, ui->comboBoxProName, ui->comboBoxUnit,
             ui->pushButtonMagnification, ui->pushButtonCalibrationConfig})
        w->setEnabled(false);
}

void LeftBarWidget::onCapture()
{
    qWarning().noquote() << "LeftBarWidget::onCapture: still capture is not available yet";
}

void LeftBarWidget::setDrawButtonsEnabled(bool enabled)
{
    for (QAbstractButton *button : m_toolGroup->buttons())
        button->setEnabled(enabled);
}

void LeftBarWidget::onAttribute(Attribute::Ptr m_attribute)
{
    Q_UNUSED(m_attribute) // the attribute tree is not shown yet
}

void LeftBarWidget::reloadCalibrationLists() {}

void LeftBarWidget::releaseDrawTool() {}

void LeftBarWidget::refreshAttributeDisplay() {}

void LeftBarWidget::refreshFileTypeList() {}
