// MeasureFrame.cpp: the canvas frame.
#include "canvas/MeasureFrame.h"

#include "canvas/MeasureGraphicsViewBusiness.h"
#include "preview/VideoOpenGLWidget.h"

#include <QGraphicsPixmapItem>
#include <QGridLayout>
#include <QScrollArea>

MeasureFrame::MeasureFrame(QWidget *parent, MeasureGraphicsViewBusiness *view)
    : QFrame(parent)
    , m_view(view ? view : new MeasureGraphicsViewBusiness(this))
{
    m_view->setParent(this);
    // The view turned antialiasing on for its shapes; the frame keeps only smooth pixmaps.
    m_view->setRenderHint(QPainter::Antialiasing, false);
    m_view->setDragMode(QGraphicsView::RubberBandDrag);
    m_view->setOptimizationFlag(QGraphicsView::DontSavePainterState);
    m_view->setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    m_view->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    m_view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_view->setMinimumSize(100, 100);
    m_view->setAccessibleName(tr("测量画布"));
    m_view->setAccessibleDescription(tr("相机画面或图片，在其上绘制测量图形"));

    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setWidget(m_view);
    m_scrollArea->setAlignment(Qt::AlignCenter);
    m_scrollArea->setStyleSheet(QStringLiteral("background-color: transparent; border: none;"));
    m_scrollArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    // The canvas inside takes the keyboard; the area around it is no stop of the Tab key.
    m_scrollArea->setFocusPolicy(Qt::NoFocus);

    const QString transparent = QStringLiteral("background: transparent;");
    m_view->setStyleSheet(transparent);
    m_view->viewport()->setStyleSheet(transparent);
    m_scrollArea->viewport()->setStyleSheet(transparent);
    m_view->setAttribute(Qt::WA_TranslucentBackground);

    m_preview = new VideoOpenGLWidget(this);
    m_preview->hide();

    // Both in one cell: the preview covers the canvas while the camera runs.
    auto *layout = new QGridLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_preview, 0, 0);
    layout->addWidget(m_scrollArea, 0, 0);

    connect(m_view, &MeasureGraphicsView::sigCanvasZoomChanged, this,
            &MeasureFrame::onCanvasZoomChanged);
}

void MeasureFrame::onCanvasZoomChanged(double zoomValue)
{
    emit canvasZoomChanged(zoomValue);
}

void MeasureFrame::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    m_view->updateGeometry();
    m_scrollArea->updateGeometry();
}

void MeasureFrame::showStillImage(const QImage &image)
{
    m_view->updateFrameImage(image);
    m_view->setFitMode(true);
    m_view->fitViewToScene();
    m_view->handleStillImageShown();
}

bool MeasureFrame::openImageFile(const QString &path)
{
    if (!m_view->loadImageFile(path, true))
        return false;
    m_view->handleImageFileOpened(path);
    m_preview->hide();
    m_view->setBackgroundVisible(true);
    return true;
}

void MeasureFrame::showPreviewImage(const QImage &image)
{
    m_view->updatePreviewImage(image);
}

void MeasureFrame::setPreviewWidgetVisible(bool visible)
{
    m_preview->setVisible(visible);
    if (!visible)
        m_view->setBackgroundVisible(true);
}

void MeasureFrame::showYuvFrame(const VideoFrameYUV &frame)
{
    m_preview->setFrame(frame);
    m_preview->show();
    m_preview->raise();
    m_view->setBackgroundVisible(false);
}
