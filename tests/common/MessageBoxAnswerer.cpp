// MessageBoxAnswerer.cpp: answers shown message boxes from a queue of buttons.
#include "MessageBoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
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
    m_queue.append({button, QString(), false});
}

void MessageBoxAnswerer::answer(std::initializer_list<QMessageBox::StandardButton> buttons)
{
    for (const QMessageBox::StandardButton button : buttons)
        answer(button);
}

void MessageBoxAnswerer::answerText(const QString &buttonText, bool tickCheckBox)
{
    m_queue.append({QMessageBox::NoButton, buttonText, tickCheckBox});
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
    if (!m_queue.isEmpty()) {
        const Answer answer = m_queue.takeFirst();
        if (answer.tickCheckBox && box->checkBox())
            box->checkBox()->setChecked(true);
        if (answer.text.isEmpty()) {
            button = box->button(answer.button);
        } else {
            for (QAbstractButton *candidate : box->buttons())
                if (candidate->text() == answer.text)
                    button = candidate;
        }
    }
    if (!button)
        button = box->escapeButton();
    if (!button)
        button = box->defaultButton();
    if (button)
        button->click();
    else
        box->done(0);
}
