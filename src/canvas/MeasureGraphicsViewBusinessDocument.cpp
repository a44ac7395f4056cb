// MeasureGraphicsViewBusinessDocument.cpp: saving the drawing into the picture file and restoring
// it from there.
#include "canvas/DrawingDocument.h"
#include "canvas/GraphicsScene.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "shapes/GraphicsItemBase.h"
#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"
#include "shapes/TextItem.h"

#include "calibration/CalibrationData.h"
#include "metadata/ExifUserComment.h"

#include <QDebug>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <climits>
#include <exception>

namespace {

// Orders the items as their records are listed (the order of the table's rows), so that a
// reopened drawing lists its records as before; the scene's own order is the stacking order.
// Items without a listed record keep their relative order after the others.
void sortByRecordOrder(QList<QGraphicsItem *> *items)
{
    QHash<const LineDataBase *, int> rank;
    const QList<LineDataBase::Ptr> records = LineDataRegistry::instance()->lines();
    for (int i = 0; i < records.size(); ++i)
        rank.insert(records[i].get(), i);
    const auto rankOf = [&rank](const QGraphicsItem *item) {
        LineDataBase::Ptr record;
        if (auto *shape = dynamic_cast<const GraphicsItemBase *>(item))
            record = shape->lineData();
        else if (auto *text = dynamic_cast<const TextItem *>(item))
            record = text->lineData();
        return rank.value(record.get(), INT_MAX);
    };
    std::stable_sort(items->begin(), items->end(),
                     [&rankOf](const QGraphicsItem *a, const QGraphicsItem *b) {
                         return rankOf(a) < rankOf(b);
                     });
}

// Puts a rebuilt shape where its scene points are: at their centroid, holding the points relative
// to it, so that the item moves as a whole.
void placeShape(GraphicsItemBase *shape, const QList<QPointF> &points)
{
    const int type = shape->toolType();
    QList<QPointF> &local = shape->points();
    if (type == ShapeTypes::Perpendicular3Points || type == ShapeTypes::Perpendicular4Points) {
        local = points;
        shape->setPos(0, 0);
        return;
    }
    if (points.size() == 1) {
        shape->setPos(points.first());
        local = {QPointF(0, 0)};
        return;
    }
    local.clear();
    if (points.isEmpty())
        return;
    double cx = 0;
    double cy = 0;
    for (const QPointF &p : points) {
        cx += p.x();
        cy += p.y();
    }
    const QPointF centroid(cx / points.size(), cy / points.size());
    shape->setPos(centroid);
    for (const QPointF &p : points)
        local.append(p - centroid);
}

} // namespace

void MeasureGraphicsViewBusiness::onSaveImg(const QString &path)
{
    if (ExifUserComment::detectImageKind(path) == ExifContainer::BmpImage) {
        showMessage(QMessageBox::Warning, tr("保存提示"),
                    tr("BMP 格式不支持保存测量标注。\n如需保留标注，请改用 "
                       "PNG、JPG 或 TIFF 格式。"));
        return;
    }
    const bool saved = saveWithMetadata(path);
    qInfo().noquote() << "MeasureGraphicsViewBusiness::onSaveImg"
                      << ", " << __LINE__
                      << (saved ? ": Save image with meta data success!"
                                : ": Save image with meta data failure!");
}

