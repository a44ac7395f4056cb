// MeasurementRow.cpp: per-type measurement values and their table texts.
#include "panels/MeasurementRow.h"

#include "calibration/CalibrationData.h"
#include "shapes/AngleItems.h"
#include "shapes/GraphicsItemBase.h"
#include "shapes/ShapeGeometry.h"
#include "shapes/ShapeTypes.h"

#include <QLineF>

#include <cmath>
#include <limits>

namespace {

constexpr double kNotMeasurable = std::numeric_limits<double>::quiet_NaN();

double distance(const QPointF &a, const QPointF &b)
{
    return QLineF(a, b).length();
}

// Distance from p to the infinite line through a and b; the distance to a when a and b meet.
double distanceToLine(const QPointF &p, const QPointF &a, const QPointF &b)
{
    const double len = distance(a, b);
    if (len < 1e-12)
        return distance(p, a);
    const QPointF d = b - a;
    const QPointF w = p - a;
    return std::abs(d.x() * w.y() - d.y() * w.x()) / len;
}

// Foot of p on the line through a and b, or `fallback` when the line has no direction.
QPointF footOn(const QPointF &p, const QPointF &a, const QPointF &b, const QPointF &fallback)
{
    const QPointF d = b - a;
    const double len2 = QPointF::dotProduct(d, d);
    if (len2 <= 1e-12)
        return fallback;
    return a + QPointF::dotProduct(p - a, d) / len2 * d;
}

QPointF midpoint(const QPointF &a, const QPointF &b)
{
    return (a + b) / 2.0;
}

// Degrees from the line `from` to the line `to`, counter-clockwise on screen, in [0, 360); not
// measurable when either line has no length, as the angle's label says.
double angleBetween(const QLineF &from, const QLineF &to)
{
    double angle = 0.0;
    return AngleText::degrees(from, to, &angle) ? angle : kNotMeasurable;
}

// Distance from p to the reference line a-b of a parallel; not measurable when the reference has
// no direction, as the parallel's label says.
double parallelDistance(const QPointF &p, const QPointF &a, const QPointF &b)
{
    if (distance(a, b) < ShapeGeometry::kMinReferenceLength)
        return kNotMeasurable;
    return distanceToLine(p, a, b);
}

// The arc from p0 through p1 to p2. Points without a circle measure only as a flat arc, whose
// length is its chord, as the arc's label says.
double arcLength(const QPointF &p0, const QPointF &p1, const QPointF &p2)
{
    QPointF centre;
    double radius = 0.0;
    if (!ShapeGeometry::circleThrough(p0, p1, p2, &centre, &radius)) {
        double chord = 0.0;
        return ShapeGeometry::flatArcLength(p0, p1, p2, &chord) ? chord : kNotMeasurable;
    }
    const double sweep = ShapeGeometry::arcSweep(ShapeGeometry::screenAngle(centre, p0),
                                                 ShapeGeometry::screenAngle(centre, p1),
                                                 ShapeGeometry::screenAngle(centre, p2));
    return radius * std::abs(sweep) * M_PI / 180.0;
}

// A value in pixels (or square pixels) with six significant digits, never in exponent form: the
// area of a large rectangle on a camera picture (1.5e+06 square pixels) reads in full.
QString pixelNumber(double value)
{
    const QString text = QString::number(value, 'g', 6);
    if (!text.contains(QLatin1Char('e')))
        return text;
    return std::abs(value) < 1.0 ? QStringLiteral("0") : QString::number(value, 'f', 0);
}

} // namespace

