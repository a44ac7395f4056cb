// LeftBarWidgetCapture.cpp: the capture half of the left control bar: stills, recordings, the
// after-save dialog, files, drawing tools and the calibration lists.
#include "panels/LeftBarWidget.h"

#include "panels/ReplaceQuestion.h"
#include "ui_LeftBarWidget.h"

#include "calibration/CalibrationData.h"
#include "calibration/dialogs/MagnificationDialog.h"
#include "camera/Camera.h"
#include "canvas/DrawingDocument.h"
#include "canvas/LineDataRegistry.h"
#include "recording/VideoRecorder.h"
#include "settings/SettingsKeys.h"
#include "settings/editors/AttributeTree.h"
#include "shapes/ShapeTypes.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

// The still-image file types, in the order of the list and of "File/fileType".
struct ImageType
{
    const char *text;
    const char *suffix;
    const char *filter;
};
constexpr ImageType kImageTypes[] = {
    {"PNG", "png", "PNG (*.png)"},
    {"JPG", "jpg", "JPG (*.jpg *.jpeg)"},
    {"BMP", "bmp", "BMP (*.bmp)"},
    {"TIFF", "tif", "TIFF (*.tif *.tiff)"},
};
constexpr int kImageTypeCount = int(sizeof(kImageTypes) / sizeof(kImageTypes[0]));
const QStringList kVideoSuffixes = {QStringLiteral("mp4"), QStringLiteral("avi")};

QString timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
}

QString imageFilters()
{
    QStringList filters;
    for (const ImageType &type : kImageTypes)
        filters << QString::fromLatin1(type.filter);
    return filters.join(QStringLiteral(";;"));
}

int storedFileType()
{
    const int index =
        QSettings().value(SettingsKeys::kFileType, SettingsKeys::kFileTypeDefault).toInt();
    return index >= 0 && index < kImageTypeCount ? index : SettingsKeys::kFileTypeDefault;
}

// The list index of a file suffix ("jpeg" is a JPG, "tiff" a TIFF); -1 for others.
int imageTypeOfSuffix(QString suffix)
{
    suffix = suffix.toLower();
    if (suffix == QLatin1String("jpeg"))
        suffix = QStringLiteral("jpg");
    else if (suffix == QLatin1String("tiff"))
        suffix = QStringLiteral("tif");
    for (int i = 0; i < kImageTypeCount; ++i)
        if (suffix == QLatin1String(kImageTypes[i].suffix))
            return i;
    return -1;
}

int imageTypeOfFilter(const QString &filter)
{
    for (int i = 0; i < kImageTypeCount; ++i)
        if (filter == QLatin1String(kImageTypes[i].filter))
            return i;
    return -1;
}

// `base` + `suffix`, or with "_2", "_3", ... before the suffix when that file exists: two
// captures within one second never share a name.
QString freePath(const QString &base, const QString &suffix)
{
    QString path = base + suffix;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = base + QStringLiteral("_%1").arg(n) + suffix;
    return path;
}

// A chosen name without a suffix gets the one of the chosen filter (or `fallback`).
QString withSuffix(const QString &path, const QString &fallback)
{
    return QFileInfo(path).suffix().isEmpty() ? path + QLatin1Char('.') + fallback : path;
}

void repolish(QWidget *widget)
{
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

} // namespace

