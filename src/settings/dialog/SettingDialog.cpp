// SettingDialog.cpp: construction, the four pages with their load and save tables, the buttons.
#include "settings/dialog/SettingDialog.h"

#include "ui_SettingDialog.h"

#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

#include <QColorDialog>
#include <QDebug>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QSettings>
#include <QStyle>
#include <QUrl>

using namespace SettingsKeys;

SettingDialog::SettingDialog(QWidget *parent)
    : DialogLessWindow(parent)
    , ui(std::make_unique<Ui::SettingDialog>())
{
    ui->setupUi(this);
    setTitleBar(ui->widgetTitle);
    addCaptionWidget(ui->labelTitle);
    // The title bar's style follows the window state through its "state" property.
    connect(this, &DialogLessWindow::maxChange, this, [this](bool maximized) {
        ui->widgetTitle->setProperty("state", maximized ? "max" : "normal");
        ui->widgetTitle->style()->unpolish(ui->widgetTitle);
        ui->widgetTitle->style()->polish(ui->widgetTitle);
    });

    m_folderProvider = [](QWidget *parent, const QString &caption, const QString &start) {
        return QFileDialog::getExistingDirectory(parent, caption, start);
    };
    m_urlOpener = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    m_intProvider = [](QWidget *parent, const QString &title, const QString &label, int value,
                       int minimum, int maximum, int *result) {
        bool ok = false;
        const int chosen =
            QInputDialog::getInt(parent, title, label, value, minimum, maximum, 1, &ok);
        if (ok)
            *result = chosen;
        return ok;
    };
    m_itemProvider = [](QWidget *parent, const QString &title, const QString &label,
                        const QStringList &items, int current, QString *result) {
        bool ok = false;
        const QString chosen =
            QInputDialog::getItem(parent, title, label, items, current, false, &ok);
        if (ok)
            *result = chosen;
        return ok;
    };
    m_colorProvider = [](QWidget *parent, const QColor &initial, const QString &title) {
        return QColorDialog::getColor(initial, parent, title, QColorDialog::ShowAlphaChannel);
    };

    initStylePage();
    initFilePage();
    initMeasurePage();
    initOtherPage();
    fillTexts();
    updatePageIcons();

    connect(ui->listWidget, &QListWidget::currentRowChanged, ui->stackedWidget,
            &QStackedWidget::setCurrentIndex);
    ui->listWidget->setCurrentRow(0);
    ui->stackedWidget->setCurrentIndex(0);
    ui->tabWidget->setCurrentIndex(0);
    ui->tabWidget_2->setCurrentIndex(0);

    qApp->installEventFilter(this);
    ui->tableWidgetToolAttr->viewport()->installEventFilter(this);
    loadSettings();
}

SettingDialog::~SettingDialog()
{
    stopCapture();
    qApp->removeEventFilter(this);
}

void SettingDialog::setFolderProvider(FolderProvider provider)
{
    m_folderProvider = std::move(provider);
}

void SettingDialog::setUrlOpener(UrlOpener opener)
{
    m_urlOpener = std::move(opener);
}

void SettingDialog::setIntProvider(IntProvider provider)
{
    m_intProvider = std::move(provider);
}

void SettingDialog::setItemProvider(ItemProvider provider)
{
    m_itemProvider = std::move(provider);
}

void SettingDialog::setColorProvider(ColorProvider provider)
{
    m_colorProvider = std::move(provider);
}

// --- Pages ----------------------------------------------------------------------------------

