// Replays the segment decoder fuzzer's corpus: no input may crash or trip a
// sanitizer, and each one either decodes or stops with a damaged-file or
// arithmetic decoder message.
#include <gtest/gtest.h>

#include <filesystem>

#include "../../fuzz/SegmentDecoderEntry.h"
#include "TestSupport.h"

namespace qola::test {
namespace {

TEST(SegmentDecoderFuzzCorpus, EveryInputDecodesOrStopsCleanly) {
  const std::filesystem::path dir = std::filesystem::path(QOLA_FUZZ_CORPUS_DIR) / "SegmentDecoderFuzzer";
  ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
  int inputs = 0;
  int decoded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().filename().string());
    const Bytes bytes = readFile(entry.path());
    const fuzz::SegmentDecoderOutcome outcome = fuzz::runSegmentDecoder(bytes.data(), bytes.size());
    ++inputs;
    if (outcome.decoded) {
      ++decoded;
      EXPECT_LE(outcome.consumed + 1, bytes.size());
    } else if (!bytes.empty()) {
      const bool damagedFile = outcome.message.starts_with("Damaged file: ");
      const bool coder = outcome.message.find(": error: arithmetic decoder bad input file") != std::string::npos;
      EXPECT_TRUE(damagedFile || coder) << outcome.message;
    }
  }
  EXPECT_GE(inputs, 10);
  EXPECT_GE(decoded, 1);
}

}  // namespace
}  // namespace qola::test
