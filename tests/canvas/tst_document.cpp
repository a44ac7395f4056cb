// Tests of the drawing that travels inside a picture file: every shape type saved into PNG, JPEG
// and TIFF (both byte orders) and reopened, exiftool reading our comment, the calibration entry,
// partial and damaged documents, and the files that cannot take a drawing.
#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageBox>
#include <QProcess>

#include "MessageBoxAnswerer.h"
#include "TestEnv.h"
#include "calibration/CalibrationData.h"
#include "canvas/DrawingDocument.h"
#include "canvas/GraphicsScene.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "metadata/ExifUserComment.h"
#include "shapes/GraphicsItemBase.h"
#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"
#include "shapes/TextItem.h"

#include <cmath>

namespace {

QImage specimen()
{
    QImage image(160, 120, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 3 % 256, y * 5 % 256, (x ^ y) % 256));
    }
    return image;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Writes a picture: "png", "jpg", "bmp", or an uncompressed "tif-II" or "tif-MM" in the byte
// order named, which ImageMagick writes and the file's first bytes confirm.
bool makePicture(const QString &format, const QString &path)
{
    if (!format.startsWith("tif"))
        return specimen().save(path, format.toLatin1(), 95);
    const QString png = path + ".png";
    const QString endian = format.endsWith("MM") ? "tiff:endian=msb" : "tiff:endian=lsb";
    return specimen().save(png, "PNG") &&
           QProcess::execute("convert", {png, "-define", endian, "-compress", "none", path}) == 0 &&
           readAll(path).left(2) == format.right(2).toLatin1();
}

// Points on an ellipse, as many as each tool needs for a proper shape, in scene coordinates.
QList<QPointF> pointsFor(int type)
{
    static const QHash<int, int> counts = {{11, 3}, {13, 4}, {14, 3}, {16, 4}, {17, 3},
                                           {18, 3}, {19, 4}, {22, 3}, {23, 5}, {25, 3},
                                           {26, 4}, {27, 8}, {28, 5}, {29, 3}, {30, 4}};
    const int n = counts.value(type, 2);
    QList<QPointF> list;
    for (int k = 0; k < n; ++k) {
        const double a = 0.3 + k * 2 * M_PI / n;
        list << QPointF(400.25 + 100 * std::cos(a), 300.5 + 60 * std::sin(a));
    }
    return list;
}

QList<int> drawingTypes()
{
    QList<int> types;
    for (int t = ShapeTypes::StraightLine; t <= ShapeTypes::Scale; ++t) {
        if (t != ShapeTypes::Text)
            types << t;
    }
    return types;
}

// What a reopened shape must show again.
struct ShapeState
{
    QList<QPointF> points;
    QJsonObject attribute;
    QString label;
};

QMap<int, ShapeState> shapeStates(MeasureGraphicsViewBusiness *view)
{
    QMap<int, ShapeState> states;
    for (GraphicsItemBase *shape : view->allItems()) {
        ShapeState state;
        state.points = shape->scenePoints();
        state.attribute = shape->attribute()->toJson();
        state.label = shape->labelItem() ? shape->labelItem()->text() : QString();
        states.insert(shape->toolType(), state);
    }
    return states;
}

// The records (the table's rows) in their order.
QStringList recordRows()
{
    QStringList rows;
    for (const LineDataBase::Ptr &record : LineDataRegistry::instance()->lines()) {
        const auto *broken = dynamic_cast<const BrokenLineDataItem *>(record.get());
        rows << QString("%1 %2 %3")
                    .arg(record->type())
                    .arg(record->text)
                    .arg(broken && !broken->points.isEmpty() ? broken->points.size() : 0);
    }
    return rows;
}

QByteArray exiftoolComment(const QString &path)
{
    QProcess process;
    process.start("exiftool", {"-b", "-UserComment", path});
    if (!process.waitForFinished(120000))
        return "exiftool did not finish";
    return process.readAllStandardOutput();
}

} // namespace

