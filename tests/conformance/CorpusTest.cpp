// Real recordings of the team's corpus round-trip byte-exactly under the
// command-line defaults, None/4096, Medium/1024 and the Best encoder. Skipped when the shared
// folder is absent.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "pcm/PcmIo.h"

namespace qola::test {
namespace {

// Without the corpus, one name that only makes the suite report its skip.
std::vector<std::string> corpusFiles() {
  std::vector<std::string> names;
  const auto shared = sharedDir();
  if (!shared || !std::filesystem::is_directory(*shared / "corpus")) return {"missing"};
  for (const auto& entry : std::filesystem::directory_iterator(*shared / "corpus")) {
    if (entry.path().extension() == ".wav") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct Configuration {
  const char* name;
  Adaptation level;
  int blockLengthIndex;
  EncoderMode encoder = EncoderMode::Default;
};

constexpr Configuration kConfigurations[] = {
    {"defaults", Adaptation::Full, 5}, {"none4096", Adaptation::None, 5}, {"medium1024", Adaptation::Medium, 3},
    {"best", Adaptation::Full, 5, EncoderMode::Best}};

class CorpusFile : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusFile, RoundTripsByteExactly) {
  if (GetParam() == "missing") GTEST_SKIP() << "no corpus: ../shared/corpus is absent";
  const Bytes input = readFile(*sharedDir() / "corpus" / GetParam());
  for (const Configuration& configuration : kConfigurations) {
    SCOPED_TRACE(configuration.name);
    CodecSettings settings;  // the command-line defaults
    settings.wavEvaluation = true;
    settings.jointStereo = true;
    settings.adaptation = configuration.level;
    settings.blockLengthIndex = configuration.blockLengthIndex;
    settings.encoderMode = configuration.encoder;

    InputStream probe(input);
    const PcmLayout layout = EvaluateWaveHeader(probe, settings);
    const std::size_t coded = static_cast<std::size_t>(layout.headerLength) +
                              static_cast<std::size_t>(layout.frames) * static_cast<std::size_t>(layout.channels) *
                                  static_cast<std::size_t>(bytesPerSample(layout));
    Bytes restored;
    const auto error = fatalMessageOf([&] { restored = decompressBytes(compressBytes(settings, input)); });
    ASSERT_FALSE(error) << *error;
    ASSERT_EQ(restored.size(), coded);
    EXPECT_TRUE(std::equal(restored.begin(), restored.end(), input.begin()));
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFile, ::testing::ValuesIn(corpusFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param == "missing" ? std::string("skipped") : info.param.substr(0, 3);
                         });

}  // namespace
}  // namespace qola::test
