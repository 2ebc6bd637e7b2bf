#include "common/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/Checksums.h"
#include "common/Fatal.h"

namespace qola {
namespace {

constexpr std::size_t kBufferSize = 1 << 16;
constexpr std::size_t kInputBufferSize = kBufferSize + InputStream::kMaxStepBack;

}  // namespace

InputStream::InputStream(std::FILE* file, bool owned)
    : file_(file),
      owned_(owned),
      buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(kInputBufferSize)),
      data_(buffer_.get()) {}

InputStream::InputStream(ReadCallbacks callbacks)
    : callbacks_(callbacks),
      buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(kInputBufferSize)),
      data_(buffer_.get()) {}

InputStream::InputStream(std::span<const std::uint8_t> memory)
    : data_(memory.data()), length_(memory.size()), memory_(true) {}

InputStream::~InputStream() { close(); }

std::size_t InputStream::fetch(std::uint8_t* destination, std::size_t count) {
  if (file_ != nullptr) {
    errno = 0;
    const std::size_t got = std::fread(destination, 1, count, file_);
    if (got < count && std::ferror(file_)) failRead(errno != 0 ? errno : EIO);
    return got;
  }
  if (callbacks_.read == nullptr || !open_ || readError_) return 0;
  const std::ptrdiff_t got = callbacks_.read(callbacks_.user, destination, count);
  if (got < 0 || static_cast<std::size_t>(got) > count) {
    failRead(0);
    return 0;
  }
  return static_cast<std::size_t>(got);
}

void InputStream::failRead(int cause) {
  if (!readError_) readErrorCause_ = cause;
  readError_ = true;
}

bool InputStream::refill() {
  if (memory_ || !open_ || (file_ == nullptr && callbacks_.read == nullptr)) return false;
  // Keep the last bytes so that a step back over them stays possible.
  const std::size_t keep = std::min<std::size_t>(length_, kMaxStepBack);
  std::memmove(buffer_.get(), buffer_.get() + length_ - keep, keep);
  bufferStart_ += static_cast<std::int64_t>(length_ - keep);
  length_ = keep;
  position_ = keep;
  const std::size_t got = fetch(buffer_.get() + keep, kInputBufferSize - keep);
  length_ += got;
  return got > 0;
}

std::size_t InputStream::peekStart(std::uint8_t* destination, std::size_t count) {
  if (bufferStart_ != 0 || position_ != 0) return 0;
  // However little each read gives, the buffer holds the input's start until it is full.
  while (!memory_ && length_ < count) {
    const std::size_t got = fetch(buffer_.get() + length_, kInputBufferSize - length_);
    if (got == 0) break;
    length_ += got;
  }
  const std::size_t got = std::min(count, length_);
  if (got != 0) std::memcpy(destination, data_, got);  // an empty input has no buffer yet
  return got;
}

int InputStream::getByteAfterRefill() {
  if (refill()) return data_[position_++];
  ++endFetches_;
  return -1;
}

std::size_t InputStream::read(std::uint8_t* destination, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    if (position_ == length_ && !refill()) break;
    const std::size_t chunk = std::min(count - done, length_ - position_);
    std::memcpy(destination + done, data_ + position_, chunk);
    if (digest_ != nullptr) digest_->update(data_ + position_, chunk);
    position_ += chunk;
    done += chunk;
  }
  return done;
}

void InputStream::stepBack(int count) {
  while (count > 0 && endFetches_ > 0) {
    --endFetches_;
    --count;
  }
  if (count < 0 || static_cast<std::size_t>(count) > position_) {
    fatalError("internal error: input step back beyond the buffer", 1);
  }
  position_ -= static_cast<std::size_t>(count);
}

std::int64_t InputStream::size() {
  if (memory_) return static_cast<std::int64_t>(length_);
  if (file_ == nullptr) return callbacks_.size != nullptr ? callbacks_.size(callbacks_.user) : -1;
  const std::int64_t filePosition = bufferStart_ + static_cast<std::int64_t>(length_);
  if (fseeko(file_, 0, SEEK_END) != 0) return -1;
  const std::int64_t end = ftello(file_);
  if (fseeko(file_, static_cast<off_t>(filePosition), SEEK_SET) != 0) return -1;
  return end;
}

