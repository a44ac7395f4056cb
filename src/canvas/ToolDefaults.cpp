// ToolDefaults.cpp: per-tool default styles read from and written to the settings.
#include "canvas/ToolDefaults.h"

#include "settings/SettingsKeys.h"
#include "shapes/ShapeTypes.h"

#include <QHash>
#include <QSettings>

namespace {

QString globalKey(const char *suffix)
{
    return QLatin1String(SettingsKeys::kMeasureGroup) + QLatin1Char('/') + QLatin1String(suffix);
}

// The global value of one of the eight tool suffixes, with its built-in default.
QVariant globalValue(const QSettings &settings, const char *suffix)
{
    return settings.value(globalKey(suffix), SettingsKeys::globalToolDefault(suffix));
}

QString argbName(const QColor &color)
{
    return color.name(QColor::HexArgb);
}

} // namespace

const QList<int> &ToolDefaultsTable::toolTypes()
{
    using namespace ShapeTypes;
    static const QList<int> types = {StraightLine,
                                     Arrow,
                                     BrokenLine,
                                     Rect,
                                     Rec3Point,
                                     Polygon,
                                     Circle2Point,
                                     CircleCenterRadius,
                                     DoubleCircle,
                                     Ellipse,
                                     Ellipse3Point,
                                     Ellipse5Point,
                                     Arc,
                                     Angle3Point,
                                     Angle4Point,
                                     Parallel4Points,
                                     Parallel8Points,
                                     ParallelAny,
                                     Perpendicular3Points,
                                     Perpendicular4Points,
                                     Line3Point};
    return types;
}

QColor ToolDefaultsTable::paletteColor(int toolType)
{
    static const QHash<int, const char *> palette = {
        {10, "#FF0000"}, {11, "#FF6600"}, {12, "#00AA00"}, {13, "#0066CC"}, {14, "#CC00CC"},
        {15, "#FF00FF"}, {16, "#8800FF"}, {17, "#00CCCC"}, {18, "#FF4444"}, {19, "#CC0000"},
        {20, "#0066FF"}, {21, "#990099"}, {22, "#FF8800"}, {23, "#FFCC00"}, {24, "#FF0000"},
        {25, "#00AA88"}, {26, "#CC66CC"}, {27, "#999900"}, {28, "#669900"}, {29, "#0066AA"},
        {30, "#AA6600"}, {31, "#FF0000"}, {32, "#FFAA00"},
    };
    const char *name = palette.value(toolType, nullptr);
    return name ? QColor(QLatin1String(name)) : QColor();
}

void ToolDefaultsTable::read()
{
    using namespace SettingsKeys;
    const QSettings settings;
    const bool upgrade =
        !settings.value(QLatin1String(kDefaultColorsUpgraded), kDefaultColorsUpgradedDefault)
             .toBool();

    const int width = globalValue(settings, kSuffixLineWidth).toInt();
    const QString lineColor = globalValue(settings, kSuffixLineColor).toString();
    const int style = globalValue(settings, kSuffixLineStyle).toInt();
    const int cpSize = globalValue(settings, kSuffixControlPointSize).toInt();
    const QString cpColor = globalValue(settings, kSuffixCPColor).toString();
    const int cpAlpha = globalValue(settings, kSuffixCPColorAlpha).toInt();
    const QString borderColor = globalValue(settings, kSuffixCPBorderColor).toString();
    const int borderWidth = globalValue(settings, kSuffixCPBorderWidth).toInt();

    m_tools.clear();
    for (int type : toolTypes()) {
        const QString name = ShapeTypes::key(type);
        const auto value = [&](const char *suffix, const QVariant &fallback) {
            return settings.value(toolKey(name, suffix), fallback);
        };
        ToolDefaults d;
        d.lineWidth = value(kSuffixLineWidth, width).toInt();
        const QColor palette = paletteColor(type);
        const QString paletteName = palette.isValid() ? palette.name() : lineColor;
        d.lineColor =
            upgrade ? QColor(paletteName) : QColor(value(kSuffixLineColor, paletteName).toString());
        d.lineStyle = value(kSuffixLineStyle, style).toInt();
        d.controlPointSize = value(kSuffixControlPointSize, cpSize).toInt();
        d.controlPointColor = QColor(value(kSuffixCPColor, cpColor).toString());
        d.controlPointColor.setAlpha(value(kSuffixCPColorAlpha, cpAlpha).toInt());
        d.controlPointBorderColor = QColor(value(kSuffixCPBorderColor, borderColor).toString());
        d.controlPointBorderWidth = value(kSuffixCPBorderWidth, borderWidth).toInt();
        m_tools.insert(type, d);
    }

    m_labelFont.family =
        settings.value(QLatin1String(kLabelFontFamily), QString::fromUtf8(kLabelFontFamilyDefault))
            .toString();
    m_labelFont.size = settings.value(QLatin1String(kLabelFontSize), kLabelFontSizeDefault).toInt();
    m_labelFont.bold =
        settings.value(QLatin1String(kLabelFontBold), kLabelFontBoldDefault).toBool();
    m_labelFont.italic =
        settings.value(QLatin1String(kLabelFontItalic), kLabelFontItalicDefault).toBool();
    m_labelFont.underline =
        settings.value(QLatin1String(kLabelFontUnderline), kLabelFontUnderlineDefault).toBool();
    m_labelFont.color =
        QColor(settings.value(QLatin1String(kLabelFontColor), QLatin1String(kLabelFontColorDefault))
                   .toString());
    m_labelFont.backgroundColor = QColor(Qt::transparent);
}

