// QOLA for C++: owning handles and exceptions over the C interface.
// C++17 or later; with C++20 the byte ranges are std::span.
#pragma once

#include <qola/qola.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#if __cplusplus >= 202002L
#include <span>
#endif
#include <stdexcept>
#include <string>
#include <utility>

namespace qola {

#if __cplusplus >= 202002L
using ByteSpan = std::span<const std::uint8_t>;
#else
// The bytes of a memory block, for C++17 callers.
class ByteSpan {
 public:
  ByteSpan() = default;
  ByteSpan(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  template <typename Container>
  ByteSpan(const Container& bytes) : data_(bytes.data()), size_(bytes.size()) {}
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const std::uint8_t* begin() const { return data_; }
  const std::uint8_t* end() const { return data_ + size_; }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};
#endif

// A failed job: its cause (what()), status and exit code, and the text the
// qola programs show for it.
class Error : public std::runtime_error {
 public:
  Error(qola_status status, const std::string& message, int exitCode)
      : Error(status, message, exitCode, message) {}
  Error(qola_status status, const std::string& message, int exitCode, const std::string& programMessage)
      : std::runtime_error(message), status_(status), exitCode_(exitCode), programMessage_(programMessage) {}
  qola_status status() const { return status_; }
  int exitCode() const { return exitCode_; }
  const std::string& programMessage() const { return programMessage_; }

 private:
  qola_status status_;
  int exitCode_;
  std::string programMessage_;
};

// The command line's defaults; change the fields as needed.
struct Settings : qola_settings {
  Settings() { qola_default_settings(this); }
  // Why a job would refuse these settings; nullptr when it takes them.
  const char* refusal(bool compressing) const { return qola_settings_refusal(this, compressing ? 1 : 0); }
};

namespace detail {
struct InputFree {
  void operator()(qola_input* input) const { qola_input_free(input); }
};
struct OutputFree {
  void operator()(qola_output* output) const { qola_output_free(output); }
};
struct JobFree {
  void operator()(qola_job* job) const { qola_job_free(job); }
};
struct DecoderFree {
  void operator()(qola_decoder* decoder) const { qola_decoder_free(decoder); }
};
template <typename Handle>
Handle* checked(Handle* handle) {
  if (handle == nullptr) throw std::bad_alloc();
  return handle;
}
}  // namespace detail

class Input {
 public:
  static Input open(const std::string& path) {
    qola_input* input = qola_input_open(path.c_str());
    if (input == nullptr) throw Error(QOLA_ERROR_ARGUMENT, "cannot open " + path, 2);
    return Input(input);
  }
  static Input file(std::FILE* file, bool takeOwnership) {
    return Input(detail::checked(qola_input_file(file, takeOwnership ? 1 : 0)));
  }
  static Input memory(ByteSpan bytes) {
    return Input(detail::checked(qola_input_memory(bytes.data(), bytes.size())));
  }
  // Interleaved samples in the host's order, borrowed: uint8_t (8-bit) or int16_t (16-bit).
  static Input samples(const std::uint8_t* samples, std::size_t frames, int channels) {
    return Input(detail::checked(qola_input_samples(samples, frames, channels, 8)));
  }
  static Input samples(const std::int16_t* samples, std::size_t frames, int channels) {
    return Input(detail::checked(qola_input_samples(samples, frames, channels, 16)));
  }
  // Samples read as a WAV file at this rate (a samples input only).
  Input& withSampleRate(std::uint32_t sampleRate) {
    const qola_status status = qola_input_set_sample_rate(handle_.get(), sampleRate);
    if (status == QOLA_ERROR_ARGUMENT) throw Error(status, "the samples cannot take a WAV header at this rate", 2);
    if (status != QOLA_OK) throw Error(status, qola_status_string(status), 1);
    return *this;
  }
  static Input callbacks(qola_read_fn read, qola_size_fn size, void* user) {
    return Input(detail::checked(qola_input_callbacks(read, size, user)));
  }
  static Input callbacks(qola_read_fn read, qola_size_fn size, qola_seek_fn seek, void* user) {
    return Input(detail::checked(qola_input_seekable_callbacks(read, size, seek, user)));
  }
  qola_input* get() const { return handle_.get(); }

 private:
  explicit Input(qola_input* handle) : handle_(handle) {}
  std::unique_ptr<qola_input, detail::InputFree> handle_;
};

class Output {
 public:
  // Never over an existing file; open() with QOLA_OUTPUT_REPLACE where the user agreed to that.
  static Output create(const std::string& path) { return open(path, 0); }
  static Output open(const std::string& path, int flags) {
    std::optional<Output> output = tryOpen(path, flags);
    if (!output) throw Error(QOLA_ERROR_ARGUMENT, "cannot create " + path + ": " + std::strerror(errno), 2);
    return std::move(*output);
  }
  // nullopt with errno telling why (see qola_output_open).
  static std::optional<Output> tryOpen(const std::string& path, int flags) {
    qola_output* output = qola_output_open(path.c_str(), flags);
    if (output == nullptr) return std::nullopt;
    return Output(output);
  }
  // A held path output takes its name (see qola_output_commit).
  void commit() {
    if (qola_output_commit(handle_.get()) != 0) {
      throw Error(QOLA_ERROR_WRITE, std::string("cannot give the output its name: ") + std::strerror(errno), 1);
    }
  }
  int descriptor() const { return qola_output_descriptor(handle_.get()); }
  bool isRegular() const { return qola_output_is_regular(handle_.get()) != 0; }
  static Output file(std::FILE* file, bool takeOwnership) {
    return Output(detail::checked(qola_output_file(file, takeOwnership ? 1 : 0)));
  }
  static Output memory() { return Output(detail::checked(qola_output_memory())); }
  static Output callbacks(qola_write_fn write, void* user) {
    return Output(detail::checked(qola_output_callbacks(write, user)));
  }
  // The bytes of a memory output.
  ByteSpan data() const {
    std::size_t size = 0;
    const std::uint8_t* bytes = qola_output_data(handle_.get(), &size);
    return {bytes, size};
  }
  qola_output* get() const { return handle_.get(); }

