#include "common/Fatal.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qola::test {
namespace {

// Each error reaches the caller as a status, its cause and code 1; the
// programs' text adds their wording around the cause.
TEST(FatalError, ThrowsTheStatusMessageAndCode) {
  const struct {
    void (*raise)();
    Failure status;
    const char* message;
    const char* programText;
  } cases[] = {
      {[] { fatalError("error in memory allocation for AWi", 1); }, Failure::Job,
       "error in memory allocation for AWi", "error in memory allocation for AWi"},
      {[] { damagedFile("a segment is longer than its block"); }, Failure::Job,
       "Damaged file: a segment is longer than its block",
       "Damaged file: a segment is longer than its block, program terminated"},
      {[] { fileEndsEarly("inside a segment"); }, Failure::Job, "Damaged file: the file ends inside a segment",
       "Damaged file: the file ends inside a segment, program terminated"},
      {[] { terminatingError("Old file version"); }, Failure::Job, "Old file version",
       "Old file version, program terminated"},
      {[] { coderError("/build/src/entropy/Ac.cpp", 42, "symbol out of range"); }, Failure::Coder,
       "symbol out of range", "Ac.cpp:42: error: symbol out of range"},
      {[] { fatalErrorOn(ErrorChannel::StandardOutput, "SRFFT: logm", 1); }, Failure::Transform, "SRFFT: logm",
       "Error: SRFFT: logm"},
  };
  for (const auto& c : cases) {
    try {
      c.raise();
      FAIL() << "returned";
    } catch (const JobError& error) {
      EXPECT_EQ(error.status, c.status);
      EXPECT_EQ(error.message, c.message);
      EXPECT_EQ(programText(error), c.programText);
      EXPECT_EQ(error.code, 1);
      // Only a cut input may be salvaged up to its end.
      EXPECT_EQ(error.inputEnded, &c == &cases[2]);
    }
  }
}

TEST(AllocateBuffer, NamesTheBufferWhenMemoryRunsOut) {
  std::vector<double> huge;
  const auto message = fatalMessageOf([&] { allocateBuffer(huge, std::size_t{1} << 60, "Temp"); });
  EXPECT_EQ(message, "error in memory allocation for Temp");
}

}  // namespace
}  // namespace qola::test