void SettingDialog::initStylePage()
{
    ui->comboBoxLanguage->addItems({QStringLiteral("中文"), QStringLiteral("English")});
    ui->comboBoxTheme->addItems({QString(), QString()});
    m_shortcuts = {
        {ui->lineEdit, kShortcutFullscreen, QT_TR_NOOP("全屏")},
        {ui->lineEdit_2, kShortcutCapture, QT_TR_NOOP("拍照")},
        {ui->lineEdit_3, kShortcutZoomIn, QT_TR_NOOP("放大")},
        {ui->lineEdit_4, kShortcutZoomOut, QT_TR_NOOP("缩小")},
        {ui->lineEditUndo, kShortcutUndo, QT_TR_NOOP("撤销")},
        {ui->lineEditRedo, kShortcutRedo, QT_TR_NOOP("重做")},
    };
    connect(ui->pushButtonClearUndo, &QPushButton::clicked, this,
            [this] { clearShortcut(ui->lineEditUndo); });
    connect(ui->pushButtonClearRedo, &QPushButton::clicked, this,
            [this] { clearShortcut(ui->lineEditRedo); });
}

void SettingDialog::initFilePage()
{
    ui->comboBoxFileType->addItems({QStringLiteral("PNG"), QStringLiteral("JPG"),
                                    QStringLiteral("BMP"), QStringLiteral("TIFF")});
    m_fileCombos = {{ui->comboBoxFileType, kFileType, kFileTypeDefault, 0}};
    m_fileChecks = {
        {ui->checkBoxSuppressSave, kSuppressSaveNotification, kSuppressSaveNotificationDefault}};
    m_saveFolder = {ui->radioButton, ui->radioButton_2, ui->lineEdit_5, kUsePresetPath, true,
                    kSavePath};
}

void SettingDialog::initMeasurePage()
{
    for (QComboBox *combo : {ui->comboTickHeight, ui->comboTickInterval}) {
        combo->addItems({QStringLiteral("1x"), QStringLiteral("2x"), QStringLiteral("3x"),
                         QStringLiteral("4x")});
        combo->setCurrentIndex(1);
    }
    m_measureCombos = {
        {ui->comboTickHeight, kTickHeightMultiplier, kTickHeightMultiplierDefault, 1},
        {ui->comboTickInterval, kTickIntervalMultiplier, kTickIntervalMultiplierDefault, 1},
    };
    m_measureChecks = {
        {ui->checkBoxShowScale, kShowScale, kShowScaleDefault},
        {ui->checkBoxCrossCursor, kShowDrawingCrossCursor, kShowDrawingCrossCursorDefault},
        {ui->checkBoxCrosshair, kShowCrosshair, kShowCrosshairDefault},
        {ui->checkBoxLabelBold, kLabelFontBold, kLabelFontBoldDefault},
        {ui->checkBoxLabelItalic, kLabelFontItalic, kLabelFontItalicDefault},
        {ui->checkBoxLabelUnderline, kLabelFontUnderline, kLabelFontUnderlineDefault},
    };
    m_exportFolder = {ui->radioButton_3, ui->radioButton_4, ui->lineEdit_6, kExportRule, false,
                      kExportPath};
    initToolTable();
    connect(ui->fontComboBoxLabel, &QFontComboBox::currentFontChanged, this,
            [this](const QFont &font) { m_labelFamily = font.family(); });
    connect(ui->pushButtonLabelDefaults, &QPushButton::clicked, this,
            &SettingDialog::onResetLabelDefaults);
}

void SettingDialog::initOtherPage()
{
    m_otherChecks = {
        {ui->checkBox_3, kAutoWhiteBalance, kAutoWhiteBalanceDefault},
        {ui->checkBox_4, kStaticCapture, kStaticCaptureDefault},
        {ui->checkBox_5, kConfirmOnExit, kConfirmOnExitDefault},
        {ui->checkBox_6, kMaximizeOnStart, kMaximizeOnStartDefault},
        {ui->checkBox_fpsLog, kFpsLog, kFpsLogDefault},
    };
}

