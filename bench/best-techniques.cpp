// What each search of the Best encoder gives alone: compresses every file
// given on the command line (with the command-line tool's defaults: WAV
// evaluation and joint stereo) in the Default mode, in the Best mode with one
// search at a time, and with all of them. Prints a TSV row per file and run:
// file, run, input bytes, output bytes, CPU seconds. QOLA_RUNS (run names
// separated by commas) limits the runs.
#include "codec/Jobs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "codec/CompressFile.h"

namespace {

class SilentSink : public qola::ProgressSink {
 public:
  void setProgress(int) override {}
  void showReport(const std::string&, const std::string&) override {}
};

struct Run {
  const char* name;
  qola::EncoderMode mode;
  qola::BestTechniques techniques;
};

bool wanted(std::string_view name) {
  const char* list = std::getenv("QOLA_RUNS");
  if (list == nullptr) return true;
  const std::string_view names(list);
  for (std::size_t start = 0; start <= names.size();) {
    const std::size_t comma = std::min(names.find(',', start), names.size());
    if (names.substr(start, comma - start) == name) return true;
    start = comma + 1;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // rate rounding, wide joint trial, then the Best searches: splits, joint, rounding by coded size.
  const Run runs[] = {
      {"default-none", qola::EncoderMode::Default, {false, false, false, false, false, false, false, false}},
      {"rate", qola::EncoderMode::Default, {true, false, false, false, false, false, false, false}},
      {"wide-joint", qola::EncoderMode::Default, {false, true, false, false, false, false, false, false}},
      {"default", qola::EncoderMode::Default, qola::BestTechniques{}},
      {"splits", qola::EncoderMode::Best, {true, true, true, false, false, false, false, false}},
      {"joint", qola::EncoderMode::Best, {true, true, false, true, false, false, false, false}},
      {"rounding", qola::EncoderMode::Best, {true, true, false, false, true, false, false, false}},
      {"parameters", qola::EncoderMode::Best, {true, true, false, false, false, true, false, false}},
      {"lags", qola::EncoderMode::Best, {true, true, false, false, false, false, true, false}},
      {"every-lag", qola::EncoderMode::Best, {true, true, false, false, false, false, false, true}},
      {"best-old", qola::EncoderMode::Best, {true, true, true, true, true, false, false, false}},
      {"best", qola::EncoderMode::Best, qola::BestTechniques{}},
  };
  std::printf("file\trun\tin_bytes\tout_bytes\tcpu_s\n");
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    const std::vector<std::uint8_t> input((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string name = argv[i];
    name = name.substr(name.find_last_of('/') + 1);
    for (const Run& run : runs) {
      if (!wanted(run.name)) continue;
      qola::CodecSettings settings;
      settings.wavEvaluation = true;
      settings.jointStereo = true;
      settings.encoderMode = run.mode;
      std::vector<std::uint8_t> output;
      qola::InputStream in(input);
      qola::OutputStream out(output);
      SilentSink sink;
      const std::clock_t start = std::clock();
      qola::compressFileWith(settings, run.techniques, in, out, sink);
      const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
      std::printf("%s\t%s\t%zu\t%zu\t%.3f\n", name.c_str(), run.name, input.size(), output.size(), seconds);
      std::fflush(stdout);
    }
  }
  return 0;
}
