// MeasureGraphicsView.cpp: the canvas view.
#include "canvas/MeasureGraphicsView.h"

#include "canvas/DrawingDocument.h"

#include "calibration/CalibrationData.h"
#include "canvas/GraphicsScene.h"
#include "canvas/LineDataRegistry.h"
#include "settings/SettingsKeys.h"
#include "shapes/GraphicsItemBase.h"
#include "shapes/LabelItem.h"
#include "shapes/TextItem.h"

#include <QDebug>
#include <QFileInfo>
#include <QGraphicsPixmapItem>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSettings>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const char kBackgroundTag[] = "backgroundImage";

const char kTimeStyle[] =
    "background: rgba(0,0,0,120); color: white;padding: 6px 12px 6px 4px;"
    "border-top-right-radius: 6px; border-bottom-right-radius: 6px;font-size: 14px; "
    "font-weight: bold;";
const char kDotStyleOn[] =
    "background: rgba(0,0,0,120); color: #ff4444;padding: 6px 2px 6px 12px;"
    "border-top-left-radius: 6px; border-bottom-left-radius: 6px;font-size: 14px; "
    "font-weight: bold;";
const char kDotStyleOff[] =
    "background: rgba(0,0,0,120); color: rgba(0,0,0,0);padding: 6px 2px 6px 12px;"
    "border-top-left-radius: 6px; border-bottom-left-radius: 6px;font-size: 14px; "
    "font-weight: bold;";

double clampZoom(double zoom)
{
    return std::clamp(zoom, MeasureGraphicsView::kMinZoom, MeasureGraphicsView::kMaxZoom);
}

bool isShapeOrText(const QGraphicsItem *item)
{
    return dynamic_cast<const GraphicsItemBase *>(item) || dynamic_cast<const TextItem *>(item);
}

} // namespace

MeasureGraphicsView::MeasureGraphicsView(QWidget *parent)
    : QGraphicsView(parent)
{
    setMouseTracking(true);
    setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    setAlignment(Qt::AlignCenter);
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    m_scene = new GraphicsScene(this);
    setScene(m_scene);
    connect(m_scene, &QGraphicsScene::selectionChanged, this,
            &MeasureGraphicsView::onSelectionChanged);
    setDragMode(QGraphicsView::RubberBandDrag);
    applyCheckerboard();
    m_scene->setSceneRect(rect().isEmpty() ? QRectF(0, 0, 800, 600) : QRectF(rect()));

    m_blinkTimer.setInterval(500);
    m_clockTimer.setInterval(1000);
    connect(&m_blinkTimer, &QTimer::timeout, this, &MeasureGraphicsView::onBlinkTick);
    connect(&m_clockTimer, &QTimer::timeout, this, &MeasureGraphicsView::onClockTick);
}

MeasureGraphicsView::~MeasureGraphicsView()
{
    // The scene's items must not report selection changes into a half-destroyed view.
    if (m_scene)
        disconnect(m_scene, nullptr, this, nullptr);
}

void MeasureGraphicsView::applyCheckerboard()
{
    if (!m_scene)
        return;
    QPixmap tile(20, 20);
    if (tile.isNull()) {
        m_scene->setBackgroundBrush(m_checkerA);
        return;
    }
    tile.fill(m_checkerA);
    QPainter painter(&tile);
    painter.fillRect(0, 0, 10, 10, m_checkerB);
    painter.fillRect(10, 10, 10, 10, m_checkerB);
    painter.end();
    m_scene->setBackgroundBrush(QBrush(tile));
}

void MeasureGraphicsView::setCheckerTheme(bool light)
{
    if (light) {
        m_checkerA = QColor(220, 220, 220);
        m_checkerB = QColor(240, 240, 240);
    } else {
        m_checkerA = QColor(40, 40, 40);
        m_checkerB = QColor(30, 30, 30);
    }
    applyCheckerboard();
}

void MeasureGraphicsView::applyDragMode()
{
    setDragMode(m_panning ? QGraphicsView::NoDrag : QGraphicsView::RubberBandDrag);
}

