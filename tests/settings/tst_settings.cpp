// Tests of the configuration store: file location, migration and clearing.
#include <QtTest>

#include <QCoreApplication>
#include <QSettings>

#include "TestEnv.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

class TstSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void migration_data();
    void migration();
    void oneFileThatClearsCompletely();

private:
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

// The data half of the factory reset; the settings dialog asks before it and its test covers
// the questions.
void TstSettings::oneFileThatClearsCompletely()
{
    QCOMPARE(m_ini, qEnvironmentVariable("XDG_DATA_HOME") + "/Quorix/QUORIX.ini");
    {
        QSettings settings;
        settings.setValue("Appearance/theme", 0);
        settings.setValue("Measure/StraightLine/defaultLineWidth", 7);
        settings.beginWriteArray("Calibration/magnifications");
        for (int i = 0; i < 3; ++i) {
            settings.setArrayIndex(i);
            settings.setValue("name", QString("%1x").arg(i + 1));
        }
        settings.endArray();
    }
    QCOMPARE(QSettings(m_ini, QSettings::IniFormat).value("Appearance/theme").toInt(), 0);
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
