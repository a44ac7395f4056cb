// Tests of the capture half of the left control bar: stills to the preset folder and through the
// dialog, the after-save dialog, recordings judged by ffprobe, recorder failures, the drawing
// tool buttons, the open and save buttons and the calibration lists.
#include <QtTest>

#include "MessageBoxAnswerer.h"
#include "RecorderTestClock.h"
#include "TestEnv.h"
#include "WidgetLook.h"
#include "calibration/CalibrationData.h"
#include "calibration/dialogs/MagnificationDialog.h"
#include "camera/Camera.h"
#include "camera/FrameConversion.h"
#include "camera/ScriptedV4l2Device.h"
#include "camera/V4l2CaptureBackend.h"
#include "canvas/LineDataRegistry.h"
#include "model/LineDataBase.h"
#include "panels/LeftBarWidget.h"
#include "recording/VideoRecorder.h"
#include "resources/QuorixResources.h"
#include "settings/SettingsKeys.h"

#include <QComboBox>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QStackedWidget>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUrl>

#include <atomic>
#include <sys/stat.h>
#include <thread>

using namespace FrameConversion;

namespace {

constexpr int kWaitMs = 120000; // longest wait for a counted event; passing tests never reach it

// What the bar tells the main window.
struct Received : QObject
{
    QStringList saved, fused, opened, status;
    QList<bool> drawTool, palm, recording;
    int deletes = 0, deleteAll = 0, reports = 0;
    explicit Received(LeftBarWidget *bar)
    {
        connect(bar, &LeftBarWidget::sigSaveImage, this, [this](const QString &p) { saved << p; });
        connect(bar, &LeftBarWidget::sigSaveFusedImage, this,
                [this](const QString &p) { fused << p; });
        connect(bar, &LeftBarWidget::sigOpenImage, this, [this](const QString &p) { opened << p; });
        connect(bar, &LeftBarWidget::sigStatusMessage, this,
                [this](const QString &t) { status << t; });
        connect(bar, &LeftBarWidget::sigDrawToolActivated, this, [this](bool a) { drawTool << a; });
        connect(bar, &LeftBarWidget::sigPalmModeChanged, this, [this](bool p) { palm << p; });
        connect(bar, &LeftBarWidget::sigRecordingStateChanged, this,
                [this](bool r) { recording << r; });
        connect(bar, &LeftBarWidget::sigDeleteRequested, this, [this] { ++deletes; });
        connect(bar, &LeftBarWidget::sigDeleteAllRequested, this, [this] { ++deleteAll; });
        connect(bar, &LeftBarWidget::sigExportReport, this, [this] { ++reports; });
    }
};

// A save dialog that answers with a queued file (and filter) and records what it was asked.
struct SaveDialog
{
    QStringList answers, filters, captions, proposed, preselected;
    LeftBarWidget::SaveFileNameProvider provider()
    {
        return [this](QWidget *, const QString &caption, const QString &name, const QString &,
                      QString *selected) {
            captions << caption;
            proposed << name;
            preselected << *selected;
            if (!filters.isEmpty())
                *selected = filters.takeFirst();
            return answers.isEmpty() ? QString() : answers.takeFirst();
        };
    }
};

QImage picture(int shade, const QSize &size = QSize(640, 480))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(shade % 256, 255 - shade % 256, 90));
    QPainter painter(&image);
    painter.setBrush(Qt::yellow);
    painter.drawEllipse(QPoint((shade * 7) % size.width(), size.height() / 2), 40, 40);
    return image;
}

QToolButton *toolButton(QWidget *bar, const char *name)
{
    return bar->findChild<QToolButton *>(name);
}
QPushButton *button(QWidget *bar, const QString &name)
{
    return bar->findChild<QPushButton *>(name);
}
QComboBox *combo(QWidget *bar, const char *name)
{
    return bar->findChild<QComboBox *>(name);
}
QStringList entries(QComboBox *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

void setPreset(bool use, const QString &folder, int fileType = 1)
{
    QSettings settings;
    settings.setValue(SettingsKeys::kUsePresetPath, use);
    settings.setValue(SettingsKeys::kSavePath, folder);
    settings.setValue(SettingsKeys::kFileType, fileType);
}

QJsonObject probe(const QString &path)
{
    QProcess process;
    process.start("ffprobe",
                  {"-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                   "stream=codec_name,pix_fmt,r_frame_rate,nb_read_frames:format="
                   "duration",
                   "-of", "json", path});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    const QJsonObject root = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    QJsonObject stream = root.value("streams").toArray().first().toObject();
    stream.insert("duration", root.value("format").toObject().value("duration"));
    return stream;
}

} // namespace

