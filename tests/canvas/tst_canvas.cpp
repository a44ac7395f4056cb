// Tests of the canvas scene, view and frame: fit and zoom, reduced display, saving, crosshair,
// selection reporting and the recording overlay.
#include <QtTest>

#include <QGraphicsPixmapItem>
#include <QImageReader>
#include <QLabel>
#include <QPainter>

#include <sys/stat.h>

#include "TestEnv.h"
#include "calibration/CalibrationData.h"
#include "canvas/GraphicsScene.h"
#include "canvas/MeasureFrame.h"
#include "canvas/MeasureGraphicsView.h"
#include "metadata/ExifUserComment.h"
#include "preview/VideoOpenGLWidget.h"
#include "shapes/BrokenLineItem.h"
#include "shapes/LabelItem.h"
#include "shapes/StraightLineItem.h"
#include "shapes/TextItem.h"

// A picture with some structure: gradient, discs and a scale-like row of ticks.
static QImage samplePhoto(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(70, 90, 60));
    g.setColorAt(1, QColor(180, 170, 140));
    p.fillRect(image.rect(), g);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 12; ++i) {
        p.setBrush(QColor(120 + i * 8, 60, 90, 160));
        p.setPen(QPen(QColor(40, 20, 30), 2));
        p.drawEllipse(QPointF((i * 137) % w, (i * 89) % h), 30 + i * 3, 24 + i * 2);
    }
    return image;
}

// Whether the view took the wheel event.
static bool sendWheel(QWidget *viewport, const QPoint &pos, int delta)
{
    QWheelEvent wheel(pos, viewport->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    wheel.ignore();
    QApplication::sendEvent(viewport, &wheel);
    return wheel.isAccepted();
}

class TstCanvas : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fitMayExceedTheZoomLimitsAndSurvivesSameSize();
    void zoomIsClamped_data();
    void zoomIsClamped();
    void resizeRefitsOnlyInFitMode();
    void reducedDisplayKeepsFullResolutionScene();
    void crosshairTicks_data();
    void crosshairTicks();
    void calibrationPointerIsGuardedAndCarriedOver();
    void nameIndexAndRemoval();
    void selectionReportsAttribute();
    void recordingOverlayIsCreatedOnce();
    void frameForwardsZoomRejectsUnreadableFilesAndShowsPreview();
    void picturesSaved_data();
    void picturesSaved();

private:
    QTemporaryDir m_dir;
};

void TstCanvas::initTestCase()
{
    TestEnv::isolate();
    QVERIFY(m_dir.isValid());
}

// A shown view with a 1000 x 800 viewport.
struct ViewFixture
{
    ViewFixture()
    {
        view.setFrameShape(QFrame::NoFrame);
        view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.resize(1000, 800);
        view.show();
    }
    MeasureGraphicsView view;
};

// A second picture of the same size keeps the zoom; another size is fitted again.
void TstCanvas::fitMayExceedTheZoomLimitsAndSurvivesSameSize()
{
    ViewFixture f;
    QSignalSpy zoom(&f.view, &MeasureGraphicsView::sigCanvasZoomChanged);
    f.view.setBackgroundImage(samplePhoto(20, 20), true);
    QCOMPARE(f.view.canvasZoom(), 40.0); // min(1000/20, 800/20)
    QVERIFY(f.view.fitMode());
    QCOMPARE(zoom.last().first().toDouble(), 40.0);
    QCOMPARE(f.view.graphicsScene()->zoom(), 40.0);
    f.view.setCanvasZoom(3.0);
    f.view.setBackgroundImage(samplePhoto(20, 20), false);
    QCOMPARE(f.view.canvasZoom(), 3.0);
    f.view.setBackgroundImage(samplePhoto(500, 400), false);
    QCOMPARE(f.view.canvasZoom(), 2.0); // min(1000/500, 800/400)
    QCOMPARE(f.view.graphicsScene()->sceneRect(), QRectF(0, 0, 500, 400));
}

