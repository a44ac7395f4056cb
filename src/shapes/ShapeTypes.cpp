// ShapeTypes.cpp: keys and display names of the shape types.
#include "shapes/ShapeTypes.h"

#include <QCoreApplication>

namespace ShapeTypes {

QString key(int type)
{
    switch (type) {
    case StraightLine:
        return QStringLiteral("StraightLine");
    case BrokenLine:
        return QStringLiteral("BrokenLine");
    case Rect:
        return QStringLiteral("Rect");
    case Polygon:
        return QStringLiteral("Polygon");
    case Line3Point:
        return QStringLiteral("Line3Point");
    case CircleCenterRadius:
        return QStringLiteral("CircleCenterRadius");
    case DoubleCircle:
        return QStringLiteral("DoubleCircle");
    case Rec3Point:
        return QStringLiteral("Rec3Point");
    case Angle3Point:
        return QStringLiteral("Angle3Point");
    case Angle4Point:
        return QStringLiteral("Angle4Point");
    case Circle2Point:
        return QStringLiteral("Circle2Point");
    case Ellipse:
        return QStringLiteral("Ellipse");
    case Ellipse3Point:
        return QStringLiteral("Ellipse3Point");
    case Ellipse5Point:
        return QStringLiteral("Ellipse5Point");
    case Arrow:
        return QStringLiteral("Arrow");
    case Arc:
        return QStringLiteral("Arc");
    case Parallel4Points:
        return QStringLiteral("Parallel4Points");
    case Parallel8Points:
        return QStringLiteral("Parallel8Points");
    case ParallelAny:
        return QStringLiteral("ParallelAny");
    case Perpendicular3Points:
        return QStringLiteral("Perpendicular3Points");
    case Perpendicular4Points:
        return QStringLiteral("Perpendicular4Points");
    default:
        return QStringLiteral("Unknown");
    }
}

QString displayName(int type)
{
    const char *text = nullptr;
    switch (type) {
    case StraightLine:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "直线");
        break;
    case BrokenLine:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "折线");
        break;
    case Rect:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "矩形");
        break;
    case Polygon:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "多边形");
        break;
    case Line3Point:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "3点线段");
        break;
    case CircleCenterRadius:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "圆");
        break;
    case DoubleCircle:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "双圆");
        break;
    case Rec3Point:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "3点矩形");
        break;
    case Angle3Point:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "3点角");
        break;
    case Angle4Point:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "4点角");
        break;
    case Circle2Point:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "两点圆");
        break;
    case Ellipse:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "椭圆");
        break;
    case Ellipse3Point:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "3点椭圆");
        break;
    case Ellipse5Point:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "5点椭圆");
        break;
    case Arrow:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "箭头");
        break;
    case Arc:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "圆弧");
        break;
    case Parallel4Points:
    case Parallel8Points:
    case ParallelAny:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "平行线");
        break;
    case Perpendicular3Points:
    case Perpendicular4Points:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "垂线");
        break;
    case Text:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "文本");
        break;
    case Scale:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "比例尺");
        break;
    default:
        text = QT_TRANSLATE_NOOP("ShapeTypes", "未知");
        break;
    }
    return QCoreApplication::translate("ShapeTypes", text);
}

} // namespace ShapeTypes
