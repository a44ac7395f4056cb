// CameraSettingsStore.h: the values the user set for each physical camera, one settings group
// per camera below "CameraSettings".
#pragma once

#include <QString>
#include <QVariantMap>

// Each camera's group is named after its identity (see SysfsCameraIdentity.h) and holds only the
// values the user set: absent names leave the device's own value. Like every key of the store
// they go with the factory reset. GUI thread.
namespace CameraSettingsStore {

inline constexpr char kGroup[] = "CameraSettings";

// Value names inside a camera's group. Picture properties hold the value in the program's units
// (exposure as a base-2 exponent of seconds), their automatic modes a bool.
inline constexpr char kExposure[] = "exposure";
inline constexpr char kExposureAuto[] = "exposureAuto";
inline constexpr char kGain[] = "gain";
inline constexpr char kWhiteBalance[] = "whiteBalance";
inline constexpr char kWhiteBalanceAuto[] = "whiteBalanceAuto";
inline constexpr char kBrightness[] = "brightness";
inline constexpr char kContrast[] = "contrast";
inline constexpr char kSaturation[] = "saturation";
inline constexpr char kHue[] = "hue";
inline constexpr char kGamma[] = "gamma";
inline constexpr char kSharpness[] = "sharpness";
inline constexpr char kColorEnable[] = "colorEnable";               // 1 colour, 0 black and white
inline constexpr char kPowerLineFrequency[] = "powerLineFrequency"; // 1 = 50 Hz, 2 = 60 Hz
inline constexpr char kMirrorHorizontal[] = "mirrorHorizontal";     // bool
inline constexpr char kMirrorVertical[] = "mirrorVertical";         // bool
inline constexpr char kFormat[] = "format";                         // format name, e.g. "MJPG"
inline constexpr char kResolution[] = "resolution";                 // "<width>x<height>"

// The values stored for `identity` by name; empty when none (or when identity is empty).
QVariantMap load(const QString &identity);
// Stores one value for `identity`; does nothing for an empty identity.
void store(const QString &identity, const QString &name, const QVariant &value);
// Removes every value stored for `identity`.
void forget(const QString &identity);

} // namespace CameraSettingsStore
