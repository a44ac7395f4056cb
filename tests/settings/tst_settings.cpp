// Tests of the configuration store: file location and migration.
#include <QtTest>

#include <QCoreApplication>
#include <QSettings>

#include "TestEnv.h"
#include "settings/SettingsStore.h"

class TstSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void migration_data();
    void migration();

private:
    QString m_ini;
};

void TstSettings::initTestCase()
{
    TestEnv::isolate();
    QCoreApplication::setOrganizationName("Quorix");
    QCoreApplication::setApplicationName("QUORIX");
    m_ini = SettingsStore::prepare();
    // One file in the data folder; clearing it completely is judged through the settings dialog's
    // factory reset.
    QCOMPARE(m_ini, qEnvironmentVariable("XDG_DATA_HOME") + "/Quorix/QUORIX.ini");
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

QTEST_MAIN(TstSettings)
#include "tst_settings.moc"
