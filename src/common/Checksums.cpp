#include "common/Checksums.h"

#include <array>

namespace qola {

Md5Digest Md5::finish() {
  Md5Digest digest{};
  MD5Final(digest.data(), &context_);
  return digest;
}

std::string toHex(const Md5Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * digest.size());
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0f];
  }
  return text;
}

namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

}  // namespace

std::uint32_t crc32(const std::uint8_t* bytes, std::size_t count) { return crc32Update(0, bytes, count); }

std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) {
  std::uint32_t c = crc ^ 0xFFFFFFFFu;
  for (std::size_t i = 0; i < count; ++i) c = kCrcTable[(c ^ bytes[i]) & 0xff] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace qola
