// MeasureGraphicsViewBusiness.cpp: mouse drawing of the measuring tools, safe removal of shapes,
// keyboard commands and the tools' default styles.
#include "canvas/MeasureGraphicsViewBusiness.h"

#include "canvas/GraphicsScene.h"
#include "canvas/LineDataRegistry.h"
#include "settings/SettingsKeys.h"
#include "shapes/AngleItems.h"
#include "shapes/ArcItem.h"
#include "shapes/BrokenLineItem.h"
#include "shapes/Circle2PointItem.h"
#include "shapes/CircleCenterRadiusItem.h"
#include "shapes/DoubleCircleItem.h"
#include "shapes/Ellipse5PointsItem.h"
#include "shapes/EllipseItem.h"
#include "shapes/GraphicsItemLifetimeManager.h"
#include "shapes/LabelItem.h"
#include "shapes/Line3PointItem.h"
#include "shapes/ParallelLine4Points.h"
#include "shapes/ParallelLineAny.h"
#include "shapes/PerpendicularItems.h"
#include "shapes/PolygonItem.h"
#include "shapes/Rec3PointItem.h"
#include "shapes/RectItem.h"
#include "shapes/ShapeTypes.h"
#include "shapes/StraightLineItem.h"
#include "shapes/TextItem.h"

#include <QDebug>
#include <QGraphicsSceneMouseEvent>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QSettings>
#include <QTextCursor>
#include <QTimer>

#include <exception>
#include <functional>

namespace {

constexpr int kManualScaleKey = 257;
const char kManualScale[] = "manualScale";

using ShapeFactory = std::function<GraphicsItemBase *(LineDataBase::Ptr)>;

template <typename T>
ShapeFactory make()
{
    return [](LineDataBase::Ptr record) -> GraphicsItemBase * { return new T(std::move(record)); };
}

// Shape constructors by tool type; built on first use.
const QHash<int, ShapeFactory> &factory()
{
    static const QHash<int, ShapeFactory> table = {
        {ShapeTypes::StraightLine, make<StraightLineItem>()},
        {ShapeTypes::BrokenLine, make<BrokenLineItem>()},
        {ShapeTypes::Rect, make<RectItem>()},
        {ShapeTypes::Polygon, make<PolygonItem>()},
        {ShapeTypes::Line3Point, make<Line3PointItem>()},
        {ShapeTypes::CircleCenterRadius, make<CircleCenterRadiusItem>()},
        {ShapeTypes::DoubleCircle, make<DoubleCircleItem>()},
        {ShapeTypes::Rec3Point, make<Rec3PointItem>()},
        {ShapeTypes::Angle3Point, make<Angle3PointItem>()},
        {ShapeTypes::Angle4Point, make<Angle4PointItem>()},
        {ShapeTypes::Circle2Point, make<Circle2PointItem>()},
        {ShapeTypes::Ellipse, make<EllipseItem>()},
        {ShapeTypes::Ellipse3Point, make<Ellipse3PointItem>()},
        {ShapeTypes::Ellipse5Point, make<Ellipse5PointsItem>()},
        {ShapeTypes::Arrow, make<ArrowItem>()},
        {ShapeTypes::Arc, make<ArcItem>()},
        {ShapeTypes::Parallel4Points, make<ParallelLine4Points>()},
        {ShapeTypes::Parallel8Points, make<ParallelLine8Points>()},
        {ShapeTypes::ParallelAny, make<ParallelLineAny>()},
        {ShapeTypes::Perpendicular3Points, make<Perpendicular3Points>()},
        {ShapeTypes::Perpendicular4Points, make<Perpendicular4Points>()},
        {ShapeTypes::Scale, make<ScaleItem>()},
    };
    return table;
}

// The calibration ruler: a straight line whose label shows the caption its owner gives it (the
// real length, say) in place of the measured text, through every later change of the line.
class RulerLineItem : public StraightLineItem
{
public:
    using StraightLineItem::StraightLineItem;

    // An empty caption brings the measured text back.
    void setCaption(const QString &caption)
    {
        m_caption = caption;
        updateLabel();
    }

    void updateLabel() override
    {
        StraightLineItem::updateLabel();
        if (!m_caption.isEmpty() && labelItem())
            labelItem()->setText(m_caption);
    }

private:
    QString m_caption;
};

// The foot of p on the line through b perpendicular to a-b (single precision); p itself when a
// and b coincide.
QPointF projectOntoPerpendicular(const QPointF &a, const QPointF &b, const QPointF &p)
{
    const float dx = float(b.x() - a.x());
    const float dy = float(b.y() - a.y());
    const float len2 = dx * dx + dy * dy;
    if (double(len2) <= 1e-18)
        return p;
    // Direction of the perpendicular line through b.
    const float nx = -dy;
    const float ny = dx;
    const float t = (float(p.x() - b.x()) * nx + float(p.y() - b.y()) * ny) / len2;
    return QPointF(double(float(b.x()) + t * nx), double(float(b.y()) + t * ny));
}

// The number of points whose press completes a shape that grows by one point per click.
int completingPointCount(int type)
{
    switch (type) {
    case ShapeTypes::Arc:
    case ShapeTypes::Angle3Point:
    case ShapeTypes::Perpendicular3Points:
        return 3;
    case ShapeTypes::Angle4Point:
    case ShapeTypes::Parallel4Points:
    case ShapeTypes::Perpendicular4Points:
        return 4;
    case ShapeTypes::Parallel8Points:
        return 8;
    default:
        return 0;
    }
}

// Delivers a synthetic left-button event to a shape, so that it prepares (press) or finishes
// (release) a control-point drag exactly as a click on the item would.
void sendShapeMouseEvent(GraphicsItemBase *shape, QEvent::Type type, const QPointF &scenePos)
{
    QGraphicsSceneMouseEvent event(type);
    event.setScenePos(scenePos);
    event.setPos(shape->mapFromScene(scenePos));
    event.setLastScenePos(scenePos);
    event.setLastPos(event.pos());
    event.setButton(Qt::LeftButton);
    event.setButtons(type == QEvent::GraphicsSceneMouseRelease ? Qt::NoButton : Qt::LeftButton);
    event.setButtonDownScenePos(Qt::LeftButton, scenePos);
    event.setButtonDownPos(Qt::LeftButton, event.pos());
    shape->scene()->sendEvent(shape, &event);
}

} // namespace

