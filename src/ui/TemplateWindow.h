// Builds a dialog's controls from its template. Rectangles are in dialog
// units, which the toolkit converts with the dialog's font.
#pragma once

#include <wx/dialog.h>
#include <wx/icon.h>
#include <wx/iconbndl.h>

#include "ui/DialogTemplate.h"

namespace qola::ui {

// Sizes the dialog and creates every control as its child, in template
// (and so tab) order. Window ids are the template ids; unaddressed labels get
// fresh ids.
void buildFromTemplate(wxDialog& dialog, const DialogTemplate& dialogTemplate);

// Icon 128 at 32x32 and 16x16.
wxIconBundle applicationIcons();
wxIcon applicationIcon();

// The words of a label broken into lines no wider than width pixels.
wxString wrapLabel(const wxWindow& window, const wxString& label, int width);

}  // namespace qola::ui
