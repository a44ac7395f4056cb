// ReportXml.h: text-level editing of Office Open XML parts shared by the Word and Excel reports.
#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace ReportXml {

// Where the text of a document lives: units (Word paragraphs, spreadsheet shared strings) made of
// text elements whose group 1 is the opening tag and group 2 the character data.
struct TextLayout
{
    QRegularExpression unit;
    QRegularExpression text;

    static const TextLayout &word();
    static const TextLayout &sheet();
};

// Placeholder → replacement, both as XML character data.
using PlaceholderMap = QHash<QString, QString>;

QString readUtf8(const QString &path, bool *ok);
bool writeUtf8(const QString &path, const QString &text);

// The joined character data of every text element in xml.
QString joinedText(const QString &xml, const TextLayout &layout);

// Replaces every key of map in text in one pass (replacements are never searched again);
// pattern is placeholderPattern(map), built once for many texts.
QString applyPlaceholders(const QString &text, const PlaceholderMap &map,
                          const QRegularExpression &pattern);
// One pattern matching every key of map, longer keys first.
QRegularExpression placeholderPattern(const PlaceholderMap &map);

// Replaces the placeholders of every unit. Keys that lie inside one text element are replaced
// there, keeping the formatting of every run; when a key is split over several elements the
// unit's first element receives the whole new text and the others are emptied.
QString replaceInUnits(const QString &xml, const TextLayout &layout, const PlaceholderMap &map);

// The cell text for a table placeholder: row r from 1 (negative from the end) and column c from
// 1; empty when either does not exist.
QString tableCell(const QList<QStringList> &rows, qint64 r, qint64 c);

// Adds every table cell placeholder "{{MT.1.r.c}}" found in the units of xml to map.
void addTablePlaceholders(const QString &xml, const TextLayout &layout,
                          const QList<QStringList> &rows, PlaceholderMap *map);

// Picture replacement of the first picture whose description is "{{IP}}".
struct PictureSlot
{
    QRegularExpression marker;  // the element carrying descr="{{IP}}"
    QString regionTag;          // element around the marker that holds the picture
    QStringList anchorTags;     // elements around the region that position it, if any
    QString structureError;     // message when the region is missing
    QString relationshipPrefix; // "" for Word, "../" for Excel
    QString mediaFolder;        // folder below the package root that holds media/
};

// Rewrites part (document or drawing) and rels so that the marked picture shows image, saves
// the image as a PNG in the package below packageDir and registers the PNG content type. A part
// without a marked picture is left unchanged. False with *error set on failure.
bool replacePicture(QString *part, QString *rels, const QImage &image, const PictureSlot &slot,
                    const QString &packageDir, QString *error);

// The picture size fitted into the box cx × cy keeping the box's longer fitting side.
void fitExtent(const QSize &image, qint64 *cx, qint64 *cy);

} // namespace ReportXml