void ToolDefaultsTable::load()
{
    using namespace SettingsKeys;
    read();
    QSettings settings;
    for (auto it = m_tools.cbegin(); it != m_tools.cend(); ++it)
        settings.setValue(toolKey(ShapeTypes::key(it.key()), kSuffixLineColor),
                          argbName(it.value().lineColor));
    if (!settings.value(QLatin1String(kDefaultColorsUpgraded), kDefaultColorsUpgradedDefault)
             .toBool())
        settings.setValue(QLatin1String(kDefaultColorsUpgraded), true);
}

void ToolDefaultsTable::applyTo(Attribute &attribute, int toolType) const
{
    const ToolDefaults d = m_tools.value(toolType, ToolDefaults());
    attribute.controlPoint.radius = d.controlPointSize;
    attribute.controlPoint.color = d.controlPointColor;
    attribute.controlPoint.borderWidth = d.controlPointBorderWidth;
    attribute.controlPoint.borderColor = d.controlPointBorderColor;
    attribute.imgElement.width = d.lineWidth;
    attribute.imgElement.color = d.lineColor;
    attribute.imgElement.lineStyle = d.lineStyle;
    attribute.textLabel.fontFamily = m_labelFont.family;
    attribute.textLabel.fontSize = m_labelFont.size;
    attribute.textLabel.bold = m_labelFont.bold;
    attribute.textLabel.italic = m_labelFont.italic;
    attribute.textLabel.underline = m_labelFont.underline;
    attribute.textLabel.color = m_labelFont.color;
    attribute.textLabel.backgroundColor = m_labelFont.backgroundColor;
}

void ToolDefaultsTable::apply(LineDataBase &record, int toolType) const
{
    record.typeNumber = toolType;
    if (!record.attribute)
        record.attribute = std::make_shared<Attribute>();
    applyTo(*record.attribute, toolType);
}

Attribute::Ptr ToolDefaultsTable::attributeFor(int toolType) const
{
    auto attribute = std::make_shared<Attribute>();
    applyTo(*attribute, toolType);
    return attribute;
}

void ToolDefaultsTable::store(int toolType, const Attribute &attribute)
{
    using namespace SettingsKeys;
    if (!m_tools.contains(toolType))
        return;
    ToolDefaults d;
    d.lineWidth = attribute.imgElement.width;
    d.lineColor = attribute.imgElement.color;
    d.lineStyle = attribute.imgElement.lineStyle;
    d.controlPointSize = attribute.controlPoint.radius;
    d.controlPointColor = attribute.controlPoint.color;
    d.controlPointBorderWidth = attribute.controlPoint.borderWidth;
    d.controlPointBorderColor = attribute.controlPoint.borderColor;
    m_tools.insert(toolType, d);

    const Attribute::TextLabel &label = attribute.textLabel;
    m_labelFont.family = label.fontFamily;
    m_labelFont.size = label.fontSize;
    m_labelFont.bold = label.bold;
    m_labelFont.italic = label.italic;
    m_labelFont.underline = label.underline;
    m_labelFont.color = label.color;

    QSettings settings;
    const QString name = ShapeTypes::key(toolType);
    settings.setValue(toolKey(name, kSuffixLineWidth), d.lineWidth);
    settings.setValue(toolKey(name, kSuffixLineColor), argbName(d.lineColor));
    settings.setValue(toolKey(name, kSuffixLineStyle), d.lineStyle);
    settings.setValue(toolKey(name, kSuffixControlPointSize), d.controlPointSize);
    settings.setValue(toolKey(name, kSuffixCPColor), argbName(d.controlPointColor));
    settings.setValue(toolKey(name, kSuffixCPColorAlpha), d.controlPointColor.alpha());
    settings.setValue(toolKey(name, kSuffixCPBorderColor), argbName(d.controlPointBorderColor));
    settings.setValue(toolKey(name, kSuffixCPBorderWidth), d.controlPointBorderWidth);
    settings.setValue(QLatin1String(kLabelFontFamily), label.fontFamily);
    settings.setValue(QLatin1String(kLabelFontSize), label.fontSize);
    settings.setValue(QLatin1String(kLabelFontBold), label.bold);
    settings.setValue(QLatin1String(kLabelFontItalic), label.italic);
    settings.setValue(QLatin1String(kLabelFontUnderline), label.underline);
    settings.setValue(QLatin1String(kLabelFontColor), argbName(label.color));
}