bool MeasureGraphicsViewBusiness::saveWithMetadata(const QString &path, QString *error)
{
    if (!m_scene) {
        qCritical().noquote() << "Scene does not exist in saveWithMetadata";
        return false;
    }
    DrawingDocument::StoreResult result = DrawingDocument::StoreResult::WriteFailed;
    DrawingDocument::StoreResult pixelSize = DrawingDocument::StoreResult::Stored;
    std::size_t drawingSize = 0;
    std::size_t room = 0;
    try {
        // An unannounced ruler is a tool of the moment, not part of the drawing.
        QList<QGraphicsItem *> items = m_scene->items();
        items.erase(std::remove_if(items.begin(), items.end(),
                                   [this](QGraphicsItem *item) {
                                       auto *shape = dynamic_cast<GraphicsItemBase *>(item);
                                       return shape && shape->lineData() &&
                                              !isAnnounced(shape->lineData()->id);
                                   }),
                    items.end());
        sortByRecordOrder(&items);
        const QJsonObject root = DrawingDocument::document(items, m_scene->calibrationData());
        const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Compact);
        qDebug().noquote() << "MeasureGraphicsViewBusiness::saveWithMetadata"
                           << ", " << __LINE__ << ", jsonData: " << QString::fromUtf8(json);
        const QByteArray text = json.toBase64();
        drawingSize = std::size_t(text.size());
        // Other imaging programs read the calibration from the file's own resolution fields:
        // they are written with the drawing, in the same replace of the file.
        result = DrawingDocument::storeWithPixelSize(path, text, m_scene->calibrationData(),
                                                     &pixelSize, &room);
    } catch (const std::exception &e) {
        qCritical().noquote() << "MeasureGraphicsViewBusiness::saveWithMetadata"
                              << ", " << __LINE__ << ": exception:" << e.what();
        if (error)
            *error = tr("测量标注写入图片失败，文件保持原样：\n%1").arg(path);
        return false;
    } catch (...) {
        qCritical().noquote() << "MeasureGraphicsViewBusiness::saveWithMetadata"
                              << ", " << __LINE__ << ": unknown exception";
        if (error)
            *error = tr("测量标注写入图片失败，文件保持原样：\n%1").arg(path);
        return false;
    }
    if (result == DrawingDocument::StoreResult::Stored) {
        if (pixelSize == DrawingDocument::StoreResult::Stored)
            return true;
        qCritical().noquote() << "MeasureGraphicsViewBusiness::saveWithMetadata"
                              << ", " << __LINE__ << ": pixel size not written:" << path;
        const QString message = tr("测量标注已写入图片，但标定的像素尺寸未能写入：\n%1\n%"
                                   "2\n其他程序打开此图片时不会有标定。")
                                    .arg(path, DrawingDocument::pixelSizeFailure(pixelSize));
        if (error)
            *error = message;
        else
            showMessage(QMessageBox::Warning, tr("保存提示"), message);
        return false;
    }
    qCritical().noquote() << "MeasureGraphicsViewBusiness::saveWithMetadata"
                          << ", " << __LINE__ << ": 写入 EXIF UserComment 失败:" << path;
    QString message;
    switch (result) {
    case DrawingDocument::StoreResult::Bmp:
        message = tr("BMP 格式不支持保存测量标注。\n如需保留标注，请改用 PNG、JPG 或 TIFF 格式。");
        break;
    case DrawingDocument::StoreResult::Unsupported:
        message = tr("无法识别该图片格式，测量标注未能保存：\n%1\n如需保留标注，请改用 PNG、JPG "
                     "或 TIFF 格式。")
                      .arg(path);
        break;
    case DrawingDocument::StoreResult::TooLargeForJpeg:
        message =
            tr("测量标注有 %1 KB，这张 JPG 图片最多只能容纳 %2 KB，标注未能写入图片。\nPNG 和 "
               "TIFF 格式没有此限制，如需保留全部标注，请改用 PNG 或 TIFF 格式。")
                .arg(QString::number(double(drawingSize) / 1024, 'f', 1),
                     QString::number(double(room) / 1024, 'f', 1));
        break;
    case DrawingDocument::StoreResult::Malformed:
        message = tr("图片文件结构已损坏，测量标注未能写入：\n%1").arg(path);
        break;
    default:
        message = tr("测量标注写入图片失败，文件保持原样：\n%1").arg(path);
        break;
    }
    if (error)
        *error = message;
    else
        showMessage(QMessageBox::Warning, tr("保存提示"), message);
    return false;
}

