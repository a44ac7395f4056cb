// LeftBarWidgetCamera.cpp: the camera half of the left control bar: the camera list, play and
// close, frame routing, the frame rate, and the picture-property controls.
#include "panels/LeftBarWidget.h"
#include "ui_LeftBarWidget.h"

#include "camera/Camera.h"
#include "camera/FrameConversion.h"
#include "camera/RememberedCameraSettings.h"
#include "recording/VideoRecorder.h"
#include "settings/CameraSettingsStore.h"
#include "settings/SettingsKeys.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QMessageBox>
#include <QMutexLocker>
#include <QSettings>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

// Item data of the camera list: the position in the device enumeration is Qt::UserRole; the
// device path, by which the open camera is followed, is this role.
constexpr int kDevicePathRole = Qt::UserRole + 1;
constexpr int kAutoPollMs = 500;
const char kGreyedSliderStyle[] =
    "QSlider::groove:horizontal { border: 1px solid #8a8a8a; }QSlider::handle:horizontal { "
    "background: #9a9a9a; border: 1px solid #7a7a7a; }";
const char kToggleOnStyle[] = "background-color: #4CAF50; color: white;";

void repolish(QWidget *widget)
{
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

} // namespace

void LeftBarWidget::setupCameraSide()
{
    m_exposurePoll = new QTimer(this);
    m_exposurePoll->setObjectName(QStringLiteral("exposurePoll"));
    m_exposurePoll->setInterval(kAutoPollMs);
    m_whiteBalancePoll = new QTimer(this);
    m_whiteBalancePoll->setObjectName(QStringLiteral("whiteBalancePoll"));
    m_whiteBalancePoll->setInterval(kAutoPollMs);
    m_fpsTimer = new QTimer(this);
    m_fpsTimer->setObjectName(QStringLiteral("fpsTimer"));
    m_fpsTimer->setInterval(1000);
    connect(m_fpsTimer, &QTimer::timeout, this, [this] { applyFrameRate(m_fpsClock.restart()); });

    m_rows = {
        {CameraProperty::Exposure, ui->horizontalSliderExposure, nullptr, ui->labelExposureValue,
         ui->checkBoxAutoExposure, m_exposurePoll, &Camera::setExposure,
         &Camera::exposureRangeChanged},
        {CameraProperty::Gain, ui->horizontalSliderGain, nullptr, ui->labelGainValue, nullptr,
         nullptr, &Camera::setGain, &Camera::gainRangeChanged},
        {CameraProperty::WhiteBalance, ui->horizontalSliderWhiteBalance, nullptr,
         ui->labelWhiteBalanceValue, ui->checkBoxAutoWhiteBalance, m_whiteBalancePoll,
         &Camera::setWhiteBalance, &Camera::whiteBalanceRangeChanged},
        {CameraProperty::Brightness, ui->horizontalSliderBrightness, ui->spinBoxBrightness, nullptr,
         nullptr, nullptr, &Camera::setBrightness, &Camera::brightnessRangeChanged},
        {CameraProperty::Contrast, ui->horizontalSliderContrast, ui->spinBoxContrast, nullptr,
         nullptr, nullptr, &Camera::setContrast, &Camera::contrastRangeChanged},
        {CameraProperty::Saturation, ui->horizontalSliderSaturation, ui->spinBoxSaturation, nullptr,
         nullptr, nullptr, &Camera::setSaturation, &Camera::saturationRangeChanged},
        {CameraProperty::Hue, ui->horizontalSliderHue, ui->spinBoxHue, nullptr, nullptr, nullptr,
         &Camera::setHue, &Camera::hueRangeChanged},
        {CameraProperty::Gamma, ui->horizontalSliderGamma, ui->spinBoxGamma, nullptr, nullptr,
         nullptr, &Camera::setGamma, &Camera::gammaRangeChanged},
        {CameraProperty::Sharpness, ui->horizontalSliderSharpness, ui->spinBoxSharpness, nullptr,
         nullptr, nullptr, &Camera::setSharpness, &Camera::sharpnessRangeChanged},
    };
    for (size_t i = 0; i < m_rows.size(); ++i) {
        PropertyRow &r = m_rows[i];
        connect(m_camera, r.rangeChanged, this,
                [this, i](long min, long max, long step, long current, long def) {
                    bindRange(m_rows[i], min, max, step, current, def);
                });
        connect(r.slider, &QSlider::valueChanged, this,
                [this, i](int value) { onSliderMoved(m_rows[i], value); });
        if (r.spinBox)
            connect(r.spinBox, QOverload<int>::of(&QSpinBox::valueChanged), r.slider,
                    &QSlider::setValue);
        if (r.poll)
            connect(r.poll, &QTimer::timeout, this, [this, i] { pollAutoValue(m_rows[i]); });
    }
    m_rows[GainRow].slider->setProperty("gainSupported", false);
    // Until the icon set is installed the refresh button shows its text.
    if (!QFile::exists(QStringLiteral(":/imgs/refresh.png")))
        ui->refreshCameraList->setToolButtonStyle(Qt::ToolButtonTextOnly);

    connectCamera();
    fillCameraTexts();
    setPlayState(false);
    setPropertyControlsEnabled(false);
    updateModeListsEnabled();
}

