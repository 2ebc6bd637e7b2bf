// Sample frames into numpy arrays: a file's facts from the probe, a whole
// file through a restore job, a range through the seeking decoder.
#pragma once

#include <pybind11/pybind11.h>

namespace pyqola {

void defineSamples(pybind11::module_& module);

}  // namespace pyqola
