// Tests of the calibration model: conversion, units, settings persistence and .magn files.
#include <QtTest>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>

#include "TestEnv.h"
#include "calibration/CalibrationData.h"
#include "settings/SettingsKeys.h"

using Mag = CalibrationData::Magnification;

class TstCalibration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void conversion_data();
    void conversion();
    void invalidUnitsAndIndicesAreIgnored();
    void settingsRoundTrip();
    void magnFileRoundTrip();
    void pictureCalibrationIsTemporary();

private:
    QTemporaryDir m_dir;
};

void TstCalibration::initTestCase()
{
    TestEnv::isolate();
    QVERIFY(m_dir.isValid());
}

void TstCalibration::init()
{
    QSettings().clear();
}

void TstCalibration::conversion_data()
{
    QTest::addColumn<double>("resolution");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<double>("px");
    QTest::addColumn<double>("expected");
    QTest::newRow("mm") << 2.5e6 << "mm" << 500.0 << 0.2;
    QTest::newRow("um") << 2.5e6 << QString("μm") << 500.0 << 200.0;
    QTest::newRow("cm") << 2.5e6 << "cm" << 500.0 << 0.02;
    QTest::newRow("m") << 2.5e6 << "m" << 500.0 << 0.0002;
    QTest::newRow("px stays px") << 2.5e6 << "px" << 500.0 << 500.0;
    QTest::newRow("uncalibrated") << 0.0 << "mm" << 500.0 << 500.0;
    QTest::newRow("negative resolution") << -5.0 << "mm" << 500.0 << 500.0;
}

void TstCalibration::conversion()
{
    QFETCH(double, resolution);
    QFETCH(QString, unit);
    QFETCH(double, px);
    QFETCH(double, expected);
    CalibrationData c;
    c.addMagnification({"10X", resolution});
    c.setCurrentIndex(0);
    c.setCurrentUnit(unit);
    QCOMPARE(c.isCalibrated(), resolution > 0);
    QVERIFY(qAbs(c.convertPixelLength(px) - expected) < 1e-12 * qMax(1.0, expected));
}

void TstCalibration::invalidUnitsAndIndicesAreIgnored()
{
    CalibrationData c;
    QSignalSpy units(&c, &CalibrationData::unitChanged);
    QSignalSpy current(&c, &CalibrationData::currentMagnificationChanged);
    c.setCurrentUnit("inch");
    c.setCurrentUnit("MM"); // case-sensitive
    c.setCurrentUnit("px"); // unchanged
    QCOMPARE(units.count(), 0);
    QCOMPARE(c.currentUnit(), QString("px"));
    c.setCurrentUnit("mm");
    QCOMPARE(units.count(), 1);

    c.addMagnification({"10X", 1e5});
    c.setCurrentIndex(1);
    c.setCurrentIndex(-2);
    c.setMagnification(3, {"x", 1});
    QCOMPARE(current.count(), 0);
    QCOMPARE(c.count(), 1);
    c.setCurrentIndex(0);
    c.setMagnification(0, {"10X", 2e5}); // the current entry: announced
    QCOMPARE(current.count(), 2);
    QCOMPARE(c.currentMagnification().resolution, 2e5);
}

void TstCalibration::settingsRoundTrip()
{
    CalibrationData a;
    a.addMagnification({"10X", 2.5e5});
    a.addMagnification({"40X", 1e6});
    a.setCurrentIndex(1);
    a.setCurrentUnit("μm");
    a.saveToSettings();

    CalibrationData b;
    QSignalSpy units(&b, &CalibrationData::unitChanged);
    b.loadFromSettings();
    QCOMPARE(units.count(), 1);
    QCOMPARE(b.count(), 2);
    QCOMPARE(b.magnifications()[0].name, QString("10X"));
    QCOMPARE(b.magnifications()[1].resolution, 1e6);
    QCOMPARE(b.currentIndex(), 1);
    QCOMPARE(b.currentUnit(), QString("μm"));

    // A shorter list saved later leaves no stale entries behind.
    b.clear();
    b.addMagnification({"5X", 1e5});
    b.saveToSettings();
    CalibrationData c;
    c.loadFromSettings();
    QCOMPARE(c.count(), 1);
    QCOMPARE(c.currentIndex(), -1);

    // A stored index beyond the list loads as none, an unknown unit as pixels.
    QSettings().setValue(SettingsKeys::kCalibrationCurrentIndex, 7);
    QSettings().setValue(SettingsKeys::kCalibrationCurrentUnit, "inch");
    c.loadFromSettings();
    QCOMPARE(c.count(), 1);
    QCOMPARE(c.currentIndex(), -1);
    QVERIFY(!c.isCalibrated());
    QCOMPARE(c.currentUnit(), QString("px"));
}

