// DrawingDocument.cpp: the JSON form of the canvas drawing and its place in the picture file.
#include "canvas/DrawingDocument.h"

#include "calibration/CalibrationData.h"
#include "metadata/ExifContainer.h"
#include "metadata/ExifUserComment.h"
#include "shapes/DoubleCircleItem.h"
#include "shapes/GraphicsItemBase.h"
#include "shapes/Line3PointItem.h"
#include "shapes/RectItem.h"
#include "shapes/ShapeTypes.h"
#include "shapes/TextItem.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace DrawingDocument {

const char kMagic[] = "VELK_DRAW_DATA";

namespace {

// Style sizes beyond this are not a drawing's; a damaged file must not ask for giant pens or
// fonts.
constexpr int kMaxStyleSize = 1000;

QJsonArray pointArray(const QList<QPointF> &points)
{
    QJsonArray array;
    for (const QPointF &p : points)
        array.append(QJsonObject{{QStringLiteral("x"), p.x()}, {QStringLiteral("y"), p.y()}});
    return array;
}

int clampedSize(int value)
{
    return std::clamp(value, 0, kMaxStyleSize);
}

} // namespace

QList<QPointF> rawPoints(const GraphicsItemBase *shape)
{
    const QList<QPointF> &points = shape->points();
    QList<QPointF> local;
    switch (shape->toolType()) {
    case ShapeTypes::StraightLine:
    case ShapeTypes::Arrow:
    case ShapeTypes::Circle2Point:
        local = points.mid(0, 2);
        break;
    case ShapeTypes::Rect:
    case ShapeTypes::Ellipse:
        if (auto *rect = dynamic_cast<const RectItem *>(shape)) {
            if (!points.isEmpty()) {
                const QRectF r = rect->rectF();
                local << r.topLeft() << r.bottomRight();
            }
        } else {
            local = points;
        }
        break;
    case ShapeTypes::Line3Point:
    case ShapeTypes::Rec3Point:
    case ShapeTypes::Ellipse3Point:
    case ShapeTypes::Ellipse5Point:
        if (auto *line3 = dynamic_cast<const Line3PointItem *>(shape))
            local = line3->line3PointF();
        else
            local = points;
        break;
    case ShapeTypes::CircleCenterRadius:
        if (!points.isEmpty())
            local << points.first() << points.last();
        break;
    case ShapeTypes::DoubleCircle:
        if (auto *circles = dynamic_cast<const DoubleCircleItem *>(shape);
            circles && points.size() >= 4)
            local << circles->centre1() << circles->edge1() << circles->centre2()
                  << circles->edge2();
        else
            local = points;
        break;
    default:
        local = points;
        break;
    }
    const QPointF offset = shape->pos();
    for (QPointF &p : local)
        p += offset;
    return local;
}

bool shapeObject(const QGraphicsItem *item, QJsonObject *object)
{
    if (auto *shape = dynamic_cast<const GraphicsItemBase *>(item)) {
        if (shape->toolType() == ShapeTypes::Label)
            return false;
        const Attribute::Ptr attribute = shape->attribute();
        *object = QJsonObject{
            {QStringLiteral("type"), shape->toolType()},
            {QStringLiteral("attribute"), attribute ? attribute->toJson() : Attribute().toJson()},
            {QStringLiteral("raw_points"), pointArray(rawPoints(shape))},
        };
        return true;
    }
    if (auto *text = dynamic_cast<const TextItem *>(item)) {
        const Attribute::Ptr attribute = text->attribute();
        *object = QJsonObject{
            {QStringLiteral("type"), kTextType},
            {QStringLiteral("attribute"), attribute ? attribute->toJson() : Attribute().toJson()},
            {QStringLiteral("raw_points"), pointArray({text->pos()})},
            {QStringLiteral("text_content"), text->toPlainText()},
        };
        return true;
    }
    return false;
}

QJsonObject calibrationObject(const CalibrationData *calibration)
{
    if (!calibration || !calibration->isCalibrated())
        return QJsonObject();
    const CalibrationData::Magnification current = calibration->currentMagnification();
    // A picture's own calibration travels under the name keeping it gives, in no language.
    return QJsonObject{
        {QStringLiteral("magnification_name"),
         current.temporary ? CalibrationData::pixelSizeText(current.resolution) : current.name},
        {QStringLiteral("resolution"), current.resolution},
        {QStringLiteral("unit"), calibration->currentUnit()},
    };
}

QJsonObject document(const QList<QGraphicsItem *> &items, const CalibrationData *calibration)
{
    QJsonArray shapes;
    for (const QGraphicsItem *item : items) {
        QJsonObject object;
        if (!item->parentItem() && shapeObject(item, &object))
            shapes.append(object);
    }
    QJsonObject root{
        {QStringLiteral("magic"), QLatin1String(kMagic)},
        {QStringLiteral("version"), kVersion},
        {QStringLiteral("shapes"), shapes},
    };
    const QJsonObject entry = calibrationObject(calibration);
    if (!entry.isEmpty())
        root.insert(QStringLiteral("calibration"), entry);
    return root;
}

