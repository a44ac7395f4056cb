#include "ui/frameless/DialogLessWindow.h"

#include "ui/frameless/WinLessWindow.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

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
    // The style sheet's background first (a plain widget subclass does not draw it itself).
    {
        QStyleOption option;
        option.initFrom(this);
        QPainter painter(this);
        style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    }
    if (WinLessBase::borderShown(this, m_drawBorder))
        WinLessBase::paintBorder(this);
    QDialog::paintEvent(event);
}

void DialogLessWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange) {
        WinLessBase::updateBorderMargins(this, m_drawBorder);
        update();
    }
    QDialog::changeEvent(event);
}
