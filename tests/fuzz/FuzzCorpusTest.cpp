// Replays the segment decoder fuzzer's corpus: each input either decodes or
// stops with a damaged-file or arithmetic decoder message, never crashing or
// tripping a sanitizer.
#include <gtest/gtest.h>

#include <filesystem>

#include "../../fuzz/FileDecoderEntry.h"
#include "../../fuzz/RoundTripEntry.h"
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

// Each corpus file of a whole-file harness, with what the harness says of it.
template <typename Check>
int replayCorpus(const char* harness, Check check) {
  const std::filesystem::path dir = std::filesystem::path(QOLA_FUZZ_CORPUS_DIR) / harness;
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().filename().string());
    const Bytes bytes = readFile(entry.path());
    EXPECT_EQ(check(bytes), "");
    ++inputs;
  }
  return inputs;
}

TEST(WholeFileFuzzCorpora, DecoderKeepsItsPromisesAndRoundTripsHold) {
  int accepted = 0;
  const int decoded = replayCorpus("FileDecoderFuzzer", [&](const Bytes& bytes) {
    const fuzz::FileDecoderOutcome outcome = fuzz::runFileDecoder(bytes.data(), bytes.size());
    accepted += outcome.status == QOLA_OK;
    return fuzz::fileDecoderFault(outcome);
  });
  EXPECT_GE(decoded, 10);
  EXPECT_GE(accepted, 3);
  EXPECT_GE(replayCorpus("RoundTripFuzzer", [](const Bytes& bytes) { return fuzz::runRoundTrip(bytes.data(), bytes.size()); }),
            10);
}

}  // namespace
}  // namespace qola::test
