// The time of a seek near the end of a real recording (corpus p01, 60 s of
// 44.1 kHz 16-bit stereo): open the compressed file, seek to 2 s before its
// end, read one block's frames. Argument 0: a file without a block index, so
// the decoder passes over every block before; 1: with the index.
// QOLA_SHARED_DIR names the shared folder (default: ../shared of the sources).
#include <benchmark/benchmark.h>

#include <qola/qola.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace qola {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kRecording = "p01_music_midi-fluidr3_44k_st16_keep-on-rolling.wav";
constexpr std::int64_t kSecondsBeforeEnd = 2;
constexpr std::size_t kReadFrames = 4096;

std::filesystem::path recordingPath() {
  const char* shared = std::getenv("QOLA_SHARED_DIR");
  return std::filesystem::path(shared != nullptr ? shared : QOLA_BENCH_SHARED_DIR) / "corpus" / kRecording;
}

// p01 compressed with the defaults, with or without the index; empty when the corpus is absent.
const Bytes& compressedRecording(bool index) {
  static std::map<bool, Bytes> files;
  const auto found = files.find(index);
  if (found != files.end()) return found->second;
  Bytes& file = files[index];
  std::ifstream in(recordingPath(), std::ios::binary);
  const Bytes wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (wav.empty()) return file;
  Settings settings;
  settings.index = index ? 1 : 0;
  Job job(settings);
  Input input = Input::memory(wav);
  Output output = Output::memory();
  job.compress(input, output);
  file.assign(output.data().begin(), output.data().end());
  return file;
}

void BM_seekNearTheEnd(benchmark::State& state) {
  const Bytes& file = compressedRecording(state.range(0) != 0);
  if (file.empty()) {
    state.SkipWithError("the corpus is absent: set QOLA_SHARED_DIR");
    return;
  }
  std::vector<std::int16_t> samples(2 * kReadFrames);
  for (auto _ : state) {
    Decoder decoder(Input::memory(file));  // a fresh decoder: no block decoded yet
    decoder.seek(decoder.frames() - kSecondsBeforeEnd * decoder.sampleRate());
    benchmark::DoNotOptimize(decoder.read(samples.data(), kReadFrames));
  }
}

BENCHMARK(BM_seekNearTheEnd)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qola