class TstLeftBarCapture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void captureToPresetFolderAndThroughDialog();
    void afterSaveDialog_data();
    void afterSaveDialog();
    void recordFiveSecondsThenStop();
    void recorderFailuresEndTheRecording();
    void toolButtonsArmTheirTools_data();
    void toolButtonsArmTheirTools();
    void drawDeleteAndFileButtons();
    void calibrationListsFollowTheData();
    void screenshots();
    void captureReplacesAFileAtomically();

private:
    std::unique_ptr<LeftBarWidget> bar(RecorderTestClock *clock = nullptr)
    {
        auto backend = std::make_unique<V4l2CaptureBackend>(m_device->io());
        auto widget = std::make_unique<LeftBarWidget>(
            std::move(backend), clock ? clock->clock() : LeftBarWidget::RecorderClock());
        widget->setSaveFileNameProvider(m_dialog.provider());
        widget->setOpenUrlProvider([this](const QUrl &url) {
            m_urls << url;
            return true;
        });
        return widget;
    }
    // Opens the scripted camera and gives the bar a frame of its own (no stream runs, so the
    // test alone decides which frames the bar sees).
    static void startWithFrame(LeftBarWidget *widget, int shade = 0)
    {
        QVERIFY(widget->startCamera());
        widget->findChild<QTimer *>("fpsTimer")->stop();
        widget->updateFrame(picture(shade));
    }

    std::unique_ptr<ScriptedV4l2Device> m_device;
    SaveDialog m_dialog;
    QList<QUrl> m_urls;
    QTemporaryDir m_dir;
};

void TstLeftBarCapture::initTestCase()
{
    TestEnv::isolate();
    QuorixResources::init();
    qputenv("QUORIX_DEMO_CAMERA", "0");
    QVERIFY(m_dir.isValid());
}

void TstLeftBarCapture::init()
{
    QSettings().clear();
    m_device = std::make_unique<ScriptedV4l2Device>();
    m_device->clearFormats();
    m_device->addFormat(kFourccMjpg, {{640, 480, {30}}});
    m_dialog = SaveDialog();
    m_urls.clear();
    LineDataRegistry::instance()->clear();
}

