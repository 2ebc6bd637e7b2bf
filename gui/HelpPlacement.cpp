#include "HelpPlacement.h"

#include <algorithm>

namespace qola::ui {

HelpPlacement placeHelp(const wxRect& screen, const wxRect& dialog, wxSize help, int gap, int minWidth) {
  const int screenEnd = screen.x + screen.width;
  const int height = std::min(help.y, screen.height);
  const int top = std::clamp(dialog.y, screen.y, screen.y + screen.height - height);
  HelpPlacement result{wxRect(0, top, help.x, height), dialog.GetPosition()};
  const int rightRoom = screenEnd - (dialog.x + dialog.width) - gap;
  const int leftRoom = dialog.x - screen.x - gap;
  if (rightRoom >= help.x) {
    result.help.x = dialog.x + dialog.width + gap;
  } else if (leftRoom >= help.x) {
    result.help.x = dialog.x - gap - help.x;
  } else if (screen.width >= dialog.width + gap + help.x) {
    // Toward the side with more room, by as little as both need.
    if (rightRoom >= leftRoom) {
      result.dialog.x = screenEnd - help.x - gap - dialog.width;
      result.help.x = screenEnd - help.x;
    } else {
      result.dialog.x = screen.x + help.x + gap;
      result.help.x = screen.x;
    }
  } else if (screen.width >= dialog.width + gap + minWidth) {
    result.dialog.x = screen.x;
    result.help.x = screen.x + dialog.width + gap;
    result.help.width = screenEnd - result.help.x;
  } else {
    result.dialog.x = screen.x;
    result.help.width = std::min(help.x, screen.width);
    result.help.x = screenEnd - result.help.width;
  }
  return result;
}

}  // namespace qola::ui
