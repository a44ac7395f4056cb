// DrawingDocument.h: the drawing document that a picture file carries in its EXIF UserComment:
// its JSON form, its Base64 text, and storing it into and reading it from the file.
#pragma once

#include "model/Attribute.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPointF>
#include <QString>

class CalibrationData;
class GraphicsItemBase;
class QGraphicsItem;
class QImage;
class QJsonValue;

// The document is {"magic", "version", "shapes": [...], "calibration": {...}}; every point is in
// scene coordinates (image pixels). GUI thread (it reads items of the scene).
namespace DrawingDocument {

extern const char kMagic[];
constexpr int kVersion = 2;
constexpr int kTextType = 31;
// Coordinates beyond this many pixels are not a picture's and are refused when loading, so that
// sums and squares of them stay finite.
constexpr double kMaxCoordinate = 1e9;

// The shape object of a top-level canvas item: a measurement shape or a text item. False for
// anything else (the background, labels).
bool shapeObject(const QGraphicsItem *item, QJsonObject *object);
// The points stored for a measurement shape, in the order loading gives them back.
QList<QPointF> rawPoints(const GraphicsItemBase *shape);
// The "calibration" entry: empty unless a current magnification with a resolution above 0 exists.
// A temporary magnification (a picture's own pixel size) is named by its pixel size.
QJsonObject calibrationObject(const CalibrationData *calibration);
// The whole document of `items` (top-level items are taken in the given order).
QJsonObject document(const QList<QGraphicsItem *> &items, const CalibrationData *calibration);

// Compact JSON, its UTF-8 bytes Base64-encoded.
QByteArray encode(const QJsonObject &root);
// Base64 text back to the root object. False with a message in `error` (the parse error with its
// offset and the text around it) for invalid Base64, invalid JSON or a root that is not an object.
bool decode(const QByteArray &text, QJsonObject *root, QString *error);

// The built-in attribute overwritten by the groups present in `value` (when it is an object).
Attribute readAttribute(const QJsonValue &value);
// "raw_points" as points; a missing or non-numeric "x" or "y" reads as 0. False when a
// coordinate lies beyond kMaxCoordinate.
bool readPoints(const QJsonValue &value, QList<QPointF> *points);
// Applies a "calibration" entry: the named magnification gets the resolution and becomes current
// (added when unknown), a known unit code becomes current. A name with a resolution that is not a
// finite number above 0 is ignored, so a damaged file cannot spoil a calibration. True when
// anything was read from the entry.
bool applyCalibration(const QJsonObject &entry, CalibrationData *calibration);

enum class StoreResult {
    Stored,
    Bmp,             // BMP has no place for the comment
    Unsupported,     // not a JPEG, PNG or TIFF file (or unreadable)
    TooLargeForJpeg, // the comment does not fit a JPEG's 64 KiB EXIF segment
    Malformed,       // the file's structure is damaged
    WriteFailed,     // the new content could not be written; the file is unchanged
    OutOfRange,      // the pixel size is beyond what the file's format can record
};
// Stores `text` as the UserComment of the picture at `path`, replacing the file atomically. On
// TooLargeForJpeg, `room` (when given) receives the longest text the picture can take.
StoreResult store(const QString &path, const QByteArray &text, std::size_t *room = nullptr);

// Records the pixel size of the calibration in force (a current magnification with a resolution
// above 0) in the JPEG, PNG or TIFF file at `path`, where other imaging programs read it, and
// replaces the file atomically. Stored when no calibration is in force (nothing to record).
StoreResult storePixelSize(const QString &path, const CalibrationData *calibration);
// Stores `text` as the UserComment of the picture at `path` and the pixel size of the
// calibration in force (as storePixelSize() does) in one pass and one atomic replace of the file.
// Returns what store() would for the drawing; when the drawing is stored, `pixelSize` receives
// the pixel size's result (Stored also when no calibration is in force). A pixel size that the
// file cannot take is left out and the drawing still stored; otherwise the file gets both or
// neither.
StoreResult storeWithPixelSize(const QString &path, const QByteArray &text,
                               const CalibrationData *calibration, StoreResult *pixelSize,
                               std::size_t *room = nullptr);
// Encodes `image` as `format` (an image format or file suffix: "PNG", "jpg", "tif", "bmp") with
// `quality` (-1: the format's default) and writes it to `path` in one atomic replace, with the
// pixel size of the calibration in force (as storePixelSize() records it) when `calibration` is
// given, so that the picture is never on disk without it. WriteFailed when the picture cannot be
// encoded or written: an existing file at `path` is then unchanged and no temporary file is left.
// Otherwise Stored, and `pixelSize` (when given) receives the pixel size's result (Stored also
// when none is in force); a pixel size the picture cannot take is left out.
StoreResult storePicture(const QString &path, const QImage &image, const char *format, int quality,
                         const CalibrationData *calibration = nullptr,
                         StoreResult *pixelSize = nullptr);
// Why a pixel size was not stored, for a message after the file's path.
QString pixelSizeFailure(StoreResult result);

// Reads the UserComment of `path`. When the file cannot be read in place, it is read from a copy
// in the temporary folder ("velk_load_<time>.<suffix>"), which is removed afterwards.
bool readComment(const QString &path, QByteArray *text);

} // namespace DrawingDocument
