#include "ui/frameless/WinLessBase.h"

#include "ui/frameless/WinLessWindow.h"

#include <QCoreApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

WinLessBase::~WinLessBase() = default;

void WinLessBase::init(QWidget *window)
{
    if (m_frame)
        return;
    static bool applicationPrepared = false;
    if (!applicationPrepared) {
        // Child widgets stay alien: one native window per frame, so that its mouse events reach
        // the frame handler.
        QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings, true);
        QCoreApplication::setAttribute(Qt::AA_NativeWindows, false);
        applicationPrepared = true;
    }
    window->setAttribute(Qt::WA_DontCreateNativeAncestors);
    m_frame = new WinLessWindow(window);
    window->setWindowFlags(window->windowFlags() | Qt::FramelessWindowHint | Qt::Window |
                           Qt::WindowSystemMenuHint);
    m_frame->setResizable(m_frame->resizable());
}

bool WinLessBase::borderShown(const QWidget *window, bool drawBorder)
{
    return drawBorder && !(window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
}

void WinLessBase::paintBorder(QWidget *window)
{
    QPainter painter(window);
    painter.setPen(QColor(Qt::gray));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, window->width() - 1, window->height() - 1);
}

void WinLessBase::updateBorderMargins(QWidget *window, bool drawBorder)
{
    const int inset = borderShown(window, drawBorder) ? 1 : 0;
    window->setContentsMargins(inset, inset, inset, inset);
}

void WinLessBase::setTitleBar(QWidget *titleBar)
{
    m_frame->setTitleBar(titleBar);
}

QWidget *WinLessBase::titleBar() const
{
    return m_frame->titleBar();
}

void WinLessBase::addCaptionWidget(QWidget *widget)
{
    m_frame->addCaptionWidget(widget);
}

void WinLessBase::removeCaptionWidget(QWidget *widget)
{
    m_frame->removeCaptionWidget(widget);
}

void WinLessBase::setCaptionEnabled(bool enabled)
{
    m_frame->setCaptionEnabled(enabled);
}

bool WinLessBase::captionEnabled() const
{
    return m_frame->captionEnabled();
}

void WinLessBase::setResizable(bool on)
{
    m_frame->setResizable(on);
}

bool WinLessBase::resizable() const
{
    return m_frame->resizable();
}

int WinLessBase::borderWidth() const
{
    return m_frame->borderWidth();
}

void WinLessBase::setDoubleClickMaximize(bool on)
{
    m_frame->setDoubleClickMaximize(on);
}

bool WinLessBase::doubleClickMaximize() const
{
    return m_frame->doubleClickMaximize();
}

void WinLessBase::setNoShadow(bool on)
{
    m_frame->setNoShadow(on);
}

bool WinLessBase::noShadow() const
{
    return m_frame->noShadow();
}

void WinLessBase::paintWindow(QWidget *window, bool drawBorder)
{
    {
        QStyleOption option;
        option.initFrom(window);
        QPainter painter(window);
        window->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, window);
    }
    if (borderShown(window, drawBorder))
        paintBorder(window);
}

void WinLessBase::windowStateChanged(QWidget *window, bool drawBorder)
{
    updateBorderMargins(window, drawBorder);
    window->update();
}
