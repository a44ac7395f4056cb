// tst_mainwindow_actions.cpp: the main window's actions offscreen, with injected file dialogs,
// each outcome judged by an independent reader: exiftool for the drawing in saved pictures,
// python-docx and openpyxl for reports, Python's csv module for the table, ImageMagick's identify
// for fused images; and the unsaved-drawing question losing nothing when a save fails.
#include "MessageBoxAnswerer.h"
#include "TestEnv.h"
#include "app/AppLanguage.h"
#include "calibration/CalibrationData.h"
#include "camera/Camera.h"
#include "camera/CameraClock.h"
#include "camera/DemoEncoders.h"
#include "camera/DeviceMonitor.h"
#include "camera/FrameConversion.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/V4l2CaptureBackend.h"
#include "canvas/MeasureFrame.h"
#include "metadata/ExifUserComment.h"
#include "panels/LeftBarWidget.h"
#include "panels/RightWidget.h"
#include "resources/QuorixResources.h"
#include "settings/SettingsKeys.h"
#include "shapes/GraphicsItemBase.h"
#include "ui/mainwindow/MainWidget.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <functional>

namespace {

QImage picture(int width = 800, int height = 600)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(90, 140, 200));
    return image;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The drawing document in the picture's UserComment as exiftool reads it.
QJsonObject drawingOf(const QString &path)
{
    const QString comment = run(QStringLiteral("exiftool"), {"-b", "-UserComment", path});
    return QJsonDocument::fromJson(QByteArray::fromBase64(comment.toLatin1())).object();
}

int straightLinesIn(const QJsonObject &drawing)
{
    int count = 0;
    for (const QJsonValue &shape : drawing.value("shapes").toArray())
        count += shape.toObject().value("type").toInt() == 10;
    return count;
}

// A window on a scripted camera (nothing starts by itself), its dialogs answered by the test.
struct Fixture
{
    ScriptedV4l2Device device;
    std::unique_ptr<MainWidget> window;
    QString chosenFile;         // what every save dialog answers
    QString chosenFilter;       // the filter it reports as chosen, when set
    QStringList dialogCaptions; // the save dialogs shown

    Fixture()
    {
        device.clearFormats();
        device.addFormat(FrameConversion::kFourccMjpg, {{640, 480, {30}}});
        window = std::make_unique<MainWidget>(std::make_unique<V4l2CaptureBackend>(device.io()),
                                              std::make_unique<PipeDeviceEventSource>());
        window->setReportTemplateDir(TestEnv::binDir() + "/template");
        const auto answer = [this](const QString &caption, QString *selectedFilter) {
            dialogCaptions << caption;
            if (selectedFilter && !chosenFilter.isEmpty())
                *selectedFilter = chosenFilter;
            return chosenFile;
        };
        window->setSaveFileNameProvider(
            [answer](QWidget *, const QString &caption, const QString &, const QString &,
                     QString *selected) { return answer(caption, selected); });
        window->leftBar()->setSaveFileNameProvider(
            [answer](QWidget *, const QString &caption, const QString &, const QString &,
                     QString *selected) { return answer(caption, selected); });
        window->rightWidget()->setSaveFileNameProvider(
            [answer](QWidget *, const QString &caption, const QString &, const QString &) {
                return answer(caption, nullptr);
            });
    }
    MeasureGraphicsViewBusiness *view() const { return window->view(); }
    // A camera frame as the camera delivers it: the left bar keeps it and the canvas shows it.
    void showFrame() { window->leftBar()->updateFrame(picture()); }
    void drawLines()
    {
        for (int i = 0; i < 2; ++i) {
            GraphicsItemBase *line = view()->createShape(10);
            line->points() = {QPointF(100 + 50 * i, 100), QPointF(300 + 70 * i, 220)};
            line->updateShape();
            emit view()->sigLineDataChanged(line->lineData()); // as a drag announces it
        }
    }
    void click(QWidget *area, const char *name)
    {
        area->findChild<QToolButton *>(QLatin1String(name))->click();
    }
    // The title as the user sees it: in the window's own title bar, with the unsaved mark.
    QString shownTitle() const
    {
        const QString shown = window->findChild<QLabel *>("labelAppName")->text();
        return shown == window->windowTitle() ? shown : QStringLiteral("label and title differ");
    }
    int lines() const
    {
        int count = 0;
        for (GraphicsItemBase *item : view()->allItems())
            count += item->toolType() == 10;
        return count;
    }
};

} // namespace

class TstMainWindowActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void savedPictureCarriesTheDrawing_data();
    void savedPictureCarriesTheDrawing();
    void saveQuestionLosesNothing_data();
    void saveQuestionLosesNothing();
    void exitSaveTakesThePictureOnScreen();
    void failedOpenChangesNothing_data();
    void failedOpenChangesNothing();
    void unreadDrawingIsTold_data();
    void unreadDrawingIsTold();
    void reportHoldsTheTable_data();
    void reportHoldsTheTable();
    void reportFailuresAreReported_data();
    void reportFailuresAreReported();
    void csvHoldsTheTable();
    void fusedImage_data();
    void fusedImage();

private:
    QString m_dir;
};

void TstMainWindowActions::initTestCase()
{
    m_dir = TestEnv::isolate();
    QuorixResources::init();
    VideoFrameYUV::registerMetaType();
}

void TstMainWindowActions::init()
{
    QSettings settings;
    settings.clear();
    settings.setValue(QLatin1String(SettingsKeys::kConfirmOnExit), false);
    settings.setValue(QLatin1String(SettingsKeys::kSuppressSaveNotification), true);
    installAppLanguage(0);
}

enum Outcome { Stored, PictureOnly, Failed };

// A capture (written by the left bar) or the save button (the picture written by the window),
// then the drawing embedded; a failed embedding or a BMP keeps the drawing unsaved.
void TstMainWindowActions::savedPictureCarriesTheDrawing_data()
{
    QTest::addColumn<bool>("capture");
    QTest::addColumn<int>("fileType");    // 0 PNG, 1 JPG, 2 BMP, 3 TIFF
    QTest::addColumn<bool>("blockWrite"); // the atomic replace cannot create its temporary file
    QTest::addColumn<int>("outcome");
    QTest::newRow("capture png") << true << 0 << false << int(Stored);
    QTest::newRow("capture jpg") << true << 1 << false << int(Stored);
    QTest::newRow("capture tiff") << true << 3 << false << int(Stored);
    QTest::newRow("capture bmp") << true << 2 << false << int(PictureOnly);
    QTest::newRow("save button tiff") << false << 3 << false << int(Stored);
    QTest::newRow("save button, write fails") << false << 0 << true << int(Failed);
}

void TstMainWindowActions::savedPictureCarriesTheDrawing()
{
    QFETCH(bool, capture);
    QFETCH(int, fileType);
    QFETCH(bool, blockWrite);
    QFETCH(int, outcome);
    const QString suffix = QStringList{"png", "jpg", "bmp", "tif"}.at(fileType);
    QTemporaryDir dir(m_dir + "/save-XXXXXX");
    QSettings settings;
    settings.setValue(QLatin1String(SettingsKeys::kUsePresetPath), true);
    settings.setValue(QLatin1String(SettingsKeys::kSavePath), dir.path());
    settings.setValue(QLatin1String(SettingsKeys::kFileType), fileType);

    Fixture f;
    f.showFrame();
    f.drawLines();
    QVERIFY(f.window->isModified());
    MessageBoxAnswerer boxes;
    QString path;
    if (capture) {
        f.click(f.window->leftBar(), "toolButtonCapture");
        const QStringList files = QDir(dir.path()).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        path = dir.filePath(files.first());
    } else {
        settings.setValue(QLatin1String(SettingsKeys::kUsePresetPath), false);
        path = dir.filePath("picture." + suffix);
        f.chosenFile = path;
        if (blockWrite)
            QVERIFY(QDir().mkdir(path + ".velk_tmp"));
        f.click(f.window->leftBar(), "toolButtonSave");
    }
    QVERIFY(path.endsWith("." + suffix));
    // The picture is there unless its own write was blocked.
    QCOMPARE(QImage(path).size(), blockWrite ? QSize(0, 0) : QSize(800, 600));

    if (outcome == Stored) {
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(straightLinesIn(drawingOf(path)), 2);
        QVERIFY(!f.window->isModified());
        QCOMPARE(f.shownTitle(), QString("QUORIX"));
        QCOMPARE(f.window->currentImagePath(), path);
        QCOMPARE(f.window->statusLabel()->text(), QFileInfo(path).fileName() + " 保存成功");
        // Reopened, the picture brings its drawing back without counting as a change.
        Fixture reopened;
        reopened.window->onOpenImage(path);
        QCOMPARE(reopened.lines(), 2);
        QVERIFY(!reopened.window->isModified());
        QCOMPARE(reopened.shownTitle(), QString("QUORIX"));
        return;
    }
    // The user is told, and the drawing stays on the canvas, unsaved.
    QCOMPARE(boxes.count(), 1);
    QVERIFY2(boxes.texts().first().contains(outcome == PictureOnly ? "BMP" : path),
             qPrintable(boxes.texts().first()));
    QVERIFY(drawingOf(path).isEmpty());
    QCOMPARE(f.lines(), 2);
    QVERIFY(f.window->isModified());
    QCOMPARE(f.shownTitle(), QString("QUORIX*"));
}

