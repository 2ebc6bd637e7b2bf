#include "TextLimit.h"

#include <algorithm>

namespace qola::ui {

std::optional<LimitedEdit> limitInsertion(const std::u32string& before, const std::u32string& after,
                                          std::size_t limit) {
  if (after.size() <= limit || after.size() <= before.size()) return std::nullopt;

  // The edit replaced before[prefix, before.size() - suffix) with after[prefix, after.size() - suffix).
  std::size_t prefix = 0;
  const std::size_t shorter = std::min(before.size(), after.size());
  while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < shorter - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::size_t removed = before.size() - prefix - suffix;
  const std::size_t inserted = after.size() - prefix - suffix;
  const std::size_t kept = before.size() - removed;
  const std::size_t room = kept < limit ? limit - kept : 0;

  LimitedEdit result;
  result.text = after.substr(0, prefix) + after.substr(prefix, std::min(inserted, room)) +
                after.substr(after.size() - suffix);
  result.caret = prefix + std::min(inserted, room);
  return result;
}

}  // namespace qola::ui
