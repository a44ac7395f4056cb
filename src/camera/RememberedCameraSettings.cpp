#include "camera/RememberedCameraSettings.h"

#include "camera/Camera.h"
#include "camera/FrameConversion.h"
#include "settings/CameraSettingsStore.h"

#include <QDebug>
#include <QRegularExpression>

namespace {

namespace Store = CameraSettingsStore;

// Every remembered property with its store names; picture properties are clamped into range.
const struct
{
    CameraProperty property;
    const char *value;
    const char *automatic;
} kProperties[] = {
    {CameraProperty::Exposure, Store::kExposure, Store::kExposureAuto},
    {CameraProperty::Gain, Store::kGain, nullptr},
    {CameraProperty::WhiteBalance, Store::kWhiteBalance, Store::kWhiteBalanceAuto},
    {CameraProperty::Brightness, Store::kBrightness, nullptr},
    {CameraProperty::Contrast, Store::kContrast, nullptr},
    {CameraProperty::Saturation, Store::kSaturation, nullptr},
    {CameraProperty::Hue, Store::kHue, nullptr},
    {CameraProperty::Gamma, Store::kGamma, nullptr},
    {CameraProperty::Sharpness, Store::kSharpness, nullptr},
    {CameraProperty::ColorEnable, Store::kColorEnable, nullptr},
    {CameraProperty::PowerLineFrequency, Store::kPowerLineFrequency, nullptr},
};

void logSkipped(const QString &identity, const QString &what)
{
    qWarning().noquote() << "[相机设置]" << identity << what << "不被设备接受，已跳过";
}

bool readBool(const QVariant &value, bool *out)
{
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        *out = true;
    else if (text == QLatin1String("false") || text == QLatin1String("0"))
        *out = false;
    else
        return false;
    return true;
}

// A value on the range's grid: clamped into [min, max] and onto min + k * step.
long clampToRange(long value, const PropertyRange &range)
{
    long v = std::clamp(value, range.min, std::max(range.min, range.max));
    if (range.step > 1) {
        v = range.min + (v - range.min + range.step / 2) / range.step * range.step;
        while (v > range.max && v - range.step >= range.min)
            v -= range.step;
    }
    return v;
}

} // namespace

const char *RememberedCameraSettings::valueName(CameraProperty property)
{
    for (const auto &p : kProperties)
        if (p.property == property)
            return p.value;
    return nullptr;
}

const char *RememberedCameraSettings::autoName(CameraProperty property)
{
    for (const auto &p : kProperties)
        if (p.property == property)
            return p.automatic;
    return nullptr;
}

bool RememberedCameraSettings::isEmpty() const
{
    return values.empty() && automatic.empty() && !mirrorHorizontal && !mirrorVertical &&
           format.isEmpty() && !resolution.isValid();
}

