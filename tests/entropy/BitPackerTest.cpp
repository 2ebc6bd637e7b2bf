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
  EXPECT_TRUE(a.bytes.empty());
  EXPECT_EQ(flushBits(a.writer, a.output), 1u);
  EXPECT_EQ(a.bytes, Bytes{0xA0});

  Sink b;
  EXPECT_EQ(putBits(b.writer, b.output, 9, 0, 0), 1u);
  EXPECT_EQ(b.bytes, Bytes{0xFF});
  EXPECT_EQ(b.writer.pending, 0x80);
  EXPECT_EQ(b.writer.position, 6);
  EXPECT_EQ(flushBits(b.writer, b.output), 1u);
  EXPECT_EQ(b.bytes, (Bytes{0xFF, 0x80}));
}

TEST(BitWriterTest, WholeBytesLeaveTheWriterEmpty) {
  Sink sink;
  EXPECT_EQ(putBits(sink.writer, sink.output, 0, 0x5C, 8), 1u);
  EXPECT_EQ(sink.writer.position, 7);
  EXPECT_EQ(flushBits(sink.writer, sink.output), 0u);
  // The next code word starts on a fresh byte after a flush.
  putBits(sink.writer, sink.output, 0, 1, 2);
  flushBits(sink.writer, sink.output);
  putBits(sink.writer, sink.output, 1, 0, 0);
  flushBits(sink.writer, sink.output);
  EXPECT_EQ(sink.bytes, (Bytes{0x5C, 0x40, 0x80}));
}

// Random code words, long runs included, against a bit-by-bit model.
TEST(BitWriterTest, CodeWordsMatchAPlainBitList) {
  std::mt19937 random(3);
  Sink sink;
  std::vector<int> bits;
  std::size_t reported = 0;
  for (int word = 0; word < 3000; ++word) {
    const std::uint64_t ones = word % 500 == 7 ? 5000 + random() % 9000 : random() % 12;
    const int valueBits = static_cast<int>(random() % 33);
    const std::uint32_t value = static_cast<std::uint32_t>(random());
    const std::size_t before = sink.bytes.size();
    reported += putBits(sink.writer, sink.output, ones, value, valueBits);
    ASSERT_EQ(reported, sink.bytes.size());
    ASSERT_EQ(sink.bytes.size() - before, (bits.size() % 8 + ones + valueBits) / 8);
    bits.insert(bits.end(), ones, 1);
    for (int k = valueBits - 1; k >= 0; --k) bits.push_back(static_cast<int>((value >> k) & 1));
  }
  flushBits(sink.writer, sink.output);
  ASSERT_EQ(sink.bytes.size(), (bits.size() + 7) / 8);
  for (std::size_t i = 0; i < bits.size(); ++i) {
    ASSERT_EQ((sink.bytes[i / 8] >> (7 - i % 8)) & 1, bits[i]) << "bit " << i;
  }
  for (std::size_t i = bits.size(); i < sink.bytes.size() * 8; ++i) {
    ASSERT_EQ((sink.bytes[i / 8] >> (7 - i % 8)) & 1, 0) << "padding bit " << i;
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
  EXPECT_EQ(input.getByte(), 0x33);  // the rest of 0x80 was dropped, nothing fetched ahead

  InputStream again(bytes);
  BitReader fresh;
  EXPECT_EQ(getBits(fresh, again, 8), 0x5Cu);
  EXPECT_EQ(again.getByte(), 0x80);  // a finished byte does not pull in the next
}

TEST(BitReaderTest, RunsOfOnesAcrossBytes) {
  // 3 ones, 0; 13 ones, 0; 0 ones, 0; then 40 ones and a 0 past a limit.
  const Bytes bytes = {0xEF, 0xFF, 0x9F, 0xFF, 0xFF, 0xFF, 0xFF, 0xE0};
  InputStream input(bytes);
  BitReader reader;
  EXPECT_EQ(getOnes(reader, input, 100), 3u);
  EXPECT_EQ(getOnes(reader, input, 100), 13u);
  EXPECT_EQ(getOnes(reader, input, 100), 0u);
  EXPECT_EQ(getOnes(reader, input, 40), 40u);
  EXPECT_EQ(reader.unread, 4);

  InputStream tooLong(bytes);
  BitReader second;
  getOnes(second, tooLong, 3);
  getOnes(second, tooLong, 13);
  getOnes(second, tooLong, 0);
  EXPECT_EQ(fatalMessageOf([&] { getOnes(second, tooLong, 39); }),
            "Damaged file: a coefficient code word holds a value beyond 32 bits, program terminated");
}

TEST(BitReaderTest, EndOfInputIsADamagedFile) {
  const std::string message = "Damaged file: the file ends inside a coefficient code, program terminated";
  const Bytes bytes = {0xFF};
  {
    InputStream input(bytes);
    BitReader reader;
    EXPECT_EQ(fatalMessageOf([&] { getOnes(reader, input, 1000); }), message);
  }
  {
    InputStream input(bytes);
    BitReader reader;
    EXPECT_EQ(fatalMessageOf([&] { getBits(reader, input, 9); }), message);
  }
  {
    const Bytes empty;
    InputStream input(empty);
    BitReader reader;
    EXPECT_EQ(fatalMessageOf([&] { getBit(reader, input); }), message);
  }
}

TEST(BitReaderDeathTest, EndOfInputExitsWithStatusOne) {
  const Bytes bytes = {0xAB};
  EXPECT_EXIT(
      {
        InputStream input(bytes);
        BitReader reader;
        getBits(reader, input, 12);
      },
      ::testing::ExitedWithCode(1), "Damaged file: the file ends inside a coefficient code, program terminated");
}

}  // namespace
}  // namespace qola::test