 private:
  explicit Output(qola_output* handle) : handle_(handle) {}
  std::unique_ptr<qola_output, detail::OutputFree> handle_;
};

// The report as the programs show it.
inline std::string reportText(const qola_result& result) {
  std::string text(qola_format_report(&result, nullptr, 0), '\0');
  qola_format_report(&result, text.data(), text.size() + 1);
  return text;
}

// Why a compressed file is larger than its input; empty when it is not.
inline std::string growthReason(const qola_result& result) {
  const char* reason = qola_growth_reason(&result);
  return reason != nullptr ? reason : "";
}

// One job's settings and progress; runs throw Error when the job fails.
class Job {
 public:
  explicit Job(const Settings& settings = Settings()) : handle_(detail::checked(qola_job_create(&settings))) {}
  Job(const Job&) = delete;  // the progress function points back at the job
  Job& operator=(const Job&) = delete;

  // The function gets 0..100 and returns true to cancel the job.
  void onProgress(std::function<bool(int)> progress) {
    progress_ = std::move(progress);
    qola_job_set_progress(handle_.get(), progress_ ? &Job::forward : nullptr, this);
  }

  const qola_result& compress(Input& input, Output& output) {
    return check(qola_compress(handle_.get(), input.get(), output.get()));
  }
  const qola_result& decompress(Input& input, Output& output) {
    return check(qola_decompress(handle_.get(), input.get(), output.get()));
  }
  // Frames first .. end - 1 (end -1: to the last) as a file of their own.
  const qola_result& decompressRange(Input& input, Output& output, std::int64_t first, std::int64_t end = -1) {
    return check(qola_decompress_range(handle_.get(), input.get(), output.get(), first, end));
  }
  const qola_result& result() const { return *qola_job_result(handle_.get()); }

 private:
  static int forward(void* user, int percent) { return static_cast<Job*>(user)->progress_(percent) ? 1 : 0; }
  const qola_result& check(qola_status status) {
    if (status != QOLA_OK) {
      throw Error(status, qola_job_message(handle_.get()), qola_job_exit_code(handle_.get()),
                  qola_job_program_message(handle_.get()));
    }
    return result();
  }

  std::unique_ptr<qola_job, detail::JobFree> handle_;
  std::function<bool(int)> progress_;
};

// The sample frames of a compressed file from any position (see
// qola_decoder_open for the cost of a seek); failures throw Error.
class Decoder {
 public:
  // Keeps the input for the decoder's life.
  explicit Decoder(Input input) : input_(std::move(input)), handle_(detail::checked(qola_decoder_open(input_.get()))) {
    check(qola_decoder_status(handle_.get()));
    qola_decoder_format(handle_.get(), &channels_, &sampleBits_, &frames_, &sampleRate_);
  }

  int channels() const { return channels_; }
  int sampleBits() const { return sampleBits_; }  // 8: read into uint8_t, 16: into int16_t
  std::int64_t frames() const { return frames_; }
  int sampleRate() const { return sampleRate_; }  // 0: the file holds no WAV header
  // Every fact of the file, as qola_probe gives them.
  qola_info info() const {
    qola_info facts{};
    facts.size = sizeof facts;
    check(qola_decoder_info(handle_.get(), &facts));
    return facts;
  }

  void seek(std::int64_t frame) { check(qola_decoder_seek(handle_.get(), frame)); }
  // The frames of the stored WAV file's data chunk: [first, first + count).
  void audioFrames(std::int64_t& first, std::int64_t& count) {
    check(qola_decoder_audio_frames(handle_.get(), &first, &count));
  }
  std::int64_t tell() const { return qola_decoder_tell(handle_.get()); }

  // Up to `frames` interleaved frames into samples (frames x channels
  // values); returns the frames read, fewer only at the end of the file.
  std::size_t read(std::int16_t* samples, std::size_t frames) { return readFrames(samples, frames, 16); }
  std::size_t read(std::uint8_t* samples, std::size_t frames) { return readFrames(samples, frames, 8); }

  qola_decoder* get() const { return handle_.get(); }

 private:
  std::size_t readFrames(void* samples, std::size_t frames, int bits) {
    if (bits != sampleBits_) {
      throw Error(QOLA_ERROR_ARGUMENT, "the sample type does not match the file's " + std::to_string(sampleBits_) +
                                           "-bit samples", 1);
    }
    std::size_t done = 0;
    check(qola_decoder_read(handle_.get(), samples, frames, &done));
    return done;
  }
  void check(qola_status status) const {
    if (status != QOLA_OK) throw Error(status, qola_decoder_message(handle_.get()), 1);
  }

  Input input_;  // outlives the handle, which borrows it
  std::unique_ptr<qola_decoder, detail::DecoderFree> handle_;
  int channels_ = 0;
  int sampleBits_ = 0;
  std::int64_t frames_ = 0;
  int sampleRate_ = 0;
};

}  // namespace qola