class TstDocument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void everyShapeSurvivesThePictureFile_data();
    void everyShapeSurvivesThePictureFile();
    void storedDocumentsLoad_data();
    void storedDocumentsLoad();
    void calibrationEntry_data();
    void calibrationEntry();
    void filesThatCannotTakeTheDrawingStayUnchanged_data();
    void filesThatCannotTakeTheDrawingStayUnchanged();
    void pixelSizeBeyondTheFormatKeepsTheDrawing();

private:
    MeasureGraphicsViewBusiness *newView();
    // A PNG at `m_path` whose UserComment is `comment`.
    void pictureWithComment(const QByteArray &comment);

    QTemporaryDir m_dir;
    QString m_path;
    CalibrationData *m_calibration = nullptr;
    QList<MeasureGraphicsViewBusiness *> m_views;
};

void TstDocument::initTestCase()
{
    TestEnv::isolate();
    qRegisterMetaType<LineDataBase::Ptr>();
    qRegisterMetaType<Attribute::Ptr>();
    QVERIFY(m_dir.isValid());
}

void TstDocument::init()
{
    m_calibration = new CalibrationData;
    m_calibration->addMagnification({"10X", 250000.0});
    m_calibration->setCurrentIndex(0);
    m_calibration->setCurrentUnit("mm");
    m_path = m_dir.filePath(QString("picture_%1").arg(QTest::currentDataTag()).replace(' ', '_'));
}

void TstDocument::cleanup()
{
    for (MeasureGraphicsViewBusiness *view : m_views) {
        view->delAllLine();
        delete view;
    }
    m_views.clear();
    TestEnv::runTimersStartedBefore(11); // lets the deferred deletions run
    LineDataRegistry::instance()->clear();
    delete m_calibration;
    m_calibration = nullptr;
}

MeasureGraphicsViewBusiness *TstDocument::newView()
{
    auto *view = new MeasureGraphicsViewBusiness;
    view->setCalibrationData(m_calibration);
    m_views << view;
    return view;
}

void TstDocument::pictureWithComment(const QByteArray &comment)
{
    m_path += ".png";
    QVERIFY(makePicture("png", m_path));
    QVERIFY(ExifUserComment::writeUserComment(m_path, comment.toStdString()));
}

void TstDocument::everyShapeSurvivesThePictureFile_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("png") << "png";
    QTest::newRow("jpeg") << "jpg";
    QTest::newRow("tiff II") << "tif-II";
    QTest::newRow("tiff MM") << "tif-MM";
}

