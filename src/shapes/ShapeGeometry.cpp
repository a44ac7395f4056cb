// ShapeGeometry.cpp: feet, intersections, circles, arcs and the five-point conic.
#include "shapes/ShapeGeometry.h"

#include <Eigen/Dense>

#include <QLineF>

#include <cmath>

namespace ShapeGeometry {

namespace {
// Far beyond any picture: a "circle" this large is a straight line for every practical purpose.
constexpr double kMaxRadius = 1e6;
} // namespace

QPointF perpendicularFoot(const QPointF &q, const QPointF &a, const QPointF &b, double *t)
{
    const QPointF d = b - a;
    const double len2 = QPointF::dotProduct(d, d);
    if (len2 < 1e-10) {
        if (t)
            *t = 0.0;
        return a;
    }
    const double s = QPointF::dotProduct(q - a, d) / len2;
    if (t)
        *t = s;
    return a + s * d;
}

bool lineIntersection(const QPointF &a1, const QPointF &a2, const QPointF &b1, const QPointF &b2,
                      QPointF *at)
{
    const QPointF da = a2 - a1;
    const QPointF db = b2 - b1;
    const double cross = da.x() * db.y() - da.y() * db.x();
    const double scale = std::hypot(da.x(), da.y()) * std::hypot(db.x(), db.y());
    if (scale < 1e-10 || std::abs(cross) <= 1e-9 * scale)
        return false;
    const QPointF w = b1 - a1;
    const double s = (w.x() * db.y() - w.y() * db.x()) / cross;
    *at = a1 + s * da;
    return true;
}

bool circleThrough(const QPointF &p0, const QPointF &p1, const QPointF &p2, QPointF *centre,
                   double *radius)
{
    // Relative to p0 to keep the products small.
    const double bx = p1.x() - p0.x(), by = p1.y() - p0.y();
    const double cx = p2.x() - p0.x(), cy = p2.y() - p0.y();
    const double d = 2.0 * (bx * cy - by * cx);
    const double b2 = bx * bx + by * by;
    const double c2 = cx * cx + cy * cy;
    if (d == 0.0 || b2 == 0.0 || c2 == 0.0)
        return false;
    const double ux = (cy * b2 - by * c2) / d;
    const double uy = (bx * c2 - cx * b2) / d;
    const double r = std::hypot(ux, uy);
    if (!std::isfinite(r) || r > kMaxRadius)
        return false;
    *centre = p0 + QPointF(ux, uy);
    *radius = r;
    return true;
}

bool flatArcLength(const QPointF &p0, const QPointF &p1, const QPointF &p2, double *length)
{
    const QPointF chord = p2 - p0;
    const double len2 = QPointF::dotProduct(chord, chord);
    if (len2 < kMinReferenceLength * kMinReferenceLength)
        return false;
    const double t = QPointF::dotProduct(p1 - p0, chord) / len2;
    if (t < 0.0 || t > 1.0)
        return false;
    *length = std::sqrt(len2);
    return true;
}

double polygonPerimeter(const QList<QPointF> &points)
{
    double length = 0.0;
    for (int i = 1; i < points.size(); ++i)
        length += QLineF(points[i - 1], points[i]).length();
    if (points.size() >= 3)
        length += QLineF(points.last(), points.first()).length();
    return length;
}

double polygonArea(const QList<QPointF> &points)
{
    if (points.size() < 3)
        return 0.0;
    double twice = 0.0;
    for (int i = 0; i < points.size(); ++i) {
        const QPointF &a = points[i];
        const QPointF &b = points[(i + 1) % points.size()];
        twice += a.x() * b.y() - b.x() * a.y();
    }
    return std::abs(twice) / 2.0;
}

double screenAngle(const QPointF &c, const QPointF &p)
{
    double a = std::atan2(p.y() - c.y(), p.x() - c.x()) * 57.29577951308232;
    if (a < 0)
        a += 360.0;
    return a;
}

double arcSweep(double a0, double a1, double a2)
{
    if (a0 > a2) {
        if (a1 > a0 || a1 < a2)
            return 360.0 - (a0 - a2);
        if (a1 < a0 && a1 > a2)
            return -(a0 - a2);
    } else if (a2 > a0) {
        if (a1 > a2 || a1 < a0)
            return -(360.0 - (a2 - a0));
        if (a0 < a1 && a1 < a2)
            return a2 - a0;
    }
    return 0.0;
}

bool fitConic(const QList<QPointF> &points, std::array<float, 5> *coefficients)
{
    if (points.size() < 5)
        return false;
    Eigen::Matrix<double, 5, 5> m;
    Eigen::Matrix<double, 5, 1> r;
    for (int i = 0; i < 5; ++i) {
        const double x = points[i].x(), y = points[i].y();
        m.row(i) << x * x, x * y, y * y, x, y;
        r(i) = -1.0;
    }
    const Eigen::PartialPivLU<Eigen::Matrix<double, 5, 5>> lu(m);
    const double det = lu.determinant();
    if (det == 0.0 || !std::isfinite(det))
        return false;
    const Eigen::Matrix<double, 5, 1> s = lu.solve(r);
    if (!s.allFinite())
        return false;
    for (int i = 0; i < 5; ++i)
        (*coefficients)[i] = float(s(i));
    return true;
}

bool ellipseFromConic(const std::array<float, 5> &c, EllipseAxes *axes)
{
    const double a = c[0], b = c[1], cc = c[2], d = c[3], e = c[4];
    const double delta = b * b - 4.0 * a * cc;
    if (!(delta < 0.0))
        return false;
    const double x0 = (2.0 * cc * d - e * b) / delta;
    const double y0 = (2.0 * a * e - d * b) / delta;
    // atan2 also covers A == C, where the axes lie at 45 degrees (or anywhere, for a circle).
    const double theta = 0.5 * std::atan2(b, a - cc);
    const double k = a * x0 * x0 + b * x0 * y0 + cc * y0 * y0 - 1.0;
    const double s = std::sin(theta), co = std::cos(theta);
    const double dp = a * co * co + b * s * co + cc * s * s;
    const double dq = cc * co * co - b * s * co + a * s * s;
    const double p2 = k / dp;
    const double q2 = k / dq;
    // Both ratios must be positive for a real ellipse; otherwise the conic has no real points.
    if (!(p2 > 0.0) || !(q2 > 0.0) || !std::isfinite(p2) || !std::isfinite(q2))
        return false;
    axes->centre = QPointF(x0, y0);
    axes->angle = theta;
    axes->p = std::sqrt(p2);
    axes->q = std::sqrt(q2);
    return true;
}

bool ellipseThrough(const QList<QPointF> &points, EllipseAxes *axes)
{
    if (points.size() < 5)
        return false;
    QPointF mean;
    for (int i = 0; i < 5; ++i)
        mean += points[i];
    mean /= 5.0;
    double spread = 0.0;
    for (int i = 0; i < 5; ++i)
        spread += QLineF(mean, points[i]).length();
    spread /= 5.0;
    if (spread < 1e-6)
        return false;
    QList<QPointF> local;
    for (int i = 0; i < 5; ++i)
        local << (points[i] - mean) / spread;
    std::array<float, 5> c{};
    if (!fitConic(local, &c) || !ellipseFromConic(c, axes))
        return false;
    axes->centre = mean + axes->centre * spread;
    axes->p *= spread;
    axes->q *= spread;
    return true;
}

} // namespace ShapeGeometry
