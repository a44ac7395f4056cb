// WidgetLessWindow.h: a frameless top-level QWidget with its own title bar and a 1-pixel border.
#pragma once

#include "ui/frameless/WinLessBase.h"

#include <QWidget>

// The main window derives from it. While drawBorder is set and the window is neither maximised
// nor full screen, a 1-pixel gray frame is painted and the contents are inset by one pixel, so
// child widgets do not cover it: the window's own contents margins are managed here (give
// the layout its margins instead). GUI thread only.
class WidgetLessWindow : public QWidget, public WinLessBase
{
    Q_OBJECT

public:
    explicit WidgetLessWindow(QWidget *parent = nullptr);
    ~WidgetLessWindow() override;

    void setDrawBorder(bool on);
    bool drawBorder() const { return m_drawBorder; }

signals:
    void maxChange(bool bMax);

public slots:
    void showFullScreen();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool m_drawBorder = true;
};
