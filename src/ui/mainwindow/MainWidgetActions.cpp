// MainWidgetActions.cpp: the main window's operations that touch several areas: pictures from
// the camera, the unsaved-drawing question, opening and saving pictures, the settings, about and
// licence dialogs.
#include "ui/mainwindow/MainWidget.h"

#include "calibration/dialogs/CalibrationDialog.h"
#include "calibration/dialogs/CalibrationSession.h"

#include "app/AppLanguage.h"
#include "canvas/GraphicsScene.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureFrame.h"
#include "panels/LeftBarWidget.h"
#include "panels/RightWidget.h"
#include "settings/SettingsKeys.h"
#include "settings/dialog/SettingDialog.h"
#include "shapes/TextItem.h"

#include <QCoreApplication>
#include <QDate>
#include <QDebug>
#include <QDialog>
#include <QDialogButtonBox>
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

} // namespace

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

    QString path = m_currentImagePath;
    if (path.isEmpty()) {
        path =
            QFileDialog::getSaveFileName(this, tr("保存图片"), QString(),
                                         QStringLiteral("PNG (*.png);;JPEG (*.jpg);;BMP (*.bmp)"));
        if (path.isEmpty())
            return false;
        if (!view()->saveBackgroundImage(path)) {
            QMessageBox::warning(this, tr("保存图片"), tr("图片保存失败：%1").arg(path));
            return false;
        }
    }
    // BMP carries no drawing data: the picture alone is what the user chose to keep.
    const bool bmp =
        QFileInfo(path).suffix().compare(QLatin1String("bmp"), Qt::CaseInsensitive) == 0;
    if (!bmp && !view()->saveWithMetadata(path))
        return false; // the view has told the user why; the drawing stays unsaved
    m_currentImagePath = path;
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
        QMessageBox::warning(this, tr("打开图片"), tr("无法打开图片：%1").arg(path));
        return;
    }
    m_currentImagePath = path;
    setModified(false);
    offerPictureCalibration(path);
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
    // The left bar has written the camera frame to `path`; the drawing is embedded into it, and
    // the left bar reports the outcome (saved, or why not) only now.
    const bool bmp =
        QFileInfo(path).suffix().compare(QLatin1String("bmp"), Qt::CaseInsensitive) == 0;
    QString error;
    if (!bmp && !view()->saveWithMetadata(path, &error)) {
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
    if (view()->saveFusedImage(path)) {
        showStatusMessage(QFileInfo(path).fileName() + tr(" 融合图像保存成功"));
    } else {
        qWarning().noquote() << "saveFusedImage failed:" << path;
        showStatusMessage(tr("融合图像保存失败"));
    }
}

void MainWidget::onExportReport()
{
    if (view()->image().isNull()) {
        QMessageBox::information(this, tr("导出报告"), tr("请先加载图片或打开相机，再进行导出。"));
        return;
    }
    // Reports are not offered by this window yet; say so rather than pretend.
    QMessageBox::information(this, tr("导出报告"), tr("报告导出暂不可用。"));
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
