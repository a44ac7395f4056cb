// MeasurementCsv.h: the CSV form of the measurement table (UTF-8 with byte-order mark).
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace MeasurementCsv {

// The field as written: inside double quotes, with inner quotes doubled, when it holds a comma,
// a double quote, a line feed or a carriage return; otherwise unchanged. A field that a
// spreadsheet would run as a formula (it starts with = + - @, a tab or a carriage return and is
// not a number) gets a leading apostrophe.
QString field(const QString &text);

// The byte-order mark, the header line and one line per row, fields joined with ",", every line
// ended by a line feed, all in UTF-8.
QByteArray document(const QStringList &header, const QList<QStringList> &rows);

// The chosen file name with ".csv" appended unless it already ends so (in any letter case).
QString withCsvSuffix(const QString &path);

// Writes the document to `path` through a temporary file that replaces the target only when
// everything was written; on failure `error` receives the reason.
bool write(const QString &path, const QStringList &header, const QList<QStringList> &rows,
           QString *error);

} // namespace MeasurementCsv
