#include "TextLimit.h"

#include <gtest/gtest.h>

namespace qola::ui {
namespace {

// What does not fit whole is refused whole: a pasted name is never cut.
TEST(TextLimit, InsertionsThatDoNotFitAreRefusedWhole) {
  const std::u32string full(128, 'a'), longName(200, 'n');
  struct Case {
    std::u32string before, after;
    std::size_t limit;
    bool refused;
    std::size_t caret;
  } const cases[] = {
      {U"", std::u32string(128, 'x'), 128, false, 0},                      // fits exactly
      {full, full.substr(0, 10) + U"Z" + full.substr(10), 128, true, 10},  // typing into a full field
      {U"aaaa", U"aaaaa", 4, true, 4},                                     // inside a run of equals
      {U"/tmp/", U"/tmp/" + std::u32string(200, 'p'), 128, true, 5},       // a long paste: nothing of it
      {U"ab", U"aqqqqqqqqqqb", 5, true, 1},                                // paste in the middle
      {U"abcdef", U"ab1234ef", 8, false, 0},                               // over a selection, fits
      {longName, longName.substr(1), 128, false, 0},                       // longer text set by code may shrink...
      {longName, longName + U"x", 128, true, 200},                         // ...but not grow
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.before.size() << " -> " << c.after.size() << " of " << c.limit);
    const auto result = limitInsertion(c.before, c.after, c.limit);
    ASSERT_EQ(result.has_value(), c.refused);
    if (result) {
      EXPECT_TRUE(result->text == c.before && result->caret == c.caret) << "caret " << result->caret;
    }
  }
}

}  // namespace
}  // namespace qola::ui