std::size_t InputStream::peekAt(std::int64_t offset, std::uint8_t* destination, std::size_t count) {
  if (offset < 0) return 0;
  if (memory_) {
    if (offset >= static_cast<std::int64_t>(length_)) return 0;
    const std::size_t got = std::min(count, length_ - static_cast<std::size_t>(offset));
    std::memcpy(destination, data_ + offset, got);
    return got;
  }
  if (file_ == nullptr && callbacks_.seek == nullptr) return 0;
  const std::int64_t sourcePosition = bufferStart_ + static_cast<std::int64_t>(length_);
  if (!moveSource(offset)) return 0;
  std::size_t got = 0;
  if (file_ != nullptr) {
    got = std::fread(destination, 1, count, file_);
    std::clearerr(file_);
  } else {
    while (got < count) {
      const std::ptrdiff_t chunk = callbacks_.read(callbacks_.user, destination + got, count - got);
      if (chunk <= 0 || static_cast<std::size_t>(chunk) > count - got) break;
      got += static_cast<std::size_t>(chunk);
    }
  }
  if (!moveSource(sourcePosition)) readError_ = true;
  return got;
}

bool InputStream::moveSource(std::int64_t offset) {
  if (file_ != nullptr) return fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
  return open_ && callbacks_.seek != nullptr && callbacks_.seek(callbacks_.user, offset) == 0;
}

bool InputStream::seekable() {
  if (memory_) return true;
  if (file_ == nullptr) return open_ && callbacks_.seek != nullptr;
  const std::int64_t sourcePosition = bufferStart_ + static_cast<std::int64_t>(length_);
  return moveSource(sourcePosition);
}

bool InputStream::seekTo(std::int64_t offset) {
  if (offset < 0) return false;
  const std::int64_t end = bufferStart_ + static_cast<std::int64_t>(length_);
  if (offset >= bufferStart_ && offset <= end) {  // still in the buffer: no system call
    position_ = static_cast<std::size_t>(offset - bufferStart_);
    endFetches_ = 0;
    return true;
  }
  if (memory_ || !moveSource(offset)) return false;
  bufferStart_ = offset;
  length_ = 0;
  position_ = 0;
  endFetches_ = 0;
  return true;
}

bool InputStream::rewind() {
  endFetches_ = 0;
  if (memory_ || bufferStart_ == 0) {  // byte 0 is still in the buffer
    position_ = 0;
    return true;
  }
  if (file_ == nullptr || fseeko(file_, 0, SEEK_SET) != 0) return false;
  bufferStart_ = 0;
  length_ = 0;
  position_ = 0;
  return true;
}

void InputStream::close() {
  if (file_ != nullptr && owned_) std::fclose(file_);
  file_ = nullptr;
  open_ = false;
}

OutputStream::OutputStream(std::FILE* file, bool owned) : file_(file), owned_(owned) {
  buffer_.reserve(kBufferSize);
}

OutputStream::OutputStream(WriteCallbacks callbacks) : callbacks_(callbacks) { buffer_.reserve(kBufferSize); }

OutputStream::OutputStream(std::vector<std::uint8_t>& memory) : memory_(&memory) {}

OutputStream::~OutputStream() { close(); }

void OutputStream::putByte(std::uint8_t byte) {
  ++written_;
  if (digest_ != nullptr) digest_->update(&byte, 1);
  if (memory_ != nullptr) {
    memory_->push_back(byte);
    return;
  }
  buffer_.push_back(byte);
  if (buffer_.size() >= kBufferSize) flush();
}

void OutputStream::write(const std::uint8_t* source, std::size_t count) {
  written_ += static_cast<std::int64_t>(count);
  if (digest_ != nullptr) digest_->update(source, count);
  if (memory_ != nullptr) {
    memory_->insert(memory_->end(), source, source + count);
    return;
  }
  if (buffer_.size() + count <= kBufferSize) {
    buffer_.insert(buffer_.end(), source, source + count);
    return;
  }
  flush();
  emit(source, count);
}

void OutputStream::emit(const std::uint8_t* source, std::size_t count) {
  if (count == 0 || failed_) return;  // after a failure nothing more is written
  if (file_ != nullptr) {
    if (std::fwrite(source, 1, count, file_) != count) fail(errno);
  } else if (callbacks_.write != nullptr && open_) {
    if (callbacks_.write(callbacks_.user, source, count) != 0) fail(0);
  }
}

void OutputStream::fail(int cause) {
  if (!failed_) failureCause_ = cause;
  failed_ = true;
}

void OutputStream::flush() {
  emit(buffer_.data(), buffer_.size());
  buffer_.clear();
  if (file_ != nullptr && std::fflush(file_) != 0) fail(errno);
}

void OutputStream::close() {
  if (!open_) return;
  flush();
  if (file_ != nullptr && owned_ && std::fclose(file_) != 0) fail(errno);
  file_ = nullptr;
  open_ = false;
}

}  // namespace qola
