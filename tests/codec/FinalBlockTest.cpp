// The final partial block: every mode restores it exactly, and the encoders
// other than the reference one code it as the shortest segment that holds
// its frames, so a file shorter than a block costs about its samples.
#include <gtest/gtest.h>

#include <cmath>

#include "TestSupport.h"
#include "common/FormatConstants.h"

namespace qola::test {
namespace {

Bytes music(int frames, int channels) {
  std::vector<std::int16_t> samples;
  for (int t = 0; t < frames; ++t) {
    for (int c = 0; c < channels; ++c) {
      samples.push_back(static_cast<std::int16_t>(6000 * std::sin(t * (0.031 + 0.007 * c)) + 900 * std::sin(t * 0.9) +
                                                  (t * 7919 + c * 13) % 41 - 20));
    }
  }
  return pcm16(samples);
}

int shortestSegmentFor(int frames) {
  int length = 128;
  while (length < frames) length *= 2;
  return length;
}

TEST(FinalBlock, ShortestSegmentInEveryModeButTheReference) {
  for (int channels : {1, 2}) {
    for (int frames : {1, 77, 128, 129, 1000, 3000, 4096 + 77, 3 * 4096 + 2100}) {
      const Bytes input = music(frames, channels);
      for (EncoderMode mode : {EncoderMode::Reference, EncoderMode::Default, EncoderMode::Best, EncoderMode::Fast}) {
        SCOPED_TRACE(testing::Message() << channels << " channels, " << frames << " frames, mode "
                                        << static_cast<int>(mode));
        CodecSettings settings;
        settings.channelCount = channels;
        settings.jointStereo = true;
        settings.encoderMode = mode;
        settings.trailer = false;
        const Bytes compressed = compressBytes(settings, input);
        EXPECT_TRUE(decompressBytes(compressed) == input);
        if (frames >= 4096 || mode == EncoderMode::Reference) continue;
        // A single final block: its first segment follows the file header.
        const int s = (compressed.at(format::kFileHeaderSize) & format::kSegmentExponentMask) + 7;
        EXPECT_EQ(1 << s, shortestSegmentFor(frames));
      }
    }
  }
}

TEST(FinalBlock, AShortFileCostsAboutItsSamples) {
  const Bytes input = music(77, 2);
  CodecSettings settings;
  settings.jointStereo = true;
  settings.trailer = false;
  settings.encoderMode = EncoderMode::Reference;
  const std::size_t reference = compressBytes(settings, input).size();
  settings.encoderMode = EncoderMode::Default;
  const std::size_t chosen = compressBytes(settings, input).size();
  EXPECT_LT(chosen * 4, reference);
  EXPECT_LT(chosen, input.size() * 13 / 10);
}

}  // namespace
}  // namespace qola::test
