// MeasureGraphicsViewBusinessHistory.cpp: undo and redo of the drawing: what the history keeps
// of each item, and putting items back into a recorded state.
#include "canvas/GraphicsScene.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "shapes/LabelItem.h"
#include "shapes/Line3PointItem.h"
#include "shapes/ShapeTypes.h"
#include "shapes/StraightLineItem.h"
#include "shapes/TextItem.h"

#include <QUndoStack>

#include <algorithm>

namespace {

// The order in which recorded items are rebuilt: records into the list from the front, items
// into the scene from the bottom.
bool byRegistryIndex(const DrawingItemState &a, const DrawingItemState &b)
{
    return a.registryIndex < b.registryIndex;
}

bool fromTheBottom(const DrawingItemState &a, const DrawingItemState &b)
{
    return a.stackIndex > b.stackIndex;
}

} // namespace

void MeasureGraphicsViewBusiness::drawingForgotten()
{
    if (m_history)
        m_history->clear();
}

void MeasureGraphicsViewBusiness::recordStep(bool styleEdit)
{
    if (m_history && !m_deleting)
        m_history->record(QString(), styleEdit);
}

bool MeasureGraphicsViewBusiness::stateOf(QGraphicsItem *item, DrawingItemState *state) const
{
    if (auto *shape = dynamic_cast<GraphicsItemBase *>(item)) {
        if (shape->type() == ShapeTypes::Label || shape == m_currentShape || !isLive(shape))
            return false;
        const LineDataBase::Ptr record = shape->lineData();
        // The calibration ruler is a tool of the moment, not part of the drawing.
        if (!record || !isAnnounced(record->id) || itemByName(record->id) != shape)
            return false;
        state->id = record->id;
        state->type = shape->toolType();
        state->attribute = record->attribute ? *record->attribute : Attribute();
        state->points = shape->points();
        state->pos = shape->pos();
        if (auto *line3 = dynamic_cast<Line3PointItem *>(shape))
            state->pointFixed = line3->pointFixed();
        if (auto *bar = dynamic_cast<ScaleItem *>(shape)) {
            state->scaleLength = bar->scaleLength();
            state->manualScale = isManualScaleBar(bar);
        }
        return true;
    }
    auto *text = dynamic_cast<TextItem *>(item);
    // A text being typed becomes part of the drawing when it is committed.
    if (!text || text == m_editingText || !text->lineData())
        return false;
    const LineDataBase::Ptr record = text->lineData();
    if (textItemByName(record->id) != text)
        return false;
    state->id = record->id;
    state->type = ShapeTypes::Text;
    state->attribute = record->attribute ? *record->attribute : Attribute();
    state->pos = text->pos();
    state->text = text->toPlainText();
    state->font = text->font();
    state->textWidth = text->textWidth();
    state->textColor = text->defaultTextColor();
    return true;
}

DrawingSnapshot MeasureGraphicsViewBusiness::captureDrawing() const
{
    DrawingSnapshot snapshot;
    if (!m_scene)
        return snapshot;
    const QList<LineDataBase::Ptr> records = LineDataRegistry::instance()->lines();
    QHash<QString, int> registryIndex;
    for (int i = 0; i < records.size(); ++i)
        registryIndex.insert(records[i]->id, i);
    QString above;
    int stackIndex = 0;
    // Topmost first: each item learns which one lies directly above it.
    for (QGraphicsItem *item : m_scene->items(Qt::DescendingOrder)) {
        DrawingItemState state;
        if (item->parentItem() || !stateOf(item, &state))
            continue;
        state.aboveId = above;
        state.stackIndex = stackIndex++;
        state.registryIndex = registryIndex.value(state.id, records.size());
        above = state.id;
        snapshot.insert(state.id, state);
    }
    return snapshot;
}

void MeasureGraphicsViewBusiness::putShapeState(GraphicsItemBase *shape,
                                                const DrawingItemState &state)
{
    const LineDataBase::Ptr record = shape->lineData();
    // The same style object stays shared with the label, the table and the attribute editor.
    if (record->attribute)
        *record->attribute = state.attribute;
    else
        record->attribute = std::make_shared<Attribute>(state.attribute);
    shape->points() = state.points;
    if (auto *line3 = dynamic_cast<Line3PointItem *>(shape))
        line3->setPointFixed(state.pointFixed);
    if (auto *bar = dynamic_cast<ScaleItem *>(shape)) {
        setManualScaleBar(bar, state.manualScale);
        bar->setScaleLength(state.scaleLength);
    }
    shape->setPos(state.pos);
    if (LabelItem *label = shape->labelItem())
        label->setAttribute(record->attribute);
    // Labels are measured again, in the calibration of now.
    shape->updateShape();
    shape->update();
    emit sigLineDataChanged(record);
}

void MeasureGraphicsViewBusiness::putTextState(TextItem *text, const DrawingItemState &state)
{
    const LineDataBase::Ptr record = text->lineData();
    if (record->attribute)
        *record->attribute = state.attribute;
    else
        record->attribute = std::make_shared<Attribute>(state.attribute);
    if (text->toPlainText() != state.text)
        text->setPlainText(state.text);
    text->setFont(state.font);
    text->setTextWidth(state.textWidth);
    text->setDefaultTextColor(state.textColor);
    text->setPos(state.pos);
    emit sigLineDataChanged(record);
}

