#include "ui/frameless/DialogLessWindow.h"

#include "ui/frameless/WinLessWindow.h"

#include <QEvent>
#include <QShowEvent>

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

void DialogLessWindow::showEvent(QShowEvent *event)
{
    // QDialog has just centred the dialog over its parent but leaves the position to the window
    // manager's choice. A frameless window's position chosen by the window manager does not
    // always reach Qt, and Qt places popups such as combo box lists from the position it knows:
    // the position Qt chose is made an explicit one, which the window manager keeps.
    if (!event->spontaneous() && !testAttribute(Qt::WA_Moved))
        move(pos());
    QDialog::showEvent(event);
}
