// Job settings from the keyword arguments the Python half has checked.
#pragma once

#include <pybind11/pybind11.h>

#include <qola/qola.h>

namespace pyqola {

// The library's defaults with the named fields replaced; an unknown name or a
// value that is not an integer raises TypeError.
qola_settings settingsFrom(const pybind11::dict& values);

}  // namespace pyqola
