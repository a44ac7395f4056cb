// MeasureGraphicsViewBusiness.h: the canvas view that draws measurement shapes with the mouse,
// keeps their records registered, deletes them safely and holds the tools' default styles.
#pragma once

#include "canvas/DrawingHistory.h"
#include "canvas/MeasureGraphicsView.h"
#include "canvas/ToolDefaults.h"
#include "model/LineDataBase.h"
#include "shapes/TextItem.h"

#include <QList>
#include <QPointer>
#include <QSet>

class StraightLineItem;

// A tool is armed by writing its type into the LineDataRegistry and calling
// setDrawToolActive(true); clicks then create and complete shapes of that type. Every shape's
// record is announced with sigAddLine, its changes with sigLineDataChanged and its removal with
// sigDelLine. Shapes are removed from the scene at once and deleted 10 ms later, so no handler
// still on the stack touches a deleted item. GUI thread.
class MeasureGraphicsViewBusiness : public MeasureGraphicsView
{
    Q_OBJECT

public:
    explicit MeasureGraphicsViewBusiness(QWidget *parent = nullptr);
    ~MeasureGraphicsViewBusiness() override;

    // A shape of a drawing tool (10 to 30, 32) around `record`; a null record gets a new one with
    // the tool's defaults. The shape is registered, added to the scene and announced. Null for
    // other types.
    GraphicsItemBase *createShape(int toolType, LineDataBase::Ptr record = nullptr);
    // A text item (tool 31) around `record`, registered, added and announced like a shape.
    TextItem *createTextItem(LineDataBase::Ptr record = nullptr);
    // A horizontal straight line of `length` pixels centred on `centre`, with its end guides,
    // selected: the ruler of the calibration. Unless `announce`, the line is a tool of the
    // moment rather than a measurement: it gets no record in the registry, its creation, changes
    // and removal are not announced (so no table row, no unsaved change), it is not saved with
    // the drawing, and only sigScaleLengthChanged reports its changes.
    StraightLineItem *createRulerLine(const QPointF &centre, double length, bool announce = true);
    // Whether the record belongs to a shape that is announced (every shape but an unannounced
    // ruler line).
    bool isAnnounced(const QString &id) const { return !m_unannounced.contains(id); }

    // Asks, then removes the selected shapes (text items stay).
    void deleteSelected();
    // Removes a text item as removeLine removes a shape: its record leaves the registry,
    // sigDelLine announces it, and the item is taken from the scene at once and deleted 10 ms
    // later. Asked for during another removal it waits for that one to finish.
    void removeTextItem(TextItem *text);
    // Removes the shape or text item of a record id (removeLine or removeTextItem); false when
    // the canvas holds no item with that id.
    bool removeLineById(const QString &id);
    // Clears the selection and selects the shape or text item of a record id; false (nothing
    // selected) when the canvas holds none.
    bool selectLineById(const QString &id);

    // Sets the label text of the shape with this record id; false when there is no such shape or
    // it has no label. On a line made by createRulerLine the text stays through every later
    // change of the line (an empty text brings the measured one back), so its owner relabels it
    // on sigScaleLengthChanged; other shapes write their measured text again when they change.
    bool setLineLabelText(const QString &id, const QString &text);
    // The pixel length between the first two points of the straight line (also arrow, scale
    // bar, ruler) with this record id; -1 when there is no such line.
    double linePixelLength(const QString &id) const;
    // Shows or hides the scale bars (hiding keeps manually placed ones); showing with an image
    // and no bar creates one near the bottom-left corner.
    void setScaleBarShown(bool show);
    bool scaleBarShown() const { return m_scaleBarShown; }

    // Reloads the tools' default styles from the settings.
    void loadToolDefaults();
    const ToolDefaultsTable &toolDefaults() const { return m_toolDefaults; }
    // The armed tool's defaults offered for editing; null while no tool with settings is armed.
    Attribute::Ptr currentToolAttribute() const { return m_currentToolAttribute; }

    GraphicsItemBase *currentShape() const { return m_currentShape; }
    TextItem *editingText() const { return m_editingText; }
    bool isDeleting() const { return m_deleting; }

    // The undo history of the drawing (MeasureGraphicsViewBusinessHistory.cpp). Every user gesture
    // that changes shapes or texts is one step; a new picture or a loaded drawing starts it
    // empty.
    DrawingHistory *history() const { return m_history; }

    // A new picture was shown: announced with sigImageLoadStatusChanged(true).
    void handleImageFileOpened(const QString &path) override;
    void handleStillImageShown() override;

