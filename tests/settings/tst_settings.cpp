// Tests of the configuration store: file location, defaults, migration and clearing.
#include <QtTest>

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>

#include "TestEnv.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

class TstSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void fileLocation();
    void defaults_data();
    void defaults();
    void toolKeysFallBackToGlobalDefaults();
    void zoomInShortcutNormalised();
    void migration_data();
    void migration();
    void clearAllRemovesEverything();

private:
    void writeSomeSettings();
    QString m_ini;
};

void TstSettings::initTestCase()
{
    TestEnv::isolate();
    QCoreApplication::setOrganizationName("Quorix");
    QCoreApplication::setApplicationName("QUORIX");
    m_ini = SettingsStore::prepare();
}

void TstSettings::init()
{
    SettingsStore::clearAll();
    QFile::remove(m_ini);
}

void TstSettings::fileLocation()
{
    QCOMPARE(m_ini, qEnvironmentVariable("XDG_DATA_HOME") + "/Quorix/QUORIX.ini");
    QVERIFY(QFileInfo(m_ini).absoluteDir().exists());
    QSettings().setValue("File/fileType", 3);
    QSettings().sync();
    QSettings file(m_ini, QSettings::IniFormat);
    QCOMPARE(file.value("File/fileType").toInt(), 3);
}

void TstSettings::defaults_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("expected");
    const QList<QPair<const char *, QVariant>> table{
        {"Appearance/language", 0},
        {"Appearance/theme", 1},
        {"Shortcuts/fullscreen", "F11"},
        {"Shortcuts/capture", "F5"},
        {"Shortcuts/zoomIn", "Ctrl+="},
        {"Shortcuts/zoomOut", "Ctrl+-"},
        {"File/usePresetPath", false},
        {"File/fileType", 1},
        {"File/videoFileType", 0},
        {"File/suppressSaveNotification", false},
        {"Camera/colorMode", 0},
        {"App/resetVideoParams", false},
        {"Measure/showScale", true},
        {"Measure/showDrawingCrossCursor", false},
        {"Measure/showCrosshair", false},
        {"Measure/crosshairWidth", 2},
        {"Measure/tickHeightMultiplier", 2},
        {"Measure/tickIntervalMultiplier", 2},
        {"Measure/exportRule", 0},
        {"Measure/defaultLineWidth", 2},
        {"Measure/defaultLineColor", "#ff0000"},
        {"Measure/defaultLineStyle", 0},
        {"Measure/defaultControlPointSize", 6},
        {"Measure/defaultCPColor", "#ffffff"},
        {"Measure/defaultCPColorAlpha", 50},
        {"Measure/defaultCPBorderColor", "#00E5FF"},
        {"Measure/defaultCPBorderWidth", 2},
        {"Measure/defaultColorsUpgraded", false},
        {"Measure/labelFontFamily", QString::fromUtf8("宋体")},
        {"Measure/labelFontSize", 24},
        {"Measure/labelFontBold", false},
        {"Measure/labelFontItalic", false},
        {"Measure/labelFontUnderline", false},
        {"Measure/labelFontColor", "#1563AB"},
        {"Misc/autoWhiteBalance", false},
        {"Misc/staticCapture", false},
        {"Misc/confirmOnExit", true},
        {"Misc/maximizeOnStart", false},
        {"debug/fpsLog", false},
        {"Calibration/currentIndex", -1},
        {"Calibration/currentUnit", "px"},
        {"File/savePath", QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)},
        {"Measure/exportPath", QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)},
    };
    for (const auto &row : table)
        QTest::newRow(row.first) << QString(row.first) << row.second;
}

void TstSettings::defaults()
{
    QFETCH(QString, key);
    QFETCH(QVariant, expected);
    const QVariant value = SettingsKeys::defaultValue(key);
    QVERIFY2(value.isValid(), qPrintable(key));
    QCOMPARE(value.toString(), expected.toString());
    QCOMPARE(value.userType(), expected.userType());
}

