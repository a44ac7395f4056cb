// SettingDialogShortcuts.cpp: capturing a shortcut in a field, refusing one already in use, and
// the mouse and keyboard handling of the tool table.
#include "settings/dialog/SettingDialog.h"

#include "ui_SettingDialog.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>

namespace {

// Keys the canvas handles itself; a window shortcut on them would take them away from it.
struct ReservedKey
{
    QKeySequence sequence;
    const char *action;
};

const QList<ReservedKey> &reservedKeys()
{
    static const QList<ReservedKey> keys = {
        {QKeySequence(Qt::Key_Delete), QT_TRANSLATE_NOOP("SettingDialog", "删除选中的测量")},
        {QKeySequence(Qt::CTRL | Qt::Key_D), QT_TRANSLATE_NOOP("SettingDialog", "删除选中的测量")},
        {QKeySequence(Qt::CTRL | Qt::Key_A), QT_TRANSLATE_NOOP("SettingDialog", "全选")},
    };
    return keys;
}

bool isBareModifier(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_unknown:
        return true;
    default:
        return false;
    }
}

} // namespace

bool SettingDialog::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == ui->tableWidgetToolAttr->viewport() &&
        (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QModelIndex index = ui->tableWidgetToolAttr->indexAt(mouse->pos());
        if (index.isValid() && index.column() == 1) {
            ui->tableWidgetToolAttr->setCurrentCell(index.row(), 1);
            if (type == QEvent::MouseButtonDblClick) {
                editToolCell(index.row());
                return true;
            }
        }
        return DialogLessWindow::eventFilter(watched, event);
    }
    // Enter (or F2) on a row of the tool table edits its value as a double-click does, instead of
    // closing the whole dialog through its default button.
    if (watched == ui->tableWidgetToolAttr && type == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const int row = ui->tableWidgetToolAttr->currentRow();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) && row >= 0) {
            editToolCell(row);
            return true;
        }
    }

    if (type == QEvent::MouseButtonPress) {
        for (const ShortcutRow &row : qAsConst(m_shortcuts)) {
            // A field that still shows a shortcut is emptied with its clear button first.
            if (watched == row.edit && row.edit->text().isEmpty()) {
                startCapture(row.edit);
                break;
            }
        }
    }
    if (!m_capturing)
        return DialogLessWindow::eventFilter(watched, event);
    switch (type) {
    case QEvent::ShortcutOverride:
        // Accepted: the key reaches the field as a key press instead of firing a shortcut.
        event->accept();
        return true;
    case QEvent::Shortcut:
        return true;
    case QEvent::KeyPress:
        if (watched == m_capturing)
            return captureKey(static_cast<QKeyEvent *>(event));
        break;
    default:
        break;
    }
    return DialogLessWindow::eventFilter(watched, event);
}

void SettingDialog::startCapture(QLineEdit *edit)
{
    if (m_capturing && m_capturing != edit)
        stopCapture();
    m_capturing = edit;
    edit->setPlaceholderText(tr("按下快捷键组合..."));
    edit->clear();
    edit->setFocus(Qt::MouseFocusReason);
    edit->grabKeyboard();
}

void SettingDialog::stopCapture()
{
    if (!m_capturing)
        return;
    m_capturing->releaseKeyboard();
    m_capturing->setPlaceholderText(QString());
    m_capturing = nullptr;
}

bool SettingDialog::captureKey(QKeyEvent *event)
{
    const int key = event->key();
    if (isBareModifier(key))
        return true;
    // Escape backs out of the capture, leaving the field empty; it never becomes a shortcut (it
    // also leaves the main window's full screen).
    if (key == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        stopCapture();
        return true;
    }
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const QKeySequence sequence(key | int(modifiers));
    QLineEdit *edit = m_capturing;
    const QString owner = shortcutOwner(sequence, edit);
    stopCapture();
    if (owner.isEmpty()) {
        edit->setText(sequence.toString(QKeySequence::PortableText));
        return true;
    }
    // Two equal shortcuts make Qt fire neither, so the second one is refused.
    QMessageBox::warning(this, tr("快捷键冲突"),
                         tr("快捷键 %1 已被“%2”使用，请按其他组合键。")
                             .arg(sequence.toString(QKeySequence::NativeText), owner));
    startCapture(edit);
    return true;
}

QString SettingDialog::shortcutOwner(const QKeySequence &sequence, const QLineEdit *except) const
{
    for (const ShortcutRow &row : m_shortcuts) {
        // A field may hold several sequences ("Ctrl+Shift+Z; Ctrl+Y").
        if (row.edit != except &&
            QKeySequence::listFromString(row.edit->text(), QKeySequence::PortableText)
                .contains(sequence))
            return tr(row.actionName);
    }
    for (const ReservedKey &reserved : reservedKeys()) {
        if (reserved.sequence == sequence)
            return tr(reserved.action);
    }
    return QString();
}

void SettingDialog::clearShortcut(QLineEdit *edit)
{
    if (m_capturing == edit)
        stopCapture();
    edit->clear();
    edit->setPlaceholderText(QString());
}
