#include "TextLimit.h"

#include <gtest/gtest.h>

namespace qola::ui {
namespace {

TEST(TextLimit, InsertionsAreCutToTheRoomLeft) {
  const std::u32string full(128, 'a'), longName(200, 'n');
  struct Case {
    std::u32string before, after;
    std::size_t limit;
    std::u32string kept;  // empty: the edit stands
    std::size_t caret;
  } const cases[] = {
      {U"", std::u32string(128, 'x'), 128, U"", 0},                         // fits exactly
      {full, full.substr(0, 10) + U"Z" + full.substr(10), 128, full, 10},   // typing into a full field
      {U"aaaa", U"aaaaa", 4, U"aaaa", 4},                                   // inside a run of equals
      {U"/tmp/", U"/tmp/" + std::u32string(200, 'p'), 128, U"/tmp/" + std::u32string(123, 'p'), 128},  // paste
      {U"ab", U"aqqqqqqqqqqb", 5, U"aqqqb", 4},                             // paste in the middle
      {U"abcdef", U"ab123456ef", 8, U"ab1234ef", 6},                        // over a selection
      {longName, longName.substr(1), 128, U"", 0},                          // longer text set by code may shrink...
      {longName, longName + U"x", 128, longName, 200},                      // ...but not grow
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.before.size() << " -> " << c.after.size() << " of " << c.limit);
    const auto result = limitInsertion(c.before, c.after, c.limit);
    ASSERT_EQ(result.has_value(), !c.kept.empty());
    if (result) {
      EXPECT_TRUE(result->text == c.kept && result->caret == c.caret) << "caret " << result->caret;
    }
  }
}

}  // namespace
}  // namespace qola::ui