void TstDocument::everyShapeSurvivesThePictureFile()
{
    QFETCH(QString, format);
    m_path += format.startsWith("tif") ? ".tif" : "." + format;
    QVERIFY(makePicture(format, m_path));
    m_calibration->addMagnification({"100X", 2.5e6});
    m_calibration->setCurrentIndex(1);
    m_calibration->setCurrentUnit("μm");

    MeasureGraphicsViewBusiness *view = newView();
    QVERIFY(view->loadImageFile(m_path, true));
    view->handleImageFileOpened(m_path);
    // The file had no drawing yet: the second reading from a temporary copy leaves no copy.
    QVERIFY(QDir::temp().entryList({"velk_load_*"}).isEmpty());
    const QImage pixelsBefore = view->image();
    TextItem *text = view->createTextItem(); // its record before the shapes'
    text->setPos(33.5, 44.25);
    text->setPlainText("样品 A – 3 µm");
    text->attribute()->textLabel.color = QColor("#80112233");
    for (int type : drawingTypes()) {
        GraphicsItemBase *shape = view->createShape(type);
        QVERIFY2(shape, qPrintable(ShapeTypes::key(type)));
        Attribute &a = *shape->attribute();
        a.imgElement.color = QColor::fromHsv(type * 11 % 360, 200, 220, 180);
        a.textLabel.color = QColor::fromRgb(10, type * 7, 200);
        a.imgElement.width = type % 4 + 1;
        a.textLabel.bold = type % 2;
        shape->points() = pointsFor(type);
        shape->updateShape();
    }
    const QMap<int, ShapeState> saved = shapeStates(view);
    const QJsonObject savedTextAttribute = text->attribute()->toJson();
    QCOMPARE(saved.size(), drawingTypes().size());
    // The records keep their order, whatever the stacking order of the items.
    view->itemByName(LineDataRegistry::instance()->lines().at(3)->id)->setZValue(5);
    const QStringList savedRows = recordRows();

    const MessageBoxAnswerer boxes; // a failed save's warning is answered: the test fails at once
    QVERIFY(view->saveWithMetadata(m_path));
    std::string stored;
    QVERIFY(ExifUserComment::readUserComment(m_path, &stored));
    QCOMPARE(exiftoolComment(m_path), QByteArray::fromStdString(stored));

    QImage reread;
    QVERIFY(reread.load(m_path));
    QCOMPARE(reread.convertToFormat(QImage::Format_RGB32),
             pixelsBefore.convertToFormat(QImage::Format_RGB32));

    // A fresh view with another calibration list opens the file as the frame does.
    delete m_calibration;
    m_calibration = new CalibrationData;
    m_calibration->addMagnification({"10X", 250000.0});
    m_calibration->setCurrentIndex(0);
    MeasureGraphicsViewBusiness *reopened = newView();
    QSignalSpy calibrationLoaded(reopened, &MeasureGraphicsViewBusiness::sigCalibrationLoaded);
    QVERIFY(reopened->loadImageFile(m_path, true));
    reopened->handleImageFileOpened(m_path);
    QCOMPARE(calibrationLoaded.count(), 1);
    QCOMPARE(m_calibration->count(), 2);
    QCOMPARE(m_calibration->currentMagnification().name, QString("100X"));
    QCOMPARE(m_calibration->currentMagnification().resolution, 2.5e6);
    QCOMPARE(m_calibration->currentUnit(), QString("μm"));

    const QMap<int, ShapeState> loaded = shapeStates(reopened);
    QCOMPARE(loaded.keys(), saved.keys());
    for (int type : saved.keys()) {
        const ShapeState &before = saved[type];
        const ShapeState &after = loaded[type];
        const QByteArray what = ShapeTypes::key(type).toLatin1();
        QCOMPARE(after.points.size(), before.points.size());
        for (int i = 0; i < before.points.size(); ++i) {
            QVERIFY2(QLineF(after.points[i], before.points[i]).length() < 1e-6, what);
        }
        QVERIFY2(after.attribute == before.attribute, what);
        // Shapes placed by code (not drawn) may not have made their label yet.
        QVERIFY2(before.label.isEmpty() || after.label == before.label,
                 what + ": " + after.label.toUtf8() + " / " + before.label.toUtf8());
    }
    const QList<TextItem *> texts = reopened->allTextItems();
    QCOMPARE(texts.size(), 1);
    QCOMPARE(texts[0]->toPlainText(), QString("样品 A – 3 µm"));
    QCOMPARE(texts[0]->pos(), QPointF(33.5, 44.25));
    QCOMPARE(texts[0]->attribute()->toJson(), savedTextAttribute);
    QCOMPARE(recordRows(), savedRows); // the registry holds the reopened drawing alone
}

