// Where the help window goes: beside the dialog, so that neither hides the
// other while the user reads and works.
#pragma once

#include <wx/gdicmn.h>

namespace qola::ui {

struct HelpPlacement {
  wxRect help;
  wxPoint dialog;  // where the dialog goes (where it is, unless it must make room)
};

// Within the screen's work area: the help at full size right of the dialog,
// else left of it; else the dialog moved just enough for both; else the help
// narrowed (not below minWidth) beside the dialog moved to the left edge;
// else, on a screen too small for both, the help at the right edge over the
// dialog's right part, its fields and options on the left still in view.
// The help's top is the dialog's, as far as the screen allows.
HelpPlacement placeHelp(const wxRect& screen, const wxRect& dialog, wxSize help, int gap, int minWidth);

}  // namespace qola::ui
