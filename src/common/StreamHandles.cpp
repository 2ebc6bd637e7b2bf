// The public stream handles.
#include "common/StreamHandles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <new>

namespace {

// Builds a handle and lets fill give it its stream; nullptr when fill fails
// or memory runs out, since a C caller cannot take an exception.
template <typename Handle, typename Fill>
Handle* makeHandle(Fill fill) {
  try {
    auto handle = std::make_unique<Handle>();
    return fill(*handle) ? handle.release() : nullptr;
  } catch (const std::bad_alloc&) {
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

mode_t currentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

}  // namespace

qola_output::~qola_output() {
  stream.reset();  // closes the file first
  qola::discardOutput(*this);
}

namespace qola {

bool commitOutput(qola_output& output) {
  if (output.tempPath.empty()) return true;
  if (std::rename(output.tempPath.c_str(), output.path.c_str()) != 0) return false;
  output.tempPath.clear();
  return true;
}

void discardOutput(qola_output& output) {
  if (output.tempPath.empty()) return;
  std::remove(output.tempPath.c_str());
  output.tempPath.clear();
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

qola_input* qola_input_callbacks(qola_read_fn read, qola_size_fn size, void* user) {
  if (read == nullptr) return nullptr;
  return makeInput(qola::ReadCallbacks{read, size, user});
}

void qola_input_free(qola_input* input) { delete input; }

qola_output* qola_output_create(const char* path) {
  if (path == nullptr) return nullptr;
  return makeHandle<qola_output>([&](qola_output& output) {
    output.path = path;
    output.tempPath = output.path + ".tmp-XXXXXX";
    const int descriptor = mkstemp(output.tempPath.data());
    if (descriptor < 0) {
      output.tempPath.clear();
      return false;
    }
    fchmod(descriptor, 0666 & ~currentUmask());  // mkstemp's 0600 is not what users expect
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
      close(descriptor);
      return false;
    }
    output.stream = std::make_unique<qola::OutputStream>(file, true);
    return true;
  });
}

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

}  // extern "C"
