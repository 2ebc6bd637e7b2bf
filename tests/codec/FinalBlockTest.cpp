// The final partial block: every mode restores it exactly, the encoders
// other than the reference one code it as the shortest segment that holds
// its frames where that codes smallest, so a file shorter than a block costs
// about its samples, and never code it larger than the reference encoder.
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

// Bytes spread over their whole range with no order: what 24-bit data read
// as 8-bit samples looks like. Holding the last sample after the frames codes
// such a block larger than zeros do.
Bytes noise(int bytes) {
  Bytes data;
  std::uint32_t state = 12345;
  for (int i = 0; i < bytes; ++i) {
    state = state * 1664525u + 1013904223u;
    data.push_back(static_cast<std::uint8_t>(state >> 24));
  }
  return data;
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
        // Music: the held last sample in the shortest segment codes smallest.
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

namespace qola::test {
namespace {

TEST(FinalBlock, NeverLargerThanTheReferenceEncoders) {
  struct Case {
    int sampleBits;
    int channels;
    int frames;
  };
  // Partial blocks of a quarter, a half and most of a block, after whole ones.
  const Case cases[] = {{8, 2, 4096 * 3 + 700}, {8, 2, 4096 + 1500}, {8, 1, 3000},
                        {8, 2, 2744},           {16, 2, 4096 + 900}, {16, 1, 77}};
  for (const Case& c : cases) {
    const Bytes input = noise(c.frames * c.channels * c.sampleBits / 8);
    CodecSettings settings;
    settings.sampleBits = c.sampleBits;
    settings.channelCount = c.channels;
    settings.jointStereo = true;
    settings.trailer = false;
    settings.encoderMode = EncoderMode::Reference;
    const std::size_t reference = compressBytes(settings, input).size();
    for (EncoderMode mode : {EncoderMode::Default, EncoderMode::Best}) {
      SCOPED_TRACE(testing::Message() << c.sampleBits << "-bit, " << c.channels << " channels, " << c.frames
                                      << " frames, mode " << static_cast<int>(mode));
      settings.encoderMode = mode;
      const Bytes compressed = compressBytes(settings, input);
      EXPECT_LE(compressed.size(), reference);
      EXPECT_TRUE(decompressBytes(compressed) == input);
    }
  }
}

}  // namespace
}  // namespace qola::test
