// ColorToolButton.cpp: the colour swatch button.
#include "settings/editors/ColorToolButton.h"

#include <QColorDialog>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

ColorToolButton::ColorToolButton(QWidget *parent)
    : QWidget(parent)
    , m_button(new QToolButton(this))
    , m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("colorToolButton"));
    m_button->setObjectName(QStringLiteral("toolButtonColor"));
    m_label->setObjectName(QStringLiteral("labelColor"));
    m_button->setFixedSize(20, 20);
    // A plain QWidget ignores a style sheet's background: without this the cell's own painting
    // shows through around the swatch. The rgba text is black, readable on the gray in any theme.
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral(
        "QWidget{background: gray; border: 1px solid black;} QToolButton,QLabel{border: none;} "
        "QLabel{color: black;}"));
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(10);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_button);
    layout->addWidget(m_label);
    layout->addStretch();
    setFocusProxy(m_button);
    connect(m_button, &QToolButton::clicked, this, &ColorToolButton::chooseColor);
    setColor(m_color);
    retranslate();
}

void ColorToolButton::setColor(const QColor &color)
{
    m_color = color;
    m_button->setStyleSheet(QStringLiteral("background: %1").arg(color.name(QColor::HexArgb)));
    m_label->setText(QStringLiteral("rgba(%1,%2,%3,%4)")
                         .arg(color.red())
                         .arg(color.green())
                         .arg(color.blue())
                         .arg(color.alpha()));
}

void ColorToolButton::setColorProvider(ColorProvider provider)
{
    m_provider = std::move(provider);
}

void ColorToolButton::chooseColor()
{
    // Opacity is part of every style colour, so the dialog offers it: a dialog without it would
    // return every colour opaque and silently drop the alpha the user had set.
    const QColor chosen = m_provider ? m_provider(window(), m_color)
                                     : QColorDialog::getColor(m_color, window(), QString(),
                                                              QColorDialog::ShowAlphaChannel);
    if (!chosen.isValid())
        return;
    setColor(chosen);
    emit colorChanged(chosen);
}

void ColorToolButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void ColorToolButton::retranslate()
{
    m_button->setAccessibleName(tr("选择颜色"));
    m_button->setAccessibleDescription(tr("打开颜色对话框选择新的颜色"));
    m_button->setToolTip(tr("选择颜色"));
    m_label->setAccessibleName(tr("当前颜色"));
}
