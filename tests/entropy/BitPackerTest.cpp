#include "entropy/BitPacker.h"

#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"

namespace qola::test {
namespace {

// Random code words, runs of thousands of bits included, against a plain bit list.
TEST(BitWriterTest, CodeWordsMatchAPlainBitList) {
  std::mt19937 random(3);
  Bytes bytes;
  OutputStream output(bytes);
  BitWriter writer;
  std::vector<int> bits;
  std::size_t reported = 0;
  for (int word = 0; word < 3000; ++word) {
    const std::uint64_t ones = word % 500 == 7 ? 5000 + random() % 9000 : random() % 12;
    const int valueBits = static_cast<int>(random() % 33);
    const std::uint32_t value = random();
    reported += putBits(writer, output, ones, value, valueBits);
    bits.insert(bits.end(), ones, 1);
    for (int k = valueBits - 1; k >= 0; --k) bits.push_back((value >> k) & 1);
    ASSERT_EQ(reported, bits.size() / 8);  // every completed byte is counted at once
  }
  EXPECT_EQ(flushBits(writer, output), bits.size() % 8 != 0 ? 1u : 0u);
  EXPECT_EQ(bytes.size(), (bits.size() + 7) / 8);
  bits.resize(bytes.size() * 8, 0);
  for (std::size_t i = 0; i < bits.size(); ++i) ASSERT_EQ((bytes[i / 8] >> (7 - i % 8)) & 1, bits[i]) << "bit " << i;
}

// The reader takes bytes ahead of need; resetBits must leave the input on the
// byte after the last one a code word touched, also where the input's buffer
// runs short of a whole read-ahead word.
TEST(BitReaderTest, WorkedExampleAndTheBytesReadAhead) {
  Bytes bytes = {0x5C, 0x80, 0x33};
  for (int i = 0; i < 20; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
  for (const std::size_t size : {std::size_t{3}, bytes.size()}) {
    const Bytes data(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    InputStream input(data), again(data);
    BitReader reader;
    EXPECT_EQ(getBits(reader, input, 0), 0u);
    EXPECT_EQ(reader.unread, 0);
    EXPECT_EQ(getBits(reader, input, 3), 2u);
    EXPECT_EQ(getBits(reader, input, 7), 0x72u);
    resetBits(reader, input);
    EXPECT_EQ(input.getByte(), 0x33);  // the rest of 0x80 is dropped
    EXPECT_EQ(getBits(reader, again, 8), 0x5Cu);
    resetBits(reader, again);
    EXPECT_EQ(again.getByte(), 0x80);  // a finished byte does not take the next one
  }
  // Runs of 1-bits, their limit and the end of the input are decoded and refused through the band codes.
  const Bytes oneByte = {0x5C};
  InputStream shortInput(oneByte);
  BitReader reader;
  EXPECT_EQ(fatalMessageOf([&] { getBits(reader, shortInput, 9); }),
            "Damaged file: the file ends inside a coefficient code");
}

}  // namespace
}  // namespace qola::test
