// ShapeTypes.h: the shape type numbers with their settings keys and display names.
#pragma once

#include <QString>

namespace ShapeTypes {

enum Type : int {
    Base = 2,
    Label = 4,
    StraightLine = 10,
    BrokenLine = 11,
    Rect = 12,
    Polygon = 13,
    Line3Point = 14,
    CircleCenterRadius = 15,
    DoubleCircle = 16,
    Rec3Point = 17,
    Angle3Point = 18,
    Angle4Point = 19,
    Circle2Point = 20,
    Ellipse = 21,
    Ellipse3Point = 22,
    Ellipse5Point = 23,
    Arrow = 24,
    Arc = 25,
    Parallel4Points = 26,
    Parallel8Points = 27,
    ParallelAny = 28,
    Perpendicular3Points = 29,
    Perpendicular4Points = 30,
    Text = 31,
    Scale = 32,
};

// The settings key of a type ("StraightLine", ...); "Unknown" for types without one.
QString key(int type);
// The translated display name ("直线", ...); "未知" for unknown types.
QString displayName(int type);

} // namespace ShapeTypes
