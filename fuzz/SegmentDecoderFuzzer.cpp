// libFuzzer target: arbitrary bytes through the transform segment decoder.
#include <cstddef>
#include <cstdint>

#include "SegmentDecoderEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qola::fuzz::runSegmentDecoder(data, size);
  return 0;
}
