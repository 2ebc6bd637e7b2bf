#include "entropy/BlockCoding.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "TestSupport.h"
#include "common/FormatConstants.h"

namespace qola::test {
namespace {

using Values = std::vector<std::int32_t>;

std::string damaged(const std::string& what) { return "Damaged file: " + what; }

// The band code of the values as flushed bytes.
Bytes encodeValues(const Values& values, int parameter) {
  Bytes bytes;
  OutputStream output(bytes);
  BitWriter writer;
  encodeBand(values.data(), static_cast<int>(values.size()), parameter, writer, output);
  flushBits(writer, output);
  return bytes;
}

Values decodeValues(const Bytes& bytes, int parameter, std::size_t count) {
  InputStream input(bytes);
  BitReader reader;
  Values values(count, 12345);
  decodeBand(parameter, static_cast<int>(count), reader, input, values.data());
  return values;
}

Values roundTrip(const Values& values, int parameter) {
  return decodeValues(encodeValues(values, parameter), parameter, values.size());
}

// A transform segment in exactly sized arrays, so that the sanitizers see any
// access past it.
struct Segment {
  int s;
  std::vector<std::int16_t> residual = std::vector<std::int16_t>(1u << s);
  std::vector<std::int8_t> parameters = std::vector<std::int8_t>((1u << s) / 32, format::kBandZero);
  Values coefficients = Values(1u << s);