void LeftBarWidget::setupCaptureSide()
{
    m_attributeTree = ui->treeWidget;
    connect(m_attributeTree, &AttributeTree::sigAttributeDataChanged, this,
            [this] { emit sigAttributeDataChanged(m_attributeTree->attribute()); });

    // The drawing tools with the shape type each arms; the hand and the pointer follow.
    const struct
    {
        QAbstractButton *button;
        int type;
    } drawingTools[] = {
        {ui->pushButtonStraightLine, ShapeTypes::StraightLine},
        {ui->pushButtonBrokenLine, ShapeTypes::BrokenLine},
        {ui->pushButtonRect, ShapeTypes::Rect},
        {ui->pushButtonPolygon, ShapeTypes::Polygon},
        {ui->pushButtonLine3Point, ShapeTypes::Line3Point},
        {ui->pushButtonCircleCenterRadius, ShapeTypes::CircleCenterRadius},
        {ui->pushButtonDCircle, ShapeTypes::DoubleCircle},
        {ui->pushButtonRect3Point, ShapeTypes::Rec3Point},
        {ui->pushButtonAngle3Point, ShapeTypes::Angle3Point},
        {ui->pushButtonAngle4Point, ShapeTypes::Angle4Point},
        {ui->pushButtonCircle2Point, ShapeTypes::Circle2Point},
        {ui->pushButtonEllipse, ShapeTypes::Ellipse},
        {ui->pushButtonEllipse3Point, ShapeTypes::Ellipse3Point},
        {ui->pushButtonEllipse5Point, ShapeTypes::Ellipse5Point},
        {ui->pushButtonArrow, ShapeTypes::Arrow},
        {ui->pushButtonArc, ShapeTypes::Arc},
        {ui->pushButtonPara4Points, ShapeTypes::Parallel4Points},
        {ui->pushButtonPara8Points, ShapeTypes::Parallel8Points},
        {ui->pushButtonParaAny, ShapeTypes::ParallelAny},
        {ui->pushButtonPerp3Points, ShapeTypes::Perpendicular3Points},
        {ui->pushButtonPerp4Points, ShapeTypes::Perpendicular4Points},
        {ui->pushButtonText, ShapeTypes::Text},
        {ui->pushButtonScale, ShapeTypes::Scale},
    };
    m_toolGroup = new QButtonGroup(this);
    m_toolGroup->setExclusive(false);
    for (const auto &tool : drawingTools) {
        m_toolGroup->addButton(tool.button);
        const int type = tool.type;
        connect(tool.button, &QAbstractButton::clicked, this,
                [this, type] { armTool(type, true); });
    }
    m_toolGroup->addButton(ui->pushButtonMouse);
    m_toolGroup->addButton(ui->pushButtonPalm);
    connect(ui->pushButtonMouse, &QAbstractButton::clicked, this,
            [this] { armTool(LineDataRegistry::kSelectionTool, false); });
    connect(ui->pushButtonPalm, &QAbstractButton::clicked, this,
            [this] { armTool(LineDataRegistry::kHandTool, false); });
    m_actionButtons = {ui->pushButtonDel, ui->pushButtonDelAll};
    for (QAbstractButton *button : m_actionButtons)
        m_toolGroup->addButton(button);
    connect(m_toolGroup, QOverload<QAbstractButton *>::of(&QButtonGroup::buttonClicked), this,
            &LeftBarWidget::onGroupButtonClicked);
    // Until the canvas shows a picture there is nothing to draw on.
    setDrawButtonsEnabled(false);

    // The tool buttons below the four file buttons, in form order: two columns while the
    // widest fits twice, one otherwise (a narrow panel, or long texts of another language).
    QGridLayout *grid = ui->gridLayoutMeasureTools;
    for (int i = 0; i < grid->count(); ++i) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
        if (auto *button = qobject_cast<QAbstractButton *>(grid->itemAt(i)->widget()))
            if (m_toolGroup->buttons().contains(button))
                m_gridTools.append({row * 2 + column, button});
    }
    std::sort(m_gridTools.begin(), m_gridTools.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    ui->scrollAreaMeasure->viewport()->installEventFilter(this);

    // The lists may narrow with the panel: long magnification names are elided, and the full
    // text of the current entry is in the tool tip (refills, with signals blocked, set it too).
    for (QComboBox *list : {ui->comboBoxProName, ui->comboBoxUnit, ui->comboBoxFileType}) {
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        list->setMinimumContentsLength(1);
        connect(list, &QComboBox::currentTextChanged, list, &QWidget::setToolTip);
    }

    // The capture buttons say what they do; the file buttons show icons, named in tool tips.
    ui->toolButtonCapture->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ui->toolButtonVideotape->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    retranslateCaptureSide();

    connect(ui->toolButtonCapture, &QAbstractButton::clicked, this, &LeftBarWidget::onCapture);
    m_frameWait = new QTimer(this);
    m_frameWait->setSingleShot(true);
    m_frameWait->setInterval(kFreshFrameWaitMs);
    // No picture came (the camera stalled or was closed): the last frame it is.
    connect(m_frameWait, &QTimer::timeout, this, [this] { runFrameWaiters(lastFrame()); });
    connect(m_camera, &Camera::requestedFrameReady, this, [this](const QImage &frame) {
        if (!m_frameWaiters.empty())
            runFrameWaiters(frame);
    });
    connect(ui->toolButtonVideotape, &QAbstractButton::clicked, this,
            &LeftBarWidget::onVideotapeClicked);
    connect(ui->toolButtonFusionImage, &QAbstractButton::clicked, this, [this] {
        const QString path = imageSavePath(tr("保存融合图像"));
        if (!path.isEmpty())
            withFrameOnScreen([this, path](const QImage &) { emit sigSaveFusedImage(path); });
    });
    connect(ui->toolButtonExportReport, &QAbstractButton::clicked, this,
            [this] { withFrameOnScreen([this](const QImage &) { emit sigExportReport(); }); });
    connect(ui->comboBoxFileType, QOverload<int>::of(&QComboBox::activated), this, [](int index) {
        if (index >= 0)
            QSettings().setValue(SettingsKeys::kFileType, index);
    });
    refreshFileTypeList();

    connect(m_recorder, &VideoRecorder::recordingStopped, this, &LeftBarWidget::onRecordingStopped);
    connect(m_recorder, &VideoRecorder::error, this, &LeftBarWidget::onRecorderError);

    // Calibration: the lists follow the model however it changes.
    connect(ui->comboBoxProName, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &LeftBarWidget::onCalibrationProNameChanged);
    connect(ui->comboBoxUnit, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &LeftBarWidget::onCalibrationUnitChanged);
    connect(m_calibration, &CalibrationData::magnificationListChanged, this,
            &LeftBarWidget::fillCalibrationLists);
    connect(m_calibration, &CalibrationData::currentMagnificationChanged, this,
            &LeftBarWidget::selectCalibrationEntries);
    connect(m_calibration, &CalibrationData::unitChanged, this,
            &LeftBarWidget::selectCalibrationEntries);
    connect(ui->pushButtonMagnification, &QAbstractButton::clicked, this, [this] {
        MagnificationDialog dialog(m_calibration, this);
        if (dialog.exec() == QDialog::Accepted)
            m_calibration->saveToSettings();
    });
    connect(ui->pushButtonCalibrationConfig, &QAbstractButton::clicked, this,
            [this] { emit sigOpenCalibrationDialog(m_calibration); });
    // A picture's own pixel size stays temporary until it is kept or discarded here.
    m_pictureCalibrationRow = new QWidget(ui->widgetCalibrations);
    m_pictureCalibrationRow->setObjectName(QStringLiteral("widgetPictureCalibration"));
    auto *row = new QGridLayout(m_pictureCalibrationRow);
    row->setContentsMargins(0, 0, 0, 0);
    m_pictureCalibrationLabel = new QLabel(m_pictureCalibrationRow);
    m_pictureCalibrationLabel->setObjectName(QStringLiteral("labelPictureCalibration"));
    m_pictureCalibrationLabel->setWordWrap(true);
    m_keepPictureCalibration = new QPushButton(m_pictureCalibrationRow);
    m_keepPictureCalibration->setObjectName(QStringLiteral("pushButtonKeepPictureCalibration"));
    m_discardPictureCalibration = new QPushButton(m_pictureCalibrationRow);
    m_discardPictureCalibration->setObjectName(
        QStringLiteral("pushButtonDiscardPictureCalibration"));
    row->addWidget(m_pictureCalibrationLabel, 0, 0, 1, 2);
    row->addWidget(m_keepPictureCalibration, 1, 0);
    row->addWidget(m_discardPictureCalibration, 1, 1);
    ui->gridLayoutCalibrations->addWidget(m_pictureCalibrationRow,
                                          ui->gridLayoutCalibrations->rowCount(), 0, 1, 2);
    m_pictureCalibrationRow->hide();
    connect(m_keepPictureCalibration, &QAbstractButton::clicked, this,
            &LeftBarWidget::keepPictureCalibration);
    connect(m_discardPictureCalibration, &QAbstractButton::clicked, this,
            &LeftBarWidget::discardPictureCalibration);
    reloadCalibrationLists();
}

