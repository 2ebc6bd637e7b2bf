// The transforms' direct results are checked through the DCT against its
// defining sums and golden hashes; here what those cannot show.
#include "dsp/Fft.h"

#include <gtest/gtest.h>

#include <bit>

#include "TestSupport.h"
#include "dsp/Dct.h"

namespace qola {
namespace {

using Vector = std::vector<double>;

// The permutation tables must not depend on the order in which lengths are first used.
TEST(Fft, BitReversalInAnyOrderOfFirstUse) {
  for (int logm : {5, 6, 5, 4, 6, 12, 3, 11, 2, 7, 8, 9, 10, 1, 0}) {
    Vector x(std::size_t{1} << logm);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>(i);
    bitReverse(x.data(), logm);
    for (int j = 0; j < static_cast<int>(x.size()); ++j) {
      int reversed = 0;
      for (int b = 0; b < logm; ++b) reversed |= ((j >> b) & 1) << (logm - 1 - b);
      ASSERT_EQ(x[j], reversed) << "logm " << logm << " j " << j;
    }
  }
}

TEST(Transforms, OutOfRangeLengthsAreFatal) {
  double x[2] = {}, y[2] = {};
  EXPECT_EQ(test::fatalMessageOf([&] { splitRadixFft(x, y, -1); }), "SRFFT: logm = -1 is out of bounds [0, 12]");
  EXPECT_EQ(test::fatalMessageOf([&] { naturalOrderFft(x, y, 13); }), "SRFFT: logm = 13 is out of bounds [0, 12]");
  EXPECT_EQ(test::fatalMessageOf([&] { forwardDct(x, 13); }), "FDCT: logm = 13 is out of bounds [0, 12]");
  EXPECT_EQ(test::fatalMessageOf([&] { inverseDct(x, -1); }), "FIDCT: logm = -1 is out of bounds [0, 12]");
  EXPECT_EQ(test::fatalMessageOf([&] { scaledDctIv(x, 13, 1.0); }), "FDCTIV2: logm = 13 is out of bounds [0, 12]");
}

}  // namespace
}  // namespace qola