// The .magn round trip, and files that cannot be read or written.
void TstCalibration::magnFileRoundTrip()
{
    const QString path = m_dir.filePath("list.magn");
    CalibrationData a;
    a.addMagnification({"10X", 250000});
    a.addMagnification({"显微 40X", 1000000.5});
    QVERIFY(a.exportToFile(path));
    QVERIFY(!a.exportToFile(m_dir.filePath("no/such/folder/x.magn")));
    {
        // A write that fails midway (a file-size limit) leaves the exported file as it was.
        QFile before(path);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        CalibrationData longer;
        longer.addMagnification({QString(4096, QChar('x')), 1});
        {
            TestEnv::FileSizeLimit limit(1024);
            QVERIFY(!longer.exportToFile(path));
        }
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
        QCOMPARE(QDir(m_dir.path()).entryList({"list.magn*"}, QDir::Files),
                 QStringList{"list.magn"});
    }

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    QCOMPARE(root["version"].toInt(), 1);
    QCOMPARE(root["magnifications"].toArray().size(), 2);

    CalibrationData b;
    QSignalSpy current(&b, &CalibrationData::currentMagnificationChanged);
    QVERIFY(b.importFromFile(path));
    QCOMPARE(current.count(), 1);
    QCOMPARE(b.count(), 2);
    QCOMPARE(b.currentIndex(), 0);
    QCOMPARE(b.magnifications()[1].name, QString("显微 40X"));
    QCOMPARE(b.magnifications()[1].resolution, 1000000.5);

    // A missing file changes nothing; a file without entries empties the list.
    QVERIFY(!b.importFromFile(m_dir.filePath("missing.magn")));
    QCOMPARE(b.count(), 2);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"({"version": 1})");
    file.close();
    QVERIFY(b.importFromFile(path));
    QCOMPARE(b.count(), 0);
    QCOMPARE(b.currentIndex(), -1);
}

// A picture's own pixel size is used at once but stored nowhere until it is kept; discarding it
// brings back what was current, and a reload from the settings keeps the offer in the list.
void TstCalibration::pictureCalibrationIsTemporary()
{
    CalibrationData c;
    c.addMagnification({"10X", 2.5e5});
    c.addMagnification({"40X", 1e6});
    c.setCurrentIndex(0);
    QVERIFY(!c.offerPictureCalibration(0.0));
    QVERIFY(!c.offerPictureCalibration(qQNaN()));
    QCOMPARE(c.temporaryIndex(), -1);

    QVERIFY(c.offerPictureCalibration(2e6));
    QVERIFY(c.offerPictureCalibration(4e6)); // a second picture replaces the first's offer
    QCOMPARE(c.count(), 3);
    QCOMPARE(c.temporaryIndex(), 2);
    QCOMPARE(c.currentIndex(), 2);
    QCOMPARE(c.currentMagnification().name, QString("图像自带标定 0.2500 μm/px"));
    QCOMPARE(CalibrationData::pixelSizeText(800), QString("1.250 mm/px"));
    QCOMPARE(c.currentUnit(), QString("μm")); // px would hide the calibration
    QCOMPARE(c.convertPixelLength(400), 100.0);

    c.saveToSettings();
    const QString file = m_dir.filePath("offer.magn");
    QVERIFY(c.exportToFile(file));
    CalibrationData stored;
    stored.loadFromSettings();
    QCOMPARE(stored.count(), 2);
    QCOMPARE(stored.currentIndex(), 0); // the entry current before the offer
    QVERIFY(stored.importFromFile(file));
    QCOMPARE(stored.count(), 2);

    c.loadFromSettings(); // as after a calibration elsewhere: the offer stays, not current
    QCOMPARE(c.temporaryIndex(), 2);
    QCOMPARE(c.currentIndex(), 0);
    c.setCurrentIndex(2);
    c.discardTemporary();
    QCOMPARE(c.count(), 2);
    QCOMPARE(c.currentIndex(), 0);

    c.setCurrentUnit("px");
    c.setCurrentIndex(1);
    QVERIFY(c.offerPictureCalibration(1e6));
    QSignalSpy current(&c, &CalibrationData::currentMagnificationChanged);
    c.discardTemporary();
    QCOMPARE(c.count(), 2);
    QCOMPARE(c.currentIndex(), 1);
    QCOMPARE(c.currentUnit(), QString("px"));
    QCOMPARE(current.count(), 1);

    QVERIFY(c.offerPictureCalibration(1e6));
    QVERIFY(!c.keepTemporary("40X")); // taken
    QVERIFY(!c.keepTemporary("  "));
    QVERIFY(c.keepTemporary(" stage 1 um "));
    QCOMPARE(c.temporaryIndex(), -1);
    stored.loadFromSettings();
    QCOMPARE(stored.count(), 3);
    QCOMPARE(stored.currentMagnification().name, QString("stage 1 um"));
    QCOMPARE(stored.currentMagnification().resolution, 1e6);
}

QTEST_GUILESS_MAIN(TstCalibration)
#include "tst_calibration.moc"
