#include "DetMath.h"

#include <cmath>

namespace datagen {

namespace {

// sin on -pi/2 .. pi/2 by its Taylor series; the last term kept is below 1e-16 there.
double sinKernel(double x) {
    double x2 = x * x;
    double term = x;
    double sum = x;
    for (int n = 1; n <= 11; ++n) {
        term = -term * x2 / ((2.0 * n) * (2.0 * n + 1.0));
        sum += term;
    }
    return sum;
}

// atan on 0 .. tan(pi/24) (about 0.13), where the series converges fast.
double atanKernel(double x) {
    double x2 = x * x;
    double power = x;
    double sum = x;
    for (int n = 1; n <= 12; ++n) {
        power *= -x2;
        sum += power / (2.0 * n + 1.0);
    }
    return sum;
}

double detAtan(double x) {
    bool negative = x < 0.0;
    if (negative)
        x = -x;
    bool inverted = x > 1.0;
    if (inverted)
        x = 1.0 / x;
    // atan(x) = 2 atan(x / (1 + sqrt(1 + x^2))), twice, brings x below 0.2.
    double reduced = x / (1.0 + std::sqrt(1.0 + x * x));
    reduced = reduced / (1.0 + std::sqrt(1.0 + reduced * reduced));
    double angle = 4.0 * atanKernel(reduced);
    if (inverted)
        angle = kPi / 2.0 - angle;
    return negative ? -angle : angle;
}

} // namespace

double detSin(double x) {
    double turns = std::floor(x / kTwoPi + 0.5);
    double r = x - turns * kTwoPi; // -pi .. pi
    if (r > kPi / 2.0)
        r = kPi - r;
    else if (r < -kPi / 2.0)
        r = -kPi - r;
    return sinKernel(r);
}

double detCos(double x) { return detSin(x + kPi / 2.0); }

double detExp(double x) {
    const double ln2 = 0.69314718055994530942;
    double k = std::floor(x / ln2 + 0.5);
    double r = x - k * ln2; // |r| <= ln2 / 2
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 18; ++n) {
        term = term * r / n;
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(k));
}

double detLog(double x) {
    int exponent = 0;
    double mantissa = std::frexp(x, &exponent); // 0.5 .. 1
    if (mantissa < 0.70710678118654752440) {
        mantissa *= 2.0;
        exponent -= 1;
    }
    // log(m) = 2 atanh(s) with s = (m - 1) / (m + 1), |s| < 0.172.
    double s = (mantissa - 1.0) / (mantissa + 1.0);
    double s2 = s * s;
    double power = s;
    double sum = s;
    for (int n = 1; n <= 14; ++n) {
        power *= s2;
        sum += power / (2.0 * n + 1.0);
    }
    return 2.0 * sum + exponent * 0.69314718055994530942;
}

double detPow(double base, double exponent) {
    if (base <= 0.0)
        return 0.0;
    return detExp(exponent * detLog(base));
}

double detTanh(double x) {
    if (x > 20.0)
        return 1.0;
    if (x < -20.0)
        return -1.0;
    double e = detExp(2.0 * x);
    return (e - 1.0) / (e + 1.0);
}

double detAtan2(double y, double x) {
    if (x > 0.0)
        return detAtan(y / x);
    if (x < 0.0)
        return y >= 0.0 ? detAtan(y / x) + kPi : detAtan(y / x) - kPi;
    if (y > 0.0)
        return kPi / 2.0;
    if (y < 0.0)
        return -kPi / 2.0;
    return 0.0;
}

} // namespace datagen
