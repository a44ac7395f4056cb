// Tests of the settings dialog, driven through its controls and judged by the settings file.
#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QShortcut>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>

#include "MessageBoxAnswerer.h"
#include "TestEnv.h"
#include "WidgetLook.h"
#include "app/AppLanguage.h"
#include "canvas/ToolDefaults.h"
#include "resources/QuorixResources.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "settings/dialog/SettingDialog.h"
#include "shapes/ShapeTypes.h"

namespace {

// The control with this accessible name; fails the test when there is none or more than one.
template <class T>
T *control(QWidget *dialog, const QString &name)
{
    T *found = nullptr;
    const QList<T *> all = dialog->findChildren<T *>();
    for (T *widget : all) {
        if (widget->accessibleName() == name) {
            if (found)
                qFatal("two controls named %s", qPrintable(name));
            found = widget;
        }
    }
    if (!found)
        qFatal("no control named %s", qPrintable(name));
    return found;
}

QTableWidget *toolTable(QWidget *dialog)
{
    return control<QTableWidget>(dialog, QStringLiteral("工具属性表"));
}

QString cell(QWidget *dialog, int row)
{
    return toolTable(dialog)->item(row, 1)->text();
}

void doubleClickCell(QWidget *dialog, int row)
{
    QTableWidget *table = toolTable(dialog);
    const QPoint pos = table->visualItemRect(table->item(row, 1)).center();
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
}

void selectTool(QWidget *dialog, int toolType)
{
    auto *combo = control<QComboBox>(dialog, QStringLiteral("工具类型"));
    combo->setCurrentIndex(combo->findData(toolType));
}

void click(QWidget *dialog, const QString &name)
{
    control<QAbstractButton>(dialog, name)->click();
}

// Empties a shortcut field with its clear button and clicks it to start capturing.
QLineEdit *captureShortcut(QWidget *dialog, const QString &action)
{
    click(dialog, QStringLiteral("清除") + action + QStringLiteral("快捷键"));
    auto *edit = control<QLineEdit>(dialog, action + QStringLiteral("快捷键"));
    QTest::mouseClick(edit, Qt::LeftButton);
    return edit;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TstSettingDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void everyValueChangedIsStoredAndReadBack();
    void cancelWritesNothing_data();
    void cancelWritesNothing();
    void storedValuesShownSafely();
    void shortcutCapture();
    void shortcutInUseIsRefused_data();
    void shortcutInUseIsRefused();
    void toolTableEditsAndResets();
    void folderButtons();
    void factoryResetClosesWithoutWritingBack();
    void unwritableFileIsReported();
    void languageChangeRetranslates();

private:
    QString m_ini;
};

void TstSettingDialog::initTestCase()
{
    TestEnv::isolate();
    QCoreApplication::setOrganizationName("Quorix");
    QCoreApplication::setApplicationName("QUORIX");
    m_ini = SettingsStore::prepare();
    QuorixResources::init();
}

void TstSettingDialog::init()
{
    installAppLanguage(0);
    SettingsStore::clearAll();
    QFile::remove(m_ini);
}

void TstSettingDialog::everyValueChangedIsStoredAndReadBack()
{
    using namespace SettingsKeys;
    const QString pictures = QDir::tempPath() + "/quorix pictures";
    const QString reports = QDir::tempPath() + "/quorix reports";
    QString family;
    {
        SettingDialog dialog;
        dialog.setFolderProvider([&](QWidget *, const QString &caption, const QString &) {
            return caption == QStringLiteral("选择保存路径") ? pictures : reports;
        });
        QList<int> ints{7, 9, 3};
        dialog.setIntProvider(
            [&](QWidget *, const QString &, const QString &, int, int, int, int *result) {
                *result = ints.takeFirst();
                return true;
            });
        dialog.setItemProvider([](QWidget *, const QString &, const QString &, const QStringList &,
                                  int, QString *result) {
            *result = QStringLiteral("点线");
            return true;
        });
        QList<QColor> colors{QColor(0x12, 0x34, 0x56, 0x80), QColor(0xff, 0x88, 0x00, 0x20)};
        dialog.setColorProvider(
            [&](QWidget *, const QColor &, const QString &) { return colors.takeFirst(); });
        dialog.show();

        control<QComboBox>(&dialog, "语言")->setCurrentIndex(1);
        control<QComboBox>(&dialog, "主题")->setCurrentIndex(0);
        QTest::keyClick(captureShortcut(&dialog, "全屏"), Qt::Key_K,
                        Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(captureShortcut(&dialog, "拍照"), Qt::Key_F6);
        QTest::keyClick(captureShortcut(&dialog, "放大"), Qt::Key_Up, Qt::AltModifier);
        click(&dialog, "清除缩小快捷键");

        click(&dialog, "使用预设的保存路径");
        click(&dialog, "选择保存路径");
        control<QComboBox>(&dialog, "图片类型")->setCurrentIndex(3);
        click(&dialog, "不再提示保存成功");

        selectTool(&dialog, ShapeTypes::Arrow);
        for (int row = 0; row < 4; ++row)
            doubleClickCell(&dialog, row);
        selectTool(&dialog, ShapeTypes::Polygon);
        doubleClickCell(&dialog, 0);

        auto *fonts = control<QFontComboBox>(&dialog, "标签字体");
        fonts->setCurrentIndex(fonts->currentIndex() == 0 ? 1 : 0);
        family = fonts->currentFont().family();
        QVERIFY(!family.isEmpty() && family != QStringLiteral("宋体"));
        control<QSpinBox>(&dialog, "标签字号")->setValue(30);
        for (const char *name : {"粗体", "斜体", "下划线"})
            click(&dialog, name);
        click(&dialog, "标签字体颜色");

        click(&dialog, "导出报告时使用预设的路径");
        click(&dialog, "选择报告导出路径");
        click(&dialog, "默认显示比例尺");
        click(&dialog, "绘制时显示十字光标");
        click(&dialog, "显示十字线");
        control<QSpinBox>(&dialog, "十字线宽度")->setValue(5);
        control<QComboBox>(&dialog, "刻度高度")->setCurrentIndex(3);
        control<QComboBox>(&dialog, "刻度间隔")->setCurrentIndex(0);
        for (const char *name : {"优先采用一键白平衡", "启用静态拍照", "关闭时提示保存修改过的测量",
                                 "启动时最大化窗口", "打印相机/解码帧率日志"})
            click(&dialog, name);

        QTest::mouseClick(control<QPushButton>(&dialog, "确定"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(ints.isEmpty() && colors.isEmpty());
    }

    // A fresh store on the file, as the next start reads it.
    const QSettings file(m_ini, QSettings::IniFormat);
    // clang-format off
    const QList<QPair<const char *, QVariant>> expected{
        {kLanguage, 1}, {kTheme, 0}, {kShortcutFullscreen, "Ctrl+Shift+K"},
        {kShortcutCapture, "F6"}, {kShortcutZoomIn, "Alt+Up"}, {kShortcutZoomOut, ""},
        {kUsePresetPath, true}, {kSavePath, pictures}, {kFileType, 3},
        {kSuppressSaveNotification, true},
        {"Measure/Arrow/defaultLineWidth", 7}, {"Measure/Arrow/defaultLineColor", "#80123456"},
        {"Measure/Arrow/defaultLineStyle", 2}, {"Measure/Arrow/defaultControlPointSize", 9},
        {"Measure/Polygon/defaultLineWidth", 3}, {"Measure/Polygon/defaultLineColor", "#ff0066cc"},
        {kLabelFontFamily, family}, {kLabelFontSize, 30}, {kLabelFontBold, true},
        {kLabelFontItalic, true}, {kLabelFontUnderline, true}, {kLabelFontColor, "#20ff8800"},
        {kExportRule, 1}, {kExportPath, reports}, {kShowScale, false},
        {kShowDrawingCrossCursor, true}, {kShowCrosshair, true}, {kCrosshairWidth, 5},
        {kTickHeightMultiplier, 4}, {kTickIntervalMultiplier, 1}, {kAutoWhiteBalance, true},
        {kStaticCapture, true}, {kConfirmOnExit, false}, {kMaximizeOnStart, true}, {kFpsLog, true},
    };
    // clang-format on
    for (const auto &pair : expected) {
        QVERIFY2(file.contains(pair.first), pair.first);
        QCOMPARE(file.value(pair.first).toString(), pair.second.toString());
    }

    // The canvas takes the tool styles from the same keys.
    ToolDefaultsTable tools;
    tools.read();
    QCOMPARE(tools.tool(ShapeTypes::Arrow).lineColor, QColor(0x12, 0x34, 0x56, 0x80));
    QCOMPARE(tools.tool(ShapeTypes::Arrow).lineStyle, 2);

    // A dialog opened again shows what was stored.
    SettingDialog again;
    QCOMPARE(control<QComboBox>(&again, "语言")->currentIndex(), 1);
    QCOMPARE(control<QLineEdit>(&again, "全屏快捷键")->text(), QStringLiteral("Ctrl+Shift+K"));
    QCOMPARE(control<QLineEdit>(&again, "缩小快捷键")->text(), QString()); // not the default
    QVERIFY(control<QRadioButton>(&again, "使用预设的保存路径")->isChecked());
    selectTool(&again, ShapeTypes::Arrow);
    QCOMPARE(cell(&again, 0), QStringLiteral("7"));
    QCOMPARE(cell(&again, 1), QStringLiteral("#80123456"));
    QCOMPARE(cell(&again, 2), QStringLiteral("点线"));
    QCOMPARE(control<QComboBox>(&again, "刻度高度")->currentText(), QStringLiteral("4x"));
}

void TstSettingDialog::cancelWritesNothing_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QString>("button");
    QTest::newRow("cancel, stored settings") << true << "取消";
    QTest::newRow("close button, stored settings") << true << "关闭";
    QTest::newRow("cancel, no settings file yet") << false << "取消";
}

void TstSettingDialog::cancelWritesNothing()
{
    QFETCH(bool, fileExists);
    QFETCH(QString, button);
    if (fileExists) {
        // A store whose tool colours the canvas has not upgraded yet: reading the tool defaults
        // the canvas way would write them.
        QSettings settings;
        settings.setValue("Measure/StraightLine/defaultLineColor", "#ff00ff00");
        settings.setValue("Shortcuts/zoomIn", "Ctrl++");
        settings.setValue("Appearance/theme", 0);
        settings.sync();
    }
    const QByteArray before = fileBytes(m_ini);
    {
        SettingDialog dialog;
        dialog.setIntProvider(
            [](QWidget *, const QString &, const QString &, int, int, int, int *result) {
                *result = 11;
                return true;
            });
        dialog.show();
        control<QComboBox>(&dialog, "主题")->setCurrentIndex(1);
        click(&dialog, "启用静态拍照");
        QTest::keyClick(captureShortcut(&dialog, "拍照"), Qt::Key_F8);
        selectTool(&dialog, ShapeTypes::Rect);
        doubleClickCell(&dialog, 0);
        selectTool(&dialog, ShapeTypes::Arc);
        click(&dialog, "重置全部工具");
        click(&dialog, "恢复默认标签字体");
        click(&dialog, button);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
    }
    QSettings().sync();
    QCOMPARE(fileBytes(m_ini), before);
}

// Out-of-range list values show the designed choice; tool colours keep their alpha; the label
// font returns to its defaults.
void TstSettingDialog::storedValuesShownSafely()
{
    QSettings settings;
    settings.setValue("Measure/labelFontFamily", "DejaVu Sans");
    settings.setValue("Measure/labelFontSize", 40);
    settings.setValue("Measure/labelFontItalic", true);
    settings.setValue("Measure/labelFontColor", "#ff00ff00");
    settings.setValue("File/fileType", 7);
    settings.setValue("Measure/tickHeightMultiplier", 0);
    settings.setValue("Measure/tickIntervalMultiplier", 5);
    settings.setValue("Appearance/language", 3);
    settings.setValue("Appearance/theme", 2);
    settings.setValue("Measure/defaultColorsUpgraded", true);
    settings.setValue("Measure/Rect/defaultLineColor", "#80123456");
    settings.setValue("Measure/Arc/defaultLineColor", "#00AA88");
    settings.sync();
    SettingDialog dialog;
    QCOMPARE(control<QComboBox>(&dialog, "图片类型")->currentIndex(), 0);
    QCOMPARE(control<QComboBox>(&dialog, "刻度高度")->currentText(), QStringLiteral("2x"));
    QCOMPARE(control<QComboBox>(&dialog, "刻度间隔")->currentText(), QStringLiteral("2x"));
    QCOMPARE(control<QComboBox>(&dialog, "语言")->currentIndex(), 0);
    QCOMPARE(control<QComboBox>(&dialog, "主题")->currentIndex(), 1);
    selectTool(&dialog, ShapeTypes::Rect);
    QCOMPARE(cell(&dialog, 1), QStringLiteral("#80123456"));
    auto *swatch = control<QPushButton>(&dialog, "标签字体颜色");
    QCOMPARE(swatch->styleSheet(), QStringLiteral("background-color: #00ff00;"));
    click(&dialog, "恢复默认标签字体");
    QCOMPARE(control<QSpinBox>(&dialog, "标签字号")->value(), 24);
    QVERIFY(!control<QCheckBox>(&dialog, "斜体")->isChecked());
    QCOMPARE(swatch->styleSheet(), QStringLiteral("background-color: #1563ab;"));
    click(&dialog, "确定");
    const QSettings file(m_ini, QSettings::IniFormat);
    QCOMPARE(file.value("Measure/Rect/defaultLineColor").toString(), QStringLiteral("#80123456"));
    QCOMPARE(file.value("Measure/Arc/defaultLineColor").toString(), QStringLiteral("#ff00aa88"));
    // The default family is stored as it is named, even where the system substitutes it.
    QCOMPARE(file.value("Measure/labelFontFamily").toString(), QStringLiteral("宋体"));
    QCOMPARE(QColor(file.value("Measure/labelFontColor").toString()), QColor("#1563AB"));
}

void TstSettingDialog::shortcutCapture()
{
    QSettings().setValue("Shortcuts/zoomIn", "Ctrl++");
    SettingDialog dialog;
    QShortcut windowShortcut(QKeySequence(Qt::Key_F9), &dialog);
    QSignalSpy fired(&windowShortcut, &QShortcut::activated);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QApplication::setActiveWindow(&dialog);
    QCOMPARE(QApplication::activeWindow(), &dialog);
    QCOMPARE(control<QLineEdit>(&dialog, "放大快捷键")->text(), QStringLiteral("Ctrl+="));

    // A field that still shows its shortcut starts no capture.
    auto *fullscreen = control<QLineEdit>(&dialog, "全屏快捷键");
    QTest::mouseClick(fullscreen, Qt::LeftButton);
    QVERIFY(fullscreen->placeholderText().isEmpty());
    QTest::keyClick(fullscreen, Qt::Key_F9);
    QCOMPARE(fired.count(), 1);
    QCOMPARE(fullscreen->text(), QStringLiteral("F11"));

    // Clicking another field moves the capture there.
    auto *capture = captureShortcut(&dialog, "拍照");
    QVERIFY(!capture->placeholderText().isEmpty());
    captureShortcut(&dialog, "全屏");
    QVERIFY(capture->placeholderText().isEmpty());
    QCOMPARE(fullscreen->placeholderText(), QStringLiteral("按下快捷键组合..."));

    // Modifiers alone do not end it; a window shortcut does not fire while capturing.
    QTest::keyClick(fullscreen, Qt::Key_Control, Qt::ControlModifier);
    QTest::keyClick(fullscreen, Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(fullscreen->text().isEmpty());
    QTest::keyClick(fullscreen, Qt::Key_F9);
    QCOMPARE(fired.count(), 1);
    QCOMPARE(fullscreen->text(), QStringLiteral("F9"));
    QVERIFY(fullscreen->placeholderText().isEmpty());

    QTest::keyClick(captureShortcut(&dialog, "拍照"), Qt::Key_K,
                    Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(capture->text(), QStringLiteral("Ctrl+Shift+K"));
    // Back to normal: the window shortcut fires again.
    QTest::keyClick(capture, Qt::Key_F9);
    QCOMPARE(fired.count(), 2);
    // Escape backs out of a capture: no shortcut, and the next key is no longer taken.
    auto *zoomOut = captureShortcut(&dialog, "缩小");
    QTest::keyClick(zoomOut, Qt::Key_Escape);
    QVERIFY(zoomOut->text().isEmpty() && zoomOut->placeholderText().isEmpty());
    QTest::keyClick(zoomOut, Qt::Key_F9);
    QCOMPARE(fired.count(), 3);
    QVERIFY(zoomOut->text().isEmpty() && dialog.isVisible());

    click(&dialog, "确定");
    const QSettings file(m_ini, QSettings::IniFormat);
    QCOMPARE(file.value("Shortcuts/zoomIn").toString(), QStringLiteral("Ctrl+="));
    QCOMPARE(file.value("Shortcuts/fullscreen").toString(), QStringLiteral("F9"));
}

void TstSettingDialog::shortcutInUseIsRefused_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("owner");
    QTest::newRow("the capture shortcut") << int(Qt::Key_F5) << 0 << "拍照";
    QTest::newRow("the zoom-in shortcut")
        << int(Qt::Key_Equal) << int(Qt::ControlModifier) << "放大";
    QTest::newRow("the canvas select-all key")
        << int(Qt::Key_A) << int(Qt::ControlModifier) << "全选";
    QTest::newRow("the canvas delete key") << int(Qt::Key_Delete) << 0 << "删除选中的测量";
    QTest::newRow("its own previous shortcut") << int(Qt::Key_F11) << 0 << "";
}

void TstSettingDialog::shortcutInUseIsRefused()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, owner);
    SettingDialog dialog;
    dialog.show();
    MessageBoxAnswerer boxes;
    QLineEdit *edit = captureShortcut(&dialog, "全屏");
    QTest::keyClick(edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    if (owner.isEmpty()) {
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(edit->text(), QStringLiteral("F11"));
        return;
    }
    QCOMPARE(boxes.count(), 1);
    QVERIFY2(boxes.texts().first().contains(owner), qPrintable(boxes.texts().first()));
    // Still capturing, so the next key is taken.
    QVERIFY(edit->text().isEmpty());
    QVERIFY(!edit->placeholderText().isEmpty());
    QTest::keyClick(edit, Qt::Key_F12);
    QCOMPARE(edit->text(), QStringLiteral("F12"));
    click(&dialog, "确定");
    QCOMPARE(QSettings(m_ini, QSettings::IniFormat).value("Shortcuts/fullscreen").toString(),
             QStringLiteral("F12"));
}

void TstSettingDialog::toolTableEditsAndResets()
{
    SettingDialog dialog;
    struct Asked
    {
        QString title;
        int minimum, maximum;
    };
    QList<Asked> asked;
    bool accept = false;
    dialog.setIntProvider([&](QWidget *, const QString &title, const QString &, int value,
                              int minimum, int maximum, int *result) {
        asked.append({title, minimum, maximum});
        *result = value + 10;
        return accept;
    });
    dialog.setColorProvider([](QWidget *, const QColor &, const QString &) { return QColor(); });
    dialog.show();

    // The combo lists the 21 tools in their order, with their type numbers.
    auto *combo = control<QComboBox>(&dialog, "工具类型");
    QCOMPARE(combo->count(), 21);
    QCOMPARE(combo->itemText(0), QStringLiteral("直线"));
    QCOMPARE(combo->itemData(20).toInt(), int(ShapeTypes::Line3Point));

    // Cancelled inputs change nothing; both integer rows ask within 1 to 20.
    selectTool(&dialog, ShapeTypes::Rect);
    QCOMPARE(cell(&dialog, 1), QStringLiteral("#00aa00"));
    doubleClickCell(&dialog, 0);
    doubleClickCell(&dialog, 1);
    doubleClickCell(&dialog, 3);
    QCOMPARE(cell(&dialog, 0), QStringLiteral("2"));
    QCOMPARE(cell(&dialog, 1), QStringLiteral("#00aa00"));
    QCOMPARE(cell(&dialog, 3), QStringLiteral("6"));
    QCOMPARE(asked.size(), 2);
    QCOMPARE(asked.at(0).title, QStringLiteral("线宽"));
    QCOMPARE(asked.at(1).title, QStringLiteral("控制点大小"));
    for (const Asked &a : asked)
        QVERIFY(a.minimum == 1 && a.maximum == 20);

    // Edits of one tool survive switching to another and back.
    accept = true;
    doubleClickCell(&dialog, 0);
    selectTool(&dialog, ShapeTypes::Arc);
    QCOMPARE(cell(&dialog, 0), QStringLiteral("2"));
    doubleClickCell(&dialog, 3);
    selectTool(&dialog, ShapeTypes::Rect);
    QCOMPARE(cell(&dialog, 0), QStringLiteral("12"));

    // Reset the shown tool, then every tool, to the global defaults with the palette colour.
    click(&dialog, "重置当前工具");
    QCOMPARE(cell(&dialog, 0), QStringLiteral("2"));
    selectTool(&dialog, ShapeTypes::Arc);
    QCOMPARE(cell(&dialog, 3), QStringLiteral("16"));
    click(&dialog, "重置全部工具");
    QCOMPARE(cell(&dialog, 3), QStringLiteral("6"));
    QCOMPARE(cell(&dialog, 1), QStringLiteral("#00aa88"));
    // Dark colours get white text.
    QCOMPARE(toolTable(&dialog)->item(1, 1)->foreground().color(), QColor(Qt::white));

    // By keyboard: Tab leaves the table again, and Enter on a row edits its value instead of
    // closing the dialog through OK.
    dialog.findChild<QListWidget *>("listWidget")->setCurrentRow(2);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    toolTable(&dialog)->setCurrentCell(0, 1);
    toolTable(&dialog)->setFocus();
    QVERIFY2(WidgetLook::unreachedByTab(&dialog).isEmpty(),
             qPrintable(WidgetLook::unreachedByTab(&dialog).join(' ')));
    toolTable(&dialog)->setFocus();
    QTest::keyClick(toolTable(&dialog), Qt::Key_Return);
    QCOMPARE(cell(&dialog, 0), QStringLiteral("12"));
    QVERIFY(dialog.isVisible());
}

void TstSettingDialog::folderButtons()
{
    SettingDialog dialog;
    QString answer;
    QStringList starts;
    dialog.setFolderProvider([&](QWidget *, const QString &, const QString &start) {
        starts.append(start);
        return answer;
    });
    QList<QUrl> opened;
    bool openWorks = true;
    dialog.setUrlOpener([&](const QUrl &url) {
        opened.append(url);
        return openWorks;
    });
    auto *path = control<QLineEdit>(&dialog, "保存路径");
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    QCOMPARE(path->text(), pictures);

    click(&dialog, "选择保存路径");
    QCOMPARE(path->text(), pictures);
    answer = "/srv/captures";
    click(&dialog, "选择保存路径");
    QCOMPARE(path->text(), answer);
    QCOMPARE(starts, QStringList({pictures, pictures}));
    click(&dialog, "打开保存路径");
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(answer)});

    MessageBoxAnswerer boxes;
    openWorks = false;
    click(&dialog, "打开保存路径");
    QCOMPARE(boxes.count(), 1);
    QVERIFY(boxes.texts().first().contains(answer));

    click(&dialog, "恢复默认保存路径");
    QCOMPARE(path->text(), pictures);
    auto *reports = control<QLineEdit>(&dialog, "报告导出路径");
    reports->setText(QString());
    click(&dialog, "打开报告导出路径");
    QCOMPARE(opened.size(), 2);
    click(&dialog, "恢复默认报告导出路径");
    QCOMPARE(reports->text(), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

void TstSettingDialog::factoryResetClosesWithoutWritingBack()
{
    {
        QSettings settings;
        settings.setValue("Appearance/theme", 0);
        settings.setValue("Measure/StraightLine/defaultLineWidth", 7);
        settings.setValue("Calibration/magnifications/1/name", "10x");
        settings.setValue("Calibration/magnifications/size", 1);
        settings.setValue("Calibration/currentIndex", 0);
    }
    const QByteArray before = fileBytes(m_ini);
    SettingDialog dialog;
    QSignalSpy changed(&dialog, &SettingDialog::settingsChanged);
    dialog.show();
    control<QComboBox>(&dialog, "语言")->setCurrentIndex(1);
    // No keeps everything and the dialog open; Yes clears the store and closes it.
    MessageBoxAnswerer boxes;
    boxes.answer({QMessageBox::No, QMessageBox::Yes, QMessageBox::Ok});
    click(&dialog, "恢复出厂设置");
    QVERIFY(dialog.isVisible());
    QCOMPARE(fileBytes(m_ini), before);
    click(&dialog, "恢复出厂设置");
    const QString question = QStringLiteral("确定要恢复出厂设置吗？所有自定义配置将被清除。");
    QCOMPARE(boxes.texts(),
             QStringList({question, question, QStringLiteral("已恢复默认设置，请重启软件生效。")}));
    QCOMPARE(boxes.titles().first(), QStringLiteral("恢复出厂设置"));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    // The old values the controls still hold are never written back.
    click(&dialog, "应用");
    click(&dialog, "确定");
    QCOMPARE(changed.count(), 0);
    QSettings file(m_ini, QSettings::IniFormat);
    QVERIFY(file.allKeys().isEmpty());
    QCOMPARE(file.beginReadArray("Calibration/magnifications"), 0);
    file.endArray();

    // Opened again and confirmed, every value is its default.
    SettingDialog fresh;
    click(&fresh, "确定");
    const QSettings after(m_ini, QSettings::IniFormat);
    for (const QString &key : after.allKeys()) {
        const bool isColor = key.endsWith("Color");
        if (key == SettingsKeys::kDefaultColorsUpgraded) {
            QVERIFY(after.value(key).toBool()); // the stored tool colours are kept as written
            continue;
        }
        const QVariant defaultValue = SettingsKeys::defaultValue(key);
        if (defaultValue.isValid()) {
            if (isColor)
                QCOMPARE(QColor(after.value(key).toString()), QColor(defaultValue.toString()));
            else
                QCOMPARE(after.value(key).toString(), defaultValue.toString());
            continue;
        }
        // A per-tool key: "Measure/<tool>/<suffix>".
        const QStringList parts = key.split('/');
        QCOMPARE(parts.size(), 3);
        int type = 0;
        for (int t : ToolDefaultsTable::toolTypes())
            if (ShapeTypes::key(t) == parts.at(1))
                type = t;
        QVERIFY2(type, qPrintable(key));
        if (isColor)
            QCOMPARE(QColor(after.value(key).toString()), ToolDefaultsTable::paletteColor(type));
        else
            QCOMPARE(
                after.value(key).toString(),
                SettingsKeys::globalToolDefault(parts.at(2).toLatin1().constData()).toString());
    }
    QCOMPARE(after.value("Appearance/theme").toInt(), 1);
    QCOMPARE(after.value("Measure/StraightLine/defaultLineWidth").toInt(), 2);
    QVERIFY(!after.contains("Calibration/currentIndex"));
}

void TstSettingDialog::unwritableFileIsReported()
{
    // A folder where the file belongs makes every write fail (the tests run as root).
    QVERIFY(QDir().mkpath(m_ini));
    SettingDialog dialog;
    QSignalSpy changed(&dialog, &SettingDialog::settingsChanged);
    dialog.show();
    MessageBoxAnswerer boxes;
    click(&dialog, "应用");
    click(&dialog, "确定");
    QVERIFY(QDir().rmdir(m_ini));
    QCOMPARE(boxes.count(), 2);
    QVERIFY(boxes.texts().first().contains(m_ini));
    QCOMPARE(changed.count(), 0);
    QVERIFY(dialog.isVisible());
}

void TstSettingDialog::languageChangeRetranslates()
{
    SettingDialog dialog;
    QSignalSpy changed(&dialog, &SettingDialog::settingsChanged);
    selectTool(&dialog, ShapeTypes::StraightLine);
    installAppLanguage(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    auto *pages = dialog.findChild<QListWidget *>("listWidget");
    QCOMPARE(pages->item(0)->text(), QStringLiteral("Appearance"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Settings"));
    QCOMPARE(dialog.findChild<QComboBox *>("comboBoxToolType")->currentText(),
             QStringLiteral("Straight Line"));
    QTableWidget *table = dialog.findChild<QTableWidget *>("tableWidgetToolAttr");
    QCOMPARE(table->item(2, 0)->text(), QStringLiteral("Line Style"));
    QCOMPARE(table->item(2, 1)->text(), QStringLiteral("Solid Line"));
    QCOMPARE(dialog.findChild<QPushButton *>("pushButton_10")->text(), QStringLiteral("Apply"));
    dialog.findChild<QPushButton *>("pushButton_10")->click();
    QCOMPARE(changed.count(), 1);
    // No text field without a name: a screen reader would announce the font box's as "text".
    for (const QComboBox *combo : dialog.findChildren<QComboBox *>())
        QVERIFY2(!combo->isEditable() || !combo->lineEdit()->accessibleName().isEmpty(),
                 qPrintable(combo->objectName()));
}

QTEST_MAIN(TstSettingDialog)
#include "tst_settingdialog.moc"
