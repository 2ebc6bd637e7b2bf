#include "HelpPlacement.h"

#include <gtest/gtest.h>

namespace qola::ui {
namespace {

// The dialog (524 x 427) centred, as it opens, and moved; the help 698 x 455.
TEST(HelpPlacement, BesideTheDialogWhereTheScreenHasRoom) {
  const wxSize dialog(524, 427), help(698, 455);
  struct Case {
    const char* what;
    wxRect screen;
    wxPoint dialog;  // (-1, -1): centred
    wxRect help;
    wxPoint dialogAfter;
  } const cases[] = {
      {"room on the right", {0, 0, 1920, 1080}, {100, 300}, {632, 300, 698, 455}, {100, 300}},
      {"room on the left only", {0, 0, 1920, 1080}, {1300, 300}, {594, 300, 698, 455}, {1300, 300}},
      {"1920 x 1080, centred: moved by 8", {0, 0, 1920, 1080}, {-1, -1}, {1222, 326, 698, 455}, {690, 326}},
      {"1600 x 1000, centred: moved left", {0, 0, 1600, 1000}, {-1, -1}, {902, 286, 698, 455}, {370, 286}},
      {"more room on the left: moved right", {0, 0, 1600, 1000}, {700, 100}, {0, 100, 698, 455}, {706, 100}},
      {"1024 x 768: the help narrowed", {0, 0, 1024, 768}, {-1, -1}, {532, 170, 492, 455}, {0, 170}},
      {"800 x 600: over the dialog's right part", {0, 0, 800, 600}, {-1, -1}, {102, 86, 698, 455}, {0, 86}},
      {"a low dialog: its top kept", {0, 0, 1920, 1080}, {100, 900}, {632, 625, 698, 455}, {100, 900}},
      {"a second screen's work area", {1920, 30, 1920, 1050}, {2000, 100}, {2532, 100, 698, 455}, {2000, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const wxPoint centred(c.screen.x + (c.screen.width - dialog.x) / 2,
                          c.screen.y + (c.screen.height - dialog.y) / 2);
    const wxRect before(c.dialog.x < 0 ? centred : c.dialog, dialog);
    const HelpPlacement placed = placeHelp(c.screen, before, help, 8, 450);
    EXPECT_EQ(placed.help, c.help) << placed.help.x << "," << placed.help.y << " " << placed.help.width;
    EXPECT_EQ(placed.dialog, c.dialogAfter) << placed.dialog.x;
    const wxRect dialogAfter(placed.dialog, dialog);
    EXPECT_TRUE(c.screen.Contains(placed.help));
    if (c.screen.width >= 524 + 8 + 450) {
      EXPECT_FALSE(placed.help.Intersects(dialogAfter));
    }
  }
}

}  // namespace
}  // namespace qola::ui
