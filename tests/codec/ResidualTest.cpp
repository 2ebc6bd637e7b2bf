#include "codec/Residual.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "dsp/Analysis.h"

namespace qola::test {
namespace {

// A lone click in silence: plain rounding of its coefficients piles the whole
// quantisation error onto one sample, beyond what a residual can carry.
TEST(CodableResidual, RequantisesAClickWhoseResidualWouldNotFit) {
  for (int s : {10, 11, 12}) {
    const int L = 1 << s;
    std::vector<std::int16_t> source(static_cast<std::size_t>(L), 0);
    source[static_cast<std::size_t>(L / 3)] = 45;
    std::vector<std::int32_t> coefficients(static_cast<std::size_t>(L));
    std::vector<std::int8_t> parameters(static_cast<std::size_t>(L / 32));
    std::vector<double> temp(static_cast<std::size_t>(L));
    std::vector<std::int16_t> residual(static_cast<std::size_t>(L));
    SegmentType type{};
    analyseBlock(s, source.data(), coefficients.data(), parameters.data(), type);
    ASSERT_EQ(type, SegmentType::Transform);
    ASSERT_GT(formResidual(s, coefficients.data(), source.data(), temp.data(), residual.data()), 31)
        << "the click no longer provokes the fallback at s = " << s;

    codableResidual(s, source.data(), coefficients.data(), parameters.data(), temp.data(), residual.data());
    int largest = 0;
    for (std::int16_t e : residual) largest = std::max(largest, std::abs(static_cast<int>(e)));
    EXPECT_LE(largest, 31);
    // The decoder's rebuild minus the residual gives the click back.
    std::vector<std::int16_t> rebuilt(static_cast<std::size_t>(L));
    reconstructSegment(s, coefficients.data(), residual.data(), temp.data(), rebuilt.data());
    EXPECT_EQ(rebuilt, source);
  }
}

}  // namespace
}  // namespace qola::test
