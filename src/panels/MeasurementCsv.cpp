// MeasurementCsv.cpp: quoting, document layout and the atomic write of the table's CSV.
#include "panels/MeasurementCsv.h"

#include <QSaveFile>

namespace MeasurementCsv {

QString field(const QString &text)
{
    QString plain = text;
    // A spreadsheet runs a field that starts with = + - @, a tab or a carriage return as a
    // formula: such a field that is not a number is written after an apostrophe, which keeps it
    // text. Negative values stay numbers.
    if (!plain.isEmpty() && QStringLiteral("=+-@\t\r").contains(plain.front())) {
        bool number = false;
        plain.toDouble(&number);
        if (!number)
            plain.prepend(QLatin1Char('\''));
    }
    if (!plain.contains(QLatin1Char(',')) && !plain.contains(QLatin1Char('"')) &&
        !plain.contains(QLatin1Char('\n')) && !plain.contains(QLatin1Char('\r')))
        return plain;
    QString quoted = plain;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

static QString line(const QStringList &fields)
{
    QStringList out;
    out.reserve(fields.size());
    for (const QString &f : fields)
        out << field(f);
    return out.join(QLatin1Char(','));
}

QByteArray document(const QStringList &header, const QList<QStringList> &rows)
{
    QStringList lines;
    lines << line(header);
    for (const QStringList &row : rows)
        lines << line(row);
    return QString(QChar(0xFEFF) + lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

QString withCsvSuffix(const QString &path)
{
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return path;
    return path + QLatin1String(".csv");
}

bool write(const QString &path, const QStringList &header, const QList<QStringList> &rows,
           QString *error)
{
    // Unbuffered: a buffered write that the disk cuts short is flushed by commit() without an
    // error, and a cut-off table would be reported as written.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray bytes = document(header, rows);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace MeasurementCsv
