// The two checksums of the trailer: MD5 of the original input, so that a
// restore can be compared with an `md5sum` list, and CRC-32 of the trailer
// itself, so that damage to it is told apart from damage to the audio.
#pragma once

#include <md5.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qola {

using Md5Digest = std::array<std::uint8_t, 16>;

// Incremental MD5 over every byte of a file, fed in the order of the file.
class Md5 {
 public:
  Md5() { MD5Init(&context_); }
  void update(const std::uint8_t* bytes, std::size_t count) {
    if (count > 0) MD5Update(&context_, bytes, count);
  }
  // Ends the computation; the object must not be updated afterwards.
  Md5Digest finish();

 private:
  MD5_CTX context_{};
};

// Lower-case hexadecimal, as md5sum prints it.
std::string toHex(const Md5Digest& digest);

// CRC-32 with the reflected polynomial 0xEDB88320, initial and final value all ones.
std::uint32_t crc32(const std::uint8_t* bytes, std::size_t count);
// The CRC-32 of bytes that follow those whose CRC-32 is crc, so that a run of
// pieces gives the CRC-32 of their concatenation (crc32 is this from 0).
std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count);

}  // namespace qola
