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
