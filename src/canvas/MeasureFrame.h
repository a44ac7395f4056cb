// MeasureFrame.h: the canvas frame: the measuring view in a scroll area, with the live preview
// widget stacked in the same place.
#pragma once

#include "canvas/MeasureGraphicsViewBusiness.h"

#include <QFrame>
#include <QImage>

class QScrollArea;
struct VideoFrameYUV;
class VideoOpenGLWidget;

// GUI thread.
class MeasureFrame : public QFrame
{
    Q_OBJECT

public:
    // Hosts `view` (reparented to the frame), or a new drawing view when null.
    explicit MeasureFrame(QWidget *parent = nullptr, MeasureGraphicsViewBusiness *view = nullptr);

    // The drawing view itself: arming a tool or panning through it takes the full behaviour.
    MeasureGraphicsViewBusiness *view() const { return m_view; }
    QScrollArea *scrollArea() const { return m_scrollArea; }
    VideoOpenGLWidget *previewWidget() const { return m_preview; }

    // A camera still: shown as the background, fitted to the view.
    void showStillImage(const QImage &image);
    // Opens an image file as a new drawing; false when it cannot be read.
    bool openImageFile(const QString &path);
    void showPreviewImage(const QImage &image);
    // Shows or hides the live preview; hiding it shows the background picture again.
    void setPreviewWidgetVisible(bool visible);
    // A live YUV frame: drawn by the preview widget, which covers the background picture.
    void showYuvFrame(const VideoFrameYUV &frame);

signals:
    void canvasZoomChanged(double scale);

public slots:
    void onCanvasZoomChanged(double zoomValue);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    MeasureGraphicsViewBusiness *m_view = nullptr;
    QScrollArea *m_scrollArea = nullptr;
    VideoOpenGLWidget *m_preview = nullptr;
};
