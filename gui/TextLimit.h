// Typing and pasting stop at a field's character limit. The toolkit's own
// limit on GTK drops a whole over-long insertion, even one made by code, so
// the fields check each user edit themselves.
#pragma once

#include <optional>
#include <string>

namespace qola::ui {

struct LimitedEdit {
  std::u32string text;
  std::size_t caret;  // insertion point after the edit
};

// Given the text before and after a user edit, returns the text to keep when
// the edit would make the text longer than the limit: the text before it,
// with the caret where the edit began. A name is never cut: what does not fit
// whole is not taken at all. Nothing when the edit stands: it fits, or it did
// not make the text longer (texts set by code may exceed the limit, and the
// user may still delete from them).
std::optional<LimitedEdit> limitInsertion(const std::u32string& before, const std::u32string& after,
                                          std::size_t limit);

}  // namespace qola::ui
