#include "common/InputSpool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/OutputFile.h"

namespace qola {
namespace {

constexpr std::size_t kChunk = 1 << 16;

[[noreturn]] void cannotKeep(int error) {
  throw JobError{Failure::Job,
                 std::string("cannot keep a copy of the input for compression: ") + std::strerror(error), 1};
}

}  // namespace

std::unique_ptr<InputStream> spoolInput(InputStream& input) {
  UniqueFd fd = unnamedScratchFile();
  if (!fd) cannotKeep(errno);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(::fdopen(fd.get(), "w+b"), &std::fclose);
  if (!file) cannotKeep(errno);
  fd.release();  // the stream closes it now
  std::vector<std::uint8_t> chunk(kChunk);
  for (std::size_t got = 0; (got = input.read(chunk.data(), chunk.size())) > 0;) {
    if (std::fwrite(chunk.data(), 1, got, file.get()) != got) cannotKeep(errno);
  }
  if (input.readFailed()) throw JobError{Failure::Job, "read error: the input could not be read to its end", 1};
  if (std::fflush(file.get()) != 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) cannotKeep(errno);
  input.close();
  return std::make_unique<InputStream>(file.release(), true);
}

}  // namespace qola