    // The drawing travels inside the picture file (MeasureGraphicsViewBusinessDocument.cpp).
    // Embeds the shapes and the calibration into the existing JPEG, PNG or TIFF file at `path`;
    // on failure the file is unchanged and the user is told why: in a message box, or through
    // `error` when the caller reports it itself.
    bool saveWithMetadata(const QString &path, QString *error = nullptr);
    // Empties the canvas, then restores the shapes and the calibration stored in the file. False
    // when the file carries no readable drawing.
    bool loadFromMetadata(const QString &path);
    // Whether the drawing that loadFromMetadata() last restored carried a usable calibration.
    bool loadedCalibration() const { return m_loadedCalibration; }
    // What the last drawing read found: the shapes it listed, how many of them could not be
    // rebuilt, and whether a drawing of ours was there but could not be decoded.
    int readShapeCount() const { return m_readShapes; }
    int unreadShapeCount() const { return m_unreadShapes; }
    bool readDrawingDamaged() const { return m_readDrawingDamaged; }
    // Rebuilds the shapes of a drawing document; elements of unknown type are skipped.
    void deserializeDrawingData(const QJsonObject &root);

public slots:
    // As saveWithMetadata, but a BMP file only gets a warning.
    void onSaveImg(const QString &path);

signals:
    void sigAddLine(LineDataBase::Ptr lptr);
    void sigDelLine(LineDataBase::Ptr lptr);
    void sigLineDataChanged(LineDataBase::Ptr lptr);
    void sigImageLoadStatusChanged(bool loaded);
    void sigScaleLengthChanged(double pixelLength);
    void sigDrawingFinished();
    void sigToolDefaultAttributesChanged(Attribute::Ptr attr);
    void sigCalibrationLoaded();

public slots:
    void setDrawToolActive(bool active) override;
    // Removes every shape and text item as removeLine does (the half-drawn shape and the text
    // being typed included), then drops registered records that no item on the canvas carries,
    // announcing each with sigDelLine so that no row outlives its item.
    void delAllLine();
    // The measurement table asks to delete the item of a record. A record without an item on the
    // canvas is dropped from the registry and announced with sigDelLine, so its row goes too.
    void onDelLineRequested(LineDataBase::Ptr record);
    // The measurement table made a record's row current: its shape or text item becomes the only
    // selected item (none for a null record).
    void onLineSelectionRequested(LineDataBase::Ptr record);
    void setPanningMode(bool panning) override;
    void removeLine(GraphicsItemBase *lineItem);
    void onAttributeDataChanged() override;
    // Takes back the last step, or discards the shape being drawn when there is one. Ignored
    // while a mouse button is held on the canvas.
    void undo();
    // Does the next step again.
    void redo();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void drawingForgotten() override;

private:
    // A shape or a text item whose removal waits for the running one.
    struct PendingDeletion
    {
        GraphicsItemBase *shape = nullptr;
        QPointer<TextItem> text;
        LineDataBase::Ptr record;
        bool operator==(const PendingDeletion &other) const
        {
            return shape == other.shape && text == other.text && record == other.record;
        }
    };

    void registerNewItem(QGraphicsItem *item, const LineDataBase::Ptr &record);
    // The shape of a drawing tool around `record`, with its change callback; not yet in the
    // scene. Null for types without a shape.
    GraphicsItemBase *buildShape(int toolType, const LineDataBase::Ptr &record);
    // Scale bars placed with the tool stay visible when the automatic bar is hidden.
    static bool isManualScaleBar(const QGraphicsItem *item);
    static void setManualScaleBar(QGraphicsItem *item, bool manual);
    void onShapeChanged(GraphicsItemBase *shape);
    // Drops every pointer this object keeps to `shape` (removed or about to be deleted).
    void forgetShape(GraphicsItemBase *shape);
    // Announces and detaches one shape and schedules its deletion.
    void detachShape(GraphicsItemBase *shape, const LineDataBase::Ptr &record);
    void detachText(TextItem *text, const LineDataBase::Ptr &record);
    void queueDeletion(const PendingDeletion &pending);
    // Registered records that no item on the canvas carries leave the registry with sigDelLine.
    void dropOrphanRecords();
    void processPendingDeletions();
    void emitToolDefaults(bool active);
    void setDrawingCursor();
    // Leaves drawing mode: the first four steps of disarming.
    void disarm();

    bool grabControlPoint(QMouseEvent *event);
    void pressWithTool(QMouseEvent *event);
    void startShape(int type, const QPointF &p);
    void continueShape(const QPointF &p);
    void completeShape(GraphicsItemBase *shape);
    void moveWithTool(const QPointF &p);
    void releaseRightButton();
    void releaseText(const QPointF &p);
    void releaseScaleBar(const QPointF &p);
    void endTextEditing();
    TextItem *textItemAt(const QPoint &viewPos) const;
    // Whether the pointer still names a live shape; never dereferences a deleted one.
    static bool isLive(GraphicsItemBase *shape);

    // History (MeasureGraphicsViewBusinessHistory.cpp).
    void recordStep(bool styleEdit = false);
    DrawingSnapshot captureDrawing() const;
    bool stateOf(QGraphicsItem *item, DrawingItemState *state) const;
    void applyHistory(const QList<DrawingItemChange> &changes, bool after);
    void putShapeState(GraphicsItemBase *shape, const DrawingItemState &state);
    void putTextState(TextItem *text, const DrawingItemState &state);
    QGraphicsItem *rebuildItem(const DrawingItemState &state, const LineDataBase::Ptr &record);
    // Removes the shape being drawn; false when there is none.
    bool discardUnfinishedShape();

    GraphicsItemBase *m_currentShape = nullptr;
    QPointer<TextItem> m_editingText; // cleared by itself when the scene is replaced
    bool m_mousePressed = false;
    bool m_polygonAppendOnMove = false;
    int m_clickCount = 0; // presses given to the current double circle or five-point ellipse
    QList<PendingDeletion> m_pendingDeletions;
    bool m_deleting = false;
    bool m_controlPointDrag = false;
    GraphicsItemBase *m_dragShape = nullptr;
    bool m_scaleBarShown = true;
    QSet<QString> m_unannounced; // record ids of unannounced ruler lines
    Attribute::Ptr m_currentToolAttribute;
    ToolDefaultsTable m_toolDefaults;
    DrawingHistory *m_history = nullptr;
    bool m_gestureActive = false; // a mouse button went down on the canvas and is still held
    bool m_loadedCalibration = false;
    int m_readShapes = 0;
    int m_unreadShapes = 0;
    bool m_readDrawingDamaged = false;
};