void TstDocument::storedDocumentsLoad_data()
{
    QTest::addColumn<QByteArray>("comment");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QList<int>>("types"); // the loaded shapes' types, ascending
    QTest::addColumn<QString>("text");     // the text item's text, if one loads

    auto base64 = [](const char *json) { return QByteArray(json).toBase64(); };
    const char line[] = R"({"type":10,"raw_points":[{"x":1,"y":2},{"x":30,"y":40}]})";
    QTest::newRow("unknown type skipped")
        << base64(QByteArray(R"({"shapes":[{"type":99},)") + line +
                  R"(,{"type":"x"},{"type":12,"raw_points":[{"x":5,"y":5},{"x":50,"y":60}]}]})")
        << true << QList<int>{10, 12} << QString();
    QTest::newRow("no magic, no version, wrapped")
        << base64(QByteArray(R"({"shapes":[)") + line + "]}").insert(20, "\r\n") << true
        << QList<int>{10} << QString();
    QTest::newRow("text without content")
        << base64(R"({"shapes":[{"type":31,"raw_points":[{"x":7,"y":8}]}]})") << true
        << QList<int>{} << "Text";
    QTest::newRow("point far outside any picture")
        << base64(QByteArray(
                      R"({"shapes":[{"type":13,"raw_points":[{"x":1e300,"y":0},{"x":1,"y":1}]},)") +
                  line + "]}")
        << true << QList<int>{10} << QString();
    {
        QJsonArray shapes;
        QList<int> all;
        // Shapes must cope with whatever number of points a file gives them.
        for (int type : drawingTypes()) {
            for (int n : {0, 1, 2, 3, 4, 5, 9}) {
                QJsonArray points;
                for (int i = 0; i < n; ++i)
                    points.append(QJsonObject{{"x", 100 + 10 * i * (i % 3)}, {"y", 50 + 7 * i}});
                shapes.append(QJsonObject{{"type", type}, {"raw_points", points}});
                all << type;
            }
        }
        QTest::newRow("any point count")
            << QJsonDocument(QJsonObject{{"shapes", shapes}}).toJson().toBase64() << true << all
            << QString();
    }
    QTest::newRow("empty comment") << QByteArray() << true << QList<int>{} << QString();
    QTest::newRow("not Base64") << QByteArray("{not base64!}") << false << QList<int>{}
                                << QString();
    QTest::newRow("broken JSON") << base64(R"({"shapes":[{"type":10,)") << false << QList<int>{}
                                 << QString();
}

void TstDocument::storedDocumentsLoad()
{
    QFETCH(QByteArray, comment);
    QFETCH(bool, result);
    QFETCH(QList<int>, types);
    QFETCH(QString, text);
    pictureWithComment(comment);
    MeasureGraphicsViewBusiness *view = newView();
    QVERIFY(view->loadImageFile(m_path, true));
    // A drawing already on the canvas is replaced, text included.
    view->createShape(ShapeTypes::Circle2Point)->points() = pointsFor(ShapeTypes::Circle2Point);
    view->createTextItem()->setPlainText("old");
    QSignalSpy added(view, &MeasureGraphicsViewBusiness::sigAddLine);
    QSignalSpy removed(view, &MeasureGraphicsViewBusiness::sigDelLine);

    QCOMPARE(view->loadFromMetadata(m_path), result);
    QCOMPARE(removed.count(), 2);
    QList<int> loaded;
    for (GraphicsItemBase *shape : view->allItems())
        loaded << shape->toolType();
    std::sort(loaded.begin(), loaded.end());
    QCOMPARE(loaded, types);
    QStringList texts;
    for (TextItem *item : view->allTextItems())
        texts << item->toPlainText();
    QCOMPARE(texts, text.isEmpty() ? QStringList() : QStringList{text});
    QCOMPARE(added.count(), types.size() + texts.size());
    QCOMPARE(LineDataRegistry::instance()->lines().size(), types.size() + texts.size());
}

void TstDocument::calibrationEntry_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("current");
    QTest::addColumn<double>("resolution"); // of the current magnification
    QTest::addColumn<QString>("unit");

    // The list starts as 10X (250000 px/m, current) and 40X (1e6), unit mm.
    QTest::newRow("known name gets the resolution")
        << QByteArray(R"({"magnification_name":"40X","resolution":1200000,"unit":"cm"})")
        << QStringList{"10X", "40X"} << 1 << 1.2e6 << "cm";
    QTest::newRow("bad resolution and unknown unit spoil nothing")
        << QByteArray(R"({"magnification_name":"10X","resolution":-3,"unit":"UM"})")
        << QStringList{"10X", "40X"} << 0 << 250000.0 << "mm";
}