void TstCanvas::zoomIsClamped_data()
{
    QTest::addColumn<bool>("picture");
    QTest::addColumn<double>("request");
    QTest::addColumn<int>("wheelNotches"); // instead of the request, when not 0
    QTest::addColumn<double>("zoom");
    QTest::newRow("inside") << true << 2.5 << 0 << 2.5;
    QTest::newRow("above") << true << 25.0 << 0 << 10.0;
    QTest::newRow("below") << true << 0.01 << 0 << 0.1;
    QTest::newRow("negative") << true << -3.0 << 0 << 0.1;
    QTest::newRow("wheel in") << true << 0.0 << 40 << 10.0;
    QTest::newRow("wheel out") << true << 0.0 << -80 << 0.1;
    // Without a picture nothing zooms, and the wheel is still taken.
    QTest::newRow("no picture") << false << 3.0 << 0 << 1.0;
    QTest::newRow("no picture, wheel") << false << 0.0 << 1 << 1.0;
}

void TstCanvas::zoomIsClamped()
{
    QFETCH(bool, picture);
    QFETCH(double, request);
    QFETCH(int, wheelNotches);
    QFETCH(double, zoom);
    ViewFixture f;
    if (picture)
        f.view.setBackgroundImage(samplePhoto(400, 300), true);
    QSignalSpy changed(&f.view, &MeasureGraphicsView::sigCanvasZoomChanged);
    if (wheelNotches == 0)
        f.view.setCanvasZoom(request);
    for (int i = 0; i < qAbs(wheelNotches); ++i)
        QVERIFY(sendWheel(f.view.viewport(), QPoint(300, 200), wheelNotches > 0 ? 120 : -120));
    QCOMPARE(f.view.canvasZoom(), zoom);
    QCOMPARE(f.view.transform().m11(), zoom);
    QCOMPARE(changed.isEmpty(), !picture);
    QVERIFY(!f.view.fitMode() || !picture);
}

void TstCanvas::resizeRefitsOnlyInFitMode()
{
    ViewFixture f;
    f.view.setBackgroundImage(samplePhoto(2000, 1000), true);
    QCOMPARE(f.view.canvasZoom(), 0.5);
    f.view.resize(600, 800);
    QCOMPARE(f.view.canvasZoom(), 0.3);

    f.view.setCanvasZoom(2.0);
    f.view.centerOn(500, 300);
    const QPointF centre = f.view.mapToScene(f.view.viewport()->rect().center());
    f.view.resize(900, 700);
    QCOMPARE(f.view.canvasZoom(), 2.0);
    QCOMPARE(f.view.transform().m11(), 2.0);
    const QPointF after = f.view.mapToScene(f.view.viewport()->rect().center());
    QVERIFY(QLineF(centre, after).length() < 1.0);
}

void TstCanvas::reducedDisplayKeepsFullResolutionScene()
{
    ViewFixture f;
    const QImage big = samplePhoto(3000, 2000);
    f.view.updateFrameImage(samplePhoto(3000, 2000)); // first frame builds the scene
    f.view.updateFrameImage(big);
    QGraphicsPixmapItem *item = f.view.backgroundItem();
    QVERIFY(item);
    QVERIFY(item->pixmap().width() <= 1000 && item->pixmap().height() <= 720);
    QCOMPARE(f.view.graphicsScene()->sceneRect(), QRectF(0, 0, 3000, 2000));
    QRectF shown = item->sceneBoundingRect();
    QVERIFY(qAbs(shown.width() - 3000) < 3.5 && qAbs(shown.height() - 2000) < 3.5);

    // A shape placed at full-resolution coordinates is measured in full-resolution pixels.
    auto *line = new StraightLineItem(nullptr);
    f.view.addItem(line);
    line->addPointF({0, 0}, -1);
    line->addPointF({3000, 0}, -1);
    QCOMPARE(line->labelItem()->text(), QString("L: 3000.0 (px)"));

    // Saving and composing use the full-resolution picture, not the reduced pixmap.
    const QImage composed = f.view.composeImage();
    QCOMPARE(composed.size(), QSize(3000, 2000));
    QCOMPARE(QColor(composed.pixel(1500, 1500)).name(), QColor(big.pixel(1500, 1500)).name());
    QVERIFY(item->pixmap().width() <= 1000); // the display is restored afterwards
    const QString path = m_dir.filePath("background.png");
    QVERIFY(f.view.saveBackgroundImage(path));
    const QImage back(path);
    QCOMPARE(back.size(), QSize(3000, 2000));
    QCOMPARE(back.pixel(1234, 567), big.pixel(1234, 567));

    // A preview frame is stretched over the picture's size, whatever its aspect.
    f.view.updatePreviewImage(samplePhoto(640, 480));
    shown = item->sceneBoundingRect();
    QVERIFY(qAbs(shown.width() - 3000) < 0.5 && qAbs(shown.height() - 2000) < 0.5);
    f.view.updatePreviewImage(samplePhoto(1500, 1000));
    QCOMPARE(item->scale(), 2.0);
}