void MeasureGraphicsView::rebuildScene(const QSize &size)
{
    bool crosshair = false;
    CalibrationData *calibration = m_calibration.data();
    m_backgroundItem = nullptr;
    forgetDrawing();
    if (m_scene) {
        crosshair = m_scene->crosshairVisible();
        if (!calibration)
            calibration = m_scene->calibrationData();
        disconnect(m_scene, nullptr, this, nullptr);
        setScene(nullptr);
        delete m_scene;
    }
    m_scene = new GraphicsScene(this);
    setScene(m_scene);
    m_scene->setSceneRect(0, 0, size.width(), size.height());
    applyCheckerboard();
    connect(m_scene, &QGraphicsScene::selectionChanged, this,
            &MeasureGraphicsView::onSelectionChanged);
    m_scene->setCrosshairVisible(crosshair);
    m_scene->setCalibrationData(calibration);

    QSettings settings;
    m_scene->setCrosshairWidth(
        settings.value(SettingsKeys::kCrosshairWidth, SettingsKeys::kCrosshairWidthDefault)
            .toInt());
    m_scene->invalidate(QRectF(), QGraphicsScene::ForegroundLayer);
    m_scene->setTickHeightMultiplier(
        settings
            .value(SettingsKeys::kTickHeightMultiplier, SettingsKeys::kTickHeightMultiplierDefault)
            .toInt());
    m_scene->invalidate(QRectF(), QGraphicsScene::ForegroundLayer);
    m_scene->setTickIntervalMultiplier(settings
                                           .value(SettingsKeys::kTickIntervalMultiplier,
                                                  SettingsKeys::kTickIntervalMultiplierDefault)
                                           .toInt());
    m_scene->invalidate(QRectF(), QGraphicsScene::ForegroundLayer);
    applyDragMode();
}

void MeasureGraphicsView::setCalibrationData(CalibrationData *calibration)
{
    m_calibration = calibration;
    if (m_scene)
        m_scene->setCalibrationData(calibration);
}

void MeasureGraphicsView::setCrosshairVisible(bool visible)
{
    if (!m_scene)
        return;
    m_scene->setCrosshairVisible(visible);
    m_scene->update();
}

void MeasureGraphicsView::setBackgroundImage(const QImage &image, bool resetScene)
{
    if (image.isNull())
        return;
    m_image = image;
    const bool wasEmpty = m_imageSize.isEmpty();
    const bool sizeChanged = image.size() != m_imageSize;
    m_imageSize = image.size();

    if (resetScene || wasEmpty) {
        m_fitMode = true;
        if (resetScene) {
            rebuildScene(size());
            applyDragMode();
        }
    }

    if (m_backgroundItem) {
        m_backgroundItem->setPixmap(QPixmap::fromImage(image));
        m_backgroundItem->setTransform(QTransform());
        m_backgroundItem->setScale(1.0);
    } else {
        const QList<QGraphicsItem *> items = m_scene->items();
        for (QGraphicsItem *item : items) {
            if (item->data(0).toString() == QLatin1String(kBackgroundTag)) {
                m_scene->removeItem(item);
                delete item;
            }
        }
        m_backgroundItem = new QGraphicsPixmapItem(QPixmap::fromImage(image));
        m_backgroundItem->setPos(0, 0);
        m_backgroundItem->setScale(1.0);
        m_backgroundItem->setZValue(-1000);
        m_backgroundItem->setTransformationMode(Qt::SmoothTransformation);
        m_backgroundItem->setVisible(true);
        m_backgroundItem->setFlag(QGraphicsItem::ItemIsMovable, false);
        m_backgroundItem->setFlag(QGraphicsItem::ItemIsSelectable, false);
        m_backgroundItem->setData(0, QLatin1String(kBackgroundTag));
        m_scene->addItem(m_backgroundItem);
    }

    m_scene->setImage(image);
    m_scene->setImageSize(m_imageSize);
    m_scene->setZoom(m_currentCanvasZoom);
    applyCheckerboard();

    if ((wasEmpty || sizeChanged || resetScene) && !m_imageSize.isEmpty()) {
        m_currentCanvasZoom = 1.0;
        fitViewToScene();
    }
    updateGeometry();
    m_scene->update();
}