using Trigger = std::function<bool(Fixture &, const QString &other)>; // true: it went on
Q_DECLARE_METATYPE(Trigger)

// Opening another picture, starting the camera and closing the window (while the setting says so)
// all ask first. Cancel changes nothing; a save that fails keeps the drawing on the canvas,
// unsaved, and says why; only a save that worked or a discard lets the action go on.
void TstMainWindowActions::saveQuestionLosesNothing_data()
{
    const Trigger open = [](Fixture &f, const QString &other) {
        f.window->onOpenImage(other);
        return f.window->currentImagePath() == other;
    };
    const Trigger camera = [](Fixture &f, const QString &) {
        emit f.window->leftBar()->sigRequestStartCamera();
        const bool opened = f.window->leftBar()->camera()->isOpened();
        f.window->leftBar()->closeCamera();
        return opened;
    };
    const Trigger close = [](Fixture &f, const QString &) { return f.window->close(); };
    const Trigger closeUnasked = [](Fixture &f, const QString &) {
        QSettings().setValue(QLatin1String(SettingsKeys::kConfirmOnExit), false);
        return f.window->close();
    };

    QTest::addColumn<Trigger>("trigger");
    QTest::addColumn<bool>("fromFile");      // the drawing was made on an opened PNG file
    QTest::addColumn<QString>("target");     // the save dialog's answer ("" when not asked)
    QTest::addColumn<QList<int>>("answers"); // the buttons of the boxes, in order
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<QString>("message"); // part of the last box's text on failure
    const QList<int> save{QMessageBox::Save};
    // clang-format off
    QTest::newRow("open, cancel") << open << true << "" << QList<int>{QMessageBox::Cancel} << false << "";
    QTest::newRow("camera, discard") << camera << true << "" << QList<int>{QMessageBox::Discard} << true << "";
    QTest::newRow("close, save into the opened file") << close << true << "" << save << true << "";
    QTest::newRow("camera, save as png") << camera << false << "new.png" << save << true << "";
    QTest::newRow("open, save into the opened file fails") << open << true << "" << save << false << "opened.png";
    QTest::newRow("camera, folder where the file should be") << camera << false << "folder.png" << save << false << "folder.png";
    QTest::newRow("close, save as png fails") << close << false << "blocked.png" << save << false << "blocked.png";
    QTest::newRow("close, the question switched off") << closeUnasked << false << "" << QList<int>{} << true << "";
    QTest::newRow("open, bmp declined") << open << false << "plain.bmp" << QList<int>{QMessageBox::Save, QMessageBox::No} << false << "BMP";
    QTest::newRow("camera, suffix names a picture, not replaced") << camera << false << "opened" << QList<int>{QMessageBox::Save, QMessageBox::No} << false << "opened.png 已存在";
    // clang-format on
}