void LeftBarWidget::connectCamera()
{
    // frameReady runs here on the camera's thread: the frame is stored under a lock and passed
    // on without any blocking hand-over, since closing the camera waits for that thread.
    connect(m_camera, &Camera::frameReady, this, &LeftBarWidget::updateFrame, Qt::DirectConnection);
    // Previews are counted where the camera makes them: counted on arrival, the ones that waited
    // while this thread was busy would all fall into one second and show a rate above the
    // camera's (and a recording started then would take that rate).
    const auto countPreview = [this] {
        ++m_previewCount;
        ++m_previewsSinceFrame;
    };
    connect(m_camera, &Camera::previewReady, this, countPreview, Qt::DirectConnection);
    connect(m_camera, &Camera::previewYuvReady, this, countPreview, Qt::DirectConnection);
    connect(m_camera, &Camera::previewReady, this, &LeftBarWidget::updatePreview);
    connect(m_camera, &Camera::previewYuvReady, this, &LeftBarWidget::updateYuvPreview);
    connect(m_camera, &Camera::error, this, &LeftBarWidget::onCameraError);
    connect(m_camera, &Camera::colorEnableChanged, this, [this](long current) {
        QSignalBlocker block(ui->comboBoxColorMode);
        ui->comboBoxColorMode->setCurrentIndex(
            ui->comboBoxColorMode->findData(current == 1 ? 1 : 0));
        ui->comboBoxColorMode->setEnabled(true);
    });
    connect(m_camera, &Camera::powerlineFrequencyChanged, this, [this](long current) {
        QSignalBlocker block(ui->comboBoxPowerLine);
        const int index = ui->comboBoxPowerLine->findData(int(current));
        if (index >= 0)
            ui->comboBoxPowerLine->setCurrentIndex(index);
        ui->comboBoxPowerLine->setEnabled(true);
    });
    connect(m_camera, &Camera::resolutionChanged, this, &LeftBarWidget::selectResolution);
    connect(m_camera, &Camera::formatChanged, this, &LeftBarWidget::selectFormat);
}

void LeftBarWidget::fillCameraTexts()
{
    // Lists whose texts are translated keep their selection across a language change.
    const struct
    {
        QComboBox *list;
        QList<QPair<QString, int>> entries;
    } lists[] = {
        {ui->comboBoxColorMode, {{tr("彩色"), 1}, {tr("黑白"), 0}}},
        {ui->comboBoxPowerLine, {{QStringLiteral("50Hz"), 1}, {QStringLiteral("60Hz"), 2}}},
    };
    for (const auto &l : lists) {
        QSignalBlocker block(l.list);
        const int index = std::max(0, l.list->currentIndex());
        l.list->clear();
        for (const auto &entry : l.entries)
            l.list->addItem(entry.first, entry.second);
        l.list->setCurrentIndex(index);
    }
    if (ui->comboBoxColorMode->currentIndex() == 0 && !m_camera->isOpened()) {
        QSignalBlocker block(ui->comboBoxColorMode);
        const int stored =
            QSettings().value(SettingsKeys::kColorMode, SettingsKeys::kColorModeDefault).toInt();
        if (stored >= 0 && stored < ui->comboBoxColorMode->count())
            ui->comboBoxColorMode->setCurrentIndex(stored);
    }
    // Names the program gives a device (the demo camera's) are in the interface's language.
    if (ui->cbCameras->count() > 0) {
        const QList<CaptureDeviceInfo> devices = m_camera->devices();
        for (int i = 0; i < ui->cbCameras->count(); ++i) {
            const QString path = ui->cbCameras->itemData(i, kDevicePathRole).toString();
            for (const CaptureDeviceInfo &device : devices)
                if (device.path == path && !device.name.isEmpty())
                    ui->cbCameras->setItemText(i, device.name);
        }
    }
    setPlayState(m_camera->isOpened());
    const bool oneKey = ui->pushButtonOneKeyWB->property("oneKeyOn").toBool();
    ui->pushButtonOneKeyWB->setText(oneKey ? tr("关闭一键白平衡") : tr("一键白平衡"));
    ui->toolButtonVideotape->setText(isRecording() ? tr("停止录像") : tr("录像"));
    ui->toolButtonVideotape->setAccessibleName(ui->toolButtonVideotape->text());
}

