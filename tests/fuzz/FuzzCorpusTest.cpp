// Replays the segment decoder fuzzer's corpus: each input either decodes or
// stops with a damaged-file or arithmetic decoder message, never crashing or
// tripping a sanitizer.
#include <gtest/gtest.h>

#include <filesystem>

#include "../../fuzz/SegmentDecoderEntry.h"
#include "TestSupport.h"

namespace qola::test {
namespace {

TEST(SegmentDecoderFuzzCorpus, EveryInputDecodesOrStopsCleanly) {
  const std::filesystem::path dir = std::filesystem::path(QOLA_FUZZ_CORPUS_DIR) / "SegmentDecoderFuzzer";
  int inputs = 0, decoded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().filename().string());
    const Bytes bytes = readFile(entry.path());
    const fuzz::SegmentDecoderOutcome outcome = fuzz::runSegmentDecoder(bytes.data(), bytes.size());
    ++inputs;
    decoded += outcome.decoded;
    if (outcome.decoded) {
      EXPECT_LE(outcome.consumed + 1, bytes.size());
    } else if (!bytes.empty()) {
      EXPECT_TRUE(outcome.message.starts_with("Damaged file: ") ||
                  outcome.message.ends_with(": error: arithmetic decoder bad input file"))
          << outcome.message;
    }
  }
  EXPECT_GE(inputs, 10);
  EXPECT_GE(decoded, 1);
}

}  // namespace
}  // namespace qola::test