void TstMainWindowActions::saveQuestionLosesNothing()
{
    QFETCH(Trigger, trigger);
    QFETCH(bool, fromFile);
    QFETCH(QString, target);
    QFETCH(QList<int>, answers);
    QFETCH(bool, goesOn);
    QFETCH(QString, message);
    QSettings().setValue(QLatin1String(SettingsKeys::kConfirmOnExit), true);
    QTemporaryDir dir(m_dir + "/question-XXXXXX");
    const QString other = dir.filePath("other.png");
    QVERIFY(picture(320, 240).save(other));
    const QString opened = dir.filePath("opened.png");
    QVERIFY(picture().save(opened));
    QVERIFY(QDir().mkdir(dir.filePath("folder.png")));
    QVERIFY(QDir().mkdir(dir.filePath("blocked.png.velk_tmp")));
    if (message == "opened.png")
        QVERIFY(QDir().mkdir(opened + ".velk_tmp"));

    Fixture f;
    if (fromFile)
        f.window->onOpenImage(opened);
    else
        f.window->onSetImage(picture());
    f.drawLines();
    QVERIFY(f.window->isModified());
    const QByteArray openedBefore = fileBytes(opened);
    f.chosenFile = target.isEmpty() ? QString() : dir.filePath(target);

    MessageBoxAnswerer boxes;
    for (int button : answers)
        boxes.answer(QMessageBox::StandardButton(button));
    const bool wentOn = trigger(f, other);
    QCOMPARE(wentOn, goesOn);
    QCOMPARE(f.dialogCaptions.size(), target.isEmpty() ? 0 : 1);
    // A second answer answers the box that says why; otherwise a failure adds a box of its own.
    QCOMPARE(boxes.count(), answers.size() + (message.isEmpty() || answers.size() > 1 ? 0 : 1));

    const bool saved = goesOn && answers.value(0) == QMessageBox::Save;
    if (saved) {
        const QString file = target.isEmpty() ? opened : dir.filePath(target);
        QCOMPARE(straightLinesIn(drawingOf(file)), 2);
        return;
    }
    if (!fromFile || answers.value(0) != QMessageBox::Save)
        QCOMPARE(fileBytes(opened), openedBefore); // nothing written on cancel or discard
    if (goesOn)
        return; // discarded on purpose
    QVERIFY2(boxes.texts().last().contains(message), qPrintable(boxes.texts().last()));
    QCOMPARE(f.lines(), 2);
    QVERIFY(f.window->isModified());
    QCOMPARE(f.shownTitle(), QString("QUORIX*"));
    QCOMPARE(f.window->currentImagePath(), fromFile ? opened : QString());
    QCOMPARE(fileBytes(opened), openedBefore);
    if (!target.isEmpty() && !QFileInfo(dir.filePath(target)).isDir())
        QVERIFY(drawingOf(dir.filePath(target)).isEmpty());
}

// Closing the window while the camera runs stores the drawing with the picture on screen: its
// full-resolution picture is fetched before the save question, not the last once-a-second one.
void TstMainWindowActions::exitSaveTakesThePictureOnScreen()
{
    CameraClock::setSource([]() -> qint64 { return 5000000; }); // no sample falls due by itself
    const auto restoreClock = qScopeGuard([] { CameraClock::setSource(nullptr); });
    const auto jpeg = [](int shade) {
        QImage image(640, 480, QImage::Format_RGB32);
        image.fill(QColor(shade, 255 - shade, 90));
        return DemoEncoders::encodeJpeg(image);
    };
    constexpr int kWaitMs = 120000; // a passing test never reaches it
    QSettings().setValue(QLatin1String(SettingsKeys::kConfirmOnExit), true);
    QTemporaryDir dir(m_dir + "/exit-XXXXXX");
    Fixture f;
    LeftBarWidget *bar = f.window->leftBar();
    QSignalSpy previews(bar, &LeftBarWidget::sigSetPreview);
    QVERIFY(bar->startCamera());
    f.device.pushFrame(jpeg(40)); // the first frame is sampled
    QTRY_VERIFY_WITH_TIMEOUT(!bar->lastFrame().isNull(), kWaitMs);
    f.device.pushFrame(jpeg(200)); // only previewed
    QTRY_COMPARE_WITH_TIMEOUT(previews.count(), 2, kWaitMs);
    f.drawLines();
    f.chosenFile = dir.filePath("exit.png");
    MessageBoxAnswerer boxes;
    boxes.answer(QMessageBox::Save);

    QVERIFY(!f.window->close());
    QVERIFY(!f.window->close()); // still waiting: asks nothing more
    QCOMPARE(boxes.count(), 0);
    f.device.pushFrame(jpeg(120));
    QTRY_VERIFY_WITH_TIMEOUT(!f.window->isModified(), kWaitMs);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(straightLinesIn(drawingOf(f.chosenFile)), 2);
    QVERIFY(qAbs(qRed(QImage(f.chosenFile).pixel(320, 240)) - 120) <= 8);
}