// The texts the form does not hold: list rows and combo items, set again on a language change.
void SettingDialog::fillTexts()
{
    static const char *const pages[] = {QT_TR_NOOP("外观"), QT_TR_NOOP("文件"), QT_TR_NOOP("测量"),
                                        QT_TR_NOOP("杂项")};
    for (int row = 0; row < 4; ++row) {
        if (ui->listWidget->count() <= row)
            ui->listWidget->addItem(QString());
        ui->listWidget->item(row)->setText(tr(pages[row]));
    }
    ui->comboBoxTheme->setItemText(0, tr("浅色"));
    ui->comboBoxTheme->setItemText(1, tr("深色"));
    fillToolNames();
    if (m_capturing)
        m_capturing->setPlaceholderText(tr("按下快捷键组合..."));
}

// The page icons of the stored theme, the one the application shows: light figures on the dark
// theme, dark figures on the light one.
void SettingDialog::updatePageIcons()
{
    const bool dark = QSettings().value(QLatin1String(kTheme), kThemeDefault).toInt() != 0;
    const QString folder = dark ? QStringLiteral(":/imgs/") : QStringLiteral(":/imgs/dark/");
    static const char *const icons[] = {"appearance", "folder", "measure", "misc"};
    for (int row = 0; row < 4; ++row)
        ui->listWidget->item(row)->setIcon(
            QIcon(folder + QLatin1String(icons[row]) + QStringLiteral(".svg")));
}

void SettingDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        fillTexts();
    }
    DialogLessWindow::changeEvent(event);
}

void SettingDialog::loadChecks(const QList<CheckRow> &rows, const QSettings &settings)
{
    for (const CheckRow &row : rows)
        row.box->setChecked(settings.value(QLatin1String(row.key), row.defaultValue).toBool());
}

void SettingDialog::saveChecks(const QList<CheckRow> &rows, QSettings &settings)
{
    for (const CheckRow &row : rows)
        settings.setValue(QLatin1String(row.key), row.box->isChecked());
}

// A stored value outside the list leaves the combo at its designed selection.
void SettingDialog::loadCombos(const QList<ComboRow> &rows, const QSettings &settings)
{
    for (const ComboRow &row : rows) {
        const int index =
            settings.value(QLatin1String(row.key), row.defaultValue).toInt() - row.offset;
        if (index >= 0 && index < row.combo->count())
            row.combo->setCurrentIndex(index);
    }
}

void SettingDialog::saveCombos(const QList<ComboRow> &rows, QSettings &settings)
{
    for (const ComboRow &row : rows)
        settings.setValue(QLatin1String(row.key), row.combo->currentIndex() + row.offset);
}

void SettingDialog::loadFolder(const FolderRow &row, const QSettings &settings)
{
    const QString ruleKey = QLatin1String(row.ruleKey);
    const QVariant rule = settings.value(ruleKey, defaultValue(ruleKey));
    const bool preset = row.ruleIsBool ? rule.toBool() : rule.toInt() == 1;
    (preset ? row.preset : row.ask)->setChecked(true);
    const QString pathKey = QLatin1String(row.pathKey);
    row.path->setText(settings.value(pathKey, defaultValue(pathKey)).toString());
}

void SettingDialog::saveFolder(const FolderRow &row, QSettings &settings)
{
    const bool preset = row.preset->isChecked();
    if (row.ruleIsBool)
        settings.setValue(QLatin1String(row.ruleKey), preset);
    else
        settings.setValue(QLatin1String(row.ruleKey), preset ? 1 : 0);
    settings.setValue(QLatin1String(row.pathKey), row.path->text());
}

void SettingDialog::loadSettings()
{
    const QSettings settings;
    loadStylePage(settings);
    loadFilePage(settings);
    loadMeasurePage(settings);
    loadOtherPage(settings);
}

void SettingDialog::loadStylePage(const QSettings &settings)
{
    ui->comboBoxLanguage->setCurrentIndex(
        settings.value(QLatin1String(kLanguage), kLanguageDefault).toInt() == 1 ? 1 : 0);
    ui->comboBoxTheme->setCurrentIndex(
        settings.value(QLatin1String(kTheme), kThemeDefault).toInt() != 0 ? 1 : 0);
    for (const ShortcutRow &row : qAsConst(m_shortcuts))
        row.edit->setText(readShortcut(row.key));
}

