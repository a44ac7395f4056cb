// RememberedCameraSettings.h: the values stored for one camera, checked against what the open
// device accepts now.
#pragma once

#include "camera/CaptureBackend.h"

#include <QSize>
#include <QString>

#include <map>
#include <optional>

class Camera;

// The typed form of a camera's group in CameraSettingsStore. Only what the user set is present.
struct RememberedCameraSettings
{
    // Picture properties, colour enable and power-line frequency, in the program's units.
    std::map<CameraProperty, long> values;
    // The automatic modes of exposure and white balance.
    std::map<CameraProperty, bool> automatic;
    std::optional<bool> mirrorHorizontal;
    std::optional<bool> mirrorVertical;
    QString format;   // format name; empty when not stored
    QSize resolution; // invalid when not stored

    // Reads the values stored for `identity`. A malformed value is logged and left out.
    static RememberedCameraSettings load(const QString &identity);
    // The store's names of a property's value and of its automatic mode (nullptr when none).
    static const char *valueName(CameraProperty property);
    static const char *autoName(CameraProperty property);

    // What the open camera accepts now, each change logged: a value outside the property's range
    // is clamped into it (onto its step); a property or automatic mode the camera lacks, a
    // power-line value outside its menu's range, a format the camera no longer offers and a size
    // it offers in no chosen format are left out. Nothing here is written to the camera.
    RememberedCameraSettings fittedTo(Camera &camera) const;

    bool isEmpty() const;
};
