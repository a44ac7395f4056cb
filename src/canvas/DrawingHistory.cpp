// DrawingHistory.cpp: the steps of the drawing's undo stack.
#include "canvas/DrawingHistory.h"

#include "shapes/ShapeTypes.h"

#include <QSet>
#include <QStringList>
#include <QUndoStack>

#include <cstring>

namespace {

bool samePoint(const QPointF &a, const QPointF &b)
{
    // QPointF's own == is fuzzy; a step must see every real move.
    return a.x() == b.x() && a.y() == b.y();
}

bool samePoints(const QList<QPointF> &a, const QList<QPointF> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (!samePoint(a[i], b[i]))
            return false;
    }
    return true;
}

// One bit per style field that differs; consecutive edits of the same fields merge.
quint32 styleDifference(const Attribute &a, const Attribute &b)
{
    const bool differs[] = {
        a.controlPoint.radius != b.controlPoint.radius,
        a.controlPoint.color != b.controlPoint.color,
        a.controlPoint.borderWidth != b.controlPoint.borderWidth,
        a.controlPoint.borderColor != b.controlPoint.borderColor,
        a.imgElement.width != b.imgElement.width,
        a.imgElement.color != b.imgElement.color,
        a.imgElement.lineStyle != b.imgElement.lineStyle,
        a.imgElement.fillColor != b.imgElement.fillColor,
        a.textLabel.fontFamily != b.textLabel.fontFamily,
        a.textLabel.fontSize != b.textLabel.fontSize,
        a.textLabel.bold != b.textLabel.bold,
        a.textLabel.italic != b.textLabel.italic,
        a.textLabel.underline != b.textLabel.underline,
        a.textLabel.strikeOut != b.textLabel.strikeOut,
        a.textLabel.spacing != b.textLabel.spacing,
        a.textLabel.color != b.textLabel.color,
        a.textLabel.borderColor != b.textLabel.borderColor,
        a.textLabel.backgroundColor != b.textLabel.backgroundColor,
    };
    quint32 mask = 0;
    for (std::size_t i = 0; i < sizeof(differs) / sizeof(differs[0]); ++i) {
        if (differs[i])
            mask |= 1u << i;
    }
    return mask;
}

bool sameState(const std::optional<DrawingItemState> &a, const std::optional<DrawingItemState> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || a->sameContent(*b);
}

// The merge key of a style edit: the items and the fields it changed.
QString styleKey(const QList<DrawingItemChange> &changes)
{
    QStringList parts;
    for (const DrawingItemChange &change : changes) {
        if (!change.before || !change.after || !change.after->differsInStyleOnly(*change.before))
            return QString();
        parts << change.id + QLatin1Char(':') +
                     QString::number(
                         styleDifference(change.before->attribute, change.after->attribute));
    }
    parts.sort();
    return parts.join(QLatin1Char(';'));
}

} // namespace

bool DrawingItemState::sameContent(const DrawingItemState &other) const
{
    return id == other.id && type == other.type &&
           styleDifference(attribute, other.attribute) == 0 && samePoints(points, other.points) &&
           samePoint(pos, other.pos) && pointFixed == other.pointFixed &&
           scaleLength == other.scaleLength && manualScale == other.manualScale &&
           text == other.text && font == other.font && textWidth == other.textWidth &&
           textColor == other.textColor;
}

bool DrawingItemState::differsInStyleOnly(const DrawingItemState &other) const
{
    DrawingItemState same = other;
    same.attribute = attribute;
    // A text item's font and colour follow its style.
    same.font = font;
    same.textColor = textColor;
    return !sameContent(other) && sameContent(same);
}

bool DrawingItemState::differsInTextOnly(const DrawingItemState &other) const
{
    DrawingItemState same = other;
    same.text = text;
    return !sameContent(other) && sameContent(same);
}

// One step: the items it changed with their states on both sides.
class DrawingHistory::Step : public QUndoCommand
{
public:
    static constexpr int kStyleEditId = 1;

    Step(DrawingHistory *history, QList<DrawingItemChange> changes, const QString &text,
         QString mergeKey)
        : m_history(history)
        , m_changes(std::move(changes))
        , m_mergeKey(std::move(mergeKey))
    {
        setText(text);
    }