void TstSettings::toolKeysFallBackToGlobalDefaults()
{
    QCOMPARE(SettingsKeys::toolKey("StraightLine", SettingsKeys::kSuffixLineWidth),
             QStringLiteral("Measure/StraightLine/defaultLineWidth"));
    QCOMPARE(SettingsKeys::globalToolDefault(SettingsKeys::kSuffixCPBorderColor).toString(),
             QStringLiteral("#00E5FF"));
    QCOMPARE(SettingsKeys::globalToolDefault(SettingsKeys::kSuffixCPColorAlpha).toInt(), 50);
}

void TstSettings::zoomInShortcutNormalised()
{
    QCOMPARE(SettingsKeys::readShortcut(SettingsKeys::kShortcutZoomIn), QStringLiteral("Ctrl+="));
    QSettings().setValue(SettingsKeys::kShortcutZoomIn, "Ctrl++");
    QCOMPARE(SettingsKeys::readShortcut(SettingsKeys::kShortcutZoomIn), QStringLiteral("Ctrl+="));
    QSettings().setValue(SettingsKeys::kShortcutZoomIn, "Ctrl+Shift+I");
    QCOMPARE(SettingsKeys::readShortcut(SettingsKeys::kShortcutZoomIn),
             QStringLiteral("Ctrl+Shift+I"));
    QSettings().setValue(SettingsKeys::kShortcutCapture, "");
    QCOMPARE(SettingsKeys::readShortcut(SettingsKeys::kShortcutCapture), QString());
}

void TstSettings::migration_data()
{
    QTest::addColumn<bool>("marker");
    QTest::addColumn<bool>("iniExists");
    QTest::addColumn<bool>("copied");
    QTest::newRow("first start with old settings") << true << false << true;
    QTest::newRow("second start: the INI file exists") << true << true << false;
    QTest::newRow("old settings without the marker") << false << false << false;
}

void TstSettings::migration()
{
    QFETCH(bool, marker);
    QFETCH(bool, iniExists);
    QFETCH(bool, copied);

    // An older store of the same shape; Linux has none, so the logic is driven through an INI.
    QTemporaryDir dir;
    QSettings legacy(dir.path() + "/legacy.ini", QSettings::IniFormat);
    if (marker)
        legacy.setValue("App/exeTimestamp", 1234);
    legacy.setValue("File/fileType", 3);
    legacy.setValue("Calibration/magnifications/1/name", "10x");
    legacy.setValue("Calibration/magnifications/size", 1);
    if (iniExists) {
        QSettings().setValue("Appearance/theme", 0);
        QSettings().sync();
    }

    QCOMPARE(SettingsStore::migrateLegacySettings(&legacy), copied);
    QVERIFY(legacy.allKeys().isEmpty());
    QSettings ini;
    QCOMPARE(ini.value("File/fileType", 1).toInt(), copied ? 3 : 1);
    QCOMPARE(ini.value("Calibration/magnifications/1/name").toString(),
             copied ? QStringLiteral("10x") : QString());
    QCOMPARE(SettingsStore::migrateLegacySettings(nullptr), false);
}

void TstSettings::writeSomeSettings()
{
    QSettings settings;
    settings.setValue("Appearance/theme", 0);
    settings.setValue("Measure/StraightLine/defaultLineWidth", 7);
    settings.beginWriteArray("Calibration/magnifications");
    for (int i = 0; i < 3; ++i) {
        settings.setArrayIndex(i);
        settings.setValue("name", QString("%1x").arg(i + 1));
        settings.setValue("resolution", 1e5 * (i + 1));
    }
    settings.endArray();
    settings.setValue("Calibration/currentIndex", 2);
}

// The data half of the factory reset; the settings dialog asks before it and its test covers
// the questions.
void TstSettings::clearAllRemovesEverything()
{
    writeSomeSettings();
    SettingsStore::clearAll();

    // As after a restart: a fresh settings object on the file.
    QSettings file(m_ini, QSettings::IniFormat);
    QVERIFY(file.allKeys().isEmpty());
    QCOMPARE(file.beginReadArray("Calibration/magnifications"), 0);
    file.endArray();
    QCOMPARE(file.value("Appearance/theme", SettingsKeys::kThemeDefault).toInt(), 1);
}

QTEST_MAIN(TstSettings)
#include "tst_settings.moc"
