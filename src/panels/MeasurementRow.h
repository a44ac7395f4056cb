// MeasurementRow.h: the cells one measurement record fills in the measurement table.
#pragma once

#include "model/LineDataBase.h"

#include <QMap>
#include <QString>

class CalibrationData;

// Computes a record's values from its points and writes them as table texts. GUI thread.
class MeasurementRow
{
public:
    enum Column {
        Name = 0,
        Length,
        Width,
        Height,
        Radius,
        Diameter,
        Angle,
        Distance,
        Area,
        ColumnCount
    };

    // Raw values in image pixels (square pixels for the area, degrees for the angle), keyed by
    // column; the name column is not part of it. A value the shape cannot measure (its label says
    // so) is NaN.
    static QMap<int, double> pixelValues(const LineDataBase &record);

    // The texts of every cell the record fills, the name included. Lengths and the area are
    // converted when `calibration` is calibrated and its unit is not "px"; angles never are. A
    // value that cannot be measured reads as the shapes' "not measurable" text. A text item's row
    // holds its text in the first value column.
    static QMap<int, QString> cells(const LineDataBase &record, const CalibrationData *calibration);

    // The unit the length cells are written in: the calibration's unit when it converts, else
    // "px".
    static QString lengthUnit(const CalibrationData *calibration);
    // The unit of a column's values as its header shows it ("μm", "μm²", "°"); empty for the
    // name column.
    static QString columnUnit(int column, const CalibrationData *calibration);
};
