#include <gtest/gtest.h>

#include <cstdio>

#include "TestSupport.h"

namespace qola::test {
namespace {

// A step back counts fetches at the end too, and works on a file read strictly
// forwards (as a pipe is) just after each buffer refill.
TEST(InputStream, StepBackAtTheEndAndAcrossBufferRefills) {
  const Bytes small = {1, 2, 3};
  InputStream in(small);
  for (int expected : {1, 2, 3, -1}) EXPECT_EQ(in.getByte(), expected);
  in.stepBack(2);  // one end fetch and the byte 3
  EXPECT_EQ(in.getByte(), 3);
  EXPECT_EQ(in.getByte(), -1);

  Bytes data(200000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  std::FILE* pipe = tmpfile();
  ASSERT_NE(pipe, nullptr);
  std::fwrite(data.data(), 1, data.size(), pipe);
  std::rewind(pipe);
  InputStream piped(pipe);
  for (std::size_t i = 0; i < data.size(); ++i) {
    ASSERT_EQ(piped.getByte(), data[i]);
    if (i % 65536 <= 1) {
      piped.stepBack(i == 0 ? 1 : 2);
      if (i != 0) {
        ASSERT_EQ(piped.getByte(), data[i - 1]);
      }
      ASSERT_EQ(piped.getByte(), data[i]);
    }
  }
  EXPECT_EQ(piped.size(), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(piped.getByte(), -1);
}

}  // namespace
}  // namespace qola::test
