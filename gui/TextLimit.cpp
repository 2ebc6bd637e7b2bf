#include "TextLimit.h"

#include <algorithm>

namespace qola::ui {

std::optional<LimitedEdit> limitInsertion(const std::u32string& before, const std::u32string& after,
                                          std::size_t limit) {
  if (after.size() <= limit || after.size() <= before.size()) return std::nullopt;
  // The edit began where the two texts first differ.
  const std::size_t shorter = std::min(before.size(), after.size());
  std::size_t prefix = 0;
  while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
  return LimitedEdit{before, prefix};
}

}  // namespace qola::ui
