// The checksums the trailer carries, the indexed trailer's bytes, and a later
// trailer version; the version 1 layout, leftover bytes and damage are
// covered through whole jobs (TrailerJobTest), the index's use in BlockIndexTest.
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
  const auto* digits = reinterpret_cast<const std::uint8_t*>("123456789");
  EXPECT_EQ(crc32(digits, 9), 0xCBF43926u);
  EXPECT_EQ(crc32Update(crc32(digits, 4), digits + 4, 5), 0xCBF43926u);
  // Eight bytes at a time and the bytes left over agree with one at a time.
  std::vector<std::uint8_t> bytes(1000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
  for (const std::size_t count : {1, 7, 8, 9, 15, 16, 17, 999}) {
    std::uint32_t oneByOne = 0;
    for (std::size_t i = 0; i < count; ++i) oneByOne = crc32Update(oneByOne, &bytes[i], 1);
    EXPECT_EQ(crc32(bytes.data(), count), oneByOne) << count;
  }
  EXPECT_EQ(crc32(reinterpret_cast<const std::uint8_t*>("The quick brown fox jumps over the lazy dog"), 43),
            0x414FA339u);
}

// An indexed trailer of `units` units, with two leftover bytes.
Trailer indexedTrailer(std::size_t units) {
  Trailer trailer;
  trailer.swapBytes = true;
  trailer.leftover = {0xAB, 0xCD};
  trailer.md5[0] = 0x5A;
  trailer.index.unitFrames = 4096;
  for (std::size_t u = 0; u < units; ++u) {
    trailer.index.units.push_back(
        {static_cast<std::uint32_t>(1000 + u), static_cast<std::uint32_t>(0x9E3779B9u * u)});
  }
  return trailer;
}

std::uint16_t big16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void setCrcBeforeEnd(std::vector<std::uint8_t>& bytes) {
  const std::size_t crcAt = bytes.size() - 10;
  const std::uint32_t crc = crc32(bytes.data(), crcAt);
  for (int i = 0; i < 4; ++i) bytes[crcAt + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

TEST(Trailer, IndexedTrailersReadBackFromTheirStartAndFromTheFileEnd) {
  // 3 units fit the 16-bit length; 9000 units (72 KB) need the 32-bit one.
  for (const std::size_t units : {std::size_t{3}, std::size_t{9000}}) {
    const Trailer trailer = indexedTrailer(units);
    const std::vector<std::uint8_t> bytes = serializeTrailer(trailer);
    ASSERT_EQ(bytes.size(), 51 + 2 + 8 * units);
    std::vector<std::uint8_t> followed = bytes;
    followed.insert(followed.end(), 5, 0x00);  // bytes after it are the caller's
    const ParsedTrailer parsed = parseTrailer(followed);
    ASSERT_EQ(parsed.check, TrailerCheck::Valid) << units;
    EXPECT_EQ(parsed.length, bytes.size());
    EXPECT_EQ(parsed.trailer.md5, trailer.md5);
    EXPECT_TRUE(parsed.trailer.swapBytes);
    EXPECT_EQ(parsed.trailer.leftover, trailer.leftover);
    EXPECT_EQ(parsed.trailer.index.unitFrames, 4096);
    ASSERT_EQ(parsed.trailer.index.units.size(), units);
    EXPECT_EQ(parsed.trailer.index.units.back().length, trailer.index.units.back().length);
    EXPECT_EQ(parsed.trailer.index.units.back().crc, trailer.index.units.back().crc);
    std::vector<std::uint8_t> file(100, 0x11);
    file.insert(file.end(), bytes.begin(), bytes.end());
    EXPECT_EQ(trailerLengthFromEnd(std::span(file).last(14)), bytes.size());
    // The 16-bit fields hold the length where it fits, else 0.
    const std::uint16_t shortLength = units == 3 ? static_cast<std::uint16_t>(bytes.size()) : 0;
    EXPECT_EQ(big16(bytes, 6), shortLength);
    EXPECT_EQ(big16(bytes, bytes.size() - 6), shortLength);
  }
}

TEST(Trailer, AnyDamagedByteOfAnIndexedTrailerIsNoticed) {
  const std::vector<std::uint8_t> bytes = serializeTrailer(indexedTrailer(4));
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    std::vector<std::uint8_t> damaged = bytes;
    damaged[at] ^= 0x10;
    const ParsedTrailer parsed = parseTrailer(damaged);
    EXPECT_NE(parsed.check, TrailerCheck::Valid) << "byte " << at;
    EXPECT_TRUE(parsed.trailer.index.units.empty()) << "byte " << at;
  }
  // Sound checksums around fields that do not add up: a unit count beyond the bytes.
  std::vector<std::uint8_t> lying = bytes;
  lying[25 + 2 + 11] += 1;  // the low byte of the unit count
  setCrcBeforeEnd(lying);
  EXPECT_EQ(parseTrailer(lying).check, TrailerCheck::Damaged);
}

// A later version is skipped by its length, as one of ours is by a reader of
// version 1: the 16-bit lengths and the CRC before them stay where they were.
TEST(Trailer, ALaterVersionIsSkippedByItsLength) {
  std::vector<std::uint8_t> bytes = serializeTrailer(indexedTrailer(2));
  bytes[4] = 3;
  setCrcBeforeEnd(bytes);
  const ParsedTrailer parsed = parseTrailer(bytes);
  EXPECT_EQ(parsed.check, TrailerCheck::Newer);
  EXPECT_EQ(parsed.length, bytes.size());
}

}  // namespace
}  // namespace qola::test