bool MeasureGraphicsView::loadImageFile(const QString &path, bool resetScene)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        qWarning().noquote() << "MeasureGraphicsView::loadImageFile" << __LINE__ << path
                             << reader.errorString();
        return false;
    }
    setBackgroundImage(image, resetScene);
    return true;
}

void MeasureGraphicsView::updateFrameImage(const QImage &image)
{
    if (image.isNull() || !m_scene)
        return;
    const bool sizeChanged = image.size() != m_imageSize;
    m_imageSize = image.size();
    m_image = image;
    if (!m_backgroundItem) {
        setBackgroundImage(image, true);
        return;
    }
    QSize bound = viewport() ? viewport()->size() : QSize();
    if (bound.isEmpty())
        bound = image.size();
    bound = bound.boundedTo(QSize(1280, 720));
    if (image.width() > bound.width() || image.height() > bound.height()) {
        const QSize shown = image.size().scaled(bound, Qt::KeepAspectRatio);
        m_backgroundItem->setPixmap(
            QPixmap::fromImage(image.scaled(shown, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
        m_backgroundItem->setTransform(QTransform());
        m_backgroundItem->setScale(double(image.width()) / std::max(1, shown.width()));
    } else {
        m_backgroundItem->setPixmap(QPixmap::fromImage(image));
        m_backgroundItem->setTransform(QTransform());
        m_backgroundItem->setScale(1.0);
    }
    m_scene->setImage(image);
    if (sizeChanged) {
        m_scene->setImageSize(m_imageSize);
        fitViewToScene();
    }
}

void MeasureGraphicsView::updatePreviewImage(const QImage &image)
{
    if (image.isNull())
        return;
    if (!m_backgroundItem || m_imageSize.isEmpty()) {
        updateFrameImage(image);
        return;
    }
    m_backgroundItem->setPixmap(QPixmap::fromImage(image));
    const double sx = double(m_imageSize.width()) / image.width();
    const double sy = double(m_imageSize.height()) / image.height();
    if (qFuzzyCompare(sx, sy)) {
        m_backgroundItem->setTransform(QTransform());
        m_backgroundItem->setScale(sx);
    } else {
        m_backgroundItem->setScale(1.0);
        m_backgroundItem->setTransform(QTransform::fromScale(sx, sy));
    }
}

void MeasureGraphicsView::setBackgroundVisible(bool visible)
{
    if (m_backgroundItem)
        m_backgroundItem->setVisible(visible);
}

void MeasureGraphicsView::fitViewToScene()
{
    if (!m_scene)
        return;
    if (m_imageSize.isEmpty()) {
        m_scene->setSceneRect(rect());
        return;
    }
    // A fitted picture never scrolls: drop bars left from a zoom before measuring the viewport.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int vw = std::max(1, viewport()->width());
    const int vh = std::max(1, viewport()->height());
    const double zoom =
        std::min(double(vw) / m_imageSize.width(), double(vh) / m_imageSize.height());
    m_currentCanvasZoom = zoom;
    m_scene->setSceneRect(0, 0, m_imageSize.width(), m_imageSize.height());
    m_scene->setZoom(zoom);
    resetTransform();
    scale(zoom, zoom);
    if (m_backgroundItem) {
        m_backgroundItem->setPos(0, 0);
        m_backgroundItem->setVisible(true);
        m_backgroundItem->setFlag(QGraphicsItem::ItemIsMovable, false);
        m_backgroundItem->setFlag(QGraphicsItem::ItemIsSelectable, false);
        m_backgroundItem->setZValue(-1000);
    }
    centerOn(m_imageSize.width() / 2, m_imageSize.height() / 2);
    updateScrollBars();
    m_scene->update();
    qDebug().nospace() << "MeasureGraphicsView::fitViewToScene"
                       << ", " << __LINE__ << ", m_currentCanvasZoom=" << m_currentCanvasZoom;
    emit sigCanvasZoomChanged(zoom);
}

void MeasureGraphicsView::setCanvasZoom(double zoom)
{
    if (m_imageSize.isEmpty() || !m_scene)
        return;
    zoom = clampZoom(zoom);
    m_currentCanvasZoom = zoom;
    m_fitMode = false;
    resetTransform();
    scale(zoom, zoom);
    m_scene->setSceneRect(0, 0, m_imageSize.width(), m_imageSize.height());
    m_scene->setZoom(zoom);
    centerOn(m_imageSize.width() / 2, m_imageSize.height() / 2);
    updateScrollBars();
    viewport()->update();
    update();
    m_scene->update();
    emit sigCanvasZoomChanged(zoom);
}

void MeasureGraphicsView::wheelEvent(QWheelEvent *event)
{
    if (m_imageSize.isEmpty()) {
        event->accept();
        return;
    }
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        QGraphicsView::wheelEvent(event);
        return;
    }
    const double oldZoom = m_currentCanvasZoom;
    const double newZoom = clampZoom(oldZoom * (delta > 0 ? 1.1 : 0.9));
    const QPoint mouse = event->position().toPoint();
    const QPointF before = mapToScene(mouse);
    const ViewportAnchor anchor = transformationAnchor();
    setTransformationAnchor(QGraphicsView::NoAnchor);
    scale(newZoom / oldZoom, newZoom / oldZoom);
    setTransformationAnchor(anchor);
    const QPointF after = mapToScene(mouse);
    const QPointF centre = mapToScene(viewport()->rect().center());
    centerOn(centre - (after - before));
    m_currentCanvasZoom = newZoom;
    m_fitMode = false;
    updateScrollBars();
    viewport()->update();
    update();
    m_scene->update();
    m_scene->setZoom(newZoom);
    emit sigCanvasZoomChanged(newZoom);
    event->accept();
}

void MeasureGraphicsView::updateScrollBars()
{
    if (!viewport() || !m_scene || viewport()->size().isEmpty())
        return;
    const QSize vp = viewport()->size();
    const QRectF sr = m_scene->sceneRect();
    const int hMax = std::max(int(std::lround(sr.width() * m_currentCanvasZoom)) - vp.width(), 0);
    const int vMax = std::max(int(std::lround(sr.height() * m_currentCanvasZoom)) - vp.height(), 0);
    horizontalScrollBar()->setPageStep(vp.width());
    horizontalScrollBar()->setSingleStep(std::max(vp.width() / 20, 1));
    verticalScrollBar()->setPageStep(vp.height());
    verticalScrollBar()->setSingleStep(std::max(vp.height() / 20, 1));
    // The view keeps the ranges in step with the transform; the bars show only when there is
    // something to scroll.
    setHorizontalScrollBarPolicy(hMax >= 1 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vMax >= 1 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    if (parentWidget())
        parentWidget()->updateGeometry();
}

void MeasureGraphicsView::resizeEvent(QResizeEvent *event)
{
    // The viewport has its new size already but the scroll position is the old one, so the
    // scene point at the old viewport centre is the top-left point plus half the old viewport.
    const bool keepZoom = m_scene && !m_imageSize.isEmpty() && !m_fitMode;
    QPointF centre;
    if (keepZoom) {
        QSize oldViewport = viewport()->size();
        if (event->oldSize().isValid())
            oldViewport -= event->size() - event->oldSize();
        centre = mapToScene(QPoint(0, 0)) +
                 QPointF(oldViewport.width(), oldViewport.height()) / 2.0 / m_currentCanvasZoom;
    }
    QGraphicsView::resizeEvent(event);
    if (m_scene) {
        if (m_imageSize.isEmpty()) {
            m_scene->setSceneRect(rect());
        } else if (m_fitMode) {
            fitViewToScene();
        } else {
            m_scene->setSceneRect(0, 0, m_imageSize.width(), m_imageSize.height());
            resetTransform();
            scale(m_currentCanvasZoom, m_currentCanvasZoom);
            centerOn(centre);
            updateScrollBars();
        }
        m_scene->update();
    }
    viewport()->update();
    updateGeometry();
    QTimer::singleShot(0, this, &MeasureGraphicsView::updateScrollBars);
    if (m_recordTimeLabel && m_recordTimeLabel->isVisible())
        placeRecordingLabels();
}

void MeasureGraphicsView::scrollContentsBy(int dx, int dy)
{
    QGraphicsView::scrollContentsBy(dx, dy);
    if (m_scene)
        m_scene->update();
    viewport()->update();
}

QSize MeasureGraphicsView::sizeHint() const
{
    if (!m_scene)
        return QGraphicsView::sizeHint();
    return m_scene->sceneRect().size().toSize();
}

QSize MeasureGraphicsView::viewportSizeHint() const
{
    if (!m_scene)
        return QGraphicsView::viewportSizeHint();
    return m_scene->sceneRect().size().toSize();
}

void MeasureGraphicsView::setPanningMode(bool on)
{
    if (on && !m_panning) {
        m_savedCursor = viewport()->cursor();
        viewport()->setCursor(Qt::OpenHandCursor);
    } else if (!on && m_panning) {
        viewport()->setCursor(m_savedCursor);
    }
    m_panning = on;
    applyDragMode();
}

void MeasureGraphicsView::mousePressEvent(QMouseEvent *event)
{
    if (m_panning) {
        if (event->button() == Qt::LeftButton) {
            viewport()->setCursor(Qt::ClosedHandCursor);
            m_lastPanPos = event->pos();
        }
        event->accept();
        return;
    }
    QGraphicsView::mousePressEvent(event);
    const QList<QGraphicsItem *> hits = items(event->pos());
    if (m_scene && std::none_of(hits.begin(), hits.end(), isShapeOrText))
        m_scene->clearSelection();
}

void MeasureGraphicsView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_panning) {
        if (event->buttons() & Qt::LeftButton) {
            const QPoint delta = event->pos() - m_lastPanPos;
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() - delta.x());
            verticalScrollBar()->setValue(verticalScrollBar()->value() - delta.y());
            m_lastPanPos = event->pos();
        }
        event->accept();
        return;
    }
    if (!m_drawToolActive && event->buttons() == Qt::NoButton) {
        auto *shape = dynamic_cast<GraphicsItemBase *>(itemAt(event->pos()));
        if (!shape || !shape->isSelected()) {
            viewport()->setCursor(Qt::ArrowCursor);
        } else {
            // The shape chooses the cursor of its point: a rectangle's side handle resizes one
            // way only, the point of any other shape moves freely.
            shape->updateHoverState(shape->mapFromScene(mapToScene(event->pos())));
            viewport()->setCursor(shape->hoverIndex() > 0 ? shape->cursor()
                                                          : QCursor(Qt::ArrowCursor));
        }
    }
    QGraphicsView::mouseMoveEvent(event);
}

