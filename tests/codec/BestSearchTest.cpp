// The Best encoder's split search: its list covers the block, the coefficients
// it leaves behind code to exactly the bytes it reports, and it never codes
// larger than the estimate-guided segmentation.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "codec/BestSearch.h"
#include "codec/LagCarrier.h"

namespace qola::test {
namespace {

// Bytes of the list's records with the coefficients in place.
std::size_t codedBytes(TrialCoder& coder, const SegmentList& list, const std::vector<std::int16_t>& samples,
                       std::vector<std::int32_t>& TK, std::vector<std::int8_t>& CB, bool lagged) {
  std::size_t bytes = 0;
  int p = 0;
  for (int i = 0; i < list.count; ++i) {
    const int s = list.exponents[i];
    switch (list.types[i]) {
      case SegmentType::Zero: bytes += 1; break;
      case SegmentType::Constant: bytes += 3; break;
      case SegmentType::Transform:
        bytes += transformRecordBytes(coder, s, samples.data() + p, TK.data() + p, CB.data() + p / 32, lagged);
        break;
    }
    p += 1 << s;
  }
  EXPECT_EQ(p, static_cast<int>(samples.size()));
  return bytes;
}

TEST(BestSearch, ListCoversTheBlockAndCodesToTheReportedBytes) {
  std::mt19937 random(3);
  for (int shape = 0; shape < 4; ++shape) {  // music, silence then music, a click in silence, a constant
    for (Adaptation level : {Adaptation::Full, Adaptation::Medium, Adaptation::None}) {
      std::vector<std::int16_t> samples(4096);
      for (int i = 0; i < 4096; ++i) {
        const double music =
            6000 * std::sin(i * 0.02) * std::sin(i * 0.0011) + static_cast<int>(random() % 101) - 50;
        const bool loud = shape == 0 || (shape == 1 && i >= 1500);
        samples[i] = static_cast<std::int16_t>(loud         ? music
                                               : shape == 2 ? (i == 3000 ? 9000 : 0)
                                               : shape == 3 ? -7
                                                            : 0);
      }
      TrialCoder coder(4096);
      SegmentList list;
      std::vector<std::int32_t> TK(4096);
      std::vector<std::int8_t> CB(128);
      const std::size_t reported = segmentBlockByBytes(coder, 4096, level, samples.data(), true, list, TK.data(),
                                                       CB.data(), AnalysisTuning{});
      for (int i = 0; i < list.count; ++i) EXPECT_GE(list.exponents[i], minimumSegmentExponent(4096, level));
      EXPECT_EQ(codedBytes(coder, list, samples, TK, CB, true), reported) << shape;

      SegmentList estimated;
      segmentBlock(4096, level, samples.data(), estimated, TK.data(), CB.data());
      EXPECT_LE(reported, codedBytes(coder, estimated, samples, TK, CB, true)) << shape;
    }
  }
}

}  // namespace
}  // namespace qola::test
