#include "common/HeadedSamples.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qola::test {
namespace {

// Read in pieces that straddle the header's end and, after a seek back, from
// the middle: the header then the samples, their byte pairs swapped on request.
TEST(HeadedSamples, ReadsHeaderThenSamplesInAnyPieces) {
  const Bytes header = {'H', 'E', 'A', 'D', 'E', 'R', '!'};  // odd: pairs start at odd offsets
  Bytes samples(5000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(i * 13 + i / 256);
  for (const bool swap : {false, true}) {
    Bytes expected = header;
    for (std::size_t i = 0; i < samples.size(); ++i) expected.push_back(samples[swap ? i ^ 1 : i]);
    HeadedSamples headed(header, samples, swap);
    InputStream in(headed.callbacks());
    EXPECT_EQ(in.size(), static_cast<std::int64_t>(expected.size()));
    Bytes got;
    for (std::size_t piece : {3u, 5u, 1u, 4000u, 2000u}) {
      Bytes chunk(piece);
      chunk.resize(in.read(chunk.data(), piece));
      got.insert(got.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(got, expected) << "swap " << swap;
    ASSERT_TRUE(in.seekTo(1001));
    Bytes tail(100);
    ASSERT_EQ(in.read(tail.data(), tail.size()), tail.size());
    EXPECT_EQ(tail, Bytes(expected.begin() + 1001, expected.begin() + 1101));
    EXPECT_FALSE(in.seekTo(static_cast<std::int64_t>(expected.size()) + 1));
  }
  HeadedSamples bare(header, {}, true);  // no samples at all
  InputStream in(bare.callbacks());
  Bytes all(20);
  EXPECT_EQ(in.read(all.data(), all.size()), header.size());
}

}  // namespace
}  // namespace qola::test