void LeftBarWidget::retranslateCaptureSide()
{
    for (QToolButton *button : {ui->toolButtonOpenImg, ui->toolButtonSave,
                                ui->toolButtonFusionImage, ui->toolButtonExportReport})
        button->setToolTip(button->text());
    fillCalibrationLists();
    layoutToolButtons();
}

bool LeftBarWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->scrollAreaMeasure->viewport() && event->type() == QEvent::Resize)
        layoutToolButtons();
    else if (event->type() == QEvent::LayoutRequest &&
             (watched == ui->scrollAreaContentsCamera || watched == ui->scrollAreaContentsMeasure))
        fitContentWidth();
    return QWidget::eventFilter(watched, event);
}

void LeftBarWidget::layoutToolButtons()
{
    if (!ui->scrollAreaMeasure->isVisible())
        return; // a hidden page's width means nothing; the bar is wide enough for two columns
    QGridLayout *grid = ui->gridLayoutMeasureTools;
    int widest = 0;
    for (const auto &tool : m_gridTools)
        widest = std::max(widest, tool.second->sizeHint().width());
    const QMargins margins = grid->contentsMargins();
    const int available = ui->scrollAreaMeasure->viewport()->width() - margins.left() -
                          margins.right() - std::max(0, grid->horizontalSpacing());
    const int columns = available >= 2 * widest ? 2 : 1;
    if (columns == m_toolColumns)
        return;
    m_toolColumns = columns;
    constexpr int kFirstRow = 2; // below the file buttons
    for (int i = 0; i < m_gridTools.size(); ++i) {
        QAbstractButton *button = m_gridTools.at(i).second;
        grid->removeWidget(button);
        if (columns == 2)
            grid->addWidget(button, kFirstRow + i / 2, i % 2);
        else
            grid->addWidget(button, kFirstRow + i, 0, 1, 2);
    }
}