// ---- Camera list ------------------------------------------------------------------------------

void LeftBarWidget::refreshCameraList()
{
    const QString remembered = m_camera->isOpened()
                                   ? m_camera->devicePath()
                                   : ui->cbCameras->currentData(kDevicePathRole).toString();
    QSignalBlocker block(ui->cbCameras);
    ui->cbCameras->clear();
    const QList<CaptureDeviceInfo> devices = m_camera->devices();
    if (devices.isEmpty())
        qDebug().noquote() << "没有找到视频输入设备";
    for (int i = 0; i < devices.size(); ++i) {
        const CaptureDeviceInfo &device = devices.at(i);
        const int vid = device.path.indexOf(QLatin1String("vid_"), 0, Qt::CaseInsensitive);
        const int pid = device.path.indexOf(QLatin1String("pid_"), 0, Qt::CaseInsensitive);
        if (vid >= 0)
            qInfo().noquote() << "检测到相机 VID:" << device.path.mid(vid + 4, 4).toUpper()
                              << "PID:" << (pid >= 0 ? device.path.mid(pid + 4, 4).toUpper() : "")
                              << "Path:" << device.path;
        else
            qInfo().noquote() << "检测到相机，未在 DevicePath 中找到 VID/PID:" << device.path;
        if (device.name.isEmpty())
            continue;
        ui->cbCameras->addItem(device.name, i);
        ui->cbCameras->setItemData(ui->cbCameras->count() - 1, device.path, kDevicePathRole);
        ui->cbCameras->setItemData(ui->cbCameras->count() - 1, device.path, Qt::ToolTipRole);
        qInfo().noquote() << "Found Quorix device:" << device.name;
    }
    qInfo().noquote() << "Found Quorix devices:" << ui->cbCameras->count();
    const int index = ui->cbCameras->findData(remembered, kDevicePathRole);
    if (index >= 0)
        ui->cbCameras->setCurrentIndex(index);
}

void LeftBarWidget::handleDeviceChange()
{
    refreshCameraList();
    if (!m_camera->isOpened() ||
        ui->cbCameras->findData(m_camera->devicePath(), kDevicePathRole) >= 0)
        return;
    qInfo().noquote() << "当前相机已移除:" << m_camera->devicePath();
    closeCamera();
    emit sigStatusMessage(tr("相机已断开"));
}

void LeftBarWidget::on_cbCameras_activated(int index)
{
    // The choice takes effect at the next start.
    Q_UNUSED(index)
}

void LeftBarWidget::on_refreshCameraList_clicked()
{
    refreshCameraList();
}

// ---- Start and stop ---------------------------------------------------------------------------

