#include "entropy/BlockCoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>

#include "TestSupport.h"
#include "common/Format.h"

namespace qola::test {
namespace {

std::string damaged(const std::string& what) { return "Damaged file: " + what + ", program terminated"; }

// The bits that encodeBand writes for the values, as '0'/'1' text.
std::string bandBits(const std::vector<std::int32_t>& values, int parameter) {
  Bytes bytes;
  OutputStream output(bytes);
  BitWriter writer;
  encodeBand(values.data(), static_cast<int>(values.size()), parameter, writer, output);
  const std::size_t count = bytes.size() * 8 + static_cast<std::size_t>(7 - writer.position);
  flushBits(writer, output);
  std::string bits;
  for (std::size_t i = 0; i < count; ++i) bits += static_cast<char>('0' + ((bytes[i / 8] >> (7 - i % 8)) & 1));
  return bits;
}

std::vector<std::int32_t> bandRoundTrip(const std::vector<std::int32_t>& values, int parameter) {
  Bytes bytes;
  OutputStream output(bytes);
  BitWriter writer;
  encodeBand(values.data(), static_cast<int>(values.size()), parameter, writer, output);
  flushBits(writer, output);
  InputStream input(bytes);
  BitReader reader;
  std::vector<std::int32_t> decoded(values.size(), 12345);
  decodeBand(parameter, static_cast<int>(values.size()), reader, input, decoded.data());
  return decoded;
}

struct Segment {
  int s = 7;
  std::vector<std::int16_t> residual;
  std::vector<std::int8_t> parameters;
  std::vector<std::int32_t> coefficients;
  int lag = format::kNoJointStereo;