void SettingDialog::loadFilePage(const QSettings &settings)
{
    loadFolder(m_saveFolder, settings);
    loadCombos(m_fileCombos, settings);
    loadChecks(m_fileChecks, settings);
}

void SettingDialog::loadMeasurePage(const QSettings &settings)
{
    loadChecks(m_measureChecks, settings);
    loadCombos(m_measureCombos, settings);
    ui->spinBoxCrosshairWidth->setValue(
        settings.value(QLatin1String(kCrosshairWidth), kCrosshairWidthDefault).toInt());
    loadFolder(m_exportFolder, settings);

    const auto global = [&](const char *suffix) {
        return settings.value(QLatin1String(kMeasureGroup) + QLatin1Char('/') +
                                  QLatin1String(suffix),
                              globalToolDefault(suffix));
    };
    m_global = ToolDefaults();
    m_global.lineWidth = global(kSuffixLineWidth).toInt();
    m_globalLineColor = global(kSuffixLineColor).toString();
    m_global.lineColor = QColor(m_globalLineColor);
    m_global.lineStyle = global(kSuffixLineStyle).toInt();
    m_global.controlPointSize = global(kSuffixControlPointSize).toInt();
    m_global.controlPointColor = QColor(global(kSuffixCPColor).toString());
    m_global.controlPointColor.setAlpha(global(kSuffixCPColorAlpha).toInt());
    m_global.controlPointBorderColor = QColor(global(kSuffixCPBorderColor).toString());
    m_global.controlPointBorderWidth = global(kSuffixCPBorderWidth).toInt();

    // Read only: the canvas writes its colour upgrade itself, and Cancel must leave the file
    // as it was.
    ToolDefaultsTable table;
    table.read();
    m_tools.clear();
    for (int type : ToolDefaultsTable::toolTypes())
        m_tools.insert(type, table.tool(type));
    onToolTypeComboChanged(ui->comboBoxToolType->currentIndex());

    setLabelFamily(
        settings.value(QLatin1String(kLabelFontFamily), QString::fromUtf8(kLabelFontFamilyDefault))
            .toString());
    ui->spinBoxLabelSize->setValue(
        settings.value(QLatin1String(kLabelFontSize), kLabelFontSizeDefault).toInt());
    setLabelColor(
        QColor(settings.value(QLatin1String(kLabelFontColor), QLatin1String(kLabelFontColorDefault))
                   .toString()));
}

void SettingDialog::loadOtherPage(const QSettings &settings)
{
    loadChecks(m_otherChecks, settings);
}

bool SettingDialog::saveSettings()
{
    if (m_storeReset)
        return false;
    QSettings settings;
    saveStylePage(settings);
    saveFilePage(settings);
    saveMeasurePage(settings);
    saveOtherPage(settings);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    QMessageBox::warning(this, tr("保存设置"),
                         tr("无法写入设置文件 %1，更改没有保存。").arg(settings.fileName()));
    return false;
}

void SettingDialog::saveStylePage(QSettings &settings)
{
    settings.setValue(QLatin1String(kLanguage), ui->comboBoxLanguage->currentIndex());
    const int theme = ui->comboBoxTheme->currentIndex();
    settings.setValue(QLatin1String(kTheme), theme);
    qDebug() << "saveSettings: theme =" << theme;
    for (const ShortcutRow &row : qAsConst(m_shortcuts))
        settings.setValue(QLatin1String(row.key), row.edit->text());
}

void SettingDialog::saveFilePage(QSettings &settings)
{
    saveFolder(m_saveFolder, settings);
    saveCombos(m_fileCombos, settings);
    saveChecks(m_fileChecks, settings);
}

