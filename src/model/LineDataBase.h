// LineDataBase.h: the measurement record of one shape, shared by the item, canvas, table and file.
#pragma once

#include "model/Attribute.h"

#include <QList>
#include <QMetaType>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <memory>

// A record: a random id, the shape's style, its shape type number and, for a text item, its
// text. GUI thread.
class LineDataBase : public std::enable_shared_from_this<LineDataBase>
{
public:
    using Ptr = std::shared_ptr<LineDataBase>;

    LineDataBase();
    virtual ~LineDataBase() = default;

    virtual std::int32_t type() const = 0;
    virtual double length() const;

    QString id; // UUID without braces
    Attribute::Ptr attribute;
    std::int32_t typeNumber = 0;
    // What a text item shows, kept in step by the item; empty for the measuring shapes.
    QString text;
};

// The one concrete record: the shape's points in the owning item's coordinates.
class BrokenLineDataItem : public LineDataBase
{
public:
    using Ptr = std::shared_ptr<BrokenLineDataItem>;

    BrokenLineDataItem();

    std::int32_t type() const override { return typeNumber; }
    // Length of the open polyline through the points in list order; 0 for fewer than 2.
    double length() const override;
    // Replaces the point at `index`; an index outside the list changes nothing.
    void setPoint(const QPointF &point, int index);

    QList<QPointF> points;
};

Q_DECLARE_METATYPE(LineDataBase::Ptr)
