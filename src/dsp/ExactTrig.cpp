#include "dsp/ExactTrig.h"

#include <array>
#include <cmath>

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

// The quadrant's argument r (|r| <= pi/4) is split once more: r = a_j + t
// with a_j = j pi/64, |j| <= 16, and |t| <= pi/128. The sine and cosine of
// the 17 anchors come from the long series once; the short series of t
// needs only kShortPairs terms, multiplied by stored reciprocals instead of
// divided, which makes filling a table several times cheaper. The tables'
// test checks every entry against a correctly rounding reference.
constexpr int kAnchorCount = 16;
constexpr int kShortPairs = 7;
constexpr double kAnchorsPerUnit = 64.0 / 3.141592653589793;

struct Anchors {
  std::array<DoubleDouble, kAnchorCount + 1> angle;
  std::array<DoubleDouble, kAnchorCount + 1> sin;
  std::array<DoubleDouble, kAnchorCount + 1> cos;
  // 1 / ((2k)(2k + 1)) and 1 / ((2k - 1)(2k)) for k = 1 .. kShortPairs.
  std::array<DoubleDouble, kShortPairs + 1> sinFactor;
  std::array<DoubleDouble, kShortPairs + 1> cosFactor;
};

const Anchors& anchors() {
  static const Anchors table = [] {
    Anchors t{};
    for (int j = 0; j <= kAnchorCount; ++j) {
      // j (pi/2) / 32, the first part exactly as a product of two doubles.
      DoubleDouble angle = twoProduct(static_cast<double>(j), kHalfPi1 / 32);
      angle = add(angle, {static_cast<double>(j) * (kHalfPi2 / 32), 0.0});
      const DoubleDouble z = multiply(angle, angle);
      t.angle[j] = angle;
      t.sin[j] = sinSeries(angle, z);
      t.cos[j] = cosSeries(z);
    }
    for (int k = 1; k <= kShortPairs; ++k) {
      t.sinFactor[k] = divide({1.0, 0.0}, static_cast<double>((2 * k) * (2 * k + 1)));
      t.cosFactor[k] = divide({1.0, 0.0}, static_cast<double>((2 * k - 1) * (2 * k)));
    }
    return t;
  }();
  return table;
}

SinCos roundedSinCos(DoubleDouble r) {
  const Anchors& table = anchors();
  int j = static_cast<int>(std::abs(r.hi) * kAnchorsPerUnit + 0.5);
  if (j > kAnchorCount) j = kAnchorCount;
  const double sign = r.hi < 0 ? -1.0 : 1.0;
  // t = r - sign a_j; sin and cos of r from those of t and of the anchor.
  const DoubleDouble anchor{sign * table.angle[j].hi, sign * table.angle[j].lo};
  const DoubleDouble t = add(r, negate(anchor));
  const DoubleDouble z = multiply(t, t);
  DoubleDouble st{1.0, 0.0};
  DoubleDouble ct{1.0, 0.0};
  for (int k = kShortPairs; k >= 1; --k) {
    st = add({1.0, 0.0}, negate(multiply(multiply(z, st), table.sinFactor[k])));
    ct = add({1.0, 0.0}, negate(multiply(multiply(z, ct), table.cosFactor[k])));
  }
  st = multiply(t, st);
  const DoubleDouble sa{sign * table.sin[j].hi, sign * table.sin[j].lo};
  const DoubleDouble ca = table.cos[j];
  const DoubleDouble sinR = add(multiply(sa, ct), multiply(ca, st));
  const DoubleDouble cosR = add(multiply(ca, ct), negate(multiply(sa, st)));
  return {sinR.hi, cosR.hi};
}

}  // namespace

SinCos exactSinCos(double x) {
  // Nearest quadrant; x - k*kHalfPi1 is exact (Sterbenz) for k >= 1.
  int k = static_cast<int>(x * kTwoOverPi + 0.5);
  double kd = static_cast<double>(k);
  DoubleDouble r{x - kd * kHalfPi1, 0.0};
  r = add(r, negate(twoProduct(kd, kHalfPi2)));
  r = add(r, {-(kd * kHalfPi3), 0.0});

  // hi is the nearest double to hi + lo after quickTwoSum, hence the one rounding.
  const SinCos v = roundedSinCos(r);
  switch (k & 3) {
    case 0: return {v.sin, v.cos};
    case 1: return {v.cos, -v.sin};
    case 2: return {-v.sin, -v.cos};
    default: return {-v.cos, v.sin};
  }
}

}  // namespace qola
