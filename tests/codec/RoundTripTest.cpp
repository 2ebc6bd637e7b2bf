// Whole files through both jobs: signals that stress the coder and inputs at
// the edges of the file layout must come back byte for byte. The exact bytes
// of every layout, block length and adaptation are pinned by the golden files.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <unistd.h>

#include "TestSupport.h"

namespace qola::test {
namespace {

// Deterministic test signals, one value per sample (interleaved when stereo).
enum class Signal { Music, Silence, Constant, Square, Noise, Impulses, IdenticalStereo, DelayedStereo };

std::vector<std::int16_t> makeSignal(Signal signal, std::size_t samples, int channels) {
  std::vector<std::int16_t> out(samples);
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> full(-32768, 32767);
  for (std::size_t i = 0; i < samples; ++i) {
    const double t = static_cast<double>(i / static_cast<std::size_t>(channels));
    double value = 0;
    switch (signal) {
      case Signal::Music:
        value = 9000 * std::sin(t * 0.031) + 4000 * std::sin(t * 0.173 + (i % 2)) * std::exp(-std::fmod(t, 5000) / 2000) +
                (random() % 64) - 32;
        break;
      case Signal::Silence: value = 0; break;
      case Signal::Constant: value = -2; break;
      case Signal::Square: value = std::fmod(t, 200) < 100 ? 32767 : -32768; break;
      case Signal::Noise: value = full(random); break;
      case Signal::Impulses: value = (static_cast<std::size_t>(t) % 777 == 5) ? 20000 : 0; break;
      case Signal::IdenticalStereo: value = 12000 * std::sin(t * 0.05); break;
      case Signal::DelayedStereo: value = 12000 * std::sin((t - 3.0 * (i % 2)) * 0.05) + 300 * std::sin(t * 0.9); break;
    }
    out[i] = static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
  }
  return out;
}

Bytes toBytes(const std::vector<std::int16_t>& samples, int bits) {
  if (bits == 16) return pcm16(samples);
  Bytes bytes;
  for (std::int16_t s : samples) bytes.push_back(static_cast<std::uint8_t>((s >> 8) + 128));
  return bytes;
}

void expectRoundTrip(const CodecSettings& settings, const Bytes& input, std::size_t expectedSize) {
  Bytes compressed;
  Bytes restored;
  const auto error = fatalMessageOf([&] {
    compressed = compressBytes(settings, input);
    restored = decompressBytes(compressed, settings.swapBytes);
  });
  ASSERT_FALSE(error) << *error;
  ASSERT_EQ(restored.size(), expectedSize);
  EXPECT_TRUE(std::equal(restored.begin(), restored.end(), input.begin())) << "restored bytes differ";
}

TEST(RoundTrip, StressSignalsUnderEveryAdaptation) {
  for (Signal signal : {Signal::Silence, Signal::Constant, Signal::Square, Signal::Noise, Signal::Impulses,
                        Signal::IdenticalStereo, Signal::DelayedStereo}) {
    for (Adaptation level : {Adaptation::None, Adaptation::Medium, Adaptation::Full}) {
      CodecSettings settings;
      settings.adaptation = level;
      settings.jointStereo = true;
      const Bytes input = pcm16(makeSignal(signal, 2 * 9000, 2));
      SCOPED_TRACE(testing::Message() << "signal " << static_cast<int>(signal) << " level " << static_cast<int>(level));
      expectRoundTrip(settings, input, input.size());
    }
  }
}

// Bytes after the last whole frame come back only through the trailer.
TEST(RoundTrip, OddTrailingBytesAreStoredOnlyInTheTrailer) {
  Bytes input = pcm16(makeSignal(Signal::Music, 2 * 500, 2));
  input.push_back(1);
  input.push_back(2);
  input.push_back(3);
  for (const bool trailer : {true, false}) {
    CodecSettings settings;
    settings.trailer = trailer;
    expectRoundTrip(settings, input, trailer ? input.size() : input.size() - 3);
  }
}

TEST(RoundTrip, WavHeadersOfEveryKind) {
  const Bytes pcm = pcm16(makeSignal(Signal::Music, 2 * 3000, 2));
  CodecSettings settings;
  settings.wavEvaluation = true;
  settings.channelCount = 1;  // overridden by the header

  Bytes wav = wavHeader(2, 16, static_cast<std::uint32_t>(pcm.size()));
  wav.insert(wav.end(), pcm.begin(), pcm.end());
  expectRoundTrip(settings, wav, wav.size());

  Bytes wav24 = wavHeader(2, 24, static_cast<std::uint32_t>(pcm.size()));
  wav24.insert(wav24.end(), pcm.begin(), pcm.end());
  expectRoundTrip(settings, wav24, wav24.size());

  // A longer format chunk: everything after byte 44 is coded as samples.
  Bytes longHeader = wavHeader(2, 16, 0);
  longHeader.insert(longHeader.end(), {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 'd'});
  longHeader.insert(longHeader.end(), pcm.begin(), pcm.end());
  expectRoundTrip(settings, longHeader, longHeader.size());

  settings.wavEvaluation = false;
  expectRoundTrip(settings, wav, wav.size() - wav.size() % 2);
}

// Compressed without swap, restored with it: every sample's bytes exchanged;
// 8-bit data ignores the option on both sides.
TEST(RoundTrip, SwapBytes) {
  const Bytes input = pcm16(makeSignal(Signal::Music, 2 * 3000, 2));
  CodecSettings settings;
  const Bytes swapped = decompressBytes(compressBytes(settings, input), true);
  ASSERT_EQ(swapped.size(), input.size());
  for (std::size_t i = 0; i < input.size(); i += 2) {
    ASSERT_EQ(swapped[i], input[i + 1]);
    ASSERT_EQ(swapped[i + 1], input[i]);
  }
  settings.sampleBits = 8;
  const Bytes eight = toBytes(makeSignal(Signal::Music, 2 * 3000, 2), 8);
  CodecSettings swapping = settings;
  swapping.swapBytes = true;
  EXPECT_EQ(compressBytes(settings, eight), compressBytes(swapping, eight));
  expectRoundTrip(swapping, eight, eight.size());
}

TEST(CompressFile, EmptyInputsGiveTheHeaderAloneAndAReport) {
  RecordingSink sink;
  CodecSettings settings;
  settings.trailer = false;
  EXPECT_EQ(compressBytes(settings, Bytes{}, &sink).size(), 6u);
  ASSERT_EQ(sink.reports.size(), 1u);
  EXPECT_EQ(sink.reports[0].second, "Ready");
  settings.wavEvaluation = true;
  EXPECT_EQ(compressBytes(settings, wavHeader(1, 8, 0)).size(), 51u);
}

TEST(CompressFile, ProgressEndsAtExactlyOneHundredThenZero) {
  RecordingSink sink;
  CodecSettings settings;
  settings.blockLengthIndex = 2;
  compressBytes(settings, pcm16(makeSignal(Signal::Music, 2 * 5000, 2)), &sink);
  ASSERT_GE(sink.progress.size(), 3u);
  EXPECT_EQ(sink.progress.front(), 0);
  EXPECT_EQ(sink.progress[sink.progress.size() - 2], 100);
  EXPECT_EQ(sink.progress.back(), 0);
  EXPECT_TRUE(std::is_sorted(sink.progress.begin(), sink.progress.end() - 1));
  EXPECT_EQ(std::count(sink.progress.begin(), sink.progress.end(), 100), 1);
}

// Sparse signals pile the quantisation error onto few samples; compression
// must still succeed and round-trip, whatever the block length and level.
TEST(CompressFile, ClicksInSilenceAlwaysCompress) {
  for (int index = 0; index <= 5; ++index) {
    const int N = 128 << index;
    for (Adaptation level : {Adaptation::None, Adaptation::Medium, Adaptation::Full}) {
      if (level != Adaptation::None && index < 2) continue;
      for (int bits : {8, 16}) {
        for (int amplitude : {45, 3000, 32767}) {
          std::vector<std::int16_t> samples(static_cast<std::size_t>(N) + static_cast<std::size_t>(N) / 3, 0);
          samples[static_cast<std::size_t>(N) / 3] = static_cast<std::int16_t>(amplitude);
          samples[samples.size() - 7] = static_cast<std::int16_t>(-amplitude);  // in the final partial block
          CodecSettings settings;
          settings.channelCount = 1;
          settings.sampleBits = bits;
          settings.blockLengthIndex = index;
          settings.adaptation = level;
          const Bytes input = bits == 16 ? pcm16(samples) : toBytes(samples, 8);
          SCOPED_TRACE(testing::Message() << "N=" << N << " level " << static_cast<int>(level) << " bits " << bits
                                          << " amplitude " << amplitude);
          expectRoundTrip(settings, input, input.size());
        }
      }
    }
  }
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
  ASSERT_TRUE(message);
  EXPECT_NE(message->find("2147483647"), std::string::npos);
  EXPECT_TRUE(output.empty());
}

}  // namespace
}  // namespace qola::test
