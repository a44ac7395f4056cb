// DialogLessWindow.h: a frameless QDialog with its own title bar and a 1-pixel border.
#pragma once

#include "ui/frameless/WinLessBase.h"

#include <QDialog>

// The program's own dialogs derive from it. Give it a parent window: the window manager then
// keeps it above that window and shows it where Qt placed it (centred over that window on its
// first show, then where the user left it). Border and contents margins as in WidgetLessWindow.
// GUI thread only.
class DialogLessWindow : public QDialog, public WinLessBase
{
    Q_OBJECT

public:
    explicit DialogLessWindow(QWidget *parent = nullptr);
    ~DialogLessWindow() override;

    void setDrawBorder(bool on);
    bool drawBorder() const { return m_drawBorder; }

signals:
    void maxChange(bool bMax);

public slots:
    void showFullScreen();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    bool m_drawBorder = true;
};
