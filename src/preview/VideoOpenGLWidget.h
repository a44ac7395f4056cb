// VideoOpenGLWidget.h: draws planar YUV 4:2:0 frames with OpenGL, converting colour on the GPU.
#pragma once

#include <QByteArray>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>

#include <memory>

#include "camera/VideoFrameYUV.h"

class QOpenGLShaderProgram;
class QOpenGLTexture;

// The three planes are uploaded as single-channel textures and a fragment shader converts them
// to RGB. The picture is fitted into the widget keeping its aspect ratio (black bars fill the
// rest) and mirrored by the frame's flags.
//
// Threads: GUI thread only.
class VideoOpenGLWidget : public QOpenGLWidget, protected QOpenGLFunctions
{
    Q_OBJECT

public:
    explicit VideoOpenGLWidget(QWidget *parent = nullptr);
    ~VideoOpenGLWidget() override;

    // Keeps a copy of a valid frame and schedules a repaint; an invalid frame is ignored and
    // the previous picture stays.
    void setFrame(const VideoFrameYUV &frame);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    // Frees the GL objects of the current context (it is about to go, or the widget is).
    void releaseGlResources();
    bool frameValid() const;
    void upload(QOpenGLTexture *texture, int width, int height, const QByteArray &plane);

    std::unique_ptr<QOpenGLShaderProgram> m_program;
    QOpenGLTexture *m_textureY = nullptr;
    QOpenGLTexture *m_textureU = nullptr;
    QOpenGLTexture *m_textureV = nullptr;
    int m_width = 0;
    int m_height = 0;
    QByteArray m_y;
    QByteArray m_u;
    QByteArray m_v;
    bool m_mirrorHorizontal = false;
    bool m_mirrorVertical = false;
    bool m_dirty = false;
    bool m_ready = false;
};
