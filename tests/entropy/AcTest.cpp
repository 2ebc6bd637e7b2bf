#include "entropy/Ac.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"

namespace qola::test {
namespace {

using ::testing::EndsWith;
using ::testing::MatchesRegex;

struct Model {
  int n;
  std::vector<std::int32_t> initial;  // empty: flat
  bool adaptive;
};

void init(FrequencyModel& model, const Model& spec) {
  initModel(model, spec.n, spec.initial.empty() ? nullptr : spec.initial.data(), spec.adaptive);
}

Bytes encodeMessage(const Model& spec, const std::vector<int>& symbols) {
  Bytes bytes;
  OutputStream output(bytes);
  ArithEncoder encoder;
  FrequencyModel model;
  startEncoder(encoder, output);
  init(model, spec);
  for (int symbol : symbols) encodeSymbol(encoder, model, symbol);
  finishEncoder(encoder);
  freeModel(model);
  return bytes;
}

// Decodes count symbols, steps back over the look-ahead and returns the next byte of the input.
std::vector<int> decodeMessage(const Model& spec, std::size_t count, InputStream& input, int* nextByte) {
  ArithDecoder decoder;
  FrequencyModel model;
  startDecoder(decoder, input);
  init(model, spec);
  std::vector<int> symbols;
  for (std::size_t i = 0; i < count; ++i) symbols.push_back(decodeSymbol(decoder, model));
  repositionDecoder(decoder, decoder.bitsToGo < 3 ? -1 : -2);
  freeModel(model);
  *nextByte = input.getByte();
  return symbols;
}

TEST(ArithmeticCoder, WorkedExamples) {
  EXPECT_EQ(encodeMessage({1, {}, true}, {}), Bytes{0x02});
  EXPECT_EQ(encodeMessage({1, {}, true}, std::vector<int>(128, 0)), Bytes{0x02});
  EXPECT_EQ(encodeMessage({3, {}, true}, {0, 1, 2}), Bytes{0x03});
}

TEST(ArithmeticCoder, BitsEndingOnAByteBoundaryGetAZeroByte) {
  // Look for a message whose closing bits fill the last byte exactly.
  std::mt19937 random(1);
  const Model spec{3, {}, true};
  for (int attempt = 0; attempt < 200; ++attempt) {
    std::vector<int> symbols(1 + random() % 20);
    for (int& symbol : symbols) symbol = static_cast<int>(random() % 3);
    Bytes bytes;
    OutputStream output(bytes);
    ArithEncoder encoder;
    FrequencyModel model;
    startEncoder(encoder, output);
    init(model, spec);
    for (int symbol : symbols) encodeSymbol(encoder, model, symbol);
    finishEncoder(encoder);
    if (encoder.bitsToGo != 8) continue;
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.back(), 0);
    bytes.push_back(0x5a);
    InputStream input(bytes);
    int next = 0;
    EXPECT_EQ(decodeMessage(spec, symbols.size(), input, &next), symbols);
    EXPECT_EQ(next, 0x5a);
    return;
  }
  FAIL() << "no message ended on a byte boundary";
}

// Random messages under flat, skewed, static and rescaling models: every one
// decodes and leaves the input on the first byte after it, whatever follows.
TEST(ArithmeticCoder, RoundTripsStopOnTheFirstByteAfterTheMessage) {
  std::mt19937 random(2);
  for (int trial = 0; trial < 300; ++trial) {
    Model spec{1 + static_cast<int>(random() % 63), {}, random() % 4 != 0};
    if (random() % 2 == 0) {
      spec.initial.resize(static_cast<std::size_t>(spec.n));
      for (auto& count : spec.initial) count = 1 + static_cast<std::int32_t>(random() % 200);
    }
    const std::size_t length = trial % 10 == 0 ? 20000 : random() % 600;  // long ones rescale
    std::vector<int> symbols(length);
    const int centre = static_cast<int>(random() % static_cast<unsigned>(spec.n));
    for (int& symbol : symbols) {
      // Mostly near one symbol, so that intervals shrink unevenly.
      symbol = random() % 4 == 0 ? static_cast<int>(random() % static_cast<unsigned>(spec.n)) : centre;
    }
    Bytes bytes = encodeMessage(spec, symbols);
    const std::size_t messageSize = bytes.size();
    const Bytes tail = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()), 0x77};
    for (int variant = 0; variant < 2; ++variant) {
      Bytes file = bytes;
      if (variant == 1) file.insert(file.end(), tail.begin(), tail.end());
      InputStream input(file);
      int next = 0;
      ASSERT_EQ(decodeMessage(spec, symbols.size(), input, &next), symbols) << "trial " << trial;
      ASSERT_EQ(next, variant == 1 ? tail[0] : -1) << "trial " << trial << " size " << messageSize;
    }
  }
}