void TstLeftBarCapture::captureToPresetFolderAndThroughDialog()
{
    auto widget = bar();
    Received received(widget.get());
    MessageBoxAnswerer boxes;

    // No frame yet: one box, nothing written.
    widget->onCapture();
    QCOMPARE(boxes.texts(), QStringList{"当前没有可用的相机画面"});
    QVERIFY(received.saved.isEmpty());

    startWithFrame(widget.get());
    const QString folder = m_dir.filePath("preset");
    setPreset(true, folder, 2);

    // Two captures in the same second (or not): two files, the first left as it was.
    toolButton(widget.get(), "toolButtonCapture")->click();
    widget->updateFrame(picture(200));
    toolButton(widget.get(), "toolButtonCapture")->click();
    QCOMPARE(received.saved.size(), 2);
    QVERIFY(received.saved[0] != received.saved[1]);
    const QRegularExpression name("/capture_\\d{8}_\\d{6}(_\\d+)?\\.bmp$");
    for (const QString &path : received.saved) {
        QVERIFY2(path.startsWith(folder) && name.match(path).hasMatch(), qPrintable(path));
        QCOMPARE(QImageReader(path).format(), QByteArray("bmp"));
    }
    QCOMPARE(QImage(received.saved[0]).pixelColor(5, 5), picture(0).pixelColor(5, 5));
    QCOMPARE(QImage(received.saved[1]).pixelColor(5, 5), picture(200).pixelColor(5, 5));
    QVERIFY(boxes.count() == 1 && received.status.isEmpty()); // nothing said before the store

    // The preset switched on without a folder falls back to the dialog, which proposes a PNG
    // name in the save folder with the stored type's filter preselected. "tiff" is kept.
    setPreset(true, QString(), 3);
    m_dialog.answers << m_dir.filePath("chosen.tiff");
    widget->onCapture();
    QCOMPARE(m_dialog.captions.last(), QStringLiteral("保存截图"));
    QVERIFY(m_dialog.proposed.last().endsWith(".png"));
    QCOMPARE(m_dialog.preselected.last(), QStringLiteral("TIFF (*.tif *.tiff)"));
    QCOMPARE(received.saved.last(), m_dir.filePath("chosen.tiff"));
    QVERIFY(QFileInfo::exists(m_dir.filePath("chosen.tiff")));

    // A name without a suffix takes the chosen filter's; JPEG is written as JPEG.
    setPreset(false, m_dir.path(), 0);
    m_dialog.answers << m_dir.filePath("plain");
    m_dialog.filters << "JPG (*.jpg *.jpeg)";
    widget->onCapture();
    QCOMPARE(received.saved.last(), m_dir.filePath("plain.jpg"));
    QCOMPARE(QImageReader(received.saved.last()).format(), QByteArray("jpeg"));
    // The same name again: the dialog did not ask about plain.jpg, so the bar does. No keeps the
    // file; the save button's Yes replaces it.
    boxes.clear();
    boxes.answer({QMessageBox::No, QMessageBox::Yes});
    m_dialog.answers << m_dir.filePath("plain") << m_dir.filePath("plain");
    m_dialog.filters << "JPG (*.jpg *.jpeg)"
                     << "JPG (*.jpg *.jpeg)";
    widget->onCapture();
    QCOMPARE(boxes.texts(), QStringList{m_dir.filePath("plain.jpg") + " 已存在。\n要替换它吗？"});
    QCOMPARE(received.saved.size(), 4);
    toolButton(widget.get(), "toolButtonSave")->click();
    QCOMPARE(boxes.count(), 2);
    QCOMPARE(received.saved.size(), 5);

    // Cancelled: nothing. A folder that cannot be written: one box, no store asked for.
    widget->onCapture();
    QCOMPARE(received.saved.size(), 5);
    QFile blocker(m_dir.filePath("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    setPreset(true, m_dir.filePath("file/sub"), 0);
    boxes.clear();
    widget->onCapture();
    QCOMPARE(boxes.texts(), QStringList{"保存失败，请检查路径和权限"});
    QCOMPARE(received.saved.size(), 5);

    // The main window's stand-in answers the stores: the first succeeded, the second failed.
    boxes.clear();
    boxes.answer(QMessageBox::Ok);
    widget->onCaptureStored(received.saved[0], true, QString());
    QCOMPARE(received.status, QStringList{QFileInfo(received.saved[0]).fileName() + " 保存成功"});
    QCOMPARE(boxes.titles(), QStringList{"拍照"});
    QVERIFY(boxes.texts()[0].startsWith("截图已保存到:"));
    widget->onCaptureStored(received.saved[1], false, "disk full");
    QCOMPARE(boxes.texts().last(), QStringLiteral("保存失败:disk full"));
    QCOMPARE(received.status.size(), 1);
    // Answers for saves the bar did not start, or twice for one, are ignored.
    widget->onCaptureStored(received.saved[0], true, QString());
    widget->onCaptureStored("/elsewhere.png", true, QString());
    QCOMPARE(boxes.count(), 2);

    // The save button's picture: a status text on success, no dialog.
    setPreset(true, folder, 1);
    toolButton(widget.get(), "toolButtonSave")->click();
    QCOMPARE(received.saved.size(), 6);
    widget->onCaptureStored(received.saved[5], true, QString());
    QCOMPARE(received.status.size(), 2);
    QCOMPARE(boxes.count(), 2);
}

void TstLeftBarCapture::afterSaveDialog_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("index");
    // clang-format off
    QTest::newRow("jpeg") << "拍照" << "a/x.jpeg" << "" << SettingsKeys::kFileType << 1;
    QTest::newRow("tiff") << "拍照" << "b/x.TIFF" << "" << SettingsKeys::kFileType << 3;
    QTest::newRow("bmp") << "拍照" << "c/x.bmp" << "" << SettingsKeys::kFileType << 2;
    QTest::newRow("unknown suffix takes the filter") << "拍照" << "d/x.gif" << "PNG (*.png)" << SettingsKeys::kFileType << 0;
    QTest::newRow("AVI") << "录像完成" << "e/x.AVI" << "" << SettingsKeys::kVideoFileType << 1;
    QTest::newRow("mp4") << "录像完成" << "f/x.mp4" << "" << SettingsKeys::kVideoFileType << 0;
    // clang-format on
}

void TstLeftBarCapture::afterSaveDialog()
{
    QFETCH(QString, title);
    QFETCH(QString, chosen);
    QFETCH(QString, filter);
    QFETCH(QString, key);
    QFETCH(int, index);
    auto widget = bar();
    MessageBoxAnswerer boxes;
    QSettings().setValue(key, 2); // a stored index the choice must replace
    const QString saved = m_dir.filePath("saved/file.png");

    // "打开目录" shows the file's folder in the desktop's file browser.
    boxes.answerText("打开目录");
    widget->showSaveSuccessDialog(title, "text", saved);
    QCOMPARE(m_urls, QList<QUrl>{QUrl::fromLocalFile(m_dir.filePath("saved"))});

    // "更改目录" stores the folder and the type of the chosen file; the saved file stays.
    m_dialog.answers << m_dir.filePath(chosen);
    if (!filter.isEmpty())
        m_dialog.filters << filter;
    boxes.answerText("更改目录");
    widget->showSaveSuccessDialog(title, "text", saved);
    QCOMPARE(m_dialog.captions, QStringList{"更改保存目录"});
    QSettings settings;
    QCOMPARE(settings.value(key).toInt(), index);
    QCOMPARE(settings.value(SettingsKeys::kSavePath).toString(),
             QFileInfo(m_dir.filePath(chosen)).absolutePath());
    QVERIFY(settings.value(SettingsKeys::kUsePresetPath).toBool());
    if (key == QLatin1String(SettingsKeys::kFileType))
        QCOMPARE(combo(widget.get(), "comboBoxFileType")->currentIndex(), index);

    // "不再提示" silences the dialog for stills and recordings alike.
    boxes.answerText("确定", true);
    widget->showSaveSuccessDialog(title, "text", saved);
    QVERIFY(settings.value(SettingsKeys::kSuppressSaveNotification).toBool());
    widget->showSaveSuccessDialog("拍照", "text", saved);
    widget->showSaveSuccessDialog("录像完成", "text", saved);
    QCOMPARE(boxes.count(), 3);
}

void TstLeftBarCapture::recordFiveSecondsThenStop()
{
    RecorderTestClock clock;
    auto widget = bar(&clock);
    Received received(widget.get());
    MessageBoxAnswerer boxes;
    startWithFrame(widget.get());
    // The camera's rate as the bar measures it: 30 previews in one second.
    for (int i = 0; i < 30; ++i)
        emit widget->camera()->previewReady(picture(i, QSize(64, 48)));
    widget->applyFrameRate(1000);
    const QString folder = m_dir.filePath("videos");
    QVERIFY(QDir().mkpath(folder));
    setPreset(true, folder);

    QToolButton *record = toolButton(widget.get(), "toolButtonVideotape");
    record->click();
    QVERIFY(widget->isRecording());
    QVERIFY(widget->camera()->fullRate());
    QCOMPARE(record->text(), QStringLiteral("停止录像"));
    QCOMPARE(received.recording, QList<bool>{true});

    // Five seconds of frames at 30 fps on the recorder's clock, each taken before the next.
    constexpr int kFrames = 150;
    constexpr qint64 kPeriod = 1000000000LL / 30;
    for (int i = 0; i < kFrames; ++i) {
        clock.set(i * kPeriod);
        widget->updateFrame(picture(i));
        QTRY_VERIFY_WITH_TIMEOUT(!widget->recorder()->hasWaitingFrame(), kWaitMs);
    }
    boxes.answer(QMessageBox::Ok);
    record->click();
    QVERIFY(!widget->isRecording());
    QVERIFY(!widget->camera()->fullRate());
    QCOMPARE(record->text(), QStringLiteral("录像"));
    QCOMPARE(received.recording, QList<bool>({true, false}));
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, kWaitMs);
    QCOMPARE(boxes.titles(), QStringList{"录像完成"});

    const QStringList files = QDir(folder).entryList({"video_*.mp4"}, QDir::Files);
    QCOMPARE(files.size(), 1);
    const QString path = folder + "/" + files.first();
    QCOMPARE(received.status, QStringList{files.first() + " 保存成功"});
    const QJsonObject stream = probe(path);
    QCOMPARE(stream.value("codec_name").toString(), QStringLiteral("h264"));
    QCOMPARE(stream.value("pix_fmt").toString(), QStringLiteral("yuv420p"));
    QCOMPARE(stream.value("r_frame_rate").toString(), QStringLiteral("30/1"));
    QCOMPARE(stream.value("nb_read_frames").toString().toInt(), kFrames);
    const double seconds = stream.value("duration").toString().toDouble();
    QVERIFY2(qAbs(seconds - 5.0) < 0.05, qPrintable(QString::number(seconds)));
}

