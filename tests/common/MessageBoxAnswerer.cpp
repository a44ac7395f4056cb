// MessageBoxAnswerer.cpp: answers shown message boxes from a queue of buttons.
#include "MessageBoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

MessageBoxAnswerer::MessageBoxAnswerer(QObject *parent)
    : QObject(parent)
{
    qApp->installEventFilter(this);
}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    qApp->removeEventFilter(this);
}

void MessageBoxAnswerer::answer(QMessageBox::StandardButton button)
{
    m_queue.append(button);
}

void MessageBoxAnswerer::answer(std::initializer_list<QMessageBox::StandardButton> buttons)
{
    for (const QMessageBox::StandardButton button : buttons)
        m_queue.append(button);
}

void MessageBoxAnswerer::clear()
{
    m_titles.clear();
    m_texts.clear();
}

bool MessageBoxAnswerer::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            QPointer<QMessageBox> guarded(box);
            // Queued: the box answers from inside its own event loop, once it runs.
            QTimer::singleShot(0, this, [this, guarded] {
                if (guarded && guarded->isVisible())
                    respond(guarded);
            });
        }
    }
    return QObject::eventFilter(watched, event);
}

void MessageBoxAnswerer::respond(QMessageBox *box)
{
    m_titles.append(box->windowTitle());
    m_texts.append(box->text());
    QAbstractButton *button = nullptr;
    if (!m_queue.isEmpty())
        button = box->button(m_queue.takeFirst());
    if (!button)
        button = box->escapeButton();
    if (!button)
        button = box->defaultButton();
    if (button)
        button->click();
    else
        box->done(0);
}