bool LeftBarWidget::startCamera()
{
    const int entry = ui->cbCameras->currentIndex();
    if (entry < 0) {
        const QString text = tr("请先选择一个相机设备");
        emit error(text);
        emit sigStatusMessage(text);
        return false;
    }
    // The entry's position may be stale when devices came or went since the list was made.
    int device = ui->cbCameras->itemData(entry).toInt();
    const QString path = ui->cbCameras->itemData(entry, kDevicePathRole).toString();
    const QList<CaptureDeviceInfo> devices = m_camera->devices();
    for (int i = 0; i < devices.size(); ++i)
        if (devices.at(i).path == path)
            device = i;

    endRecording();
    m_fpsTimer->stop();
    setPropertyControlsEnabled(false);
    m_opening = true;
    m_openError.clear();
    // The camera's remembered format and size are chosen by this very open; its other values
    // follow once the device tells what it accepts.
    const RememberedCameraSettings remembered = RememberedCameraSettings::load(
        device >= 0 && device < devices.size() ? Camera::identityOf(devices.at(device))
                                               : QString());
    m_camera->close();
    m_camera->setStreamMode(remembered.format, remembered.resolution);
    bool opened = m_camera->open(device);
    RememberedCameraSettings fitted;
    if (opened) {
        fitted = remembered.fittedTo(*m_camera);
        if (fitted.format != remembered.format) // gone from the device: the default rule chooses
            opened = m_camera->setStreamMode(QString(), fitted.resolution);
    }
    m_opening = false;
    if (!opened) {
        setPropertyControlsEnabled(false);
        setPlayState(false);
        updateModeListsEnabled();
        emit error(tr("相机初始化失败，请检查设备连接"));
        QString text = tr("相机初始化失败!");
        if (!m_openError.isEmpty())
            text += QLatin1Char('\n') + m_openError;
        QMessageBox::warning(this, tr("错误"), text);
        return false;
    }
    fillModeLists();
    refreshFileTypeList();
    applyStartSettings(fitted);
    // Controls of properties the camera announced; the others stay disabled.
    bool colourBound = false;
    for (size_t i = FirstColourRow; i < m_rows.size(); ++i)
        colourBound = colourBound || m_rows[i].bound;
    ui->pushButtonExposureDefault->setEnabled(m_rows[ExposureRow].bound);
    ui->pushButtonGainDefault->setEnabled(m_rows[GainRow].bound);
    ui->pushButtonWBDefault->setEnabled(m_rows[WhiteBalanceRow].bound);
    ui->pushButtonOneKeyWB->setEnabled(m_rows[WhiteBalanceRow].bound);
    ui->pushButtonColorDefault->setEnabled(colourBound);
    ui->pushButtonMirror->setEnabled(true);
    ui->pushButtonFlip->setEnabled(true);
    setToggleStyle(ui->pushButtonMirror, m_camera->mirrorHorizontal());
    setToggleStyle(ui->pushButtonFlip, m_camera->mirrorVertical());
    m_previewCount = 0;
    m_frameCount = 0;
    m_fps = 0.0;
    m_fpsClock.start();
    m_fpsTimer->start();
    ++m_streamGeneration;
    setPlayState(true);
    emit sigFpsTextChanged(fpsText());
    return true;
}

void LeftBarWidget::applyStartSettings(const RememberedCameraSettings &remembered)
{
    QSettings settings;
    ui->comboBoxPowerLine->setEnabled(true);
    m_camera->setPowerlineFrequency(ui->comboBoxPowerLine->currentData().toInt());

    const int colorMode =
        settings.value(SettingsKeys::kColorMode, SettingsKeys::kColorModeDefault).toInt();
    {
        QSignalBlocker block(ui->comboBoxColorMode);
        if (colorMode >= 0 && colorMode < ui->comboBoxColorMode->count())
            ui->comboBoxColorMode->setCurrentIndex(colorMode);
    }
    m_camera->setColorEnable(ui->comboBoxColorMode->currentData().toInt());
    ui->comboBoxColorMode->setEnabled(true);
    // What the user set for this camera wins over the start values above.
    applyRememberedSettings(remembered);

    if (settings.value(SettingsKeys::kResetVideoParams, SettingsKeys::kResetVideoParamsDefault)
            .toBool()) {
        // Automatic modes go off first: a manual value written under them would not hold.
        for (PropertyRow &r : m_rows)
            if (r.autoBox && r.autoBox->isChecked())
                r.autoBox->setChecked(false);
        for (PropertyRow &r : m_rows)
            resetRow(r);
        settings.setValue(SettingsKeys::kResetVideoParams, false);
    }
}

void LeftBarWidget::closeCamera()
{
    endRecording();
    m_camera->close();
    m_fpsTimer->stop();
    m_exposurePoll->stop();
    m_whiteBalancePoll->stop();
    m_fps = 0.0;
    m_lastImageEmit = 0;
    setPropertyControlsEnabled(false);
    setPlayState(false);
    updateModeListsEnabled();
    emit sigFpsTextChanged(fpsText());
}

void LeftBarWidget::on_pushButtonPlay_clicked()
{
    if (ui->pushButtonPlay->property("state").toString() == QLatin1String("play")) {
        emit sigRequestStartCamera();
        return;
    }
    // The still left to measure on is the picture the user saw, at full resolution: previews
    // show until then, and one that came after the last full-resolution frame would be lost.
    if (m_closing)
        return; // closing already, once that picture is there
    m_closing = true;
    withFrameOnScreen([this](const QImage &frame) {
        m_closing = false;
        closeShowingFrame(frame);
    });
}

void LeftBarWidget::closeShowingFrame(const QImage &frame)
{
    closeCamera();
    // Previews shown after the last frame was passed on would stay on the canvas otherwise.
    if (!frame.isNull())
        emit sigSetImage(frame);
}

