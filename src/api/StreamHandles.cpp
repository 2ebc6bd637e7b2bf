// The public stream handles.
#include "api/StreamHandles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <new>

namespace {

// Builds a handle and lets fill give it its stream; nullptr when fill fails
// or memory runs out, since a C caller cannot take an exception.
template <typename Handle, typename Fill>
Handle* makeHandle(Fill fill) {
  try {
    auto handle = std::make_unique<Handle>();
    if (fill(*handle)) return handle.release();
    const int cause = errno;  // tells the caller why, whatever freeing the handle does
    handle.reset();
    errno = cause;
    return nullptr;
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return nullptr;
  }
}

template <typename... Args>
qola_input* makeInput(Args&&... args) {
  return makeHandle<qola_input>([&](qola_input& input) {
    input.stream = std::make_unique<qola::InputStream>(std::forward<Args>(args)...);
    return true;
  });
}

}  // namespace

qola_output::~qola_output() {
  stream.reset();  // flushes and closes the job's descriptor first
  file.reset();
}

namespace qola {

bool commitOutput(qola_output& output) {
  return output.file == nullptr || output.held || output.file->commit();
}

void discardOutput(qola_output& output) {
  if (output.file != nullptr && !output.held) output.file.reset();
}

}  // namespace qola

extern "C" {

qola_input* qola_input_open(const char* path) {
  if (path == nullptr) return nullptr;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  qola_input* input = makeInput(file, true);
  if (input == nullptr) std::fclose(file);
  return input;
}

qola_input* qola_input_file(FILE* file, int take_ownership) {
  if (file == nullptr) return nullptr;
  return makeInput(file, take_ownership != 0);
}

qola_input* qola_input_memory(const void* data, size_t size) {
  if (data == nullptr && size != 0) return nullptr;
  return makeInput(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size));
}

qola_input* qola_input_samples(const void* samples, size_t frames, int channels, int bits) {
  if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16)) return nullptr;
  const std::size_t frameBytes = static_cast<std::size_t>(channels) * static_cast<std::size_t>(bits / 8);
  if (frames > SIZE_MAX / frameBytes || (samples == nullptr && frames != 0)) return nullptr;
  qola_input* input = qola_input_memory(samples, frames * frameBytes);
  if (input != nullptr) {
    input->sampleChannels = channels;
    input->sampleBits = bits;
    input->samples = std::span(static_cast<const std::uint8_t*>(samples), frames * frameBytes);
  }
  return input;
}

qola_input* qola_input_callbacks(qola_read_fn read, qola_size_fn size, void* user) {
  if (read == nullptr) return nullptr;
  return makeInput(qola::ReadCallbacks{read, size, user});
}

qola_input* qola_input_seekable_callbacks(qola_read_fn read, qola_size_fn size, qola_seek_fn seek, void* user) {
  if (read == nullptr || seek == nullptr) return nullptr;
  return makeInput(qola::ReadCallbacks{read, size, user, seek});
}

void qola_input_free(qola_input* input) { delete input; }

qola_output* qola_output_create(const char* path) { return qola_output_open(path, 0); }

int qola_scratch_file(void) { return qola::unnamedScratchFile().release(); }

qola_output* qola_output_file(FILE* file, int take_ownership) {
  if (file == nullptr) return nullptr;
  return makeHandle<qola_output>([&](qola_output& output) {
    output.stream = std::make_unique<qola::OutputStream>(file, take_ownership != 0);
    return true;
  });
}

qola_output* qola_output_memory(void) {
  return makeHandle<qola_output>([](qola_output& output) {
    output.isMemory = true;
    output.stream = std::make_unique<qola::OutputStream>(output.memory);
    return true;
  });
}

qola_output* qola_output_callbacks(qola_write_fn write, void* user) {
  if (write == nullptr) return nullptr;
  return makeHandle<qola_output>([&](qola_output& output) {
    output.stream = std::make_unique<qola::OutputStream>(qola::WriteCallbacks{write, user});
    return true;
  });
}

const uint8_t* qola_output_data(const qola_output* output, size_t* size) {
  if (size != nullptr) *size = 0;
  if (output == nullptr || !output->isMemory) return nullptr;
  if (size != nullptr) *size = output->memory.size();
  return output->memory.data();
}

void qola_output_free(qola_output* output) { delete output; }

qola_output* qola_output_open(const char* path, int flags) {
  constexpr int kKnownFlags =
      QOLA_OUTPUT_REPLACE | QOLA_OUTPUT_HOLD | QOLA_OUTPUT_SYNC | QOLA_OUTPUT_FILE_ONLY | QOLA_OUTPUT_HOLD_DEVICE;
  if (path == nullptr || (flags & ~kKnownFlags) != 0) {
    errno = EINVAL;
    return nullptr;
  }
  const bool hold = (flags & QOLA_OUTPUT_HOLD) != 0;
  const qola::OutputRules rules{(flags & QOLA_OUTPUT_REPLACE) != 0, hold && (flags & QOLA_OUTPUT_HOLD_DEVICE) != 0,
                                (flags & QOLA_OUTPUT_SYNC) != 0, (flags & QOLA_OUTPUT_FILE_ONLY) != 0};
  return makeHandle<qola_output>([&](qola_output& output) {
    output.file = qola::OutputFile::open(path, rules);
    if (output.file == nullptr) return false;
    output.held = hold;
    // The job's stream closes its own descriptor; an unnamed file lives on in the handle's.
    const int descriptor = fcntl(output.file->writeDescriptor(), F_DUPFD_CLOEXEC, 0);
    std::FILE* file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (file == nullptr) {
      const int cause = errno;
      if (descriptor >= 0) close(descriptor);
      errno = cause;
      return false;
    }
    output.stream = std::make_unique<qola::OutputStream>(file, true);
    return true;
  });
}

int qola_output_commit(qola_output* output) {
  if (output == nullptr) {
    errno = EINVAL;
    return -1;
  }
  if (output->stream != nullptr) output->stream->close();  // no job wrote through it: nothing to flush
  return output->file == nullptr || output->file->commit() ? 0 : -1;
}

int qola_output_descriptor(const qola_output* output) {
  return output != nullptr && output->file != nullptr ? output->file->readDescriptor() : -1;
}

int qola_output_is_regular(const qola_output* output) {
  return output != nullptr && output->file != nullptr && output->file->regular() ? 1 : 0;
}

}  // extern "C"
