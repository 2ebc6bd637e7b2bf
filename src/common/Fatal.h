// Job errors. Every error inside a job becomes a JobError: it unwinds to the
// job's entry point, which hands status, message and exit code to the caller.
// Nothing here prints or ends the process.
#pragma once

#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace qola {

// What went wrong, as the public interface reports it: each value is the
// number of the public status of the same name, which api/ hands out.
enum class Failure {
  Job = 1,        // damaged input, memory, coding error
  Transform = 2,  // a transform refused its length
  Coder = 3,      // the arithmetic coder's own check
  Write = 4,      // the output could not be written
  NeedsSize = 5,  // an input that cannot be measured
  NotQola = 6,    // the input is not a compressed file
  Argument = 7,   // a missing handle or a value out of range
  Cancelled = 8,  // the caller asked the job to stop
  Checksum = 9,   // restored, but not to the original
};

// Who reports an error, and so where a program shows it: the job's message
// box, or the plain text lines of the transforms and the arithmetic coder.
enum class ErrorChannel { MessageBox, StandardOutput, StandardError };

// The message states the cause only; programText adds what the qola
// programs show around it.
struct JobError {
  JobError() = default;
  JobError(Failure status, std::string message, int code)
      : status(status), message(std::move(message)), code(code) {}

  Failure status = Failure::Job;
  std::string message;  // without a trailing newline
  int code = 1;         // the exit code the programs use
  std::string origin;   // the coder's "file:line" of the failing check ("" for others)
  bool terminates = false;  // the programs add ", program terminated"
  bool inputEnded = false;  // the input ran out before what it holds: a file cut short
};

// The error as the programs show it: the coder's "file:line: error: "
// prefix, the transforms' "Error: " prefix, ", program terminated" after a
// coding or format error.
std::string programText(const JobError& error);

[[noreturn]] void fatalError(const std::string& message, int code);
// A coding or format error of a job: the programs say the program terminated.
[[noreturn]] void terminatingError(const std::string& cause);
[[noreturn]] void fatalErrorOn(ErrorChannel channel, const std::string& message, int code);

// A compressed file that cannot be what a writer produced: truncated,
// corrupted or crafted.
[[noreturn]] void damagedFile(const std::string& what);
// The damaged file whose input ends before what it holds, inside `where`.
[[noreturn]] void fileEndsEarly(const std::string& where);

// The arithmetic coder's own error, with the place of its check, code 1.
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