QByteArray encode(const QJsonObject &root)
{
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toBase64();
}

bool decode(const QByteArray &text, QJsonObject *root, QString *error)
{
    // Line breaks that a tool may have wrapped the text with are not part of it.
    QByteArray compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (c != '\n' && c != '\r' && c != ' ' && c != '\t')
            compact.append(c);
    }
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        *error = QStringLiteral("UserComment is not Base64 text");
        return false;
    }
    const QByteArray json = *decoded;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        const int from = std::max(0, parseError.offset - 20);
        *error = QStringLiteral("JSON parsing failed, error: %1 at offset: %2 Error context: %3")
                     .arg(parseError.errorString())
                     .arg(parseError.offset)
                     .arg(QString::fromUtf8(json.mid(from, 40)));
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("JSON root is not an object");
        return false;
    }
    *root = doc.object();
    return true;
}

Attribute readAttribute(const QJsonValue &value)
{
    Attribute attribute;
    if (!value.isObject())
        return attribute;
    attribute.fromJson(value.toObject());
    attribute.controlPoint.radius = clampedSize(attribute.controlPoint.radius);
    attribute.controlPoint.borderWidth = clampedSize(attribute.controlPoint.borderWidth);
    attribute.imgElement.width = clampedSize(attribute.imgElement.width);
    attribute.textLabel.fontSize = clampedSize(attribute.textLabel.fontSize);
    return attribute;
}

bool readPoints(const QJsonValue &value, QList<QPointF> *points)
{
    points->clear();
    const QJsonArray array = value.toArray();
    for (const QJsonValue &element : array) {
        const QJsonObject object = element.toObject();
        const double x = object.value(QStringLiteral("x")).toDouble(0.0);
        const double y = object.value(QStringLiteral("y")).toDouble(0.0);
        if (!(std::abs(x) <= kMaxCoordinate) || !(std::abs(y) <= kMaxCoordinate))
            return false;
        points->append(QPointF(x, y));
    }
    return true;
}

bool applyCalibration(const QJsonObject &entry, CalibrationData *calibration)
{
    if (!calibration)
        return false;
    bool applied = false;
    const QString name = entry.value(QStringLiteral("magnification_name")).toString();
    const double resolution = entry.value(QStringLiteral("resolution")).toDouble(0.0);
    if (!name.isEmpty() && std::isfinite(resolution) && resolution > 0) {
        const QList<CalibrationData::Magnification> list = calibration->magnifications();
        int index = -1;
        for (int i = 0; i < list.size() && index < 0; ++i) {
            if (list[i].name == name)
                index = i;
        }
        if (index >= 0) {
            calibration->setMagnification(index, {name, resolution});
            calibration->setCurrentIndex(index);
        } else {
            calibration->addMagnification({name, resolution});
            calibration->setCurrentIndex(calibration->count() - 1);
        }
        applied = true;
    }
    const QString unit = entry.value(QStringLiteral("unit")).toString();
    if (!unit.isEmpty() && CalibrationData::unitCodes().contains(unit)) {
        calibration->setCurrentUnit(unit);
        applied = true;
    }
    return applied;
}

namespace {

StoreResult drawingResult(const ExifUserComment::WriteError &error, std::size_t *room)
{
    switch (error.reason) {
    case ExifUserComment::WriteError::None:
        return StoreResult::Stored;
    case ExifUserComment::WriteError::JpegSegmentFull:
        if (room)
            *room = error.room;
        return StoreResult::TooLargeForJpeg;
    case ExifUserComment::WriteError::UnsupportedKind:
        return StoreResult::Unsupported;
    case ExifUserComment::WriteError::Malformed:
        return StoreResult::Malformed;
    default:
        return StoreResult::WriteFailed;
    }
}

StoreResult pixelSizeResult(const QString &path, const ExifUserComment::WriteError &error)
{
    switch (error.reason) {
    case ExifUserComment::WriteError::None:
        return StoreResult::Stored;
    case ExifUserComment::WriteError::UnsupportedKind:
        return ExifUserComment::detectImageKind(path) == ExifContainer::BmpImage
                   ? StoreResult::Bmp
                   : StoreResult::Unsupported;
    case ExifUserComment::WriteError::Malformed:
        return StoreResult::Malformed;
    case ExifUserComment::WriteError::OutOfRange:
        return StoreResult::OutOfRange;
    default:
        return StoreResult::WriteFailed;
    }
}

// BMP and unknown kinds, told apart before any edit is tried; Stored for the kinds we edit.
StoreResult kindResult(const QString &path)
{
    const ExifContainer::ImageKind kind = ExifUserComment::detectImageKind(path);
    if (kind == ExifContainer::BmpImage)
        return StoreResult::Bmp;
    if (kind == ExifContainer::UnknownImage)
        return StoreResult::Unsupported;
    return StoreResult::Stored;
}

} // namespace

