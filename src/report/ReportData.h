// ReportData.h: what a report shows: the composed picture, the measurement table and the unit.
#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

struct ReportData
{
    QImage image;            // picture with the drawing on it; a null image keeps the template's
    QStringList headers;     // column titles of the measurement table
    QList<QStringList> rows; // table rows, cell texts in column order
    QString lengthUnit;      // current length unit text
};
