// Real recordings of the team's corpus round-trip byte-exactly under the
// command-line defaults, None/4096, Medium/1024 and the Best encoder.
// Skipped when the shared folder is absent.
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qola::test {
namespace {

namespace fs = std::filesystem;

// Without the corpus, one name that only makes the suite report its skip.
std::vector<std::string> corpusFiles() {
  const auto shared = sharedDir();
  if (!shared || !fs::is_directory(*shared / "corpus")) return {"missing"};
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(*shared / "corpus")) {
    if (entry.path().extension() == ".wav") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CorpusFile : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusFile, RoundTripsByteExactly) {
  if (GetParam() == "missing") GTEST_SKIP() << "no corpus: ../shared/corpus is absent";
  const Bytes input = readFile(*sharedDir() / "corpus" / GetParam());
  const struct {
    Adaptation level;
    int blockLengthIndex;
    EncoderMode encoder;
  } configurations[] = {{Adaptation::Full, 5, EncoderMode::Default},
                        {Adaptation::None, 5, EncoderMode::Default},
                        {Adaptation::Medium, 3, EncoderMode::Default},
                        {Adaptation::Full, 5, EncoderMode::Best}};
  for (const auto& c : configurations) {  // with the command-line defaults
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.level) << " " << static_cast<int>(c.encoder));
    roundTrip({.blockLengthIndex = c.blockLengthIndex,
               .adaptation = c.level,
               .wavEvaluation = true,
               .jointStereo = true,
               .encoderMode = c.encoder},
              input);
  }
}

// The decoder's sample buffers hold the recording's PCM data, sample for sample.
TEST_P(CorpusFile, DecodesIntoSampleBuffers) {
  if (GetParam() == "missing") GTEST_SKIP() << "no corpus: ../shared/corpus is absent";
  const Bytes input = readFile(*sharedDir() / "corpus" / GetParam());
  const JobRun compressed = runJob(true, input);
  ASSERT_EQ(compressed.status, QOLA_OK) << compressed.message;
  Decoder decoder(Input::memory(compressed.output));
  const Bytes pcm = readToTheEnd(decoder, 10000);  // reads end inside blocks
  const auto pcmAt = static_cast<std::size_t>(compressed.result.header_length);
  EXPECT_EQ(pcm.size(), static_cast<std::size_t>(decoder.frames() * decoder.channels() * decoder.sampleBits() / 8));
  ASSERT_LE(pcmAt + pcm.size(), input.size());
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), input.begin() + static_cast<std::ptrdiff_t>(pcmAt)));
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFile, ::testing::ValuesIn(corpusFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param == "missing" ? std::string("skipped") : info.param.substr(0, 3);
                         });

}  // namespace
}  // namespace qola::test
