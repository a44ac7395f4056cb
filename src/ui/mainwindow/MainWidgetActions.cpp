// MainWidgetActions.cpp: the main window's operations that touch several areas: pictures from
// the camera, the unsaved-drawing question, opening and saving pictures, the report, the
// settings, about and licence dialogs.
#include "ui/mainwindow/MainWidget.h"

#include "calibration/CalibrationData.h"
#include "calibration/dialogs/CalibrationDialog.h"
#include "calibration/dialogs/CalibrationSession.h"

#include "app/AppLanguage.h"
#include "canvas/GraphicsScene.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureFrame.h"
#include "panels/LeftBarWidget.h"
#include "panels/ReplaceQuestion.h"
#include "panels/RightWidget.h"
#include "report/ReportExporter.h"
#include "settings/SettingsKeys.h"
#include "settings/dialog/SettingDialog.h"
#include "shapes/TextItem.h"

#include <QApplication>
#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <cmath>

namespace {

// The build date as eight digits, e.g. 20260918.
QString buildDateDigits()
{
    const QDate date = QLocale::c().toDate(QString::fromLatin1(__DATE__).simplified(),
                                           QStringLiteral("MMM d yyyy"));
    return date.isValid() ? date.toString(QStringLiteral("yyyyMMdd")) : QString();
}

// JPEG, PNG and TIFF files carry the drawing in their EXIF UserComment; BMP and the other
// formats the program opens have no place for it.
bool canHoldDrawing(const QString &path)
{
    static const QStringList suffixes = {QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                         QStringLiteral("png"), QStringLiteral("tif"),
                                         QStringLiteral("tiff")};
    return suffixes.contains(QFileInfo(path).suffix().toLower());
}

// `path` with `suffix` appended unless it already ends in one of `accepted` (any letter case), so
// that a name typed without its suffix gets the format of the chosen filter.
QString withSuffix(const QString &path, const QString &suffix, const QStringList &accepted)
{
    if (accepted.contains(QFileInfo(path).suffix().toLower()))
        return path;
    return path + QLatin1Char('.') + suffix;
}

// Why a picture file could not be written is not known here: the message names what to check.
QString cannotWritePicture(const QString &path)
{
    return MainWidget::tr("无法写入图片文件：%1\n请检查文件夹是否存在、是否可写入以及磁盘空间。")
        .arg(QDir::toNativeSeparators(path));
}

QString timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
}

} // namespace

void MainWidget::setSaveFileNameProvider(SaveFileNameProvider provider)
{
    m_saveFileName = std::move(provider);
}

QString MainWidget::askSaveFileName(const QString &caption, const QString &proposedName,
                                    const QString &filter, QString *selectedFilter)
{
    m_lastAskedName =
        m_saveFileName
            ? m_saveFileName(this, caption, proposedName, filter, selectedFilter)
            : QFileDialog::getSaveFileName(this, caption, proposedName, filter, selectedFilter);
    return m_lastAskedName;
}

