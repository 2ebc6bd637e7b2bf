// Shared helpers of the unit tests.
#pragma once

#include "codec/Jobs.h"
#include "common/Fatal.h"

#include <cstdint>
#include <filesystem>
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
  std::vector<std::pair<std::string, std::string>> reports;  // (text, title)
  void setProgress(int percent) override { progress.push_back(percent); }
  void showReport(const std::string& text, const std::string& title) override {
    reports.emplace_back(text, title);
  }
};

// What a fatal error said: every job error is a JobError.
using FatalCaught = JobError;

// Runs a job in memory. The report (text of the "Ready" box) goes to *report when given.
Bytes compressBytes(const CodecSettings& settings, std::span<const std::uint8_t> input,
                    RecordingSink* sink = nullptr);
Bytes decompressBytes(std::span<const std::uint8_t> input, bool swapBytes = false,
                      RecordingSink* sink = nullptr);

// Runs a callable with fatal errors caught; returns the message, or nullopt if none occurred.
template <typename Function>
std::optional<std::string> fatalMessageOf(Function&& function) {
  try {
    std::forward<Function>(function)();
  } catch (const FatalCaught& caught) {
    return caught.message;
  }
  return std::nullopt;
}

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// The team's shared folder (corpus, vectors), or nullopt when it is absent.
// The environment variable QOLA_SHARED_DIR overrides where it is looked for.
std::optional<std::filesystem::path> sharedDir();

// The root of the source tree (for samples/demo.wav).
std::filesystem::path sourceDir();

// Little-endian 16-bit PCM bytes of the given samples.
Bytes pcm16(std::span<const std::int16_t> samples);

// A 44-byte canonical RIFF/WAVE header for the given layout and data size.
Bytes wavHeader(int channels, int bitsPerSample, std::uint32_t dataBytes, std::uint32_t rate = 44100);

}  // namespace qola::test