    void undo() override { m_history->play(m_changes, false); }
    void redo() override
    {
        // The first redo is the push: the change is already on the canvas.
        if (m_pushed)
            m_history->play(m_changes, true);
        m_pushed = true;
    }
    int id() const override { return m_mergeKey.isEmpty() ? -1 : kStyleEditId; }
    bool mergeWith(const QUndoCommand *other) override
    {
        const auto *next = static_cast<const Step *>(other);
        if (next->m_mergeKey != m_mergeKey)
            return false;
        // Same items in the same order: each keeps its first state and takes the newest.
        for (int i = 0; i < m_changes.size(); ++i)
            m_changes[i].after = next->m_changes.value(i).after;
        bool nothingLeft = true;
        for (const DrawingItemChange &change : qAsConst(m_changes))
            nothingLeft = nothingLeft && sameState(change.before, change.after);
        // An edit taken back by the next one leaves no step.
        setObsolete(nothingLeft);
        return true;
    }

private:
    DrawingHistory *m_history;
    QList<DrawingItemChange> m_changes;
    QString m_mergeKey;
    bool m_pushed = false;
};

DrawingHistory::DrawingHistory(Capture capture, Apply apply, QObject *parent)
    : QObject(parent)
    , m_capture(std::move(capture))
    , m_apply(std::move(apply))
    , m_stack(new QUndoStack(this))
{
    m_stack->setUndoLimit(kUndoLimit);
}

DrawingHistory::~DrawingHistory()
{
    // The steps call back into this object; they go before its members do. Emptying the stack
    // announces a change of the saved state, which nobody may hear from a history being
    // destroyed (its listener, the window, may be half gone itself).
    m_stack->blockSignals(true);
    delete m_stack;
    m_stack = nullptr;
}

bool DrawingHistory::record(const QString &text, bool styleEdit)
{
    if (m_applying)
        return false;
    DrawingSnapshot now = m_capture();
    if (m_suspended) {
        m_baseline = std::move(now);
        return false;
    }
    QStringList ids = m_baseline.keys();
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (!m_baseline.contains(it.key()))
            ids << it.key();
    }
    ids.sort(); // a stable order, so that merged steps line up item by item
    QList<DrawingItemChange> changes;
    for (const QString &id : qAsConst(ids)) {
        DrawingItemChange change{id, std::nullopt, std::nullopt};
        if (m_baseline.contains(id))
            change.before = m_baseline.value(id);
        if (now.contains(id))
            change.after = now.value(id);
        if (!sameState(change.before, change.after))
            changes.append(change);
    }
    m_baseline = std::move(now);
    if (changes.isEmpty())
        return false;
    QString mergeKey;
    if (styleEdit) {
        mergeKey = styleKey(changes);
        if (!mergeKey.isEmpty())
            mergeKey = QString::number(m_mergeSession) + QLatin1Char('/') + mergeKey;
    }
    m_stack->push(new Step(this, changes, text.isEmpty() ? describe(changes) : text, mergeKey));
    return true;
}

void DrawingHistory::rebase()
{
    if (!m_applying)
        m_baseline = m_capture();
}

void DrawingHistory::clear()
{
    m_stack->clear();
    ++m_mergeSession;
    m_baseline.clear();
}

void DrawingHistory::play(const QList<DrawingItemChange> &changes, bool after)
{
    m_applying = true;
    m_apply(changes, after);
    m_applying = false;
    m_baseline = m_capture();
    ++m_mergeSession;
}

QString DrawingHistory::describe(const QList<DrawingItemChange> &changes)
{
    int added = 0;
    int removed = 0;
    int styled = 0;
    int texts = 0;
    for (const DrawingItemChange &change : changes) {
        if (!change.before)
            ++added;
        else if (!change.after)
            ++removed;
        else if (change.after->differsInStyleOnly(*change.before))
            ++styled;
        else if (change.after->differsInTextOnly(*change.before))
            ++texts;
    }
    const int count = changes.size();
    const auto typeName = [&changes](bool after) {
        const DrawingItemChange &only = changes.first();
        return ShapeTypes::displayName(after ? only.after->type : only.before->type);
    };
    if (added == count)
        return count == 1 ? tr("添加%1").arg(typeName(true)) : tr("添加 %1 个图形").arg(count);
    if (removed == count)
        return count == 1 ? tr("删除%1").arg(typeName(false)) : tr("删除 %1 个图形").arg(count);
    if (styled == count)
        return tr("修改样式");
    if (texts == count)
        return tr("编辑文本");
    return count == 1 ? tr("移动或调整%1").arg(typeName(true)) : tr("移动 %1 个图形").arg(count);
}