void MeasureGraphicsView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_panning) {
        if (event->button() == Qt::LeftButton)
            viewport()->setCursor(Qt::OpenHandCursor);
        event->accept();
        return;
    }
    QGraphicsView::mouseReleaseEvent(event);
}

bool MeasureGraphicsView::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::MouseMove)
        return QGraphicsView::viewportEvent(event);
    auto *mouse = static_cast<QMouseEvent *>(event);
    if (m_panning) {
        const bool result = QGraphicsView::viewportEvent(event);
        viewport()->setCursor((mouse->buttons() & Qt::LeftButton) ? Qt::ClosedHandCursor
                                                                  : Qt::OpenHandCursor);
        return result;
    }
    const QCursor before = viewport()->cursor();
    const bool result = QGraphicsView::viewportEvent(event);
    if (m_drawToolActive) {
        if (viewport()->cursor().shape() != before.shape())
            viewport()->setCursor(before);
    } else if (!dynamic_cast<GraphicsItemBase *>(itemAt(mouse->pos()))) {
        viewport()->unsetCursor();
    }
    return result;
}

void MeasureGraphicsView::onSelectionChanged()
{
    if (m_suppressSelectionSignal || m_drawToolActive || !m_scene)
        return;
    Attribute::Ptr attribute;
    const QList<QGraphicsItem *> selected = m_scene->selectedItems();
    if (selected.size() == 1) {
        QGraphicsItem *item = selected.first();
        if (item->parentItem())
            item = item->parentItem();
        if (auto *shape = dynamic_cast<GraphicsItemBase *>(item))
            attribute = shape->attribute();
        else if (auto *text = dynamic_cast<TextItem *>(item))
            attribute = text->attribute();
    }
    emit sigChoosedItemChanged(attribute);
}