MeasureGraphicsViewBusiness::MeasureGraphicsViewBusiness(QWidget *parent)
    : MeasureGraphicsView(parent)
    , m_history(new DrawingHistory([this] { return captureDrawing(); },
                                   [this](const QList<DrawingItemChange> &changes, bool after) {
                                       applyHistory(changes, after);
                                   },
                                   this))
{
    loadToolDefaults();
    // Shapes also die with a replaced scene; the pointers kept here must not outlive them.
    connect(GraphicsItemLifetimeManager::instance(),
            &GraphicsItemLifetimeManager::itemAboutToBeDeleted, this,
            &MeasureGraphicsViewBusiness::forgetShape);
}

MeasureGraphicsViewBusiness::~MeasureGraphicsViewBusiness()
{
    // The scene dies after this object; its shapes must not call back into it meanwhile.
    disconnect(GraphicsItemLifetimeManager::instance(), nullptr, this, nullptr);
    // The history calls into this object; it goes before the scene and its items do.
    delete m_history;
    m_history = nullptr;
    if (m_scene) {
        for (QGraphicsItem *item : m_scene->items()) {
            if (auto *shape = dynamic_cast<GraphicsItemBase *>(item))
                shape->setChangeCallback(nullptr);
        }
    }
}

bool MeasureGraphicsViewBusiness::isLive(GraphicsItemBase *shape)
{
    return shape && GraphicsItemLifetimeManager::instance()->isRegistered(shape) &&
           shape->isAlive();
}

void MeasureGraphicsViewBusiness::loadToolDefaults()
{
    m_toolDefaults.load();
}

void MeasureGraphicsViewBusiness::handleImageFileOpened(const QString &path)
{
    // The drawing stored in the file is restored before the picture is announced, so that the
    // restored shapes do not count as changes.
    loadFromMetadata(path);
    emit sigImageLoadStatusChanged(true);
}

void MeasureGraphicsViewBusiness::handleStillImageShown()
{
    emit sigImageLoadStatusChanged(true);
}

void MeasureGraphicsViewBusiness::registerNewItem(QGraphicsItem *item,
                                                  const LineDataBase::Ptr &record)
{
    LineDataRegistry::instance()->addLine(record);
    addItem(item);
    emit sigAddLine(record);
}

GraphicsItemBase *MeasureGraphicsViewBusiness::createShape(int toolType, LineDataBase::Ptr record)
{
    if (!factory().contains(toolType))
        return nullptr;
    if (!record) {
        record = std::make_shared<BrokenLineDataItem>();
        m_toolDefaults.apply(*record, toolType);
    }
    GraphicsItemBase *shape = buildShape(toolType, record);
    registerNewItem(shape, record);
    return shape;
}

GraphicsItemBase *MeasureGraphicsViewBusiness::buildShape(int toolType,
                                                          const LineDataBase::Ptr &record)
{
    const ShapeFactory build = factory().value(toolType);
    if (!build)
        return nullptr;
    GraphicsItemBase *shape = build(record);
    shape->setChangeCallback([this](GraphicsItemBase *changed) { onShapeChanged(changed); });
    return shape;
}

bool MeasureGraphicsViewBusiness::isManualScaleBar(const QGraphicsItem *item)
{
    return item->data(kManualScaleKey).toString() == QLatin1String(kManualScale);
}

void MeasureGraphicsViewBusiness::setManualScaleBar(QGraphicsItem *item, bool manual)
{
    item->setData(kManualScaleKey, manual ? QVariant(QLatin1String(kManualScale)) : QVariant());
}

TextItem *MeasureGraphicsViewBusiness::createTextItem(LineDataBase::Ptr record)
{
    if (!record) {
        record = std::make_shared<BrokenLineDataItem>();
        m_toolDefaults.apply(*record, ShapeTypes::Text);
    }
    auto *text = new TextItem(record);
    registerNewItem(text, record);
    return text;
}

StraightLineItem *MeasureGraphicsViewBusiness::createRulerLine(const QPointF &centre, double length,
                                                               bool announce)
{
    auto record = std::make_shared<BrokenLineDataItem>();
    m_toolDefaults.apply(*record, ShapeTypes::StraightLine);
    auto *line = new RulerLineItem(record);
    line->setChangeCallback([this](GraphicsItemBase *changed) { onShapeChanged(changed); });
    if (announce) {
        registerNewItem(line, record);
    } else {
        m_unannounced.insert(record->id);
        addItem(line);
    }
    line->setStartPoint(line->mapFromScene(QPointF(centre.x() - length / 2, centre.y())));
    line->setEndPoint(line->mapFromScene(QPointF(centre.x() + length / 2, centre.y())));
    line->setShowEndGuides(true);
    line->setSelected(true);
    return line;
}

