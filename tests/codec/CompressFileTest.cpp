// Whole files through both jobs where the golden files do not reach: every
// encoder mode on final partial blocks, noise and stereo whose difference
// needs no transform, extreme signals, and the job's bookkeeping. The exact
// bytes of every layout, block length and adaptation are pinned by the golden files.
#include "codec/CompressFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <map>
#include <random>

#include "TestSupport.h"
#include "codec/SegmentRebuild.h"
#include "common/FormatConstants.h"

namespace qola::test {
namespace {

using enum EncoderMode;

// Stereo frames whose right channel is built from the left block by block.
enum class Right { Identical, FewSamplesDiffer, NearSilent, LagMinus20, LagPlus20 };

Bytes stereoInput(Right right, int frames) {
  constexpr int N = 4096;
  std::mt19937 random(7);
  std::vector<std::int16_t> left(static_cast<std::size_t>(frames)), zeros(N, 0), interleaved;
  for (int i = 0; i < frames; ++i) {
    left[i] = static_cast<std::int16_t>(8000 * std::sin(i * 0.013) + static_cast<int>(random() % 2001) - 1000);
  }
  for (int start = 0; start < frames; start += N) {
    const int length = std::min(N, frames - start);
    std::vector<std::int16_t> second(left.begin() + start, left.begin() + start + length);
    if (right == Right::LagMinus20 || right == Right::LagPlus20) {
      second.resize(N);
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

// Every mode's file restores exactly; the default mode never codes larger
// than the reference one, nor Best than the default. Music shorter than a
// block is coded as one segment as short as holds its frames (77 frames cost
// about their samples); stereo whose difference is all zero keeps joint
// stereo through the lag carrier; noise in the final block is padded with zeros.
TEST(CompressFile, EveryModeRestoresExactlyAndNoneCodesLargerThanTheReference) {
  struct Case {
    std::string what;
    Bytes input;
    CodecSettings settings;
    int shortFrames = 0;  // frames of a file shorter than a block
    bool carried = false;
  };
  std::vector<Case> cases;
  for (int channels : {1, 2}) {
    for (int frames : {1, 77, 128, 129, 1000, 3000, 4096 + 77, 3 * 4096 + 2100}) {
      cases.push_back({"music, " + std::to_string(channels) + " x " + std::to_string(frames),
                       musicPcm(frames, channels),
                       {.channelCount = channels, .jointStereo = true, .trailer = false},
                       frames < 4096 ? frames : 0});
    }
  }
  // Partial blocks of a quarter, a half and most of a block, after whole ones.
  for (const auto& [bits, channels, frames] : std::vector<std::tuple<int, int, int>>{{8, 2, 4096 * 3 + 700},
                                                                                     {8, 2, 4096 + 1500},
                                                                                     {8, 1, 3000},
                                                                                     {8, 2, 2744},
                                                                                     {16, 2, 4096 + 900},
                                                                                     {16, 1, 77}}) {
    cases.push_back(
        {"noise, " + std::to_string(bits) + " bits " + std::to_string(channels) + " x " + std::to_string(frames),
         noiseBytes(static_cast<std::size_t>(frames * channels * bits / 8)),
         {.channelCount = channels, .sampleBits = bits, .jointStereo = true, .trailer = false}});
  }
  for (const auto& [right, frames, level, carried] : std::vector<std::tuple<Right, int, Adaptation, bool>>{
           {Right::Identical, 4 * 4096, Adaptation::Full, true},
           {Right::Identical, 3 * 4096 + 3000, Adaptation::None, true},
           {Right::LagMinus20, 4 * 4096, Adaptation::Full, true},
           {Right::LagPlus20, 4 * 4096, Adaptation::Medium, true},
           {Right::FewSamplesDiffer, 4 * 4096 + 77, Adaptation::Full, false},
           {Right::NearSilent, 4 * 4096 + 77, Adaptation::Full, false}}) {
    cases.push_back({"stereo " + std::to_string(static_cast<int>(right)),
                     stereoInput(right, frames),
                     {.adaptation = level, .jointStereo = true},
                     0,
                     carried});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::map<EncoderMode, std::size_t> sizes;
    for (EncoderMode mode : {Reference, Default, Best, Fast}) {
      SCOPED_TRACE(testing::Message() << "mode " << static_cast<int>(mode));
      CodecSettings settings = c.settings;
      settings.encoderMode = mode;
      const Bytes file = roundTrip(settings, c.input);
      sizes[mode] = file.size();
      if (c.shortFrames == 0 || mode == Reference) continue;
      const int s = (file.at(format::kFileHeaderSize) & format::kSegmentExponentMask) + 7;
      EXPECT_EQ(1 << s, std::bit_ceil(static_cast<unsigned>(std::max(c.shortFrames, 128))));
    }
    EXPECT_LE(sizes[Default], sizes[Reference]);
    EXPECT_LE(sizes[Best], sizes[Default]);
    EXPECT_TRUE(!c.carried || sizes[Default] * 3 < sizes[Reference] * 2);
    if (c.shortFrames == 77 && c.settings.channelCount == 2) {
      EXPECT_LT(sizes[Default] * 4, sizes[Reference]);
      EXPECT_LT(sizes[Default], c.input.size() * 13 / 10);
    }
  }
}

// Full-scale noise and squares, and clicks in silence (which pile the
// quantisation error onto few samples, one of them in the final partial
// block), at both sample sizes, the shortest and longest blocks and every level.
TEST(CompressFile, ExtremeSignalsUnderEveryAdaptation) {
  std::mt19937 random(1234);
  for (int shape = 0; shape < 3; ++shape) {
    for (int index : {0, 2, 5}) {
      for (Adaptation level : {Adaptation::None, Adaptation::Medium, Adaptation::Full}) {
        const std::size_t N = std::size_t{128} << index, count = 2 * (N + N / 3);
        std::vector<std::int16_t> samples(count, 0);
        for (std::size_t i = 0; i < count; ++i) {
          if (shape == 0) samples[i] = static_cast<std::int16_t>(random());
          if (shape == 1) samples[i] = (i / 2) % 200 < 100 ? 32767 : -32768;
        }
        if (shape == 2) samples[N / 3] = 32767, samples[count - 7] = -45;
        for (int bits : {8, 16}) {
          SCOPED_TRACE(testing::Message() << "shape " << shape << " N " << N << " level " << static_cast<int>(level)
                                          << " bits " << bits);
          Bytes input = pcm16(samples);
          if (bits == 8) input.resize(count);  // the same bytes read as 8-bit samples
          roundTrip({.sampleBits = bits, .blockLengthIndex = index, .adaptation = level, .jointStereo = true},
                    input);
        }
      }
    }
  }
}

// The bar rises to exactly one 100, then goes back to 0.
TEST(CompressFile, ProgressRisesToOneHundredOnce) {
  RecordingSink sink;
  compressBytes({.blockLengthIndex = 2}, pcm16(std::vector<std::int16_t>(10000, 5)), &sink);
  ASSERT_GE(sink.progress.size(), 3u);
  EXPECT_TRUE(sink.progress.front() == 0 && sink.progress.back() == 0);
  EXPECT_EQ(sink.progress[sink.progress.size() - 2], 100);
  EXPECT_TRUE(std::is_sorted(sink.progress.begin(), sink.progress.end() - 1));
  EXPECT_EQ(std::count(sink.progress.begin(), sink.progress.end(), 100), 1);
}

TEST(CompressFile, InputsBeyondTheHeaderFrameCountAreRefusedBeforeWriting) {
  std::FILE* file = std::tmpfile();  // sparse: no data is really written
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(ftruncate(fileno(file), std::int64_t{4} << 31), 0);
  Bytes output;
  const auto message = fatalMessageOf([&] {
    InputStream in(file);
    OutputStream out(output);
    RecordingSink sink;
    compressFile(CodecSettings{}, in, out, sink);
  });
  EXPECT_NE(message.value_or("").find("2147483647"), std::string::npos);
  EXPECT_TRUE(output.empty());
}

}  // namespace
}  // namespace qola::test
