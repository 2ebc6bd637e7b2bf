// The native half of the Python package: runs jobs of the public C interface
// with the interpreter lock released. Argument checking and names live in
// the Python half (qola/__init__.py).
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <qola/qola.hpp>

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Jobs.h"
#include "Samples.h"
#include "Settings.h"

namespace py = pybind11;
using namespace pyqola;

namespace {

// The bytes a job writes to memory, kept for Python as a writable buffer so
// numpy can view them without a copy.
struct Buffer {
  std::vector<std::uint8_t> bytes;

  static int append(void* user, const void* data, std::size_t count) {
    auto& bytes = static_cast<Buffer*>(user)->bytes;
    const auto* first = static_cast<const std::uint8_t*>(data);
    try {
      bytes.insert(bytes.end(), first, first + count);
    } catch (const std::bad_alloc&) {
      return 1;  // the job fails as on a full disk
    }
    return 0;
  }
};

py::dict resultDict(const qola_result& result) {
  py::dict facts;
  facts["kind"] = result.kind == QOLA_COMPRESSION ? "compression" : "decompression";
  facts["samples"] = result.samples;
  facts["channels"] = result.channels;
  facts["bits"] = result.bits;
  facts["header_length"] = result.header_length;
  facts["original_size"] = result.original_size;
  facts["compressed_size"] = result.compressed_size;
  facts["ratio"] = result.ratio;
  facts["bits_per_sample"] = result.bits_per_sample;
  facts["file_version"] = result.file_version;
  facts["platform"] = result.platform != nullptr ? py::str(result.platform) : py::str("");
  facts["checksum"] = static_cast<int>(result.checksum);
  facts["md5"] = result.checksum != QOLA_CHECKSUM_NONE
                     ? py::object(py::bytes(reinterpret_cast<const char*>(result.md5), sizeof result.md5))
                     : py::none();
  facts["ignored_bytes"] = result.ignored_bytes;
  facts["report"] = qola::reportText(result);
  return facts;
}

// Runs one compression or restore from source to target (a path, or memory
// when target is None). Returns the memory output (or None) and the facts.
py::tuple runFrom(bool compressing, Source& source, const std::optional<py::bytes>& target,
                  const py::dict& settings, const py::object& progressFunction) {
  const qola_settings chosen = settingsFrom(settings);
  JobHandle job(checked(qola_job_create(&chosen)));
  Progress progress(progressFunction);
  auto buffer = std::make_shared<Buffer>();
  OutputHandle output;
  if (target) {
    output.reset(qola_output_create(std::string(*target).c_str()));
    if (!output) raiseOsError(*target);
  } else {
    output.reset(checked(qola_output_callbacks(&Buffer::append, buffer.get())));
  }
  const qola_result& result = runJob(job.get(), compressing, source.input.get(), output.get(), progress);
  py::object bytes = target ? py::none() : py::cast(buffer);
  return py::make_tuple(bytes, resultDict(result));
}

py::tuple run(bool compressing, const py::object& sourceObject, bool sourceIsPath,
              const std::optional<py::bytes>& target, const py::dict& settings,
              const py::object& progressFunction) {
  Source source = Source::open(sourceObject, sourceIsPath);
  return runFrom(compressing, source, target, settings, progressFunction);
}

// Compresses a frames x channels array straight from its memory.
py::tuple compressSamples(const py::buffer& frames, std::optional<std::uint32_t> sampleRate,
                          const std::optional<py::bytes>& target, const py::dict& settings,
                          const py::object& progressFunction) {
  Source source = Source::samples(frames, sampleRate);
  return runFrom(true, source, target, settings, progressFunction);
}

}  // namespace

PYBIND11_MODULE(_qola, module) {
  module.doc() = "Jobs of the QOLA library; use the qola package, not this module.";

  py::class_<Buffer, std::shared_ptr<Buffer>>(module, "Buffer", py::buffer_protocol())
      .def_buffer([](Buffer& buffer) {
        return py::buffer_info(buffer.bytes.data(), static_cast<py::ssize_t>(buffer.bytes.size()));
      })
      .def("__len__", [](const Buffer& buffer) { return buffer.bytes.size(); });

  // qola.Error and its subclasses are Python classes; a failed job raises the
  // one its status names.
  static py::object makeError = py::module_::import("qola._errors").attr("_from_status");
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const qola::Error& error) {
      py::object raised = makeError(static_cast<int>(error.status()), error.what(), error.exitCode());
      PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(raised.ptr())), raised.ptr());
    }
  });

  module.def("run", &run, py::arg("compressing"), py::arg("source"), py::arg("source_is_path"), py::arg("target"),
             py::arg("settings"), py::arg("progress"));
  module.def("compress_samples", &compressSamples, py::arg("frames"), py::arg("samplerate"), py::arg("target"),
             py::arg("settings"), py::arg("progress"));
  module.def("version", [] { return std::string(qola_version()); });
  defineSamples(module);
}