void LeftBarWidget::setSaveFileNameProvider(SaveFileNameProvider provider)
{
    m_saveFileName = std::move(provider);
}

void LeftBarWidget::setOpenFileNameProvider(OpenFileNameProvider provider)
{
    m_openFileName = std::move(provider);
}

void LeftBarWidget::setOpenUrlProvider(OpenUrlProvider provider)
{
    m_openUrl = std::move(provider);
}

QString LeftBarWidget::askSaveFileName(const QString &caption, const QString &proposedName,
                                       const QString &filter, QString *selectedFilter)
{
    m_lastAskedName =
        m_saveFileName
            ? m_saveFileName(this, caption, proposedName, filter, selectedFilter)
            : QFileDialog::getSaveFileName(this, caption, proposedName, filter, selectedFilter);
    return m_lastAskedName;
}

QString LeftBarWidget::presetFolder() const
{
    QSettings settings;
    if (!settings.value(SettingsKeys::kUsePresetPath, SettingsKeys::kUsePresetPathDefault).toBool())
        return QString();
    return settings.value(SettingsKeys::kSavePath, SettingsKeys::defaultSavePath()).toString();
}

// ---- Stills -----------------------------------------------------------------------------------

void LeftBarWidget::onCapture()
{
    withFrameOnScreen([this](const QImage &frame) { captureFrame(frame); });
}

void LeftBarWidget::withFrameOnScreen(std::function<void(const QImage &)> then)
{
    // Asked for while an earlier one waits: it waits for the same picture.
    if (m_frameWaiters.empty() && !askForFrameOnScreen()) {
        then(lastFrame());
        return;
    }
    m_frameWaiters.push_back(std::move(then));
    m_frameWait->start();
}

void LeftBarWidget::runFrameWaiters(const QImage &frame)
{
    m_frameWait->stop();
    // Taken first: a waiter may open a dialog, during which new ones are asked for.
    const std::vector<std::function<void(const QImage &)>> waiters =
        std::exchange(m_frameWaiters, {});
    for (const auto &then : waiters)
        then(frame);
}

bool LeftBarWidget::askForFrameOnScreen()
{
    // MJPG frames reach full resolution about once a second: while newer previews show, the
    // last frame is not the picture the user sees.
    if (!m_camera->isOpened() || m_camera->fullRate() || m_previewsSinceFrame == 0 ||
        lastFrame().isNull())
        return false;
    m_camera->requestFullFrame();
    return true;
}