void MeasureGraphicsView::onAttributeDataChanged()
{
    if (!m_scene)
        return;
    const QList<QGraphicsItem *> selected = m_scene->selectedItems();
    if (selected.size() != 1)
        return;
    QGraphicsItem *item = selected.first();
    if (auto *shape = dynamic_cast<GraphicsItemBase *>(item)) {
        if (LabelItem *label = shape->labelItem())
            label->setAttribute(shape->attribute());
        shape->update();
        if (shape->parentItem())
            shape->parentItem()->update();
    } else if (auto *text = dynamic_cast<TextItem *>(item)) {
        text->applyAttribute();
    }
}

void MeasureGraphicsView::addItem(QGraphicsItem *item)
{
    if (!item || !m_scene)
        return;
    if (item->zValue() < 0)
        item->setZValue(0);
    auto *shape = dynamic_cast<GraphicsItemBase *>(item);
    if (shape) {
        shape->setFlags(QGraphicsItem::ItemIsSelectable | QGraphicsItem::ItemIsMovable |
                        QGraphicsItem::ItemSendsGeometryChanges);
        shape->setAcceptHoverEvents(true);
    }
    m_scene->addItem(item);
    if (shape && shape->lineData())
        m_nameIndex.insert(shape->lineData()->id, shape);
    auto *text = dynamic_cast<TextItem *>(item);
    if (text && text->lineData())
        m_textIndex.insert(text->lineData()->id, text);
}

