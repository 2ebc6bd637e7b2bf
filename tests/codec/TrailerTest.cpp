// The trailer's layout and the checksums it carries; damage to it is covered
// through whole jobs (TrailerJobTest).
#include "codec/Trailer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qola::test {
namespace {

Trailer sample(std::size_t leftover, bool swap) {
  Trailer trailer;
  for (std::size_t i = 0; i < trailer.md5.size(); ++i) trailer.md5[i] = static_cast<std::uint8_t>(0xA0 + i);
  trailer.swapBytes = swap;
  for (std::size_t i = 0; i < leftover; ++i) trailer.leftover.push_back(static_cast<std::uint8_t>(0x51 + i));
  return trailer;
}

TEST(Checksums, KnownDigests) {
  const auto* abc = reinterpret_cast<const std::uint8_t*>("abc");
  Md5 md5;
  md5.update(abc, 1);
  md5.update(abc + 1, 2);
  EXPECT_EQ(toHex(md5.finish()), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(toHex(Md5().finish()), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(crc32(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);
}

TEST(Trailer, RoundTripsAndIsFoundFromTheEnd) {
  for (const std::size_t leftover : {0u, 3u, 255u}) {
    const Trailer trailer = sample(leftover, leftover == 3);
    std::vector<std::uint8_t> bytes = serializeTrailer(trailer);
    ASSERT_EQ(bytes.size(), 35 + leftover);
    EXPECT_EQ(trailerLengthFromEnd(bytes), bytes.size());
    bytes.push_back(0x77);  // what follows is not the trailer's concern
    const ParsedTrailer parsed = parseTrailer(bytes);
    ASSERT_EQ(parsed.check, TrailerCheck::Valid);
    EXPECT_EQ(parsed.length, 35 + leftover);
    EXPECT_TRUE(parsed.trailer.md5 == trailer.md5 && parsed.trailer.swapBytes == trailer.swapBytes &&
                parsed.trailer.leftover == trailer.leftover);
  }
  EXPECT_EQ(parseTrailer(std::vector<std::uint8_t>{0x11, 0x22}).check, TrailerCheck::NotATrailer);
  EXPECT_EQ(trailerLengthFromEnd(std::vector<std::uint8_t>(40, 0)), std::nullopt);
}

TEST(Trailer, ALaterVersionIsSkippedByItsLength) {
  std::vector<std::uint8_t> bytes = serializeTrailer(sample(0, false));
  bytes[4] = 2;
  const std::size_t crcAt = bytes.size() - 10;
  const std::uint32_t crc = crc32(bytes.data(), crcAt);
  for (int i = 0; i < 4; ++i) bytes[crcAt + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  const ParsedTrailer parsed = parseTrailer(bytes);
  EXPECT_EQ(parsed.check, TrailerCheck::Newer);
  EXPECT_EQ(parsed.length, bytes.size());
}

}  // namespace
}  // namespace qola::test
