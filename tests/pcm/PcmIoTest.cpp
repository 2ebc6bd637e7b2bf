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

TEST(EvaluateWaveHeader, RecognisedHeaderOverridesChannelsAndWidth) {
  const Bytes stereo8 = withData(wavHeader(2, 8, 100), 101);
  const PcmLayout layout = evaluate(stereo8, userSettings(1, 16, true, true));
  EXPECT_EQ(layout.channels, 2);
  EXPECT_TRUE(layout.eightBit);
  EXPECT_FALSE(layout.swapBytes) << "8-bit data is never swapped";
  EXPECT_EQ(layout.headerLength, 44);
  EXPECT_EQ(layout.frames, 50) << "trailing byte after the last whole frame is not counted";
}

TEST(EvaluateWaveHeader, WidthComesFromBytesPerSampleParity) {
  // 24-bit is coded as 8-bit samples, 32-bit as 16-bit.
  EXPECT_TRUE(evaluate(withData(wavHeader(2, 24, 600), 600), userSettings(1, 16, true)).eightBit);
  EXPECT_EQ(evaluate(withData(wavHeader(2, 24, 600), 600), userSettings(1, 16, true)).frames, 300);
  EXPECT_FALSE(evaluate(withData(wavHeader(1, 32, 600), 600), userSettings(1, 8, true)).eightBit);
}

TEST(EvaluateWaveHeader, OtherChannelCountsAreCodedAsStereoFrames) {
  const PcmLayout layout = evaluate(withData(wavHeader(4, 16, 800), 800), userSettings(1, 16, true));
  EXPECT_EQ(layout.channels, 2);
  EXPECT_EQ(layout.frames, 200);
}

TEST(EvaluateWaveHeader, RawPcmWhenOffOrNotRecognisedOrTooShort) {
  const Bytes wav = withData(wavHeader(2, 16, 400), 400);
  PcmLayout off = evaluate(wav, userSettings(1, 16, false));
  EXPECT_EQ(off.headerLength, 0);
  EXPECT_EQ(off.channels, 1);
  EXPECT_EQ(off.frames, 222) << "the header bytes are samples too";

  Bytes notRiff = wav;
  notRiff[0] = 'X';
  EXPECT_EQ(evaluate(notRiff, userSettings(2, 16, true)).headerLength, 0);

  Bytes shortRiff = wavHeader(2, 16, 0);
  shortRiff.resize(30);
  const PcmLayout shortLayout = evaluate(shortRiff, userSettings(2, 16, true));
  EXPECT_EQ(shortLayout.headerLength, 0);
  EXPECT_EQ(shortLayout.frames, 7);

  EXPECT_EQ(evaluate(wavHeader(2, 16, 0), userSettings(2, 16, true)).frames, 0) << "a bare header";
}

TEST(PcmBlocks, EightBitValuesMapAroundTheZeroLine) {
  const Bytes file = {0, 128, 255, 1};
  InputStream in(file);
  std::int16_t samples[4];
  std::uint8_t scratch[4];
  EXPECT_TRUE(ReadMono8(samples, 4, scratch, in));
  EXPECT_EQ(samples[0], -128);
  EXPECT_EQ(samples[1], 0);
  EXPECT_EQ(samples[2], 127);
  EXPECT_FALSE(ReadMono8(samples, 1, scratch, in)) << "an input that ends early is reported";
  Bytes out;
  OutputStream output(out);
  WriteMono8(samples, 4, scratch, output);
  EXPECT_EQ(out, file);
}

TEST(PcmBlocks, StereoSixteenBitIsLittleEndianAndSwapExchangesBytes) {
  const Bytes file = {0x01, 0x02, 0x03, 0x84, 0xff, 0x7f, 0x00, 0x80};
  std::int16_t left[2];
  std::int16_t right[2];
  std::uint8_t buff[8];
  {
    InputStream in(file);
    ReadStereo16(left, right, 2, false, buff, in);
    EXPECT_EQ(left[0], 0x0201);
    EXPECT_EQ(right[0], static_cast<std::int16_t>(0x8403));
    EXPECT_EQ(left[1], 32767);
    EXPECT_EQ(right[1], -32768);
  }
  {
    InputStream in(file);
    ReadStereo16(left, right, 2, true, buff, in);
    EXPECT_EQ(left[0], 0x0102);
    EXPECT_EQ(right[1], 0x0080);
    Bytes out;
    OutputStream output(out);
    WriteStereo16(left, right, 2, true, buff, output);
    EXPECT_EQ(out, file) << "swapped read and swapped write restore the bytes";
    EXPECT_EQ(left[0], 0x0102) << "the writer leaves the arrays unchanged";
  }
}

TEST(PcmBlocks, StereoEightBitInterleavesAndMonoSixteenRoundTrips) {
  const Bytes stereo = {10, 250, 128, 0};
  std::int16_t left[2];
  std::int16_t right[2];
  std::uint8_t scratch[8];
  InputStream in(stereo);
  ReadStereo8(left, right, 2, scratch, in);
  EXPECT_EQ(left[0], -118);
  EXPECT_EQ(right[0], 122);
  Bytes out;
  OutputStream output(out);
  WriteStereo8(left, right, 2, scratch, output);
  EXPECT_EQ(out, stereo);

  const Bytes mono = {0x34, 0x12, 0xcd, 0xab};
  std::int16_t samples[2];
  InputStream monoIn(mono);
  ReadMono16(samples, 2, false, scratch, monoIn);
  EXPECT_EQ(samples[0], 0x1234);
  Bytes monoOut;
  OutputStream monoOutput(monoOut);
  WriteMono16(samples, 2, true, scratch, monoOutput);
  EXPECT_EQ(monoOut, (Bytes{0x12, 0x34, 0xab, 0xcd}));
}

TEST(PcmBlocks, SwapBytesTwiceRestoresAndIgnoresEmptyCounts) {
  std::int16_t values[3] = {0x1234, -2, 0};
  SwapBytes16(values, 3);
  EXPECT_EQ(values[0], 0x3412);
  EXPECT_EQ(values[1], static_cast<std::int16_t>(0xfeff));
  SwapBytes16(values, 0);
  SwapBytes16(values, -1);
  SwapBytes16(values, 3);
  EXPECT_EQ(values[0], 0x1234);
  EXPECT_EQ(values[1], -2);
}

}  // namespace
}  // namespace qola::test
