#include "TestSupport.h"

#include "common/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace qola::test {

namespace {

// Runs one job of the codec into output; a fatal error propagates as JobError.
void runCodec(const CodecSettings& settings, std::span<const std::uint8_t> input, Bytes& output,
              RecordingSink* sink) {
  RecordingSink localSink;
  InputStream in(input);
  OutputStream out(output);
  (settings.mode == Mode::Decompress ? decompressFile : compressFile)(settings, in, out,
                                                                      sink != nullptr ? *sink : localSink);
}

}  // namespace

Bytes compressBytes(const CodecSettings& settings, std::span<const std::uint8_t> input, RecordingSink* sink) {
  Bytes output;
  runCodec(settings, input, output, sink);
  return output;
}

RestoreOutcome restoreOutcome(std::span<const std::uint8_t> file, int threads, bool swapBytesFromTrailer) {
  RestoreOutcome r;
  try {
    runCodec({.mode = Mode::Decompress, .swapBytesFromTrailer = swapBytesFromTrailer, .threads = threads}, file,
             r.output, nullptr);
  } catch (const JobError& error) {
    r.status = error.status;
    r.message = error.message;
  }
  return r;
}

Bytes decompressBytes(std::span<const std::uint8_t> input, bool swapBytes, RecordingSink* sink, int threads) {
  Bytes output;
  runCodec({.mode = Mode::Decompress, .swapBytes = swapBytes, .threads = threads}, input, output, sink);
  return output;
}

Bytes roundTrip(const CodecSettings& settings, std::span<const std::uint8_t> input) {
  Bytes compressed, restored;
  const auto error = fatalMessageOf([&] {
    compressed = compressBytes(settings, input);
    restored = decompressBytes(compressed, settings.swapBytes, nullptr, settings.threads);
  });
  EXPECT_FALSE(error) << *error;
  EXPECT_TRUE(std::ranges::equal(restored, input)) << "the restored bytes differ from the input";
  return compressed;
}

Input ScriptedReader::input(Kind kind) {
  const auto read = [](void* user, void* buffer, std::size_t count) -> std::ptrdiff_t {
    auto& self = *static_cast<ScriptedReader*>(user);
    if (self.position >= self.failAt) return -1;
    const std::size_t n =
        std::min({count, self.step, self.bytes.size() - self.position, self.failAt - self.position});
    std::copy_n(self.bytes.begin() + static_cast<std::ptrdiff_t>(self.position), n,
                static_cast<std::uint8_t*>(buffer));
    self.position += n;
    return static_cast<std::ptrdiff_t>(n);
  };
  const auto size = [](void* user) -> std::int64_t {
    return static_cast<std::int64_t>(static_cast<ScriptedReader*>(user)->bytes.size());
  };
  const auto seek = [](void* user, std::int64_t offset) -> int {
    auto& self = *static_cast<ScriptedReader*>(user);
    if (offset < 0 || offset > static_cast<std::int64_t>(self.bytes.size())) return -1;
    self.position = static_cast<std::size_t>(offset);
    return 0;
  };
  if (kind == Seekable) return Input::callbacks(read, size, seek, this);
  return Input::callbacks(read, kind == Sized ? +size : nullptr, this);
}

JobRun runJob(bool compress, std::span<const std::uint8_t> input, const Settings& settings, bool pipe) {
  ScriptedReader pipeReader{input, 999};
  Input in = pipe ? pipeReader.input(ScriptedReader::Pipe) : Input::memory(input);
  return runJob(compress, in, settings);
}

JobRun runJob(bool compress, Input& in, const Settings& settings) {
  Output out = Output::memory();
  Job job(settings);
  JobRun run;
  try {
    run.result = compress ? job.compress(in, out) : job.decompress(in, out);
  } catch (const Error& error) {
    run.status = error.status();
    run.message = error.what();
    run.programMessage = error.programMessage();
    run.result = job.result();
  }
  run.output.assign(out.data().begin(), out.data().end());
  return run;
}

