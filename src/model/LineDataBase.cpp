// LineDataBase.cpp: record ids and polyline length.
#include "model/LineDataBase.h"

#include <QLineF>
#include <QUuid>

LineDataBase::LineDataBase()
    : id(QUuid::createUuid().toString(QUuid::WithoutBraces))
    , attribute(std::make_shared<Attribute>())
{}

double LineDataBase::length() const
{
    return 0.0;
}

BrokenLineDataItem::BrokenLineDataItem()
{
    typeNumber = 11;
}

double BrokenLineDataItem::length() const
{
    double sum = 0.0;
    for (int i = 1; i < points.size(); ++i)
        sum += QLineF(points[i - 1], points[i]).length();
    return sum;
}

void BrokenLineDataItem::setPoint(const QPointF &point, int index)
{
    if (index >= 0 && index < points.size())
        points[index] = point;
}
