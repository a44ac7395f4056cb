// tst_picturecalibration.cpp: calibrated pictures in the main window: the pixel size written into
// saved pictures (judged by tifffile and Pillow), and the pixel size that an opened picture
// carries offered as a temporary magnification until it is kept or discarded.
#include "MessageBoxAnswerer.h"
#include "TestEnv.h"
#include "app/AppLanguage.h"
#include "calibration/CalibrationData.h"
#include "camera/DemoSpecimen.h"
#include "camera/DeviceMonitor.h"
#include "camera/FrameConversion.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/V4l2CaptureBackend.h"
#include "canvas/DrawingDocument.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "metadata/ExifUserComment.h"
#include "panels/LeftBarWidget.h"
#include "resources/QuorixResources.h"
#include "settings/SettingsKeys.h"
#include "shapes/GraphicsItemBase.h"
#include "shapes/LabelItem.h"
#include "ui/mainwindow/MainWidget.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

// A window on a scripted camera that nothing starts.
struct Fixture
{
    ScriptedV4l2Device device;
    std::unique_ptr<MainWidget> window;
    QString nextSavePath; // what the save dialog answers

    Fixture()
    {
        device.clearFormats();
        device.addFormat(FrameConversion::kFourccMjpg, {{640, 480, {30}}});
        window = std::make_unique<MainWidget>(std::make_unique<V4l2CaptureBackend>(device.io()),
                                              std::make_unique<PipeDeviceEventSource>());
        window->leftBar()->setSaveFileNameProvider([this](QWidget *, const QString &,
                                                          const QString &, const QString &,
                                                          QString *) { return nextSavePath; });
    }
    CalibrationData *calibration() const { return window->leftBar()->calibrationData(); }
    template <typename W>
    W *find(const char *name) const
    {
        return window->findChild<W *>(QLatin1String(name));
    }
    // Saves through a left bar button; the picture itself is written first, as a capture does.
    void save(const char *button, const QString &path)
    {
        nextSavePath = path;
        if (QLatin1String(button) == QLatin1String("toolButtonSave"))
            QVERIFY(window->view()->saveBackgroundImage(path));
        find<QAbstractButton>(button)->click();
    }
};

// Runs a Python script with `path` as its argument and returns what it prints as JSON.
QJsonObject python(const QString &script, const QString &path)
{
    QProcess process;
    process.start("/usr/bin/python3", {"-c", script, path});
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        qWarning() << process.readAllStandardError();
        return QJsonObject();
    }
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

const char *const kJudge = R"(
import json, sys
from PIL import Image
path = sys.argv[1]; out = {}
if path.endswith('.tif'):
    import tifffile
    with tifffile.TiffFile(path) as tif:
        x = tif.pages[0].tags['XResolution'].value
        out['unit'] = (tif.imagej_metadata or {}).get('unit')
        out['micrometres'] = 1e4 * x[1] / x[0]  # per centimetre
else:
    out['micrometres'] = 25400 / Image.open(path).info['dpi'][0]
print(json.dumps(out)))";

} // namespace

class TstPictureCalibration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void savedPicturesCarryThePixelSize();
    void openedPictureOffersItsPixelSize();

private:
    QTemporaryDir m_dir;
};

void TstPictureCalibration::initTestCase()
{
    TestEnv::isolate();
    QuorixResources::init();
    VideoFrameYUV::registerMetaType();
    QVERIFY(m_dir.isValid());
}

void TstPictureCalibration::init()
{
    QSettings settings;
    settings.clear();
    settings.setValue(QLatin1String(SettingsKeys::kConfirmOnExit), false);
    installAppLanguage(0);
}

