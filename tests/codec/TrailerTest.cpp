// The checksums the trailer carries, and a later trailer version; the layout,
// leftover bytes and damage are covered through whole jobs (TrailerJobTest).
#include "codec/Trailer.h"

#include <gtest/gtest.h>

namespace qola::test {
namespace {

TEST(Checksums, KnownDigests) {
  const auto* abc = reinterpret_cast<const std::uint8_t*>("abc");
  Md5 md5;
  md5.update(abc, 1);
  md5.update(abc + 1, 2);
  EXPECT_EQ(toHex(md5.finish()), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(toHex(Md5().finish()), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(crc32(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);
}

TEST(Trailer, ALaterVersionIsSkippedByItsLength) {
  std::vector<std::uint8_t> bytes = serializeTrailer(Trailer{});
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