void TstCanvas::crosshairTicks_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<double>("step");
    QTest::newRow("every 20, long every 200") << 1 << 20.0;
    QTest::newRow("every 40, long every 400") << 2 << 40.0;
}

void TstCanvas::crosshairTicks()
{
    QFETCH(int, interval);
    QFETCH(double, step);
    GraphicsScene scene;
    scene.setSceneRect(0, 0, 1000, 600);
    scene.setCrosshairVisible(true);
    QVERIFY(scene.crosshairLines().isEmpty()); // no picture yet
    scene.setImageSize(QSize(1000, 600));
    scene.setTickIntervalMultiplier(interval);
    scene.setTickHeightMultiplier(1);
    const QVector<QLineF> lines = scene.crosshairLines();
    QCOMPARE(lines[0], QLineF(0, 300, 1000, 300));
    QCOMPARE(lines[1], QLineF(500, 0, 500, 600));
    // Ticks on the horizontal axis right of the centre, keyed by distance -> half-length.
    QMap<double, double> ticks;
    for (const QLineF &l : lines.mid(2)) {
        if (l.x1() == l.x2() && l.x1() > 500 && l.y1() == 300)
            ticks[l.x1() - 500] = qMax(ticks.value(l.x1() - 500), qAbs(l.y2() - l.y1()));
    }
    QCOMPARE(ticks.firstKey(), step);
    QCOMPARE(ticks.lastKey(), std::floor(500 / step) * step);
    QCOMPARE(ticks.size(), int(500 / step));
    QCOMPARE(ticks.value(10 * step), 20.0); // major
    QCOMPARE(ticks.value(step), 8.0);       // minor
    scene.setCrosshairVisible(false);
    QVERIFY(scene.crosshairLines().isEmpty());
}

void TstCanvas::calibrationPointerIsGuardedAndCarriedOver()
{
    ViewFixture f;
    auto *calibration = new CalibrationData;
    calibration->addMagnification({"10X", 1e6});
    calibration->setCurrentIndex(0);
    calibration->setCurrentUnit("mm");
    f.view.setCalibrationData(calibration);
    f.view.setCrosshairVisible(true);
    f.view.setBackgroundImage(samplePhoto(400, 300), true); // rebuilds the scene
    GraphicsScene *scene = f.view.graphicsScene();
    QCOMPARE(scene->calibrationData(), calibration);
    QVERIFY(scene->crosshairVisible());

    auto *line = new StraightLineItem(nullptr);
    f.view.addItem(line);
    line->addPointF({0, 0}, -1);
    line->addPointF({0, 250}, -1);
    QCOMPARE(line->labelItem()->text(), QString("L: 0.25 (mm)"));
    delete calibration;
    QVERIFY(!scene->calibrationData());
    line->updateShape();
    QCOMPARE(line->labelItem()->text(), QString("L: 250.0 (px)"));
}

void TstCanvas::nameIndexAndRemoval()
{
    ViewFixture f;
    f.view.setBackgroundImage(samplePhoto(400, 300), true);
    auto *a = new StraightLineItem(nullptr);
    auto *b = new BrokenLineItem(nullptr);
    a->setZValue(-5);
    f.view.addItem(a);
    f.view.addItem(b);
    QCOMPARE(a->zValue(), 0.0);
    QVERIFY(a->flags() & QGraphicsItem::ItemSendsGeometryChanges);
    QCOMPARE(f.view.itemByName(a->lineData()->id), a);
    QCOMPARE(f.view.allItems().size(), 2);
    f.view.removeItem(a);
    QVERIFY(!f.view.itemByName(a->lineData()->id));
    QVERIFY(!a->scene());
    delete a;
    f.view.clearAll();
    QVERIFY(f.view.allItems().isEmpty());
    QVERIFY(!f.view.backgroundItem());
}

