#include "pcm/PcmIo.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qola::test {
namespace {

CodecSettings userSettings(int channels, int bits, bool wav, bool swap = false) {
  CodecSettings settings;
  settings.channelCount = channels;
  settings.sampleBits = bits;
  settings.wavEvaluation = wav;
  settings.swapBytes = swap;
  return settings;
}

PcmLayout evaluate(const Bytes& file, const CodecSettings& settings) {
  InputStream in(file);
  PcmLayout layout = EvaluateWaveHeader(in, settings);
  EXPECT_EQ(in.getByte(), file.empty() ? -1 : file[0]) << "input not left at its start";
  return layout;
}

Bytes withData(Bytes header, std::size_t dataBytes) {
  header.resize(header.size() + dataBytes, 0x5a);
  return header;
}

TEST(EvaluateWaveHeader, LayoutFromTheHeaderOrTheSettings) {
  Bytes notRiff = withData(wavHeader(2, 16, 400), 400);
  notRiff[0] = 'X';
  Bytes shortRiff = wavHeader(2, 16, 0);
  shortRiff.resize(30);
  struct Case {
    const char* what;
    Bytes file;
    CodecSettings settings;
    PcmLayout expected;  // channels, eightBit, swapBytes, headerLength, frames
  };
  const std::vector<Case> cases = {
      {"header overrides; 8-bit is never swapped; a trailing byte is not a frame",
       withData(wavHeader(2, 8, 100), 101), userSettings(1, 16, true, true), {2, true, false, 44, 50}},
      {"24-bit is coded as 8-bit samples", withData(wavHeader(2, 24, 600), 600), userSettings(1, 16, true),
       {2, true, false, 44, 300}},
      {"32-bit as 16-bit", withData(wavHeader(1, 32, 600), 600), userSettings(1, 8, true), {1, false, false, 44, 300}},
      {"four channels as stereo frames", withData(wavHeader(4, 16, 800), 800), userSettings(1, 16, true),
       {2, false, false, 44, 200}},
      {"evaluation off: the header is samples too", withData(wavHeader(2, 16, 400), 400),
       userSettings(1, 16, false), {1, false, false, 0, 222}},
      {"not RIFF", notRiff, userSettings(2, 16, true), {2, false, false, 0, 111}},
      {"too short for a header", shortRiff, userSettings(2, 16, true), {2, false, false, 0, 7}},
      {"a bare header", wavHeader(2, 16, 0), userSettings(2, 16, true), {2, false, false, 44, 0}},
  };
  for (const Case& c : cases) {
    const PcmLayout layout = evaluate(c.file, c.settings);
    EXPECT_TRUE(layout.channels == c.expected.channels && layout.eightBit == c.expected.eightBit &&
                layout.swapBytes == c.expected.swapBytes && layout.headerLength == c.expected.headerLength &&
                layout.frames == c.expected.frames)
        << c.what;
  }
}

// Sample mapping and byte order are pinned by the golden files; here only
// what they cannot show: an input that ends early is reported.
TEST(PcmBlocks, InputsThatEndEarlyAreReported) {
  const Bytes file = {0, 128, 255};
  std::int16_t left[4], right[4];
  std::uint8_t scratch[16];
  InputStream in(file);
  EXPECT_TRUE(ReadMono8(left, 3, scratch, in));
  EXPECT_EQ(left[0], -128);
  EXPECT_FALSE(ReadMono8(left, 1, scratch, in));
  InputStream stereo(file);
  EXPECT_FALSE(ReadStereo16(left, right, 1, false, scratch, stereo));
}

}  // namespace
}  // namespace qola::test
