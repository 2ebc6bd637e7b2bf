#include "TemplateWindow.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/gauge.h>
#include <wx/radiobut.h>
#include <wx/settings.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tokenzr.h>

#include <algorithm>

#include "resources/qola-16.xpm"
#include "resources/qola-32.xpm"

namespace qola::ui {
namespace {

wxRect pixelRect(wxWindow& dialog, const ControlTemplate& control) {
  const wxPoint position = dialog.ConvertDialogToPixels(wxPoint(control.x, control.y));
  const wxSize size = dialog.ConvertDialogToPixels(wxSize(control.width, control.height));
  return {position, size};
}

// The check box's indicator and its gap take this much of the control's width.
int checkIndicatorWidth(const wxWindow& window) { return window.FromDIP(24); }

wxWindow* createControl(wxDialog& dialog, const ControlTemplate& control) {
  const wxRect rect = pixelRect(dialog, control);
  const wxString label = wxString::FromUTF8(control.label);
  const int id = control.id == kStaticId ? wxID_ANY : windowId(control.id);
  switch (control.kind) {
    case ControlKind::Edit:
      return new wxTextCtrl(&dialog, id, wxEmptyString, rect.GetPosition(), rect.GetSize());
    case ControlKind::DefaultButton: {
      auto* button = new wxButton(&dialog, id, label, rect.GetPosition(), rect.GetSize());
      button->SetDefault();
      return button;
    }
    case ControlKind::Button:
      return new wxButton(&dialog, id, label, rect.GetPosition(), rect.GetSize());
    case ControlKind::Radio:
      return new wxRadioButton(&dialog, id, label, rect.GetPosition(), rect.GetSize(),
                               control.groupStart ? wxRB_GROUP : 0);
    case ControlKind::Check: {
      // GTK draws a check box label on one line: break it ourselves where the template is taller.
      const bool multiline = control.height > 10;
      const wxString text =
          multiline ? wrapLabel(dialog, label, rect.width - checkIndicatorWidth(dialog)) : label;
      return new wxCheckBox(&dialog, id, text, rect.GetPosition(), rect.GetSize());
    }
    case ControlKind::Progress:
      return new wxGauge(&dialog, id, 100, rect.GetPosition(), rect.GetSize(),
                         wxGA_HORIZONTAL | wxGA_SMOOTH);
    case ControlKind::Label: {
      // A label never clips: the toolkit's font may be wider than the template's.
      auto* text = new wxStaticText(&dialog, id, label, rect.GetPosition());
      text->SetSize(rect.GetPosition().x, rect.GetPosition().y,
                    std::max(rect.width, text->GetBestSize().x), std::max(rect.height, text->GetBestSize().y));
      return text;
    }
    case ControlKind::GroupBox:
      return new wxStaticBox(&dialog, id, label, rect.GetPosition(), rect.GetSize());
    case ControlKind::Icon:
      return new wxStaticBitmap(&dialog, id, wxBitmap(qola_32_xpm), rect.GetPosition(),
                                rect.GetSize());
  }
  return nullptr;
}

}  // namespace

int windowId(int id) { return id == kIdHelp ? wxID_HELP : id; }
int templateId(int id) { return id == wxID_HELP ? kIdHelp : id; }

wxString wrapLabel(const wxWindow& window, const wxString& label, int width) {
  wxString result;
  wxString line;
  wxStringTokenizer words(label, " ");
  while (words.HasMoreTokens()) {
    const wxString word = words.GetNextToken();
    const wxString candidate = line.empty() ? word : line + " " + word;
    if (!line.empty() && window.GetTextExtent(candidate).x > width) {
      result += line + "\n";
      line = word;
    } else {
      line = candidate;
    }
  }
  return result + line;
}

void buildFromTemplate(wxDialog& dialog, const DialogTemplate& dialogTemplate) {
  dialog.SetTitle(wxString::FromUTF8(dialogTemplate.title));
  dialog.SetClientSize(
      dialog.ConvertDialogToPixels(wxSize(dialogTemplate.width, dialogTemplate.height)));
  for (const ControlTemplate& control : dialogTemplate.controls) createControl(dialog, control);
}

wxIconBundle applicationIcons() {
  wxIconBundle icons;
  icons.AddIcon(wxIcon(qola_32_xpm));
  icons.AddIcon(wxIcon(qola_16_xpm));
  return icons;
}

wxIcon applicationIcon() { return wxIcon(qola_32_xpm); }

}  // namespace qola::ui
