#include "entropy/BitPacker.h"

#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"

namespace qola::test {
namespace {

struct Sink {
  Bytes bytes;
  OutputStream output{bytes};
  BitWriter writer;
};

TEST(BitWriterTest, WorkedExamples) {
  Sink a;
  EXPECT_EQ(putBits(a.writer, a.output, 1, 0b01, 2), 0u);  // bits 1, 0, 1
  EXPECT_EQ(flushBits(a.writer, a.output), 1u);
  EXPECT_EQ(a.bytes, Bytes{0xA0});

  Sink b;
  EXPECT_EQ(putBits(b.writer, b.output, 9, 0, 0), 1u);
  EXPECT_EQ(b.bytes, Bytes{0xFF});
  EXPECT_EQ(b.writer.pending, 0x80);
  EXPECT_EQ(b.writer.position, 6);
  EXPECT_EQ(flushBits(b.writer, b.output), 1u);
  // Eight bits on an empty writer leave it empty: the flush adds nothing.
  EXPECT_EQ(putBits(b.writer, b.output, 0, 0x5C, 8), 1u);
  EXPECT_EQ(flushBits(b.writer, b.output), 0u);
  EXPECT_EQ(b.bytes, (Bytes{0xFF, 0x80, 0x5C}));
}

// Random code words, runs of thousands of bits included, against a plain bit list.
TEST(BitWriterTest, CodeWordsMatchAPlainBitList) {
  std::mt19937 random(3);
  Sink sink;
  std::vector<int> bits;
  std::size_t reported = 0;
  for (int word = 0; word < 3000; ++word) {
    const std::uint64_t ones = word % 500 == 7 ? 5000 + random() % 9000 : random() % 12;
    const int valueBits = static_cast<int>(random() % 33);
    const auto value = static_cast<std::uint32_t>(random());
    reported += putBits(sink.writer, sink.output, ones, value, valueBits);
    bits.insert(bits.end(), ones, 1);
    for (int k = valueBits - 1; k >= 0; --k) bits.push_back(static_cast<int>((value >> k) & 1));
    ASSERT_EQ(sink.bytes.size(), bits.size() / 8);  // every completed byte is out at once
  }
  EXPECT_EQ(reported, sink.bytes.size());
  flushBits(sink.writer, sink.output);
  bits.resize(sink.bytes.size() * 8, 0);
  for (std::size_t i = 0; i < bits.size(); ++i) {
    ASSERT_EQ((sink.bytes[i / 8] >> (7 - i % 8)) & 1, bits[i]) << "bit " << i;
  }
}

TEST(BitReaderTest, WorkedExampleAndLazyFetches) {
  const Bytes bytes = {0x5C, 0x80, 0x33};
  InputStream input(bytes);
  BitReader reader;
  EXPECT_EQ(getBits(reader, input, 0), 0u);
  EXPECT_EQ(reader.unread, 0);
  EXPECT_EQ(getBits(reader, input, 3), 2u);
  EXPECT_EQ(getBits(reader, input, 7), 0x72u);
  resetBits(reader);
  EXPECT_EQ(input.getByte(), 0x33);  // the rest of 0x80 is dropped

  InputStream again(bytes);
  EXPECT_EQ(getBits(reader, again, 8), 0x5Cu);
  EXPECT_EQ(again.getByte(), 0x80);  // a finished byte does not pull in the next one
}

TEST(BitReaderTest, RunsOfOnesAcrossBytesAndTheirLimit) {
  // 3 ones and 0; 13 ones and 0; 0; 40 ones and 0.
  const Bytes bytes = {0xEF, 0xFF, 0x9F, 0xFF, 0xFF, 0xFF, 0xFF, 0xE0};
  for (const std::uint64_t lastLimit : {40u, 39u}) {
    InputStream input(bytes);
    BitReader reader;
    EXPECT_EQ(getOnes(reader, input, 3), 3u);
    EXPECT_EQ(getOnes(reader, input, 13), 13u);
    EXPECT_EQ(getOnes(reader, input, 0), 0u);
    const auto message = fatalMessageOf([&] { EXPECT_EQ(getOnes(reader, input, lastLimit), 40u); });
    if (lastLimit == 40) {
      EXPECT_EQ(message, std::nullopt);
      EXPECT_EQ(reader.unread, 4);
    } else {
      EXPECT_EQ(message, "Damaged file: a coefficient code word holds a value beyond 32 bits, program terminated");
    }
  }
}

TEST(BitReaderTest, EndOfInputIsADamagedFile) {
  const std::string ends = "Damaged file: the file ends inside a coefficient code, program terminated";
  const Bytes bytes = {0xFF};
  InputStream first(bytes);
  BitReader reader;
  EXPECT_EQ(fatalMessageOf([&] { getOnes(reader, first, 1000); }), ends);
  InputStream second(bytes);
  resetBits(reader);
  EXPECT_EQ(fatalMessageOf([&] { getBits(reader, second, 9); }), ends);
}

}  // namespace
}  // namespace qola::test
