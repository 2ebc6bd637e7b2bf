// Explicit byte order, whatever the host's.
#pragma once

#include <cstdint>

namespace qola {

inline std::uint16_t loadLittle16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t loadLittle32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) |
         (std::uint32_t{bytes[3]} << 24);
}

inline std::uint16_t loadBig16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

inline std::uint32_t loadBig32(const std::uint8_t* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

// Written as one expression, which compilers turn into a single load (and a byte swap).
inline std::uint64_t loadBig64(const std::uint8_t* bytes) {
  return (std::uint64_t{bytes[0]} << 56) | (std::uint64_t{bytes[1]} << 48) | (std::uint64_t{bytes[2]} << 40) |
         (std::uint64_t{bytes[3]} << 32) | (std::uint64_t{bytes[4]} << 24) | (std::uint64_t{bytes[5]} << 16) |
         (std::uint64_t{bytes[6]} << 8) | std::uint64_t{bytes[7]};
}

inline void storeLittle16(std::uint8_t* bytes, std::uint16_t value) {
  bytes[0] = static_cast<std::uint8_t>(value);
  bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void storeLittle32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void storeBig16(std::uint8_t* bytes, std::uint16_t value) {
  bytes[0] = static_cast<std::uint8_t>(value >> 8);
  bytes[1] = static_cast<std::uint8_t>(value);
}

inline void storeBig32(std::uint8_t* bytes, std::uint32_t value) {
  bytes[0] = static_cast<std::uint8_t>(value >> 24);
  bytes[1] = static_cast<std::uint8_t>(value >> 16);
  bytes[2] = static_cast<std::uint8_t>(value >> 8);
  bytes[3] = static_cast<std::uint8_t>(value);
}

// Two's-complement wrap of a 16-bit value without signed overflow.
inline std::int16_t wrap16(std::uint32_t value) {
  const auto low = static_cast<std::uint16_t>(value);
  return static_cast<std::int16_t>(low);  // modular since C++20
}

}  // namespace qola
