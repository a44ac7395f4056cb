// CalibrationSource.h: what a shape asks its scene for to turn pixels into calibrated lengths.
#pragma once

class CalibrationData;

// Implemented by the canvas scene; shapes find it through their scene. GUI thread.
class CalibrationSource
{
public:
    virtual ~CalibrationSource() = default;
    // The current calibration, or null when there is none (or it has been destroyed).
    virtual CalibrationData *calibrationData() const = 0;
};
