#pragma once
// Elementary functions built only from IEEE-exact operations (+, -, *, /, sqrt, floor), so that
// every generated file has the same bytes on every machine, whatever the C library's own sin,
// exp or atan2 return in their last bits.

namespace datagen {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 6.28318530717958647692;

double detSin(double x);
double detCos(double x);
// e^x for |x| below about 700.
double detExp(double x);
// Natural logarithm of x > 0.
double detLog(double x);
// base^exponent for base > 0; 0 for base <= 0.
double detPow(double base, double exponent);
// Hyperbolic tangent, a soft saturation curve.
double detTanh(double x);
// Angle of (x, y) in -pi .. pi, like atan2(y, x).
double detAtan2(double y, double x);

inline double clamp01(double x) { return x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x); }
inline double clampRange(double x, double low, double high) { return x < low ? low : (x > high ? high : x); }
inline double mix(double a, double b, double t) { return a + (b - a) * t; }
// Hermite step: 0 below edge0, 1 above edge1, smooth between.
inline double smoothStep(double edge0, double edge1, double x) {
    double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

} // namespace datagen
