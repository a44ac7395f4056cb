// MainWidgetWiring.cpp: every connection between the main window's areas, in one place.
#include "ui/mainwindow/MainWidget.h"

#include "calibration/CalibrationData.h"
#include "camera/DeviceMonitor.h"
#include "canvas/GraphicsScene.h"
#include "canvas/MeasureFrame.h"
#include "panels/LeftBarWidget.h"
#include "panels/RightWidget.h"
#include "shapes/GraphicsItemBase.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QSlider>
#include <QToolButton>
#include <QUndoStack>

void MainWidget::connectAreas()
{
    MeasureGraphicsViewBusiness *v = view();
    LeftBarWidget *bar = m_leftBar;
    RightWidget *right = m_rightWidget;

    // Zoom: slider to view, view back to the label and the slider.
    connect(m_horizontalSliderCanvas, &QSlider::valueChanged, this,
            &MainWidget::onHorizontalSliderCanvasValueChanged);
    connect(m_measureFrame, &MeasureFrame::canvasZoomChanged, this, [this](double factor) {
        m_labelSliderCanvasZoom->setText(QString::number(factor, 'g', 6));
        const QSignalBlocker block(m_horizontalSliderCanvas);
        m_horizontalSliderCanvas->setValue(int(factor));
    });

    // The canvas's questions and warnings are boxes of the window: a box that is a child of the
    // canvas takes the canvas's dark style and is unreadable in the light theme.
    v->setMessageBoxProvider([this](QWidget *, QMessageBox::Icon icon, const QString &title,
                                    const QString &text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton) {
        QMessageBox box(icon, title, text, buttons, this);
        if (defaultButton != QMessageBox::NoButton)
            box.setDefaultButton(defaultButton);
        return QMessageBox::StandardButton(box.exec());
    });

    // Measurement records: the table follows the canvas, and the drawing counts as changed.
    connect(v, &MeasureGraphicsViewBusiness::sigAddLine, right, &RightWidget::onAddDrawLine);
    connect(v, &MeasureGraphicsViewBusiness::sigDelLine, right, &RightWidget::onDelDrawLine);
    connect(v, &MeasureGraphicsViewBusiness::sigLineDataChanged, right,
            &RightWidget::onDrawLineDataChanged);
    for (auto signal :
         {&MeasureGraphicsViewBusiness::sigAddLine, &MeasureGraphicsViewBusiness::sigDelLine,
          &MeasureGraphicsViewBusiness::sigLineDataChanged})
        connect(v, signal, this, [this] { setModified(true); });
    connect(right, &RightWidget::sigDelDrawLine, v,
            &MeasureGraphicsViewBusiness::onDelLineRequested);

    // Undo and redo of the drawing. Undoing back to the state last saved clears the unsaved
    // mark; redoing away from it sets it again.
    QUndoStack *history = v->history()->stack();
    connect(m_undoAction, &QAction::triggered, v, &MeasureGraphicsViewBusiness::undo);
    connect(m_redoAction, &QAction::triggered, v, &MeasureGraphicsViewBusiness::redo);
    connect(history, &QUndoStack::canUndoChanged, m_undoAction, &QAction::setEnabled);
    connect(history, &QUndoStack::canRedoChanged, m_redoAction, &QAction::setEnabled);
    connect(history, &QUndoStack::cleanChanged, this, [this](bool clean) { setModified(!clean); });
    connect(v, &MeasureGraphicsView::sigChoosedItemChanged, right,
            &RightWidget::onSelectedAttributeChanged);
    connect(v, &MeasureGraphicsView::sigChoosedItemChanged, bar, &LeftBarWidget::onAttribute);
    connect(right, &RightWidget::sigLineSelected, v,
            &MeasureGraphicsViewBusiness::onLineSelectionRequested);
    connect(v, &MeasureGraphicsViewBusiness::sigToolDefaultAttributesChanged, bar,
            &LeftBarWidget::refreshAttributeDisplay);
    connect(bar, &LeftBarWidget::sigAttributeDataChanged, v,
            &MeasureGraphicsViewBusiness::onAttributeDataChanged);

    // Pictures and files from the left bar.
    connect(bar, &LeftBarWidget::sigOpenImage, this, &MainWidget::onOpenImage);
    connect(bar, &LeftBarWidget::sigSetImage, this, &MainWidget::onSetImage);
    connect(bar, &LeftBarWidget::sigSetPreview, this, &MainWidget::onSetPreview);
    connect(bar, &LeftBarWidget::sigSetYuvPreview, this, &MainWidget::onSetYuvPreview);
    connect(bar, &LeftBarWidget::sigSaveImage, this, &MainWidget::onSaveImage);
    connect(bar, &LeftBarWidget::sigSaveFusedImage, this, &MainWidget::onSaveFusedImage);
    connect(bar, &LeftBarWidget::sigExportReport, this, &MainWidget::onExportReport);

    // Calibration: the table, the view and every label follow the current unit and magnification.
    CalibrationData *calibration = bar->calibrationData();
    connect(calibration, &CalibrationData::unitChanged, this, &MainWidget::onCalibrationChanged);
    connect(calibration, &CalibrationData::currentMagnificationChanged, this,
            &MainWidget::onCalibrationChanged);
    connect(bar, &LeftBarWidget::sigOpenCalibrationDialog, this,
            &MainWidget::onOpenCalibrationDialog);
    connect(v, &MeasureGraphicsViewBusiness::sigImageLoadStatusChanged, bar,
            &LeftBarWidget::setDrawButtonsEnabled);
    connect(v, &MeasureGraphicsViewBusiness::sigCalibrationLoaded, bar,
            &LeftBarWidget::reloadCalibrationLists);

    // Tool strip (by name) and the maximise button's look.
    connect(this, &MainWidget::maxChange, this, &MainWidget::updateNormalButton);

    // Drawing tools.
    connect(bar, &LeftBarWidget::sigPalmModeChanged, v,
            &MeasureGraphicsViewBusiness::setPanningMode);
    connect(bar, &LeftBarWidget::sigDrawToolActivated, v,
            &MeasureGraphicsViewBusiness::setDrawToolActive);
    connect(v, &MeasureGraphicsViewBusiness::sigDrawingFinished, bar,
            &LeftBarWidget::releaseDrawTool);
    connect(bar, &LeftBarWidget::sigDeleteRequested, v,
            &MeasureGraphicsViewBusiness::deleteSelected);
    connect(bar, &LeftBarWidget::sigDeleteAllRequested, v,
            &MeasureGraphicsViewBusiness::delAllLine);

    // Status bar.
    connect(bar, &LeftBarWidget::sigStatusMessage, this, &MainWidget::showStatusMessage);
    connect(right, &RightWidget::sigStatusMessage, this, &MainWidget::showStatusMessage);
    connect(bar, &LeftBarWidget::sigFpsTextChanged, m_labelFps, &QLabel::setText);
    connect(bar, &LeftBarWidget::sigRecordingStateChanged, v,
            &MeasureGraphicsView::setRecordingOverlay);

    // Dialogs and camera.
    connect(bar, &LeftBarWidget::sigOpenSetting, this, &MainWidget::onOpenSetting);
    connect(bar, &LeftBarWidget::sigClearCanvas, this, &MainWidget::onClearCanvas);
    connect(bar, &LeftBarWidget::sigRequestStartCamera, this, &MainWidget::onRequestStartCamera);
    connect(m_toolButtonExportData, &QToolButton::clicked, right, &RightWidget::onExportCsv);
    connect(m_deviceMonitor, &DeviceMonitor::devicesChanged, bar,
            &LeftBarWidget::handleDeviceChange);
}

void MainWidget::onCalibrationChanged()
{
    m_rightWidget->setCalibrationData(m_leftBar->calibrationData());
    m_rightWidget->refreshAllData();
    view()->setCalibrationData(m_leftBar->calibrationData());
    refreshItemLabels();
}
