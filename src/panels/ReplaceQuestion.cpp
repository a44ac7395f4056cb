// ReplaceQuestion.cpp: asks before a file the save dialog did not ask about is replaced.
#include "panels/ReplaceQuestion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace ReplaceQuestion {

bool mayReplace(QWidget *parent, const QString &path, const QString &asked, const QString &title)
{
    if (path == asked || !QFileInfo::exists(path))
        return true;
    const QString text = QCoreApplication::translate("ReplaceQuestion", "%1 已存在。\n要替换它吗？")
                             .arg(QDir::toNativeSeparators(path));
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

} // namespace ReplaceQuestion
