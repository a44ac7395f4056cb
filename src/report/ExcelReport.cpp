#include "report/ExcelReport.h"

#include "report/ReportExporter.h"
#include "report/ReportXml.h"

#include <QCoreApplication>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>

using namespace ReportXml;

namespace {

const QRegularExpression::PatternOptions kDotAll = QRegularExpression::DotMatchesEverythingOption;
constexpr int kTitleRow = 19;
constexpr int kDataRow = 20;

QString translated(const char *text)
{
    return QCoreApplication::translate("ReportExporter", text);
}

// The shared-string table, to which every inserted text is appended as a new entry.
class SharedStrings
{
public:
    explicit SharedStrings(const QString &xml)
        : m_xml(xml)
    {
        static const QRegularExpression entry(QStringLiteral("<si\\b"));
        auto it = entry.globalMatch(m_xml);
        while (it.hasNext()) {
            it.next();
            ++m_existing;
        }
    }

    // Index of a new entry holding text (already XML character data).
    int add(const QString &text)
    {
        m_added += QStringLiteral("<si><t xml:space=\"preserve\">%1</t></si>").arg(text);
        return m_existing + m_addedCount++;
    }

    QString finish() const
    {
        if (m_addedCount == 0)
            return m_xml;
        QString xml = m_xml;
        static const QRegularExpression open(QStringLiteral("<sst\\b[^>]*?(/?)>"));
        const auto match = open.match(xml);
        if (!match.hasMatch())
            return xml;
        QString tag = match.captured();
        const bool selfClosing = !match.captured(1).isEmpty();
        if (selfClosing)
            tag = tag.left(tag.size() - 2) + '>';
        static const QRegularExpression count(QStringLiteral("\\scount=\"(\\d+)\""));
        static const QRegularExpression unique(QStringLiteral("\\suniqueCount=\"(\\d+)\""));
        const auto oldCount = count.match(tag);
        const int total =
            (oldCount.hasMatch() ? oldCount.captured(1).toInt() : m_existing) + m_addedCount;
        const int uniqueTotal = m_existing + m_addedCount;
        auto setAttribute = [&tag](const QRegularExpression &pattern, const QString &name,
                                   int value) {
            const QString attribute = QStringLiteral(" %1=\"%2\"").arg(name).arg(value);
            if (pattern.match(tag).hasMatch())
                tag.replace(pattern, attribute);
            else
                tag.insert(tag.size() - 1, attribute);
        };
        setAttribute(count, QStringLiteral("count"), total);
        setAttribute(unique, QStringLiteral("uniqueCount"), uniqueTotal);
        if (selfClosing) {
            xml.replace(match.capturedStart(), match.capturedLength(), tag + m_added + "</sst>");
        } else {
            xml.replace(match.capturedStart(), match.capturedLength(), tag);
            const int close = xml.lastIndexOf(QLatin1String("</sst>"));
            xml.insert(close < 0 ? xml.size() : close, m_added);
        }
        return xml;
    }

private:
    QString m_xml;
    QString m_added;
    int m_existing = 0;
    int m_addedCount = 0;
};

struct Cell
{
    int column;
    QString xml;
};

struct Row
{
    QString open; // opening tag without "/" and without spans
    QList<Cell> cells;
};

const QRegularExpression &cellReference()
{
    static const QRegularExpression pattern(QStringLiteral("\\br=\"([A-Z]+)(\\d+)\""));
    return pattern;
}

Row parseRow(const QString &xml)
{
    static const QRegularExpression cellPattern(QStringLiteral("<c\\b[^>]*?/>|<c\\b[^>]*>.*?</c>"),
                                                kDotAll);
    static const QRegularExpression spans(QStringLiteral("\\sspans=\"[^\"]*\""));
    Row row;
    const int openEnd = xml.indexOf('>');
    row.open = xml.left(openEnd + 1);
    if (row.open.endsWith(QLatin1String("/>")))
        row.open = row.open.left(row.open.size() - 2) + '>';
    // Column spans are a hint that no longer holds once cells are added.
    row.open.remove(spans);
    int next = 0;
    auto it = cellPattern.globalMatch(xml, openEnd + 1);
    while (it.hasNext()) {
        const QString cell = it.next().captured();
        const auto reference = cellReference().match(cell.left(cell.indexOf('>')));
        const int column = reference.hasMatch() ? columnIndex(reference.captured(1)) : next;
        row.cells.append({column, cell});
        next = column + 1;
    }
    return row;
}

QString rowXml(const Row &row)
{
    QString xml = row.open;
    for (const Cell &cell : row.cells)
        xml += cell.xml;
    return xml + QLatin1String("</row>");
}

void renumberRow(Row *row, int number)
{
    static const QRegularExpression rowNumber(QStringLiteral("\\br=\"\\d+\""));
    if (rowNumber.match(row->open).hasMatch())
        row->open.replace(rowNumber, QStringLiteral("r=\"%1\"").arg(number));
    else
        row->open.insert(row->open.size() - 1, QStringLiteral(" r=\"%1\"").arg(number));
    for (Cell &cell : row->cells) {
        const QString reference =
            QStringLiteral("r=\"%1%2\"").arg(columnName(cell.column)).arg(number);
        const int openEnd = cell.xml.indexOf('>');
        QString open = cell.xml.left(openEnd + 1);
        if (cellReference().match(open).hasMatch())
            open.replace(cellReference(), reference);
        else
            open.insert(2, ' ' + reference);
        cell.xml = open + cell.xml.mid(openEnd + 1);
    }
}

// Writes values into the row as shared-string cells, keeping each template cell's style.
void setCells(Row *row, int number, const QStringList &values, SharedStrings *strings)
{
    static const QRegularExpression style(QStringLiteral("\\ss=\"(\\d+)\""));
    for (int column = 0; column < values.size(); ++column) {
        const int index = strings->add(escapeXml(values.at(column)));
        auto found = std::find_if(row->cells.begin(), row->cells.end(),
                                  [column](const Cell &cell) { return cell.column == column; });
        QString styleAttribute;
        if (found != row->cells.end()) {
            const auto match = style.match(found->xml.left(found->xml.indexOf('>')));
            if (match.hasMatch())
                styleAttribute = QStringLiteral(" s=\"%1\"").arg(match.captured(1));
        }
        const QString xml = QStringLiteral("<c r=\"%1%2\"%3 t=\"s\"><v>%4</v></c>")
                                .arg(columnName(column))
                                .arg(number)
                                .arg(styleAttribute)
                                .arg(index);
        if (found != row->cells.end()) {
            found->xml = xml;
        } else {
            auto after = std::find_if(row->cells.begin(), row->cells.end(),
                                      [column](const Cell &cell) { return cell.column > column; });
            row->cells.insert(after, {column, xml});
        }
    }
}

// Rewrites "A1:C3"-style references of pattern matches whose rows lie below the data template
// row, moving them down by added rows; the callback builds each replacement.
QString shiftRanges(const QString &xml, const QRegularExpression &pattern, int added,
                    const std::function<QString(const QRegularExpressionMatch &, int, int)> &build)
{
    QString out;
    int position = 0;
    auto it = pattern.globalMatch(xml);
    while (it.hasNext()) {
        const auto match = it.next();
        int first = match.captured(2).toInt();
        int last = match.captured(4).isEmpty() ? first : match.captured(4).toInt();
        if (first > kDataRow)
            first += added;
        if (last > kDataRow)
            last += added;
        out += xml.midRef(position, match.capturedStart() - position) + build(match, first, last);
        position = match.capturedEnd();
    }
    out += xml.midRef(position);
    return out;
}

bool fillSheet(QString *sheet, QString *drawing, const ReportData &data, SharedStrings *strings)
{
    static const QRegularExpression sheetData(
        QStringLiteral("<sheetData\\b[^>]*?/>|<sheetData\\b[^>]*>(.*?)</sheetData>"), kDotAll);
    static const QRegularExpression rowPattern(
        QStringLiteral("<row\\b[^>]*?/>|<row\\b[^>]*>.*?</row>"), kDotAll);
    static const QRegularExpression rowNumber(QStringLiteral("\\br=\"(\\d+)\""));

    const auto body = sheetData.match(*sheet);
    if (!body.hasMatch())
        return false;
    QMap<int, Row> rows;
    int next = 1;
    auto it = rowPattern.globalMatch(body.captured(1));
    while (it.hasNext()) {
        const QString xml = it.next().captured();
        const auto number = rowNumber.match(xml.left(xml.indexOf('>')));
        const int r = number.hasMatch() ? number.captured(1).toInt() : next;
        rows.insert(r, parseRow(xml));
        next = r + 1;
    }
    auto rowAt = [&rows](int number) {
        if (!rows.contains(number))
            rows.insert(number, parseRow(QStringLiteral("<row r=\"%1\"/>").arg(number)));
        return rows.value(number);
    };

    const int dataCount = data.rows.size();
    const int added = std::max(dataCount - 1, 0);
    QMap<int, Row> result;
    for (auto row = rows.cbegin(); row != rows.cend(); ++row) {
        if (row.key() == kTitleRow || row.key() == kDataRow)
            continue;
        Row moved = row.value();
        if (row.key() > kDataRow)
            renumberRow(&moved, row.key() + added);
        result.insert(row.key() > kDataRow ? row.key() + added : row.key(), moved);
    }
    Row title = rowAt(kTitleRow);
    renumberRow(&title, kTitleRow);
    setCells(&title, kTitleRow, data.headers, strings);
    result.insert(kTitleRow, title);
    const Row dataTemplate = rowAt(kDataRow);
    if (dataCount == 0)
        result.insert(kDataRow, dataTemplate);
    for (int i = 0; i < dataCount; ++i) {
        Row copy = dataTemplate;
        renumberRow(&copy, kDataRow + i);
        setCells(&copy, kDataRow + i, data.rows.at(i), strings);
        result.insert(kDataRow + i, copy);
    }
    QString rowsXml;
    for (const Row &row : qAsConst(result))
        rowsXml += rowXml(row);
    const QString open = body.captured().left(body.captured().indexOf('>') + 1);
    const QString sheetDataOpen =
        open.endsWith(QLatin1String("/>")) ? open.left(open.size() - 2) + '>' : open;
    sheet->replace(body.capturedStart(), body.capturedLength(),
                   sheetDataOpen + rowsXml + QLatin1String("</sheetData>"));

    // Merged ranges below the table move with their rows; merges inside the data template row
    // are repeated for every copy so that all data rows look alike.
    static const QRegularExpression merge(
        QStringLiteral("<mergeCell ref=\"([A-Z]+)(\\d+):([A-Z]+)(\\d+)\"\\s*/>"));
    QString repeated;
    int repeatedCount = 0;
    *sheet = shiftRanges(
        *sheet, merge, added, [&](const QRegularExpressionMatch &m, int first, int last) {
            if (m.captured(2).toInt() == kDataRow && m.captured(4).toInt() == kDataRow) {
                for (int i = 1; i < dataCount; ++i) {
                    repeated += QStringLiteral("<mergeCell ref=\"%1%2:%3%4\"/>")
                                    .arg(m.captured(1))
                                    .arg(kDataRow + i)
                                    .arg(m.captured(3))
                                    .arg(kDataRow + i);
                    ++repeatedCount;
                }
            }
            return QStringLiteral("<mergeCell ref=\"%1%2:%3%4\"/>")
                .arg(m.captured(1))
                .arg(first)
                .arg(m.captured(3))
                .arg(last);
        });
    if (repeatedCount > 0) {
        static const QRegularExpression mergeCount(
            QStringLiteral("(<mergeCells\\b[^>]*\\scount=\")(\\d+)\""));
        const auto countMatch = mergeCount.match(*sheet);
        if (countMatch.hasMatch())
            sheet->replace(countMatch.capturedStart(), countMatch.capturedLength(),
                           countMatch.captured(1) +
                               QString::number(countMatch.captured(2).toInt() + repeatedCount) +
                               '"');
        const int close = sheet->indexOf(QLatin1String("</mergeCells>"));
        if (close >= 0)
            sheet->insert(close, repeated);
    }

    // The used range grows to cover the table.
    int lastColumn = data.headers.size();
    for (const QStringList &values : data.rows)
        lastColumn = std::max(lastColumn, int(values.size()));
    const int lastTableRow = dataCount > 0 ? kDataRow + dataCount - 1 : kTitleRow;
    static const QRegularExpression dimension(
        QStringLiteral("<dimension ref=\"([A-Z]+)(\\d+)(?::([A-Z]+)(\\d+))?\"\\s*/>"));
    *sheet = shiftRanges(
        *sheet, dimension, added, [&](const QRegularExpressionMatch &m, int first, int last) {
            const QString endLetters = m.captured(3).isEmpty() ? m.captured(1) : m.captured(3);
            const int endColumn = std::max(columnIndex(endLetters), lastColumn - 1);
            return QStringLiteral("<dimension ref=\"%1%2:%3%4\"/>")
                .arg(m.captured(1))
                .arg(first)
                .arg(columnName(endColumn))
                .arg(std::max(last, lastTableRow));
        });

    // Drawings anchored below the table move with the rows (anchor rows count from 0).
    static const QRegularExpression anchorRow(QStringLiteral("<xdr:row>(\\d+)</xdr:row>"));
    QString movedDrawing;
    int position = 0;
    auto anchors = anchorRow.globalMatch(*drawing);
    while (anchors.hasNext()) {
        const auto match = anchors.next();
        const int row = match.captured(1).toInt();
        movedDrawing +=
            drawing->midRef(position, match.capturedStart() - position) +
            QStringLiteral("<xdr:row>%1</xdr:row>").arg(row >= kDataRow ? row + added : row);
        position = match.capturedEnd();
    }
    movedDrawing += drawing->midRef(position);
    *drawing = movedDrawing;
    return true;
}

} // namespace

