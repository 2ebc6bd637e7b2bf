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

// Bits of the bytes from bit offset `first`, as '0'/'1' text.
std::string bitText(const Bytes& bytes, std::size_t first, std::size_t count) {
  std::string bits;
  for (std::size_t i = first; i < first + count; ++i) bits += static_cast<char>('0' + ((bytes[i / 8] >> (7 - i % 8)) & 1));
  return bits;
}

Bytes bandBytes(const std::vector<std::int32_t>& values, int parameter, std::size_t* bitCount = nullptr) {
  Bytes bytes;
  OutputStream output(bytes);
  BitWriter writer;
  encodeBand(values.data(), static_cast<int>(values.size()), parameter, writer, output);
  if (bitCount != nullptr) *bitCount = bytes.size() * 8 + static_cast<std::size_t>(7 - writer.position);
  flushBits(writer, output);
  return bytes;
}

std::string bandBits(const std::vector<std::int32_t>& values, int parameter) {
  std::size_t count = 0;
  const Bytes bytes = bandBytes(values, parameter, &count);
  return bitText(bytes, 0, count);
}

std::vector<std::int32_t> bandRoundTrip(const std::vector<std::int32_t>& values, int parameter) {
  const Bytes bytes = bandBytes(values, parameter);
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

// Decodes one value; the fatal message when the decoder stops.
std::optional<std::string> decodeOne(int parameter, const Bytes& bytes, std::int32_t& value) {
  return fatalMessageOf([&] {
    InputStream input(bytes);
    BitReader reader;
    decodeBand(parameter, 1, reader, input, &value);
  });
}

TEST(BandCode, CodeWordTables) {
  struct Word {
    int parameter;
    std::vector<std::int32_t> values;
    std::string bits;
  };
  const std::vector<Word> words = {
      {2, {0}, "010"}, {2, {1}, "011"}, {2, {-1}, "000"}, {2, {-2}, "001"}, {2, {2}, "1010"}, {2, {3}, "1011"},
      {2, {-3}, "1000"}, {2, {-4}, "1001"}, {1, {0}, "01"}, {1, {-1}, "00"}, {1, {1}, "101"}, {1, {-2}, "100"},
      {0, {0}, "0"}, {0, {-1}, "10"}, {0, {1}, "110"}, {0, {-2}, "1110"}, {0, {2}, "11110"},
      {-1, {0, 1, -1}, "01011"}, {-2, {0, 0}, "0"}, {-2, {0, 1}, "1000"}, {-2, {1, 0}, "1001"},
      {-2, {0, -1}, "1010"}, {-2, {-1, 0}, "1011"}, {-2, {1, 1}, "1100"}, {-2, {1, -1}, "1101"},
      {-2, {-1, 1}, "1110"}, {-2, {-1, -1}, "1111"}, {-2, std::vector<std::int32_t>(32, 0), std::string(16, '0')},
      {-3, std::vector<std::int32_t>(32, 0), ""}};
  for (const Word& word : words) {
    EXPECT_EQ(bandBits(word.values, word.parameter), word.bits) << "parameter " << word.parameter;
    EXPECT_EQ(bandRoundTrip(word.values, word.parameter), word.values) << "parameter " << word.parameter;
  }
}

TEST(BandCode, ValuesAParameterCannotHoldAreACodingError) {
  for (const auto& band : std::vector<std::pair<std::vector<std::int32_t>, int>>{
           {{0, 2}, -2}, {{-2}, -1}, {{0, 1}, -3}, {{0}, 32}}) {
    EXPECT_EQ(fatalMessageOf([&] { bandBits(band.first, band.second); }), "coding error, program terminated");
  }
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
  std::int32_t value = 0;
  // Parameter 31: one leading 1-bit is the most a 32-bit value needs.
  EXPECT_EQ(decodeOne(31, {0xBF, 0xFF, 0xFF, 0xFF, 0x80}, value), std::nullopt);  // 1, 0, then 31 ones
  EXPECT_EQ(value, INT_MAX);
  EXPECT_EQ(decodeOne(31, {0x9F, 0xFF, 0xFF, 0xFF, 0x80}, value), std::nullopt);  // 1, 0, sign 0, 30 ones
  EXPECT_EQ(value, INT_MIN);
  const std::string tooLong = damaged("a coefficient code word holds a value beyond 32 bits");
  EXPECT_EQ(decodeOne(31, {0xC0, 0, 0, 0, 0}, value), tooLong);
  EXPECT_EQ(decodeOne(20, Bytes(513, 0xFF), value), tooLong);  // parameter 20 allows 4095 leading 1-bits
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
  EXPECT_EQ(bitText(bytes, 24, expected.size()), expected);
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
    // Values the parameter can hold, with short code words.
    const std::int64_t reach = parameter == -3 ? 0 : parameter < 0 ? 1 : parameter == 0 ? 5 : std::int64_t{4} << (parameter - 1);
    std::uniform_int_distribution<std::int64_t> value(std::max<std::int64_t>(-reach, INT_MIN),
                                                      std::min<std::int64_t>(reach - (parameter > 0), INT_MAX));
    for (std::size_t j = 0; j < 32; ++j) segment.coefficients[band * 32 + j] = static_cast<std::int32_t>(value(random));
  }
  if (magnitude % 4 == 1) {  // empty bands: at s = 7 the look-ahead may run past a one-byte coefficient code
    std::fill(segment.parameters.begin(), segment.parameters.end(), -3);
    std::fill(segment.coefficients.begin(), segment.coefficients.end(), 0);
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
          Decoded decoded;
          const std::string where = "s " + std::to_string(s) + " M " + std::to_string(magnitude);
          ASSERT_EQ(fatalMessageOf([&] { decoded = decodePayload(s, input); }), std::nullopt) << where;
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
  // Differences ending in -33 give the highest band 32; ending in 3 give it -4.
  for (const std::int32_t last : {-33, 3}) {
    Bytes payload = {0x80, 0x02};
    OutputStream output(payload);
    BitWriter writer;
    const std::int32_t differences[4] = {0, 0, 0, last};
    encodeBand(differences, 4, 0, writer, output);
    flushBits(writer, output);
    EXPECT_EQ(payloadFailure(7, payload), damaged("a band parameter outside -3..31"));
  }
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