void MeasureGraphicsViewBusiness::forgetShape(GraphicsItemBase *shape)
{
    if (shape == m_currentShape) {
        m_currentShape = nullptr;
        m_polygonAppendOnMove = false;
        setSuppressSelectionSignal(false);
    }
    if (shape == m_dragShape) {
        m_dragShape = nullptr;
        m_controlPointDrag = false;
    }
}

void MeasureGraphicsViewBusiness::onShapeChanged(GraphicsItemBase *shape)
{
    if (m_deleting || !m_scene || !isLive(shape) || shape->scene() != m_scene)
        return;
    const LineDataBase::Ptr record = shape->lineData();
    if (!record)
        return;
    if (isAnnounced(record->id))
        emit sigLineDataChanged(record);
    if (auto *line = dynamic_cast<StraightLineItem *>(shape)) {
        if (line->points().size() >= 2)
            emit sigScaleLengthChanged(QLineF(line->point(0), line->point(1)).length());
    }
}

// ---- removal ----------------------------------------------------------------------------

void MeasureGraphicsViewBusiness::detachShape(GraphicsItemBase *shape,
                                              const LineDataBase::Ptr &record)
{
    try {
        shape->setChangeCallback(nullptr);
        forgetShape(shape);
        const bool ruler = record && m_unannounced.remove(record->id);
        if (record && !ruler) {
            LineDataRegistry::instance()->removeLine(record->id);
            emit sigDelLine(record);
        }
        removeItem(shape);
        GraphicsItemLifetimeManager::instance()->unregisterItem(shape);
        shape->hide();
        // Deleted once every handler still on the stack has returned.
        QTimer::singleShot(10, [shape] { delete shape; });
        // An unannounced ruler was never announced as a measurement; only its length goes.
        if (ruler)
            emit sigScaleLengthChanged(0.0);
    } catch (const std::exception &e) {
        qWarning().noquote() << "[ERROR] Exception during removal:" << e.what();
    } catch (...) {
        qWarning().noquote() << "[ERROR] Unknown exception during removal";
    }
}

void MeasureGraphicsViewBusiness::detachText(TextItem *text, const LineDataBase::Ptr &record)
{
    try {
        if (text == m_editingText)
            m_editingText = nullptr;
        text->setTextInteractionFlags(Qt::NoTextInteraction);
        text->clearFocus();
        if (record) {
            LineDataRegistry::instance()->removeLine(record->id);
            emit sigDelLine(record);
        }
        removeItem(text);
        text->hide();
        // Deleted once every handler still on the stack has returned.
        QTimer::singleShot(10, text, [text] { delete text; });
    } catch (const std::exception &e) {
        qWarning().noquote() << "[ERROR] Exception during removal:" << e.what();
    } catch (...) {
        qWarning().noquote() << "[ERROR] Unknown exception during removal";
    }
}

void MeasureGraphicsViewBusiness::queueDeletion(const PendingDeletion &pending)
{
    if (!m_pendingDeletions.contains(pending))
        m_pendingDeletions.append(pending);
}

void MeasureGraphicsViewBusiness::removeLine(GraphicsItemBase *lineItem)
{
    if (!isLive(lineItem) || !lineItem->scene())
        return;
    const LineDataBase::Ptr record = lineItem->lineData();
    if (m_deleting) {
        queueDeletion({lineItem, nullptr, record});
        return;
    }
    m_deleting = true;
    detachShape(lineItem, record);
    m_deleting = false;
    processPendingDeletions();
}

void MeasureGraphicsViewBusiness::removeTextItem(TextItem *text)
{
    // A removed text has left the scene and waits for its deletion.
    if (!text || !text->scene())
        return;
    const LineDataBase::Ptr record = text->lineData();
    if (m_deleting) {
        queueDeletion({nullptr, text, record});
        return;
    }
    m_deleting = true;
    detachText(text, record);
    m_deleting = false;
    processPendingDeletions();
}

void MeasureGraphicsViewBusiness::processPendingDeletions()
{
    if (m_deleting)
        return;
    // Handlers of sigDelLine may ask for more removals; they are queued and taken in turn.
    m_deleting = true;
    while (!m_pendingDeletions.isEmpty()) {
        const QList<PendingDeletion> batch = m_pendingDeletions;
        m_pendingDeletions.clear();
        for (const PendingDeletion &pending : batch) {
            if (pending.shape && isLive(pending.shape) && pending.shape->scene())
                detachShape(pending.shape, pending.record);
            else if (pending.text && pending.text->scene())
                detachText(pending.text, pending.record);
        }
    }
    m_deleting = false;
}

bool MeasureGraphicsViewBusiness::removeLineById(const QString &id)
{
    if (GraphicsItemBase *shape = itemByName(id)) {
        removeLine(shape);
        return true;
    }
    if (TextItem *text = textItemByName(id)) {
        removeTextItem(text);
        return true;
    }
    return false;
}

bool MeasureGraphicsViewBusiness::selectLineById(const QString &id)
{
    if (!m_scene)
        return false;
    m_scene->clearSelection();
    QGraphicsItem *item = graphicsItemByName(id);
    if (!item)
        return false;
    item->setSelected(true);
    return true;
}

