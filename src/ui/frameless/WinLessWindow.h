// WinLessWindow.h: the frame handler that gives a frameless top-level window the behaviour of a
// framed one (move by the caption, resize at the borders, double-click maximise).
#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>

class QMouseEvent;
class QWidget;
class QWindow;

// Serves one frameless window. Moving and resizing are handed to the window manager with
// QWindow::startSystemMove() and startSystemResize() (any EWMH window manager); without a window
// manager that offers them, the handler moves and resizes the window itself. Dragging the
// caption of a maximised window restores it under the pointer. Over the resize zone the pointer
// shows a resize cursor (an application override cursor, since child widgets cover the edges).
// Positions are Qt's logical pixels throughout: nothing is scaled by the device pixel ratio.
// GUI thread only.
class WinLessWindow : public QObject
{
    Q_OBJECT

public:
    // Width of the resize zone along every edge while the window is resizable.
    static constexpr int DefaultBorderWidth = 4;

    // window must outlive the handler; the handler is a child of the window.
    explicit WinLessWindow(QWidget *window);
    ~WinLessWindow() override;

    QWidget *window() const { return m_window; }

    // The caption area: a press on it (or on one of its caption widgets) drags the window, a
    // double-click toggles maximised. Cleared when the widget is destroyed.
    void setTitleBar(QWidget *titleBar);
    QWidget *titleBar() const { return m_titleBar; }

    // Children of the title bar that still count as caption (labels, icons); every other child
    // (buttons, edits) keeps its own mouse handling.
    void addCaptionWidget(QWidget *widget);
    void removeCaptionWidget(QWidget *widget);
    QList<QWidget *> captionWidgets() const;

    // Whether the title bar answers as caption at all (dragging and double-click).
    void setCaptionEnabled(bool enabled);
    bool captionEnabled() const { return m_captionEnabled; }

    // Switching resizing off keeps the border width and restores it when switched on again.
    void setResizable(bool on);
    bool resizable() const { return m_resizable; }
    int borderWidth() const { return m_borderWidth; }

    void setDoubleClickMaximize(bool on);
    bool doubleClickMaximize() const { return m_doubleClickMaximize; }

    // There is no window-manager shadow to switch on Linux; the flag is kept for the windows
    // that set it, and the window bases draw a 1-pixel border instead.
    void setNoShadow(bool on);
    bool noShadow() const { return m_noShadow; }

    // Last reported maximised state (false until the first report).
    bool isMaximized() const { return m_maximized; }

    // Hit tests in window coordinates. edgesAt gives the resize edges under pos: only axes whose
    // minimum and maximum size differ offer a zone, corners win over edges, and a maximised or
    // full-screen window offers none. isCaptionAt is true on the title bar where no child lies
    // or the child is (inside) a caption widget.
    Qt::Edges edgesAt(const QPoint &pos) const;
    bool isCaptionAt(const QPoint &pos) const;

signals:
    // The window's maximised state: the first report always, then every change. A minimised
    // window reports nothing.
    void maxChange(bool bMax);

public slots:
    void onTitleBarDestroyed();
    // Full screen from any state.
    void showFullScreen();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Drag { None, PendingMove, ManualMove, ManualResize };

    bool titleBarCaptionAt(const QPoint &pos) const;
    void attachWindowHandle();
    void reportWindowState();
    bool handleWindowMouse(QMouseEvent *event);
    void updateResizeCursor(const QPoint &pos);
    void clearResizeCursor();
    void toggleMaximized();
    void manualDrag(const QPoint &globalPos);

    QWidget *m_window = nullptr;
    QPointer<QWindow> m_handle;
    QPointer<QWidget> m_titleBar;
    QList<QPointer<QWidget>> m_captionWidgets;
    int m_borderWidth = DefaultBorderWidth;
    int m_savedBorderWidth = DefaultBorderWidth;
    bool m_captionEnabled = true;
    bool m_resizable = true;
    bool m_doubleClickMaximize = true;
    bool m_maximized = false;
    bool m_maxStateKnown = false;
    bool m_noShadow = false;
    bool m_cursorOverridden = false;

    // The left-button gesture in progress: where it started and what it does.
    Drag m_drag = Drag::None;
    Qt::Edges m_dragEdges;
    QPoint m_pressGlobal;
    QPoint m_pressPos;
    QRect m_pressGeometry;
};