QMap<int, double> MeasurementRow::pixelValues(const LineDataBase &record)
{
    QMap<int, double> v;
    const auto *broken = dynamic_cast<const BrokenLineDataItem *>(&record);
    const QList<QPointF> pts = broken ? broken->points : QList<QPointF>();
    const int n = pts.size();

    switch (record.type()) {
    case ShapeTypes::StraightLine:
    case ShapeTypes::BrokenLine:
    case ShapeTypes::Arrow:
    case ShapeTypes::Scale:
        v[Length] = record.length();
        break;
    case ShapeTypes::Polygon:
        // Drawn closed: its perimeter and the area it encloses.
        v[Length] = ShapeGeometry::polygonPerimeter(pts);
        if (n >= 3)
            v[Area] = ShapeGeometry::polygonArea(pts);
        break;
    case ShapeTypes::Line3Point:
        // The third point only places the dimension bracket; the measured length is p0-p1.
        v[Length] = n >= 2 ? distance(pts[0], pts[1]) : 0.0;
        break;
    case ShapeTypes::Rect:
        if (n >= 2) {
            // A rectangle drawn towards the top-left has negative sides until it is resized;
            // the table lists sizes.
            const double w = std::abs(pts[1].x() - pts[0].x());
            const double h = std::abs(pts[1].y() - pts[0].y());
            v[Width] = w;
            v[Height] = h;
            v[Area] = w * h;
        }
        break;
    case ShapeTypes::CircleCenterRadius:
        if (n >= 2) {
            const double r = distance(pts[0], pts[n - 1]);
            v[Radius] = r;
            v[Diameter] = 2.0 * r;
        }
        break;
    case ShapeTypes::DoubleCircle:
        if (n >= 4)
            v[Distance] = distance(pts[0], pts[2]);
        break;
    case ShapeTypes::Rec3Point:
        if (n >= 2) {
            v[Width] = distance(pts[0], pts[1]);
            if (n >= 3)
                v[Height] = distanceToLine(pts[2], pts[0], pts[1]);
        }
        break;
    case ShapeTypes::Angle3Point:
        if (n >= 3)
            v[Angle] = angleBetween(QLineF(pts[1], pts[2]), QLineF(pts[1], pts[0]));
        break;
    case ShapeTypes::Angle4Point:
        if (n >= 4)
            v[Angle] = angleBetween(QLineF(pts[2], pts[3]), QLineF(pts[0], pts[1]));
        break;
    case ShapeTypes::Circle2Point:
        if (n >= 2) {
            const double d = distance(pts[0], pts[1]);
            v[Diameter] = d;
            v[Radius] = d * 0.5;
        }
        break;
    case ShapeTypes::Ellipse:
        if (n >= 2) {
            v[Width] = std::abs(pts[1].x() - pts[0].x()) * 0.5;
            v[Height] = std::abs(pts[1].y() - pts[0].y()) * 0.5;
        }
        break;
    case ShapeTypes::Ellipse3Point:
        if (n >= 2) {
            v[Width] = distance(pts[0], pts[1]) * 0.5;
            if (n >= 3)
                v[Height] = distanceToLine(pts[2], pts[0], pts[1]) * 0.5;
        }
        break;
    case ShapeTypes::Ellipse5Point: {
        ShapeGeometry::EllipseAxes axes;
        if (n >= 5) {
            const bool fitted = ShapeGeometry::ellipseThrough(pts, &axes);
            v[Width] = fitted ? axes.p : kNotMeasurable;
            v[Height] = fitted ? axes.q : kNotMeasurable;
        }
        break;
    }
    case ShapeTypes::Arc:
        if (n >= 3)
            v[Length] = arcLength(pts[0], pts[1], pts[2]);
        break;
    case ShapeTypes::Parallel4Points:
        if (n >= 4)
            v[Distance] = parallelDistance(pts[2], pts[0], pts[1]);
        break;
    case ShapeTypes::Parallel8Points:
        if (n >= 8)
            v[Distance] = parallelDistance(midpoint(pts[4], pts[6]), midpoint(pts[0], pts[2]),
                                           midpoint(pts[1], pts[3]));
        break;
    case ShapeTypes::ParallelAny:
        if (n >= 3)
            v[Distance] = parallelDistance(pts[2], pts[0], pts[1]);
        break;
    case ShapeTypes::Perpendicular3Points:
        if (n >= 3)
            v[Distance] = distanceToLine(pts[2], pts[0], pts[1]);
        break;
    case ShapeTypes::Perpendicular4Points:
        if (n >= 2)
            v[Length] = distance(pts[0], pts[1]);
        if (n >= 4) {
            const QPointF f = footOn(pts[2], pts[0], pts[1], pts[0]);
            const QPointF g = footOn(pts[3], pts[2], f, pts[2]);
            v[Distance] = distance(pts[2], g);
        }
        break;
    default:
        break;
    }
    return v;
}

QMap<int, QString> MeasurementRow::cells(const LineDataBase &record,
                                         const CalibrationData *calibration)
{
    const bool converted = lengthUnit(calibration) != QLatin1String("px");
    QMap<int, QString> texts;
    texts[Name] = ShapeTypes::displayName(record.type());
    // A text item measures nothing: its row shows what it says in the first value column.
    if (record.type() == ShapeTypes::Text) {
        texts[Length] = record.text;
        return texts;
    }

    const QMap<int, double> values = pixelValues(record);
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const double px = it.value();
        if (std::isnan(px)) {
            texts[it.key()] = GraphicsItemBase::notMeasurableText();
        } else if (it.key() == Angle) {
            texts[Angle] = AngleText::format(px);
        } else if (it.key() == Area) {
            if (converted) {
                const double f = calibration->convertPixelLength(1.0);
                texts[Area] = QString::number(f * px * f, 'f', 2);
            } else {
                texts[Area] = pixelNumber(px);
            }
        } else {
            texts[it.key()] = converted
                                  ? QString::number(calibration->convertPixelLength(px), 'f', 2)
                                  : pixelNumber(px);
        }
    }
    return texts;
}

QString MeasurementRow::lengthUnit(const CalibrationData *calibration)
{
    if (calibration && calibration->isCalibrated() &&
        calibration->currentUnit() != QLatin1String("px"))
        return calibration->currentUnit();
    return QStringLiteral("px");
}

QString MeasurementRow::columnUnit(int column, const CalibrationData *calibration)
{
    switch (column) {
    case Name:
        return QString();
    case Angle:
        return QStringLiteral("°");
    case Area:
        return lengthUnit(calibration) + QStringLiteral("²");
    default:
        return lengthUnit(calibration);
    }
}