void MeasureGraphicsViewBusiness::onDelLineRequested(LineDataBase::Ptr record)
{
    if (!record)
        return;
    if (removeLineById(record->id)) {
        recordStep();
        return;
    }
    if (!isAnnounced(record->id))
        return;
    // A row whose item is gone: its record goes, and the row with it.
    LineDataRegistry::instance()->removeLine(record->id);
    emit sigDelLine(record);
}

void MeasureGraphicsViewBusiness::onLineSelectionRequested(LineDataBase::Ptr record)
{
    m_history->breakMerge();
    if (record)
        selectLineById(record->id);
    else if (m_scene)
        m_scene->clearSelection();
}

void MeasureGraphicsViewBusiness::dropOrphanRecords()
{
    for (const LineDataBase::Ptr &record : LineDataRegistry::instance()->lines()) {
        if (graphicsItemByName(record->id))
            continue;
        LineDataRegistry::instance()->removeLine(record->id);
        emit sigDelLine(record);
    }
}

void MeasureGraphicsViewBusiness::delAllLine()
{
    const QList<GraphicsItemBase *> shapes = allItems();
    for (GraphicsItemBase *shape : shapes)
        removeLine(shape);
    if (m_scene) {
        QList<TextItem *> texts;
        for (QGraphicsItem *item : m_scene->items()) {
            auto *text = dynamic_cast<TextItem *>(item);
            if (text && !text->parentItem())
                texts.append(text);
        }
        for (TextItem *text : qAsConst(texts))
            removeTextItem(text);
    }
    // Items queued behind a running removal keep their records until they are taken.
    if (!m_deleting)
        dropOrphanRecords();
    recordStep();
}

bool MeasureGraphicsViewBusiness::setLineLabelText(const QString &id, const QString &text)
{
    GraphicsItemBase *shape = itemByName(id);
    if (!isLive(shape) || !shape->labelItem())
        return false;
    if (auto *ruler = dynamic_cast<RulerLineItem *>(shape))
        ruler->setCaption(text);
    else
        shape->labelItem()->setText(text);
    return true;
}

double MeasureGraphicsViewBusiness::linePixelLength(const QString &id) const
{
    GraphicsItemBase *shape = itemByName(id);
    auto *line = isLive(shape) ? dynamic_cast<StraightLineItem *>(shape) : nullptr;
    if (!line || line->points().size() < 2)
        return -1.0;
    return QLineF(line->point(0), line->point(1)).length();
}

