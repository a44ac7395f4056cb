// ReplaceQuestion.h: the question before a save replaces a file that its save dialog did not
// ask about.
#pragma once

#include <QString>

class QWidget;

namespace ReplaceQuestion {

// True when `path` may be written: no file is there, the save dialog returned this very name
// (`asked`; the dialog asked about replacing it then), or the user answers Yes to "<path> already
// exists. Do you want to replace it?". A suffix added to the typed name names a file the dialog
// never saw.
bool mayReplace(QWidget *parent, const QString &path, const QString &asked, const QString &title);

} // namespace ReplaceQuestion
