#include "dsp/ExactTrig.h"

namespace qola {
namespace {

// Double-double arithmetic (Dekker, Knuth). Each operation is a fixed
// sequence of IEEE double operations, so the results are the same on every
// machine without fused multiply-add.
struct DoubleDouble {
  double hi;
  double lo;
};

DoubleDouble quickTwoSum(double a, double b) {  // needs |a| >= |b|
  double s = a + b;
  return {s, b - (s - a)};
}

DoubleDouble twoSum(double a, double b) {
  double s = a + b;
  double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

DoubleDouble split(double a) {
  double t = 134217729.0 * a;  // 2^27 + 1
  double hi = t - (t - a);
  return {hi, a - hi};
}

DoubleDouble twoProduct(double a, double b) {
  double p = a * b;
  DoubleDouble as = split(a);
  DoubleDouble bs = split(b);
  double error = ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
  return {p, error};
}

DoubleDouble add(DoubleDouble x, DoubleDouble y) {
  DoubleDouble s = twoSum(x.hi, y.hi);
  DoubleDouble t = twoSum(x.lo, y.lo);
  s.lo += t.hi;
  s = quickTwoSum(s.hi, s.lo);
  s.lo += t.lo;
  return quickTwoSum(s.hi, s.lo);
}

DoubleDouble multiply(DoubleDouble x, DoubleDouble y) {
  DoubleDouble p = twoProduct(x.hi, y.hi);
  p.lo += x.hi * y.lo + x.lo * y.hi;
  return quickTwoSum(p.hi, p.lo);
}

DoubleDouble divide(DoubleDouble x, double d) {
  double q1 = x.hi / d;
  DoubleDouble p = twoProduct(q1, d);
  DoubleDouble r = twoSum(x.hi, -p.hi);
  r.lo -= p.lo;
  r.lo += x.lo;
  double q2 = (r.hi + r.lo) / d;
  return quickTwoSum(q1, q2);
}

DoubleDouble negate(DoubleDouble x) { return {-x.hi, -x.lo}; }

// pi/2 as an unevaluated sum of three doubles; the first has 50 significant
// bits, so k * kHalfPi1 is exact for k <= 3.
constexpr double kHalfPi1 = 0x1.921fb54442d18p+0;
constexpr double kHalfPi2 = 0x1.1a62633145c07p-54;
constexpr double kHalfPi3 = -0x1.f1976b7ed8fbcp-110;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// Taylor series to x^31: below 2^-110 relative for |r| <= pi/4.
constexpr int kSeriesPairs = 15;

// r - r^3/3! + ... in Horner form: r * (1 - z/(2*3) * (1 - z/(4*5) * (...))).
DoubleDouble sinSeries(DoubleDouble r, DoubleDouble z) {
  DoubleDouble s{1.0, 0.0};
  for (int k = kSeriesPairs; k >= 1; --k) {
    DoubleDouble term = divide(multiply(z, s), static_cast<double>((2 * k) * (2 * k + 1)));
    s = add({1.0, 0.0}, negate(term));
  }
  return multiply(r, s);
}

DoubleDouble cosSeries(DoubleDouble z) {
  DoubleDouble c{1.0, 0.0};
  for (int k = kSeriesPairs; k >= 1; --k) {
    DoubleDouble term = divide(multiply(z, c), static_cast<double>((2 * k - 1) * (2 * k)));
    c = add({1.0, 0.0}, negate(term));
  }
  return c;
}

}  // namespace

SinCos exactSinCos(double x) {
  // Nearest quadrant; x - k*kHalfPi1 is exact (Sterbenz) for k >= 1.
  int k = static_cast<int>(x * kTwoOverPi + 0.5);
  double kd = static_cast<double>(k);
  DoubleDouble r{x - kd * kHalfPi1, 0.0};
  r = add(r, negate(twoProduct(kd, kHalfPi2)));
  r = add(r, {-(kd * kHalfPi3), 0.0});

  DoubleDouble z = multiply(r, r);
  DoubleDouble s = sinSeries(r, z);
  DoubleDouble c = cosSeries(z);
  // hi is the nearest double to hi + lo after quickTwoSum, hence the one rounding.
  switch (k & 3) {
    case 0: return {s.hi, c.hi};
    case 1: return {c.hi, -s.hi};
    case 2: return {-s.hi, -c.hi};
    default: return {-c.hi, s.hi};
  }
}

}  // namespace qola