void LeftBarWidget::captureFrame(const QImage &frame)
{
    if (frame.isNull()) {
        QMessageBox::warning(this, tr("拍照"), tr("当前没有可用的相机画面"));
        return;
    }
    const int type = storedFileType();
    const QString folder = presetFolder();
    QString path;
    if (!folder.isEmpty()) {
        path = freePath(folder + QStringLiteral("/capture_") + timeStamp(),
                        QLatin1Char('.') + QLatin1String(kImageTypes[type].suffix));
    } else {
        const QString saveFolder =
            QSettings().value(SettingsKeys::kSavePath, SettingsKeys::defaultSavePath()).toString();
        QString filter = QString::fromLatin1(kImageTypes[type].filter);
        path = askSaveFileName(tr("保存截图"),
                               saveFolder + QStringLiteral("/capture_") + timeStamp() +
                                   QStringLiteral(".png"),
                               imageFilters(), &filter);
        if (path.isEmpty())
            return;
        const int chosen = imageTypeOfFilter(filter);
        path = withSuffix(path, QLatin1String(kImageTypes[chosen >= 0 ? chosen : type].suffix));
        if (!ReplaceQuestion::mayReplace(this, path, m_lastAskedName, tr("拍照")))
            return;
    }

    // Written in one atomic replace: a failed write leaves a file chosen for overwriting as it
    // was, and never a cut-off picture.
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool jpeg = imageTypeOfSuffix(suffix) == 1;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) ||
        DrawingDocument::storePicture(path, frame, suffix.toLatin1().constData(), jpeg ? 90 : -1) !=
            DrawingDocument::StoreResult::Stored) {
        qWarning().noquote() << "LeftBarWidget::onCapture: cannot write" << path;
        QMessageBox::warning(this, tr("拍照"), tr("保存失败，请检查路径和权限"));
        return;
    }
    qInfo().noquote() << "LeftBarWidget::onCapture:" << path;
    m_pendingStores.insert(path, SaveKind::Capture);
    emit sigSaveImage(path);
}

void LeftBarWidget::onCaptureStored(const QString &path, bool ok, const QString &error)
{
    const auto pending = m_pendingStores.find(path);
    if (pending == m_pendingStores.end())
        return; // a save the bar did not start
    const SaveKind kind = pending.value();
    m_pendingStores.erase(pending);
    const QString title = kind == SaveKind::Capture ? tr("拍照") : tr("保存图片");
    if (!ok) {
        qWarning().noquote() << "LeftBarWidget: storing" << path << "failed:" << error;
        QMessageBox::warning(this, title,
                             error.isEmpty() ? tr("保存失败，请检查路径和权限")
                                             : tr("保存失败:%1").arg(error));
        return;
    }
    emit sigStatusMessage(QFileInfo(path).fileName() + tr(" 保存成功"));
    if (kind == SaveKind::Capture)
        showSaveSuccessDialog(title, tr("截图已保存到:%1").arg(QDir::toNativeSeparators(path)),
                              path);
}

bool LeftBarWidget::isWrittenCapture(const QString &path) const
{
    return m_pendingStores.value(path, SaveKind::Picture) == SaveKind::Capture;
}

QString LeftBarWidget::imageSavePath(const QString &caption)
{
    QString folder;
    QString base = timeStamp();
    if (!m_lastSavedPath.isEmpty()) {
        const QFileInfo last(m_lastSavedPath);
        folder = last.absolutePath();
        base = last.completeBaseName();
    }
    const int type = storedFileType();
    const QString preset = presetFolder();
    if (!preset.isEmpty())
        return freePath(preset + QLatin1Char('/') + timeStamp(),
                        QLatin1Char('.') + QLatin1String(kImageTypes[type].suffix));
    if (folder.isEmpty())
        folder =
            QSettings().value(SettingsKeys::kSavePath, SettingsKeys::defaultSavePath()).toString();
    QString filter = QString::fromLatin1(kImageTypes[type].filter);
    const QString path =
        askSaveFileName(caption, folder + QLatin1Char('/') + base + QStringLiteral(".png"),
                        imageFilters(), &filter);
    if (path.isEmpty())
        return QString();
    const int chosen = imageTypeOfFilter(filter);
    const QString named =
        withSuffix(path, QLatin1String(kImageTypes[chosen >= 0 ? chosen : type].suffix));
    return ReplaceQuestion::mayReplace(this, named, m_lastAskedName, caption) ? named : QString();
}

void LeftBarWidget::on_toolButtonSave_clicked()
{
    const QString path = imageSavePath(tr("保存图片"));
    if (path.isEmpty())
        return;
    withFrameOnScreen([this, path](const QImage &) {
        m_pendingStores.insert(path, SaveKind::Picture);
        emit sigSaveImage(path);
    });
}