void TstMainWindowActions::failedOpenChangesNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture().save(&buffer, "PNG");
    QTest::newRow("not a picture") << QByteArray("not a picture");
    QTest::newRow("truncated png") << png.left(png.size() / 2);
}

// A picture that cannot be opened leaves the current one, its drawing and its table as they
// were, and later changes still count.
void TstMainWindowActions::failedOpenChangesNothing()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir(m_dir + "/open-XXXXXX");
    const QString good = dir.filePath("good.png");
    const QString bad = dir.filePath("bad.png");
    QVERIFY(picture().save(good));
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    Fixture f;
    f.window->onOpenImage(good);
    f.drawLines();
    f.window->setModified(false); // as after a save
    const QList<QStringList> rows = f.window->rightWidget()->tableRows();
    QCOMPARE(rows.size(), 2);
    MessageBoxAnswerer boxes;
    f.window->onOpenImage(bad);
    QCOMPARE(boxes.texts(), QStringList{"无法打开图片：" + bad});
    QCOMPARE(f.window->currentImagePath(), good);
    QCOMPARE(f.lines(), 2);
    QCOMPARE(f.window->rightWidget()->tableRows(), rows);
    QCOMPARE(f.shownTitle(), QString("QUORIX"));
    f.drawLines();
    QCOMPARE(f.shownTitle(), QString("QUORIX*"));
}

void TstMainWindowActions::unreadDrawingIsTold_data()
{
    QTest::addColumn<QByteArray>("comment");
    QTest::addColumn<QString>("told"); // what the box says; empty when no box is shown
    QTest::addColumn<int>("lines");
    const QByteArray line = R"({"type":10,"raw_points":[{"x":10,"y":20},{"x":300,"y":20}]})";
    const auto drawing = [](const QByteArray &shapes) {
        return QByteArray(R"({"magic":"VELK_DRAW_DATA","version":2,"shapes":[)" + shapes + "]}")
            .toBase64();
    };
    const QByteArray text = R"({"type":31,"raw_points":[{"x":5,"y":5}],"text_content":"样品 7"})";
    const QByteArray whole = drawing(line + "," + text + "," + line);
    // clang-format off
    QTest::newRow("readable") << whole << "" << 2;
    QTest::newRow("cut short") << whole.left(whole.size() / 2) << "测量标注已损坏，无法读取" << 0;
    QTest::newRow("a shape of an unknown type") << drawing(line + R"(,{"type":99})") << "2 个测量标注有 1 个无法读取" << 1;
    QTest::newRow("another program's text") << QByteArray("Slide 7, stained") << "" << 0;
    // clang-format on
}

// A picture whose stored drawing cannot be read, wholly or in part, still opens, and the user
// hears that measurements are missing instead of meeting an emptier drawing unwarned.
void TstMainWindowActions::unreadDrawingIsTold()
{
    QFETCH(QByteArray, comment);
    QFETCH(QString, told);
    QFETCH(int, lines);
    QTemporaryDir dir(m_dir + "/unread-XXXXXX");
    const QString path = dir.filePath("样品 7.png");
    QVERIFY(picture().save(path));
    QVERIFY(ExifUserComment::writeUserComment(path, comment.toStdString()));
    // The picture before brings three lines; none of them may count for the next one.
    const QString before = dir.filePath("before.png");
    QVERIFY(picture().save(before));
    const QByteArray three = R"({"shapes":[{"type":10},{"type":10},{"type":10}]})";
    QVERIFY(ExifUserComment::writeUserComment(before, three.toBase64().toStdString()));
    Fixture f;
    f.window->onOpenImage(before);
    QCOMPARE(f.lines(), 3);
    MessageBoxAnswerer boxes;
    f.window->onOpenImage(path);
    QCOMPARE(f.window->currentImagePath(), path);
    QCOMPARE(f.lines(), lines);
    QCOMPARE(boxes.count(), told.isEmpty() ? 0 : 1);
    if (!told.isEmpty())
        QVERIFY2(boxes.texts().first().contains(told) && boxes.texts().first().contains(path),
                 qPrintable(boxes.texts().first()));
    QVERIFY(!f.window->isModified());
}

