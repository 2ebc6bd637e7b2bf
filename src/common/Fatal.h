// Internal error helpers on top of the public fatalError.
#pragma once

#include <qola/qola.h>

#include <new>
#include <stdexcept>
#include <string>

namespace qola {

// A compressed file that cannot be what a writer produced: truncated,
// corrupted or crafted. Ends the job like every other fatal error.
[[noreturn]] void damagedFile(const std::string& what);

// The arithmetic coder's own error line: "file:line: error: message" on
// standard error, exit status 1.
[[noreturn]] void coderError(const char* file, int line, const std::string& message);

// Allocates a job buffer; on exhaustion ends with "error in memory allocation for NAME".
template <typename Buffer>
void allocateBuffer(Buffer& buffer, std::size_t count, const char* name) {
  try {
    buffer.assign(count, typename Buffer::value_type{});
  } catch (const std::bad_alloc&) {
    fatalError(std::string("error in memory allocation for ") + name, 1);
  } catch (const std::length_error&) {  // more than the allocator can ever give
    fatalError(std::string("error in memory allocation for ") + name, 1);
  }
}

}  // namespace qola