void LeftBarWidget::on_toolButtonOpenImg_clicked()
{
    if (m_camera->isOpened()) {
        QMessageBox::warning(this, tr("提示"), tr("请先关闭相机再加载图片"));
        return;
    }
    // Every format the program writes, and XPM.
    const QString filter = QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp *.tif *.tiff *.xpm)");
    const QString path =
        m_openFileName ? m_openFileName(this, tr("打开文件"), filter)
                       : QFileDialog::getOpenFileName(this, tr("打开文件"), QString(), filter);
    if (!path.isEmpty())
        emit sigOpenImage(path);
}

void LeftBarWidget::refreshFileTypeList()
{
    QComboBox *list = ui->comboBoxFileType;
    const QSignalBlocker blocker(list);
    if (list->count() != kImageTypeCount) {
        list->clear();
        for (const ImageType &type : kImageTypes)
            list->addItem(QString::fromLatin1(type.text), QString::fromLatin1(type.suffix));
    }
    list->setCurrentIndex(storedFileType());
    list->setToolTip(list->currentText());
}

// ---- After-save dialog ------------------------------------------------------------------------

void LeftBarWidget::showSaveSuccessDialog(const QString &title, const QString &text,
                                          const QString &filePath)
{
    if (QSettings()
            .value(SettingsKeys::kSuppressSaveNotification,
                   SettingsKeys::kSuppressSaveNotificationDefault)
            .toBool())
        return;
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::NoButton, this);
    QPushButton *changeFolder = box.addButton(tr("更改目录"), QMessageBox::ActionRole);
    QPushButton *openFolder = box.addButton(tr("打开目录"), QMessageBox::ActionRole);
    QPushButton *ok = box.addButton(tr("确定"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    auto *dontAsk = new QCheckBox(tr("不再提示"), &box);
    dontAsk->setAccessibleName(tr("不再提示"));
    box.setCheckBox(dontAsk);
    box.exec();

    if (dontAsk->isChecked())
        QSettings().setValue(SettingsKeys::kSuppressSaveNotification, true);
    if (box.clickedButton() == openFolder) {
        const QString folder = QFileInfo(filePath).absolutePath();
        const QUrl url = QUrl::fromLocalFile(folder);
        const bool opened = m_openUrl ? m_openUrl(url) : QDesktopServices::openUrl(url);
        if (!opened)
            QMessageBox::warning(this, title,
                                 tr("无法打开目录:%1").arg(QDir::toNativeSeparators(folder)));
    } else if (box.clickedButton() == changeFolder) {
        changeSaveFolder(title.contains(tr("录像")));
    }
}

void LeftBarWidget::changeSaveFolder(bool video)
{
    QSettings settings;
    const QString folder =
        settings.value(SettingsKeys::kSavePath, SettingsKeys::defaultSavePath()).toString();
    QString path;
    QString filter;
    int index = -1;
    if (video) {
        int stored =
            settings.value(SettingsKeys::kVideoFileType, SettingsKeys::kVideoFileTypeDefault)
                .toInt();
        if (stored < 0 || stored >= kVideoSuffixes.size())
            stored = SettingsKeys::kVideoFileTypeDefault;
        const QStringList filters = {QStringLiteral("MP4 (*.mp4)"), QStringLiteral("AVI (*.avi)")};
        filter = filters.at(stored);
        path = askSaveFileName(tr("更改保存目录"),
                               folder + QStringLiteral("/video_") + timeStamp() + QLatin1Char('.') +
                                   kVideoSuffixes.at(stored),
                               filters.join(QStringLiteral(";;")), &filter);
        if (path.isEmpty())
            return;
        index = kVideoSuffixes.indexOf(QFileInfo(path).suffix().toLower());
        if (index < 0)
            index = std::max(0, int(filters.indexOf(filter)));
        settings.setValue(SettingsKeys::kVideoFileType, index);
    } else {
        const int stored = storedFileType();
        filter = QString::fromLatin1(kImageTypes[stored].filter);
        path = askSaveFileName(tr("更改保存目录"),
                               folder + QStringLiteral("/capture_") + timeStamp() +
                                   QLatin1Char('.') + QLatin1String(kImageTypes[stored].suffix),
                               imageFilters(), &filter);
        if (path.isEmpty())
            return;
        // "jpeg" and "tiff" count as JPG and TIFF; an unknown suffix takes the chosen filter.
        index = imageTypeOfSuffix(QFileInfo(path).suffix());
        if (index < 0)
            index = imageTypeOfFilter(filter);
        if (index < 0)
            index = stored;
        settings.setValue(SettingsKeys::kFileType, index);
    }
    settings.setValue(SettingsKeys::kSavePath, QFileInfo(path).absolutePath());
    settings.setValue(SettingsKeys::kUsePresetPath, true);
    refreshFileTypeList();
}

// ---- Recording --------------------------------------------------------------------------------

void LeftBarWidget::onVideotapeClicked()
{
    if (isRecording()) {
        endRecording();
        return;
    }
    if (!m_camera->isOpened() || lastFrame().isNull()) {
        QMessageBox::warning(this, tr("录像"), tr("当前没有可用的相机画面"));
        return;
    }
    const QString folder = presetFolder();
    QString path;
    if (!folder.isEmpty()) {
        path = freePath(folder + QStringLiteral("/video_") + timeStamp(), QStringLiteral(".mp4"));
    } else {
        const QString saveFolder =
            QSettings().value(SettingsKeys::kSavePath, SettingsKeys::defaultSavePath()).toString();
        QString filter = tr("MP4 视频 (*.mp4)");
        path = askSaveFileName(tr("保存录像"),
                               saveFolder + QStringLiteral("/video_") + timeStamp() +
                                   QStringLiteral(".mp4"),
                               filter, &filter);
        if (path.isEmpty())
            return;
        path = withSuffix(path, QStringLiteral("mp4"));
        if (!ReplaceQuestion::mayReplace(this, path, m_lastAskedName, tr("录像")))
            return;
    }
    const int errorsBefore = m_recorderErrors;
    if (!beginRecording(path) && m_recorderErrors == errorsBefore) {
        // Not started and not explained by the recorder (it reports its own refusals).
        QMessageBox::warning(this, tr("录像"), tr("无法开始录像:%1").arg(path));
    }
}

void LeftBarWidget::onRecordingStopped(const QString &filePath)
{
    emit sigStatusMessage(QFileInfo(filePath).fileName() + tr(" 保存成功"));
    showSaveSuccessDialog(tr("录像完成"),
                          tr("视频已保存到:%1").arg(QDir::toNativeSeparators(filePath)), filePath);
}

void LeftBarWidget::onRecorderError(const QString &message)
{
    ++m_recorderErrors;
    // Whatever failed, the recording ends here: stopped, full-rate decoding off, button reset.
    endRecording();
    if (m_recorderErrorShown) {
        qWarning().noquote() << "LeftBarWidget: further recorder error:" << message;
        return;
    }
    m_recorderErrorShown = true;
    QMessageBox::warning(this, tr("录像错误"), message);
    m_recorderErrorShown = false;
}

// ---- Drawing tools ----------------------------------------------------------------------------

void LeftBarWidget::armTool(int toolType, bool drawing)
{
    LineDataRegistry::instance()->setToolType(toolType);
    if (!drawing)
        emit sigPalmModeChanged(toolType == LineDataRegistry::kHandTool);
    emit sigDrawToolActivated(drawing);
}

void LeftBarWidget::markChosen(QAbstractButton *chosen)
{
    for (QAbstractButton *button : m_toolGroup->buttons()) {
        const QString state =
            button == chosen ? QStringLiteral("choose") : QStringLiteral("nochoose");
        if (button->property("ChooseType").toString() != state) {
            button->setProperty("ChooseType", state);
            repolish(button);
        }
    }
}

void LeftBarWidget::onGroupButtonClicked(QAbstractButton *button)
{
    qDebug().noquote() << "onGroupButtonClicked" << button->objectName();
    // The delete buttons act once; the tool that was chosen stays chosen.
    if (!m_actionButtons.contains(button))
        markChosen(button);
    if (button != ui->pushButtonPalm)
        emit sigPalmModeChanged(false);
}

void LeftBarWidget::setDrawButtonsEnabled(bool enabled)
{
    for (QAbstractButton *button : m_toolGroup->buttons())
        button->setEnabled(enabled);
    if (!enabled) {
        LineDataRegistry::instance()->setToolType(LineDataRegistry::kSelectionTool);
        markChosen(ui->pushButtonMouse);
    }
}

void LeftBarWidget::releaseDrawTool()
{
    LineDataRegistry::instance()->setToolType(LineDataRegistry::kSelectionTool);
    markChosen(ui->pushButtonMouse);
}

void LeftBarWidget::on_pushButtonDel_clicked()
{
    emit sigDeleteRequested();
}

void LeftBarWidget::on_pushButtonDelAll_clicked()
{
    if (LineDataRegistry::instance()->lines().isEmpty()) {
        QMessageBox::information(this, tr("提示"), tr("没有可删除的图形"));
        return;
    }
    if (QMessageBox::question(this, tr("删除全部"), tr("确定删除所有图形？删除后可以撤销。"),
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes)
        emit sigDeleteAllRequested();
}

void LeftBarWidget::onAttribute(Attribute::Ptr m_attribute)
{
    m_attributeTree->setAttribute(std::move(m_attribute));
}

void LeftBarWidget::refreshAttributeDisplay()
{
    m_attributeTree->setAttribute(m_attributeTree->attribute());
}

// ---- Calibration lists ------------------------------------------------------------------------

void LeftBarWidget::reloadCalibrationLists()
{
    m_calibration->loadFromSettings();
    fillCalibrationLists();
}

void LeftBarWidget::fillCalibrationLists()
{
    QComboBox *names = ui->comboBoxProName;
    QComboBox *units = ui->comboBoxUnit;
    const QSignalBlocker namesBlocker(names);
    const QSignalBlocker unitsBlocker(units);

    names->clear();
    names->addItem(tr("未定义"));
    for (const CalibrationData::Magnification &entry : m_calibration->magnifications())
        names->addItem(entry.name + QStringLiteral(" (%1 px/m)").arg(entry.resolution, 0, 'f', 0));

    const int temporary = m_calibration->temporaryIndex();
    if (temporary >= 0)
        names->setItemData(temporary + 1, tr("图片自带的像素尺寸，尚未保留"), Qt::ToolTipRole);
    if (m_pictureCalibrationRow) {
        m_pictureCalibrationLabel->setText(tr("图片自带标定，尚未保留"));
        m_keepPictureCalibration->setText(tr("保留"));
        m_keepPictureCalibration->setAccessibleName(tr("保留图片自带标定"));
        m_keepPictureCalibration->setToolTip(tr("作为放大倍率保存，以后也可使用"));
        m_discardPictureCalibration->setText(tr("丢弃"));
        m_discardPictureCalibration->setAccessibleName(tr("丢弃图片自带标定"));
        m_discardPictureCalibration->setToolTip(tr("从放大倍率列表中移除"));
        m_pictureCalibrationRow->setVisible(temporary >= 0);
    }

    units->clear();
    const QStringList codes = CalibrationData::unitCodes();
    const QStringList displayNames = CalibrationData::unitDisplayNames();
    for (int i = 0; i < codes.size(); ++i)
        units->addItem(i < displayNames.size() ? displayNames.at(i) : codes.at(i), codes.at(i));
    selectCalibrationEntries();
}

void LeftBarWidget::selectCalibrationEntries()
{
    const QSignalBlocker namesBlocker(ui->comboBoxProName);
    const QSignalBlocker unitsBlocker(ui->comboBoxUnit);
    const int current = m_calibration->currentIndex();
    ui->comboBoxProName->setCurrentIndex(
        current >= 0 && current < m_calibration->count() ? current + 1 : 0);
    ui->comboBoxUnit->setCurrentIndex(
        std::max(0, ui->comboBoxUnit->findData(m_calibration->currentUnit())));
    ui->comboBoxProName->setToolTip(ui->comboBoxProName->currentText());
    ui->comboBoxUnit->setToolTip(ui->comboBoxUnit->currentText());
}

void LeftBarWidget::keepPictureCalibration()
{
    const int temporary = m_calibration->temporaryIndex();
    if (temporary < 0)
        return;
    const QString base =
        CalibrationData::pixelSizeText(m_calibration->magnifications()[temporary].resolution);
    QString name = base;
    for (int n = 2; !m_calibration->keepTemporary(name); ++n)
        name = QStringLiteral("%1 (%2)").arg(base).arg(n);
    emit sigStatusMessage(tr("已保留为放大倍率“%1”").arg(name));
}

void LeftBarWidget::discardPictureCalibration()
{
    m_calibration->discardTemporary();
    m_calibration->saveToSettings();
}

void LeftBarWidget::onCalibrationProNameChanged(int index)
{
    if (index < 0)
        return;
    m_calibration->setCurrentIndex(index - 1);
    m_calibration->saveToSettings();
}

void LeftBarWidget::onCalibrationUnitChanged(int index)
{
    if (index < 0)
        return;
    m_calibration->setCurrentUnit(ui->comboBoxUnit->itemData(index).toString());
    m_calibration->saveToSettings();
}