void TstMainWindowActions::reportHoldsTheTable_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("suffix");
    // clang-format off
    QTest::newRow("word") << "Word 文档 (*.docx)" << "docx";
    QTest::newRow("excel") << "Excel 工作簿 (*.xlsx)" << "xlsx";
    // clang-format on
}

void TstMainWindowActions::reportHoldsTheTable()
{
    QFETCH(QString, filter);
    QFETCH(QString, suffix);
    QTemporaryDir dir(m_dir + "/report-XXXXXX");
    Fixture f;
    f.window->onSetImage(picture());
    f.drawLines();
    // A unit is chosen but nothing is calibrated: the table, and so the report, shows pixels.
    f.window->leftBar()->calibrationData()->setCurrentUnit("mm");
    const QStringList headers = f.window->rightWidget()->tableHeaders();
    const QList<QStringList> rows = f.window->rightWidget()->tableRows();
    QVERIFY(rows.size() >= 2);
    // The name is typed without its suffix: the chosen filter gives it.
    f.chosenFile = dir.filePath("报告");
    f.chosenFilter = filter;
    MessageBoxAnswerer boxes;
    emit f.window->leftBar()->sigExportReport();
    const QString path = dir.filePath("报告." + suffix);
    QCOMPARE(boxes.titles(), QStringList{"导出报告"});
    QCOMPARE(boxes.texts(), QStringList{"报告已导出：" + path});
    QCOMPARE(f.window->statusLabel()->text(), "报告." + suffix + " 导出成功");

    QProcess oracle;
    oracle.start("/usr/bin/python3", {qEnvironmentVariable("QUORIX_REPORT_ORACLE"), suffix, path});
    QVERIFY(oracle.waitForFinished(120000));
    QCOMPARE(oracle.exitCode(), 0);
    const QJsonObject report = QJsonDocument::fromJson(oracle.readAllStandardOutput()).object();
    QList<QStringList> read;
    QSize image;
    if (suffix == "docx") {
        for (const QJsonValue &row : report["tables"].toArray().at(1).toArray())
            read << row.toVariant().toStringList();
        QVERIFY(report["paragraphs"].toVariant().toStringList().join('\n').contains("单位为 px"));
        const QJsonObject shown = report["pictures"].toArray().at(0).toObject();
        image = QSize(shown["width"].toInt(), shown["height"].toInt());
    } else {
        const QJsonObject cells = report["cells"].toObject();
        for (int r = 19; r < 20 + rows.size(); ++r) {
            QStringList line;
            for (int c = 0; c < headers.size(); ++c)
                line << cells.value(QString(QChar('A' + c)) + QString::number(r)).toString();
            read << line;
        }
        QVERIFY(cells.toVariantMap().values().contains("px"));
        QVERIFY(!cells.toVariantMap().values().contains("mm"));
        const QJsonObject shown = report["images"].toArray().at(0).toObject();
        image = QSize(shown["width"].toInt(), shown["height"].toInt());
    }
    QCOMPARE(read, QList<QStringList>{headers} + rows);
    QCOMPARE(image, QSize(800, 600));
}

