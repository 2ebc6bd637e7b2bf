#include "entropy/Ac.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"

namespace qola::test {
namespace {

using ::testing::MatchesRegex;

struct Message {
  int n;
  std::vector<std::int32_t> initial;  // empty: flat
  bool adaptive;
  std::vector<int> symbols;
};

void init(FrequencyModel& model, const Message& message) {
  initModel(model, message.n, message.initial.empty() ? nullptr : message.initial.data(), message.adaptive);
}

Bytes encodeMessage(const Message& message, ArithEncoder* state = nullptr) {
  Bytes bytes;
  OutputStream output(bytes);
  ArithEncoder encoder;
  FrequencyModel model;
  startEncoder(encoder, output);
  init(model, message);
  for (int symbol : message.symbols) encodeSymbol(encoder, model, symbol);
  finishEncoder(encoder);
  if (state != nullptr) *state = encoder;
  return bytes;
}

// Decodes the message from the input, steps back over the look-ahead and returns the next byte.
int decodeMessage(const Message& message, InputStream& input, std::vector<int>& symbols) {
  ArithDecoder decoder;
  FrequencyModel model;
  startDecoder(decoder, input);
  init(model, message);
  for (std::size_t i = 0; i < message.symbols.size(); ++i) symbols.push_back(decodeSymbol(decoder, model));
  repositionDecoder(decoder, decoder.bitsToGo < 3 ? -1 : -2);
  return input.getByte();
}

TEST(ArithmeticCoder, WorkedExamples) {
  EXPECT_EQ(encodeMessage({1, {}, true, {}}), Bytes{0x02});
  EXPECT_EQ(encodeMessage({1, {}, true, std::vector<int>(128, 0)}), Bytes{0x02});
  EXPECT_EQ(encodeMessage({3, {}, true, {0, 1, 2}}), Bytes{0x03});
}

// Random messages under flat, skewed, static and rescaling models decode and
// leave the input on the first byte after them, at the end of a file or not.
TEST(ArithmeticCoder, RoundTripsStopOnTheFirstByteAfterTheMessage) {
  std::mt19937 random(2);
  int byteBoundaries = 0;
  for (int trial = 0; trial < 300; ++trial) {
    Message message{1 + static_cast<int>(random() % 63), {}, random() % 4 != 0, {}};
    if (random() % 2 == 0) {
      for (int i = 0; i < message.n; ++i) message.initial.push_back(1 + static_cast<std::int32_t>(random() % 200));
    }
    message.symbols.resize(trial % 10 == 0 ? 20000 : random() % 600);  // the long ones rescale
    const int centre = static_cast<int>(random() % static_cast<unsigned>(message.n));
    for (int& symbol : message.symbols) {
      symbol = random() % 4 == 0 ? static_cast<int>(random() % static_cast<unsigned>(message.n)) : centre;
    }
    ArithEncoder finished;
    Bytes file = encodeMessage(message, &finished);
    if (finished.bitsToGo == 8) {  // the bits ended on a byte boundary: a zero byte closes the stream
      ++byteBoundaries;
      EXPECT_EQ(file.back(), 0);
    }
    for (const int next : {-1, 0x77}) {
      if (next >= 0) file.push_back(static_cast<std::uint8_t>(next));
      InputStream input(file);
      std::vector<int> symbols;
      ASSERT_EQ(decodeMessage(message, input, symbols), next) << "trial " << trial;
      ASSERT_EQ(symbols, message.symbols) << "trial " << trial;
    }
  }
  EXPECT_GT(byteBoundaries, 0);
}

TEST(ArithmeticCoder, ToleratesFourteenReadsPastTheEndAndRefusesTheFifteenth) {
  // A flat static binary model takes one bit per symbol: past the end of an
  // empty input, two reads start the decoder and twelve more feed 96 symbols.
  const Bytes empty;
  InputStream input(empty);
  ArithDecoder decoder;
  FrequencyModel model;
  startDecoder(decoder, input);
  initModel(model, 2, nullptr, false);
  for (int i = 0; i < 96; ++i) decodeSymbol(decoder, model);
  EXPECT_EQ(decoder.eofReads, 14);
  const auto message = fatalMessageOf([&] { decodeSymbol(decoder, model); });
  EXPECT_THAT(message.value_or(""), MatchesRegex(".*Ac\\.cpp:[0-9]+: error: arithmetic decoder bad input file"));
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

TEST(FrequencyModelTest, InitialTotalLimitAndRescaling) {
  FrequencyModel model;
  std::vector<std::int32_t> counts = {1, 2, 3, 4, 0x3fff - 10};
  EXPECT_EQ(fatalMessageOf([&] { initModel(model, 5, counts.data(), true); }), std::nullopt);

  // The first update rescales before it counts: 1, 2, 3, 4 become 1, 1, 2, 2.
  Bytes bytes;
  OutputStream output(bytes);
  ArithEncoder encoder;
  startEncoder(encoder, output);
  encodeSymbol(encoder, model, 1);
  const std::int32_t last = (0x3fff - 9) / 2;
  EXPECT_EQ(model.counts, (std::vector<std::int32_t>{1, 1 + 1, 2, 2, last}));
  EXPECT_EQ(model.cumFreq, (std::vector<std::int32_t>{last + 7, last + 6, last + 4, last + 2, last, 0}));

  counts.back() += 1;
  EXPECT_THAT(fatalMessageOf([&] { initModel(model, 5, counts.data(), true); }).value_or(""),
              MatchesRegex(".*Ac\\.cpp:[0-9]+: error: arithmetic coder model max frequency exceeded"));
}

TEST(FrequencyModelTest, StaticModelKeepsItsCountsAndSymbolsOutsideAreRefused) {
  Bytes bytes;
  OutputStream output(bytes);
  ArithEncoder encoder;
  startEncoder(encoder, output);
  FrequencyModel model;
  const std::vector<std::int32_t> peak = {14, 82, 236, 335, 236, 82, 14};
  initModel(model, 7, peak.data(), false);
  for (int i = 0; i < 20000; ++i) encodeSymbol(encoder, model, i % 7);
  EXPECT_EQ(model.counts, peak);
  EXPECT_EQ(model.cumFreq[0], 999);
  for (int symbol : {-1, 7}) {
    EXPECT_THAT(fatalMessageOf([&] { encodeSymbol(encoder, model, symbol); }).value_or(""),
                MatchesRegex(".*Ac\\.cpp:[0-9]+: error: symbol out of range"));
  }
}

}  // namespace
}  // namespace qola::test
