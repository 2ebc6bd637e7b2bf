// SHA-256 for comparing outputs with the digests of the conformance vectors.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qola::test {

std::string sha256Hex(std::span<const std::uint8_t> data);

}  // namespace qola::test
