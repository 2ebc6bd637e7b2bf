// Real recordings of the team's corpus round-trip byte-exactly under the
// command-line defaults, None/4096 without the trailer, Medium/1024 and the
// Best encoder; through the tool, every corpus file and every vector's PCM
// comes back whole with the MD5 that md5sum gives. Skipped when the shared
// folder is absent.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "cli/CliSupport.h"
#include "common/Checksums.h"
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
  bool trailer = true;  // off: whole frames and the header only come back
};

constexpr Configuration kConfigurations[] = {{"defaults", Adaptation::Full, 5},
                                             {"none4096", Adaptation::None, 5, EncoderMode::Default, false},
                                             {"medium1024", Adaptation::Medium, 3},
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
    settings.trailer = configuration.trailer;

    InputStream probe(input);
    const PcmLayout layout = EvaluateWaveHeader(probe, settings);
    const std::size_t coded = static_cast<std::size_t>(layout.headerLength) +
                              static_cast<std::size_t>(layout.frames) * static_cast<std::size_t>(layout.channels) *
                                  static_cast<std::size_t>(bytesPerSample(layout));
    Bytes restored;
    const auto error = fatalMessageOf([&] { restored = decompressBytes(compressBytes(settings, input)); });
    ASSERT_FALSE(error) << *error;
    ASSERT_EQ(restored.size(), configuration.trailer ? input.size() : coded);
    EXPECT_TRUE(std::equal(restored.begin(), restored.end(), input.begin()));
  }
}

std::string md5Of(const Bytes& bytes) {
  Md5 md5;
  md5.update(bytes.data(), bytes.size());
  return toHex(md5.finish());
}

// Corpus recordings, the PCM of every encode and decode vector, and a WAV
// whose trailing chunk ends one byte after the last whole frame.
class CorpusTool : public Cli {};

TEST_F(CorpusTool, RestoresEveryByteWithTheInputsMd5) {
  const auto shared = sharedDir();
  if (!shared || !std::filesystem::is_directory(*shared / "corpus")) GTEST_SKIP() << "no corpus or vectors";
  std::vector<std::filesystem::path> inputs;
  for (const auto& [folder, extension] : {std::pair{"corpus", ".wav"}, {"vectors/encode", ".in"},
                                          {"vectors/decode", ".out"}}) {
    for (const auto& entry : std::filesystem::directory_iterator(*shared / folder)) {
      if (entry.path().extension() == extension) inputs.push_back(entry.path());
    }
  }
  Bytes list = readFile(path("a.wav"));
  for (const std::uint8_t byte : Bytes{'L', 'I', 'S', 'T', 1, 0, 0, 0, 'x'}) list.push_back(byte);
  writeFile(path("list.wav"), list);
  inputs.push_back(path("list.wav"));
  ASSERT_GT(inputs.size(), 100u);
  int restored = 0;
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.filename().string());
    const Bytes original = readFile(input);
    ASSERT_EQ(runCli("-q -f -o " + path("x.qla") + " '" + input.string() + "'").status, 0);
    const CliRun test = runCli("-t " + path("x.qla"));
    EXPECT_NE(test.output.find("checksum ok " + md5Of(original)), std::string::npos) << test.output;
    ASSERT_EQ(runCli("-q -f -d -o " + path("x.out") + " " + path("x.qla")).status, 0);
    EXPECT_TRUE(readFile(path("x.out")) == original) << "restored bytes differ";
    ++restored;
  }
  std::printf("%d inputs restored whole through the tool\n", restored);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFile, ::testing::ValuesIn(corpusFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param == "missing" ? std::string("skipped") : info.param.substr(0, 3);
                         });

}  // namespace
}  // namespace qola::test
