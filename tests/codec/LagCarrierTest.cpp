// The lag carrier and the encoder modes: blocks whose difference signal needs
// no transform keep joint stereo, and every mode's file restores exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "TestSupport.h"
#include "codec/LagCarrier.h"
#include "codec/SegmentRebuild.h"

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

// Stereo frames whose right channel is built from the left per block of N.
enum class Right { Identical, FewSamplesDiffer, NearSilent, LagMinus20, LagPlus20 };

Bytes stereoInput(Right right, int frames, int N) {
  std::mt19937 random(7);
  std::vector<std::int16_t> left(static_cast<std::size_t>(frames)), zeros(static_cast<std::size_t>(N), 0),
      interleaved;
  for (int i = 0; i < frames; ++i) {
    left[i] = static_cast<std::int16_t>(8000 * std::sin(i * 0.013) + static_cast<int>(random() % 2001) - 1000);
  }
  for (int start = 0; start < frames; start += N) {
    const int length = std::min(N, frames - start);
    std::vector<std::int16_t> second(left.begin() + start, left.begin() + start + length);
    if (right == Right::LagMinus20 || right == Right::LagPlus20) {
      second.resize(static_cast<std::size_t>(N));
      jointReconstruct(right == Right::LagPlus20 ? 20 : -20, N, left.data() + start, zeros.data(), second.data());
    }
    for (int i = 0; i < length; ++i) {
      std::int16_t r = second[i];
      if (right == Right::FewSamplesDiffer && (start + i) % 1500 == 77) r = static_cast<std::int16_t>(r + 300);
      if (right == Right::NearSilent) r = static_cast<std::int16_t>((start + i) % 300 == 0 ? 1 : 0);
      interleaved.insert(interleaved.end(), {left[start + i], r});
    }
  }
  return pcm16(interleaved);
}

TEST(EncoderModes, EveryModeRestoresExactlyAndTheCarrierPays) {
  const struct {
    Right right;
    int frames;
    Adaptation adaptation;
    bool carried;  // the difference signal is all zero: Default keeps joint stereo
  } cases[] = {
      {Right::Identical, 4 * 4096, Adaptation::Full, true},
      {Right::Identical, 3 * 4096 + 3000, Adaptation::None, true},  // final partial block
      {Right::LagMinus20, 4 * 4096, Adaptation::Full, true},
      {Right::LagPlus20, 4 * 4096, Adaptation::Medium, true},
      {Right::FewSamplesDiffer, 4 * 4096 + 77, Adaptation::Full, false},
      {Right::NearSilent, 4 * 4096 + 77, Adaptation::Full, false},
  };
  for (const auto& c : cases) {
    const Bytes input = stereoInput(c.right, c.frames, 4096);
    std::map<EncoderMode, std::size_t> sizes;
    for (EncoderMode mode : {EncoderMode::Reference, EncoderMode::Default, EncoderMode::Best, EncoderMode::Fast}) {
      CodecSettings settings;
      settings.jointStereo = true;
      settings.adaptation = c.adaptation;
      settings.encoderMode = mode;
      const Bytes compressed = compressBytes(settings, input);
      EXPECT_TRUE(decompressBytes(compressed) == input) << static_cast<int>(c.right) << " mode " << static_cast<int>(mode);
      sizes[mode] = compressed.size();
    }
    EXPECT_LE(sizes[EncoderMode::Default], sizes[EncoderMode::Reference]);
    EXPECT_LE(sizes[EncoderMode::Best], sizes[EncoderMode::Default]);
    EXPECT_TRUE(!c.carried || sizes[EncoderMode::Default] * 3 < sizes[EncoderMode::Reference] * 2);
  }
}

}  // namespace
}  // namespace qola::test