void SettingDialog::saveMeasurePage(QSettings &settings)
{
    saveChecks(m_measureChecks, settings);
    saveCombos(m_measureCombos, settings);
    settings.setValue(QLatin1String(kCrosshairWidth), ui->spinBoxCrosshairWidth->value());
    saveFolder(m_exportFolder, settings);
    saveToolDefaults(settings);
    settings.setValue(QLatin1String(kLabelFontFamily), m_labelFamily);
    settings.setValue(QLatin1String(kLabelFontSize), ui->spinBoxLabelSize->value());
    settings.setValue(QLatin1String(kLabelFontColor), m_labelColor.name(QColor::HexArgb));
}

void SettingDialog::saveOtherPage(QSettings &settings)
{
    saveChecks(m_otherChecks, settings);
}

// --- Buttons --------------------------------------------------------------------------------

void SettingDialog::done(int result)
{
    stopCapture();
    DialogLessWindow::done(result);
}

void SettingDialog::on_pushButtonClose_clicked()
{
    reject();
}

void SettingDialog::on_listWidget_itemClicked(QListWidgetItem *item)
{
    const int row = ui->listWidget->row(item);
    if (row >= 0 && row != ui->stackedWidget->currentIndex())
        ui->stackedWidget->setCurrentIndex(row);
}

// A failed save keeps the dialog open, so the changes are not lost from view.
void SettingDialog::on_pushButton_8_clicked()
{
    if (m_storeReset || saveSettings())
        accept();
}

void SettingDialog::on_pushButton_9_clicked()
{
    reject();
}

void SettingDialog::on_pushButton_10_clicked()
{
    if (!saveSettings())
        return;
    emit settingsChanged();
    updatePageIcons();
}

void SettingDialog::on_pushButton_clicked()
{
    clearShortcut(ui->lineEdit);
}

void SettingDialog::on_pushButton_2_clicked()
{
    clearShortcut(ui->lineEdit_2);
}

void SettingDialog::on_pushButton_3_clicked()
{
    clearShortcut(ui->lineEdit_3);
}

void SettingDialog::on_pushButton_4_clicked()
{
    clearShortcut(ui->lineEdit_4);
}

void SettingDialog::chooseFolder(QLineEdit *edit, const QString &caption)
{
    const QString folder = m_folderProvider(this, caption, edit->text());
    if (!folder.isEmpty())
        edit->setText(folder);
}

void SettingDialog::openFolder(const QLineEdit *edit)
{
    const QString path = edit->text();
    if (path.isEmpty())
        return;
    if (!m_urlOpener(QUrl::fromLocalFile(path)))
        QMessageBox::warning(this, tr("打开文件夹"), tr("无法打开文件夹：%1").arg(path));
}

void SettingDialog::on_pushButton_5_clicked()
{
    chooseFolder(ui->lineEdit_5, tr("选择保存路径"));
}

void SettingDialog::on_pushButton_6_clicked()
{
    openFolder(ui->lineEdit_5);
}

void SettingDialog::on_pushButton_7_clicked()
{
    ui->lineEdit_5->setText(defaultSavePath());
}

void SettingDialog::on_pushButton_13_clicked()
{
    chooseFolder(ui->lineEdit_6, tr("选择报告导出路径"));
}

void SettingDialog::on_pushButton_14_clicked()
{
    openFolder(ui->lineEdit_6);
}

void SettingDialog::on_pushButton_15_clicked()
{
    ui->lineEdit_6->setText(defaultExportPath());
}

bool SettingDialog::factoryReset(QWidget *parent)
{
    const QString title = tr("恢复出厂设置");
    const auto answer =
        QMessageBox::question(parent, title, tr("确定要恢复出厂设置吗？所有自定义配置将被清除。"),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return false;
    SettingsStore::clearAll();
    QMessageBox::information(parent, title, tr("已恢复默认设置，请重启软件生效。"),
                             QMessageBox::Ok);
    return true;
}

// The controls still hold the old values; saving them would undo the reset, so the dialog
// closes without saving.
void SettingDialog::on_pushButtonFactoryReset_clicked()
{
    stopCapture();
    if (!factoryReset(this))
        return;
    m_storeReset = true;
    reject();
}
