// The public decoder: a FrameDecoder behind a handle. Every error of a call
// ends here as the handle's status and message.
#include <qola/qola.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "api/PublicStatus.h"
#include "api/StreamHandles.h"
#include "codec/FrameDecoder.h"
#include "codec/Probe.h"
#include "common/ByteOrder.h"
#include "common/Fatal.h"
#include "pcm/PcmIo.h"

struct qola_decoder {
  qola_input* input = nullptr;  // borrowed
  std::unique_ptr<qola::FrameDecoder> decoder;
  qola_status status = QOLA_OK;
  std::string message;
};

namespace {

constexpr const char* kNoMemory = "error in memory allocation";

void fail(qola_decoder& handle, qola_status status, const char* message) {
  handle.status = status;
  try {
    handle.message = message;
  } catch (const std::bad_alloc&) {
    handle.message.clear();
  }
}

// Runs one call's work; a failed open makes every later call fail alike.
template <typename Work>
qola_status call(qola_decoder* handle, Work work) {
  if (handle == nullptr) return QOLA_ERROR_ARGUMENT;
  if (!handle->decoder) return handle->status;
  handle->status = QOLA_OK;
  handle->message.clear();
  try {
    work(*handle->decoder);
  } catch (const qola::JobError& error) {
    fail(*handle, qola::publicStatus(error.status), error.message.c_str());
  } catch (const std::bad_alloc&) {
    fail(*handle, QOLA_ERROR_JOB, kNoMemory);
  }
  return handle->status;
}

// The leading bytes of the original file: the stored header, then the first
// samples as the file held them.
std::vector<std::uint8_t> fileStart(qola::FrameDecoder& frames, std::size_t sampleBytes) {
  const qola::DecoderFacts& facts = frames.facts();
  const auto frameBytes = static_cast<std::size_t>(facts.channels * facts.sampleBits / 8);
  const auto count = static_cast<std::size_t>(std::min<std::int64_t>(facts.frames, sampleBytes / frameBytes));
  std::vector<std::uint8_t> samples(count * frameBytes);
  std::size_t done = 0;
  frames.seek(0);
  frames.read(samples.data(), count, done);
  std::vector<std::uint8_t> bytes = facts.wavHeader;
  if (facts.sampleBits == 8) {
    bytes.insert(bytes.end(), samples.begin(), samples.end());
    return bytes;
  }
  for (std::size_t i = 0; i < samples.size(); i += 2) {
    std::uint16_t value;
    std::memcpy(&value, samples.data() + i, 2);
    std::uint8_t stored[2];
    if (facts.swapBytes) {
      qola::storeBig16(stored, value);
    } else {
      qola::storeLittle16(stored, value);
    }
    bytes.insert(bytes.end(), stored, stored + 2);
  }
  return bytes;
}

void audioFrames(qola::FrameDecoder& frames, std::int64_t& first, std::int64_t& count) {
  constexpr std::size_t kLookAhead = 64 * 1024;  // room for the chunks a recorder puts before the data
  const qola::DecoderFacts& facts = frames.facts();
  first = 0;
  count = facts.frames;
  if (facts.wavHeader.empty() || !frames.canGoBack()) return;
  const std::int64_t resume = frames.position();
  const std::vector<std::uint8_t> start = fileStart(frames, kLookAhead);
  frames.seek(resume);
  const std::optional<qola::WavDataChunk> chunk = qola::findWavDataChunk(start);
  const std::uint64_t header = facts.wavHeader.size();
  const auto frameBytes = static_cast<std::uint64_t>(facts.channels * facts.sampleBits / 8);
  if (!chunk || chunk->offset < header || (chunk->offset - header) % frameBytes != 0) return;
  const auto skipped = static_cast<std::int64_t>((chunk->offset - header) / frameBytes);
  if (skipped > facts.frames) return;
  constexpr std::uint32_t kSizeUnknown = 0xffffffffu;  // a stream's writer could not go back to fill it in
  const std::int64_t held = facts.frames - skipped;
  first = skipped;
  count = chunk->size == kSizeUnknown ? held : std::min(held, static_cast<std::int64_t>(chunk->size / frameBytes));
}

}  // namespace

extern "C" {

qola_decoder* qola_decoder_open(qola_input* input) {
  if (input == nullptr) return nullptr;
  std::unique_ptr<qola_decoder> handle(new (std::nothrow) qola_decoder);
  if (!handle) return nullptr;
  handle->input = input;
  if (!input->stream->isOpen()) {
    fail(*handle, QOLA_ERROR_ARGUMENT, "A stream is missing or already used");
    return handle.release();
  }
  try {
    handle->decoder = std::make_unique<qola::FrameDecoder>(*input->stream);
  } catch (const qola::JobError& error) {
    fail(*handle, qola::publicStatus(error.status), error.message.c_str());
  } catch (const std::bad_alloc&) {
    fail(*handle, QOLA_ERROR_JOB, kNoMemory);
  }
  return handle.release();
}

void qola_decoder_free(qola_decoder* decoder) { delete decoder; }

qola_status qola_decoder_status(const qola_decoder* decoder) {
  return decoder != nullptr ? decoder->status : QOLA_ERROR_ARGUMENT;
}

const char* qola_decoder_message(const qola_decoder* decoder) {
  return decoder != nullptr ? decoder->message.c_str() : "";
}

qola_status qola_decoder_format(const qola_decoder* decoder, int* channels, int* sample_bits, int64_t* frames,
                                int* sample_rate) {
  if (decoder == nullptr) return QOLA_ERROR_ARGUMENT;
  if (!decoder->decoder) return decoder->status;
  const qola::DecoderFacts& facts = decoder->decoder->facts();
  if (channels != nullptr) *channels = facts.channels;
  if (sample_bits != nullptr) *sample_bits = facts.sampleBits;
  if (frames != nullptr) *frames = facts.frames;
  if (sample_rate != nullptr) *sample_rate = facts.sampleRate;
  return QOLA_OK;
}

qola_status qola_decoder_info(const qola_decoder* decoder, qola_info* info) {
  if (decoder == nullptr) return QOLA_ERROR_ARGUMENT;
  if (!decoder->decoder) return decoder->status;
  return qola::copyInfo(decoder->decoder->facts().info, info) ? QOLA_OK : QOLA_ERROR_ARGUMENT;
}

qola_status qola_decoder_seek(qola_decoder* decoder, int64_t frame) {
  return call(decoder, [&](qola::FrameDecoder& frames) { frames.seek(frame); });
}

int64_t qola_decoder_tell(const qola_decoder* decoder) {
  return decoder != nullptr && decoder->decoder ? decoder->decoder->position() : 0;
}

qola_status qola_decoder_audio_frames(qola_decoder* decoder, int64_t* first, int64_t* count) {
  std::int64_t from = 0, frames = 0;
  const qola_status status =
      call(decoder, [&](qola::FrameDecoder& frameDecoder) { audioFrames(frameDecoder, from, frames); });
  if (status == QOLA_OK) {
    if (first != nullptr) *first = from;
    if (count != nullptr) *count = frames;
  }
  return status;
}

qola_status qola_decoder_read(qola_decoder* decoder, void* buffer, size_t frames, size_t* read) {
  size_t done = 0;
  const qola_status status = call(decoder, [&](qola::FrameDecoder& frameDecoder) {
    if (buffer == nullptr && frames > 0) throw qola::JobError{qola::Failure::Argument, "The buffer is missing", 1};
    frameDecoder.read(buffer, frames, done);
  });
  if (read != nullptr) *read = done;
  return status;
}

}  // extern "C"
