// MessageBoxAnswerer.h: answers the message boxes a test meets, in order, without timers.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QStringList>

// While it lives, every QMessageBox that is shown is answered with the next queued button (or
// with the box's Escape button, then its default button, when the queue is empty). The answer is
// posted to the box's own event loop when the box is shown, so a box opened with exec() or a
// static QMessageBox function is answered as soon as it runs, whatever the machine's speed.
// GUI thread only.
class MessageBoxAnswerer : public QObject
{
public:
    explicit MessageBoxAnswerer(QObject *parent = nullptr);
    ~MessageBoxAnswerer() override;

    // Queues the answers for the next boxes, in order.
    void answer(QMessageBox::StandardButton button);
    void answer(std::initializer_list<QMessageBox::StandardButton> buttons);
    // Queues a click on the button with this text (a box's own buttons), ticking the box's check
    // box first when `tickCheckBox` is set.
    void answerText(const QString &buttonText, bool tickCheckBox = false);

    // The boxes answered so far: their titles and texts, in order.
    QStringList titles() const { return m_titles; }
    QStringList texts() const { return m_texts; }
    int count() const { return m_texts.size(); }
    // Forgets the recorded boxes (the queue stays).
    void clear();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void respond(QMessageBox *box);

    struct Answer
    {
        QMessageBox::StandardButton button = QMessageBox::NoButton;
        QString text; // clicks the button with this text instead, when set
        bool tickCheckBox = false;
    };
    QList<Answer> m_queue;
    QStringList m_titles;
    QStringList m_texts;
};
