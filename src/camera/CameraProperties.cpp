// The picture properties of Camera: range readers run by open, writers and live readers.
#include "camera/Camera.h"

#include "camera/ResultCode.h"

#include <QDebug>

namespace {

// What the range reader and the manual setter of one property log. The setters of exposure, gain
// and white balance say more than the others; a null text is not logged.
struct PropertyInfo
{
    CameraProperty property;
    PropertyGroup group;
    const char *rangePrefix; // log prefix of the range line
    const char *setFailure;  // log of a failed manual write
    bool reportMissingGroup; // a write without the property group says so
    const char *setRange;    // the range, logged before a manual write
    const char *setAttempt;  // the value and result of every manual write
    const char *setSuccess;  // the value of a successful manual write
};

const PropertyInfo kRangeProperties[] = {
    {CameraProperty::Exposure, PropertyGroup::CameraControl,
     "曝光参数 - 范围:", "设置曝光失败:", true, "曝光范围:", nullptr, "设置曝光成功:"},
    {CameraProperty::Gain, PropertyGroup::VideoProcAmp, "增益参数 - 范围:", "设置增益失败:", true,
     "增益范围:", nullptr, "设置增益成功:"},
    {CameraProperty::WhiteBalance, PropertyGroup::VideoProcAmp,
     "白平衡参数 - 范围:", "设置白平衡失败:", true, nullptr, "[设置白平衡] 值:", nullptr},
    {CameraProperty::Brightness, PropertyGroup::VideoProcAmp,
     "亮度参数 - 范围:", "设置亮度失败:", false, nullptr, nullptr, nullptr},
    {CameraProperty::Contrast, PropertyGroup::VideoProcAmp,
     "对比度参数 - 范围:", "设置对比度失败:", false, nullptr, nullptr, nullptr},
    {CameraProperty::Saturation, PropertyGroup::VideoProcAmp,
     "饱和度参数 - 范围:", "设置饱和度失败:", false, nullptr, nullptr, nullptr},
    {CameraProperty::Hue, PropertyGroup::VideoProcAmp, "色调参数 - 范围:", "设置色调失败:", false,
     nullptr, nullptr, nullptr},
    {CameraProperty::Gamma, PropertyGroup::VideoProcAmp,
     "Gamma参数 - 范围:", "设置Gamma失败:", false, nullptr, nullptr, nullptr},
    {CameraProperty::Sharpness, PropertyGroup::VideoProcAmp,
     "锐度参数 - 范围:", "设置锐度失败:", false, nullptr, nullptr, nullptr},
};

// Power-line frequency has no range line; it is written like the plain properties.
const PropertyInfo kPowerLineFrequency = {CameraProperty::PowerLineFrequency,
                                          PropertyGroup::VideoProcAmpExtended,
                                          nullptr,
                                          "设置电力线频率失败:",
                                          false,
                                          nullptr,
                                          nullptr,
                                          nullptr};

const PropertyInfo &infoOf(CameraProperty property)
{
    if (property == CameraProperty::PowerLineFrequency)
        return kPowerLineFrequency;
    for (const PropertyInfo &info : kRangeProperties)
        if (info.property == property)
            return info;
    return kRangeProperties[0];
}

const char *missingGroupLog(PropertyGroup group)
{
    return group == PropertyGroup::CameraControl ? "相机控制接口未初始化" : "视频处理接口未初始化";
}

} // namespace

void Camera::readAllProperties()
{
    for (const PropertyInfo &info : kRangeProperties)
        readRange(info.property);

    if (!m_backend->hasGroup(PropertyGroup::VideoProcAmp)) {
        qInfo().noquote() << missingGroupLog(PropertyGroup::VideoProcAmp);
    } else {
        long value = 0, flags = 0;
        const int rc = m_backend->property(CameraProperty::ColorEnable, &value, &flags);
        if (rc == 0) {
            qInfo().noquote() << "色彩模式 - 当前值:" << value;
            emit colorEnableChanged(value);
        } else {
            qInfo().noquote() << "获取色彩模式失败:" << resultCodeText(rc);
        }
    }

    if (m_backend->hasGroup(PropertyGroup::VideoProcAmpExtended)) {
        long value = 0, flags = 0;
        const int rc = m_backend->property(CameraProperty::PowerLineFrequency, &value, &flags);
        if (rc == 0) {
            qInfo().noquote() << "电力线频率 - 当前值:" << value;
            emit powerlineFrequencyChanged(value);
        } else {
            qInfo().noquote() << "获取电力线频率失败:" << resultCodeText(rc);
        }
    }
}

