#include "Settings.h"

#include <array>
#include <string_view>

namespace py = pybind11;

namespace pyqola {
namespace {

struct Field {
  std::string_view name;
  void (*set)(qola_settings&, int);
};

// One entry per setting a caller may name; the library checks the ranges.
constexpr std::array kFields{
    Field{"channels", [](qola_settings& s, int v) { s.channels = v; }},
    Field{"sample_bits", [](qola_settings& s, int v) { s.sample_bits = v; }},
    Field{"block_length", [](qola_settings& s, int v) { s.block_length = v; }},
    Field{"adaptation", [](qola_settings& s, int v) { s.adaptation = static_cast<qola_adaptation>(v); }},
    Field{"wav_evaluation", [](qola_settings& s, int v) { s.wav_evaluation = v; }},
    Field{"joint_stereo", [](qola_settings& s, int v) { s.joint_stereo = v; }},
    Field{"swap_bytes", [](qola_settings& s, int v) { s.swap_bytes = v; }},
    Field{"threads", [](qola_settings& s, int v) { s.threads = v; }},
    Field{"encoder_mode", [](qola_settings& s, int v) { s.encoder_mode = static_cast<qola_encoder_mode>(v); }},
    Field{"trailer", [](qola_settings& s, int v) { s.trailer = v; }},
};

}  // namespace

qola_settings settingsFrom(const py::dict& values) {
  qola_settings settings;
  qola_default_settings(&settings);
  for (const auto& [key, value] : values) {
    const auto name = key.cast<std::string>();
    const Field* field = nullptr;
    for (const Field& candidate : kFields) {
      if (candidate.name == name) field = &candidate;
    }
    if (field == nullptr) throw py::type_error("unknown setting '" + name + "'");
    if (!py::isinstance<py::int_>(value)) throw py::type_error("setting '" + name + "' must be an integer");
    field->set(settings, value.cast<int>());
  }
  return settings;
}

}  // namespace pyqola
