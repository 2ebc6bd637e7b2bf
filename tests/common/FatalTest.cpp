#include "common/Fatal.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qola::test {
namespace {

TEST(FatalErrorDeathTest, DefaultHandlerPrintsTheMessageAndExitsWithTheCode) {
  EXPECT_EXIT(fatalError("error in memory allocation for AWi", 1), ::testing::ExitedWithCode(1),
              "^error in memory allocation for AWi\n$");
  EXPECT_EXIT(coderError("/build/src/entropy/Ac.cpp", 42, "symbol out of range"), ::testing::ExitedWithCode(1),
              "^Ac.cpp:42: error: symbol out of range\n$");
}

void returningHandler(const std::string&, int, ErrorChannel) {}

TEST(FatalErrorDeathTest, AHandlerThatReturnsStillEndsTheProcess) {
  EXPECT_EXIT(
      {
        setFatalHandler(&returningHandler);
        fatalError("ignored", 1);
      },
      ::testing::ExitedWithCode(1), "");
}

TEST(FatalError, HandlersAreReplaceableAndRestored) {
  const FatalHandler before = setFatalHandler(nullptr);  // nullptr means the default
  EXPECT_EQ(before, &defaultFatalHandler);
  {
    ScopedFatalCatcher catcher;
    try {
      damagedFile("the file ends early");
      FAIL() << "returned";
    } catch (const FatalCaught& caught) {
      EXPECT_EQ(caught.message, "Damaged file: the file ends early, program terminated");
      EXPECT_EQ(caught.code, 1);
      EXPECT_EQ(caught.channel, ErrorChannel::MessageBox);
    }
  }
  EXPECT_EQ(setFatalHandler(nullptr), &defaultFatalHandler);
}

TEST(AllocateBuffer, NamesTheBufferWhenMemoryRunsOut) {
  std::vector<double> huge;
  const auto message = fatalMessageOf([&] { allocateBuffer(huge, std::size_t{1} << 60, "Temp"); });
  EXPECT_EQ(message, "error in memory allocation for Temp");
}

}  // namespace
}  // namespace qola::test
