#include "ui/TextLimit.h"

#include <gtest/gtest.h>

namespace qola::ui {
namespace {

std::u32string repeat(char32_t c, std::size_t n) { return std::u32string(n, c); }

TEST(TextLimit, TypingStopsAtTheLimit) {
  EXPECT_FALSE(limitInsertion(U"", repeat('x', 128), 128));

  const std::u32string full = repeat('a', 128);
  auto kept = limitInsertion(full, full.substr(0, 10) + U"Z" + full.substr(10), 128);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, full);
  EXPECT_EQ(kept->caret, 10u);

  // Inside a run of equal characters the run simply must not grow.
  kept = limitInsertion(U"aaaa", U"aaaaa", 4);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, U"aaaa");
}

TEST(TextLimit, PasteIsCutToTheRoomLeft) {
  auto kept = limitInsertion(U"/tmp/", U"/tmp/" + repeat('p', 200), 128);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, U"/tmp/" + repeat('p', 123));
  EXPECT_EQ(kept->caret, 128u);

  // In the middle, the text after the paste stays.
  kept = limitInsertion(U"ab", U"a" + repeat('q', 10) + U"b", 5);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, U"aqqqb");
  EXPECT_EQ(kept->caret, 4u);

  // Over a selection, the replaced text makes room: "cd" of "abcdef" replaced, 8 allowed.
  kept = limitInsertion(U"abcdef", U"ab123456ef", 8);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, U"ab1234ef");
}

TEST(TextLimit, OverLongTextSetByCodeMayShrinkButNotGrow) {
  const std::u32string longName = repeat('n', 200);
  EXPECT_FALSE(limitInsertion(longName, longName.substr(1), 128));
  auto kept = limitInsertion(longName, longName + U"x", 128);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, longName);
}

}  // namespace
}  // namespace qola::ui