QString columnName(int index)
{
    QString name;
    for (int n = index + 1; n > 0; n = (n - 1) / 26)
        name.prepend(QChar('A' + (n - 1) % 26));
    return name;
}

int columnIndex(const QString &letters)
{
    if (letters.isEmpty())
        return -1;
    int value = 0;
    for (const QChar c : letters) {
        if (c < 'A' || c > 'Z' || value > 100000)
            return -1;
        value = value * 26 + (c.unicode() - 'A' + 1);
    }
    return value - 1;
}

bool fillExcelPackage(const QString &packageDir, const ReportData &data, const QDateTime &now,
                      QString *error)
{
    const QStringList parts{QStringLiteral("xl/sharedStrings.xml"),
                            QStringLiteral("xl/worksheets/sheet1.xml"),
                            QStringLiteral("xl/drawings/drawing1.xml"),
                            QStringLiteral("xl/drawings/_rels/drawing1.xml.rels")};
    QStringList texts;
    for (const QString &part : parts) {
        bool ok = false;
        texts << readUtf8(packageDir + '/' + part, &ok);
        if (!ok || texts.last().isEmpty()) {
            *error = translated(QT_TRANSLATE_NOOP("ReportExporter", "无法读取 %1"))
                         .arg(part.mid(part.lastIndexOf('/') + 1));
            return false;
        }
    }
    QString &strings = texts[0];
    QString &sheet = texts[1];
    QString &drawing = texts[2];
    QString &rels = texts[3];

    const TextLayout &layout = TextLayout::sheet();
    PlaceholderMap map{
        {QStringLiteral("{{YYYY}}-{{mm}}-{{DD}}-{{HH}}-{{MM}}-{{SS}}"),
         now.toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss"))},
        {QStringLiteral("{{LU}}"), escapeXml(data.lengthUnit)},
    };
    addTablePlaceholders(strings, layout, data.rows, &map);
    SharedStrings table(replaceInUnits(strings, layout, map));
    if (!fillSheet(&sheet, &drawing, data, &table)) {
        *error = translated(QT_TRANSLATE_NOOP("ReportExporter", "无法读取 %1"))
                     .arg(QStringLiteral("sheet1.xml"));
        return false;
    }
    strings = table.finish();

    if (!data.image.isNull()) {
        PictureSlot slot{
            QRegularExpression(QStringLiteral("<xdr:cNvPr[^>]*descr=\"\\{\\{IP\\}\\}\"[^>]*>")),
            QStringLiteral("xdr:pic"),
            {QStringLiteral("xdr:oneCellAnchor"), QStringLiteral("xdr:twoCellAnchor"),
             QStringLiteral("xdr:absoluteAnchor")},
            translated(QT_TRANSLATE_NOOP("ReportExporter", "模板图片占位结构异常")),
            QStringLiteral("../"),
            QStringLiteral("xl")};
        if (!replacePicture(&drawing, &rels, data.image, slot, packageDir, error))
            return false;
    }

    for (int i = 0; i < parts.size(); ++i) {
        if (!writeUtf8(packageDir + '/' + parts.at(i), texts.at(i))) {
            *error = translated(QT_TRANSLATE_NOOP("ReportExporter", "无法写回 %1"))
                         .arg(parts.at(i).mid(parts.at(i).lastIndexOf('/') + 1));
            return false;
        }
    }
    return true;
}
