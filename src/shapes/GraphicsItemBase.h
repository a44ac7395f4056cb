// GraphicsItemBase.h: what every measurement shape shares: record, hit-testing, dragging, pens,
// control points, its label and the conversion of pixel lengths into calibrated text.
#pragma once

#include "model/LineDataBase.h"

#include <QGraphicsItem>
#include <QPainterPath>

#include <functional>
#include <memory>

class LabelItem;

// Base of the shape items. Points live in the record in item coordinates. GUI thread.
class GraphicsItemBase : public QGraphicsItem
{
public:
    using ChangeCallback = std::function<void(GraphicsItemBase *)>;

    // The extremes of two points; used to keep a corner order while a point moves.
    struct TwoPointMaxMin
    {
        TwoPointMaxMin(const QPointF &a, const QPointF &b);
        double maxX;
        double minX;
        double maxY;
        double minY;
        QRectF rect() const { return QRectF(QPointF(minX, minY), QPointF(maxX, maxY)); }
    };

    // A null record gets a fresh point-list record.
    explicit GraphicsItemBase(LineDataBase::Ptr data, QGraphicsItem *parent = nullptr);
    ~GraphicsItemBase() override;

    // Recomputes the measured value and the label's text and position.
    virtual void updateLabel() {}
    // Recomputes shapePath and boundRect, repaints, then updateLabel(). By default the geometry
    // of drawing(); nothing while the shape has no point.
    virtual void updateShape();
    // One click (or the moving pointer while drawing); each shape decides append or replace.
    virtual void addPointF(const QPointF &p) { Q_UNUSED(p) }
    // Three-point family: the first two points are fixed, the third is being placed.
    virtual void setPointFixed(bool fixed) { Q_UNUSED(fixed) }
    // Hit-tests `pos` (item coordinates) against the control points: sets hoverIndex and cursor.
    // By default the first point within the control-point radius wins.
    virtual void updateHoverState(const QPointF &pos) { hoverOverPoints(pos); }
    // The record's points in scene coordinates.
    virtual QList<QPointF> scenePoints() const;
    virtual int toolType() const { return m_toolType; }

    QRectF boundingRect() const override { return m_boundRect; }
    QPainterPath shape() const override { return m_shapePath; }
    // By default drawing(), with control points while selected.
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
    int type() const override { return m_toolType; }

    LineDataBase::Ptr lineData() const { return m_data; }
    Attribute::Ptr attribute() const;
    // The record's point list (item coordinates); an empty list for a record without points.
    QList<QPointF> &points();
    const QList<QPointF> &points() const;
    QPointF point(int i) const;

    void setChangeCallback(ChangeCallback callback) { m_changeCallback = std::move(callback); }
    int hoverIndex() const { return m_hoverIndex; }
    int pressedButton() const { return m_pressedButton; }

    // A new label child at `pos` (item coordinates) sharing the record's attribute.
    LabelItem *createLabel(const QPointF &pos);
    // Moves the label to pos, creating it there first when the shape has none yet.
    void placeLabel(const QPointF &pos);
    // Shows `text` in the label of a closed shape whose extent is `box`: beside the box's
    // top-right corner, clear of its outline, its handles and what it encloses, or beside its
    // top-left when the picture ends too close on the right.
    void placeLabelBeside(const QRectF &box, const QString &text);
    LabelItem *labelItem() const { return m_label; }
    // A further label child like the one above, for shapes that show more than one value.
    LabelItem *createExtraLabel(const QPointF &pos);

    // Replaces point `index` (-1: the last one); other indices and an empty list do nothing.
    void movePoint(const QPointF &pos, int index);

    // Registered and not being destroyed.
    bool isAlive() const;
    // As above, and in a scene.
    bool isAliveInScene() const;

    // Drags the grabbed control point to `scenePos` as a left-button move would.
    void dragTo(const QPointF &scenePos);

    // "%1 (unit)" with 2 decimals when the scene's calibration is valid and not px, else
    // "%1 (px)" with 1 decimal.
    QString formatLength(double pixels) const;

    // The label text of a value that the points do not define (e.g. an angle with a zero-length
    // arm).
    static QString notMeasurableText();

protected:
    // What a shape paints: solid and dashed strokes with the shape pen, and small marker circles
    // (radius 5) at points that are placed but not yet part of a line.
    struct Drawing
    {
        QPainterPath solid;
        QPainterPath dashed;
        QList<QPointF> markers;
    };
    // What the shape paints and hit-tests; nothing by default.
    virtual Drawing drawing() const { return {}; }
    // The first line, p0-p1, once both points exist; before that the placed point as a marker.
    Drawing firstLineDrawing() const;
    // Paints `drawing` with the shape pen, then control points at every point when `handles`.
    void paintDrawing(QPainter *painter, const Drawing &drawing, bool handles) const;
    // Bounds covering `drawing`, the points and their control points; the hit area is the
    // strokes widened to 10 plus a control-point circle around every point.
    void setGeometryFromDrawing(const Drawing &drawing);

    void applyPen(QPainter *painter) const;
    void drawControlPoint(QPainter *painter, const QPointF &p) const;
    // A shape can be picked this far (scene units) from its lines, however thin they are drawn.
    static constexpr double kMinHitHalfWidth = 5.0;
    // Adds the hit area of the segment a-b (half the line width, at least kMinHitHalfWidth, on
    // each side) to `path`.
    void addSegmentOutline(QPainterPath &path, QPointF a, QPointF b) const;
    // Adds the circle of radius r around p to the hit area `path`; overlaps with its other
    // pieces stay inside it.
    static void addPointCircle(QPainterPath &path, const QPointF &p, double r);
    // The common hover rule: the first point within the control-point radius wins.
    void hoverOverPoints(const QPointF &pos);
    void notifyChanged();
    // Replaces the cached geometry; announces the change to the scene first.
    void setGeometry(const QRectF &boundRect, const QPainterPath &shapePath);
    // How far painting reaches beyond the points: control points and the line width.
    double paintMargin() const;
    // Whether the item is drawn selected (the paint option) or just is selected.
    static bool isSelectedState(const QStyleOptionGraphicsItem *option);

    void hoverEnterEvent(QGraphicsSceneHoverEvent *event) override;
    void hoverMoveEvent(QGraphicsSceneHoverEvent *event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent *event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

    int m_hoverIndex = -1;   // 0 the body, k > 0 control point k-1
    int m_pressedButton = 0; // 1 left, 2 right
    QPainterPath m_shapePath;
    QRectF m_boundRect;
    int m_toolType = 2;
    ChangeCallback m_changeCallback;
    bool m_registered = false;
    int m_savedDragMode = 0; // QGraphicsView::DragMode saved while a point is dragged
    LineDataBase::Ptr m_data;
    LabelItem *m_label = nullptr;
    bool m_destroying = false;

private:
    BrokenLineDataItem *m_pointData = nullptr; // m_data as a point record, or null
    QList<QPointF> m_noPoints;                 // what points() gives without a point record
};
