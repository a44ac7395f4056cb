#include "preview/VideoOpenGLWidget.h"

#include <QDebug>
#include <QOpenGLContext>
#include <QOpenGLPixelTransferOptions>
#include <QOpenGLShaderProgram>
#include <QOpenGLTexture>

#include <utility>

namespace {

const char kVertexShader[] = "attribute vec2 vertexIn;\n"
                             "attribute vec2 texCoordIn;\n"
                             "varying vec2 texCoord;\n"
                             "void main() {\n"
                             "    gl_Position = vec4(vertexIn, 0.0, 1.0);\n"
                             "    texCoord = texCoordIn;\n"
                             "}\n";

const char kFragmentShader[] = "uniform sampler2D texY;\n"
                               "uniform sampler2D texU;\n"
                               "uniform sampler2D texV;\n"
                               "varying vec2 texCoord;\n"
                               "void main() {\n"
                               "    float y = texture2D(texY, texCoord).r;\n"
                               "    float u = texture2D(texU, texCoord).r - 0.5;\n"
                               "    float v = texture2D(texV, texCoord).r - 0.5;\n"
                               "    float r = y + 1.402 * v;\n"
                               "    float g = y - 0.344136 * u - 0.714136 * v;\n"
                               "    float b = y + 1.772 * u;\n"
                               "    gl_FragColor = vec4(r, g, b, 1.0);\n"
                               "}\n";

QOpenGLTexture *newPlaneTexture()
{
    auto *texture = new QOpenGLTexture(QOpenGLTexture::Target2D);
    texture->setMinMagFilters(QOpenGLTexture::Linear, QOpenGLTexture::Linear);
    texture->setWrapMode(QOpenGLTexture::ClampToEdge);
    return texture;
}

} // namespace

VideoOpenGLWidget::VideoOpenGLWidget(QWidget *parent)
    : QOpenGLWidget(parent)
{}

VideoOpenGLWidget::~VideoOpenGLWidget()
{
    // The base class destroys the context after this body; by then this object must no longer
    // be called back.
    if (QOpenGLContext *current = context())
        disconnect(current, nullptr, this, nullptr);
    releaseGlResources();
}

void VideoOpenGLWidget::setFrame(const VideoFrameYUV &frame)
{
    if (!frame.isValid())
        return;
    m_width = frame.width;
    m_height = frame.height;
    m_y = frame.y;
    m_u = frame.u;
    m_v = frame.v;
    m_mirrorHorizontal = frame.mirrorHorizontal;
    m_mirrorVertical = frame.mirrorVertical;
    m_dirty = true;
    update();
}

bool VideoOpenGLWidget::frameValid() const
{
    if (m_width <= 0 || m_height <= 0)
        return false;
    const qint64 luma = qint64(m_width) * m_height;
    return m_y.size() >= luma && m_u.size() >= luma / 4 && m_v.size() >= luma / 4;
}

void VideoOpenGLWidget::releaseGlResources()
{
    if (!m_program && !m_textureY && !m_textureU && !m_textureV)
        return;
    makeCurrent();
    delete m_textureY;
    delete m_textureU;
    delete m_textureV;
    m_textureY = m_textureU = m_textureV = nullptr;
    m_program.reset();
    doneCurrent();
    m_ready = false;
    // A later context (after the widget moves to another window) needs the planes again.
    m_dirty = true;
}

void VideoOpenGLWidget::initializeGL()
{
    initializeOpenGLFunctions();
    glDisable(GL_DEPTH_TEST);
    // Moving the widget to another top-level window replaces its context: free what belongs to
    // the old one so that this function builds everything again for the new one.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this,
            &VideoOpenGLWidget::releaseGlResources, Qt::UniqueConnection);
    if (m_program && m_program->isLinked())
        return;
    m_program = std::make_unique<QOpenGLShaderProgram>();
    if (!m_program->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
        !m_program->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader) ||
        !m_program->link()) {
        qWarning() << "VideoOpenGLWidget shader link failed";
        m_ready = false;
        return;
    }
    m_ready = true;
}

void VideoOpenGLWidget::resizeGL(int w, int h)
{
    glViewport(0, 0, w, h);
}

void VideoOpenGLWidget::upload(QOpenGLTexture *texture, int width, int height,
                               const QByteArray &plane)
{
    texture->destroy();
    texture->create();
    texture->setSize(width, height);
    texture->setFormat(QOpenGLTexture::R8_UNorm);
    texture->setMinMagFilters(QOpenGLTexture::Linear, QOpenGLTexture::Linear);
    texture->setWrapMode(QOpenGLTexture::ClampToEdge);
    texture->setAutoMipMapGenerationEnabled(false);
    texture->allocateStorage(QOpenGLTexture::Red, QOpenGLTexture::UInt8);
    // Planes are packed without row padding: rows of any width start right after the last.
    QOpenGLPixelTransferOptions packed;
    packed.setAlignment(1);
    texture->setData(QOpenGLTexture::Red, QOpenGLTexture::UInt8, plane.constData(), &packed);
}

void VideoOpenGLWidget::paintGL()
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // A frame narrower or lower than two pixels has no 4:2:0 chroma sample to draw with.
    if (!m_ready || !frameValid() || m_width < 2 || m_height < 2)
        return;

    if (!m_textureY)
        m_textureY = newPlaneTexture();
    if (!m_textureU)
        m_textureU = newPlaneTexture();
    if (!m_textureV)
        m_textureV = newPlaneTexture();
    if (m_dirty) {
        upload(m_textureY, m_width, m_height, m_y);
        upload(m_textureU, m_width / 2, m_height / 2, m_u);
        upload(m_textureV, m_width / 2, m_height / 2, m_v);
        m_dirty = false;
    }

    m_textureY->bind(0);
    m_textureU->bind(1);
    m_textureV->bind(2);
    m_program->bind();
    m_program->setUniformValue("texY", 0);
    m_program->setUniformValue("texU", 1);
    m_program->setUniformValue("texV", 2);
    const int vertexLocation = m_program->attributeLocation("vertexIn");
    const int texCoordLocation = m_program->attributeLocation("texCoordIn");

    // Fit keeping the aspect ratio: shrink the axis along which the widget is relatively longer.
    const float frameAspect = float(m_width) / float(m_height);
    const float widgetAspect = height() < 1 ? frameAspect : float(width()) / float(height());
    float sx = 1.0f;
    float sy = 1.0f;
    if (frameAspect > widgetAspect)
        sy = widgetAspect / frameAspect;
    else if (widgetAspect > 0.0f)
        sx = frameAspect / widgetAspect;

    // Texture row 0 (the frame's top row) goes to the top edge (y = +sy).
    float u0 = 0.0f, u1 = 1.0f, top = 0.0f, bottom = 1.0f;
    if (m_mirrorHorizontal)
        std::swap(u0, u1);
    if (m_mirrorVertical)
        std::swap(top, bottom);
    const GLfloat vertices[8] = {-sx, -sy, sx, -sy, sx, sy, -sx, sy};
    const GLfloat texCoords[8] = {u0, bottom, u1, bottom, u1, top, u0, top};

    m_program->enableAttributeArray(vertexLocation);
    m_program->enableAttributeArray(texCoordLocation);
    m_program->setAttributeArray(vertexLocation, GL_FLOAT, vertices, 2);
    m_program->setAttributeArray(texCoordLocation, GL_FLOAT, texCoords, 2);
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    m_program->disableAttributeArray(vertexLocation);
    m_program->disableAttributeArray(texCoordLocation);
    m_program->release();
    glActiveTexture(GL_TEXTURE0);
}
