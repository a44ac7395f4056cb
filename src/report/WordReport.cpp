#include "report/WordReport.h"

#include "report/ReportExporter.h"
#include "report/ReportXml.h"

#include <QCoreApplication>
#include <QRegularExpression>

using namespace ReportXml;

namespace {

const QRegularExpression::PatternOptions kDotAll = QRegularExpression::DotMatchesEverythingOption;

QString translated(const char *text)
{
    return QCoreApplication::translate("ReportExporter", text);
}

// Fills the cells of one table row: cell i receives values[i] in place of placeholder, or as a
// new run when the cell is empty. Cells beyond the values lose the placeholder but keep any
// other text.
QString fillRow(const QString &row, const QStringList &values, const QString &placeholder)
{
    static const QRegularExpression cellPattern(QStringLiteral("<w:tc\\b[^>]*(?<!/)>.*?</w:tc>"),
                                                kDotAll);
    const TextLayout &layout = TextLayout::word();
    QString out;
    int position = 0;
    int index = 0;
    auto it = cellPattern.globalMatch(row);
    while (it.hasNext()) {
        const auto match = it.next();
        QString cell = match.captured();
        const QString value = index < values.size() ? escapeXml(values.at(index)) : QString();
        if (!joinedText(cell, layout).isEmpty()) {
            cell = replaceInUnits(cell, layout, {{placeholder, value}});
        } else if (!value.isEmpty()) {
            const QString run =
                QStringLiteral("<w:r><w:t xml:space=\"preserve\">%1</w:t></w:r>").arg(value);
            static const QRegularExpression emptyParagraph(QStringLiteral("<w:p(\\b[^>]*)/>"));
            const int close = cell.indexOf(QLatin1String("</w:p>"));
            const auto empty = emptyParagraph.match(cell);
            if (empty.hasMatch() && (close < 0 || empty.capturedStart() < close))
                cell.replace(empty.capturedStart(), empty.capturedLength(),
                             QStringLiteral("<w:p%1>%2</w:p>").arg(empty.captured(1), run));
            else if (close >= 0)
                cell.insert(close, run);
        }
        out += row.midRef(position, match.capturedStart() - position) + cell;
        position = match.capturedEnd();
        ++index;
    }
    out += row.midRef(position);
    return out;
}

// The measurement table: the first table that holds "{{MH}}" or "{{MT}}", else the first table.
bool fillTable(QString *document, const ReportData &data, QString *error)
{
    static const QRegularExpression tablePattern(QStringLiteral("<w:tbl\\b[^>]*(?<!/)>.*?</w:tbl>"),
                                                 kDotAll);
    static const QRegularExpression rowPattern(QStringLiteral("<w:tr\\b[^>]*(?<!/)>.*?</w:tr>"),
                                               kDotAll);
    QRegularExpressionMatch table;
    auto tables = tablePattern.globalMatch(*document);
    while (tables.hasNext()) {
        const auto match = tables.next();
        if (!table.hasMatch())
            table = match;
        const QString text = joinedText(match.captured(), TextLayout::word());
        if (text.contains(QLatin1String("{{MH}}")) || text.contains(QLatin1String("{{MT}}"))) {
            table = match;
            break;
        }
    }
    if (!table.hasMatch())
        return true;

    const QString tableXml = table.captured();
    QList<QRegularExpressionMatch> rows;
    auto it = rowPattern.globalMatch(tableXml);
    while (it.hasNext() && rows.size() < 2)
        rows.append(it.next());
    if (rows.size() < 2) {
        *error = translated(
            QT_TRANSLATE_NOOP("ReportExporter", "模板表格行数不足（需 {{MH}} 与 {{MT}} 两行）"));
        return false;
    }

    const QString titleRow = fillRow(rows.at(0).captured(), data.headers, QStringLiteral("{{MH}}"));
    QString dataRows;
    const QString templateRow = rows.at(1).captured();
    if (data.rows.isEmpty())
        dataRows = fillRow(templateRow, QStringList(), QStringLiteral("{{MT}}"));
    for (const QStringList &values : data.rows)
        dataRows += fillRow(templateRow, values, QStringLiteral("{{MT}}"));

    QString filled = tableXml;
    filled.replace(rows.at(1).capturedStart(), rows.at(1).capturedLength(), dataRows);
    filled.replace(rows.at(0).capturedStart(), rows.at(0).capturedLength(), titleRow);
    document->replace(table.capturedStart(), table.capturedLength(), filled);
    return true;
}

} // namespace

bool fillWordPackage(const QString &packageDir, const ReportData &data, const QDateTime &now,
                     QString *error)
{
    const QString documentPath = packageDir + "/word/document.xml";
    const QString relsPath = packageDir + "/word/_rels/document.xml.rels";
    bool ok = false;
    QString document = readUtf8(documentPath, &ok);
    if (!ok || document.isEmpty()) {
        *error = translated(QT_TRANSLATE_NOOP("ReportExporter", "无法读取 document.xml"));
        return false;
    }
    QString rels = readUtf8(relsPath, &ok);
    if (!ok || rels.isEmpty()) {
        *error = translated(QT_TRANSLATE_NOOP("ReportExporter", "无法读取 document.xml.rels"));
        return false;
    }

    const TextLayout &layout = TextLayout::word();
    PlaceholderMap map{
        {QStringLiteral("{{YYYY}}"), now.toString(QStringLiteral("yyyy"))},
        {QStringLiteral("{{mm}}"), now.toString(QStringLiteral("MM"))},
        {QStringLiteral("{{DD}}"), now.toString(QStringLiteral("dd"))},
        {QStringLiteral("{{HH}}"), now.toString(QStringLiteral("HH"))},
        {QStringLiteral("{{MM}}"), now.toString(QStringLiteral("mm"))},
        {QStringLiteral("{{SS}}"), now.toString(QStringLiteral("ss"))},
        {QStringLiteral("{{LU}}"), escapeXml(data.lengthUnit)},
    };
    addTablePlaceholders(document, layout, data.rows, &map);
    document = replaceInUnits(document, layout, map);

    if (!fillTable(&document, data, error))
        return false;

    if (!data.image.isNull()) {
        PictureSlot slot{
            QRegularExpression(QStringLiteral("<wp:docPr[^>]*descr=\"\\{\\{IP\\}\\}\"[^>]*>")),
            QStringLiteral("w:drawing"),
            {},
            translated(QT_TRANSLATE_NOOP("ReportExporter", "模板图片占位结构异常（缺少 drawing）")),
            QString(),
            QStringLiteral("word")};
        if (!replacePicture(&document, &rels, data.image, slot, packageDir, error))
            return false;
    }

    if (!writeUtf8(documentPath, document)) {
        *error = translated(QT_TRANSLATE_NOOP("ReportExporter", "无法写回 document.xml"));
        return false;
    }
    if (!writeUtf8(relsPath, rels)) {
        *error = translated(QT_TRANSLATE_NOOP("ReportExporter", "无法写回 document.xml.rels"));
        return false;
    }
    return true;
}
