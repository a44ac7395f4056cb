#include "ui/frameless/WinLessWindow.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

Qt::CursorShape cursorForEdges(Qt::Edges edges)
{
    const bool left = edges & Qt::LeftEdge, right = edges & Qt::RightEdge;
    const bool top = edges & Qt::TopEdge, bottom = edges & Qt::BottomEdge;
    if ((left && top) || (right && bottom))
        return Qt::SizeFDiagCursor;
    if ((right && top) || (left && bottom))
        return Qt::SizeBDiagCursor;
    if (left || right)
        return Qt::SizeHorCursor;
    return Qt::SizeVerCursor;
}

bool maximizedOrFullScreen(const QWidget *window)
{
    return window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
}

} // namespace

WinLessWindow::WinLessWindow(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    m_window->installEventFilter(this);
    attachWindowHandle();
}

WinLessWindow::~WinLessWindow()
{
    clearResizeCursor();
}

void WinLessWindow::setTitleBar(QWidget *titleBar)
{
    if (m_titleBar)
        disconnect(m_titleBar, &QObject::destroyed, this, &WinLessWindow::onTitleBarDestroyed);
    m_titleBar = titleBar;
    if (titleBar)
        connect(titleBar, &QObject::destroyed, this, &WinLessWindow::onTitleBarDestroyed);
}

void WinLessWindow::onTitleBarDestroyed()
{
    if (sender() == m_titleBar || !m_titleBar)
        m_titleBar = nullptr;
}

void WinLessWindow::addCaptionWidget(QWidget *widget)
{
    if (widget && !captionWidgets().contains(widget))
        m_captionWidgets.append(widget);
}

void WinLessWindow::removeCaptionWidget(QWidget *widget)
{
    m_captionWidgets.removeAll(widget);
}

QList<QWidget *> WinLessWindow::captionWidgets() const
{
    QList<QWidget *> widgets;
    for (const QPointer<QWidget> &widget : m_captionWidgets) {
        if (widget)
            widgets.append(widget);
    }
    return widgets;
}

void WinLessWindow::setCaptionEnabled(bool enabled)
{
    m_captionEnabled = enabled;
}

void WinLessWindow::setResizable(bool on)
{
    m_resizable = on;
    if (on) {
        if (m_borderWidth == 0)
            m_borderWidth = m_savedBorderWidth;
        const Qt::WindowFlags flags = m_window->windowFlags();
        if (!(flags & Qt::WindowMaximizeButtonHint)) {
            // Changing the flags hides a shown window: show it again as it was.
            const bool visible = m_window->isVisible();
            m_window->setWindowFlags(flags | Qt::WindowMaximizeButtonHint);
            if (visible)
                m_window->show();
        }
    } else if (m_borderWidth > 0) {
        m_savedBorderWidth = m_borderWidth;
        m_borderWidth = 0;
    }
}

void WinLessWindow::setDoubleClickMaximize(bool on)
{
    m_doubleClickMaximize = on;
}

void WinLessWindow::setNoShadow(bool on)
{
    m_noShadow = on;
}

Qt::Edges WinLessWindow::edgesAt(const QPoint &pos) const
{
    Qt::Edges edges;
    const int border = m_borderWidth;
    if (!m_resizable || border <= 0 || maximizedOrFullScreen(m_window))
        return edges;
    const QSize size = m_window->size();
    if (!QRect(QPoint(0, 0), size).contains(pos))
        return edges;
    if (m_window->minimumWidth() != m_window->maximumWidth()) {
        if (pos.x() < border)
            edges |= Qt::LeftEdge;
        else if (pos.x() >= size.width() - border)
            edges |= Qt::RightEdge;
    }
    if (m_window->minimumHeight() != m_window->maximumHeight()) {
        if (pos.y() < border)
            edges |= Qt::TopEdge;
        else if (pos.y() >= size.height() - border)
            edges |= Qt::BottomEdge;
    }
    return edges;
}

bool WinLessWindow::isCaptionAt(const QPoint &pos) const
{
    return m_captionEnabled && titleBarCaptionAt(pos);
}

bool WinLessWindow::titleBarCaptionAt(const QPoint &pos) const
{
    if (!m_titleBar || !m_titleBar->isVisible() || m_titleBar->window() != m_window)
        return false;
    const QPoint local = m_titleBar->mapFrom(m_window, pos);
    if (!m_titleBar->rect().contains(local))
        return false;
    // A press on a listed child (or anything inside one) still drags; any other child keeps it.
    QWidget *child = m_titleBar->childAt(local);
    if (!child)
        return true;
    for (QWidget *widget = child; widget && widget != m_titleBar; widget = widget->parentWidget()) {
        if (m_captionWidgets.contains(widget))
            return true;
    }
    return false;
}

void WinLessWindow::showFullScreen()
{
    m_window->showFullScreen();
}

bool WinLessWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::WinIdChange:
            attachWindowHandle();
            break;
        case QEvent::Show:
            attachWindowHandle();
            reportWindowState();
            break;
        case QEvent::WindowStateChange:
            reportWindowState();
            break;
        case QEvent::Hide:
            clearResizeCursor();
            m_drag = Drag::None;
            break;
        default:
            break;
        }
        return false;
    }
    if (watched == m_handle) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            return handleWindowMouse(static_cast<QMouseEvent *>(event));
        case QEvent::Leave:
            clearResizeCursor();
            break;
        default:
            break;
        }
    }
    return false;
}

void WinLessWindow::attachWindowHandle()
{
    QWindow *handle = m_window->windowHandle();
    if (handle == m_handle)
        return;
    if (m_handle)
        m_handle->removeEventFilter(this);
    m_handle = handle;
    if (handle)
        handle->installEventFilter(this);
}

