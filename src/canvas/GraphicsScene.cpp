// GraphicsScene.cpp: canvas scene and crosshair.
#include "canvas/GraphicsScene.h"

#include "calibration/CalibrationData.h"

#include <QPainter>

#include <cmath>

GraphicsScene::GraphicsScene(QObject *parent)
    : QGraphicsScene(parent)
{}

void GraphicsScene::setCrosshairVisible(bool visible)
{
    m_crosshairVisible = visible;
    update();
}

void GraphicsScene::setCalibrationData(CalibrationData *calibration)
{
    m_calibration = calibration;
}

CalibrationData *GraphicsScene::calibrationData() const
{
    return m_calibration.data();
}

QVector<QLineF> GraphicsScene::crosshairLines() const
{
    QVector<QLineF> lines;
    const QRectF r = sceneRect();
    if (!m_crosshairVisible || m_imageSize.isEmpty() || r.isEmpty())
        return lines;
    const QPointF c = r.center();
    lines << QLineF(r.left(), c.y(), r.right(), c.y()) << QLineF(c.x(), r.top(), c.x(), r.bottom());

    // A multiplier of 0 or below (a damaged setting) would never advance; keep at least 1.
    const int interval = std::max(1, m_tickIntervalMultiplier);
    const double step = interval * 20.0;
    const double major = interval * 200.0;
    const double majorHalf = m_tickHeightMultiplier * 20.0;
    const double minorHalf = m_tickHeightMultiplier * 8.0;
    const auto half = [&](double d) { return std::fmod(d, major) < 0.001 ? majorHalf : minorHalf; };
    for (double d = step; c.x() + d <= r.right(); d += step) {
        for (double x : {c.x() + d, c.x() - d}) {
            lines << QLineF(x, c.y(), x, c.y() - half(d)) << QLineF(x, c.y(), x, c.y() + half(d));
        }
    }
    for (double d = step; c.y() + d <= r.bottom(); d += step) {
        for (double y : {c.y() + d, c.y() - d}) {
            lines << QLineF(c.x(), y, c.x() - half(d), y) << QLineF(c.x(), y, c.x() + half(d), y);
        }
    }
    return lines;
}

void GraphicsScene::drawForeground(QPainter *painter, const QRectF &)
{
    const QVector<QLineF> lines = crosshairLines();
    if (lines.isEmpty())
        return;
    painter->save();
    painter->setPen(QPen(QColor(255, 0, 0, 160), m_crosshairWidth));
    painter->drawLines(lines);
    painter->restore();
}