void TstCanvas::selectionReportsAttribute()
{
    ViewFixture f;
    f.view.setBackgroundImage(samplePhoto(400, 300), true);
    QSignalSpy spy(&f.view, &MeasureGraphicsView::sigChoosedItemChanged);
    auto *line = new StraightLineItem(nullptr);
    f.view.addItem(line);
    line->addPointF({10, 10}, -1);
    line->addPointF({100, 10}, -1);
    auto *text = new TextItem;
    f.view.addItem(text);

    line->setSelected(true);
    QCOMPARE(spy.last().first().value<Attribute::Ptr>(), line->attribute());
    line->setSelected(false);
    line->labelItem()->setSelected(true); // the label speaks for its shape
    QCOMPARE(spy.last().first().value<Attribute::Ptr>(), line->attribute());
    f.view.graphicsScene()->clearSelection();
    QVERIFY(!spy.last().first().value<Attribute::Ptr>());
    text->setSelected(true);
    QCOMPARE(spy.last().first().value<Attribute::Ptr>(), text->attribute());
    text->attribute()->textLabel.fontSize = 13;
    f.view.onAttributeDataChanged();
    QCOMPARE(text->font().pointSize(), 13);

    const int before = spy.count();
    f.view.setSuppressSelectionSignal(true);
    line->setSelected(true);
    QCOMPARE(spy.count(), before);

    // A press on the empty canvas clears the selection.
    QVERIFY(QTest::qWaitForWindowExposed(&f.view, 60000));
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, f.view.mapFromScene(300, 250));
    QVERIFY(!line->isSelected());
}

void TstCanvas::recordingOverlayIsCreatedOnce()
{
    ViewFixture f;
    f.view.setRecordingOverlay(true);
    f.view.setRecordingOverlay(true);
    const QList<QLabel *> labels = f.view.findChildren<QLabel *>();
    QCOMPARE(labels.size(), 2);
    auto *time = f.view.findChild<QLabel *>("recordTimeLabel");
    QCOMPARE(time->text(), QString("REC  00:00:00"));
    QVERIFY(time->isVisible());
    QVERIFY(time->geometry().right() <= f.view.width() - 12);
    f.view.setRecordingOverlay(false);
    QVERIFY(!time->isVisible());
}

void TstCanvas::frameForwardsZoomRejectsUnreadableFilesAndShowsPreview()
{
    // Never shown: the GL widget gets no context on the offscreen platform.
    MeasureFrame frame;
    frame.resize(800, 600);
    QSignalSpy spy(&frame, &MeasureFrame::canvasZoomChanged);
    const QString path = m_dir.filePath("photo.png");
    QVERIFY(samplePhoto(400, 300).save(path));
    QVERIFY(frame.openImageFile(path));
    QVERIFY(spy.count() >= 1);
    QCOMPARE(spy.last().first().toDouble(), frame.view()->canvasZoom());
    QCOMPARE(frame.view()->imageSize(), QSize(400, 300));
    QVERIFY(!frame.openImageFile(m_dir.filePath("none.png")));
    QCOMPARE(frame.view()->imageSize(), QSize(400, 300));

    // The live preview covers the background while frames arrive.
    QVERIFY(!frame.previewWidget()->isVisibleTo(&frame));
    VideoFrameYUV yuv;
    yuv.width = 64;
    yuv.height = 48;
    yuv.y = QByteArray(64 * 48, char(128));
    yuv.u = QByteArray(32 * 24, char(128));
    yuv.v = QByteArray(32 * 24, char(128));
    frame.showYuvFrame(yuv);
    QVERIFY(frame.previewWidget()->isVisibleTo(&frame));
    QVERIFY(!frame.view()->backgroundItem()->isVisible());
    frame.setPreviewWidgetVisible(false);
    QVERIFY(!frame.previewWidget()->isVisibleTo(&frame));
    QVERIFY(frame.view()->backgroundItem()->isVisible());
}

void TstCanvas::picturesSaved_data()
{
    QTest::addColumn<bool>("fused"); // else the background alone
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("fused jpeg") << true << "fused.jpg" << QByteArray("jpeg");
    QTest::newRow("fused JPEG upper case") << true << "fused.JPEG" << QByteArray("jpeg");
    QTest::newRow("fused bmp") << true << "fused.bmp" << QByteArray("bmp");
    QTest::newRow("fused tif") << true << "fused.tif" << QByteArray("tiff");
    QTest::newRow("fused, unknown suffix is png") << true << "fused.xyz" << QByteArray("png");
    QTest::newRow("background jpg") << false << "background.jpg" << QByteArray("jpeg");
    QTest::newRow("background tif") << false << "background.tif" << QByteArray("tiff");
}

