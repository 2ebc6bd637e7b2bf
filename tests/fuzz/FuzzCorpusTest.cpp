// Replays the fuzzers' corpora: the segment decoder decodes each input or
// stops with a damaged-file or arithmetic decoder message, the file decoder
// keeps its promises and round trips hold, never crashing or tripping a sanitizer.
#include <gtest/gtest.h>

#include <filesystem>

#include "../../fuzz/FileDecoderEntry.h"
#include "../../fuzz/RoundTripEntry.h"
#include "../../fuzz/SeekingDecoderEntry.h"
#include "../../fuzz/SegmentDecoderEntry.h"
#include "TestSupport.h"

namespace qola::test {
namespace {

// Each corpus file of a harness, with what the harness says of it ("" when all is well).
template <typename Check>
int replayCorpus(const char* harness, Check check) {
  int inputs = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(QOLA_FUZZ_CORPUS_DIR) / harness)) {
    const Bytes bytes = readFile(entry.path());
    EXPECT_EQ(check(bytes), "") << entry.path().filename().string();
    ++inputs;
  }
  return inputs;
}

TEST(FuzzCorpora, EveryInputKeepsTheHarnessesPromises) {
  int decoded = 0, accepted = 0;
  const auto segment = [&](const Bytes& bytes) -> std::string {
    const fuzz::SegmentDecoderOutcome outcome = fuzz::runSegmentDecoder(bytes.data(), bytes.size());
    decoded += outcome.decoded;
    if (outcome.decoded) return outcome.consumed < bytes.size() ? "" : "consumed past the input";
    const bool clean = bytes.empty() || outcome.message.starts_with("Damaged file: ") ||
                       outcome.message == "arithmetic decoder bad input file";
    return clean ? "" : outcome.message;
  };
  const auto file = [&](const Bytes& bytes) {
    const fuzz::FileDecoderOutcome outcome = fuzz::runFileDecoder(bytes.data(), bytes.size());
    accepted += outcome.status == QOLA_OK;
    const std::string fault = fuzz::fileDecoderFault(outcome);
    return fault.empty() ? fuzz::threadsFault(outcome, fuzz::runFileDecoder(bytes.data(), bytes.size(), 2)) : fault;
  };
  const auto roundTrip = [](const Bytes& bytes) { return fuzz::runRoundTrip(bytes.data(), bytes.size()); };
  EXPECT_GE(replayCorpus("SegmentDecoderFuzzer", segment), 10);
  EXPECT_GE(replayCorpus("FileDecoderFuzzer", file), 10);
  EXPECT_GE(replayCorpus("RoundTripFuzzer", roundTrip), 10);
  const auto seeking = [](const Bytes& bytes) { return fuzz::runSeekingDecoder(bytes.data(), bytes.size()); };
  EXPECT_GE(replayCorpus("SeekingDecoderFuzzer", seeking), 10);
  EXPECT_GE(decoded, 1);
  EXPECT_GE(accepted, 3);
}

}  // namespace
}  // namespace qola::test
