// GraphicsScene.h: the canvas scene: shapes, the picture's copy and size, the crosshair and the
// guarded pointer to the calibration through which shapes convert their lengths.
#pragma once

#include "shapes/CalibrationSource.h"

#include <QGraphicsScene>
#include <QImage>
#include <QPointer>

class CalibrationData;

// GUI thread.
class GraphicsScene : public QGraphicsScene, public CalibrationSource
{
    Q_OBJECT

public:
    explicit GraphicsScene(QObject *parent = nullptr);

    void setImage(const QImage &image) { m_image = image; }
    QImage image() const { return m_image; }
    void setImageSize(const QSize &size) { m_imageSize = size; }
    QSize imageSize() const { return m_imageSize; }
    QRectF pictureRect() const override { return QRectF(QPointF(0, 0), QSizeF(m_imageSize)); }
    void setZoom(double zoom) { m_zoom = zoom; }
    double zoom() const { return m_zoom; }

    void setCrosshairVisible(bool visible);
    bool crosshairVisible() const { return m_crosshairVisible; }
    void setCrosshairWidth(int width) { m_crosshairWidth = width; }
    int crosshairWidth() const { return m_crosshairWidth; }
    void setTickHeightMultiplier(int multiplier) { m_tickHeightMultiplier = multiplier; }
    int tickHeightMultiplier() const { return m_tickHeightMultiplier; }
    void setTickIntervalMultiplier(int multiplier) { m_tickIntervalMultiplier = multiplier; }
    int tickIntervalMultiplier() const { return m_tickIntervalMultiplier; }

    void setCalibrationData(CalibrationData *calibration);
    // Null once the calibration object is gone.
    CalibrationData *calibrationData() const override;

    // The crosshair's tick marks as segments (empty when nothing is drawn); paint order.
    QVector<QLineF> crosshairLines() const;

protected:
    void drawForeground(QPainter *painter, const QRectF &rect) override;

private:
    QImage m_image;
    QSize m_imageSize;
    double m_zoom = 1.0;
    bool m_crosshairVisible = false;
    int m_crosshairWidth = 2;
    int m_tickHeightMultiplier = 2;
    int m_tickIntervalMultiplier = 2;
    QPointer<CalibrationData> m_calibration;
};
