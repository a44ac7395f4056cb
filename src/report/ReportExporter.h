// ReportExporter.h: fills the Word or Excel report template with the measurements and the picture.
#pragma once

#include "report/ReportData.h"

#include <QDateTime>
#include <QString>

// Writes outputPath (.docx or .xlsx, any letter case) from templateDir + "/quorix.docx" or
// "/quorix.xlsx": the date, time and unit placeholders, the measurement table and the picture
// marked "{{IP}}" are filled in. On failure returns false and, when error is given, stores a
// user-readable message; no output file is left unless packing had started. The temporary
// folder is always removed. Called on the GUI thread; it touches no widget.
bool exportReport(const ReportData &data, const QString &templateDir, const QString &outputPath,
                  QString *error);
// The same with the report time given instead of the current local time.
bool exportReport(const ReportData &data, const QString &templateDir, const QString &outputPath,
                  QString *error, const QDateTime &now);

// Text as XML character data: "&", "<" and ">" become entities; characters that XML 1.0 cannot
// hold (control characters other than tab, line feed and carriage return) are dropped.
QString escapeXml(const QString &text);
