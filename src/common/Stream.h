// Buffered byte streams of the jobs: over a FILE*, a memory block or the
// caller's read/write functions.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

namespace qola {

class Md5;

// The caller's input: read returns the bytes read (0 at the end, -1 on an
// error); size returns the total length or -1 when unknown; seek moves to a
// byte offset and returns 0 on success (size and seek may be null).
struct ReadCallbacks {
  std::ptrdiff_t (*read)(void* user, void* buffer, std::size_t count) = nullptr;
  std::int64_t (*size)(void* user) = nullptr;
  void* user = nullptr;
  int (*seek)(void* user, std::int64_t offset) = nullptr;
};

// Buffered binary input over an owned FILE*, a borrowed memory block or
// callbacks. Reads through a buffer of its own, so that the few bytes the
// decoders fetch ahead can be stepped back over even on a pipe.
class InputStream {
 public:
  explicit InputStream(std::FILE* file, bool owned = true);
  explicit InputStream(std::span<const std::uint8_t> memory);
  explicit InputStream(ReadCallbacks callbacks);
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;
  ~InputStream();

  // Next byte 0..255, or -1 at the end of the input. A fetch at the end
  // still counts as a fetched byte for stepBack. Inline for the decoders,
  // which take their code a byte at a time.
  int getByte() { return position_ < length_ ? data_[position_++] : getByteAfterRefill(); }
  // The bytes buffered from the position on, for a reader that takes several
  // at once; skip(count) moves past count of them (count <= buffered()).
  std::size_t buffered() const { return length_ - position_; }
  const std::uint8_t* next() const { return data_ + position_; }
  void skip(std::size_t count) { position_ += count; }
  // True when a byte follows, refilling the buffer when it is empty. Unlike
  // getByte, finding the end here is not a fetch.
  bool hasByte() { return position_ < length_ || refill(); }
  // Reads up to count bytes; returns how many were read.
  std::size_t read(std::uint8_t* destination, std::size_t count);
  // Undoes the last count fetches (at most kMaxStepBack), end-of-input fetches included.
  void stepBack(int count);
  // True while a fetch that met the end is not stepped back: what was decoded
  // since took bytes the input does not have.
  bool fetchedPastEnd() const { return endFetches_ > 0; }
  // Total length in bytes; -1 when unknown. Leaves the position unchanged.
  std::int64_t size();
  // Back to byte 0; false when the input cannot go back there.
  bool rewind();
  // Copies the input's first count bytes (fewer when it is shorter) without
  // moving the position, on any input; 0 once reading has begun.
  std::size_t peekStart(std::uint8_t* destination, std::size_t count);
  // To any byte offset; false when the input cannot move there (a pipe,
  // callbacks without a seek function), and then the position is unchanged.
  bool seekTo(std::int64_t offset);
  // Whether seekTo can work at all.
  bool seekable();
  void close();
  bool isOpen() const { return open_; }
  // True once a read failed (not the end of the input); readErrorCause is
  // its errno, 0 when the caller's read function failed.
  bool readFailed() const { return readError_; }
  int readErrorCause() const { return readErrorCause_; }
  // Every byte read() hands out from now on also goes into md5 (null: none).
  void digestInto(Md5* md5) { digest_ = md5; }
  // Copies up to count bytes at offset without moving the position; 0 when
  // the input cannot be read out of order (a pipe, callbacks without seek).
  std::size_t peekAt(std::int64_t offset, std::uint8_t* destination, std::size_t count);

  // The arithmetic decoder steps back up to 2 bytes, the coefficient bit reader up to 7.
  static constexpr int kMaxStepBack = 8;

 private:
  bool refill();
  int getByteAfterRefill();
  // Moves the underlying file or callbacks to offset; false when they cannot.
  bool moveSource(std::int64_t offset);
  std::size_t fetch(std::uint8_t* destination, std::size_t count);
  void failRead(int cause);

  std::FILE* file_ = nullptr;
  bool owned_ = true;
  ReadCallbacks callbacks_;
  // Left unfilled until read into: a short input touches few of its pages.
  std::unique_ptr<std::uint8_t[]> buffer_;
  const std::uint8_t* data_ = nullptr;  // buffer_.get() or the memory block
  std::size_t length_ = 0;               // valid bytes at data_
  std::size_t position_ = 0;             // next byte at data_
  std::int64_t bufferStart_ = 0;         // stream offset of data_[0]
  int endFetches_ = 0;                   // fetches that met the end, not yet stepped back
  bool memory_ = false;
  bool open_ = true;
  bool readError_ = false;
  int readErrorCause_ = 0;
  Md5* digest_ = nullptr;
};

// The caller's output: write returns 0 on success.
struct WriteCallbacks {
  int (*write)(void* user, const void* data, std::size_t count) = nullptr;
  void* user = nullptr;
};

// Buffered binary output to an owned FILE*, an appended-to byte vector or callbacks.
class OutputStream {
 public:
  explicit OutputStream(std::FILE* file, bool owned = true);
  explicit OutputStream(std::vector<std::uint8_t>& memory);
  explicit OutputStream(WriteCallbacks callbacks);
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;
  ~OutputStream();

  void putByte(std::uint8_t byte);
  void write(const std::uint8_t* source, std::size_t count);
  std::int64_t position() const { return written_; }  // bytes written so far
  void flush();
  void close();
  bool isOpen() const { return open_; }
  // True once any write, flush or close failed (a full disk).
  bool failed() const { return failed_; }
  // The errno of the first failure; 0 when the caller's write function failed.
  int failureCause() const { return failureCause_; }
  // Every byte written from now on also goes into md5 (null: none).
  void digestInto(Md5* md5) { digest_ = md5; }
  Md5* digest() const { return digest_; }

 private:
  void emit(const std::uint8_t* source, std::size_t count);
  void fail(int cause);

  std::FILE* file_ = nullptr;
  bool owned_ = true;
  WriteCallbacks callbacks_;
  std::vector<std::uint8_t>* memory_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  std::int64_t written_ = 0;
  bool open_ = true;
  bool failed_ = false;
  int failureCause_ = 0;
  Md5* digest_ = nullptr;
};

}  // namespace qola
