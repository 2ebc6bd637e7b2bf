// libFuzzer target: arbitrary bytes through the whole-file decoder.
#include <cstdio>
#include <cstdlib>

#include "FileDecoderEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const qola::fuzz::FileDecoderOutcome one = qola::fuzz::runFileDecoder(data, size);
  std::string fault = qola::fuzz::fileDecoderFault(one);
  if (fault.empty()) fault = qola::fuzz::threadsFault(one, qola::fuzz::runFileDecoder(data, size, 2));
  if (!fault.empty()) {
    std::fprintf(stderr, "finding: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