bool Camera::readRange(CameraProperty property)
{
    const PropertyInfo &info = infoOf(property);
    if (!m_backend->hasGroup(info.group)) {
        qInfo().noquote() << missingGroupLog(info.group);
        return false;
    }
    PropertyRange range;
    if (m_backend->propertyRange(property, &range) != 0) {
        if (property == CameraProperty::Gain)
            qInfo().noquote() << "相机不支持 Gain 属性，增益滑块将禁用";
        return false;
    }
    long current = 0, flags = 0;
    if (m_backend->property(property, &current, &flags) == 0) {
        qInfo().noquote() << info.rangePrefix << range.min << "-" << range.max
                          << ", 步长:" << range.step << ", 当前值:" << current;
    } else {
        current = range.defaultValue; // the range is still announced, at its default
    }
    emitRange(property, range, current);
    return true;
}

void Camera::emitRange(CameraProperty property, const PropertyRange &r, long current)
{
    switch (property) {
    case CameraProperty::Exposure:
        emit exposureRangeChanged(r.min, r.max, r.step, current, r.defaultValue);
        break;
    case CameraProperty::Gain:
        emit gainRangeChanged(r.min, r.max, r.step, current, r.defaultValue);
        break;
    case CameraProperty::WhiteBalance:
        emit whiteBalanceRangeChanged(r.min, r.max, r.step, current, r.defaultValue);
        break;
    case CameraProperty::Brightness:
        emit brightnessRangeChanged(r.min, r.max, r.step, current, r.defaultValue);
        break;
    case CameraProperty::Contrast:
        emit contrastRangeChanged(r.min, r.max, r.step, current, r.defaultValue);
        break;
    case CameraProperty::Saturation:
        emit saturationRangeChanged(r.min, r.max, r.step, current, r.defaultValue);
        break;
    case CameraProperty::Hue:
        emit hueRangeChanged(r.min, r.max, r.step, current, r.defaultValue);
        break;
    case CameraProperty::Gamma:
        emit gammaRangeChanged(r.min, r.max, r.step, current, r.defaultValue);
        break;
    case CameraProperty::Sharpness:
        emit sharpnessRangeChanged(r.min, r.max, r.step, current, r.defaultValue);
        break;
    case CameraProperty::ColorEnable:
    case CameraProperty::PowerLineFrequency:
        break;
    }
}

bool Camera::setManualProperty(CameraProperty property, long value)
{
    const PropertyInfo &info = infoOf(property);
    if (!m_backend->hasGroup(info.group)) {
        if (info.reportMissingGroup)
            qInfo().noquote() << missingGroupLog(info.group);
        return false;
    }
    PropertyRange range;
    if (info.setRange && m_backend->propertyRange(property, &range) == 0)
        qInfo().noquote() << info.setRange << range.min << "-" << range.max
                          << "步长:" << range.step;
    const int rc = m_backend->setProperty(property, value, PropertyFlagManual);
    if (info.setAttempt)
        qInfo().noquote() << info.setAttempt << value << "hr:" << resultCodeText(rc);
    if (rc != 0) {
        qWarning().noquote() << info.setFailure << resultCodeText(rc);
        return false;
    }
    if (info.setSuccess)
        qInfo().noquote() << info.setSuccess << value;
    return true;
}

bool Camera::setExposure(long value)
{
    return setManualProperty(CameraProperty::Exposure, value);
}

bool Camera::setGain(long value)
{
    return setManualProperty(CameraProperty::Gain, value);
}

bool Camera::setWhiteBalance(long value)
{
    return setManualProperty(CameraProperty::WhiteBalance, value);
}

bool Camera::setBrightness(long value)
{
    return setManualProperty(CameraProperty::Brightness, value);
}

bool Camera::setContrast(long value)
{
    return setManualProperty(CameraProperty::Contrast, value);
}

bool Camera::setSaturation(long value)
{
    return setManualProperty(CameraProperty::Saturation, value);
}

bool Camera::setHue(long value)
{
    return setManualProperty(CameraProperty::Hue, value);
}

bool Camera::setGamma(long value)
{
    return setManualProperty(CameraProperty::Gamma, value);
}

bool Camera::setSharpness(long value)
{
    return setManualProperty(CameraProperty::Sharpness, value);
}

bool Camera::setAutoMode(CameraProperty property, bool on)
{
    const bool exposure = property == CameraProperty::Exposure;
    const PropertyGroup group = infoOf(property).group;
    if (!m_backend->hasGroup(group)) {
        qInfo().noquote() << missingGroupLog(group);
        return false;
    }
    long value = 0, flags = 0;
    int rc = 0;
    if (!on) {
        rc = m_backend->property(property, &value, &flags);
        if (rc != 0) {
            qWarning().noquote() << (exposure ? "获取当前曝光值失败:" : "获取当前白平衡值失败:")
                                 << resultCodeText(rc);
            return false;
        }
        rc = m_backend->setProperty(property, value, PropertyFlagManual);
    } else {
        PropertyRange range;
        if (m_backend->propertyRange(property, &range) == 0)
            value = range.defaultValue;
        else
            m_backend->property(property, &value, &flags);
        rc = m_backend->setProperty(property, value, PropertyFlagAuto);
    }
    if (rc != 0) {
        qWarning().noquote() << (exposure ? "设置自动曝光失败:" : "设置自动白平衡失败:")
                             << resultCodeText(rc);
        return false;
    }
    qInfo().noquote() << (exposure ? "设置自动曝光:" : "设置自动白平衡:") << (on ? "开启" : "关闭");
    return true;
}

