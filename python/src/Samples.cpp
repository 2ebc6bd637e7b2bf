#include "Samples.h"

#include <qola/qola.hpp>

#include <algorithm>
#include <cstring>
#include <string>

#include "Jobs.h"

namespace py = pybind11;

namespace pyqola {
namespace {

py::dict probe(const py::object& sourceObject, bool sourceIsPath) {
  Source source = Source::open(sourceObject, sourceIsPath);
  qola_info info{};
  info.size = sizeof info;
  qola_status status;
  {
    py::gil_scoped_release unlocked;
    status = qola_probe(source.input.get(), &info);
  }
  if (status != QOLA_OK) throw qola::Error(status, qola_status_string(status), 1);
  py::dict facts;
  facts["channels"] = info.channels;
  facts["sample_bits"] = info.sample_bits;
  facts["block_length"] = info.block_length;
  facts["frames"] = info.frames;
  facts["file_version"] = info.file_version;
  facts["header_length"] = info.wav_header ? info.header_length : 0;
  facts["samplerate"] = info.sample_rate > 0 ? py::object(py::int_(info.sample_rate)) : py::none();
  facts["channel_mask"] = info.channel_mask;
  facts["trailer"] = info.trailer;
  facts["md5"] = info.trailer == 1 ? py::object(py::bytes(reinterpret_cast<const char*>(info.md5), sizeof info.md5))
                                   : py::none();
  facts["big_endian"] = info.trailer == 1 && info.swap_bytes != 0;
  facts["original_size"] = info.original_size;
  facts["compressed_size"] = info.compressed_size;
  facts["index"] = info.index;
  return facts;
}

// Takes a restore's output bytes and keeps those of the frames: the stored
// header before them and any bytes after the last whole frame are dropped.
struct FrameSink {
  std::uint8_t* frames;
  std::size_t size;
  std::size_t skip;  // the bytes before the first frame wanted
  std::size_t offset = 0;

  static int write(void* user, const void* data, std::size_t count) {
    auto& sink = *static_cast<FrameSink*>(user);
    const std::size_t first = std::max(sink.offset, sink.skip);
    const std::size_t last = std::min(sink.offset + count, sink.skip + sink.size);
    if (first < last) {
      std::memcpy(sink.frames + (first - sink.skip), static_cast<const std::uint8_t*>(data) + (first - sink.offset),
                  last - first);
    }
    sink.offset += count;
    return 0;
  }
};

// Restores a whole file on every thread straight into frames, whose size the
// caller took from the probe; samples come little-endian.
py::dict restoreInto(const py::object& sourceObject, bool sourceIsPath, std::size_t skip, py::buffer frames,
                     int threads, const py::object& progressFunction) {
  py::buffer_info target = frames.request(true);
  FrameSink sink{static_cast<std::uint8_t*>(target.ptr), static_cast<std::size_t>(target.size * target.itemsize),
                 skip};
  qola_settings settings;
  qola_default_settings(&settings);
  settings.swap_bytes = -1;
  settings.threads = threads;
  JobHandle job(checked(qola_job_create(&settings)));
  Source source = Source::open(sourceObject, sourceIsPath);
  OutputHandle output(checked(qola_output_callbacks(&FrameSink::write, &sink)));
  Progress progress(progressFunction);
  const qola_result& result = runJob(job.get(), false, source.input.get(), output.get(), progress);
  py::dict facts;
  facts["checksum"] = static_cast<int>(result.checksum);
  facts["written"] = sink.offset;
  return facts;
}

// Decodes the frames from `start` on into frames (frames x channels, the
// file's layout in the host's order) through the seeking decoder, in slices
// between which progress may cancel.
void decodeInto(const py::object& sourceObject, bool sourceIsPath, std::int64_t start, py::buffer frames,
                const py::object& progressFunction) {
  constexpr std::size_t kSlice = 1 << 16;
  py::buffer_info target = frames.request(true);
  Source source = Source::open(sourceObject, sourceIsPath);
  DecoderHandle decoder(checked(qola_decoder_open(source.input.get())));
  const auto fail = [&] {
    throw qola::Error(qola_decoder_status(decoder.get()), qola_decoder_message(decoder.get()), 1);
  };
  if (qola_decoder_status(decoder.get()) != QOLA_OK) fail();
  const std::size_t total = static_cast<std::size_t>(target.shape.empty() ? 0 : target.shape[0]);
  const std::size_t frameBytes = total == 0 ? 0 : static_cast<std::size_t>(target.size * target.itemsize) / total;
  Progress progress(progressFunction);
  auto* out = static_cast<std::uint8_t*>(target.ptr);
  std::size_t done = 0;
  qola_status status = qola_decoder_seek(decoder.get(), start);
  while (status == QOLA_OK && done < total) {
    std::size_t read = 0;
    {
      py::gil_scoped_release unlocked;
      status = qola_decoder_read(decoder.get(), out + done * frameBytes, std::min(kSlice, total - done), &read);
    }
    if (status == QOLA_OK && read == 0) throw qola::Error(QOLA_ERROR_JOB, "the file ends before its last frame", 1);
    done += read;
    if (status == QOLA_OK && progress.report(static_cast<int>(done * 100 / total))) {
      progress.raisePending();
      throw qola::Error(QOLA_CANCELLED, qola_status_string(QOLA_CANCELLED), 1);
    }
  }
  if (status != QOLA_OK) fail();
}

// The frames of the stored WAV file's data chunk: (first, count).
py::tuple audioFrames(const py::object& sourceObject, bool sourceIsPath) {
  Source source = Source::open(sourceObject, sourceIsPath);
  DecoderHandle decoder(checked(qola_decoder_open(source.input.get())));
  std::int64_t first = 0, count = 0;
  qola_status status = qola_decoder_status(decoder.get());
  if (status == QOLA_OK) {
    py::gil_scoped_release unlocked;
    status = qola_decoder_audio_frames(decoder.get(), &first, &count);
  }
  if (status != QOLA_OK) throw qola::Error(status, qola_decoder_message(decoder.get()), 1);
  return py::make_tuple(first, count);
}

}  // namespace

void defineSamples(py::module_& module) {
  module.def("audio_frames", &audioFrames, py::arg("source"), py::arg("source_is_path"));
  module.def("probe", &probe, py::arg("source"), py::arg("source_is_path"));
  module.def("restore_into", &restoreInto, py::arg("source"), py::arg("source_is_path"), py::arg("skip"),
             py::arg("frames"), py::arg("threads"), py::arg("progress"));
  module.def("decode_into", &decodeInto, py::arg("source"), py::arg("source_is_path"), py::arg("start"),
             py::arg("frames"), py::arg("progress"));
}

}  // namespace pyqola
