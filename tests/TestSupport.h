// Shared helpers of the unit tests.
#pragma once

#include <qola/qola.hpp>

#include "codec/Jobs.h"
#include "common/CpuPath.h"
#include "common/Fatal.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace qola::test {

using Bytes = std::vector<std::uint8_t>;

// Records every progress value and report of a job.
struct RecordingSink : ProgressSink {
  std::vector<int> progress;
  std::vector<std::string> reports;
  void setProgress(int percent) override { progress.push_back(percent); }
  void showReport(const std::string& text, const std::string&) override { reports.push_back(text); }
};

// Runs a job of the codec in memory; a fatal error propagates as JobError.
Bytes compressBytes(const CodecSettings& settings, std::span<const std::uint8_t> input,
                    RecordingSink* sink = nullptr);
Bytes decompressBytes(std::span<const std::uint8_t> input, bool swapBytes = false, RecordingSink* sink = nullptr,
                      int threads = 0);
// Compresses, expects the file to restore to the input exactly on as many
// threads, and returns the file.
Bytes roundTrip(const CodecSettings& settings, std::span<const std::uint8_t> input);

// A whole-file restore in memory with its failure kept rather than thrown:
// status and message stay empty when the file restored.
struct RestoreOutcome {
  std::optional<Failure> status;
  std::string message;
  Bytes output;
};
RestoreOutcome restoreOutcome(std::span<const std::uint8_t> file, int threads, bool swapBytesFromTrailer = false);

// Runs a callable with fatal errors caught; returns the message (or the text
// the programs show for the error, cause and wording), or nullopt if none occurred.
template <typename Function>
std::optional<std::string> fatalMessageOf(Function&& function, bool asProgramsShowIt = false) {
  try {
    std::forward<Function>(function)();
  } catch (const JobError& caught) {
    return asProgramsShowIt ? programText(caught) : caught.message;
  }
  return std::nullopt;
}

// A callback input over bytes: at most `step` bytes a read, a read error
// from byte failAt on; input() gives it without a size (a pipe), with one,
// or seekable as well.
struct ScriptedReader {
  enum Kind { Pipe, Sized, Seekable };
  std::span<const std::uint8_t> bytes;
  std::size_t step = 1;
  std::size_t failAt = SIZE_MAX;
  std::size_t position = 0;

  Input input(Kind kind);
};

// A job through the public interface, its error caught. From a pipe, the
// input has no size and arrives in short reads.
struct JobRun {
  qola_status status = QOLA_OK;
  std::string message;
  std::string programMessage;  // as the programs show it
  qola_result result{};
  Bytes output;
};
JobRun runJob(bool compress, std::span<const std::uint8_t> input, const Settings& settings = Settings(),
              bool pipe = false);
JobRun runJob(bool compress, Input& input, const Settings& settings = Settings());

// Up to count frames read through the decoder, as the file's bytes (16-bit
// values little-endian); and every frame left, read count frames at a time.
Bytes readFrames(Decoder& decoder, std::size_t count);
Bytes readToTheEnd(Decoder& decoder, std::size_t count);

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Every entry of a folder by name: a file's SHA-256, a link's target, or
// "fifo", "device" or "other"; for checking what a job left on disk.
std::map<std::string, std::string> folderSnapshot(const std::filesystem::path& folder);

// The team's shared folder (corpus, vectors), or nullopt when it is absent.
// The environment variable QOLA_SHARED_DIR overrides where it is looked for.
std::optional<std::filesystem::path> sharedDir();

// Little-endian 16-bit PCM bytes of the given samples.
Bytes pcm16(std::span<const std::int16_t> samples);

// A 44-byte canonical RIFF/WAVE header for the given layout and data size.
Bytes wavHeader(int channels, int bitsPerSample, std::uint32_t dataBytes);

// A stereo 16-bit WAV of the given frames: a sine with a little noise.
Bytes testWav(std::size_t frames, double noise = 3);

// Bytes spread over their whole range in no order (what 24-bit data read as
// 8-bit samples looks like).
Bytes noiseBytes(std::size_t count, std::uint32_t seed = 12345);

// Tonal 16-bit PCM with a little noise, each channel its own, interleaved.
Bytes musicPcm(int frames, int channels);

// The kernel builds this processor can run: Baseline, and AVX2 where it has it.
inline std::vector<CpuPath> runnableCpuPaths() {
  if (cpuHasAvx2()) return {CpuPath::Baseline, CpuPath::Avx2};
  return {CpuPath::Baseline};
}

}  // namespace qola::test