void TstDocument::calibrationEntry()
{
    QFETCH(QByteArray, entry);
    QFETCH(QStringList, names);
    QFETCH(int, current);
    QFETCH(double, resolution);
    QFETCH(QString, unit);
    m_calibration->addMagnification({"40X", 1e6});
    pictureWithComment(QByteArray(R"({"shapes":[],"calibration":)" + entry + "}").toBase64());
    MeasureGraphicsViewBusiness *view = newView();
    QVERIFY(view->loadImageFile(m_path, true));
    QSignalSpy loaded(view, &MeasureGraphicsViewBusiness::sigCalibrationLoaded);
    QVERIFY(view->loadFromMetadata(m_path));
    QCOMPARE(loaded.count(), 1);
    QStringList actual;
    for (const CalibrationData::Magnification &m : m_calibration->magnifications())
        actual << m.name;
    QCOMPARE(actual, names);
    QCOMPARE(m_calibration->currentIndex(), current);
    QCOMPARE(m_calibration->currentMagnification().resolution, resolution);
    QCOMPARE(m_calibration->currentUnit(), unit);
    // The change is kept in the settings.
    CalibrationData stored;
    stored.loadFromSettings();
    QCOMPARE(stored.count(), names.size());
    QCOMPARE(stored.currentIndex(), current);
}

void TstDocument::filesThatCannotTakeTheDrawingStayUnchanged_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("polygonPoints");
    QTest::addColumn<bool>("viaSlot");
    QTest::addColumn<QString>("message"); // a part of the warning shown

    QTest::newRow("bmp via slot") << "bmp" << 3 << true << "BMP";
    QTest::newRow("bmp") << "bmp" << 3 << false << "BMP";
    QTest::newRow("jpeg too small for drawing") // tells the room: 65475 bytes
        << "jpg" << 6000 << false << "最多只能容纳 63.9 KB";
    QTest::newRow("truncated png") << "png-cut" << 3 << false << "损坏";
}

void TstDocument::filesThatCannotTakeTheDrawingStayUnchanged()
{
    QFETCH(QString, format);
    QFETCH(int, polygonPoints);
    QFETCH(bool, viaSlot);
    QFETCH(QString, message);
    m_path += "." + format.left(3);
    QVERIFY(makePicture(format.left(3), m_path));
    MeasureGraphicsViewBusiness *view = newView();
    QVERIFY(view->loadImageFile(m_path, true));
    if (format == "png-cut")
        QVERIFY(writeAll(m_path, readAll(m_path).chopped(40)));
    GraphicsItemBase *polygon = view->createShape(ShapeTypes::Polygon);
    for (int i = 0; i < polygonPoints; ++i)
        polygon->points() << QPointF(i * 0.123456789, std::sin(i) * 100.123456789);
    const QByteArray before = readAll(m_path);

    MessageBoxAnswerer boxes;
    if (viaSlot)
        view->onSaveImg(m_path);
    else
        QVERIFY(!view->saveWithMetadata(m_path));
    QCOMPARE(boxes.texts().size(), 1);
    QVERIFY2(boxes.texts().first().contains(message), qPrintable(boxes.texts().first()));
    QCOMPARE(readAll(m_path), before);
    QVERIFY(!QFileInfo::exists(m_path + ".velk_tmp"));
}

void TstDocument::pixelSizeBeyondTheFormatKeepsTheDrawing()
{
    // A PNG records whole pixels per metre below 2^31: the drawing is saved without the size.
    m_calibration->setMagnification(0, {"10X", 3e9});
    m_path += ".png";
    QVERIFY(makePicture("png", m_path));
    MeasureGraphicsViewBusiness *view = newView();
    QVERIFY(view->loadImageFile(m_path, true));
    view->createShape(ShapeTypes::StraightLine)->points() << QPointF(1, 2) << QPointF(30, 40);
    QString error;
    QVERIFY(!view->saveWithMetadata(m_path, &error));
    QVERIFY2(error.contains("像素尺寸未能写入"), qPrintable(error));
    QByteArray text;
    QVERIFY(DrawingDocument::readComment(m_path, &text));
    QVERIFY(text.size() > 0);
    PixelSize::Reading reading;
    QVERIFY(!ExifUserComment::readPixelSize(m_path, &reading));
}

QTEST_MAIN(TstDocument)
#include "tst_document.moc"