bool MainWidget::maybeSaveDrawing()
{
    if (!m_modified)
        return true;
    QMessageBox box(QMessageBox::Question, tr("保存确认"), tr("当前绘图数据已修改，是否保存？"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.button(QMessageBox::Save)->setText(tr("保存"));
    box.button(QMessageBox::Discard)->setText(tr("丢弃"));
    box.button(QMessageBox::Cancel)->setText(tr("取消"));
    box.setDefaultButton(QMessageBox::Cancel);
    const int answer = box.exec();
    if (answer == QMessageBox::Discard) {
        setModified(false);
        return true;
    }
    if (answer != QMessageBox::Save)
        return false;

    // A picture that cannot carry the drawing (BMP, XPM) is saved under a new name instead.
    if (m_currentImagePath.isEmpty() || !canHoldDrawing(m_currentImagePath)) {
        const QFileInfo current(m_currentImagePath);
        return saveDrawingAs(m_currentImagePath.isEmpty()
                                 ? QString()
                                 : current.absolutePath() + QLatin1Char('/') +
                                       current.completeBaseName() + QStringLiteral(".png"));
    }
    if (!view()->saveWithMetadata(m_currentImagePath))
        return false; // the view has told the user why; the drawing stays unsaved
    setModified(false);
    return true;
}

bool MainWidget::saveDrawingAs(const QString &proposedName)
{
    // The filter says before the choice that a BMP file keeps the picture only.
    const QString bmpFilter = tr("BMP（仅图片，不含测量标注）") + QStringLiteral(" (*.bmp)");
    const QString filters =
        QStringLiteral("PNG (*.png);;JPEG (*.jpg);;TIFF (*.tif *.tiff);;") + bmpFilter;
    QString selected = QStringLiteral("PNG (*.png)");
    QString path = askSaveFileName(tr("保存图片"), proposedName, filters, &selected);
    if (path.isEmpty())
        return false;
    const QString suffix = selected.startsWith(QLatin1String("JPEG"))   ? QStringLiteral("jpg")
                           : selected.startsWith(QLatin1String("TIFF")) ? QStringLiteral("tif")
                           : selected == bmpFilter                      ? QStringLiteral("bmp")
                                                                        : QStringLiteral("png");
    path = withSuffix(path, suffix,
                      {QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                       QStringLiteral("tif"), QStringLiteral("tiff"), QStringLiteral("bmp")});
    if (!ReplaceQuestion::mayReplace(this, path, m_lastAskedName, tr("保存图片")))
        return false;
    const bool holds = canHoldDrawing(path);
    if (!holds && QMessageBox::question(
                      this, tr("保存图片"),
                      tr("BMP 格式不能保存测量标注：只有图片会被保存，测量标注将丢失。\n"
                         "仍要保存为 BMP 吗？"),
                      QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return false;
    if (view()->image().isNull() || !view()->saveBackgroundImage(path)) {
        QMessageBox::warning(this, tr("保存图片"), cannotWritePicture(path));
        return false;
    }
    if (holds && !view()->saveWithMetadata(path))
        return false; // the view has told the user why; the drawing stays unsaved
    m_currentImagePath = path;
    m_leftBar->setLastSavedPath(path);
    setModified(false);
    return true;
}

void MainWidget::onOpenImage(const QString &path)
{
    if (!maybeSaveDrawing())
        return;
    // An unreadable file changes nothing: the drawing and its table stay as they are.
    if (!QImageReader(path).canRead()) {
        QMessageBox::warning(this, tr("打开图片"), tr("无法打开图片：%1").arg(path));
        return;
    }
    // The file's own drawing fills the emptied table while it loads, without marking a change.
    m_rightWidget->clearAll();
    m_loading = true;
    const bool opened = m_measureFrame->openImageFile(path);
    m_loading = false;
    if (!opened) {
        // The picture and its drawing are still there (a damaged file can pass the first check
        // and fail while it is read): their rows come back in the order the canvas made them.
        for (const LineDataBase::Ptr &record : LineDataRegistry::instance()->lines())
            if (view()->isAnnounced(record->id))
                m_rightWidget->onAddDrawLine(record);
        QMessageBox::warning(this, tr("打开图片"), tr("无法打开图片：%1").arg(path));
        return;
    }
    m_currentImagePath = path;
    setModified(false);
    tellUnreadDrawing(path);
    offerPictureCalibration(path);
}

void MainWidget::tellUnreadDrawing(const QString &path)
{
    // The picture is shown either way; what its drawing lost is said, not just logged.
    const MeasureGraphicsViewBusiness *v = view();
    const QString file = QDir::toNativeSeparators(path);
    if (v->readDrawingDamaged())
        QMessageBox::warning(
            this, tr("打开图片"),
            tr("图片已打开，但其中保存的测量标注已损坏，无法读取：\n%1").arg(file));
    else if (v->unreadShapeCount() > 0)
        QMessageBox::warning(this, tr("打开图片"),
                             tr("图片已打开，但其中保存的 %1 个测量标注有 %2 个无法读取：\n%3")
                                 .arg(v->readShapeCount())
                                 .arg(v->unreadShapeCount())
                                 .arg(file));
}

void MainWidget::onSetImage(QImage image)
{
    if (image.isNull())
        return;
    // A live frame replaces the picture but not the drawing: the unsaved mark stays as it is
    // (it was reset when the camera started) and the user's zoom is kept unless fitting is on.
    m_currentImagePath.clear();
    MeasureGraphicsViewBusiness *v = view();
    v->updateFrameImage(image);
    if (v->fitMode())
        v->fitViewToScene();
    v->handleStillImageShown();
    m_leftBar->setLastSavedPath(QString());
}

void MainWidget::onSetPreview(QImage preview)
{
    m_measureFrame->showPreviewImage(preview);
    m_measureFrame->setPreviewWidgetVisible(false);
}

void MainWidget::onSetYuvPreview(VideoFrameYUV frame)
{
    m_measureFrame->showYuvFrame(frame);
}

void MainWidget::clearDrawing()
{
    MeasureGraphicsViewBusiness *v = view();
    v->delAllLine();
    if (GraphicsScene *scene = v->graphicsScene()) {
        for (QGraphicsItem *item : scene->items()) {
            if (auto *text = dynamic_cast<TextItem *>(item)) {
                if (text->lineData())
                    LineDataRegistry::instance()->removeLine(text->lineData()->id);
                scene->removeItem(text);
                text->deleteLater();
            }
        }
    }
    m_rightWidget->clearAll();
}

void MainWidget::onRequestStartCamera()
{
    if (!maybeSaveDrawing())
        return;
    clearDrawing();
    m_currentImagePath.clear();
    setModified(false);
    m_leftBar->discardPictureCalibration();
    m_leftBar->startCamera();
}

void MainWidget::onClearCanvas()
{
    qInfo().noquote() << "[打开摄像头] 清除画布数据...";
    clearDrawing();
    qInfo().noquote() << "[打开摄像头] 清除完成";
}

void MainWidget::onSaveImage(const QString &path)
{
    // A capture arrives written by the left bar and only gets the drawing embedded; for the save
    // button the picture on the canvas is written first. The left bar reports the outcome (saved,
    // or why not) only now. On any failure the drawing keeps its unsaved mark.
    if (!m_leftBar->isWrittenCapture(path)) {
        if (view()->image().isNull()) {
            m_leftBar->onCaptureStored(path, false,
                                       tr("当前没有可保存的图像，请先加载图片或打开相机。"));
            return;
        }
        if (!view()->saveBackgroundImage(path)) {
            qWarning().noquote() << "saveBackgroundImage failed:" << path;
            m_leftBar->onCaptureStored(path, false, cannotWritePicture(path));
            return;
        }
    }
    if (!canHoldDrawing(path)) {
        // The picture is saved, the drawing is not: it stays unsaved, and the user hears why.
        m_currentImagePath = path;
        m_leftBar->setLastSavedPath(path);
        m_leftBar->onCaptureStored(path, true, QString());
        if (m_modified)
            QMessageBox::warning(this, tr("保存提示"),
                                 tr("图片已保存，但 BMP 格式不能保存测量标注，标注仍未保存。\n"
                                    "如需保留标注，请改用 PNG、JPG 或 TIFF 格式。"));
        return;
    }
    QString error;
    if (!view()->saveWithMetadata(path, &error)) {
        qWarning().noquote() << "saveWithMetadata failed:" << path;
        m_leftBar->onCaptureStored(path, false, error);
        return;
    }
    m_currentImagePath = path;
    m_leftBar->setLastSavedPath(path);
    setModified(false);
    m_leftBar->onCaptureStored(path, true, QString());
}

void MainWidget::onSaveFusedImage(const QString &path)
{
    if (view()->image().isNull()) {
        QMessageBox::information(this, tr("保存融合图像"),
                                 tr("当前没有可保存的图像，请先加载图片或打开相机。"));
        return;
    }
    if (view()->saveFusedImage(path)) {
        showStatusMessage(QFileInfo(path).fileName() + tr(" 融合图像保存成功"));
        return;
    }
    qWarning().noquote() << "saveFusedImage failed:" << path;
    showStatusMessage(tr("融合图像保存失败"));
    QMessageBox::warning(
        this, tr("保存融合图像"),
        tr("融合图像保存失败，请检查路径和权限：%1").arg(QDir::toNativeSeparators(path)));
}

void MainWidget::onExportReport()
{
    if (view()->image().isNull()) {
        QMessageBox::information(this, tr("导出报告"), tr("请先加载图片或打开相机，再进行导出。"));
        return;
    }
    // File names keep their Chinese prefix in every language.
    const QString folder =
        QSettings().value(SettingsKeys::kSavePath, SettingsKeys::defaultSavePath()).toString();
    const QString wordFilter = tr("Word 文档 (*.docx)");
    const QString excelFilter = tr("Excel 工作簿 (*.xlsx)");
    QString selected = wordFilter;
    QString path = askSaveFileName(tr("导出报告"),
                                   QDir(folder).filePath(QStringLiteral("报告_") + timeStamp()),
                                   wordFilter + QStringLiteral(";;") + excelFilter, &selected);
    if (path.isEmpty())
        return;
    path =
        withSuffix(path, selected == excelFilter ? QStringLiteral("xlsx") : QStringLiteral("docx"),
                   {QStringLiteral("docx"), QStringLiteral("xlsx")});
    if (!ReplaceQuestion::mayReplace(this, path, m_lastAskedName, tr("导出报告")))
        return;

    // Composing and packing a large picture takes a moment: the pointer says so.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ReportData data;
    data.image = view()->composeImage();
    data.headers = m_rightWidget->tableHeaders();
    data.rows = m_rightWidget->tableRows();
    // The unit the table's values are in: pixels until a calibration converts them.
    const CalibrationData *calibration = m_leftBar->calibrationData();
    data.lengthUnit = calibration && calibration->isCalibrated() ? calibration->currentUnit()
                                                                 : QStringLiteral("px");
    const QString templateDir =
        m_reportTemplateDir.isEmpty()
            ? QCoreApplication::applicationDirPath() + QStringLiteral("/template")
            : m_reportTemplateDir;
    QString error;
    const bool exported = exportReport(data, templateDir, path, &error);
    QApplication::restoreOverrideCursor();
    if (!exported) {
        qWarning().noquote() << "exportReport failed:" << path << error;
        QMessageBox::warning(this, tr("导出失败"), error);
        return;
    }
    showStatusMessage(QFileInfo(path).fileName() + tr(" 导出成功"));
    QMessageBox::information(this, tr("导出报告"),
                             tr("报告已导出：%1").arg(QDir::toNativeSeparators(path)));
}

void MainWidget::onOpenCalibrationDialog(CalibrationData *calibration)
{
    // A calibration still open is cancelled: its dialog closes and its ruler goes.
    delete m_calibrationSession;
    if (view()->image().isNull()) {
        QMessageBox::information(this, tr("定标提示"), tr("请先加载图片或打开相机，再进行定标。"));
        return;
    }
    const double zoom = view()->canvasZoom();
    if (std::abs(zoom - 1.0) > 0.01)
        QMessageBox::information(
            this, tr("定标提示"),
            tr("当前画面显示为 %1%，定标建议在 100% 显示比例下进行，以获得准确的像素换算。")
                .arg(QString::number(zoom * 100.0, 'f', 0)));
    if (!calibration)
        calibration = m_leftBar->calibrationData();
    auto *session = new CalibrationSession(view(), calibration, this);
    m_calibrationSession = session;
    connect(session, &CalibrationSession::finished, this, [this, session](bool accepted) {
        if (accepted) {
            m_leftBar->reloadCalibrationLists();
            setModified(true);
            // The calibration changed the drawing without a step of the history: no step may
            // count as the saved drawing any more.
            view()->history()->stack()->resetClean();
        }
        m_leftBar->setDrawButtonsEnabled(true);
        session->deleteLater();
    });
    m_leftBar->setDrawButtonsEnabled(false);
    if (!session->start()) {
        m_leftBar->setDrawButtonsEnabled(true);
        delete session;
    }
}

void MainWidget::onOpenSetting()
{
    SettingDialog dialog(this);
    const auto apply = [this] {
        applySettings();
        m_leftBar->refreshFileTypeList();
        installAppLanguage(
            QSettings()
                .value(QLatin1String(SettingsKeys::kLanguage), SettingsKeys::kLanguageDefault)
                .toInt());
    };
    connect(&dialog, &SettingDialog::settingsChanged, this, apply);
    if (m_runDialog(&dialog) == QDialog::Accepted)
        apply();
}

void MainWidget::onAbout()
{
    QMessageBox::about(this, tr("关于 QUORIX"),
                       QStringLiteral("<h3>QUORIX</h3><p>%1</p><p>%2</p>")
                           .arg(tr("版本: %1").arg(buildDateDigits()),
                                tr("USB 显微镜与检测相机的实时画面、拍照、录像与测量。")));
}

void MainWidget::onLicenses()
{
    const QString dir = QCoreApplication::applicationDirPath();
    QString text;
    bool found = false;
    for (const QString &name : {dir + QStringLiteral("/THIRD-PARTY-NOTICES.txt"),
                                dir + QStringLiteral("/../THIRD-PARTY-NOTICES.txt")}) {
        QFile file(name);
        if (file.open(QIODevice::ReadOnly)) {
            text = QString::fromUtf8(file.readAll()).remove(QChar(0xFEFF));
            found = true;
            break;
        }
    }
    if (!found) {
        QMessageBox::information(
            this, tr("开源许可"),
            tr("未找到 THIRD-PARTY-NOTICES.txt，请查看安装目录下的 licenses/ 文件夹。"));
        return;
    }
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("licenseDialog"));
    dialog.setWindowTitle(QStringLiteral("开源许可 / Open Source Licenses"));
    dialog.resize(780, 560);
    auto *layout = new QVBoxLayout(&dialog);
    auto *view = new QPlainTextEdit(text, &dialog);
    view->setReadOnly(true);
    view->setAccessibleName(tr("开源许可"));
    layout->addWidget(view);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
}
