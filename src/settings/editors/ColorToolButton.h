// ColorToolButton.h: a colour swatch button with the colour's rgba text beside it.
#pragma once

#include <QColor>
#include <QWidget>

#include <functional>

class QLabel;
class QToolButton;

// Clicking the swatch asks for a new colour (with its opacity); a chosen colour is shown and
// announced with colorChanged, a cancelled choice changes nothing. GUI thread.
class ColorToolButton : public QWidget
{
    Q_OBJECT

public:
    // Asks the user for a colour, starting at `initial`; an invalid result means cancelled. The
    // dialog is given `parent`, so that it stays above the (frameless) window it belongs to.
    using ColorProvider = std::function<QColor(QWidget *parent, const QColor &initial)>;

    explicit ColorToolButton(QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    // Replaces the colour dialog (QColorDialog by default).
    void setColorProvider(ColorProvider provider);

    QToolButton *button() const { return m_button; }
    QLabel *label() const { return m_label; }

signals:
    void colorChanged(const QColor &color);

protected:
    void changeEvent(QEvent *event) override;

private:
    void chooseColor();
    void retranslate();

    QToolButton *m_button = nullptr;
    QLabel *m_label = nullptr;
    QColor m_color = QColor(Qt::white);
    ColorProvider m_provider;
};
