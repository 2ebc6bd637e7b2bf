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
    bool trailer;  // off: whole frames and the header only come back
  } configurations[] = {{Adaptation::Full, 5, EncoderMode::Default, true},
                        {Adaptation::None, 5, EncoderMode::Default, false},
                        {Adaptation::Medium, 3, EncoderMode::Default, true},
                        {Adaptation::Full, 5, EncoderMode::Best, true}};
  for (const auto& c : configurations) {
    CodecSettings settings;  // the command-line defaults
    settings.wavEvaluation = settings.jointStereo = true;
    settings.adaptation = c.level;
    settings.blockLengthIndex = c.blockLengthIndex;
    settings.encoderMode = c.encoder;
    settings.trailer = c.trailer;
    InputStream probe(input);
    const PcmLayout layout = EvaluateWaveHeader(probe, settings);
    const auto coded = static_cast<std::size_t>(layout.headerLength + layout.frames * layout.channels * bytesPerSample(layout));
    Bytes restored;
    const auto error = fatalMessageOf([&] { restored = decompressBytes(compressBytes(settings, input)); });
    ASSERT_FALSE(error) << *error;
    EXPECT_TRUE(restored == Bytes(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(c.trailer ? input.size() : coded)))
        << static_cast<int>(c.encoder) << " " << c.trailer;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFile, ::testing::ValuesIn(corpusFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param == "missing" ? std::string("skipped") : info.param.substr(0, 3);
                         });

// Corpus recordings, the PCM of every encode and decode vector, and a WAV
// whose trailing chunk ends one byte after the last whole frame.
class CorpusTool : public Cli {};

TEST_F(CorpusTool, RestoresEveryByteWithTheInputsMd5) {
  const auto shared = sharedDir();
  if (!shared || !fs::is_directory(*shared / "corpus")) GTEST_SKIP() << "no corpus or vectors";
  std::vector<fs::path> inputs;
  for (const auto& [folder, extension] : {std::pair{"corpus", ".wav"}, {"vectors/encode", ".in"}, {"vectors/decode", ".out"}}) {
    for (const auto& entry : fs::directory_iterator(*shared / folder)) {
      if (entry.path().extension() == extension) inputs.push_back(entry.path());
    }
  }
  Bytes list = readFile(path("a.wav"));
  list.insert(list.end(), {'L', 'I', 'S', 'T', 1, 0, 0, 0, 'x'});
  writeFile(path("list.wav"), list);
  inputs.push_back(path("list.wav"));
  ASSERT_GT(inputs.size(), 100u);
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.filename().string());
    const Bytes original = readFile(input);
    Md5 md5;
    md5.update(original.data(), original.size());
    ASSERT_EQ(runCli("-q -f -o " + path("x.qla") + " '" + input.string() + "'").status, 0);
    const CliRun test = runCli("-t " + path("x.qla"));
    EXPECT_NE(test.output.find("checksum ok " + toHex(md5.finish())), std::string::npos) << test.output;
    ASSERT_EQ(runCli("-q -f -d -o " + path("x.out") + " " + path("x.qla")).status, 0);
    EXPECT_TRUE(readFile(path("x.out")) == original) << "restored bytes differ";
  }
}

}  // namespace
}  // namespace qola::test
