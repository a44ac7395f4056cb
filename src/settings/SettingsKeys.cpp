#include "settings/SettingsKeys.h"

#include <QHash>
#include <QSettings>
#include <QStandardPaths>

namespace SettingsKeys {

QString defaultSavePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
}

QString defaultExportPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString toolKey(const QString &toolName, const char *suffix)
{
    return QStringLiteral("%1/%2/%3")
        .arg(QLatin1String(kMeasureGroup), toolName, QLatin1String(suffix));
}

static const QHash<QString, QVariant> &fixedDefaults()
{
    static const QHash<QString, QVariant> table = [] {
        const QString measure = QLatin1String(kMeasureGroup) + QLatin1Char('/');
        return QHash<QString, QVariant>{
            {kLanguage, kLanguageDefault},
            {kTheme, kThemeDefault},
            {kShortcutFullscreen, QString(kShortcutFullscreenDefault)},
            {kShortcutCapture, QString(kShortcutCaptureDefault)},
            {kShortcutZoomIn, QString(kShortcutZoomInDefault)},
            {kShortcutZoomOut, QString(kShortcutZoomOutDefault)},
            {kShortcutUndo, QString(kShortcutUndoDefault)},
            {kShortcutRedo, QString(kShortcutRedoDefault)},
            {kUsePresetPath, kUsePresetPathDefault},
            {kFileType, kFileTypeDefault},
            {kVideoFileType, kVideoFileTypeDefault},
            {kSuppressSaveNotification, kSuppressSaveNotificationDefault},
            {kColorMode, kColorModeDefault},
            {kResetVideoParams, kResetVideoParamsDefault},
            {kShowScale, kShowScaleDefault},
            {kShowDrawingCrossCursor, kShowDrawingCrossCursorDefault},
            {kShowCrosshair, kShowCrosshairDefault},
            {kCrosshairWidth, kCrosshairWidthDefault},
            {kTickHeightMultiplier, kTickHeightMultiplierDefault},
            {kTickIntervalMultiplier, kTickIntervalMultiplierDefault},
            {kExportRule, kExportRuleDefault},
            {measure + kSuffixLineWidth, kDefaultLineWidthDefault},
            {measure + kSuffixLineColor, QString(kDefaultLineColorDefault)},
            {measure + kSuffixLineStyle, kDefaultLineStyleDefault},
            {measure + kSuffixControlPointSize, kDefaultControlPointSizeDefault},
            {measure + kSuffixCPColor, QString(kDefaultCPColorDefault)},
            {measure + kSuffixCPColorAlpha, kDefaultCPColorAlphaDefault},
            {measure + kSuffixCPBorderColor, QString(kDefaultCPBorderColorDefault)},
            {measure + kSuffixCPBorderWidth, kDefaultCPBorderWidthDefault},
            {kDefaultColorsUpgraded, kDefaultColorsUpgradedDefault},
            {kLabelFontFamily, QString::fromUtf8(kLabelFontFamilyDefault)},
            {kLabelFontSize, kLabelFontSizeDefault},
            {kLabelFontBold, kLabelFontBoldDefault},
            {kLabelFontItalic, kLabelFontItalicDefault},
            {kLabelFontUnderline, kLabelFontUnderlineDefault},
            {kLabelFontColor, QString(kLabelFontColorDefault)},
            {kAutoWhiteBalance, kAutoWhiteBalanceDefault},
            {kStaticCapture, kStaticCaptureDefault},
            {kConfirmOnExit, kConfirmOnExitDefault},
            {kMaximizeOnStart, kMaximizeOnStartDefault},
            {kFpsLog, kFpsLogDefault},
            {kCalibrationCurrentIndex, kCalibrationCurrentIndexDefault},
            {kCalibrationCurrentUnit, QString(kCalibrationCurrentUnitDefault)},
        };
    }();
    return table;
}

QVariant globalToolDefault(const char *suffix)
{
    return fixedDefaults().value(QLatin1String(kMeasureGroup) + QLatin1Char('/') +
                                 QLatin1String(suffix));
}

QVariant defaultValue(const QString &key)
{
    if (key == QLatin1String(kSavePath))
        return defaultSavePath();
    if (key == QLatin1String(kExportPath))
        return defaultExportPath();
    return fixedDefaults().value(key);
}

QString readShortcut(const char *key)
{
    const QString text = QSettings().value(key, defaultValue(key)).toString();
    if (text == QLatin1String("Ctrl++"))
        return QStringLiteral("Ctrl+=");
    return text;
}

} // namespace SettingsKeys
