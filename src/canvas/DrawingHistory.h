// DrawingHistory.h: undo and redo for the canvas drawing: what an item looks like at one moment,
// the steps between two such moments, and the undo stack that holds them.
#pragma once

#include "model/Attribute.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QUndoCommand>

#include <functional>
#include <optional>

class QUndoStack;

// Everything the drawing keeps of one shape or text item, found again by its record id. Items are
// never held by pointer here: removed items are deleted later by a timer, and an undone deletion
// builds a new item around the same id.
struct DrawingItemState
{
    QString id;
    int type = 0; // shape type number; 31 for text
    Attribute attribute;
    QList<QPointF> points; // the record's points, item coordinates
    QPointF pos;
    bool pointFixed = false;  // three-point family
    int scaleLength = 0;      // scale bar
    bool manualScale = false; // a scale bar placed by hand
    QString text;             // text item
    QFont font;               // text item
    double textWidth = 0.0;   // text item
    QColor textColor;         // text item
    // Where the item stood; used to put a rebuilt item back, never compared.
    QString aboveId;       // the drawing item stacked directly above it (empty: topmost)
    int stackIndex = 0;    // its place counted from the top (0: topmost)
    int registryIndex = 0; // its record's position in the record list

    // Exact comparison of what the user sees and what is saved (the placement fields aside).
    bool sameContent(const DrawingItemState &other) const;
    // Whether only the style differs / only the text differs from `other`.
    bool differsInStyleOnly(const DrawingItemState &other) const;
    bool differsInTextOnly(const DrawingItemState &other) const;
};

// The drawing at one moment, by record id.
using DrawingSnapshot = QHash<QString, DrawingItemState>;

// One item's part of a step: its state before and after (none: the item did not exist).
struct DrawingItemChange
{
    QString id;
    std::optional<DrawingItemState> before;
    std::optional<DrawingItemState> after;
};

// Records the user's steps on a drawing into a QUndoStack and plays them back. After every user
// gesture the canvas asks record(): the drawing is compared with the state after the previous
// step, and the items that differ become one undo step. Undo and redo hand the recorded states
// back to the canvas through the apply function. GUI thread.
class DrawingHistory : public QObject
{
    Q_OBJECT

public:
    // The drawing as it is now.
    using Capture = std::function<DrawingSnapshot()>;
    // Puts each item of `changes` into its state before (undo) or after (redo) the step.
    using Apply = std::function<void(const QList<DrawingItemChange> &changes, bool after)>;

    // Steps kept; the oldest go beyond this, so memory stays bounded however long a session runs.
    static constexpr int kUndoLimit = 500;

    DrawingHistory(Capture capture, Apply apply, QObject *parent = nullptr);
    ~DrawingHistory() override;

    QUndoStack *stack() const { return m_stack; }

    // Compares the drawing with the state after the last step and pushes the difference as one
    // step. `text` names the step (empty: a name is derived from what changed). Consecutive
    // style edits of the same items and properties merge into one step until breakMerge().
    // Returns whether a step was pushed or merged.
    bool record(const QString &text = QString(), bool styleEdit = false);
    // Takes the drawing as it is now as the state after the last step, without a step (changes
    // that are not the user's own, such as a scale bar the settings asked for).
    void rebase();
    // Forgets every step and the drawing (a new picture, a cleared scene); rebase() takes the
    // drawing that follows.
    void clear();
    // The next style edit starts a new step.
    void breakMerge() { ++m_mergeSession; }
    // True while a step is being undone or redone.
    bool isApplying() const { return m_applying; }
    // While suspended, record() only rebases (used while a file's drawing is being rebuilt).
    void setSuspended(bool suspended) { m_suspended = suspended; }
    bool isSuspended() const { return m_suspended; }

    const DrawingSnapshot &baseline() const { return m_baseline; }

private:
    class Step;
    friend class Step;
    void play(const QList<DrawingItemChange> &changes, bool after);
    static QString describe(const QList<DrawingItemChange> &changes);

    Capture m_capture;
    Apply m_apply;
    QUndoStack *m_stack = nullptr;
    DrawingSnapshot m_baseline;
    int m_mergeSession = 0;
    bool m_applying = false;
    bool m_suspended = false;
};