void WinLessWindow::reportWindowState()
{
    const Qt::WindowStates states = m_window->windowState();
    if (states & Qt::WindowMinimized)
        return;
    const bool maximized = states & Qt::WindowMaximized;
    if (m_maxStateKnown && maximized == m_maximized)
        return;
    m_maxStateKnown = true;
    m_maximized = maximized;
    emit maxChange(maximized);
}

bool WinLessWindow::handleWindowMouse(QMouseEvent *event)
{
    const QPoint pos = event->pos();
    const QPoint global = event->globalPos();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        if (event->button() != Qt::LeftButton)
            return false;
        m_pressGlobal = global;
        m_pressGeometry = m_window->geometry();
        if (const Qt::Edges edges = edgesAt(pos)) {
            m_dragEdges = edges;
            m_drag = m_handle->startSystemResize(edges) ? Drag::None : Drag::ManualResize;
            return true;
        }
        if (isCaptionAt(pos) && !(m_window->windowState() & Qt::WindowFullScreen)) {
            // The move starts at the first motion, so that a double-click stays a double-click.
            m_pressPos = pos;
            m_drag = Drag::PendingMove;
            return true;
        }
        return isCaptionAt(pos);
    }
    case QEvent::MouseMove:
        if (!(event->buttons() & Qt::LeftButton)) {
            m_drag = Drag::None;
            if (event->buttons() == Qt::NoButton)
                updateResizeCursor(pos);
            return false;
        }
        if (m_drag == Drag::PendingMove) {
            if ((global - m_pressGlobal).manhattanLength() < QApplication::startDragDistance())
                return true;
            if (m_window->windowState() & Qt::WindowMaximized) {
                // Dragging a maximised window restores it under the pointer, which keeps its
                // relative place along the title bar.
                const QRect normal = m_window->normalGeometry();
                const QSize size = normal.isValid() ? normal.size() : m_window->size() * 2 / 3;
                const int width = std::max(1, m_window->width());
                m_pressGeometry = QRect(
                    global - QPoint(m_pressPos.x() * size.width() / width, m_pressPos.y()), size);
                m_pressGlobal = global;
                m_window->showNormal();
                m_window->setGeometry(m_pressGeometry);
            } else {
                // Catch up with the pointer first: the window manager moves the window from
                // where the pointer is now, not from the press.
                m_window->move(m_pressGeometry.topLeft() + (global - m_pressGlobal));
            }
            m_drag = m_handle->startSystemMove() ? Drag::None : Drag::ManualMove;
            return true;
        }
        if (m_drag == Drag::ManualMove || m_drag == Drag::ManualResize) {
            manualDrag(global);
            return true;
        }
        return false;
    case QEvent::MouseButtonRelease:
        if (event->button() != Qt::LeftButton || m_drag == Drag::None)
            return false;
        m_drag = Drag::None;
        return true;
    case QEvent::MouseButtonDblClick:
        if (event->button() != Qt::LeftButton || !m_doubleClickMaximize ||
            !titleBarCaptionAt(pos) || (m_window->windowState() & Qt::WindowFullScreen))
            return false;
        m_drag = Drag::None;
        toggleMaximized();
        return true;
    default:
        return false;
    }
}

void WinLessWindow::manualDrag(const QPoint &globalPos)
{
    const QPoint delta = globalPos - m_pressGlobal;
    if (m_drag == Drag::ManualMove) {
        m_window->move(m_pressGeometry.topLeft() + delta);
        return;
    }
    // Resize by hand, keeping the opposite edges where they are and the size within limits.
    const QSize minimum = m_window->minimumSize().expandedTo(QSize(1, 1));
    const QSize maximum = m_window->maximumSize();
    QRect geometry = m_pressGeometry;
    if (m_dragEdges & Qt::LeftEdge) {
        const int width =
            qBound(minimum.width(), m_pressGeometry.width() - delta.x(), maximum.width());
        geometry.setLeft(m_pressGeometry.right() + 1 - width);
    } else if (m_dragEdges & Qt::RightEdge) {
        geometry.setWidth(
            qBound(minimum.width(), m_pressGeometry.width() + delta.x(), maximum.width()));
    }
    if (m_dragEdges & Qt::TopEdge) {
        const int height =
            qBound(minimum.height(), m_pressGeometry.height() - delta.y(), maximum.height());
        geometry.setTop(m_pressGeometry.bottom() + 1 - height);
    } else if (m_dragEdges & Qt::BottomEdge) {
        geometry.setHeight(
            qBound(minimum.height(), m_pressGeometry.height() + delta.y(), maximum.height()));
    }
    m_window->setGeometry(geometry);
}

void WinLessWindow::updateResizeCursor(const QPoint &pos)
{
    const Qt::Edges edges = edgesAt(pos);
    if (!edges) {
        clearResizeCursor();
        return;
    }
    // An override cursor wins over the cursors of the child widgets that cover the edges.
    const QCursor cursor(cursorForEdges(edges));
    if (m_cursorOverridden) {
        QApplication::changeOverrideCursor(cursor);
    } else {
        QApplication::setOverrideCursor(cursor);
        m_cursorOverridden = true;
    }
}

void WinLessWindow::clearResizeCursor()
{
    if (!m_cursorOverridden)
        return;
    m_cursorOverridden = false;
    QApplication::restoreOverrideCursor();
}

void WinLessWindow::toggleMaximized()
{
    if (m_window->windowState() & Qt::WindowMaximized)
        m_window->showNormal();
    else
        m_window->showMaximized();
}