void MeasureGraphicsViewBusiness::deleteSelected()
{
    if (!m_scene || m_scene->selectedItems().isEmpty())
        return;
    if (showMessage(QMessageBox::Information, tr("提示"), tr("确定删除选中的线?"),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!m_scene)
        return;
    QList<GraphicsItemBase *> shapes;
    for (QGraphicsItem *item : m_scene->selectedItems()) {
        if (item->parentItem() && dynamic_cast<GraphicsItemBase *>(item->parentItem()))
            item = item->parentItem();
        auto *shape = dynamic_cast<GraphicsItemBase *>(item);
        if (shape && shape->type() != ShapeTypes::Label && !shapes.contains(shape))
            shapes.append(shape);
    }
    for (GraphicsItemBase *shape : shapes)
        removeLine(shape);
    recordStep();
}

// ---- arming, panning, scale bar -------------------------------------------------------

void MeasureGraphicsViewBusiness::setDrawingCursor()
{
    const bool cross = QSettings()
                           .value(QLatin1String(SettingsKeys::kShowDrawingCrossCursor),
                                  SettingsKeys::kShowDrawingCrossCursorDefault)
                           .toBool();
    viewport()->setCursor(cross ? Qt::CrossCursor : Qt::ArrowCursor);
}

void MeasureGraphicsViewBusiness::disarm()
{
    MeasureGraphicsView::setDrawToolActive(false);
    endTextEditing();
    if (isLive(m_currentShape) && m_currentShape->scene() == m_scene)
        removeLine(m_currentShape);
    m_currentShape = nullptr;
    m_mousePressed = false;
    setSuppressSelectionSignal(false);
    m_currentToolAttribute.reset();
    viewport()->setCursor(Qt::ArrowCursor);
}

void MeasureGraphicsViewBusiness::setDrawToolActive(bool active)
{
    if (!active) {
        disarm();
        emitToolDefaults(false);
        return;
    }
    MeasureGraphicsView::setDrawToolActive(true);
    endTextEditing();
    if (isLive(m_currentShape) && m_currentShape->scene() == m_scene)
        removeLine(m_currentShape);
    m_currentShape = nullptr;
    MeasureGraphicsView::setPanningMode(false);
    if (m_scene)
        m_scene->clearSelection();
    setDrawingCursor();
    emitToolDefaults(true);
}

void MeasureGraphicsViewBusiness::emitToolDefaults(bool active)
{
    const int type = LineDataRegistry::instance()->toolType();
    if (!active || !m_toolDefaults.contains(type)) {
        m_currentToolAttribute.reset();
        emit sigToolDefaultAttributesChanged(nullptr);
        return;
    }
    m_currentToolAttribute = m_toolDefaults.attributeFor(type);
    emit sigToolDefaultAttributesChanged(m_currentToolAttribute);
}

void MeasureGraphicsViewBusiness::onAttributeDataChanged()
{
    MeasureGraphicsView::onAttributeDataChanged();
    if (drawToolActive() && m_currentToolAttribute)
        m_toolDefaults.store(LineDataRegistry::instance()->toolType(), *m_currentToolAttribute);
    // The editor reports every keystroke; edits of the same property merge into one step.
    recordStep(true);
}

void MeasureGraphicsViewBusiness::setPanningMode(bool panning)
{
    const bool wasPanning = panningMode();
    MeasureGraphicsView::setPanningMode(panning);
    if (panning)
        m_mousePressed = false;
    else if (wasPanning && drawToolActive())
        setDrawingCursor();
}

void MeasureGraphicsViewBusiness::setScaleBarShown(bool show)
{
    m_scaleBarShown = show;
    if (!m_scene)
        return;
    bool anyBar = false;
    for (QGraphicsItem *item : m_scene->items()) {
        if (item->type() != ShapeTypes::Scale)
            continue;
        anyBar = true;
        if (show)
            item->show();
        else if (!isManualScaleBar(item))
            item->hide();
    }
    if (show && !anyBar && !imageSize().isEmpty()) {
        recordStep();
        auto *bar = static_cast<ScaleItem *>(createShape(ShapeTypes::Scale));
        bar->setFlag(QGraphicsItem::ItemIsMovable, true);
        bar->setFlag(QGraphicsItem::ItemIsSelectable, true);
        bar->placeAt(bar->mapFromScene(QPointF(20, imageSize().height() - 40)));
        // The bar the settings ask for is not a step of the user's.
        m_history->rebase();
    }
}

// ---- text --------------------------------------------------------------------------------

TextItem *MeasureGraphicsViewBusiness::textItemAt(const QPoint &viewPos) const
{
    for (QGraphicsItem *item : items(viewPos)) {
        auto *text = dynamic_cast<TextItem *>(item);
        if (!text && item->parentItem())
            text = dynamic_cast<TextItem *>(item->parentItem());
        if (text && text != m_editingText)
            return text;
    }
    return nullptr;
}

void MeasureGraphicsViewBusiness::endTextEditing()
{
    if (!m_editingText)
        return;
    TextItem *text = m_editingText;
    m_editingText = nullptr;
    text->setTextInteractionFlags(Qt::NoTextInteraction);
    text->clearFocus();
    emit sigLineDataChanged(text->lineData());
    recordStep();
}

void MeasureGraphicsViewBusiness::releaseText(const QPointF &p)
{
    if (m_editingText) {
        if (m_editingText->toPlainText().isEmpty()) {
            m_editingText->setPos(p);
            m_editingText->setFocus();
        } else {
            endTextEditing();
        }
        return;
    }
    const QPoint viewPos = mapFromScene(p);
    if (TextItem *hit = textItemAt(viewPos)) {
        m_scene->clearSelection();
        hit->setSelected(true);
        return;
    }
    TextItem *text = createTextItem();
    text->setPos(p);
    text->setDefaultTextColor(Qt::red);
    text->setTextInteractionFlags(Qt::TextEditorInteraction);
    // The placeholder is selected, so that the first key typed replaces it.
    QTextCursor cursor = text->textCursor();
    cursor.select(QTextCursor::Document);
    text->setTextCursor(cursor);
    text->setFocus();
    m_editingText = text;
}

void MeasureGraphicsViewBusiness::releaseScaleBar(const QPointF &p)
{
    auto *bar = static_cast<ScaleItem *>(createShape(ShapeTypes::Scale));
    setManualScaleBar(bar, true);
    bar->setFlag(QGraphicsItem::ItemIsMovable, true);
    bar->setFlag(QGraphicsItem::ItemIsSelectable, true);
    m_scene->clearSelection();
    bar->setSelected(true);
    bar->placeAt(bar->mapFromScene(p));
    emit sigScaleLengthChanged(QLineF(bar->point(0), bar->point(1)).length());
}

// ---- drawing -----------------------------------------------------------------------------

void MeasureGraphicsViewBusiness::startShape(int type, const QPointF &scenePos)
{
    if (type < ShapeTypes::StraightLine || type > ShapeTypes::Perpendicular4Points)
        return;
    GraphicsItemBase *shape = createShape(type);
    if (!shape)
        return;
    const QPointF p = shape->mapFromScene(scenePos);
    m_currentShape = shape;
    m_clickCount = 1;
    bool staysSelectable = false;
    switch (type) {
    case ShapeTypes::StraightLine:
    case ShapeTypes::Arrow: {
        auto *line = static_cast<StraightLineItem *>(shape);
        line->addPointF(p, -1);
        line->addPointF(p, -1);
        break;
    }
    case ShapeTypes::BrokenLine:
        // The clicked point and the point that follows the pointer.
        shape->addPointF(p);
        shape->addPointF(p);
        setSuppressSelectionSignal(true);
        break;
    case ShapeTypes::Polygon:
        m_polygonAppendOnMove = true;
        shape->addPointF(p);
        break;
    case ShapeTypes::Line3Point:
    case ShapeTypes::Ellipse3Point:
        shape->addPointF(p);
        shape->addPointF(p);
        staysSelectable = true;
        break;
    case ShapeTypes::DoubleCircle:
        static_cast<DoubleCircleItem *>(shape)->setFirstCircle(p, p);
        setSuppressSelectionSignal(true);
        staysSelectable = true;
        break;
    case ShapeTypes::Rec3Point: {
        auto *rect = static_cast<Line3PointItem *>(shape);
        rect->setPointAt(p, 1);
        rect->setPointAt(p, 2);
        break;
    }
    case ShapeTypes::Ellipse5Point:
        static_cast<Line3PointItem *>(shape)->setPointAt(p, 1);
        break;
    case ShapeTypes::Rect:
    case ShapeTypes::Ellipse:
    case ShapeTypes::CircleCenterRadius:
    case ShapeTypes::Circle2Point:
        shape->addPointF(p);
        break;
    default:
        // Arc, angles, parallels and perpendiculars: the clicked point and the point that
        // follows the pointer.
        shape->addPointF(p);
        shape->addPointF(p);
        break;
    }
    if (!staysSelectable)
        shape->setFlag(QGraphicsItem::ItemIsSelectable, false);
}

void MeasureGraphicsViewBusiness::completeShape(GraphicsItemBase *shape)
{
    shape->setFlag(QGraphicsItem::ItemIsMovable, true);
    shape->setFlag(QGraphicsItem::ItemIsSelectable, true);
    shape->setSelected(true);
    m_currentShape = nullptr;
    m_polygonAppendOnMove = false;
    setSuppressSelectionSignal(false);
}

void MeasureGraphicsViewBusiness::continueShape(const QPointF &scenePos)
{
    GraphicsItemBase *shape = m_currentShape;
    const QPointF p = shape->mapFromScene(scenePos);
    const int type = shape->type();
    const int count = shape->points().size();
    switch (type) {
    case ShapeTypes::StraightLine:
    case ShapeTypes::Arrow:
        if (count >= 2 && shape->point(0) != shape->point(1)) {
            const double length = QLineF(shape->point(0), shape->point(1)).length();
            completeShape(shape);
            if (type == ShapeTypes::StraightLine)
                emit sigScaleLengthChanged(length);
        }
        break;
    case ShapeTypes::BrokenLine:
    case ShapeTypes::Polygon:
    case ShapeTypes::ParallelAny:
        shape->addPointF(p);
        break;
    case ShapeTypes::Rect:
    case ShapeTypes::Ellipse: {
        shape->addPointF(p);
        const QRectF r = static_cast<RectItem *>(shape)->rectF();
        // A corner above or left of the first gives a negative side, which is just as complete.
        if (r.width() != 0.0 || r.height() != 0.0)
            completeShape(shape);
        break;
    }
    case ShapeTypes::Line3Point:
    case ShapeTypes::Ellipse3Point: {
        auto *line = static_cast<Line3PointItem *>(shape);
        line->addPointF(p);
        line->setPointFixed(true);
        if (line->points().size() > 2 && line->pointFixed())
            completeShape(shape);
        break;
    }
    case ShapeTypes::CircleCenterRadius:
    case ShapeTypes::Circle2Point:
        shape->addPointF(p);
        if (shape->points().size() == 2 && shape->point(0) != shape->point(1))
            completeShape(shape);
        break;
    case ShapeTypes::DoubleCircle: {
        auto *circles = static_cast<DoubleCircleItem *>(shape);
        ++m_clickCount;
        if (m_clickCount == 2) {
            circles->setFirstCircle(circles->centre1(), p);
        } else if (m_clickCount == 3) {
            circles->setSecondCircle(p, p);
        } else {
            circles->setSecondCircle(circles->centre2(), p);
            setSuppressSelectionSignal(false);
            m_currentShape = nullptr;
        }
        break;
    }
    case ShapeTypes::Rec3Point: {
        auto *rect = static_cast<Line3PointItem *>(shape);
        if (!rect->pointFixed()) {
            rect->setPointAt(p, 2);
            rect->setPointFixed(true);
        } else if (count >= 2) {
            rect->setPointAt(projectOntoPerpendicular(rect->point(0), rect->point(1), p), 3);
            completeShape(shape);
        }
        break;
    }
    case ShapeTypes::Ellipse5Point: {
        const int k = qMin(m_clickCount + 1, 5);
        static_cast<Line3PointItem *>(shape)->setPointAt(p, k);
        m_clickCount = k;
        if (k == 5)
            completeShape(shape);
        break;
    }
    default: {
        const int needed = completingPointCount(type);
        if (needed > 0 && count >= needed) {
            shape->movePoint(p, -1);
            completeShape(shape);
        } else {
            shape->addPointF(p);
        }
        break;
    }
    }
}

void MeasureGraphicsViewBusiness::moveWithTool(const QPointF &scenePos)
{
    GraphicsItemBase *shape = m_currentShape;
    const QPointF p = shape->mapFromScene(scenePos);
    switch (shape->type()) {
    case ShapeTypes::StraightLine:
    case ShapeTypes::Arrow:
        static_cast<StraightLineItem *>(shape)->addPointF(p, -1);
        break;
    case ShapeTypes::Line3Point:
    case ShapeTypes::Ellipse3Point:
    case ShapeTypes::CircleCenterRadius:
    case ShapeTypes::Circle2Point:
    case ShapeTypes::Rect:
    case ShapeTypes::Ellipse:
        // These replace their moving point (the second corner for rectangles).
        shape->addPointF(p);
        break;
    case ShapeTypes::Polygon:
        if (m_polygonAppendOnMove) {
            shape->addPointF(p);
            m_polygonAppendOnMove = false;
        } else {
            shape->movePoint(p, -1);
        }
        break;
    case ShapeTypes::Rec3Point: {
        auto *rect = static_cast<Line3PointItem *>(shape);
        rect->setPointAt(p, rect->pointFixed() ? 3 : 2);
        break;
    }
    case ShapeTypes::Ellipse5Point:
        if (m_clickCount < 5)
            static_cast<Line3PointItem *>(shape)->setPointAt(p, m_clickCount + 1);
        break;
    case ShapeTypes::DoubleCircle: {
        auto *circles = static_cast<DoubleCircleItem *>(shape);
        if (m_clickCount == 1)
            circles->setFirstCircle(circles->centre1(), p);
        else if (m_clickCount == 2)
            circles->setSecondCircle(p, p);
        else
            circles->setSecondCircle(circles->centre2(), p);
        m_scene->update();
        break;
    }
    default:
        shape->movePoint(p, -1);
        break;
    }
}

// ---- mouse -------------------------------------------------------------------------------

bool MeasureGraphicsViewBusiness::grabControlPoint(QMouseEvent *event)
{
    if (!m_scene)
        return false;
    const QPointF scenePos = mapToScene(event->pos());
    const auto reportsPoint = [&](GraphicsItemBase *shape, const QPointF &at) {
        shape->updateHoverState(shape->mapFromScene(at));
        return shape->hoverIndex() > 0;
    };
    const auto candidate = [](QGraphicsItem *item) -> GraphicsItemBase * {
        auto *shape = dynamic_cast<GraphicsItemBase *>(item);
        return (shape && shape->type() != ShapeTypes::Label && isLive(shape)) ? shape : nullptr;
    };

    GraphicsItemBase *grabbed = nullptr;
    const QList<QGraphicsItem *> hits = items(event->pos());
    for (QGraphicsItem *item : hits) {
        GraphicsItemBase *shape = candidate(item);
        if (shape && shape->isSelected() && reportsPoint(shape, scenePos)) {
            grabbed = shape;
            break;
        }
    }
    if (!grabbed) {
        for (QGraphicsItem *item : hits) {
            GraphicsItemBase *shape = candidate(item);
            if (shape && !shape->isSelected() && reportsPoint(shape, scenePos)) {
                m_scene->clearSelection();
                shape->setSelected(true);
                grabbed = shape;
                break;
            }
        }
    }
    if (!grabbed) {
        for (QGraphicsItem *item : m_scene->selectedItems()) {
            GraphicsItemBase *shape = candidate(item);
            if (!shape)
                continue;
            const double radius = shape->attribute() ? shape->attribute()->controlPoint.radius : 0;
            for (const QPointF &point : shape->scenePoints()) {
                if (QLineF(point, scenePos).length() <= radius && reportsPoint(shape, point)) {
                    grabbed = shape;
                    break;
                }
            }
            if (grabbed)
                break;
        }
    }
    if (!grabbed)
        return false;
    sendShapeMouseEvent(grabbed, QEvent::GraphicsSceneMousePress, scenePos);
    m_controlPointDrag = true;
    m_dragShape = grabbed;
    m_mousePressed = true;
    event->accept();
    return true;
}

void MeasureGraphicsViewBusiness::pressWithTool(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)
        return;
    const QPointF p = mapToScene(event->pos());
    if (event->button() == Qt::RightButton) {
        if (m_currentShape) {
            const int type = m_currentShape->type();
            if (type == ShapeTypes::BrokenLine || type == ShapeTypes::Polygon ||
                type == ShapeTypes::ParallelAny) {
                m_mousePressed = false;
                return;
            }
            removeLine(m_currentShape);
            m_currentShape = nullptr;
        } else {
            disarm();
            emitToolDefaults(false);
            emit sigDrawingFinished();
            return;
        }
        m_mousePressed = true;
        return;
    }

    const int type = LineDataRegistry::instance()->toolType();
    if (type == ShapeTypes::Text) {
        if (TextItem *hit = textItemAt(event->pos())) {
            m_scene->clearSelection();
            hit->setSelected(true);
            m_mousePressed = true;
            return;
        }
    } else {
        m_scene->clearSelection();
    }
    if (!m_currentShape)
        startShape(type, p);
    else
        continueShape(p);
    m_mousePressed = true;
}

