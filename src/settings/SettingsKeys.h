// SettingsKeys.h: every key of the QUORIX configuration store with its default, defined once.
//
// Every part reads a key at the moment it needs it with a default-constructed QSettings and the
// default from here, and writes it at the moment the user changes it; nothing is cached.
#pragma once

#include <QString>
#include <QVariant>

namespace SettingsKeys {

// Appearance
inline constexpr char kLanguage[] = "Appearance/language"; // 0 Chinese, 1 English
inline constexpr int kLanguageDefault = 0;
inline constexpr char kTheme[] = "Appearance/theme"; // 0 light, non-zero dark
inline constexpr int kThemeDefault = 1;

// Shortcuts (portable key sequence texts; empty = no shortcut)
inline constexpr char kShortcutFullscreen[] = "Shortcuts/fullscreen";
inline constexpr char kShortcutFullscreenDefault[] = "F11";
inline constexpr char kShortcutCapture[] = "Shortcuts/capture";
inline constexpr char kShortcutCaptureDefault[] = "F5";
inline constexpr char kShortcutZoomIn[] = "Shortcuts/zoomIn";
inline constexpr char kShortcutZoomInDefault[] = "Ctrl+=";
inline constexpr char kShortcutZoomOut[] = "Shortcuts/zoomOut";
inline constexpr char kShortcutZoomOutDefault[] = "Ctrl+-";
// Undo and redo of the drawing; a key may hold several sequences separated by "; ".
inline constexpr char kShortcutUndo[] = "Shortcuts/undo";
inline constexpr char kShortcutUndoDefault[] = "Ctrl+Z";
inline constexpr char kShortcutRedo[] = "Shortcuts/redo";
inline constexpr char kShortcutRedoDefault[] = "Ctrl+Shift+Z; Ctrl+Y";

// File
inline constexpr char kUsePresetPath[] = "File/usePresetPath";
inline constexpr bool kUsePresetPathDefault = false;
inline constexpr char kSavePath[] = "File/savePath"; // default: defaultSavePath()
inline constexpr char kFileType[] = "File/fileType"; // 0 PNG, 1 JPG, 2 BMP, 3 TIFF
inline constexpr int kFileTypeDefault = 1;
inline constexpr char kVideoFileType[] = "File/videoFileType"; // 0 MP4, 1 AVI
inline constexpr int kVideoFileTypeDefault = 0;
inline constexpr char kSuppressSaveNotification[] = "File/suppressSaveNotification";
inline constexpr bool kSuppressSaveNotificationDefault = false;

// Camera and App
inline constexpr char kColorMode[] = "Camera/colorMode"; // 0 colour, 1 black and white
inline constexpr int kColorModeDefault = 0;
inline constexpr char kResetVideoParams[] = "App/resetVideoParams";
inline constexpr bool kResetVideoParamsDefault = false;
inline constexpr char kExeTimestamp[] = "App/exeTimestamp"; // marks a legacy store; never written

// Measure: view
inline constexpr char kShowScale[] = "Measure/showScale";
inline constexpr bool kShowScaleDefault = true;
inline constexpr char kShowDrawingCrossCursor[] = "Measure/showDrawingCrossCursor";
inline constexpr bool kShowDrawingCrossCursorDefault = false;
inline constexpr char kShowCrosshair[] = "Measure/showCrosshair";
inline constexpr bool kShowCrosshairDefault = false;
inline constexpr char kCrosshairWidth[] = "Measure/crosshairWidth";
inline constexpr int kCrosshairWidthDefault = 2;
inline constexpr char kTickHeightMultiplier[] = "Measure/tickHeightMultiplier"; // 1 to 4
inline constexpr int kTickHeightMultiplierDefault = 2;
inline constexpr char kTickIntervalMultiplier[] = "Measure/tickIntervalMultiplier"; // 1 to 4
inline constexpr int kTickIntervalMultiplierDefault = 2;
inline constexpr char kExportRule[] = "Measure/exportRule"; // 0 ask, 1 use exportPath
inline constexpr int kExportRuleDefault = 0;
inline constexpr char kExportPath[] = "Measure/exportPath"; // default: defaultExportPath()

// Measure: global shape defaults. A tool's own value lives under toolKey(tool, suffix) and
// falls back to the global key's value.
inline constexpr char kMeasureGroup[] = "Measure";
inline constexpr char kSuffixLineWidth[] = "defaultLineWidth";
inline constexpr int kDefaultLineWidthDefault = 2;
inline constexpr char kSuffixLineColor[] = "defaultLineColor";
inline constexpr char kDefaultLineColorDefault[] = "#ff0000";
inline constexpr char kSuffixLineStyle[] = "defaultLineStyle";
inline constexpr int kDefaultLineStyleDefault = 0;
inline constexpr char kSuffixControlPointSize[] = "defaultControlPointSize";
inline constexpr int kDefaultControlPointSizeDefault = 6;
inline constexpr char kSuffixCPColor[] = "defaultCPColor";
inline constexpr char kDefaultCPColorDefault[] = "#ffffff";
inline constexpr char kSuffixCPColorAlpha[] = "defaultCPColorAlpha";
inline constexpr int kDefaultCPColorAlphaDefault = 50;
inline constexpr char kSuffixCPBorderColor[] = "defaultCPBorderColor";
inline constexpr char kDefaultCPBorderColorDefault[] = "#00E5FF";
inline constexpr char kSuffixCPBorderWidth[] = "defaultCPBorderWidth";
inline constexpr int kDefaultCPBorderWidthDefault = 2;
inline constexpr char kDefaultColorsUpgraded[] = "Measure/defaultColorsUpgraded";
inline constexpr bool kDefaultColorsUpgradedDefault = false;

// Measure: label font
inline constexpr char kLabelFontFamily[] = "Measure/labelFontFamily";
inline constexpr char kLabelFontFamilyDefault[] = "宋体";
inline constexpr char kLabelFontSize[] = "Measure/labelFontSize";
inline constexpr int kLabelFontSizeDefault = 24;
inline constexpr char kLabelFontBold[] = "Measure/labelFontBold";
inline constexpr bool kLabelFontBoldDefault = false;
inline constexpr char kLabelFontItalic[] = "Measure/labelFontItalic";
inline constexpr bool kLabelFontItalicDefault = false;
inline constexpr char kLabelFontUnderline[] = "Measure/labelFontUnderline";
inline constexpr bool kLabelFontUnderlineDefault = false;
inline constexpr char kLabelFontColor[] = "Measure/labelFontColor";
inline constexpr char kLabelFontColorDefault[] = "#1563AB";

// Misc and debug
inline constexpr char kAutoWhiteBalance[] = "Misc/autoWhiteBalance";
inline constexpr bool kAutoWhiteBalanceDefault = false;
inline constexpr char kStaticCapture[] = "Misc/staticCapture";
inline constexpr bool kStaticCaptureDefault = false;
inline constexpr char kConfirmOnExit[] = "Misc/confirmOnExit";
inline constexpr bool kConfirmOnExitDefault = true;
inline constexpr char kMaximizeOnStart[] = "Misc/maximizeOnStart";
inline constexpr bool kMaximizeOnStartDefault = false;
inline constexpr char kFpsLog[] = "debug/fpsLog";
inline constexpr bool kFpsLogDefault = false;

// Calibration: an array of entries {name, resolution} in QSettings' array layout
inline constexpr char kMagnifications[] = "Calibration/magnifications";
inline constexpr char kMagnificationName[] = "name";
inline constexpr char kMagnificationResolution[] = "resolution"; // pixels per metre
inline constexpr char kCalibrationCurrentIndex[] = "Calibration/currentIndex";
inline constexpr int kCalibrationCurrentIndexDefault = -1;
inline constexpr char kCalibrationCurrentUnit[] = "Calibration/currentUnit";
inline constexpr char kCalibrationCurrentUnitDefault[] = "px";

// Folder defaults that depend on the user's desktop.
QString defaultSavePath();   // the user's pictures folder
QString defaultExportPath(); // the user's documents folder

// "Measure/<tool>/<suffix>", e.g. toolKey("StraightLine", kSuffixLineWidth).
QString toolKey(const QString &toolName, const char *suffix);
// The global default of one of the eight tool suffixes (the value behind "Measure/<suffix>").
QVariant globalToolDefault(const char *suffix);

// The default of any fixed key above (not of per-tool keys); an invalid QVariant for others.
QVariant defaultValue(const QString &key);

// Reads a shortcut key with its default. A stored "Ctrl++" is read as "Ctrl+=", since the plus
// key is typed as Ctrl and "=" on most keyboards.
QString readShortcut(const char *key);

} // namespace SettingsKeys