StoreResult store(const QString &path, const QByteArray &text, std::size_t *room)
{
    const StoreResult kind = kindResult(path);
    if (kind != StoreResult::Stored)
        return kind;
    const std::string comment(text.constData(), std::size_t(text.size()));
    ExifUserComment::WriteError error;
    ExifUserComment::writeUserComment(path, comment, ExifUserComment::FileOps::system(), &error);
    return drawingResult(error, room);
}

StoreResult storePixelSize(const QString &path, const CalibrationData *calibration)
{
    if (!calibration || !calibration->isCalibrated())
        return StoreResult::Stored;
    ExifUserComment::WriteError error;
    ExifUserComment::writePixelSize(path, calibration->currentMagnification().resolution,
                                    ExifUserComment::FileOps::system(), &error);
    return pixelSizeResult(path, error);
}

StoreResult storeWithPixelSize(const QString &path, const QByteArray &text,
                               const CalibrationData *calibration, StoreResult *pixelSize,
                               std::size_t *room)
{
    *pixelSize = StoreResult::Stored;
    if (!calibration || !calibration->isCalibrated())
        return store(path, text, room);
    const StoreResult kind = kindResult(path);
    if (kind != StoreResult::Stored)
        return kind;
    const std::string comment(text.constData(), std::size_t(text.size()));
    ExifUserComment::WriteError error, pixelError;
    ExifUserComment::writeCommentAndPixelSize(
        path, comment, calibration->currentMagnification().resolution,
        ExifUserComment::FileOps::system(), &error, &pixelError);
    const StoreResult drawing = drawingResult(error, room);
    if (drawing == StoreResult::Stored)
        *pixelSize = pixelSizeResult(path, pixelError);
    return drawing;
}

StoreResult storePicture(const QString &path, const QImage &image, const char *format, int quality,
                         const CalibrationData *calibration, StoreResult *pixelSize)
{
    if (pixelSize)
        *pixelSize = StoreResult::Stored;
    // Encoded in memory, as QImage::save() would write it to the file.
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(image))
        return StoreResult::WriteFailed;
    buffer.close();
    const bool calibrated = calibration && calibration->isCalibrated();
    ExifUserComment::WriteError error, pixelError;
    if (!ExifUserComment::writePicture(
            path, encoded.constData(), std::size_t(encoded.size()), nullptr,
            calibrated ? calibration->currentMagnification().resolution : 0.0,
            ExifUserComment::FileOps::system(), &error, &pixelError))
        return StoreResult::WriteFailed;
    if (pixelSize)
        *pixelSize = pixelSizeResult(path, pixelError);
    return StoreResult::Stored;
}

QString pixelSizeFailure(StoreResult result)
{
    switch (result) {
    case StoreResult::Bmp:
    case StoreResult::Unsupported:
        return QCoreApplication::translate("DrawingDocument", "该图片格式无法记录像素尺寸。");
    case StoreResult::Malformed:
        return QCoreApplication::translate("DrawingDocument", "图片文件结构已损坏。");
    case StoreResult::OutOfRange:
        return QCoreApplication::translate("DrawingDocument",
                                           "当前标定的像素尺寸超出该图片格式能记录的范围。");
    default:
        return QCoreApplication::translate("DrawingDocument", "文件无法写入。");
    }
}

bool readComment(const QString &path, QByteArray *text)
{
    std::string comment;
    bool found = ExifUserComment::readUserComment(path, &comment);
    if (!found && QFileInfo::exists(path)) {
        // A file that cannot be read where it is (a share, a locked or odd path) may still be
        // copied; the copy is read and removed again.
        const QString copy = QDir(QDir::tempPath())
                                 .filePath(QStringLiteral("velk_load_%1.%2")
                                               .arg(QDateTime::currentDateTime().toString(
                                                        QStringLiteral("yyyyMMdd_HHmmss_zzz")),
                                                    QFileInfo(path).suffix()));
        if (QFile::copy(path, copy)) {
            found = ExifUserComment::readUserComment(copy, &comment);
            QFile::remove(copy);
        }
    }
    // A QByteArray holds less than 2 GiB; no drawing comes near that.
    if (!found || comment.size() > std::size_t(std::numeric_limits<int>::max() / 2))
        return false;
    *text = QByteArray(comment.data(), int(comment.size()));
    return true;
}

} // namespace DrawingDocument