void MeasureGraphicsViewBusiness::mousePressEvent(QMouseEvent *event)
{
    m_gestureActive = true;
    m_history->breakMerge();
    if (!drawToolActive() && !panningMode() && event->button() == Qt::LeftButton &&
        grabControlPoint(event))
        return;

    static bool inPress = false;
    if (inPress)
        return;
    const QScopedValueRollback<bool> guard(inPress, true);
    if (!m_scene)
        return;
    if (m_currentShape && !(isLive(m_currentShape) && m_currentShape->scene() == m_scene))
        m_currentShape = nullptr;
    if (panningMode() || !drawToolActive()) {
        MeasureGraphicsView::mousePressEvent(event);
        return;
    }
    pressWithTool(event);
}

void MeasureGraphicsViewBusiness::mouseMoveEvent(QMouseEvent *event)
{
    if (panningMode()) {
        MeasureGraphicsView::mouseMoveEvent(event);
        return;
    }
    const QPointF p = mapToScene(event->pos());
    if (m_controlPointDrag) {
        if (isLive(m_dragShape) && m_dragShape->scene())
            m_dragShape->dragTo(p);
        event->accept();
        return;
    }
    const int type = LineDataRegistry::instance()->toolType();
    if (drawToolActive() && type == ShapeTypes::Text && (event->buttons() & Qt::LeftButton) &&
        m_scene) {
        for (QGraphicsItem *item : m_scene->selectedItems()) {
            if (auto *text = dynamic_cast<TextItem *>(item)) {
                text->setPos(p);
                break;
            }
        }
    }
    if (drawToolActive() && !m_deleting && m_currentShape) {
        if (isLive(m_currentShape) && m_currentShape->scene() == m_scene)
            moveWithTool(p);
    }
    MeasureGraphicsView::mouseMoveEvent(event);

    // Hover over the control points of selected shapes, after the view's own cursor choice.
    if (!drawToolActive() && !m_mousePressed && m_scene && event->buttons() == Qt::NoButton) {
        for (QGraphicsItem *item : m_scene->selectedItems()) {
            auto *shape = dynamic_cast<GraphicsItemBase *>(item);
            if (!shape || shape->type() == ShapeTypes::Label || !isLive(shape))
                continue;
            const double radius = shape->attribute() ? shape->attribute()->controlPoint.radius : 0;
            const QList<QPointF> points = shape->scenePoints();
            for (int k = 0; k < points.size(); ++k) {
                if (QLineF(points[k], p).length() <= radius) {
                    // The cursor the shape gives the point (only a rectangle's handles resize in
                    // one direction).
                    shape->updateHoverState(shape->mapFromScene(p));
                    viewport()->setCursor(shape->cursor());
                    return;
                }
            }
        }
    }
}

