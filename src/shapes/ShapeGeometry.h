// ShapeGeometry.h: the plane geometry behind the measurement shapes, free of any item state.
#pragma once

#include <QList>
#include <QPointF>

#include <array>

namespace ShapeGeometry {

// Foot of the perpendicular from q on the line through a and b; `t` is its parameter along
// a -> b. A line shorter than 1e-5 has no direction: the foot is a and t is 0.
QPointF perpendicularFoot(const QPointF &q, const QPointF &a, const QPointF &b,
                          double *t = nullptr);

// Intersection of the infinite lines a1-a2 and b1-b2; false when they are parallel or one of
// them has no length.
bool lineIntersection(const QPointF &a1, const QPointF &a2, const QPointF &b1, const QPointF &b2,
                      QPointF *at);

// The circle through three points; false when they are (nearly) collinear or two coincide, so
// that no circle of a size that fits on any picture passes through them.
bool circleThrough(const QPointF &p0, const QPointF &p1, const QPointF &p2, QPointF *centre,
                   double *radius);

// A reference line shorter than this gives parallels no direction to measure across.
constexpr double kMinReferenceLength = 1e-5;

// The length of an arc whose three points have no circle: only a flat arc, p1 on the segment from
// p0 to p2 (p0 and p2 apart), measures something, its chord. False for any other point set, such
// as p1 beyond p2 or p0 on p2.
bool flatArcLength(const QPointF &p0, const QPointF &p1, const QPointF &p2, double *length);

// The perimeter of the closed polygon through the points, its closing edge included; with fewer
// than three points the length of the open path.
double polygonPerimeter(const QList<QPointF> &points);
// The area the polygon encloses (shoelace formula); 0 with fewer than three points.
double polygonArea(const QList<QPointF> &points);

// Angle of p around c in degrees in [0, 360), screen y pointing down.
double screenAngle(const QPointF &c, const QPointF &p);

// The signed sweep (degrees) that runs from a0 to a2 through a1; 0 when a1 equals an end.
double arcSweep(double a0, double a1, double a2);

// Coefficients A, B, C, D, E of A x^2 + B xy + C y^2 + D x + E y + 1 = 0 through the first five
// points, by LU decomposition with partial pivoting; false when the system is singular or there
// are fewer than five points.
bool fitConic(const QList<QPointF> &points, std::array<float, 5> *coefficients);

struct EllipseAxes
{
    QPointF centre;
    double angle = 0.0; // radians, direction of the semi-axis p
    double p = 0.0;
    double q = 0.0;
};
// The ellipse of a conic; false for hyperbolas, parabolas and conics without real points.
bool ellipseFromConic(const std::array<float, 5> &c, EllipseAxes *axes);

// The ellipse through five points: the conic is fitted in coordinates centred on the points'
// mean and scaled to unit spread, which keeps the system well conditioned and the constant term
// away from zero (the mean of points on an ellipse lies inside it).
bool ellipseThrough(const QList<QPointF> &points, EllipseAxes *axes);

} // namespace ShapeGeometry