// A picture replaces the file it is saved over in one step: a write that fails (the file size this
// process may write reached midway, a folder in the target's place) leaves what was there and no
// temporary file. The fused picture is the drawing over the picture without selection handles and
// without alpha where the format has none, and carries the calibration's pixel size from the start.
void TstCanvas::picturesSaved()
{
    QFETCH(bool, fused);
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    ViewFixture f;
    CalibrationData calibration;
    calibration.addMagnification({"10X", 2e6});
    calibration.setCurrentIndex(0);
    f.view.setCalibrationData(&calibration);
    QImage picture(200, 100, QImage::Format_ARGB32); // the left half fully transparent
    picture.fill(QColor(0, 0, 255));
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            picture.setPixel(x, y, qRgba(0, 0, 0, 0));
    f.view.setBackgroundImage(picture, true);
    auto *line = new StraightLineItem(nullptr);
    f.view.addItem(line);
    line->attribute()->imgElement.width = 6;
    line->addPointF({110, 80}, -1);
    line->addPointF({190, 80}, -1);
    line->setSelected(true);
    const auto save = [&](const QString &path) {
        return fused ? f.view.saveFusedImage(path) : f.view.saveBackgroundImage(path);
    };
    const auto inode = [](const QString &path) {
        struct stat info = {};
        ::stat(QFile::encodeName(path).constData(), &info);
        return info.st_ino;
    };
    const QString path = m_dir.filePath(name);
    const QByteArray older(5000, 'o');
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(older) == older.size());
    file.close();
    const ino_t before = inode(path);

    {
        TestEnv::FileSizeLimit limit(100);
        QVERIFY(!save(path));
    }
    const QString folder = path + ".folder";
    QVERIFY(QDir().mkpath(folder + "/kept"));
    QVERIFY(!save(folder));
    QVERIFY(QFileInfo::exists(folder + "/kept"));
    for (const QString &target : {path, folder})
        QVERIFY(!QFileInfo::exists(target + ".velk_tmp"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), older);
    file.close();

    QVERIFY(save(path));
    QVERIFY(inode(path) != before);
    QVERIFY(!QFileInfo::exists(path + ".velk_tmp"));
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), format);
    PixelSize::Reading reading;
    QCOMPARE(ExifUserComment::readPixelSize(path, &reading), fused && format != "bmp");
    if (!fused) { // the bytes QImage::save() writes
        const QString reference = m_dir.filePath("reference." + QFileInfo(name).suffix());
        QVERIFY(f.view.image().save(reference, nullptr, format == "jpeg" ? 90 : -1));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QFile expected(reference);
        QVERIFY(expected.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == expected.readAll());
        return;
    }
    if (format != "bmp")
        QCOMPARE(reading.xPerMetre, 2e6);
    QVERIFY(line->isSelected()); // the user's selection survives the save
    const QImage back = reader.read();
    QCOMPARE(back.size(), QSize(200, 100));
    const int tolerance = format == "jpeg" ? 12 : 0;
    const auto near = [tolerance](QRgb a, QColor b) {
        return qAbs(qRed(a) - b.red()) <= tolerance && qAbs(qGreen(a) - b.green()) <= tolerance &&
               qAbs(qBlue(a) - b.blue()) <= tolerance;
    };
    if (format != "png") {
        QVERIFY(!back.hasAlphaChannel());
        QVERIFY(near(back.pixel(30, 30), Qt::white)); // transparent became white
    }
    QVERIFY(near(back.pixel(150, 30), QColor(0, 0, 255)));
    QVERIFY(near(back.pixel(150, 80), QColor(255, 0, 0))); // the line is in the picture
    if (tolerance == 0) { // no selection handle: the opaque half is the drawing as unselected
        line->setSelected(false);
        const QImage plain = f.view.renderSceneToImage().copy(100, 0, 100, 100);
        QCOMPARE(back.copy(100, 0, 100, 100).convertToFormat(plain.format()), plain);
    }
}

QTEST_MAIN(TstCanvas)
#include "tst_canvas.moc"
