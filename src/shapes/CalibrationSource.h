// CalibrationSource.h: what a shape asks its scene for to turn pixels into calibrated lengths,
// and where the picture lies that its labels must stay on.
#pragma once

#include <QRectF>

class CalibrationData;

// Implemented by the canvas scene; shapes find it through their scene. GUI thread.
class CalibrationSource
{
public:
    virtual ~CalibrationSource() = default;
    // The current calibration, or null when there is none (or it has been destroyed).
    virtual CalibrationData *calibrationData() const = 0;
    // The picture's rectangle in scene coordinates; empty while there is no picture.
    virtual QRectF pictureRect() const { return QRectF(); }
};
