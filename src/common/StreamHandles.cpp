// The public stream handles.
#include "common/StreamHandles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <new>

namespace {

template <typename Handle, typename... Args>
Handle* makeInput(Args&&... args) {
  auto* handle = new (std::nothrow) Handle;
  if (handle == nullptr) return nullptr;
  try {
    handle->stream = std::make_unique<qola::InputStream>(std::forward<Args>(args)...);
  } catch (const std::bad_alloc&) {
    delete handle;
    return nullptr;
  }
  return handle;
}

qola_output* makeOutput() { return new (std::nothrow) qola_output; }

mode_t currentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

}  // namespace

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
  qola_input* input = makeInput<qola_input>(file, true);
  if (input == nullptr) std::fclose(file);
  return input;
}

qola_input* qola_input_file(FILE* file, int take_ownership) {
  if (file == nullptr) return nullptr;
  return makeInput<qola_input>(file, take_ownership != 0);
}

qola_input* qola_input_memory(const void* data, size_t size) {
  if (data == nullptr && size != 0) return nullptr;
  return makeInput<qola_input>(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size));
}

qola_input* qola_input_callbacks(qola_read_fn read, qola_size_fn size, void* user) {
  if (read == nullptr) return nullptr;
  return makeInput<qola_input>(qola::ReadCallbacks{read, size, user});
}

void qola_input_free(qola_input* input) { delete input; }

qola_output* qola_output_create(const char* path) {
  if (path == nullptr) return nullptr;
  qola_output* output = makeOutput();
  if (output == nullptr) return nullptr;
  try {
    output->path = path;
    output->tempPath = output->path + ".tmp-XXXXXX";
    const int descriptor = mkstemp(output->tempPath.data());
    if (descriptor < 0) {
      output->tempPath.clear();
      delete output;
      return nullptr;
    }
    fchmod(descriptor, 0666 & ~currentUmask());  // mkstemp's 0600 is not what users expect
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
      close(descriptor);
      qola::discardOutput(*output);
      delete output;
      return nullptr;
    }
    output->stream = std::make_unique<qola::OutputStream>(file, true);
  } catch (const std::bad_alloc&) {
    qola::discardOutput(*output);
    delete output;
    return nullptr;
  }
  return output;
}

qola_output* qola_output_file(FILE* file, int take_ownership) {
  if (file == nullptr) return nullptr;
  qola_output* output = makeOutput();
  if (output == nullptr) return nullptr;
  try {
    output->stream = std::make_unique<qola::OutputStream>(file, take_ownership != 0);
  } catch (const std::bad_alloc&) {
    delete output;
    return nullptr;
  }
  return output;
}

qola_output* qola_output_memory(void) {
  qola_output* output = makeOutput();
  if (output == nullptr) return nullptr;
  output->isMemory = true;
  output->stream = std::unique_ptr<qola::OutputStream>(new (std::nothrow) qola::OutputStream(output->memory));
  if (output->stream == nullptr) {
    delete output;
    return nullptr;
  }
  return output;
}

qola_output* qola_output_callbacks(qola_write_fn write, void* user) {
  if (write == nullptr) return nullptr;
  qola_output* output = makeOutput();
  if (output == nullptr) return nullptr;
  try {
    output->stream = std::make_unique<qola::OutputStream>(qola::WriteCallbacks{write, user});
  } catch (const std::bad_alloc&) {
    delete output;
    return nullptr;
  }
  return output;
}

const uint8_t* qola_output_data(const qola_output* output, size_t* size) {
  if (size != nullptr) *size = 0;
  if (output == nullptr || !output->isMemory) return nullptr;
  if (size != nullptr) *size = output->memory.size();
  return output->memory.data();
}

void qola_output_free(qola_output* output) {
  if (output == nullptr) return;
  output->stream.reset();  // closes the file first
  qola::discardOutput(*output);
  delete output;
}

}  // extern "C"
