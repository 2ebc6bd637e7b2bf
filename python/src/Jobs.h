// What the native module's functions share: owning handles of the C
// interface, job inputs from Python objects, progress calls into Python and
// the run of one job with the interpreter lock released.
#pragma once

#include <pybind11/pybind11.h>

#include <qola/qola.h>

#include <cstdint>
#include <memory>
#include <new>
#include <optional>

namespace pyqola {

template <auto Free>
struct Deleter {
  template <typename Handle>
  void operator()(Handle* handle) const {
    Free(handle);
  }
};
using InputHandle = std::unique_ptr<qola_input, Deleter<qola_input_free>>;
using OutputHandle = std::unique_ptr<qola_output, Deleter<qola_output_free>>;
using JobHandle = std::unique_ptr<qola_job, Deleter<qola_job_free>>;
using DecoderHandle = std::unique_ptr<qola_decoder, Deleter<qola_decoder_free>>;

template <typename Handle>
Handle* checked(Handle* handle) {
  if (handle == nullptr) throw std::bad_alloc();
  return handle;
}

// Raises the OSError (FileNotFoundError, PermissionError, ...) errno names.
[[noreturn]] void raiseOsError(const pybind11::bytes& path);

// An input: a path (file system bytes), or a caller's buffer held for as
// long as the input lives.
struct Source {
  std::optional<pybind11::buffer_info> view;
  InputHandle input;

  static Source open(const pybind11::object& source, bool isPath);
  // Interleaved samples of a C-contiguous frames x channels array of uint8
  // or int16 in the host's order, read as a WAV file when a rate is given.
  static Source samples(const pybind11::buffer& frames, std::optional<std::uint32_t> sampleRate);
};

// A Python progress function, callable from any thread. It is called only
// when the percentage changes; a true answer or an exception cancels the
// job, and the exception is raised by raisePending once the job has stopped.
class Progress {
 public:
  explicit Progress(pybind11::object function) : function_(std::move(function)) {}

  bool wanted() const { return !function_.is_none(); }
  void attach(qola_job* job);
  // True when the caller asked to stop.
  bool report(int percent);
  void raisePending();

 private:
  pybind11::object function_;
  int last_ = -1;
  std::optional<pybind11::error_already_set> error_;
};

// Runs one job without the interpreter lock; raises qola.Error (as
// qola::Error) or the progress function's exception when it fails.
const qola_result& runJob(qola_job* job, bool compressing, qola_input* input, qola_output* output,
                          Progress& progress);

}  // namespace pyqola
