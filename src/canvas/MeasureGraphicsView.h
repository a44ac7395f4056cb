// MeasureGraphicsView.h: the canvas view: background picture, zoom, fit, panning, hover cursors,
// the recording overlay, the index of shapes by record id, and saving of pictures.
#pragma once

#include "model/Attribute.h"

#include <QElapsedTimer>
#include <QGraphicsView>
#include <QHash>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

class CalibrationData;
class GraphicsItemBase;
class GraphicsScene;
class QGraphicsPixmapItem;
class QLabel;
class TextItem;

// Scene coordinates are full-resolution image pixels whatever size the displayed pixmap has.
// GUI thread.
class MeasureGraphicsView : public QGraphicsView
{
    Q_OBJECT

public:
    // Shows a message box and returns the button pressed; replaceable so that tests answer the
    // canvas's questions and warnings without a box.
    using MessageBoxProvider = std::function<QMessageBox::StandardButton(
        QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)>;

    static constexpr double kMinZoom = 0.1;
    static constexpr double kMaxZoom = 10.0;

    explicit MeasureGraphicsView(QWidget *parent = nullptr);
    ~MeasureGraphicsView() override;

    GraphicsScene *graphicsScene() const { return m_scene; }
    QGraphicsPixmapItem *backgroundItem() const { return m_backgroundItem; }
    QSize imageSize() const { return m_imageSize; }
    QImage image() const { return m_image; }
    bool fitMode() const { return m_fitMode; }
    // In fit mode the zoom follows the viewport size.
    void setFitMode(bool on) { m_fitMode = on; }

    void fitViewToScene();
    // Clamped to [0.1, 10]; ignored without an image. Turns fit mode off.
    void setCanvasZoom(double zoom);
    double canvasZoom() const { return m_currentCanvasZoom; }

    void setBackgroundImage(const QImage &image, bool resetScene);
    // Reads the file with its EXIF orientation applied; false (and no change) when unreadable.
    bool loadImageFile(const QString &path, bool resetScene);
    // A camera still or live frame: the displayed pixmap is reduced, the scene stays full-size.
    void updateFrameImage(const QImage &image);
    // A reduced preview picture stretched over the known full-resolution size.
    void updatePreviewImage(const QImage &image);
    void setBackgroundVisible(bool visible);

    void setCheckerTheme(bool light);
    void setRecordingOverlay(bool on);
    void setCrosshairVisible(bool visible);
    // Carried over to every new scene.
    void setCalibrationData(CalibrationData *calibration);

    // Virtual, so that a caller holding this base type reaches the drawing layer's behaviour.
    virtual void setPanningMode(bool on);
    bool panningMode() const { return m_panning; }
    // Set by the drawing interaction while a multi-click shape is drawn or a tool is armed.
    void setSuppressSelectionSignal(bool suppress) { m_suppressSelectionSignal = suppress; }
    virtual void setDrawToolActive(bool active) { m_drawToolActive = active; }
    bool drawToolActive() const { return m_drawToolActive; }

    // Shapes and text items with a record are indexed by the record's id while in the scene.
    void addItem(QGraphicsItem *item);
    void removeItem(QGraphicsItem *item);
    // The shape of a record id; null for text items and unknown ids.
    GraphicsItemBase *itemByName(const QString &id) const;
    // The text item of a record id; null for shapes, unknown ids and deleted items.
    TextItem *textItemByName(const QString &id) const;
    // The shape or text item of a record id, whichever it is; null when there is none.
    QGraphicsItem *graphicsItemByName(const QString &id) const;
    QList<GraphicsItemBase *> allItems() const;
    // The indexed text items that still exist.
    QList<TextItem *> allTextItems() const;

    // The scene at full resolution (transparent where nothing is); null without a scene.
    QImage renderSceneToImage();
    // The scene with the background, without selection handles; null without a background.
    QImage composeImage();
    // Format from the suffix (unknown suffixes write PNG); JPEG at quality 90; every format but
    // PNG is flattened onto white, so no alpha reaches JPEG or BMP.
    bool saveFusedImage(const QString &path);
    bool saveBackgroundImage(const QString &path);

    // Deletes every item with the scene's contents and forgets the drawing's records, without
    // announcing the removals.
    virtual void clearAll();

    // Called by the frame after it opened an image file (`path`) or showed a camera still. The
    // drawing layer overrides them to restore the file's drawing and announce the new picture.
    virtual void handleImageFileOpened(const QString &path) { Q_UNUSED(path) }
    virtual void handleStillImageShown() {}

    QSize sizeHint() const override;

signals:
    void sigCanvasZoomChanged(double scale);
    void sigChoosedItemChanged(Attribute::Ptr attribute);

public slots:
    void onSelectionChanged();
    virtual void onAttributeDataChanged();

    // Replaces the message boxes of the canvas (a modal QMessageBox by default).
    void setMessageBoxProvider(MessageBoxProvider provider);

protected:
    // Asks or tells the user through the message-box provider.
    QMessageBox::StandardButton
    showMessage(QMessageBox::Icon icon, const QString &title, const QString &text,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    QSize viewportSizeHint() const override;

    void updateScrollBars();
    // Every item of the drawing is about to go at once (a new scene, a cleared one), without
    // removals being announced.
    virtual void drawingForgotten() {}
    // Format name and quality for a file name's suffix.
    static void formatForPath(const QString &path, const char **format, int *quality);

    GraphicsScene *m_scene = nullptr;

private:
    MessageBoxProvider m_messageBox;
    void rebuildScene(const QSize &size);
    // Empties the indexes and the record registry when every item goes at once.
    void forgetDrawing();
    void applyCheckerboard();
    void applyDragMode();
    void placeRecordingLabels();
    void onClockTick();
    void onBlinkTick();

    QGraphicsPixmapItem *m_backgroundItem = nullptr;
    bool m_panning = false;
    QPoint m_lastPanPos;
    QCursor m_savedCursor;
    double m_currentCanvasZoom = 1.0;
    QSize m_imageSize;
    QImage m_image;
    QLabel *m_recordTimeLabel = nullptr;
    QLabel *m_recordDotLabel = nullptr;
    bool m_dotShown = true;
    QTimer m_blinkTimer;
    QTimer m_clockTimer;
    QElapsedTimer m_recordClock;
    QColor m_checkerA = QColor(40, 40, 40);
    QColor m_checkerB = QColor(30, 30, 30);
    bool m_fitMode = true;
    bool m_suppressSelectionSignal = false;
    bool m_drawToolActive = false;
    QHash<QString, GraphicsItemBase *> m_nameIndex;
    // Text items are QObjects: a guarded pointer reads null once an item is gone.
    QHash<QString, QPointer<TextItem>> m_textIndex;
    QPointer<CalibrationData> m_calibration;
};