void MeasureGraphicsView::removeItem(QGraphicsItem *item)
{
    if (!item || !m_scene)
        return;
    auto *shape = dynamic_cast<GraphicsItemBase *>(item);
    if (shape && shape->lineData())
        m_nameIndex.remove(shape->lineData()->id);
    auto *text = dynamic_cast<TextItem *>(item);
    if (text && text->lineData())
        m_textIndex.remove(text->lineData()->id);
    if (item->scene() == m_scene)
        m_scene->removeItem(item);
}

GraphicsItemBase *MeasureGraphicsView::itemByName(const QString &id) const
{
    return m_nameIndex.value(id, nullptr);
}

TextItem *MeasureGraphicsView::textItemByName(const QString &id) const
{
    return m_textIndex.value(id).data();
}

QGraphicsItem *MeasureGraphicsView::graphicsItemByName(const QString &id) const
{
    if (GraphicsItemBase *shape = itemByName(id))
        return shape;
    return textItemByName(id);
}

QList<GraphicsItemBase *> MeasureGraphicsView::allItems() const
{
    return m_nameIndex.values();
}

QList<TextItem *> MeasureGraphicsView::allTextItems() const
{
    QList<TextItem *> texts;
    for (const QPointer<TextItem> &text : m_textIndex) {
        if (text)
            texts.append(text.data());
    }
    return texts;
}

void MeasureGraphicsView::forgetDrawing()
{
    m_nameIndex.clear();
    m_textIndex.clear();
    // The records belonged to items that go without a removal of their own; left registered
    // they would count as a drawing that no longer exists.
    LineDataRegistry::instance()->clear();
    drawingForgotten();
}