void TstLeftBarCapture::recorderFailuresEndTheRecording()
{
    auto widget = bar();
    Received received(widget.get());
    MessageBoxAnswerer boxes;
    const QString folder = m_dir.filePath("failures");
    QVERIFY(QDir().mkpath(folder));
    setPreset(true, folder);
    QToolButton *record = toolButton(widget.get(), "toolButtonVideotape");

    // A frame but no running camera: no recording, no file.
    widget->updateFrame(picture(1));
    record->click();
    QCOMPARE(boxes.texts(), QStringList{"当前没有可用的相机画面"});
    QVERIFY(!widget->isRecording());
    QVERIFY(QDir(folder).isEmpty());

    // The file cannot be created: stopped, full rate off, button reset, one box; the next
    // click starts a new recording instead of only stopping.
    startWithFrame(widget.get());
    setPreset(true, m_dir.filePath("missing/folder"));
    boxes.clear();
    record->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, kWaitMs);
    QCOMPARE(boxes.titles(), QStringList{"录像错误"});
    QVERIFY(!widget->isRecording());
    QVERIFY(!widget->recorder()->isRecording());
    QVERIFY(!widget->camera()->fullRate());
    QCOMPARE(record->text(), QStringLiteral("录像"));
    QCOMPARE(received.recording, QList<bool>({true, false}));

    // A recording that got no frame: the file is removed and that is what the user hears.
    setPreset(true, folder);
    record->click();
    QVERIFY(widget->isRecording());
    record->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 2, kWaitMs);
    QCOMPARE(boxes.texts().last(), QStringLiteral("录像没有收到任何画面，未保存文件"));
    QVERIFY(QDir(folder).isEmpty());
    QVERIFY(received.status.isEmpty());
    QCOMPARE(received.recording, QList<bool>({true, false, true, false}));

    // A file that cannot be finished: its one frame reaches the disk only when the encoder is
    // flushed at the stop, beyond the file size this process may write. Reported as such, never
    // as saved.
    setPreset(false, folder);
    m_dialog.answers << m_dir.filePath("limited.mp4");
    record->click();
    QVERIFY(widget->isRecording());
    QImage noise(640, 480, QImage::Format_RGB32);
    auto *pixel = reinterpret_cast<quint32 *>(noise.bits());
    for (quint32 i = 0, seed = 12345; i < 640 * 480; ++i)
        pixel[i] = (seed = seed * 1664525u + 1013904223u) | 0xff000000u;
    {
        TestEnv::FileSizeLimit limit(64 * 1024);
        widget->updateFrame(noise);
        QTRY_VERIFY_WITH_TIMEOUT(!widget->recorder()->hasWaitingFrame(), kWaitMs);
        record->click(); // the file is finished under the limit
    }
    QVERIFY(!widget->isRecording());
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 3, kWaitMs);
    QCOMPARE(boxes.titles().last(), QStringLiteral("录像错误"));
    QVERIFY2(boxes.texts().last().startsWith("视频文件未能完成:"),
             qPrintable(boxes.texts().last()));
    QVERIFY(received.status.isEmpty());
    QVERIFY(!widget->isRecording());
}