TEST(ArithmeticCoder, ToleratesFourteenReadsPastTheEndAndRefusesTheFifteenth) {
  // An empty input reads as 1-bits. A flat static binary model takes one bit
  // per symbol: the first two reads feed the start, twelve more feed 96 symbols.
  const Model spec{2, {1, 1}, false};
  const Bytes empty;
  InputStream input(empty);
  ArithDecoder decoder;
  FrequencyModel model;
  startDecoder(decoder, input);
  init(model, spec);
  for (int i = 0; i < 96; ++i) decodeSymbol(decoder, model);
  EXPECT_EQ(decoder.eofReads, 14);
  const auto message = fatalMessageOf([&] { decodeSymbol(decoder, model); });
  ASSERT_TRUE(message.has_value());
  EXPECT_THAT(*message, MatchesRegex(".*Ac\\.cpp:[0-9]+: error: arithmetic decoder bad input file"));
}

TEST(ArithmeticCoderDeathTest, FifteenthReadPastTheEndExitsWithStatusOne) {
  const Bytes bytes = {0x12};
  EXPECT_EXIT(
      {
        InputStream input(bytes);
        ArithDecoder decoder;
        FrequencyModel model;
        startDecoder(decoder, input);
        initModel(model, 2, nullptr, false);
        for (int i = 0; i < 200; ++i) decodeSymbol(decoder, model);
      },
      ::testing::ExitedWithCode(1), "Ac\\.cpp:[0-9]+: error: arithmetic decoder bad input file");
}

TEST(FrequencyModelTest, LimitOfTheInitialTotal) {
  FrequencyModel model;
  std::vector<std::int32_t> counts = {1, 2, 3, 4, 0x3fff - 10};
  EXPECT_EQ(fatalMessageOf([&] { initModel(model, 5, counts.data(), true); }), std::nullopt);
  EXPECT_EQ(model.cumFreq[0], 0x3fff);

  // The first update rescales before it counts: 1, 2, 3, 4 become 1, 1, 2, 2.
  Bytes bytes;
  OutputStream output(bytes);
  ArithEncoder encoder;
  startEncoder(encoder, output);
  encodeSymbol(encoder, model, 1);
  EXPECT_EQ(model.counts, (std::vector<std::int32_t>{1, 2, 2, 2, (0x3fff - 9) / 2}));
  EXPECT_EQ(model.cumFreq, (std::vector<std::int32_t>{7 + (0x3fff - 9) / 2, 6 + (0x3fff - 9) / 2,
                                                      4 + (0x3fff - 9) / 2, 2 + (0x3fff - 9) / 2,
                                                      (0x3fff - 9) / 2, 0}));

  counts.back() += 1;
  const auto message = fatalMessageOf([&] { initModel(model, 5, counts.data(), true); });
  ASSERT_TRUE(message.has_value());
  EXPECT_THAT(*message, EndsWith(": error: arithmetic coder model max frequency exceeded"));
}

TEST(FrequencyModelTest, StaticModelNeverChangesAndAdaptiveTotalStaysBelowTheLimit) {
  Bytes bytes;
  OutputStream output(bytes);
  ArithEncoder encoder;
  startEncoder(encoder, output);
  FrequencyModel fixed;
  FrequencyModel adaptive;
  const std::vector<std::int32_t> peak = {14, 82, 236, 335, 236, 82, 14};
  initModel(fixed, 7, peak.data(), false);
  initModel(adaptive, 7, nullptr, true);
  for (int i = 0; i < 40000; ++i) {
    encodeSymbol(encoder, fixed, i % 7);
    encodeSymbol(encoder, adaptive, i % 3);
    ASSERT_LE(adaptive.cumFreq[0], 0x3fff);
  }
  EXPECT_EQ(fixed.counts, peak);
  EXPECT_EQ(fixed.cumFreq[0], 999);
  for (std::int32_t count : adaptive.counts) EXPECT_GE(count, 1);
  freeModel(fixed);
  EXPECT_EQ(fixed.symbolCount, 0);
  EXPECT_TRUE(fixed.counts.empty() && fixed.cumFreq.empty());
}

TEST(ArithmeticCoder, SymbolOutsideTheAlphabetIsRefused) {
  Bytes bytes;
  OutputStream output(bytes);
  ArithEncoder encoder;
  FrequencyModel model;
  startEncoder(encoder, output);
  initModel(model, 5, nullptr, true);
  for (int symbol : {-1, 5}) {
    const auto message = fatalMessageOf([&] { encodeSymbol(encoder, model, symbol); });
    ASSERT_TRUE(message.has_value());
    EXPECT_THAT(*message, MatchesRegex(".*Ac\\.cpp:[0-9]+: error: symbol out of range"));
  }
}

}  // namespace
}  // namespace qola::test