void LeftBarWidget::setPlayState(bool running)
{
    ui->pushButtonPlay->setProperty("state", running ? "pause" : "play");
    ui->pushButtonPlay->setText(running ? tr("关闭相机") : tr("打开相机"));
    repolish(ui->pushButtonPlay);
}

void LeftBarWidget::onCameraError(const QString &message)
{
    if (m_opening) { // startCamera shows it in its failure box
        m_openError = message;
        return;
    }
    qWarning().noquote() << "相机错误:" << message;
    if (m_errorPending)
        return; // the stream is being closed for an error already reported
    // The failed stream is closed before the box: it cannot pile up further errors, and a
    // recording is finished while its file can still be completed. Both wait for the event
    // loop, since the error may come from inside a camera call (a reopen that failed).
    m_errorPending = true;
    const int stream = m_streamGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, message, stream] {
            if (stream == m_streamGeneration) // not a stream started since
                closeCamera();
            QMessageBox::warning(this, tr("相机错误"), message);
            m_errorPending = false;
        },
        Qt::QueuedConnection);
}

// ---- Recording --------------------------------------------------------------------------------

bool LeftBarWidget::isRecording() const
{
    return m_recorder && m_recorder->isRecording();
}

bool LeftBarWidget::beginRecording(const QString &path)
{
    const QImage frame = lastFrame();
    if (frame.isNull() || !m_camera->isOpened())
        return false;
    const int fps = std::max(1, int(std::lround(m_fps)));
    m_recorder->start(path, frame.size(), fps);
    if (!m_recorder->isRecording())
        return false;
    m_camera->setFullRate(true);
    ui->toolButtonVideotape->setText(tr("停止录像"));
    ui->toolButtonVideotape->setAccessibleName(ui->toolButtonVideotape->text());
    updateModeListsEnabled();
    emit sigRecordingStateChanged(true);
    return true;
}

void LeftBarWidget::endRecording()
{
    if (!isRecording())
        return;
    m_recorder->stop();
    m_camera->setFullRate(false);
    ui->toolButtonVideotape->setText(tr("录像"));
    ui->toolButtonVideotape->setAccessibleName(ui->toolButtonVideotape->text());
    updateModeListsEnabled();
    emit sigRecordingStateChanged(false);
}

// ---- Frames and frame rate --------------------------------------------------------------------

void LeftBarWidget::updateFrame(QImage frame)
{
    if (frame.isNull())
        return;
    ++m_frameCount;
    {
        QMutexLocker lock(&m_frameLock);
        m_lastFrame = frame;
        m_previewsSinceFrame = 0;
    }
    if (m_recorder->isRecording()) {
        // The canvas gets a full frame at most every 250 ms; the recorder gets every one.
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (m_lastImageEmit == 0 || now - m_lastImageEmit >= 250) {
            m_lastImageEmit = now;
            emit sigSetImage(frame);
        }
        m_recorder->writeFrame(frame);
        return;
    }
    m_lastImageEmit = 0;
    emit sigSetImage(frame);
}

void LeftBarWidget::updatePreview(QImage preview)
{
    // Previews still on their way when the camera closed would cover the still.
    if (!preview.isNull() && m_camera->isOpened())
        emit sigSetPreview(preview);
}

void LeftBarWidget::updateYuvPreview(VideoFrameYUV frame)
{
    if (frame.isValid() && m_camera->isOpened())
        emit sigSetYuvPreview(frame);
}

QString LeftBarWidget::fpsText() const
{
    if (!m_camera->isOpened())
        return QStringLiteral("FPS: --");
    return QStringLiteral("FPS: %1").arg(m_fps, 0, 'f', 1);
}

void LeftBarWidget::applyFrameRate(qint64 elapsedMs)
{
    // Uncompressed streams deliver frames but no previews: their frames are counted instead.
    const int previews = m_previewCount.exchange(0);
    const int frames = m_frameCount.exchange(0);
    if (elapsedMs <= 0)
        return;
    m_fps = (previews > 0 ? previews : frames) * 1000.0 / double(elapsedMs);
    emit sigFpsTextChanged(fpsText());
}

// ---- Resolution and format --------------------------------------------------------------------

