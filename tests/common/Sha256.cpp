#include "common/Sha256.h"

#include <sha2.h>

namespace qola::test {

std::string sha256Hex(std::span<const std::uint8_t> data) {
  SHA2_CTX context;
  SHA256Init(&context);
  SHA256Update(&context, data.data(), data.size());
  char hex[SHA256_DIGEST_STRING_LENGTH];
  SHA256End(&context, hex);
  return hex;
}

}  // namespace qola::test
