#include <gtest/gtest.h>

#include <cstdio>

#include "TestSupport.h"

namespace qola::test {
namespace {

TEST(InputStream, StepBackCountsFetchesAtTheEnd) {
  const Bytes data = {1, 2, 3};
  InputStream in(data);
  EXPECT_EQ(in.getByte(), 1);
  EXPECT_EQ(in.getByte(), 2);
  EXPECT_EQ(in.getByte(), 3);
  EXPECT_EQ(in.getByte(), -1);
  in.stepBack(2);  // one end fetch and the byte 3
  EXPECT_EQ(in.getByte(), 3);
  EXPECT_EQ(in.getByte(), -1);
}

TEST(InputStream, StepBackWorksOnAPipeAcrossBufferRefills) {
  Bytes data(200000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  std::FILE* pipe = tmpfile();  // a plain file read strictly forwards, like a pipe
  ASSERT_NE(pipe, nullptr);
  std::fwrite(data.data(), 1, data.size(), pipe);
  std::rewind(pipe);
  InputStream in(pipe);
  for (std::size_t i = 0; i < data.size(); ++i) {
    ASSERT_EQ(in.getByte(), data[i]);
    if (i % 65536 == 0 || i % 65536 == 1) {  // just after a refill
      in.stepBack(i == 0 ? 1 : 2);
      if (i != 0) {
        ASSERT_EQ(in.getByte(), data[i - 1]);
      }
      ASSERT_EQ(in.getByte(), data[i]);
    }
  }
  EXPECT_EQ(in.size(), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(in.getByte(), -1);
}

TEST(OutputStream, CountsEveryByteAndAppendsToMemory) {
  Bytes sink;
  OutputStream out(sink);
  out.putByte(9);
  const std::uint8_t more[] = {1, 2, 3};
  out.write(more, 3);
  EXPECT_EQ(out.position(), 4);
  EXPECT_EQ(sink, (Bytes{9, 1, 2, 3}));
}

}  // namespace
}  // namespace qola::test
