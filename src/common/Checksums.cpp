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

// Table k gives the CRC of a byte followed by k zero bytes, so that eight
// bytes are folded in with eight independent look-ups.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables makeCrcTables() {
  CrcTables t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (std::size_t k = 1; k < t.size(); ++k) {
    for (std::uint32_t n = 0; n < 256; ++n) t[k][n] = t[0][t[k - 1][n] & 0xff] ^ (t[k - 1][n] >> 8);
  }
  return t;
}

constexpr CrcTables kCrcTables = makeCrcTables();

}  // namespace

std::uint32_t crc32(const std::uint8_t* bytes, std::size_t count) { return crc32Update(0, bytes, count); }

std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) {
  const CrcTables& t = kCrcTables;
  std::uint32_t c = crc ^ 0xFFFFFFFFu;
  for (; count >= 8; bytes += 8, count -= 8) {
    const std::uint32_t low = c ^ (std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                   std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24);
    c = t[7][low & 0xff] ^ t[6][(low >> 8) & 0xff] ^ t[5][(low >> 16) & 0xff] ^ t[4][low >> 24] ^ t[3][bytes[4]] ^
        t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
  }
  for (; count > 0; ++bytes, --count) c = t[0][(c ^ *bytes) & 0xff] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace qola
