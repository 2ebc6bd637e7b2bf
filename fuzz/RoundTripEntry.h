// Compresses arbitrary bytes with settings taken from the first three bytes,
// optionally behind a synthesised RIFF/WAVE header of 0..3 channels and odd
// widths, and restores them. Shared by the libFuzzer target and the test
// that replays its corpus. Compression never refuses such an input, and the
// restore gives back every byte (with the trailer) or every whole frame.
#pragma once

#include <qola/qola.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qola::fuzz {

inline void storeLittle(std::uint8_t* at, std::uint32_t value, int count) {
  for (int i = 0; i < count; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A 44-byte RIFF/WAVE header; channels and widths need not be ones we code.
inline std::vector<std::uint8_t> waveHeader(int channels, int bits, std::uint32_t dataBytes) {
  std::vector<std::uint8_t> h(44, 0);
  const std::uint32_t align = static_cast<std::uint32_t>(channels * ((bits + 7) / 8));
  std::memcpy(&h[0], "RIFF", 4);
  storeLittle(&h[4], 36 + dataBytes, 4);
  std::memcpy(&h[8], "WAVEfmt ", 8);
  storeLittle(&h[16], 16, 4);
  storeLittle(&h[20], 1, 2);
  storeLittle(&h[22], static_cast<std::uint32_t>(channels), 2);
  storeLittle(&h[24], 44100, 4);
  storeLittle(&h[28], 44100 * align, 4);
  storeLittle(&h[32], align, 2);
  storeLittle(&h[34], static_cast<std::uint32_t>(bits), 2);
  std::memcpy(&h[36], "data", 4);
  storeLittle(&h[40], dataBytes, 4);
  return h;
}

struct RoundTripCase {
  qola_settings settings{};
  std::vector<std::uint8_t> input;
};

inline RoundTripCase roundTripCase(const std::uint8_t* data, std::size_t size) {
  RoundTripCase c;
  qola_default_settings(&c.settings);
  const std::uint8_t a = size > 0 ? data[0] : 0, b = size > 1 ? data[1] : 0, w = size > 2 ? data[2] : 0;
  qola_settings& s = c.settings;
  s.channels = 1 + (a & 1);
  s.sample_bits = (a & 2) != 0 ? 16 : 8;
  const int blockIndex = (a >> 2) & 7;
  s.block_length = blockIndex < 6 ? 128 << blockIndex : 0;  // 0: the encoder chooses
  s.adaptation = s.block_length != 0 && s.block_length < 512 ? QOLA_ADAPTATION_NONE : static_cast<qola_adaptation>(1 + ((a >> 5) & 3) % 3);
  s.wav_evaluation = (a & 0x80) != 0;
  s.joint_stereo = b & 1;
  s.swap_bytes = (b >> 1) & 1;
  s.encoder_mode = static_cast<qola_encoder_mode>((b >> 2) & 3);
  s.trailer = (b >> 4) & 1;
  s.threads = 1 + ((w >> 7) & 1);
  const std::size_t skip = size < 3 ? size : 3;
  const std::vector<std::uint8_t> payload(data + skip, data + size);
  if ((b & 0x20) != 0) {
    static constexpr int kWidths[] = {8, 16, 24, 12, 0, 32};
    c.input = waveHeader((b >> 6) & 3, kWidths[(w & 0x7f) % 6], static_cast<std::uint32_t>(payload.size()));
  }
  c.input.insert(c.input.end(), payload.begin(), payload.end());
  return c;
}

// Empty when the round trip holds; otherwise what went wrong.
inline std::string runRoundTrip(const std::uint8_t* data, std::size_t size) {
  const RoundTripCase c = roundTripCase(data, size);
  qola_job* job = qola_job_create(&c.settings);
  std::string fault;
  qola_input* input = qola_input_memory(c.input.data(), c.input.size());
  qola_output* compressed = qola_output_memory();
  qola_output* restored = qola_output_memory();
  if (qola_compress(job, input, compressed) != QOLA_OK) {
    fault = std::string("compression refused: ") + qola_job_message(job);
  } else {
    std::size_t packedSize = 0;
    const std::uint8_t* packed = qola_output_data(compressed, &packedSize);
    qola_input* again = qola_input_memory(packed, packedSize);
    if (qola_decompress(job, again, restored) != QOLA_OK) {
      fault = std::string("restore refused: ") + qola_job_message(job);
    } else {
      std::size_t backSize = 0;
      const std::uint8_t* back = qola_output_data(restored, &backSize);
      const bool prefix = backSize <= c.input.size() && std::equal(back, back + backSize, c.input.begin());
      if (!prefix) fault = "the restored bytes differ from the input";
      else if (c.settings.trailer != 0 && backSize != c.input.size()) fault = "bytes lost despite the trailer";
      else if (c.input.size() - backSize >= 4) fault = "more than a partial frame lost";
    }
    qola_input_free(again);
  }
  qola_output_free(restored);
  qola_output_free(compressed);
  qola_input_free(input);
  qola_job_free(job);
  return fault;
}

}  // namespace qola::fuzz
