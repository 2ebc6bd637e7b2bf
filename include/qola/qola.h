// QOLA: lossless compression of 8/16-bit mono/stereo PCM audio.
//
// A job compresses or restores one whole file. It runs to its end inside the
// call, reports progress and a closing "Ready" report through a ProgressSink,
// and closes both streams before it returns. Every error inside a job is
// fatal: it goes through fatalError, whose handler a front end may replace.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace qola {

inline constexpr const char* kProductVersion = "1.71";
inline constexpr const char* kFileVersion = "1.71 build 1";

enum class Mode { Compress, Decompress };
enum class Adaptation { None = 1, Medium = 2, Full = 3 };

// How the encoder makes the choices the file format leaves to it. Every mode
// writes files that every reader restores.
//   Specified: the reference choices, byte for byte (the desktop program).
//   Default:   the reference choices plus those that cost no time, such as
//              keeping joint stereo for blocks whose channels are identical.
//   Best:      codes candidates and keeps the smallest; several times slower.
//   Fast:      Default without block splitting (adaptation None).
enum class EncoderMode { Specified, Default, Best, Fast };

// The user's coding choices. Defaults are the dialog's initial settings.
struct CodecSettings {
  Mode mode = Mode::Compress;
  int channelCount = 2;      // 1 (mono) or 2 (stereo)
  int sampleBits = 16;       // 8 or 16
  int blockLengthIndex = 5;  // block length N = 2^(index + 7): 128 .. 4096
  Adaptation adaptation = Adaptation::Full;
  bool wavEvaluation = false;
  bool jointStereo = false;
  bool swapBytes = false;
  EncoderMode encoderMode = EncoderMode::Default;
};

inline constexpr int kMaxBlockLengthIndex = 5;  // 4096 samples
inline int blockLength(const CodecSettings& settings) { return 1 << (settings.blockLengthIndex + 7); }
// The block length index of a block length of 128 .. 4096 samples; -1 for any other length.
inline int blockLengthIndexOf(int length) {
  for (int index = 0; index <= kMaxBlockLengthIndex; ++index) {
    if (1 << (index + 7) == length) return index;
  }
  return -1;
}

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void setProgress(int percent) = 0;
  virtual void showReport(const std::string& text, const std::string& title) = 0;
};

// Buffered binary input over an owned FILE* or a borrowed memory block.
// Reads through a buffer of its own, so that the few bytes the arithmetic
// decoder fetches ahead can be stepped back over even on a pipe.
class InputStream {
 public:
  explicit InputStream(std::FILE* file);  // takes ownership
  explicit InputStream(std::span<const std::uint8_t> memory);
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;
  ~InputStream();

  // Next byte 0..255, or -1 at the end of the input. A fetch at the end
  // still counts as a fetched byte for stepBack.
  int getByte();
  // Reads up to count bytes; returns how many were read.
  std::size_t read(std::uint8_t* destination, std::size_t count);
  // Undoes the last count fetches (at most kMaxStepBack), end-of-input fetches included.
  void stepBack(int count);
  // Total length in bytes; -1 when the input cannot seek. Leaves the position unchanged.
  std::int64_t size();
  // Back to byte 0; false when the input cannot seek.
  bool rewind();
  void close();
  bool isOpen() const { return open_; }
  bool readFailed() const { return readError_; }

  static constexpr int kMaxStepBack = 2;

 private:
  bool refill();

  std::FILE* file_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  const std::uint8_t* data_ = nullptr;  // buffer_.data() or the memory block
  std::size_t length_ = 0;               // valid bytes at data_
  std::size_t position_ = 0;             // next byte at data_
  std::int64_t bufferStart_ = 0;         // stream offset of data_[0]
  int endFetches_ = 0;                   // fetches that met the end, not yet stepped back
  bool memory_ = false;
  bool open_ = true;
  bool readError_ = false;
};

// Buffered binary output to an owned FILE* or an appended-to byte vector.
class OutputStream {
 public:
  explicit OutputStream(std::FILE* file);  // takes ownership
  explicit OutputStream(std::vector<std::uint8_t>& memory);
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;
  ~OutputStream();

  void putByte(std::uint8_t byte);
  void write(const std::uint8_t* source, std::size_t count);
  std::int64_t position() const { return written_; }  // bytes written so far
  void flush();
  void close();
  bool isOpen() const { return open_; }
  // True once any write, flush or close of the file failed (a full disk).
  bool failed() const { return failed_; }

 private:
  std::FILE* file_ = nullptr;
  std::vector<std::uint8_t>* memory_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  std::int64_t written_ = 0;
  bool open_ = true;
  bool failed_ = false;
};

// The two jobs. Both close input and output before they return.
void compressFile(const CodecSettings& settings, InputStream& input, OutputStream& output,
                  ProgressSink& sink);
void decompressFile(const CodecSettings& settings, InputStream& input, OutputStream& output,
                    ProgressSink& sink);

// Where a fatal message belongs: the application's message box (job errors),
// or plain standard output / standard error (transform and arithmetic coder).
enum class ErrorChannel { MessageBox, StandardOutput, StandardError };

// A handler shows the message (given without a trailing newline) and ends the
// process with the code, or throws. If it returns, the process exits anyway.
using FatalHandler = void (*)(const std::string& message, int code, ErrorChannel channel);

FatalHandler setFatalHandler(FatalHandler handler);  // returns the previous one
void defaultFatalHandler(const std::string& message, int code, ErrorChannel channel);

[[noreturn]] void fatalError(const std::string& message, int code);
[[noreturn]] void fatalErrorOn(ErrorChannel channel, const std::string& message, int code);

}  // namespace qola