RememberedCameraSettings RememberedCameraSettings::load(const QString &identity)
{
    RememberedCameraSettings s;
    const QVariantMap stored = Store::load(identity);
    auto malformed = [&identity](const QString &name, const QVariant &value) {
        qWarning().noquote() << "[相机设置]" << identity << "无效的值" << name << "="
                             << value.toString() << "，已跳过";
    };
    for (const auto &p : kProperties) {
        if (stored.contains(p.value)) {
            bool ok = false;
            const long value = stored.value(p.value).toString().trimmed().toLong(&ok);
            if (ok)
                s.values[p.property] = value;
            else
                malformed(p.value, stored.value(p.value));
        }
        if (p.automatic && stored.contains(p.automatic)) {
            bool on = false;
            if (readBool(stored.value(p.automatic), &on))
                s.automatic[p.property] = on;
            else
                malformed(p.automatic, stored.value(p.automatic));
        }
    }
    const struct
    {
        const char *name;
        std::optional<bool> *flag;
    } flags[] = {{Store::kMirrorHorizontal, &s.mirrorHorizontal},
                 {Store::kMirrorVertical, &s.mirrorVertical}};
    for (const auto &f : flags) {
        bool on = false;
        if (!stored.contains(f.name))
            continue;
        if (readBool(stored.value(f.name), &on))
            *f.flag = on;
        else
            malformed(f.name, stored.value(f.name));
    }
    s.format = stored.value(Store::kFormat).toString().trimmed();
    if (stored.contains(Store::kResolution)) {
        static const QRegularExpression size(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
        const QRegularExpressionMatch m =
            size.match(stored.value(Store::kResolution).toString().trimmed());
        if (m.hasMatch() && m.captured(1).toInt() > 0 && m.captured(2).toInt() > 0)
            s.resolution = QSize(m.captured(1).toInt(), m.captured(2).toInt());
        else
            malformed(Store::kResolution, stored.value(Store::kResolution));
    }
    return s;
}

RememberedCameraSettings RememberedCameraSettings::fittedTo(Camera &camera) const
{
    const QString identity = camera.deviceIdentity();
    RememberedCameraSettings fit;
    fit.mirrorHorizontal = mirrorHorizontal; // picture flags of our own: always accepted
    fit.mirrorVertical = mirrorVertical;

    for (const auto &[property, stored] : values) {
        const QString name = QString::fromLatin1(valueName(property));
        if (property == CameraProperty::ColorEnable) {
            // Without the device's colour control the picture is made grey in software.
            if (stored == 0 || stored == 1)
                fit.values[property] = stored;
            else
                logSkipped(identity, QStringLiteral("%1 = %2").arg(name).arg(stored));
            continue;
        }
        PropertyRange range;
        if (!camera.propertyRange(property, &range)) {
            logSkipped(identity, QStringLiteral("%1 = %2").arg(name).arg(stored));
            continue;
        }
        if (property == CameraProperty::PowerLineFrequency) {
            // A menu: a value outside it has no neighbour that would mean the same.
            if (stored >= range.min && stored <= range.max)
                fit.values[property] = stored;
            else
                logSkipped(identity, QStringLiteral("%1 = %2").arg(name).arg(stored));
            continue;
        }
        const long clamped = clampToRange(stored, range);
        if (clamped != stored)
            qWarning().noquote() << "[相机设置]" << identity << name << "=" << stored << "超出范围"
                                 << QStringLiteral("%1..%2").arg(range.min).arg(range.max)
                                 << "，改为" << clamped;
        fit.values[property] = clamped;
    }

    for (const auto &[property, on] : automatic) {
        const bool supported = property == CameraProperty::Exposure
                                   ? camera.supportsAutoExposure()
                                   : camera.supportsAutoWhiteBalance();
        // Without the automatic mode there is nothing to switch off.
        if (supported)
            fit.automatic[property] = on;
        else if (on)
            logSkipped(identity,
                       QStringLiteral("%1 = true").arg(QLatin1String(autoName(property))));
    }

    const QList<CaptureMode> modes = camera.modes();
    if (!format.isEmpty()) {
        bool offered = false;
        for (const CaptureMode &mode : modes)
            offered = offered || FrameConversion::subtypeName(mode.fourcc) == format;
        if (offered)
            fit.format = format;
        else
            qWarning().noquote() << "[相机设置]" << identity << "格式" << format
                                 << "已不再提供，已跳过";
    }
    if (resolution.isValid()) {
        bool offered = false;
        for (const CaptureMode &mode : modes)
            offered =
                offered ||
                (QSize(mode.width, std::abs(mode.height)) == resolution &&
                 (fit.format.isEmpty() || FrameConversion::subtypeName(mode.fourcc) == fit.format));
        if (offered)
            fit.resolution = resolution;
        else
            qWarning().noquote()
                << "[相机设置]" << identity << "分辨率"
                << QStringLiteral("%1x%2").arg(resolution.width()).arg(resolution.height())
                << "已不再提供，已跳过";
    }
    return fit;
}
