// libFuzzer target: arbitrary bytes compressed and restored with fuzzed settings.
#include <cstdio>
#include <cstdlib>

#include "RoundTripEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string fault = qola::fuzz::runRoundTrip(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "finding: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
