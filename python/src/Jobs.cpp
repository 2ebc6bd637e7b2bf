#include "Jobs.h"

#include <qola/qola.hpp>

#include <string>

namespace py = pybind11;

namespace pyqola {

void raiseOsError(const py::bytes& path) {
  PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError,
                                       py::str(path.attr("decode")("utf-8", "surrogateescape")).ptr());
  throw py::error_already_set();
}

Source Source::open(const py::object& source, bool isPath) {
  if (isPath) {
    const auto path = source.cast<py::bytes>();
    InputHandle input(qola_input_open(std::string(path).c_str()));
    if (!input) raiseOsError(path);
    return Source{std::nullopt, std::move(input)};
  }
  py::buffer_info view = source.cast<py::buffer>().request();
  const auto size = static_cast<std::size_t>(view.size * view.itemsize);
  InputHandle input(checked(qola_input_memory(view.ptr, size)));
  return Source{std::move(view), std::move(input)};
}

Source Source::samples(const py::buffer& frames, std::optional<std::uint32_t> sampleRate) {
  py::buffer_info view = frames.request();
  const bool fits = view.ndim == 2 && (view.itemsize == 1 || view.itemsize == 2) &&
                    view.strides[1] == view.itemsize && view.strides[0] == view.itemsize * view.shape[1];
  if (!fits) {
    throw qola::Error(QOLA_ERROR_ARGUMENT, "the samples must be a C-contiguous frames x channels array", 2);
  }
  InputHandle input(qola_input_samples(view.ptr, static_cast<std::size_t>(view.shape[0]),
                                       static_cast<int>(view.shape[1]), static_cast<int>(view.itemsize * 8)));
  if (!input) throw qola::Error(QOLA_ERROR_ARGUMENT, "the samples must have one or two channels", 2);
  if (sampleRate && qola_input_set_sample_rate(input.get(), *sampleRate) != QOLA_OK) {
    throw qola::Error(QOLA_ERROR_ARGUMENT, "the samples do not fit a WAV file at this rate", 2);
  }
  return Source{std::move(view), std::move(input)};
}

void Progress::attach(qola_job* job) {
  if (!wanted()) return;
  qola_job_set_progress(
      job, [](void* user, int percent) { return static_cast<Progress*>(user)->report(percent) ? 1 : 0; }, this);
}

bool Progress::report(int percent) {
  if (!wanted() || percent == last_) return false;
  last_ = percent;
  py::gil_scoped_acquire hold;
  try {
    return py::bool_(function_(percent));
  } catch (py::error_already_set& error) {
    error_.emplace(std::move(error));
    return true;
  }
}

void Progress::raisePending() {
  if (!error_) return;
  error_->restore();
  error_.reset();
  throw py::error_already_set();
}

const qola_result& runJob(qola_job* job, bool compressing, qola_input* input, qola_output* output,
                          Progress& progress) {
  progress.attach(job);
  qola_status status;
  {
    py::gil_scoped_release unlocked;
    status = compressing ? qola_compress(job, input, output) : qola_decompress(job, input, output);
  }
  progress.raisePending();
  if (status != QOLA_OK) throw qola::Error(status, qola_job_message(job), qola_job_exit_code(job));
  return *qola_job_result(job);
}

}  // namespace pyqola
