// LeftBarWidget.cpp: construction, pages, theme and language of the left control bar.
#include "panels/LeftBarWidget.h"
#include "ui_LeftBarWidget.h"

#include "calibration/CalibrationData.h"
#include "camera/Camera.h"
#include "recording/VideoRecorder.h"

#include <QEvent>
#include <QLayout>
#include <QMutexLocker>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>

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
    // A page's content asks for a new layout when a text, a list or a language changes it.
    ui->scrollAreaContentsCamera->installEventFilter(this);
    ui->scrollAreaContentsMeasure->installEventFilter(this);
    fitContentWidth();
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

void LeftBarWidget::setMinimumWidthFloor(int width)
{
    m_minimumWidthFloor = width;
    fitContentWidth();
}

void LeftBarWidget::fitContentWidth()
{
    // The pages scroll only vertically: the bar is as wide as the widest page's content needs,
    // with room for the vertical scroll bar and the margins between the page and the bar.
    int need = m_minimumWidthFloor;
    for (QScrollArea *area : {ui->scrollAreaCamera, ui->scrollAreaMeasure}) {
        int width = area->widget()->minimumSizeHint().width() + 2 * area->frameWidth() +
                    area->verticalScrollBar()->sizeHint().width();
        for (QWidget *w = area->parentWidget(); w; w = w->parentWidget()) {
            if (const QLayout *layout = w->layout()) {
                const QMargins margins = layout->contentsMargins();
                width += margins.left() + margins.right();
            }
            if (w == this)
                break;
        }
        need = std::max(need, width);
    }
    // Never past the bar's maximum, however long a translated text is: the canvas keeps its room.
    need = std::min(need, std::max(maximumWidth(), m_minimumWidthFloor));
    if (need != minimumWidth())
        setMinimumWidth(need);
}

QImage LeftBarWidget::lastFrame() const
{
    QMutexLocker lock(&m_frameLock);
    return m_lastFrame;
}
