// WinLessBase.h: the mix-in that carries a frameless window's frame handler.
#pragma once

#include <QList>

class QWidget;
class WinLessWindow;

// Window classes derive from a Qt widget class and from this mix-in, call init(this) once in
// their constructor and forward the handler's maxChange(bool). GUI thread only.
class WinLessBase
{
public:
    virtual ~WinLessBase();

    WinLessWindow *frameHandler() const { return m_frame; }

    void setTitleBar(QWidget *titleBar);
    QWidget *titleBar() const;
    void addCaptionWidget(QWidget *widget);
    void removeCaptionWidget(QWidget *widget);
    void setCaptionEnabled(bool enabled);
    bool captionEnabled() const;
    void setResizable(bool on);
    bool resizable() const;
    int borderWidth() const;
    void setDoubleClickMaximize(bool on);
    bool doubleClickMaximize() const;
    void setNoShadow(bool on);
    bool noShadow() const;

protected:
    WinLessBase() = default;
    // Makes window frameless and creates its frame handler (a child of window); once per window.
    void init(QWidget *window);

    // The 1-pixel border of the window bases: painted while drawBorder is set and the window is
    // neither maximised nor full screen, with the contents inset by the same pixel.
    static bool borderShown(const QWidget *window, bool drawBorder);
    static void paintBorder(QWidget *window);
    static void updateBorderMargins(QWidget *window, bool drawBorder);
    // What both window bases paint: the style sheet's background (a plain widget subclass does
    // not draw it itself), then the border when it is shown.
    static void paintWindow(QWidget *window, bool drawBorder);
    // After a window-state change: the contents margins follow the border, and it repaints.
    static void windowStateChanged(QWidget *window, bool drawBorder);

private:
    WinLessWindow *m_frame = nullptr;
};