Bytes readFrames(Decoder& decoder, std::size_t count) {
  const auto channels = static_cast<std::size_t>(decoder.channels());
  if (decoder.sampleBits() == 8) {
    Bytes got(count * channels);
    got.resize(decoder.read(got.data(), count) * channels);
    return got;
  }
  std::vector<std::int16_t> got(count * channels);
  got.resize(decoder.read(got.data(), count) * channels);
  return pcm16(got);
}

Bytes readToTheEnd(Decoder& decoder, std::size_t count) {
  Bytes all;
  for (Bytes chunk; !(chunk = readFrames(decoder, count)).empty();)
    all.insert(all.end(), chunk.begin(), chunk.end());
  return all;
}

Bytes readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::map<std::string, std::string> folderSnapshot(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const fs::file_status status = entry.symlink_status();
    std::string what = "other";
    if (fs::is_symlink(status))
      what = "link to " + fs::read_symlink(entry.path()).string();
    else if (fs::is_regular_file(status))
      what = sha256Hex(readFile(entry.path()));
    else if (fs::is_fifo(status))
      what = "fifo";
    else if (fs::is_character_file(status) || fs::is_block_file(status))
      what = "device";
    entries[entry.path().filename().string()] = what;
  }
  return entries;
}

std::optional<std::filesystem::path> sharedDir() {
  const char* overridden = std::getenv("QOLA_SHARED_DIR");
  const std::filesystem::path dir(overridden != nullptr ? overridden : QOLA_SHARED_DIR);
  std::error_code error;
  if (std::filesystem::is_directory(dir, error)) return std::filesystem::canonical(dir, error);
  return std::nullopt;
}

Bytes pcm16(std::span<const std::int16_t> samples) {
  Bytes bytes;
  for (std::int16_t sample : samples) {
    const auto value = static_cast<std::uint16_t>(sample);
    bytes.insert(bytes.end(), {static_cast<std::uint8_t>(value & 0xff), static_cast<std::uint8_t>(value >> 8)});
  }
  return bytes;
}

Bytes wavHeader(int channels, int bitsPerSample, std::uint32_t dataBytes) {
  const std::string text = "RIFF....WAVEfmt ....................data....";
  Bytes header(text.begin(), text.end());
  auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) header[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  const auto blockAlign = static_cast<std::uint32_t>(channels * bitsPerSample / 8);
  put(4, 36 + dataBytes, 4), put(16, 16, 4), put(20, 1, 2), put(22, static_cast<std::uint32_t>(channels), 2);
  put(24, 44100, 4), put(28, 44100 * blockAlign, 4), put(32, blockAlign, 2);
  put(34, static_cast<std::uint32_t>(bitsPerSample), 2), put(40, dataBytes, 4);
  return header;
}

Bytes testWav(std::size_t frames, double noise) {
  std::vector<std::int16_t> samples(2 * frames);
  std::uint32_t state = 1;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    state = state * 1103515245u + 12345u;
    samples[i] = static_cast<std::int16_t>(8000 * std::sin(static_cast<double>(i / 2) * 0.02) +
                                           noise * static_cast<double>(state >> 24) / 255.0);
  }
  Bytes wav = wavHeader(2, 16, static_cast<std::uint32_t>(samples.size() * 2));
  const Bytes pcm = pcm16(samples);
  wav.insert(wav.end(), pcm.begin(), pcm.end());
  return wav;
}

Bytes noiseBytes(std::size_t count, std::uint32_t seed) {
  Bytes bytes(count);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  return bytes;
}

Bytes musicPcm(int frames, int channels) {
  std::vector<std::int16_t> samples;
  for (int t = 0; t < frames; ++t) {
    for (int c = 0; c < channels; ++c) {
      samples.push_back(static_cast<std::int16_t>(6000 * std::sin(t * (0.031 + 0.007 * c)) +
                                                  900 * std::sin(t * 0.9) + (t * 7919 + c * 13) % 41 - 20));
    }
  }
  return pcm16(samples);
}

}  // namespace qola::test
