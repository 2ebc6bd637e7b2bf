// Builds a dialog's controls from its template. Rectangles are in dialog
// units, which the toolkit converts with the dialog's font.
#pragma once

#include <wx/dialog.h>
#include <wx/icon.h>
#include <wx/iconbndl.h>

#include "DialogTemplate.h"

namespace qola::ui {

// Sizes the dialog and creates every control as its child, in template
// (and so tab) order. Window ids are the template ids; unaddressed labels get
// fresh ids.
void buildFromTemplate(wxDialog& dialog, const DialogTemplate& dialogTemplate);

// The toolkit's window id of a template id and back: wx ids stop at 32767,
// so the framework's help command becomes wx's own help id.
int windowId(int templateId);
int templateId(int windowId);

// Icon 128 at 32x32 and 16x16.
wxIconBundle applicationIcons();
wxIcon applicationIcon();

// The words of a label broken into lines no wider than width pixels.
wxString wrapLabel(const wxWindow& window, const wxString& label, int width);

}  // namespace qola::ui