  explicit Segment(int exponent)
      : s(exponent), residual(1u << exponent), parameters((1u << exponent) / 32, -3), coefficients(1u << exponent) {}
  int nonZero() const {
    return static_cast<int>(std::count_if(residual.begin(), residual.end(), [](std::int16_t e) { return e != 0; }));
  }
  Bytes encode() const {
    Bytes bytes;
    OutputStream output(bytes);
    BitWriter writer;
    encodeTransformSegment(s, residual.data(), parameters.data(), coefficients.data(), nonZero(), lag, writer,
                           output);
    EXPECT_EQ(writer.position, 7);
    return bytes;
  }
};

struct Decoded {
  std::vector<std::int16_t> residual;
  std::vector<std::int32_t> coefficients;
  std::vector<std::int8_t> parameters;
  std::vector<std::int32_t> differences;
};

// Exactly sized arrays, so the sanitizers see any write past the segment.
Decoded decodePayload(int s, InputStream& input) {
  const std::size_t m = std::size_t{1} << s;
  Decoded out{std::vector<std::int16_t>(m), std::vector<std::int32_t>(m), std::vector<std::int8_t>(m / 32),
              std::vector<std::int32_t>(m / 32)};
  BitReader reader;
  decodeTransformSegment(s, reader, input, out.residual.data(), out.coefficients.data(), out.parameters.data(),
                         out.differences.data());
  EXPECT_EQ(reader.unread, 0);
  return out;
}

// Decodes a payload (model byte on) that stands alone in the input.
std::optional<std::string> payloadFailure(int s, const Bytes& payload) {
  return fatalMessageOf([&] {
    InputStream input(payload);
    decodePayload(s, input);
  });
}

TEST(BandCode, CodeWordTables) {
  const std::vector<std::pair<int, std::vector<std::pair<std::int32_t, std::string>>>> tables = {
      {2, {{0, "010"}, {1, "011"}, {-1, "000"}, {-2, "001"}, {2, "1010"}, {3, "1011"}, {-3, "1000"}, {-4, "1001"}}},
      {1, {{0, "01"}, {-1, "00"}, {1, "101"}, {-2, "100"}}},
      {0, {{0, "0"}, {-1, "10"}, {1, "110"}, {-2, "1110"}, {2, "11110"}}},
      {-1, {{0, "0"}, {1, "10"}, {-1, "11"}}}};
  for (const auto& [parameter, words] : tables) {
    for (const auto& [value, bits] : words) {
      EXPECT_EQ(bandBits({value}, parameter), bits) << "parameter " << parameter << " value " << value;
      EXPECT_EQ(bandRoundTrip({value}, parameter), std::vector<std::int32_t>{value});
    }
  }
}

TEST(BandCode, PairsAndEmptyBands) {
  const std::vector<std::pair<std::vector<std::int32_t>, std::string>> pairs = {
      {{0, 0}, "0"},      {{0, 1}, "1000"},  {{1, 0}, "1001"},  {{0, -1}, "1010"}, {{-1, 0}, "1011"},
      {{1, 1}, "1100"},   {{1, -1}, "1101"}, {{-1, 1}, "1110"}, {{-1, -1}, "1111"}};
  for (const auto& [pair, bits] : pairs) {
    EXPECT_EQ(bandBits(pair, -2), bits);
    EXPECT_EQ(bandRoundTrip(pair, -2), pair);
  }
  EXPECT_EQ(bandBits(std::vector<std::int32_t>(32, 0), -2), std::string(16, '0'));
  EXPECT_EQ(bandBits(std::vector<std::int32_t>(32, 0), -3), "");
  EXPECT_EQ(bandRoundTrip(std::vector<std::int32_t>(32, 0), -3), std::vector<std::int32_t>(32, 0));
}

TEST(BandCode, ValuesAParameterCannotHoldAreACodingError) {
  const std::string coding = "coding error, program terminated";
  EXPECT_EQ(fatalMessageOf([] { bandBits({0, 2}, -2); }), coding);
  EXPECT_EQ(fatalMessageOf([] { bandBits({-2}, -1); }), coding);
  EXPECT_EQ(fatalMessageOf([] { bandBits({0, 1}, -3); }), coding);
  EXPECT_EQ(fatalMessageOf([] { bandBits({0}, 32); }), coding);
}

TEST(BandCode, LongAndExtremeCodeWords) {
  EXPECT_EQ(bandBits({1000}, 1).size(), 1002u);
  EXPECT_EQ(bandRoundTrip({1000, -1000, 7}, 1), (std::vector<std::int32_t>{1000, -1000, 7}));
  EXPECT_EQ(bandRoundTrip({40000, -40000}, 0), (std::vector<std::int32_t>{40000, -40000}));
  for (int b = 1; b <= 31; ++b) {
    const std::int64_t h = std::int64_t{1} << (b - 1);
    std::vector<std::int32_t> values;
    for (std::int64_t v : {std::int64_t{0}, std::int64_t{-1}, h - 1, -h, h, -h - 1, 37 * h + 5, -37 * h - 6,
                           std::int64_t{INT_MAX}, std::int64_t{INT_MIN}}) {
      if (v >= INT_MIN && v <= INT_MAX && (v < 0 ? -v - 1 : v) / h < 5000) values.push_back(static_cast<std::int32_t>(v));
    }
    EXPECT_EQ(bandRoundTrip(values, b), values) << "parameter " << b;
  }
}

TEST(BandCode, CodeWordsBeyondThirtyTwoBitsAreADamagedFile) {
  const std::string tooLong = damaged("a coefficient code word holds a value beyond 32 bits");
  // Parameter 31: one leading 1-bit is the most a 32-bit value needs.
  const Bytes largest = {0xBF, 0xFF, 0xFF, 0xFF, 0x80};  // 1, 0, then 31 ones
  InputStream input(largest);
  BitReader reader;
  std::int32_t value = 0;
  decodeBand(31, 1, reader, input, &value);
  EXPECT_EQ(value, INT_MAX);
  const Bytes smallest = {0x9F, 0xFF, 0xFF, 0xFF, 0x80};  // 1, 0, sign 0, then 30 ones
  InputStream input2(smallest);
  BitReader reader2;
  decodeBand(31, 1, reader2, input2, &value);
  EXPECT_EQ(value, INT_MIN);
  const Bytes two = {0xC0, 0, 0, 0, 0};
  EXPECT_EQ(fatalMessageOf([&] {
              InputStream in(two);
              BitReader r;
              decodeBand(31, 1, r, in, &value);
            }),
            tooLong);
  // Parameter 20 allows 4095 leading 1-bits.
  Bytes run(513, 0xFF);
  EXPECT_EQ(fatalMessageOf([&] {
              InputStream in(run);
              BitReader r;
              decodeBand(20, 1, r, in, &value);
            }),
            tooLong);
}

TEST(TransformSegment, AllZeroSegmentIsTheShortestRecord) {
  Segment segment(7);
  EXPECT_EQ(segment.encode(), (Bytes{0x80, 0x80, 0x02, 0x1E}));
  segment.lag = -20;
  EXPECT_EQ(segment.encode(), (Bytes{0xC0, 0xEC, 0x80, 0x02, 0x1E}));

  // The payload as the last bytes of a file.
  const Bytes payload = {0x80, 0x02, 0x1E};
  InputStream input(payload);
  const Decoded decoded = decodePayload(7, input);
  EXPECT_EQ(decoded.parameters, (std::vector<std::int8_t>(4, -3)));
  EXPECT_EQ(decoded.differences, (std::vector<std::int32_t>{0, 0, 0, 2}));
  EXPECT_EQ(decoded.coefficients, std::vector<std::int32_t>(128, 0));
  EXPECT_EQ(decoded.residual, std::vector<std::int16_t>(128, 0));
  EXPECT_EQ(input.getByte(), -1);
}

TEST(TransformSegment, ParameterDifferences) {
  Segment segment(7);
  segment.parameters = {5, 4, -3, -3};
  const Bytes bytes = segment.encode();
  ASSERT_GE(bytes.size(), 6u);
  // 10, thirteen 1-bits and 0, 0, 11110; then band 0 starts with 0 as 010000.
  const std::string expected = "10" "11111111111110" "0" "11110" "010000";
  std::string bits;
  for (std::size_t i = 0; i < expected.size(); ++i) bits += static_cast<char>('0' + ((bytes[3 + i / 8] >> (7 - i % 8)) & 1));
  EXPECT_EQ(bits, expected);

  const Bytes payload(bytes.begin() + 1, bytes.end());
  InputStream input(payload);
  const Decoded decoded = decodePayload(7, input);
  EXPECT_EQ(decoded.differences, (std::vector<std::int32_t>{-1, -7, 0, 2}));
  EXPECT_EQ(decoded.parameters, segment.parameters);
}

TEST(TransformSegment, ModelChoice) {
  // m = 4096, M = 3: z = 2457 keeps the adaptive model, 2458 takes the peaked one.
  Segment segment(12);
  for (int i = 0; i < 2457; ++i) segment.residual[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i % 7 - 3 == 0 ? 3 : i % 7 - 3);
  ASSERT_EQ(segment.nonZero(), 2457);
  EXPECT_EQ(segment.encode()[1], 0x83);
  segment.residual[3000] = 1;
  EXPECT_EQ(segment.encode()[1], 0x03);

  // M = 2 stays adaptive however dense.
  Segment small(7);
  for (std::size_t i = 0; i < small.residual.size(); ++i) small.residual[i] = i % 2 == 0 ? 2 : -1;
  EXPECT_EQ(small.encode()[1], 0x82);
}

TEST(TransformSegment, ResidualAbove31IsACodingError) {
  Segment segment(7);
  segment.residual[5] = -32;
  EXPECT_EQ(fatalMessageOf([&] { segment.encode(); }), "coding error, program terminated");
  segment.residual[5] = 31;
  EXPECT_EQ(fatalMessageOf([&] { segment.encode(); }), std::nullopt);
  segment.residual[6] = 32;
  EXPECT_EXIT(segment.encode(), ::testing::ExitedWithCode(1), "coding error, program terminated");
}

Segment randomSegment(int s, int magnitude, bool dense, std::mt19937& random) {
  Segment segment(s);
  const unsigned zeroOdds = dense ? 8 : 2;
  for (auto& e : segment.residual) {
    e = random() % zeroOdds == 0 ? 0 : static_cast<std::int16_t>(static_cast<int>(random() % (2u * magnitude + 1)) - magnitude);
  }
  segment.residual[random() % segment.residual.size()] = static_cast<std::int16_t>(random() % 2 == 0 ? magnitude : -magnitude);
  for (std::size_t band = 0; band < segment.parameters.size(); ++band) {
    const int parameter = static_cast<int>(random() % 35) - 3;
    segment.parameters[band] = static_cast<std::int8_t>(parameter);
    for (std::size_t j = 0; j < 32; ++j) {
      std::int64_t value = 0;
      if (parameter == -2 || parameter == -1) {
        value = static_cast<int>(random() % 3) - 1;
      } else if (parameter == 0) {
        value = static_cast<int>(random() % 11) - 5;
      } else if (parameter > 0) {
        const std::int64_t h = std::int64_t{1} << (parameter - 1);
        value = static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(std::min<std::int64_t>(h * 8, INT_MAX))) - std::min<std::int64_t>(h * 4, INT_MAX / 2);
      }
      segment.coefficients[band * 32 + j] = static_cast<std::int32_t>(value);
    }
  }
  if (random() % 3 == 0) segment.lag = static_cast<int>(random() % 41) - 20;
  return segment;
}

// Every length and every residual magnitude, both model kinds, random bands:
// each record decodes to its values and leaves the input on the next byte.
TEST(TransformSegment, RandomRoundTripsStopOnTheFollowingByte) {
  std::mt19937 random(4);
  for (int s = 7; s <= 12; ++s) {
    for (int magnitude = 0; magnitude <= 31; ++magnitude) {
      for (const bool dense : {false, true}) {
        const Segment segment = randomSegment(s, magnitude, dense, random);
        const Bytes record = segment.encode();
        const bool peaked = magnitude >= 3 && segment.nonZero() > 3 * (1 << s) / 5;
        const std::size_t header = segment.lag == format::kNoJointStereo ? 1 : 2;
        ASSERT_EQ(record[0], (header == 1 ? 0x80 : 0xC0) + s - 7);
        ASSERT_EQ(record[header], peaked ? magnitude : magnitude + 0x80);
        for (const bool atEnd : {false, true}) {
          Bytes file(record.begin() + static_cast<std::ptrdiff_t>(header), record.end());
          if (!atEnd) file.insert(file.end(), {0x41, 0xFF, 0x00});
          InputStream input(file);
          const Decoded decoded = decodePayload(s, input);
          const std::string where = "s " + std::to_string(s) + " M " + std::to_string(magnitude);
          ASSERT_EQ(decoded.residual, segment.residual) << where;
          ASSERT_EQ(decoded.parameters, segment.parameters) << where;
          ASSERT_EQ(decoded.coefficients, segment.coefficients) << where;
          ASSERT_EQ(input.getByte(), atEnd ? -1 : 0x41) << where;
        }
      }
    }
  }
}

TEST(TransformSegment, DamagedFiles) {
  EXPECT_EQ(payloadFailure(7, {}), damaged("the file ends before a model byte"));
  EXPECT_EQ(payloadFailure(7, {0xA0, 0x02, 0x1E}), damaged("a model byte states residuals above 31"));
  EXPECT_EQ(payloadFailure(7, {0x3F, 0x02, 0x1E}), damaged("a model byte states residuals above 31"));
  EXPECT_EQ(payloadFailure(7, {0x02, 0x02, 0x1E}), damaged("a fixed peaked residual model with M below 3"));
  EXPECT_EQ(payloadFailure(7, {0x80, 0x02}), damaged("the file ends inside a coefficient code"));
  // Differences 0, 0, 0 and -33: the highest band gets -1 + 33 = 32.
  Bytes bits = {0x80, 0x02};
  {
    OutputStream output(bits);
    BitWriter writer;
    const std::int32_t differences[4] = {0, 0, 0, -33};
    encodeBand(differences, 4, 0, writer, output);
    flushBits(writer, output);
  }
  EXPECT_EQ(payloadFailure(7, bits), damaged("a band parameter outside -3..31"));
  // Going below -3 fails the same way: differences 0, 0, 0, 3 give -4.
  Bytes low = {0x80, 0x02};
  {
    OutputStream output(low);
    BitWriter writer;
    const std::int32_t differences[4] = {0, 0, 0, 3};
    encodeBand(differences, 4, 0, writer, output);
    flushBits(writer, output);
  }
  EXPECT_EQ(payloadFailure(7, low), damaged("a band parameter outside -3..31"));
}

TEST(TransformSegmentDeathTest, DamagedFileExitsWithStatusOne) {
  const Bytes payload = {0x01, 0x02, 0x1E};
  EXPECT_EXIT(
      {
        InputStream input(payload);
        decodePayload(7, input);
      },
      ::testing::ExitedWithCode(1), "Damaged file: a fixed peaked residual model with M below 3, program terminated");
}

}  // namespace
}  // namespace qola::test