bool Camera::setAutoExposure(bool on)
{
    return setAutoMode(CameraProperty::Exposure, on);
}

bool Camera::setAutoWhiteBalance(bool on)
{
    return setAutoMode(CameraProperty::WhiteBalance, on);
}

bool Camera::setColorEnable(long value)
{
    m_colourEnabled = value != 0;
    PropertyRange range;
    if (!m_backend->hasGroup(PropertyGroup::VideoProcAmp)) {
        qInfo().noquote() << "色彩模式硬件不支持，使用软件灰度方案";
    } else if (m_backend->propertyRange(CameraProperty::ColorEnable, &range) != 0) {
        qInfo().noquote() << "ColorEnable 属性不被此相机支持，使用软件灰度方案";
    } else {
        const int rc =
            m_backend->setProperty(CameraProperty::ColorEnable, value, PropertyFlagManual);
        if (rc != 0)
            qWarning().noquote() << "设置色彩模式失败:" << resultCodeText(rc);
    }
    return true;
}

bool Camera::setOneKeyWhiteBalance(bool on)
{
    if (!m_backend->hasGroup(PropertyGroup::VideoProcAmp)) {
        qInfo().noquote() << missingGroupLog(PropertyGroup::VideoProcAmp);
        return false;
    }
    long value = 0, flags = 0;
    m_backend->property(CameraProperty::WhiteBalance, &value, &flags);
    const int rc = m_backend->setProperty(CameraProperty::WhiteBalance, value,
                                          on ? PropertyFlagOnePush : PropertyFlagManual);
    if (rc != 0) {
        qWarning().noquote() << "设置一键白平衡失败:" << resultCodeText(rc);
        return false;
    }
    qInfo().noquote() << "设置一键白平衡:" << (on ? "开启" : "关闭");
    return true;
}

bool Camera::oneKeyWhiteBalanceActive()
{
    long value = 0, flags = 0;
    return m_backend->hasGroup(PropertyGroup::VideoProcAmp) &&
           m_backend->property(CameraProperty::WhiteBalance, &value, &flags) == 0 &&
           (flags & PropertyFlagOnePush);
}

bool Camera::setPowerlineFrequency(long value)
{
    return setManualProperty(CameraProperty::PowerLineFrequency, value);
}

long Camera::readLive(CameraProperty property)
{
    const PropertyGroup group = infoOf(property).group;
    if (!m_backend->hasGroup(group))
        return 0;
    long value = 0, flags = 0;
    const int rc = m_backend->property(property, &value, &flags);
    if (rc != 0)
        value = 0;
    const char *flagText = flags == PropertyFlagAuto ? "Auto" : "Manual";
    switch (property) {
    case CameraProperty::Exposure:
        qDebug().noquote() << "[自动曝光读取] 曝光值:" << value << "标志:" << flagText
                           << "hr:" << resultCodeText(rc);
        break;
    case CameraProperty::Gain:
        qDebug().noquote() << "[自动曝光读取] 增益值:" << value << "hr:" << resultCodeText(rc);
        break;
    default:
        qDebug().noquote() << "[自动白平衡读取] 白平衡值:" << value << "标志:" << flagText
                           << "hr:" << resultCodeText(rc);
        break;
    }
    return value;
}

long Camera::exposure()
{
    return readLive(CameraProperty::Exposure);
}

long Camera::gain()
{
    return readLive(CameraProperty::Gain);
}

long Camera::whiteBalance()
{
    return readLive(CameraProperty::WhiteBalance);
}

bool Camera::propertyRange(CameraProperty property, PropertyRange *range)
{
    const PropertyGroup group = property == CameraProperty::ColorEnable
                                    ? PropertyGroup::VideoProcAmp
                                    : infoOf(property).group;
    return m_backend->hasGroup(group) && m_backend->propertyRange(property, range) == 0;
}

bool Camera::supportsAutoExposure()
{
    PropertyRange range;
    return m_backend->hasGroup(PropertyGroup::CameraControl) &&
           m_backend->propertyRange(CameraProperty::Exposure, &range) == 0 &&
           (range.capsFlags & PropertyFlagAuto);
}

bool Camera::supportsAutoWhiteBalance()
{
    PropertyRange range;
    return m_backend->hasGroup(PropertyGroup::VideoProcAmp) &&
           m_backend->propertyRange(CameraProperty::WhiteBalance, &range) == 0 &&
           (range.capsFlags & PropertyFlagAuto);
}
