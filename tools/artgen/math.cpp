// Sine and cosine from basic IEEE operations only, so that every host computes
// bit-identical pictures (libm results may differ between library versions).
#include "artgen.h"

#include <cmath>

namespace artgen {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Taylor series on [-pi, pi]; 14 terms are far below 8-bit colour precision.
double SinReduced(double x) {
  double term = x, sum = x;
  const double x2 = x * x;
  for (int n = 1; n < 14; ++n) {
    term = -term * x2 / ((2 * n) * (2 * n + 1));
    sum += term;
  }
  return sum;
}

}  // namespace

double Sin(double x) {
  const double turns = std::floor((x + kPi) / (2 * kPi));  // floor is exact
  return SinReduced(x - turns * 2 * kPi);
}

double Cos(double x) { return Sin(x + kPi / 2); }

double Clamp01(double x) { return x < 0 ? 0 : (x > 1 ? 1 : x); }

double SmoothStep(double edge0, double edge1, double x) {
  const double t = Clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3 - 2 * t);
}

}  // namespace artgen
