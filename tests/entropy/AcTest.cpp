#include "entropy/ArithDecoder.h"
#include "entropy/ArithEncoder.h"

#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"

namespace qola::test {
namespace {

// The coder's errors state their cause; the programs add its source file and line.
template <typename Function>
void expectCoderError(Function&& function, const std::string& what) {
  try {
    function();
    ADD_FAILURE() << "no error";
  } catch (const JobError& error) {
    EXPECT_EQ(error.message, what);
    const std::string text = programText(error);
    EXPECT_TRUE(text.starts_with("Ac.cpp:") && text.ends_with(": error: " + what)) << text;
  }
}

// Random messages under flat, skewed, static and rescaling models decode
// (static ones symbol by symbol and as a run) and, after the step back,
// leave the input on the first byte after them, at the end of a file or not.
TEST(ArithmeticCoder, RoundTripsStopOnTheFirstByteAfterTheMessage) {
  std::mt19937 random(2);
  int byteBoundaries = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const int n = 1 + static_cast<int>(random() % 63);
    const bool adaptive = random() % 4 != 0;
    std::vector<std::int32_t> initial;  // empty: flat
    if (random() % 2 == 0) {
      for (int i = 0; i < n; ++i) initial.push_back(1 + random() % 200);
    }
    std::vector<int> symbols(trial % 10 == 0 ? 20000 : random() % 600);  // the long ones rescale
    const int centre = static_cast<int>(random() % n);
    for (int& symbol : symbols) symbol = random() % 4 == 0 ? static_cast<int>(random() % n) : centre;
    Bytes file;
    OutputStream output(file);
    ArithEncoder encoder;
    FrequencyModel model;
    startEncoder(encoder, output);
    initModel(model, n, initial.empty() ? nullptr : initial.data(), adaptive);
    for (int symbol : symbols) encodeSymbol(encoder, model, symbol);
    if (finishEncoder(encoder) == 8) {  // the bits ended on a byte boundary: a zero byte closes the stream
      ++byteBoundaries;
      EXPECT_EQ(file.back(), 0);
    }
    for (const int next : {-1, 0x77}) {
      if (next >= 0) file.push_back(next);
      InputStream input(file);
      ArithDecoder decoder;
      startDecoder(decoder, input);
      initModel(model, n, initial.empty() ? nullptr : initial.data(), adaptive);
      std::vector<int> decoded;
      if (adaptive || trial % 2 == 0) {
        for (std::size_t i = 0; i < symbols.size(); ++i) decoded.push_back(decodeSymbol(decoder, model));
      } else {  // a static model's run, through the table of its counts when its total is small
        std::vector<std::int16_t> run(symbols.size());
        decodeSymbols(decoder, model, static_cast<int>(run.size()), 0, run.data());
        decoded.assign(run.begin(), run.end());
      }
      finishDecoder(decoder);
      ASSERT_EQ(decoded, symbols) << "trial " << trial;
      ASSERT_EQ(input.getByte(), next) << "trial " << trial;
    }
  }
  EXPECT_GT(byteBoundaries, 0);
}

TEST(ArithmeticCoder, ToleratesFourteenReadsPastTheEndAndRefusesTheFifteenth) {
  // A flat static binary model takes one bit per symbol: past the end of an
  // empty input, two reads start the decoder and twelve more feed 96 symbols.
  // The decoder reads ahead, but refuses the message by its end at the latest.
  const Bytes empty;
  for (const int symbols : {96, 97}) {
    InputStream input(empty);
    ArithDecoder decoder;
    FrequencyModel model;
    initModel(model, 2, nullptr, false);
    const auto decode = [&] {
      startDecoder(decoder, input);
      for (int i = 0; i < symbols; ++i) decodeSymbol(decoder, model);
      finishDecoder(decoder);
    };
    if (symbols == 96) {
      EXPECT_EQ(fatalMessageOf(decode), std::nullopt);
    } else {
      expectCoderError(decode, "arithmetic decoder bad input file");
    }
  }
}

// The static models divide by their total through a reciprocal, in both
// coders: exact for every numerator, here at each quotient's edges and the largest ones.
TEST(ArithmeticCoder, ReciprocalDivisionIsExact) {
  for (std::uint32_t d = 1; d <= ac::kMaxFrequency; ++d) {
    const ac::Reciprocal reciprocal = ac::reciprocalOf(d);
    const std::uint32_t top = 0x7fffffffu - 0x7fffffffu % d;  // the largest multiple of d below 2^31
    for (const std::uint32_t n : {0u, d - 1, d, 1000 * d - 1, 1000 * d, top - 1, top, 0x7fffffffu}) {
      ASSERT_EQ(ac::divide(n, reciprocal), n / d) << n << " / " << d;
    }
  }
}

TEST(FrequencyModelTest, TotalLimitRescalingAndStaticModels) {
  Bytes bytes;
  OutputStream output(bytes);
  ArithEncoder encoder;
  startEncoder(encoder, output);
  FrequencyModel model, peaked;
  std::vector<std::int32_t> counts = {1, 2, 3, 4, 0x3fff - 10};
  EXPECT_EQ(fatalMessageOf([&] { initModel(model, 5, counts.data(), true); }), std::nullopt);
  // The first update rescales before it counts: 1, 2, 3, 4 become 1, 1, 2, 2.
  encodeSymbol(encoder, model, 1);
  const std::int32_t last = (0x3fff - 9) / 2;
  EXPECT_EQ(model.counts, (std::vector<std::int32_t>{1, 1 + 1, 2, 2, last}));
  EXPECT_EQ(model.cumFreq, (std::vector<std::int32_t>{last + 7, last + 6, last + 4, last + 2, last, 0}));
  counts.back() += 1;
  expectCoderError([&] { initModel(model, 5, counts.data(), true); },
                   "arithmetic coder model max frequency exceeded");
  // A static model keeps its counts, and refuses symbols outside it.
  const std::vector<std::int32_t> peak = {14, 82, 236, 335, 236, 82, 14};
  initModel(peaked, 7, peak.data(), false);
  for (int i = 0; i < 20000; ++i) encodeSymbol(encoder, peaked, i % 7);
  EXPECT_EQ(peaked.counts, peak);
  EXPECT_EQ(peaked.cumFreq[0], 999);
  for (int symbol : {-1, 7})
    expectCoderError([&] { encodeSymbol(encoder, peaked, symbol); }, "symbol out of range");
}

}  // namespace
}  // namespace qola::test
