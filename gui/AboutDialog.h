// The About box, closed by OK, Escape or the close box.
#pragma once

#include <wx/dialog.h>

namespace qola::ui {

class CAboutDialog : public wxDialog {
 public:
  explicit CAboutDialog(wxWindow* parent);
};

}  // namespace qola::ui