  bool operator==(const Segment&) const = default;
  TransformSegment record() { return {s, residual.data(), coefficients.data(), parameters.data()}; }
  Bytes encode() {
    Bytes bytes;
    OutputStream output(bytes);
    BitWriter writer;
    encodeTransformSegment(record(), writer, output);
    EXPECT_EQ(writer.count + writer.queue.count, 0);
    return bytes;
  }
};

// Decodes a payload and checks that the input then stands on the byte next (-1: the end).
Segment decode(int s, const Bytes& payload, int next = -1) {
  Segment segment{s};
  InputStream input(payload);
  BitReader reader;
  decodeTransformSegment(segment.record(), reader, input);
  EXPECT_EQ(reader.unread, 0);
  EXPECT_EQ(input.getByte(), next);
  return segment;
}

// The exact code words are pinned by the golden files; here the limits.
TEST(BandCode, CodeWordsAndTheirLimits) {
  EXPECT_EQ(encodeValues({1}, 0), Bytes{0xC0});  // 110
  for (const auto& band : std::vector<std::pair<Values, int>>{{{0, 2}, -2}, {{-2}, -1}, {{0, 1}, -3}, {{0}, 32}}) {
    EXPECT_EQ(fatalMessageOf([&] { encodeValues(band.first, band.second); }), "coding error");
  }
  // Boundaries and extremes of every Rice parameter; long code words still decode.
  for (int b = 0; b <= 31; ++b) {
    const std::int64_t h = std::int64_t{1} << std::max(b - 1, 0);
    Values values = b == 0 ? Values{1000, 40000, -40000} : Values{};
    for (std::int64_t v : {std::int64_t{0}, std::int64_t{-1}, h - 1, -h, h, -h - 1, 37 * h + 5, -37 * h - 6,
                           std::int64_t{INT_MAX}, std::int64_t{INT_MIN}}) {
      if (b > 0 && v >= INT_MIN && v <= INT_MAX && (v < 0 ? -v - 1 : v) / h < 5000)
        values.push_back(static_cast<std::int32_t>(v));
    }
    EXPECT_EQ(roundTrip(values, b), values) << "parameter " << b;
  }
  // Parameter 31: one leading 1-bit is the most a 32-bit value needs; parameter 20 allows 4095.
  EXPECT_EQ(decodeValues({0xBF, 0xFF, 0xFF, 0xFF, 0x80}, 31, 1), Values{INT_MAX});  // 1, 0, then 31 ones
  EXPECT_EQ(decodeValues({0x9F, 0xFF, 0xFF, 0xFF, 0x80}, 31, 1), Values{INT_MIN});  // 1, 0, sign 0, 30 ones
  for (const auto& code : std::vector<std::pair<Bytes, int>>{{{0xC0, 0, 0, 0, 0}, 31}, {Bytes(513, 0xFF), 20}}) {
    EXPECT_EQ(fatalMessageOf([&] { decodeValues(code.first, code.second, 1); }),
              damaged("a coefficient code word holds a value beyond 32 bits"));
  }
}

// The model choice and the residual range; the record bytes are pinned by the golden files.
TEST(TransformSegment, ModelChoiceAndResidualRange) {
  Segment zero{7};
  EXPECT_TRUE(decode(7, zero.encode()) == zero);
  // m = 4096, M = 3: z = 2457 keeps the adaptive model, 2458 takes the peaked one; M = 2 stays adaptive.
  Segment dense{12}, small{7};
  for (int i = 0; i < 2457; ++i) dense.residual[i] = i % 7 == 3 ? 3 : i % 7 - 3;
  EXPECT_EQ(dense.encode()[0], 0x83);
  dense.residual[3000] = 1;
  EXPECT_EQ(dense.encode()[0], 0x03);
  for (std::size_t i = 0; i < small.residual.size(); ++i) small.residual[i] = i % 2 == 0 ? 2 : -1;
  EXPECT_EQ(small.encode()[0], 0x82);
  for (const int e : {31, -32, 32}) {
    small.residual[5] = static_cast<std::int16_t>(e);
    EXPECT_EQ(fatalMessageOf([&] { small.encode(); }).value_or("none"),
              e == 31 ? "none" : "coding error");
  }
}

// Every length and residual magnitude, both model kinds, random bands (empty
// ones for M % 4 == 1, where at s = 7 the look-ahead may run past a one-byte
// coefficient code): each payload decodes and leaves the input on the next byte.
TEST(TransformSegment, RandomRoundTripsStopOnTheFollowingByte) {
  std::mt19937 random(4);
  for (int s = 7; s <= 12; ++s) {
    for (int magnitude = 0; magnitude <= 31; ++magnitude) {
      for (const unsigned zeroOdds : {2u, 8u}) {
        Segment segment{s};
        for (auto& e : segment.residual) e = random() % zeroOdds == 0 ? 0 : static_cast<int>(random() % (2 * magnitude + 1)) - magnitude;
        segment.residual[random() % segment.residual.size()] = random() % 2 == 0 ? magnitude : -magnitude;
        for (std::size_t band = 0; magnitude % 4 != 1 && band < segment.parameters.size(); ++band) {
          const int parameter = static_cast<int>(random() % 35) - 3;
          // Values the parameter can hold, with short code words.
          const std::int64_t reach =
              parameter == -3 ? 0 : parameter < 0 ? 1 : parameter == 0 ? 5 : std::int64_t{4} << (parameter - 1);
          std::uniform_int_distribution<std::int64_t> value(std::max<std::int64_t>(-reach, INT_MIN),
                                                            std::min<std::int64_t>(reach - (parameter > 0), INT_MAX));
          segment.parameters[band] = static_cast<std::int8_t>(parameter);
          for (int j = 0; j < 32; ++j) segment.coefficients[band * 32 + j] = static_cast<int>(value(random));
        }
        const auto nonZero =
            std::count_if(segment.residual.begin(), segment.residual.end(), [](std::int16_t e) { return e != 0; });
        const bool peaked = magnitude >= 3 && nonZero > format::peakedModelThreshold(1 << s);
        Bytes payload = segment.encode();
        const std::string where = "s " + std::to_string(s) + " M " + std::to_string(magnitude);
        ASSERT_EQ(payload[0], peaked ? magnitude : magnitude + 0x80) << where;
        for (const int next : {-1, 0x41}) {
          if (next >= 0) payload.insert(payload.end(), {0x41, 0xFF, 0x00});
          Segment decoded{s};
          ASSERT_EQ(fatalMessageOf([&] { decoded = decode(s, payload, next); }), std::nullopt) << where;
          ASSERT_TRUE(decoded == segment) << where;
        }
      }
    }
  }
}

TEST(TransformSegment, DamagedFiles) {
  std::vector<std::pair<Bytes, std::string>> cases = {
      {{}, "the file ends before a model byte"},
      {{0xA0, 0x02, 0x1E}, "a model byte states residuals above 31"},
      {{0x3F, 0x02, 0x1E}, "a model byte states residuals above 31"},
      {{0x02, 0x02, 0x1E}, "a fixed peaked residual model with M below 3"},
      {{0x80, 0x02}, "the file ends inside a coefficient code"}};
  // Differences ending in -33 give the highest band 32; ending in 3 give it -4.
  for (const std::int32_t last : {-33, 3}) {
    cases.push_back({{0x80, 0x02}, "a band parameter outside -3..31"});
    const Bytes differences = encodeValues({0, 0, 0, last}, 0);
    cases.back().first.insert(cases.back().first.end(), differences.begin(), differences.end());
  }
  for (const auto& c : cases) EXPECT_EQ(fatalMessageOf([&] { decode(7, c.first); }), damaged(c.second)) << c.second;
}

}  // namespace
}  // namespace qola::test