void MeasureGraphicsView::clearAll()
{
    m_backgroundItem = nullptr;
    forgetDrawing();
    if (m_scene)
        m_scene->clear();
}

QImage MeasureGraphicsView::renderSceneToImage()
{
    if (!m_scene || m_scene->sceneRect().isEmpty())
        return QImage();
    const QSize size = m_scene->sceneRect().size().toSize();
    QImage result(size, QImage::Format_ARGB32);
    if (result.isNull())
        return QImage();
    result.fill(Qt::transparent);

    // Render from the full-resolution picture, not the reduced pixmap on display.
    const bool swap = m_backgroundItem && !m_image.isNull();
    QPixmap shownPixmap;
    QTransform shownTransform;
    double shownScale = 1.0;
    if (swap) {
        shownPixmap = m_backgroundItem->pixmap();
        shownTransform = m_backgroundItem->transform();
        shownScale = m_backgroundItem->scale();
        m_backgroundItem->setPixmap(QPixmap::fromImage(m_image));
        m_backgroundItem->setTransform(QTransform());
        m_backgroundItem->setScale(1.0);
    }
    // The checkerboard is the view's backdrop, not part of the picture.
    const QBrush backdrop = m_scene->backgroundBrush();
    m_scene->setBackgroundBrush(Qt::NoBrush);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    m_scene->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)), m_scene->sceneRect(),
                    Qt::KeepAspectRatio);
    painter.end();
    m_scene->setBackgroundBrush(backdrop);
    if (swap) {
        m_backgroundItem->setPixmap(shownPixmap);
        m_backgroundItem->setScale(shownScale);
        m_backgroundItem->setTransform(shownTransform);
    }
    return result;
}

QImage MeasureGraphicsView::composeImage()
{
    if (!m_backgroundItem || m_backgroundItem->pixmap().isNull())
        return QImage();
    // Render without selection handles, and give the user the selection back afterwards.
    const QList<QGraphicsItem *> selected = m_scene->selectedItems();
    const QSignalBlocker blocker(m_scene);
    m_scene->clearSelection();
    const QImage image = renderSceneToImage();
    for (QGraphicsItem *item : selected)
        item->setSelected(true);
    return image;
}

void MeasureGraphicsView::formatForPath(const QString &path, const char **format, int *quality)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    *quality = -1;
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) {
        *format = "JPEG";
        *quality = 90;
    } else if (suffix == QLatin1String("bmp")) {
        *format = "BMP";
    } else if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff")) {
        *format = "TIFF";
    } else {
        *format = "PNG";
    }
}

bool MeasureGraphicsView::saveFusedImage(const QString &path)
{
    QImage image = composeImage();
    if (image.isNull()) {
        showMessage(QMessageBox::Warning, tr("警告"),
                    tr("当前没有可保存的图像，请先加载图片或打开相机。"));
        return false;
    }
    const char *format = "PNG";
    int quality = -1;
    formatForPath(path, &format, &quality);
    if (qstrcmp(format, "PNG") != 0 && image.format() != QImage::Format_RGB32) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
        painter.end();
        image = flat;
    }
    // The composed picture has the scene's pixels, so the calibration's pixel size holds for it;
    // it is written with the picture, in the one replace of the file. BMP cannot record it.
    const bool bmp = qstrcmp(format, "BMP") == 0;
    DrawingDocument::StoreResult stored = DrawingDocument::StoreResult::Stored;
    if (DrawingDocument::storePicture(path, image, format, quality,
                                      m_scene && !bmp ? m_scene->calibrationData() : nullptr,
                                      &stored) != DrawingDocument::StoreResult::Stored) {
        qWarning() << "Failed to save fused image to path:" << path;
        return false;
    }
    if (stored == DrawingDocument::StoreResult::Stored)
        return true;
    qWarning() << "Pixel size not written into fused image:" << path;
    showMessage(QMessageBox::Warning, tr("警告"),
                tr("融合图像已保存，但标定的像素尺寸未能写入：\n%1\n%2")
                    .arg(path, DrawingDocument::pixelSizeFailure(stored)));
    return false;
}