bool MeasureGraphicsViewBusiness::loadFromMetadata(const QString &path)
{
    // The file's drawing starts a history of its own; rebuilding it is not a step.
    struct Rebuilding
    {
        DrawingHistory *history;
        explicit Rebuilding(DrawingHistory *h)
            : history(h)
        {
            history->setSuspended(true);
        }
        ~Rebuilding()
        {
            history->setSuspended(false);
            history->clear();
            history->rebase();
        }
    } rebuilding(m_history);
    // The canvas starts empty: shapes and text items go as every removal does.
    delAllLine();
    m_loadedCalibration = false;
    m_readShapes = 0;
    m_unreadShapes = 0;
    m_readDrawingDamaged = false;

    QByteArray comment;
    if (!DrawingDocument::readComment(path, &comment)) {
        qWarning().noquote() << "未找到可用的 UserComment 绘图数据";
        return false;
    }
    comment = comment.trimmed();
    // Some writers pad the comment with zero bytes.
    while (comment.endsWith('\0'))
        comment.chop(1);
    if (comment.isEmpty()) {
        qDebug().noquote() << "No drawing data found (empty UserComment)";
        return true;
    }
    QJsonObject root;
    QString error;
    if (!DrawingDocument::decode(comment, &root, &error)) {
        qWarning().noquote() << error;
        // Our drawing is Base64 JSON, which begins with the encoding of '{"'; another program's
        // text is no drawing of ours.
        m_readDrawingDamaged = comment.startsWith("eyJ");
        return false;
    }
    qDebug().noquote() << "JSON parsed successfully, loading drawing data...";

    CalibrationData *calibration = m_scene ? m_scene->calibrationData() : nullptr;
    if (root.contains(QStringLiteral("calibration")) && calibration) {
        const QJsonObject entry = root.value(QStringLiteral("calibration")).toObject();
        const bool applied = DrawingDocument::applyCalibration(entry, calibration);
        m_loadedCalibration = applied && entry.value(QStringLiteral("resolution")).toDouble() > 0;
        if (!applied)
            qWarning().noquote() << "MeasureGraphicsViewBusiness::loadFromMetadata"
                                 << ", " << __LINE__ << ": calibration entry without usable values";
        calibration->saveToSettings();
        emit sigCalibrationLoaded();
    }
    deserializeDrawingData(root);
    return true;
}

void MeasureGraphicsViewBusiness::deserializeDrawingData(const QJsonObject &root)
{
    if (!m_scene)
        return;
    const QJsonArray elements = root.value(QStringLiteral("shapes")).toArray();
    m_readShapes = elements.size();
    m_unreadShapes = 0;
    for (const QJsonValue &value : elements) {
        const QJsonObject element = value.toObject();
        const int type = element.value(QStringLiteral("type")).toInt();
        qDebug().noquote() << "MeasureGraphicsViewBusiness::deserializeDrawingData"
                           << ", " << __LINE__ << ": itemType = " << type;
        if (type < ShapeTypes::StraightLine || type > ShapeTypes::Scale) {
            qWarning().noquote() << "Unknown item type:" << type;
            ++m_unreadShapes;
            continue;
        }
        QList<QPointF> points;
        if (!DrawingDocument::readPoints(element.value(QStringLiteral("raw_points")), &points)) {
            qWarning().noquote() << "MeasureGraphicsViewBusiness::deserializeDrawingData"
                                 << ", " << __LINE__ << ": point out of range, item skipped, type"
                                 << type;
            ++m_unreadShapes;
            continue;
        }
        const auto attribute = std::make_shared<Attribute>(
            DrawingDocument::readAttribute(element.value(QStringLiteral("attribute"))));

        if (type == DrawingDocument::kTextType) {
            TextItem *text = createTextItem();
            text->lineData()->attribute = attribute;
            text->setPos(points.isEmpty() ? QPointF() : points.first());
            QString content = element.contains(QStringLiteral("text_content"))
                                  ? element.value(QStringLiteral("text_content")).toString()
                                  : text->toPlainText();
            if (content.isEmpty())
                content = QStringLiteral("Text");
            text->setPlainText(content);
            text->setTextInteractionFlags(Qt::NoTextInteraction);
            emit sigLineDataChanged(text->lineData());
            continue;
        }

        GraphicsItemBase *shape = createShape(type);
        if (!shape) {
            ++m_unreadShapes;
            continue;
        }
        const LineDataBase::Ptr record = shape->lineData();
        record->attribute = attribute;
        placeShape(shape, points);
        shape->setFlag(QGraphicsItem::ItemIsSelectable, true);
        shape->setFlag(QGraphicsItem::ItemIsMovable, true);
        shape->setAcceptHoverEvents(true);
        LabelItem *label = shape->labelItem();
        if (!label) {
            const QRectF bounds = shape->boundingRect();
            label = shape->createLabel(QPointF(bounds.center().x(), bounds.top() - 20));
        }
        label->setAttribute(record->attribute);
        if (element.contains(QStringLiteral("label_text")))
            label->setText(element.value(QStringLiteral("label_text")).toString());
        shape->updateShape();
        emit sigLineDataChanged(record);
    }
}
