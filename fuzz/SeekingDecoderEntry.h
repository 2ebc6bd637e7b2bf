// Feeds arbitrary bytes to the seeking decoder through the public interface:
// the first four bytes choose a plan of seeks and reads, the rest is the
// file. Shared by the libFuzzer target and the test that replays its corpus.
// A refusal is fine; what the decoder gives must keep the promises of its
// header and agree with one forward read of the same file.
#pragma once

#include <qola/qola.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qola::fuzz {

// Frames compared at most: a tiny hostile file may announce billions.
inline constexpr std::int64_t kSeekingFrameLimit = 1 << 16;
inline constexpr int kSeekingSteps = 24;
inline constexpr std::size_t kSeekingPlanBytes = 4;

namespace detail {

struct Opened {
  qola_input* input = nullptr;
  qola_decoder* decoder = nullptr;
  int channels = 0, bits = 0, rate = 0;
  std::int64_t frames = 0;
  Opened(const std::uint8_t* data, std::size_t size)
      : input(qola_input_memory(data, size)), decoder(qola_decoder_open(input)) {
    qola_decoder_format(decoder, &channels, &bits, &frames, &rate);
  }
  ~Opened() {
    qola_decoder_free(decoder);
    qola_input_free(input);
  }
  Opened(const Opened&) = delete;
  Opened& operator=(const Opened&) = delete;
};

}  // namespace detail

// Empty when every promise holds, else the first broken one.
inline std::string runSeekingDecoder(const std::uint8_t* data, std::size_t size) {
  if (size < kSeekingPlanBytes) return "";
  std::uint32_t plan = 0;
  for (std::size_t i = 0; i < kSeekingPlanBytes; ++i) plan = (plan << 8) | data[i];
  data += kSeekingPlanBytes;
  size -= kSeekingPlanBytes;

  detail::Opened reference(data, size);
  if (reference.decoder == nullptr) return "no decoder for an input";
  if (qola_decoder_status(reference.decoder) != QOLA_OK) {
    return qola_decoder_message(reference.decoder)[0] != '\0' ? "" : "a failed open without a message";
  }
  const bool layout = (reference.channels == 1 || reference.channels == 2) &&
                      (reference.bits == 8 || reference.bits == 16) && reference.frames >= 0 && reference.rate >= 0;
  if (!layout) return "a layout out of range";
  const std::size_t frameBytes = static_cast<std::size_t>(reference.channels * reference.bits / 8);
  // The frames one forward read gives, up to the limit or the first damage.
  const std::int64_t limit = std::min(reference.frames, kSeekingFrameLimit);
  std::vector<std::uint8_t> forward(static_cast<std::size_t>(limit) * frameBytes);
  std::size_t known = 0;
  qola_decoder_read(reference.decoder, forward.data(), static_cast<std::size_t>(limit), &known);

  detail::Opened seeking(data, size);
  std::vector<std::uint8_t> buffer;
  for (int step = 0; step < kSeekingSteps; ++step) {
    plan = plan * 1664525u + 1013904223u;  // the plan's next step
    const std::int64_t position = static_cast<std::int64_t>(plan >> 8) % (limit + 2) - (plan & 1);
    const auto count = static_cast<std::size_t>((plan >> 3) % 9000);
    const qola_status seek = qola_decoder_seek(seeking.decoder, position);
    if ((position < 0 || position > reference.frames) != (seek == QOLA_ERROR_ARGUMENT)) {
      return "a seek's answer does not match its position";
    }
    if (seek != QOLA_OK) continue;
    buffer.assign(count * frameBytes + 1, 0xA5);
    std::size_t got = 0;
    const qola_status read = qola_decoder_read(seeking.decoder, buffer.data(), count, &got);
    if (buffer.back() != 0xA5) return "a read wrote past its frames";
    const auto left = static_cast<std::size_t>(reference.frames - position);
    if (got > std::min(count, left)) return "a read gave more frames than asked or left";
    if (read == QOLA_OK && got != std::min(count, left)) return "a read gave fewer frames without failing";
    if (read != QOLA_OK && qola_decoder_message(seeking.decoder)[0] == '\0') return "a failed read without a message";
    if (qola_decoder_tell(seeking.decoder) != position + static_cast<std::int64_t>(got)) return "tell is wrong";
    // Where the forward read went, a seek must give the same frames.
    const auto from = static_cast<std::size_t>(position);
    const std::size_t overlap = from < known ? std::min(got, known - from) : 0;
    if (!std::equal(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(overlap * frameBytes),
                    forward.begin() + static_cast<std::ptrdiff_t>(from * frameBytes))) {
      return "frames after a seek differ from a forward read";
    }
  }
  return "";
}

}  // namespace qola::fuzz