void LeftBarWidget::fillModeLists()
{
    const QList<CaptureMode> modes = m_camera->modes();
    QList<QSize> sizes;
    QStringList formats;
    for (const CaptureMode &mode : modes) {
        const QSize size(mode.width, std::abs(mode.height));
        if (!sizes.contains(size))
            sizes << size;
        const QString name = FrameConversion::subtypeName(mode.fourcc);
        if (!formats.contains(name))
            formats << name;
    }
    std::stable_sort(sizes.begin(), sizes.end(), [](const QSize &a, const QSize &b) {
        return qint64(a.width()) * a.height() > qint64(b.width()) * b.height();
    });
    {
        QSignalBlocker block(ui->comboBoxResolution);
        ui->comboBoxResolution->clear();
        for (const QSize &size : qAsConst(sizes))
            ui->comboBoxResolution->addItem(
                QStringLiteral("%1 x %2").arg(size.width()).arg(size.height()), size);
    }
    {
        QSignalBlocker block(ui->comboBoxFormat);
        ui->comboBoxFormat->clear();
        ui->comboBoxFormat->addItems(formats);
    }
    selectResolution(m_camera->resolution());
    selectFormat(m_camera->formatName());
}

void LeftBarWidget::selectResolution(const QSize &resolution)
{
    QSignalBlocker block(ui->comboBoxResolution);
    ui->comboBoxResolution->setCurrentIndex(ui->comboBoxResolution->findData(resolution));
    updateModeListsEnabled();
}

void LeftBarWidget::selectFormat(const QString &format)
{
    QSignalBlocker block(ui->comboBoxFormat);
    ui->comboBoxFormat->setCurrentIndex(ui->comboBoxFormat->findText(format));
    updateModeListsEnabled();
}

void LeftBarWidget::updateModeListsEnabled()
{
    // A recording keeps the size it started with: the camera is not reopened under it.
    const bool free = m_camera->isOpened() && !isRecording();
    ui->comboBoxResolution->setEnabled(free && ui->comboBoxResolution->count() > 0);
    ui->comboBoxFormat->setEnabled(free && ui->comboBoxFormat->count() > 0);
    ui->pushButtonCameraDefaults->setEnabled(free);
}

void LeftBarWidget::on_comboBoxResolution_activated(int index)
{
    const QSize size = ui->comboBoxResolution->itemData(index).toSize();
    if (!m_camera->isOpened() || !size.isValid() || isRecording())
        return;
    if (!m_camera->setResolution(size.width(), size.height()))
        return;
    fillModeLists();
    rememberValue(CameraSettingsStore::kResolution,
                  QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    reapplyRememberedSettings();
}

void LeftBarWidget::on_comboBoxFormat_activated(int index)
{
    const QString format = ui->comboBoxFormat->itemText(index);
    if (format.isEmpty() || !m_camera->isOpened() || isRecording())
        return;
    if (m_camera->setFormat(format) && m_camera->isOpened()) {
        fillModeLists();
        rememberValue(CameraSettingsStore::kFormat, format);
        reapplyRememberedSettings();
    }
}

// ---- Picture properties -----------------------------------------------------------------------

void LeftBarWidget::setPropertyControlsEnabled(bool enabled)
{
    for (PropertyRow &r : m_rows) {
        r.bound = r.bound && enabled;
        r.slider->setEnabled(enabled);
        r.slider->setStyleSheet(QString());
        if (r.spinBox)
            r.spinBox->setEnabled(enabled);
        if (r.autoBox) {
            QSignalBlocker block(r.autoBox);
            r.autoBox->setEnabled(false);
            r.autoBox->setChecked(false);
        }
        if (r.poll)
            r.poll->stop();
    }
    if (!enabled)
        m_rows[GainRow].slider->setProperty("gainSupported", false);
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->pushButtonExposureDefault, ui->pushButtonGainDefault, ui->pushButtonWBDefault,
             ui->pushButtonColorDefault, ui->pushButtonOneKeyWB, ui->pushButtonMirror,
             ui->pushButtonFlip, ui->comboBoxColorMode, ui->comboBoxPowerLine})
        w->setEnabled(enabled);
    if (!enabled) {
        ui->pushButtonOneKeyWB->setProperty("oneKeyOn", false);
        ui->pushButtonOneKeyWB->setText(tr("一键白平衡"));
        setToggleStyle(ui->pushButtonOneKeyWB, false);
    }
}

