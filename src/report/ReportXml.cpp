#include "report/ReportXml.h"

#include "report/ReportExporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVector>

#include <algorithm>

namespace ReportXml {

namespace {

const QRegularExpression::PatternOptions kDotAll = QRegularExpression::DotMatchesEverythingOption;

// Start of the element named tag at or before position, skipping elements whose name merely
// begins with tag (a search for "<xdr:pic" must not stop at "<xdr:picLocks").
int elementStartBefore(const QString &xml, const QString &tag, int position)
{
    int at = xml.lastIndexOf('<' + tag, position);
    while (at >= 0) {
        const int next = at + tag.size() + 1;
        if (next < xml.size() &&
            (xml.at(next) == '>' || xml.at(next) == '/' || xml.at(next).isSpace()))
            return at;
        at = at > 0 ? xml.lastIndexOf('<' + tag, at - 1) : -1;
    }
    return -1;
}

int elementEndAfter(const QString &xml, const QString &tag, int position)
{
    const QString close = "</" + tag + '>';
    const int at = xml.indexOf(close, position);
    return at < 0 ? -1 : at + close.size();
}

QString relationshipId(int number)
{
    return QStringLiteral("rIdReport%1").arg(number);
}

bool ensurePngContentType(const QString &packageDir, QString *error)
{
    const QString path = packageDir + "/[Content_Types].xml";
    bool ok = false;
    QString types = readUtf8(path, &ok);
    if (!ok) {
        *error = QCoreApplication::translate("ReportExporter", "无法读取 %1")
                     .arg(QStringLiteral("[Content_Types].xml"));
        return false;
    }
    static const QRegularExpression png(QStringLiteral("<Default\\s[^>]*Extension=\"png\""),
                                        QRegularExpression::CaseInsensitiveOption);
    if (png.match(types).hasMatch())
        return true;
    const int close = types.lastIndexOf(QLatin1String("</Types>"));
    if (close < 0) {
        *error = QCoreApplication::translate("ReportExporter", "无法读取 %1")
                     .arg(QStringLiteral("[Content_Types].xml"));
        return false;
    }
    types.insert(close, QLatin1String("<Default Extension=\"png\" ContentType=\"image/png\"/>"));
    if (!writeUtf8(path, types)) {
        *error = QCoreApplication::translate("ReportExporter", "无法写回 %1")
                     .arg(QStringLiteral("[Content_Types].xml"));
        return false;
    }
    return true;
}

} // namespace

const TextLayout &TextLayout::word()
{
    static const TextLayout layout{
        QRegularExpression(QStringLiteral("<w:p\\b[^>]*(?<!/)>.*?</w:p>"), kDotAll),
        QRegularExpression(QStringLiteral("(<w:t(?:\\s[^>]*)?(?<!/)>)(.*?)</w:t>"), kDotAll)};
    return layout;
}

const TextLayout &TextLayout::sheet()
{
    static const TextLayout layout{
        QRegularExpression(QStringLiteral("<si\\b[^>]*(?<!/)>.*?</si>"), kDotAll),
        QRegularExpression(QStringLiteral("(<t(?:\\s[^>]*)?(?<!/)>)(.*?)</t>"), kDotAll)};
    return layout;
}

QString readUtf8(const QString &path, bool *ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly);
    if (!*ok)
        return QString();
    const QByteArray bytes = file.readAll();
    *ok = file.error() == QFileDevice::NoError;
    return QString::fromUtf8(bytes);
}