// Every way a report can fail ends in a box that says why, and no success is claimed.
void TstMainWindowActions::reportFailuresAreReported_data()
{
    QTest::addColumn<bool>("withPicture");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("templateDir");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    // clang-format off
    QTest::newRow("no picture: no dialog") << false << "r.docx" << "" << "导出报告" << "请先加载图片或打开相机，再进行导出。";
    QTest::newRow("dialog cancelled") << true << "" << "" << "" << "";
    QTest::newRow("template missing") << true << "r.xlsx" << "missing" << "导出失败" << "未找到报告模板";
    QTest::newRow("folder where the file should be") << true << "folder.docx" << "" << "导出失败" << "folder.docx";
    QTest::newRow("suffix names a report, not replaced") << true << "old" << "" << "导出报告" << "old.docx 已存在";
    // clang-format on
}

void TstMainWindowActions::reportFailuresAreReported()
{
    QFETCH(bool, withPicture);
    QFETCH(QString, target);
    QFETCH(QString, templateDir);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QTemporaryDir dir(m_dir + "/failed-XXXXXX");
    QVERIFY(QDir().mkdir(dir.filePath("folder.docx")));
    QFile old(dir.filePath("old.docx"));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an older report") == 15);
    old.close();
    Fixture f;
    if (!templateDir.isEmpty())
        f.window->setReportTemplateDir(dir.filePath(templateDir));
    if (withPicture)
        f.window->onSetImage(picture());
    f.chosenFile = target.isEmpty() ? QString() : dir.filePath(target);
    MessageBoxAnswerer boxes;
    emit f.window->leftBar()->sigExportReport();
    QCOMPARE(f.dialogCaptions.size(), withPicture ? 1 : 0);
    QCOMPARE(boxes.titles(), title.isEmpty() ? QStringList() : QStringList{title});
    if (!message.isEmpty())
        QVERIFY2(boxes.texts().first().contains(message), qPrintable(boxes.texts().first()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.docx"});
    QCOMPARE(fileBytes(old.fileName()), QByteArray("an older report"));
    QVERIFY(!f.window->statusLabel()->text().contains("导出成功"));
}

void TstMainWindowActions::csvHoldsTheTable()
{
    QTemporaryDir dir(m_dir + "/csv-XXXXXX");
    Fixture f;
    f.window->onSetImage(picture());
    f.drawLines();
    f.chosenFile = dir.filePath("table");
    f.click(f.window.get(), "toolButtonExportData");
    QList<QStringList> read;
    for (const QJsonValue &row : TestEnv::readCsvWithPython(dir.filePath("table.csv")))
        read << row.toVariant().toStringList();
    QCOMPARE(read, QList<QStringList>{f.window->rightWidget()->tableHeaders()} +
                       f.window->rightWidget()->tableRows());
}

void TstMainWindowActions::fusedImage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("identified"); // ImageMagick's format and size; "" when it failed
    // clang-format off
    QTest::newRow("png") << "fused.png" << "PNG 800 600";
    QTest::newRow("jpg") << "fused.jpg" << "JPEG 800 600";
    QTest::newRow("folder where the file should be") << "folder.png" << "";
    // clang-format on
}

void TstMainWindowActions::fusedImage()
{
    QFETCH(QString, name);
    QFETCH(QString, identified);
    QTemporaryDir dir(m_dir + "/fused-XXXXXX");
    QVERIFY(QDir().mkdir(dir.filePath("folder.png")));
    Fixture f;
    f.window->onSetImage(picture());
    f.drawLines();
    f.chosenFile = dir.filePath(name);
    MessageBoxAnswerer boxes;
    f.click(f.window->leftBar(), "toolButtonFusionImage");
    if (identified.isEmpty()) {
        QCOMPARE(boxes.count(), 1);
        QVERIFY(boxes.texts().first().contains(f.chosenFile));
        QCOMPARE(f.window->statusLabel()->text(), QString("融合图像保存失败"));
        return;
    }
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(run("identify", {"-format", "%m %w %h", f.chosenFile}), identified);
    QCOMPARE(f.window->statusLabel()->text(), name + " 融合图像保存成功");
    // The drawing is painted into the picture: it differs from the plain background.
    QVERIFY(QImage(f.chosenFile).convertToFormat(QImage::Format_RGB32) !=
            picture().convertToFormat(QImage::Format_RGB32));
}

QTEST_MAIN(TstMainWindowActions)
#include "tst_mainwindow_actions.moc"
