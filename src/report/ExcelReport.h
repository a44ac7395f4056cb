// ExcelReport.h: fills an unpacked Excel report template in place.
#pragma once

#include "report/ReportData.h"

#include <QDateTime>
#include <QString>

// Edits the shared strings, the first worksheet (titles in row 19, data from row 20, later rows
// moved down), its drawing and the drawing's relationships below packageDir. False with *error
// set on failure.
bool fillExcelPackage(const QString &packageDir, const ReportData &data, const QDateTime &now,
                      QString *error);

// Spreadsheet column letters: 0 → "A", 25 → "Z", 26 → "AA"; and back (-1 for an invalid text).
QString columnName(int index);
int columnIndex(const QString &letters);
