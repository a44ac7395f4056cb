// MainWidgetPictureCalibration.cpp: the pixel size that an opened picture carries (written by a
// microscopy program, or by us) offered as a temporary magnification.
#include "ui/mainwindow/MainWidget.h"

#include "calibration/CalibrationData.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "metadata/ExifUserComment.h"
#include "panels/LeftBarWidget.h"

#include <QDebug>

#include <cmath>

void MainWidget::offerPictureCalibration(const QString &path)
{
    // The previous picture's offer belongs to that picture.
    CalibrationData *calibration = m_leftBar->calibrationData();
    calibration->discardTemporary();
    // Our own drawing's calibration, when the file has one, is the one the user chose.
    PixelSize::Reading reading;
    if (view()->loadedCalibration() || !ExifUserComment::readPixelSize(path, &reading))
        return;
    if (std::abs(reading.yPerMetre - reading.xPerMetre) > 1e-3 * reading.xPerMetre)
        qWarning().noquote() << "MainWidget::offerPictureCalibration: pixels are not square,"
                             << "the horizontal size is used:" << reading.xPerMetre
                             << reading.yPerMetre;
    if (!calibration->offerPictureCalibration(reading.xPerMetre))
        return;
    qInfo().noquote() << "MainWidget::offerPictureCalibration:" << path << reading.xPerMetre
                      << "pixels per metre, source" << int(reading.source);
    showStatusMessage(tr("图片带有像素尺寸 %1，已作为临时放大倍率使用，可在“定标”栏中保留或丢弃")
                          .arg(CalibrationData::pixelSizeText(reading.xPerMetre)));
}
