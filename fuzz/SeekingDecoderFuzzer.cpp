// libFuzzer target: seeks and reads of the decoder over arbitrary bytes.
#include <cstdio>
#include <cstdlib>

#include "SeekingDecoderEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string fault = qola::fuzz::runSeekingDecoder(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "finding: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
