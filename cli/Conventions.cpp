#include "Conventions.h"

#include <unistd.h>

#include <cstring>
#include <string_view>

#include <qola/qola.h>

namespace qola::cli {

bool alreadyCompressed(const InputFile& input) {
  constexpr std::string_view kExtension = ".qla";
  const std::string_view name = input.name;
  if (name.size() > kExtension.size() && name.substr(name.size() - kExtension.size()) == kExtension) return true;
  if (!input.regular) return false;
  // The probe reads the file by its name, leaving the job's descriptor where it is.
  qola_input* probed = qola_input_open(input.name.c_str());
  if (probed == nullptr) return false;
  qola_info info{};
  info.size = sizeof info;
  const bool compressed = qola_probe(probed, &info) == QOLA_OK && info.trailer == 1;
  qola_input_free(probed);
  return compressed;
}

bool startsAsWav(const InputFile& input) {
  char head[12] = {};
  return input.regular && ::pread(input.fd.get(), head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) &&
         std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
}

}  // namespace qola::cli