void LeftBarWidget::bindRange(PropertyRow &r, long min, long max, long step, long current, long def)
{
    {
        QSignalBlocker block(r.slider);
        r.slider->setRange(int(min), int(max));
        r.slider->setSingleStep(int(std::max(1L, step)));
        r.slider->setPageStep(int(std::max(1L, step)));
        r.slider->setValue(int(current));
        r.slider->setProperty("defaultValue", int(def));
        r.slider->setEnabled(true);
    }
    if (r.spinBox) {
        QSignalBlocker block(r.spinBox);
        r.spinBox->setRange(int(min), int(max));
        r.spinBox->setSingleStep(int(std::max(1L, step)));
        r.spinBox->setValue(int(current));
        r.spinBox->setEnabled(true);
    }
    showRowValue(r, current, 2);
    r.bound = true;
    if (r.property == CameraProperty::Gain)
        r.slider->setProperty("gainSupported", true);
    if (!r.autoBox)
        return;
    const bool exposure = r.property == CameraProperty::Exposure;
    const bool supported =
        exposure ? m_camera->supportsAutoExposure() : m_camera->supportsAutoWhiteBalance();
    {
        QSignalBlocker block(r.autoBox);
        r.autoBox->setEnabled(supported);
        r.autoBox->setChecked(supported);
    }
    if (supported)
        setAutoMode(r, true);
}

void LeftBarWidget::showRowValue(PropertyRow &r, long value, int exposureDecimals)
{
    if (!r.valueLabel)
        return;
    if (r.property == CameraProperty::Exposure)
        r.valueLabel->setText(
            QStringLiteral("%1 (%2 ms)")
                .arg(value)
                .arg(std::pow(2.0, double(value)) * 1000.0, 0, 'f', exposureDecimals));
    else
        r.valueLabel->setText(QString::number(value));
}

void LeftBarWidget::onSliderMoved(PropertyRow &r, int value)
{
    if (r.spinBox) {
        QSignalBlocker block(r.spinBox);
        r.spinBox->setValue(value);
    }
    showRowValue(r, value, 2);
    if (!m_camera->isOpened())
        return;
    (m_camera->*r.set)(value);
    rememberValue(RememberedCameraSettings::valueName(r.property), value);
}

void LeftBarWidget::resetRow(PropertyRow &r)
{
    const QVariant def = r.slider->property("defaultValue");
    if (!r.bound || !def.isValid())
        return;
    // A manual value does not hold under the automatic mode, which goes off first.
    if (r.autoBox && r.autoBox->isChecked())
        r.autoBox->setChecked(false);
    if (r.slider->value() == def.toInt())
        onSliderMoved(r, def.toInt()); // the camera gets the value even when the slider is there
    else
        r.slider->setValue(def.toInt());
}

void LeftBarWidget::setAutoMode(PropertyRow &r, bool on)
{
    const bool exposure = r.property == CameraProperty::Exposure;
    if (exposure)
        m_camera->setAutoExposure(on);
    else
        m_camera->setAutoWhiteBalance(on);
    const bool oneKey = !exposure && ui->pushButtonOneKeyWB->property("oneKeyOn").toBool();
    r.slider->setEnabled(r.bound && !on && !oneKey);
    r.slider->setStyleSheet(on ? QString::fromLatin1(kGreyedSliderStyle) : QString());
    if (on) {
        r.poll->start();
        return;
    }
    r.poll->stop();
    // The value the automatic mode left behind becomes the manual one shown.
    const long value = exposure ? m_camera->exposure() : m_camera->whiteBalance();
    QSignalBlocker block(r.slider);
    r.slider->setValue(int(value));
    showRowValue(r, value, 2);
}

void LeftBarWidget::pollAutoValue(PropertyRow &r)
{
    if (!m_camera->isOpened() || !r.autoBox->isChecked() || r.slider->isEnabled()) {
        r.poll->stop();
        return;
    }
    const bool exposure = r.property == CameraProperty::Exposure;
    const long value = exposure ? m_camera->exposure() : m_camera->whiteBalance();
    {
        QSignalBlocker block(r.slider);
        r.slider->setValue(int(value));
    }
    showRowValue(r, value, 4);
    PropertyRow &gain = m_rows[GainRow];
    if (exposure && gain.slider->property("gainSupported").toBool()) {
        const long g = m_camera->gain();
        QSignalBlocker block(gain.slider);
        gain.slider->setValue(int(g));
        showRowValue(gain, g, 2);
    }
}

void LeftBarWidget::on_checkBoxAutoExposure_toggled(bool on)
{
    setAutoMode(m_rows[ExposureRow], on);
    rememberAutoMode(m_rows[ExposureRow], on);
}

void LeftBarWidget::on_checkBoxAutoWhiteBalance_toggled(bool on)
{
    setAutoMode(m_rows[WhiteBalanceRow], on);
    rememberAutoMode(m_rows[WhiteBalanceRow], on);
}