void MeasureGraphicsViewBusiness::releaseRightButton()
{
    GraphicsItemBase *shape = m_currentShape;
    QList<QPointF> &points = shape->points();
    switch (shape->type()) {
    case ShapeTypes::Polygon:
        if (!points.isEmpty())
            points.removeLast();
        if (points.size() >= 3)
            break;
        removeLine(shape);
        return;
    case ShapeTypes::BrokenLine:
        if (points.size() > 2) {
            points.removeLast();
            shape->updateLabel();
            break;
        }
        points.clear();
        removeLine(shape);
        return;
    case ShapeTypes::ParallelAny:
        // The base line and one parallel already measure a distance (and the table showed it):
        // kept, as a polyline of two points is.
        if (points.size() >= 4) {
            points.removeLast();
            break;
        }
        removeLine(shape);
        return;
    default:
        removeLine(shape);
        return;
    }
    shape->updateShape();
    completeShape(shape);
    onShapeChanged(shape);
}

void MeasureGraphicsViewBusiness::mouseReleaseEvent(QMouseEvent *event)
{
    // One gesture, one step: a drag is recorded once, when the last button comes up.
    const auto endOfGesture = qScopeGuard([this, event] {
        if (event->buttons() == Qt::NoButton)
            m_gestureActive = false;
        recordStep();
    });
    if (m_controlPointDrag) {
        GraphicsItemBase *shape = m_dragShape;
        m_controlPointDrag = false;
        m_dragShape = nullptr;
        m_mousePressed = false;
        if (isLive(shape) && shape->scene())
            sendShapeMouseEvent(shape, QEvent::GraphicsSceneMouseRelease, mapToScene(event->pos()));
        MeasureGraphicsView::mouseReleaseEvent(event);
        return;
    }

    static bool inRelease = false;
    if (inRelease)
        return;
    const QScopedValueRollback<bool> guard(inRelease, true);
    if (!m_scene)
        return;
    if (panningMode() || !drawToolActive()) {
        MeasureGraphicsView::mouseReleaseEvent(event);
    } else {
        event->accept();
        const QPointF p = mapToScene(event->pos());
        const int type = LineDataRegistry::instance()->toolType();
        if (m_currentShape && !(isLive(m_currentShape) && m_currentShape->scene() == m_scene))
            m_currentShape = nullptr;
        if (event->button() == Qt::RightButton && m_currentShape)
            releaseRightButton();
        else if (event->button() == Qt::LeftButton && !m_currentShape && type == ShapeTypes::Text)
            releaseText(p);
        else if (event->button() == Qt::LeftButton && !m_currentShape && type == ShapeTypes::Scale)
            releaseScaleBar(p);
    }
    m_mousePressed = false;
    if (!m_deleting && m_currentShape && !(isLive(m_currentShape) && m_currentShape->scene()))
        m_currentShape = nullptr;
    processPendingDeletions();
}

