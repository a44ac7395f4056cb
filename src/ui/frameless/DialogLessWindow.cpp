#include "ui/frameless/DialogLessWindow.h"

#include "ui/frameless/WinLessWindow.h"

#include <QEvent>

DialogLessWindow::DialogLessWindow(QWidget *parent)
    : QDialog(parent)
{
    init(this);
    connect(frameHandler(), &WinLessWindow::maxChange, this, &DialogLessWindow::maxChange);
    WinLessBase::updateBorderMargins(this, m_drawBorder);
}

DialogLessWindow::~DialogLessWindow() = default;

void DialogLessWindow::setDrawBorder(bool on)
{
    m_drawBorder = on;
    WinLessBase::updateBorderMargins(this, m_drawBorder);
    update();
}

void DialogLessWindow::showFullScreen()
{
    frameHandler()->showFullScreen();
}

void DialogLessWindow::paintEvent(QPaintEvent *event)
{
    WinLessBase::paintWindow(this, m_drawBorder);
    QDialog::paintEvent(event);
}

void DialogLessWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange)
        WinLessBase::windowStateChanged(this, m_drawBorder);
    QDialog::changeEvent(event);
}
