#include "AboutDialog.h"

#include "DialogTemplate.h"
#include "TemplateWindow.h"

namespace qola::ui {

AboutDialog::AboutDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  buildFromTemplate(*this, aboutDialogTemplate());
  // The OK button (id 1) ends the box; Escape and the close box do the same.
  SetAffirmativeId(kIdOk);
  SetEscapeId(kIdOk);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) {
    if (event.GetId() == kIdOk) {
      EndModal(kIdOk);
    } else {
      event.Skip();
    }
  });
  CentreOnParent();
}

}  // namespace qola::ui