void TstLeftBarCapture::toolButtonsArmTheirTools_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    const QList<QPair<QString, int>> tools = {
        {"StraightLine", 10},  {"BrokenLine", 11},    {"Rect", 12},
        {"Polygon", 13},       {"Line3Point", 14},    {"CircleCenterRadius", 15},
        {"DCircle", 16},       {"Rect3Point", 17},    {"Angle3Point", 18},
        {"Angle4Point", 19},   {"Circle2Point", 20},  {"Ellipse", 21},
        {"Ellipse3Point", 22}, {"Ellipse5Point", 23}, {"Arrow", 24},
        {"Arc", 25},           {"Para4Points", 26},   {"Para8Points", 27},
        {"ParaAny", 28},       {"Perp3Points", 29},   {"Perp4Points", 30},
        {"Text", 31},          {"Scale", 32},         {"Mouse", 40},
        {"Palm", 2},
    };
    for (const auto &tool : tools)
        QTest::newRow(qPrintable(tool.first)) << "pushButton" + tool.first << tool.second;
}

void TstLeftBarCapture::toolButtonsArmTheirTools()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    auto widget = bar();
    Received received(widget.get());
    widget->setDrawButtonsEnabled(true);
    LineDataRegistry::instance()->setToolType(0);
    QPushButton *tool = button(widget.get(), name);
    QVERIFY(tool && tool->isEnabled());
    QVERIFY(!tool->accessibleName().isEmpty());
    QTest::mouseClick(tool, Qt::LeftButton);

    QCOMPARE(LineDataRegistry::instance()->toolType(), type);
    const bool drawing = type != 40 && type != 2;
    QCOMPARE(received.drawTool, QList<bool>{drawing});
    QVERIFY(!received.palm.isEmpty());
    QCOMPARE(received.palm.last(), type == 2);
    for (QPushButton *other : widget->findChildren<QPushButton *>())
        if (other->property("ChooseType").isValid())
            QCOMPARE(other->property("ChooseType").toString(),
                     QString(other == tool ? "choose" : "nochoose"));
}