QGraphicsItem *MeasureGraphicsViewBusiness::rebuildItem(const DrawingItemState &state,
                                                        const LineDataBase::Ptr &record)
{
    if (state.type == ShapeTypes::Text) {
        auto *text = new TextItem(record);
        addItem(text);
        text->setTextInteractionFlags(Qt::NoTextInteraction);
        putTextState(text, state);
        emit sigAddLine(record);
        return text;
    }
    GraphicsItemBase *shape = buildShape(state.type, record);
    if (!shape)
        return nullptr;
    addItem(shape);
    shape->setFlag(QGraphicsItem::ItemIsSelectable, true);
    shape->setFlag(QGraphicsItem::ItemIsMovable, true);
    shape->setAcceptHoverEvents(true);
    if (!shape->labelItem()) {
        shape->points() = state.points;
        shape->setPos(state.pos);
        const QRectF bounds = shape->boundingRect();
        shape->createLabel(QPointF(bounds.center().x(), bounds.top() - 20));
    }
    putShapeState(shape, state);
    if (state.type == ShapeTypes::Scale && !scaleBarShown() && !state.manualScale)
        shape->hide();
    emit sigAddLine(record);
    return shape;
}

void MeasureGraphicsViewBusiness::applyHistory(const QList<DrawingItemChange> &changes, bool after)
{
    if (!m_scene)
        return;
    QList<DrawingItemState> rebuilt;
    QList<QGraphicsItem *> touched;
    for (const DrawingItemChange &change : changes) {
        const std::optional<DrawingItemState> &target = after ? change.after : change.before;
        QGraphicsItem *item = graphicsItemByName(change.id);
        if (item && (!target || item->type() != target->type)) {
            removeLineById(change.id);
            item = nullptr;
        }
        if (!target)
            continue;
        if (!item) {
            rebuilt.append(*target);
        } else if (auto *text = dynamic_cast<TextItem *>(item)) {
            putTextState(text, *target);
            touched.append(text);
        } else if (auto *shape = dynamic_cast<GraphicsItemBase *>(item)) {
            putShapeState(shape, *target);
            touched.append(shape);
        }
    }

    // Records go back to their places in the list first, so that the table finds each row's
    // place when the item is announced.
    std::sort(rebuilt.begin(), rebuilt.end(), byRegistryIndex);
    QHash<QString, LineDataBase::Ptr> records;
    for (const DrawingItemState &state : qAsConst(rebuilt)) {
        auto record = std::make_shared<BrokenLineDataItem>();
        record->id = state.id;
        record->typeNumber = state.type;
        record->attribute = std::make_shared<Attribute>(state.attribute);
        record->points = state.points;
        LineDataRegistry::instance()->insertLine(state.registryIndex, record);
        records.insert(state.id, record);
    }
    // Items enter the scene from the bottom up, each on top of the one before; then each goes
    // back under the item that lay above it.
    std::sort(rebuilt.begin(), rebuilt.end(), fromTheBottom);
    QHash<QString, QGraphicsItem *> items;
    for (const DrawingItemState &state : qAsConst(rebuilt)) {
        if (QGraphicsItem *item = rebuildItem(state, records.value(state.id))) {
            items.insert(state.id, item);
            touched.append(item);
        } else {
            LineDataRegistry::instance()->removeLine(state.id);
        }
    }
    for (auto it = rebuilt.crbegin(); it != rebuilt.crend(); ++it) {
        QGraphicsItem *item = items.value(it->id);
        QGraphicsItem *above = it->aboveId.isEmpty() ? nullptr : graphicsItemByName(it->aboveId);
        if (item && above && above != item)
            item->stackBefore(above);
    }

    // What the step changed is selected, so that the user sees it (and its style in the editor).
    m_scene->clearSelection();
    for (QGraphicsItem *item : qAsConst(touched)) {
        if (item->flags() & QGraphicsItem::ItemIsSelectable)
            item->setSelected(true);
    }
    onSelectionChanged();
}

bool MeasureGraphicsViewBusiness::discardUnfinishedShape()
{
    if (!isLive(m_currentShape) || m_currentShape->scene() != m_scene) {
        m_currentShape = nullptr;
        return false;
    }
    removeLine(m_currentShape);
    m_currentShape = nullptr;
    m_polygonAppendOnMove = false;
    setSuppressSelectionSignal(false);
    return true;
}

void MeasureGraphicsViewBusiness::undo()
{
    if (m_gestureActive || m_controlPointDrag || m_deleting)
        return;
    // A shape being drawn is the newest change: taking it back is the step.
    if (discardUnfinishedShape())
        return;
    endTextEditing();
    m_history->stack()->undo();
}

void MeasureGraphicsViewBusiness::redo()
{
    if (m_gestureActive || m_controlPointDrag || m_deleting)
        return;
    discardUnfinishedShape();
    endTextEditing();
    m_history->stack()->redo();
}
