// Correctly rounded sine and cosine of a double, independent of the C library.
//
// The transform tables must hold the same bits on every machine, so they
// cannot come from the platform's sin/cos, whose last bit varies between
// implementations.
#pragma once

namespace qola {

struct SinCos {
  double sin;
  double cos;
};

// Both values rounded to nearest from an evaluation carrying about 100 bits.
// Accurate for 0 <= x <= 5 (every table angle lies in [0, 3*pi/2)).
SinCos exactSinCos(double x);

}  // namespace qola