void TstLeftBarCapture::drawDeleteAndFileButtons()
{
    auto widget = bar();
    Received received(widget.get());
    MessageBoxAnswerer boxes;
    QPushButton *line = button(widget.get(), "pushButtonStraightLine");
    QPushButton *del = button(widget.get(), "pushButtonDel");
    QPushButton *delAll = button(widget.get(), "pushButtonDelAll");
    QVERIFY(!line->isEnabled() && !del->isEnabled()); // nothing to draw on yet
    widget->setDrawButtonsEnabled(true);
    line->click();

    // Deleting acts once and leaves the chosen tool chosen.
    del->click();
    QCOMPARE(received.deletes, 1);
    QCOMPARE(line->property("ChooseType").toString(), QStringLiteral("choose"));
    QCOMPARE(del->property("ChooseType").toString(), QStringLiteral("nochoose"));
    delAll->click();
    QCOMPARE(boxes.texts(), QStringList{"没有可删除的图形"});
    LineDataRegistry::instance()->addLine(std::make_shared<BrokenLineDataItem>());
    boxes.answer({QMessageBox::No, QMessageBox::Yes});
    delAll->click();
    QCOMPARE(received.deleteAll, 0);
    delAll->click();
    QCOMPARE(received.deleteAll, 1);
    QCOMPARE(boxes.titles().last(), QStringLiteral("删除全部"));

    // The canvas loses its picture: every tool off, the pointer chosen.
    widget->setDrawButtonsEnabled(false);
    QVERIFY(!line->isEnabled() && !delAll->isEnabled());
    QCOMPARE(LineDataRegistry::instance()->toolType(), 40);
    QCOMPARE(line->property("ChooseType").toString(), QStringLiteral("nochoose"));
    QCOMPARE(button(widget.get(), "pushButtonMouse")->property("ChooseType").toString(),
             QStringLiteral("choose"));

    QString openFilter;
    widget->setOpenFileNameProvider([&](QWidget *, const QString &caption, const QString &filter) {
        openFilter = filter;
        return caption == "打开文件" ? m_dir.filePath("in.tif") : QString();
    });

    // Opening offers every format the program saves, and only while no camera runs.
    toolButton(widget.get(), "toolButtonOpenImg")->click();
    QCOMPARE(received.opened, QStringList{m_dir.filePath("in.tif")});
    for (const char *pattern : {"*.png", "*.jpg", "*.jpeg", "*.bmp", "*.tif", "*.tiff"})
        QVERIFY2(openFilter.contains(pattern), pattern);
    startWithFrame(widget.get());
    toolButton(widget.get(), "toolButtonOpenImg")->click();
    QCOMPARE(boxes.texts().last(), QStringLiteral("请先关闭相机再加载图片"));
    QCOMPARE(received.opened.size(), 1);

    // Fused image through the dialog, named after the last saved file.
    widget->setLastSavedPath(m_dir.filePath("shots/last.jpg"));
    m_dialog.answers << m_dir.filePath("fused");
    m_dialog.filters << "PNG (*.png)";
    toolButton(widget.get(), "toolButtonFusionImage")->click();
    QCOMPARE(m_dialog.captions.last(), QStringLiteral("保存融合图像"));
    QCOMPARE(m_dialog.proposed.last(), m_dir.filePath("shots/last.png"));
    QCOMPARE(received.fused, QStringList{m_dir.filePath("fused.png")});

    // Export report is passed on.
    toolButton(widget.get(), "toolButtonExportReport")->click();
    QCOMPARE(received.reports, 1);

    // The file-type list follows the setting and writes it.
    QComboBox *types = combo(widget.get(), "comboBoxFileType");
    QCOMPARE(entries(types), QStringList({"PNG", "JPG", "BMP", "TIFF"}));
    QSettings().setValue(SettingsKeys::kFileType, 3);
    widget->refreshFileTypeList();
    QCOMPARE(types->currentIndex(), 3);
}

