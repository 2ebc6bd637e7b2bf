#include "pcm/PcmIo.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qola::test {
namespace {

// A WAV header for dataBytes of data, followed by actualBytes of it.
Bytes wav(int channels, int bits, std::uint32_t dataBytes, std::size_t actualBytes) {
  Bytes file = wavHeader(channels, bits, dataBytes);
  file.resize(file.size() + actualBytes, 0x5a);
  return file;
}

// The layout comes from a WAV header where one is read, else from the settings;
// the input is left at its start either way.
TEST(WaveHeaderEvaluation, LayoutFromTheHeaderOrTheSettings) {
  Bytes notRiff = wav(2, 16, 400, 400), shortRiff = wavHeader(2, 16, 0);
  notRiff[0] = 'X';
  shortRiff.resize(30);
  const struct {
    Bytes file;
    int channels, bits;  // the user's settings
    bool wav, swap;
    PcmLayout expected;  // channels, eightBit, swapBytes, headerLength, frames
  } cases[] = {
      // The header overrides the settings; 8-bit data is never swapped; a trailing byte makes no frame.
      {wav(2, 8, 100, 101), 1, 16, true, true, {2, true, false, 44, 50}},
      // 24-bit data is coded as 8-bit samples, 32-bit as 16-bit, four channels as stereo frames.
      {wav(2, 24, 600, 600), 1, 16, true, false, {2, true, false, 44, 300}},
      {wav(1, 32, 600, 600), 1, 8, true, false, {1, false, false, 44, 300}},
      {wav(4, 16, 800, 800), 1, 16, true, false, {2, false, false, 44, 200}},
      // Without evaluation, or without a whole RIFF header, the header is samples too.
      {wav(2, 16, 400, 400), 1, 16, false, false, {1, false, false, 0, 222}},
      {notRiff, 2, 16, true, false, {2, false, false, 0, 111}},
      {shortRiff, 2, 16, true, false, {2, false, false, 0, 7}},
      {wavHeader(2, 16, 0), 2, 16, true, false, {2, false, false, 44, 0}},  // a bare header
  };
  int row = 0;
  for (const auto& c : cases) {
    InputStream in(c.file);
    const PcmLayout layout = evaluateWaveHeader(
        in, {.channelCount = c.channels, .sampleBits = c.bits, .wavEvaluation = c.wav, .swapBytes = c.swap});
    EXPECT_TRUE(layout.channels == c.expected.channels && layout.eightBit == c.expected.eightBit &&
                layout.swapBytes == c.expected.swapBytes && layout.headerLength == c.expected.headerLength &&
                layout.frames == c.expected.frames)
        << "row " << row;
    EXPECT_EQ(in.getByte(), c.file[0]) << "row " << row++;
  }
}

// The header a sample buffer gets is the plain 44-byte one (ApiTest compresses
// one to the file its WAV bytes give); sizes its 32-bit fields cannot hold give none.
TEST(PlainWavHeader, FieldsAndLimits) {
  EXPECT_EQ(plainWavHeader(2, 16, 44100, 40000), wavHeader(2, 16, 40000));
  EXPECT_EQ(plainWavHeader(1, 8, 44100, 7), wavHeader(1, 8, 7));
  EXPECT_TRUE(plainWavHeader(2, 16, 0, 4).empty());
  EXPECT_TRUE(plainWavHeader(2, 16, 0x40000000, 4).empty());  // bytes per second beyond 32 bits
  EXPECT_FALSE(plainWavHeader(2, 16, 0x3fffffff, 0xffffffffu - 36).empty());
  EXPECT_TRUE(plainWavHeader(2, 16, 44100, 0xffffffffu - 35).empty());
}

// Sample mapping and byte order are pinned by the golden files; here only
// what they cannot show: an input that ends early is reported.
TEST(PcmBlocks, InputsThatEndEarlyAreReported) {
  const Bytes file = {0, 128, 255};
  std::int16_t left[4], right[4];
  std::uint8_t scratch[16];
  InputStream in(file), stereo(file);
  EXPECT_TRUE(readMono8(left, 3, scratch, in));
  EXPECT_EQ(left[0], -128);
  EXPECT_FALSE(readMono8(left, 1, scratch, in));
  EXPECT_FALSE(readStereo16(left, right, 1, false, scratch, stereo));
}

}  // namespace
}  // namespace qola::test
