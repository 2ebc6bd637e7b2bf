// The lag carrier: a block whose difference signal needs no transform keeps
// joint stereo by turning its shortest zero run into a transform segment that
// codes nothing (CompressFileTest checks that it pays).
#include "codec/LagCarrier.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qola::test {
namespace {

using Entries = std::vector<std::pair<int, SegmentType>>;  // exponent, type

TEST(LagCarrier, TakesTheShortestRunAndKeepsTheBlockLength) {
  constexpr auto Z = SegmentType::Zero, C = SegmentType::Constant, T = SegmentType::Transform;
  const struct {
    Entries list;
    int minimumExponent, host;
    Entries expected;
  } cases[] = {
      {{{12, Z}}, 7, 0, {{7, T}, {7, Z}, {8, Z}, {9, Z}, {10, Z}, {11, Z}}},
      {{{12, Z}}, 10, 0, {{10, T}, {10, Z}, {11, Z}}},
      {{{12, C}}, 12, 0, {{12, T}}},
      {{{11, C}, {10, Z}, {10, C}}, 10, 1, {{11, C}, {10, T}, {10, C}}},
      {{{11, Z}, {10, C}, {10, Z}}, 7, 2, {{11, Z}, {10, C}, {7, T}, {7, Z}, {8, Z}, {9, Z}}},
      {{{11, Z}, {11, T}}, 7, -1, {{11, Z}, {11, T}}},
  };
  for (const auto& c : cases) {
    SegmentList list;
    for (const auto& [exponent, type] : c.list) {
      list.exponents[list.count] = static_cast<std::int8_t>(exponent);
      list.types[list.count++] = type;
    }
    std::vector<std::int32_t> coefficients(4096, 5);
    std::vector<std::int8_t> bands(128, 5);
    ASSERT_EQ(placeLagCarrier(list, c.minimumExponent, coefficients.data(), bands.data()), c.host);
    Entries placed;
    int position = 0;
    for (int i = 0; i < list.count; ++i) {
      placed.emplace_back(list.exponents[i], list.types[i]);
      if (list.types[i] == T && c.host >= 0) {  // the carrier codes nothing
        EXPECT_TRUE(coefficients[position] == 0 && bands[position / 32] == -3) << i;
      }
      position += 1 << list.exponents[i];
    }
    EXPECT_EQ(placed, c.expected);
  }
}

}  // namespace
}  // namespace qola::test
