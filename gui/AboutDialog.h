// The About box, closed by OK, Escape or the close box.
#pragma once

#include <wx/dialog.h>

namespace qola::ui {

class AboutDialog : public wxDialog {
 public:
  explicit AboutDialog(wxWindow* parent);
};

}  // namespace qola::ui