void TstLeftBarCapture::calibrationListsFollowTheData()
{
    {
        CalibrationData stored;
        stored.addMagnification({"10x", 123456.7});
        stored.addMagnification({"40x", 500000});
        stored.setCurrentIndex(1);
        stored.setCurrentUnit("mm");
        stored.saveToSettings();
    }
    auto widget = bar();
    QComboBox *names = combo(widget.get(), "comboBoxProName");
    QComboBox *units = combo(widget.get(), "comboBoxUnit");
    CalibrationData *data = widget->calibrationData();

    // Loaded from the settings at start.
    QCOMPARE(entries(names), QStringList({"未定义", "10x (123457 px/m)", "40x (500000 px/m)"}));
    QCOMPARE(names->currentIndex(), 2);
    QCOMPARE(units->currentData().toString(), QStringLiteral("mm"));

    // Choosing sets and saves the data; "未定义" is no magnification.
    names->setCurrentIndex(0);
    QCOMPARE(data->currentIndex(), -1);
    units->setCurrentIndex(units->findData("μm"));
    QCOMPARE(data->currentUnit(), QStringLiteral("μm"));
    CalibrationData reread;
    reread.loadFromSettings();
    QCOMPARE(reread.currentIndex(), -1);
    QCOMPARE(reread.currentUnit(), QStringLiteral("μm"));

    // Changes made elsewhere reach the lists.
    data->addMagnification({"100x", 2e6});
    data->setCurrentIndex(2);
    data->setCurrentUnit("cm");
    QCOMPARE(names->count(), 4);
    QCOMPARE(names->currentText(), QStringLiteral("100x (2000000 px/m)"));
    QCOMPARE(units->currentData().toString(), QStringLiteral("cm"));

    // A name too long for the field ends in an ellipsis instead of being cut through a letter:
    // the field's last pixels look as with a short name.
    const QImage shortName = names->grab().toImage();
    QStyleOptionComboBox option;
    option.initFrom(names);
    const QRect field = names->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, names);
    data->setMagnification(2, {QString(80, QChar(0x2588)), 2e6}); // full blocks: ink throughout
    const QImage longName = names->grab().toImage();
    for (int x = field.right() - 1; x <= field.right(); ++x)
        for (int y = field.top(); y <= field.bottom(); ++y)
            QCOMPARE(longName.pixel(x, y), shortName.pixel(x, y));
    data->setMagnification(2, {"100x", 2e6});

    // The manager button opens the magnification dialog on the bar's data.
    QList<int> shown; // the entries each dialog shows, inside its own event loop
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<MagnificationDialog *>(QApplication::activeModalWidget());
        shown << (dialog ? dialog->workingList().size() : -1);
        if (dialog)
            dialog->reject();
    });
    button(widget.get(), "pushButtonMagnification")->click();
    QCOMPARE(shown, QList<int>{3});
    QCOMPARE(data->count(), 3);

    QList<CalibrationData *> calibrate;
    connect(widget.get(), &LeftBarWidget::sigOpenCalibrationDialog, this,
            [&](CalibrationData *d) { calibrate << d; });
    button(widget.get(), "pushButtonCalibrationConfig")->click();
    QCOMPARE(calibrate, QList<CalibrationData *>{data});
}

