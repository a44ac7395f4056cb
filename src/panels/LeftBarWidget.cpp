// LeftBarWidget.cpp: construction, pages, theme and language of the left control bar.
#include "panels/LeftBarWidget.h"
#include "ui_LeftBarWidget.h"

#include "calibration/CalibrationData.h"
#include "camera/Camera.h"
#include "recording/VideoRecorder.h"

#include <QEvent>
#include <QMutexLocker>
#include <QToolButton>

LeftBarWidget::LeftBarWidget(QWidget *parent)
    : LeftBarWidget(std::unique_ptr<CaptureBackend>(), parent)
{}

LeftBarWidget::LeftBarWidget(std::unique_ptr<CaptureBackend> backend, QWidget *parent)
    : LeftBarWidget(std::move(backend), RecorderClock(), parent)
{}

LeftBarWidget::LeftBarWidget(std::unique_ptr<CaptureBackend> backend, RecorderClock recorderClock,
                             QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::LeftBarWidget>())
{
    ui->setupUi(this);
    // YUV previews reach the panel queued from the camera's threads.
    VideoFrameYUV::registerMetaType();
    m_camera = backend ? new Camera(std::move(backend), this) : new Camera(this);
    m_recorder =
        recorderClock ? new VideoRecorder(this, std::move(recorderClock)) : new VideoRecorder(this);
    m_calibration = new CalibrationData(this);

    // Each section's header button folds its content away and back.
    const struct
    {
        QToolButton *header;
        QWidget *content;
    } sections[] = {
        {ui->toolButtonCameraList, ui->widgetCameraList},
        {ui->toolButtonImageResources, ui->widgetImageResources},
        {ui->toolButtonExposure, ui->widgetExposure},
        {ui->toolButtonWhiteBalance, ui->widgetWhiteBalance},
        {ui->toolButtonColorAdjustment, ui->widgetColorAdjustment},
        {ui->toolButtonFlip, ui->widgetFlip},
        {ui->toolButtonMiscellaneous, ui->widgetMiscellaneous},
        {ui->toolButtonCalibrations, ui->widgetCalibrations},
        {ui->toolButtonMeasureTools, ui->widgetMeasureTools},
        {ui->toolButtonAttributes, ui->widgetAttributes},
    };
    for (const auto &section : sections) {
        QToolButton *header = section.header;
        QWidget *content = section.content;
        connect(header, &QToolButton::toggled, this, [header, content](bool open) {
            content->setVisible(open);
            header->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        });
    }

    setupCameraSide();
    setupCaptureSide();
    refreshCameraList();
}

LeftBarWidget::~LeftBarWidget()
{
    // The camera goes first: closing it waits for the decoding thread, which calls updateFrame
    // and feeds the recorder. Then the recorder finishes a running file.
    delete m_camera;
    m_camera = nullptr;
    delete m_recorder;
    m_recorder = nullptr;
}

void LeftBarWidget::showPage(Page page)
{
    ui->stackedWidget->setCurrentIndex(page);
    if (page == CameraPage)
        refreshCameraList();
}

void LeftBarWidget::setDarkTheme(bool dark)
{
    m_darkTheme = dark;
}

void LeftBarWidget::retranslate()
{
    ui->retranslateUi(this);
    fillCameraTexts();
    retranslateCaptureSide();
}

void LeftBarWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

QImage LeftBarWidget::lastFrame() const
{
    QMutexLocker lock(&m_frameLock);
    return m_lastFrame;
}
