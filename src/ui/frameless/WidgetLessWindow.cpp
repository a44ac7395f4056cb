#include "ui/frameless/WidgetLessWindow.h"

#include "ui/frameless/WinLessWindow.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

WidgetLessWindow::WidgetLessWindow(QWidget *parent)
    : QWidget(parent)
{
    init(this);
    connect(frameHandler(), &WinLessWindow::maxChange, this, &WidgetLessWindow::maxChange);
    WinLessBase::updateBorderMargins(this, m_drawBorder);
}

WidgetLessWindow::~WidgetLessWindow() = default;

void WidgetLessWindow::setDrawBorder(bool on)
{
    m_drawBorder = on;
    WinLessBase::updateBorderMargins(this, m_drawBorder);
    update();
}

void WidgetLessWindow::showFullScreen()
{
    frameHandler()->showFullScreen();
}

void WidgetLessWindow::paintEvent(QPaintEvent *event)
{
    // The style sheet's background first (a plain widget subclass does not draw it itself).
    {
        QStyleOption option;
        option.initFrom(this);
        QPainter painter(this);
        style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    }
    if (WinLessBase::borderShown(this, m_drawBorder))
        WinLessBase::paintBorder(this);
    QWidget::paintEvent(event);
}

void WidgetLessWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange) {
        WinLessBase::updateBorderMargins(this, m_drawBorder);
        update();
    }
    QWidget::changeEvent(event);
}
