#include "dsp/TransformTables.h"

#include "common/Fatal.h"

#include <string>

namespace qola {

void checkLogm(const char* name, int logm, int maxLogm) {
  if (logm < 0 || logm > maxLogm) {
    fatalErrorOn(ErrorChannel::StandardOutput,
                 std::string(name) + ": logm = " + std::to_string(logm) + " is out of bounds [0, " +
                     std::to_string(maxLogm) + "]",
                 1);
  }
}

}  // namespace qola