// The demo micrometer at 1280 pixels across is 1 pixel per micrometre: saved with the drawing
// and as a fused image, other programs read exactly 1 um per pixel.
void TstPictureCalibration::savedPicturesCarryThePixelSize()
{
    MessageBoxAnswerer answerer; // a failure would ask; the test then fails instead of waiting
    Fixture f;
    const double perMetre = DemoSpecimen::pixelsPerMicron(1280) * 1e6;
    QCOMPARE(perMetre, 1e6);
    f.calibration()->addMagnification({"Demo", perMetre});
    f.calibration()->setCurrentIndex(0);
    f.calibration()->setCurrentUnit("μm");
    emit f.window->leftBar()->sigSetImage(DemoSpecimen::renderStage(1280, 720, 0));
    f.window->view()->createShape(10);

    const QString saved = m_dir.filePath("micrometer.tif");
    const QString fused = m_dir.filePath("micrometer-fused.png");
    f.save("toolButtonSave", saved);
    f.save("toolButtonFusionImage", fused);
    std::string comment;
    QVERIFY(ExifUserComment::readUserComment(saved, &comment)); // the drawing is still there
    QVERIFY(!f.window->isModified());
    QCOMPARE(answerer.count(), 0);

    const QJsonObject tiff = python(kJudge, saved);
    QCOMPARE(tiff["micrometres"].toDouble(), 1.0);
    QCOMPARE(tiff["unit"].toString(), QString("cm"));
    QCOMPARE(python(kJudge, fused)["micrometres"].toDouble(), 1.0);
}

void TstPictureCalibration::openedPictureOffersItsPixelSize()
{
    MessageBoxAnswerer answerer;
    Fixture f;
    f.calibration()->addMagnification({"10X", 2.5e5});
    f.calibration()->setCurrentIndex(0);
    const QString imagej = m_dir.filePath("imagej.tif");
    QVERIFY(!python("import sys, numpy, tifffile; tifffile.imwrite(sys.argv[1], "
                    "numpy.zeros((64, 64), 'uint8'), imagej=True, resolution=(2, 2), "
                    "metadata={'unit': 'um'}); print('{\"made\": 1}')",
                    imagej)
                 .isEmpty());
    QWidget *row = f.find<QWidget>("widgetPictureCalibration");
    auto *names = f.find<QComboBox>("comboBoxProName");

    // Offered and used at once: 100 pixels are 50 um.
    f.window->onOpenImage(imagej);
    QCOMPARE(f.calibration()->temporaryIndex(), 1);
    QCOMPARE(f.calibration()->currentIndex(), 1);
    QVERIFY(names->currentText().startsWith("图像自带标定 0.5000 μm/px"));
    QVERIFY(!row->isHidden());
    QVERIFY(f.window->statusLabel()->text().contains("0.5000 μm/px"));
    QCOMPARE(DrawingDocument::calibrationObject(f.calibration())["magnification_name"].toString(),
             QString("0.5000 μm/px")); // as a drawing saved now names it, in no language
    GraphicsItemBase *line = f.window->view()->createShape(10);
    line->points() = {QPointF(0, 0), QPointF(100, 0)};
    line->updateShape();
    QVERIFY2(line->labelItem()->text().contains("50.00 (μm)"),
             qPrintable(line->labelItem()->text()));

    // Discarded: the magnification current before comes back; kept: it is stored.
    f.find<QAbstractButton>("pushButtonDiscardPictureCalibration")->click();
    QCOMPARE(f.calibration()->count(), 1);
    QCOMPARE(f.calibration()->currentMagnification().name, QString("10X"));
    QVERIFY(row->isHidden());
    answerer.answer(QMessageBox::Discard); // the line drawn above
    f.window->onOpenImage(imagej);
    QCOMPARE(answerer.count(), 1);
    f.find<QAbstractButton>("pushButtonKeepPictureCalibration")->click();
    QVERIFY(row->isHidden());
    CalibrationData stored;
    stored.loadFromSettings();
    QCOMPARE(stored.count(), 2);
    QCOMPARE(stored.magnifications()[1].name, QString("0.5000 μm/px"));
    QCOMPARE(stored.magnifications()[1].resolution, 2e6);

    // A picture whose drawing brings our calibration, or with no pixel size, offers nothing.
    const QString ours = m_dir.filePath("ours.png");
    f.save("toolButtonSave", ours);
    f.calibration()->setCurrentIndex(0);
    f.window->onOpenImage(ours);
    QCOMPARE(f.calibration()->temporaryIndex(), -1);
    QCOMPARE(f.calibration()->currentMagnification().name, QString("0.5000 μm/px"));
    const QString plain = m_dir.filePath("plain.png");
    QVERIFY(DemoSpecimen::renderStage(64, 64, 0).save(plain));
    f.window->onOpenImage(plain);
    QCOMPARE(f.calibration()->temporaryIndex(), -1);
}

QTEST_MAIN(TstPictureCalibration)
#include "tst_picturecalibration.moc"