bool MeasureGraphicsView::saveBackgroundImage(const QString &path)
{
    if (!m_scene)
        return false;
    if (!m_backgroundItem) {
        showMessage(QMessageBox::Warning, tr("Warning"),
                    tr("No background image loaded. Please load an image first."));
        return false;
    }
    QImage image = m_image;
    if (image.isNull())
        image = m_backgroundItem->pixmap().toImage();
    if (image.isNull()) {
        qWarning() << "Background image is null";
        return false;
    }
    const char *format = "PNG";
    int quality = -1;
    formatForPath(path, &format, &quality);
    const bool ok = DrawingDocument::storePicture(path, image, format, quality) ==
                    DrawingDocument::StoreResult::Stored;
    if (!ok)
        qWarning() << "Failed to save background image to path:" << path;
    return ok;
}

void MeasureGraphicsView::setRecordingOverlay(bool on)
{
    if (!on) {
        m_blinkTimer.stop();
        m_clockTimer.stop();
        if (m_recordTimeLabel)
            m_recordTimeLabel->hide();
        if (m_recordDotLabel)
            m_recordDotLabel->hide();
        return;
    }
    if (!m_recordTimeLabel) {
        m_recordTimeLabel = new QLabel(this);
        m_recordTimeLabel->setObjectName(QStringLiteral("recordTimeLabel"));
        m_recordTimeLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_recordTimeLabel->setStyleSheet(QLatin1String(kTimeStyle));
        m_recordDotLabel = new QLabel(QStringLiteral("●"), this);
        m_recordDotLabel->setObjectName(QStringLiteral("recordDotLabel"));
        m_recordDotLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    m_recordClock.restart();
    m_blinkTimer.start();
    m_clockTimer.start();
    m_recordTimeLabel->setText(QStringLiteral("REC  00:00:00"));
    m_dotShown = true;
    m_recordDotLabel->setStyleSheet(QLatin1String(kDotStyleOn));
    placeRecordingLabels();
    m_recordDotLabel->show();
    m_recordTimeLabel->show();
    m_recordDotLabel->raise();
    m_recordTimeLabel->raise();
}

void MeasureGraphicsView::placeRecordingLabels()
{
    if (!m_recordTimeLabel || !m_recordDotLabel)
        return;
    m_recordTimeLabel->adjustSize();
    m_recordDotLabel->adjustSize();
    const int x = width() - 12 - (m_recordDotLabel->width() + m_recordTimeLabel->width());
    m_recordDotLabel->move(x, 8);
    m_recordTimeLabel->move(x + m_recordDotLabel->width(), 8);
}

void MeasureGraphicsView::onClockTick()
{
    if (!m_recordTimeLabel)
        return;
    const qint64 seconds = m_recordClock.elapsed() / 1000;
    m_recordTimeLabel->setText(QStringLiteral("REC  %1").arg(QString::asprintf(
        "%02d:%02d:%02d", int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60))));
    placeRecordingLabels();
}

void MeasureGraphicsView::onBlinkTick()
{
    if (!m_recordDotLabel)
        return;
    m_dotShown = !m_dotShown;
    m_recordDotLabel->setStyleSheet(QLatin1String(m_dotShown ? kDotStyleOn : kDotStyleOff));
}

void MeasureGraphicsView::setMessageBoxProvider(MessageBoxProvider provider)
{
    m_messageBox = std::move(provider);
}

QMessageBox::StandardButton
MeasureGraphicsView::showMessage(QMessageBox::Icon icon, const QString &title, const QString &text,
                                 QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton defaultButton)
{
    if (m_messageBox)
        return m_messageBox(this, icon, title, text, buttons, defaultButton);
    QMessageBox box(icon, title, text, buttons, this);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(box.exec());
}
