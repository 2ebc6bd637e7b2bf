#include "ui/TextLimit.h"

#include <gtest/gtest.h>

namespace qola::ui {
namespace {

std::u32string repeat(char32_t c, std::size_t n) { return std::u32string(n, c); }

TEST(TextLimit, EditsWithinTheLimitStand) {
  EXPECT_FALSE(limitInsertion(U"abc", U"abcd", 4));
  EXPECT_FALSE(limitInsertion(U"", repeat('x', 128), 128));
}

TEST(TextLimit, TypingAtTheLimitIsRefused) {
  const std::u32string full = repeat('a', 128);
  const std::u32string typed = full.substr(0, 10) + U"Z" + full.substr(10);
  auto kept = limitInsertion(full, typed, 128);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, full);
  EXPECT_EQ(kept->caret, 10u);
}

TEST(TextLimit, PasteIsCutToTheRoomLeft) {
  // "/tmp/" + paste of 200 characters at the end: 123 of them fit.
  auto kept = limitInsertion(U"/tmp/", U"/tmp/" + repeat('p', 200), 128);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, U"/tmp/" + repeat('p', 123));
  EXPECT_EQ(kept->caret, 128u);

  // A paste in the middle keeps the text after it.
  kept = limitInsertion(U"ab", U"a" + repeat('q', 10) + U"b", 5);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, U"aqqqb");
  EXPECT_EQ(kept->caret, 4u);
}

TEST(TextLimit, PasteOverASelectionCountsTheReplacedText) {
  // "abcdef" with "cd" selected, replaced by "123456": room is 8 - 4 = 4.
  auto kept = limitInsertion(U"abcdef", U"ab123456ef", 8);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, U"ab1234ef");
  EXPECT_EQ(kept->caret, 6u);
}

TEST(TextLimit, RepeatedCharactersAreNotMistakenForTheInsertion) {
  // Typing 'a' inside a run of 'a's: the run grows by one, whichever 'a' it was.
  auto kept = limitInsertion(U"aaaa", U"aaaaa", 4);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, U"aaaa");
}

TEST(TextLimit, OverLongTextSetByCodeMayBeShortenedButNotGrown) {
  const std::u32string longName = repeat('n', 200);
  EXPECT_FALSE(limitInsertion(longName, longName.substr(1), 128));  // deleting stands
  auto kept = limitInsertion(longName, longName + U"x", 128);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->text, longName);
}

}  // namespace
}  // namespace qola::ui
