// Whole files through both jobs where the golden files do not reach: extreme
// signals, odd inputs and the job's bookkeeping. The exact bytes of every
// layout, block length and adaptation are pinned by the golden files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <random>

#include "TestSupport.h"

namespace qola::test {
namespace {

void expectRoundTrip(const CodecSettings& settings, const Bytes& input) {
  Bytes restored;
  const auto error = fatalMessageOf([&] { restored = decompressBytes(compressBytes(settings, input), settings.swapBytes); });
  ASSERT_FALSE(error) << *error;
  EXPECT_TRUE(restored == input) << "restored bytes differ";
}

// Full-scale noise and squares, and clicks in silence (which pile the
// quantisation error onto few samples, one of them in the final partial
// block), at both sample sizes, the shortest and longest blocks and every level.
TEST(RoundTrip, ExtremeSignalsUnderEveryAdaptation) {
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
        CodecSettings settings;
        settings.blockLengthIndex = index;
        settings.adaptation = level;
        settings.jointStereo = true;
        for (int bits : {8, 16}) {
          settings.sampleBits = bits;
          Bytes input = pcm16(samples);
          if (bits == 8) input.resize(count);  // the same bytes read as 8-bit samples
          SCOPED_TRACE(testing::Message() << "shape " << shape << " N " << N << " level " << static_cast<int>(level)
                                          << " bits " << bits);
          expectRoundTrip(settings, input);
        }
      }
    }
  }
}

// The bar rises to exactly one 100, then goes back to 0.
TEST(CompressFile, ProgressRisesToOneHundredOnce) {
  RecordingSink sink;
  CodecSettings settings;
  settings.blockLengthIndex = 2;
  compressBytes(settings, pcm16(std::vector<std::int16_t>(10000, 5)), &sink);
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
