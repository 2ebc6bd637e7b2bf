#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace qola::test {
Bytes compressBytes(const CodecSettings& settings, std::span<const std::uint8_t> input,
                    RecordingSink* sink) {
  Bytes output;
  RecordingSink localSink;
  InputStream in(input);
  OutputStream out(output);
  compressFile(settings, in, out, sink != nullptr ? *sink : localSink);
  return output;
}

Bytes decompressBytes(std::span<const std::uint8_t> input, bool swapBytes, RecordingSink* sink) {
  Bytes output;
  RecordingSink localSink;
  CodecSettings settings;
  settings.mode = Mode::Decompress;
  settings.swapBytes = swapBytes;
  InputStream in(input);
  OutputStream out(output);
  decompressFile(settings, in, out, sink != nullptr ? *sink : localSink);
  return output;
}

Bytes readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::filesystem::path> sharedDir() {
  const char* overridden = std::getenv("QOLA_SHARED_DIR");
  const std::filesystem::path dir(overridden != nullptr ? overridden : QOLA_SHARED_DIR);
  std::error_code error;
  if (std::filesystem::is_directory(dir, error)) return std::filesystem::canonical(dir, error);
  return std::nullopt;
}

std::filesystem::path sourceDir() { return std::filesystem::path(QOLA_TEST_DATA_DIR).parent_path().parent_path(); }

Bytes pcm16(std::span<const std::int16_t> samples) {
  Bytes bytes;
  bytes.reserve(samples.size() * 2);
  for (std::int16_t sample : samples) {
    const auto value = static_cast<std::uint16_t>(sample);
    bytes.push_back(static_cast<std::uint8_t>(value & 0xff));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  return bytes;
}

Bytes wavHeader(int channels, int bitsPerSample, std::uint32_t dataBytes, std::uint32_t rate) {
  Bytes header(44, 0);
  auto text = [&](std::size_t at, const char* chars) {
    for (std::size_t i = 0; i < 4; ++i) header[at + i] = static_cast<std::uint8_t>(chars[i]);
  };
  auto u32 = [&](std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) header[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  auto u16 = [&](std::size_t at, std::uint32_t v) {
    header[at] = static_cast<std::uint8_t>(v);
    header[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  const auto blockAlign = static_cast<std::uint32_t>(channels * bitsPerSample / 8);
  text(0, "RIFF");
  u32(4, 36 + dataBytes);
  text(8, "WAVE");
  text(12, "fmt ");
  u32(16, 16);
  u16(20, 1);
  u16(22, static_cast<std::uint32_t>(channels));
  u32(24, rate);
  u32(28, rate * blockAlign);
  u16(32, blockAlign);
  u16(34, static_cast<std::uint32_t>(bitsPerSample));
  text(36, "data");
  u32(40, dataBytes);
  return header;
}

}  // namespace qola::test
