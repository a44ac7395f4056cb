// DemoSpecimen.h: the demo camera's synthetic specimen and the picture settings applied to it.
#pragma once

#include <QImage>
#include <QPoint>

namespace DemoSpecimen {

// Scale of the specimen: micrometres are width / 1280 pixels wide, so 1 mm spans 78 % of any
// frame width.
double pixelsPerMicron(int frameWidth);

// Renders the stage: a textured background with cells and a stage micrometer (1 mm in 100
// divisions of 10 µm, numbered every 10 divisions) across the middle. The picture is larger
// than one frame by `margin` pixels on every side, so frames can be cut from it while the stage
// drifts. Format_RGB32; the same seed gives the same picture.
QImage renderStage(int frameWidth, int frameHeight, int margin, quint32 seed = 20240611);

// The frame-sized window of `stage` at drift step `step` (0 = top-left corner of the margin).
QPoint driftOffset(int step, int margin);

// Camera settings as they act on the picture. Values are those of the demo camera's controls.
struct Settings
{
    long exposure = -6; // base-2 exponent of seconds; -6 is the metered exposure
    bool autoExposure = true;
    long gain = 0;            // 0..100
    long whiteBalance = 4600; // kelvin the camera corrects for
    bool autoWhiteBalance = true;
    long brightness = 0;  // -64..64
    long contrast = 32;   // 0..64
    long saturation = 64; // 0..128
    long hue = 0;         // -40..40 degrees
    long gamma = 100;     // 72..500, 100 = linear
    long sharpness = 2;   // 0..6, 2 = unchanged
    bool colour = true;
    long powerLine = 1; // 0 off (lights flicker as bands), 1 50 Hz, 2 60 Hz

    bool operator==(const Settings &o) const;
    bool operator!=(const Settings &o) const { return !(*this == o); }
};

// Applies the settings to a frame in place (Format_RGB32). `phase` moves the flicker bands.
void applySettings(QImage *frame, const Settings &settings, int phase);

} // namespace DemoSpecimen