void LeftBarWidget::on_pushButtonExposureDefault_clicked()
{
    resetRow(m_rows[ExposureRow]);
}

void LeftBarWidget::on_pushButtonGainDefault_clicked()
{
    resetRow(m_rows[GainRow]);
}

void LeftBarWidget::on_pushButtonWBDefault_clicked()
{
    resetRow(m_rows[WhiteBalanceRow]);
}

void LeftBarWidget::on_pushButtonColorDefault_clicked()
{
    for (size_t i = FirstColourRow; i < m_rows.size(); ++i)
        resetRow(m_rows[i]);
}

void LeftBarWidget::setToggleStyle(QWidget *button, bool on)
{
    button->setStyleSheet(on ? QString::fromLatin1(kToggleOnStyle) : QString());
}

void LeftBarWidget::on_pushButtonMirror_clicked()
{
    if (!m_camera->isOpened())
        return;
    const bool on = !m_camera->mirrorHorizontal();
    m_camera->setMirrorHorizontal(on);
    setToggleStyle(ui->pushButtonMirror, on);
    rememberValue(CameraSettingsStore::kMirrorHorizontal, on);
}

void LeftBarWidget::on_pushButtonFlip_clicked()
{
    if (!m_camera->isOpened())
        return;
    const bool on = !m_camera->mirrorVertical();
    m_camera->setMirrorVertical(on);
    setToggleStyle(ui->pushButtonFlip, on);
    rememberValue(CameraSettingsStore::kMirrorVertical, on);
}

void LeftBarWidget::on_pushButtonOneKeyWB_clicked()
{
    if (!m_camera->isOpened())
        return;
    PropertyRow &wb = m_rows[WhiteBalanceRow];
    if (m_camera->oneKeyWhiteBalanceActive()) {
        m_camera->setOneKeyWhiteBalance(false);
        ui->pushButtonOneKeyWB->setProperty("oneKeyOn", false);
        ui->pushButtonOneKeyWB->setText(tr("一键白平衡"));
        setToggleStyle(ui->pushButtonOneKeyWB, false);
        wb.slider->setEnabled(wb.bound && !wb.autoBox->isChecked());
        QTimer::singleShot(100, this, &LeftBarWidget::readWhiteBalanceBack);
        return;
    }
    if (!m_camera->setOneKeyWhiteBalance(true)) {
        emit sigStatusMessage(tr("一键白平衡失败"));
        return;
    }
    // The measured value replaces the automatic mode, which the camera has switched off.
    if (wb.autoBox->isChecked()) {
        QSignalBlocker block(wb.autoBox);
        wb.autoBox->setChecked(false);
        wb.poll->stop();
        wb.slider->setStyleSheet(QString());
    }
    ui->pushButtonOneKeyWB->setProperty("oneKeyOn", true);
    ui->pushButtonOneKeyWB->setText(tr("关闭一键白平衡"));
    setToggleStyle(ui->pushButtonOneKeyWB, true);
    wb.slider->setEnabled(false);
    QTimer::singleShot(800, this, &LeftBarWidget::readWhiteBalanceBack);
}

void LeftBarWidget::readWhiteBalanceBack()
{
    if (!m_camera->isOpened())
        return;
    PropertyRow &wb = m_rows[WhiteBalanceRow];
    const long value = m_camera->whiteBalance();
    {
        QSignalBlocker block(wb.slider);
        wb.slider->setValue(int(value));
    }
    showRowValue(wb, value, 2);
    // The measured white balance is kept as a manual value (unless the automatic mode came back
    // meanwhile, e.g. by restoring the defaults).
    if (!wb.autoBox->isChecked())
        rememberAutoMode(wb, false);
}

void LeftBarWidget::on_comboBoxColorMode_activated(int index)
{
    QSettings().setValue(SettingsKeys::kColorMode, index);
    if (!m_camera->isOpened())
        return;
    m_camera->setColorEnable(ui->comboBoxColorMode->itemData(index).toInt());
    rememberValue(CameraSettingsStore::kColorEnable, ui->comboBoxColorMode->itemData(index));
}

void LeftBarWidget::on_comboBoxPowerLine_activated(int index)
{
    if (m_camera->isOpened() &&
        m_camera->setPowerlineFrequency(ui->comboBoxPowerLine->itemData(index).toInt()))
        rememberValue(CameraSettingsStore::kPowerLineFrequency,
                      ui->comboBoxPowerLine->itemData(index));
}