bool writeUtf8(const QString &path, const QString &text)
{
    QFile file(path);
    const QByteArray bytes = text.toUtf8();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

QString joinedText(const QString &xml, const TextLayout &layout)
{
    QString joined;
    auto it = layout.text.globalMatch(xml);
    while (it.hasNext())
        joined += it.next().captured(2);
    return joined;
}

QRegularExpression placeholderPattern(const PlaceholderMap &map)
{
    QStringList keys = map.keys();
    std::sort(keys.begin(), keys.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (QString &key : keys)
        key = QRegularExpression::escape(key);
    return QRegularExpression(keys.join('|'));
}

QString applyPlaceholders(const QString &text, const PlaceholderMap &map,
                          const QRegularExpression &pattern)
{
    if (map.isEmpty() || !text.contains(QLatin1String("{{")))
        return text;
    QString out;
    int position = 0;
    auto it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const auto match = it.next();
        out += text.midRef(position, match.capturedStart() - position);
        out += map.value(match.captured());
        position = match.capturedEnd();
    }
    out += text.midRef(position);
    return out;
}

namespace {

struct TextElement
{
    int start;    // of the opening tag within the unit
    int textEnd;  // end of the character data
    QString open; // opening tag
    QString text; // character data
};

QString withPreservedSpace(const QString &open)
{
    if (open.contains(QLatin1String("xml:space")))
        return open;
    return open.left(open.size() - 1) + QLatin1String(" xml:space=\"preserve\">");
}

QString replaceInUnit(const QString &unit, const TextLayout &layout, const PlaceholderMap &map,
                      const QRegularExpression &pattern)
{
    QVector<TextElement> elements;
    auto it = layout.text.globalMatch(unit);
    while (it.hasNext()) {
        const auto match = it.next();
        elements.append(
            {match.capturedStart(1), match.capturedEnd(2), match.captured(1), match.captured(2)});
    }
    if (elements.isEmpty())
        return unit;
    QString joined;
    for (const TextElement &element : qAsConst(elements))
        joined += element.text;
    const QString replaced = applyPlaceholders(joined, map, pattern);
    if (replaced == joined)
        return unit;

    QStringList texts;
    QString perElement;
    for (const TextElement &element : qAsConst(elements)) {
        texts << applyPlaceholders(element.text, map, pattern);
        perElement += texts.last();
    }
    if (perElement != replaced) {
        // A placeholder spans elements: the first element takes the whole text.
        for (int i = 0; i < texts.size(); ++i)
            texts[i] = i == 0 ? replaced : QString();
    }
    QString out = unit;
    for (int i = elements.size() - 1; i >= 0; --i) {
        const TextElement &element = elements.at(i);
        if (texts.at(i) == element.text)
            continue;
        const QString open =
            texts.at(i).isEmpty() ? element.open : withPreservedSpace(element.open);
        out.replace(element.start, element.textEnd - element.start, open + texts.at(i));
    }
    return out;
}

} // namespace

QString replaceInUnits(const QString &xml, const TextLayout &layout, const PlaceholderMap &map)
{
    if (map.isEmpty())
        return xml;
    const QRegularExpression pattern = placeholderPattern(map);
    QString out;
    int position = 0;
    auto it = layout.unit.globalMatch(xml);
    while (it.hasNext()) {
        const auto match = it.next();
        out += xml.midRef(position, match.capturedStart() - position);
        out += replaceInUnit(match.captured(), layout, map, pattern);
        position = match.capturedEnd();
    }
    out += xml.midRef(position);
    return out;
}

QString tableCell(const QList<QStringList> &rows, qint64 r, qint64 c)
{
    const qint64 row = r > 0 ? r - 1 : rows.size() + r;
    if (r == 0 || row < 0 || row >= rows.size())
        return QString();
    const QStringList &cells = rows.at(int(row));
    if (c < 1 || c > cells.size())
        return QString();
    return cells.at(int(c - 1));
}

void addTablePlaceholders(const QString &xml, const TextLayout &layout,
                          const QList<QStringList> &rows, PlaceholderMap *map)
{
    static const QRegularExpression cell(QStringLiteral("\\{\\{MT\\.1\\.(-?\\d+)\\.(\\d+)\\}\\}"));
    auto units = layout.unit.globalMatch(xml);
    while (units.hasNext()) {
        const QString text = joinedText(units.next().captured(), layout);
        auto found = cell.globalMatch(text);
        while (found.hasNext()) {
            const auto match = found.next();
            bool rowOk = false;
            bool columnOk = false;
            const qint64 r = match.captured(1).toLongLong(&rowOk);
            const qint64 c = match.captured(2).toLongLong(&columnOk);
            map->insert(match.captured(),
                        rowOk && columnOk ? escapeXml(tableCell(rows, r, c)) : QString());
        }
    }
}

void fitExtent(const QSize &image, qint64 *cx, qint64 *cy)
{
    const double a = double(image.width()) / double(std::max(image.height(), 1));
    const double b = double(*cx) / double(*cy >= 2 ? *cy : 1);
    if (a > b)
        *cy = qint64(double(*cx) / a);
    else if (b > a)
        *cx = qint64(double(*cy) * a);
}

bool replacePicture(QString *part, QString *rels, const QImage &image, const PictureSlot &slot,
                    const QString &packageDir, QString *error)
{
    const auto marker = slot.marker.match(*part);
    if (!marker.hasMatch())
        return true;
    int start = elementStartBefore(*part, slot.regionTag, marker.capturedStart());
    int end = elementEndAfter(*part, slot.regionTag, marker.capturedEnd());
    // The marker must lie inside the region, not after an earlier, already closed one.
    const int closedBefore = start < 0 ? -1 : elementEndAfter(*part, slot.regionTag, start);
    if (start < 0 || end < 0 || closedBefore <= marker.capturedStart()) {
        *error = slot.structureError;
        return false;
    }
    for (const QString &anchor : slot.anchorTags) {
        const int anchorStart = elementStartBefore(*part, anchor, start);
        if (anchorStart < 0)
            continue;
        const int anchorEnd = elementEndAfter(*part, anchor, anchorStart);
        if (anchorEnd >= end) {
            start = anchorStart;
            end = anchorEnd;
            break;
        }
    }
    QString region = part->mid(start, end - start);

    static const QRegularExpression embed(QStringLiteral("r:embed=\"([^\"]+)\""));
    if (!embed.match(region).hasMatch()) {
        *error = QCoreApplication::translate("ReportExporter", "模板图片占位缺少 r:embed");
        return false;
    }
    int number = 1;
    while (rels->contains(QStringLiteral("Id=\"%1\"").arg(relationshipId(number))))
        ++number;
    const QString id = relationshipId(number);
    const QString media = QStringLiteral("media/fused%1.png").arg(number);

    region.replace(embed, QStringLiteral("r:embed=\"%1\"").arg(id));
    region.replace(QLatin1String("descr=\"{{IP}}\""),
                   QStringLiteral("descr=\"fused%1\"").arg(number));

    // The placeholder's box: the outer extent of the drawing, else the picture's own size.
    static const QRegularExpression outer(
        QStringLiteral("<(wp:extent|xdr:ext) cx=\"(\\d+)\" cy=\"(\\d+)\"\\s*/>"));
    static const QRegularExpression inner(
        QStringLiteral("<a:ext cx=\"(\\d+)\" cy=\"(\\d+)\"\\s*/>"));
    qint64 cx = 0;
    qint64 cy = 0;
    const auto box = outer.match(region);
    const auto shape = inner.match(region);
    if (box.hasMatch()) {
        cx = box.captured(2).toLongLong();
        cy = box.captured(3).toLongLong();
    } else if (shape.hasMatch()) {
        cx = shape.captured(1).toLongLong();
        cy = shape.captured(2).toLongLong();
    }
    if (box.hasMatch() || shape.hasMatch()) {
        fitExtent(image.size(), &cx, &cy);
        region.replace(outer, QStringLiteral("<\\1 cx=\"%1\" cy=\"%2\"/>").arg(cx).arg(cy));
        // The picture shape keeps the same size as its frame so that no reader stretches it.
        region.replace(inner, QStringLiteral("<a:ext cx=\"%1\" cy=\"%2\"/>").arg(cx).arg(cy));
        if (!box.hasMatch() && region.startsWith(QLatin1String("<xdr:twoCellAnchor"))) {
            // A picture stretched between two cells cannot keep its proportions; it is anchored
            // at its first cell with the fitted size instead.
            static const QRegularExpression twoCell(QStringLiteral("^<xdr:twoCellAnchor\\b[^>]*>"));
            static const QRegularExpression to(QStringLiteral("<xdr:to>.*?</xdr:to>"), kDotAll);
            region.replace(twoCell, QStringLiteral("<xdr:oneCellAnchor>"));
            region.replace(to, QStringLiteral("<xdr:ext cx=\"%1\" cy=\"%2\"/>").arg(cx).arg(cy));
            region.replace(QLatin1String("</xdr:twoCellAnchor>"),
                           QLatin1String("</xdr:oneCellAnchor>"));
        }
    }
    part->replace(start, end - start, region);

    const int close = rels->lastIndexOf(QLatin1String("</Relationships>"));
    if (close < 0) {
        *error = slot.structureError;
        return false;
    }
    rels->insert(close,
                 QStringLiteral("<Relationship Id=\"%1\" Type=\"http://schemas.openxmlformats.org/"
                                "officeDocument/2006/relationships/image\" Target=\"%2%3\"/>")
                     .arg(id, slot.relationshipPrefix, media));

    const QString file = packageDir + '/' + slot.mediaFolder + '/' + media;
    if (!QDir().mkpath(QFileInfo(file).path()) || !image.save(file, "PNG")) {
        *error = QCoreApplication::translate("ReportExporter", "无法写入媒体文件");
        return false;
    }
    return ensurePngContentType(packageDir, error);
}

} // namespace ReportXml