void MeasureGraphicsViewBusiness::keyPressEvent(QKeyEvent *event)
{
    // A text being typed takes every key.
    if (!m_scene || m_scene->focusItem()) {
        MeasureGraphicsView::keyPressEvent(event);
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (event->key() == Qt::Key_Escape && drawToolActive() && !m_gestureActive) {
        // Escape means what a right click means: the shape being drawn is finished (polyline,
        // polygon, free parallels) or given up; with none, drawing ends.
        if (m_currentShape && !(isLive(m_currentShape) && m_currentShape->scene() == m_scene))
            m_currentShape = nullptr;
        if (!m_currentShape) {
            disarm();
            emitToolDefaults(false);
            emit sigDrawingFinished();
        } else {
            releaseRightButton();
            m_currentShape = nullptr;
            m_polygonAppendOnMove = false;
            setSuppressSelectionSignal(false);
            processPendingDeletions();
            recordStep();
        }
        event->accept();
    } else if (event->matches(QKeySequence::Delete) || (ctrl && event->key() == Qt::Key_D)) {
        deleteSelected();
        event->accept();
    } else if (ctrl && event->key() == Qt::Key_A) {
        for (QGraphicsItem *item : m_scene->items()) {
            if (item->flags() & QGraphicsItem::ItemIsSelectable)
                item->setSelected(true);
        }
        event->accept();
    } else {
        MeasureGraphicsView::keyPressEvent(event);
    }
}
