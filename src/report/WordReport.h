// WordReport.h: fills an unpacked Word report template in place.
#pragma once

#include "report/ReportData.h"

#include <QDateTime>
#include <QString>

// Edits word/document.xml (placeholders, measurement table, picture) and its relationships
// below packageDir. False with *error set on failure.
bool fillWordPackage(const QString &packageDir, const ReportData &data, const QDateTime &now,
                     QString *error);