void TstLeftBarCapture::screenshots()
{
    // Both pages in both themes and languages, at the narrowest and the first width the main
    // window gives the bar: nothing cut off, nothing beyond the right edge, a shot to look at.
    auto widget = bar();
    widget->setDrawButtonsEnabled(true);
    widget->show();
    QStringList overflow;
    for (const bool english : {false, true}) {
        QVERIFY(WidgetLook::setEnglish(english));
        for (const bool dark : {true, false}) {
            QString sheet;
            for (const char *name : {"mainwidget", "button", "treewidget"}) {
                QFile file(QString(":/%1%2.css").arg(name, dark ? "" : "_light"));
                QVERIFY(file.open(QIODevice::ReadOnly));
                sheet += QString::fromUtf8(file.readAll());
            }
            widget->setStyleSheet(sheet);
            widget->setDarkTheme(dark);
            const int w = widget->fontMetrics().horizontalAdvance(
                QCoreApplication::translate("LeftBarWidget", "停止录像"));
            for (const int width : {std::max(2 * w + 62, 160), 2 * w + 142}) {
                widget->resize(width, 900);
                for (const auto page : {LeftBarWidget::CameraPage, LeftBarWidget::MeasurePage}) {
                    widget->showPage(page);
                    QApplication::processEvents();
                    const QString shot =
                        QString("leftbar_%1_%2_%3_%4")
                            .arg(page == LeftBarWidget::CameraPage ? "camera" : "measure",
                                 dark ? "dark" : "light", english ? "en" : "zh")
                            .arg(width);
                    QWidget *current =
                        widget->findChild<QStackedWidget *>("stackedWidget")->currentWidget();
                    const QStringList clipped = WidgetLook::clippedTexts(current);
                    QVERIFY2(clipped.isEmpty(), qPrintable(shot + ": " + clipped.join(", ")));
                    auto *area = current->findChild<QScrollArea *>();
                    const int need = area->widget()->minimumSizeHint().width();
                    // The camera page's sections need more than the narrowest width yet.
                    const bool narrowest = width < 2 * w + 142;
                    if (need > area->viewport()->width() &&
                        (page == LeftBarWidget::MeasurePage || !narrowest))
                        overflow << QString("%1 needs %2").arg(shot).arg(need);
                    WidgetLook::saveScreenshot(widget.get(), shot);
                }
            }
        }
    }
    QVERIFY(WidgetLook::setEnglish(false));
    QVERIFY2(overflow.isEmpty(), qPrintable(overflow.join(", ")));
}

// A capture saved over an existing file replaces it in one step: a write that fails midway (the
// file size this process may write) leaves what was there and no temporary file, and nothing is
// handed on as written.
void TstLeftBarCapture::captureReplacesAFileAtomically()
{
    auto widget = bar();
    Received received(widget.get());
    MessageBoxAnswerer boxes;
    startWithFrame(widget.get(), 40);
    setPreset(false, m_dir.path());
    const QString path = m_dir.filePath("over.png");
    const QByteArray older(5000, 'o');
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(older) == older.size());
    file.close();
    struct stat before = {}, after = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);

    m_dialog.answers << path << path;
    {
        TestEnv::FileSizeLimit limit(1024);
        widget->onCapture();
    }
    QCOMPARE(boxes.texts(), QStringList{"保存失败，请检查路径和权限"});
    QVERIFY(received.saved.isEmpty());
    QVERIFY(!QFileInfo::exists(path + ".velk_tmp"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), older);
    file.close();

    widget->onCapture();
    QCOMPARE(received.saved, QStringList{path});
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
    QVERIFY(after.st_ino != before.st_ino);
    QCOMPARE(QImage(path).pixelColor(5, 5), picture(40).pixelColor(5, 5));
}

QTEST_MAIN(TstLeftBarCapture)
#include "tst_leftbar_capture.moc"
