#include "ui/frameless/WidgetLessWindow.h"

#include "ui/frameless/WinLessWindow.h"

#include <QEvent>

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
    WinLessBase::paintWindow(this, m_drawBorder);
    QWidget::paintEvent(event);
}

void WidgetLessWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange)
        WinLessBase::windowStateChanged(this, m_drawBorder);
    QWidget::changeEvent(event);
}
