#include "MainWindow.h"

#include <wx/checkbox.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/filesys.h>
#include <wx/fs_arc.h>
#include <wx/gauge.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>
#include <wx/html/helpctrl.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <algorithm>

#include "AboutDialog.h"
#include "DialogTemplate.h"
#include "TemplateWindow.h"
#include "TextLimit.h"

namespace qola::ui {
namespace {

std::u32string toU32(const wxString& text) {
  std::u32string result;
  result.reserve(text.length());
  for (wxUniChar c : text) result.push_back(static_cast<char32_t>(c.GetValue()));
  return result;
}

wxString fromU32(const std::u32string& text) {
  wxString result;
  for (char32_t c : text) result += wxUniChar(static_cast<wxUint32>(c));
  return result;
}

// The radio buttons of the group that starts at firstId, in template order.
std::vector<wxRadioButton*> radioGroupButtons(const wxWindow& dialog, int firstId) {
  std::vector<wxRadioButton*> buttons;
  bool inGroup = false;
  for (const ControlTemplate& control : mainDialogTemplate().controls) {
    if (control.id == firstId) {
      inGroup = true;
    } else if (inGroup && (control.kind != ControlKind::Radio || control.groupStart)) {
      break;
    }
    if (inGroup) buttons.push_back(wxStaticCast(dialog.FindWindow(windowId(control.id)), wxRadioButton));
  }
  return buttons;
}

}  // namespace

CMainWindow::CMainWindow(ProgramIdentity identity, JobEntries jobs)
    : wxDialog(nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      identity_(std::move(identity)),
      dialog_(*this, jobs) {
  buildFromTemplate(*this, mainDialogTemplate());
  SetIcons(applicationIcons());
  // Escape and the close box act as the cancel command, as "&Quit" does.
  SetEscapeId(kIdCancel);

  Bind(wxEVT_BUTTON, &CMainWindow::onCommand, this);
  Bind(wxEVT_RADIOBUTTON, &CMainWindow::onCommand, this);
  Bind(wxEVT_MENU, &CMainWindow::onCommand, this);
  Bind(wxEVT_TEXT, &CMainWindow::onTextChanged, this);
  Bind(wxEVT_CONTEXT_MENU, &CMainWindow::onContextMenu, this);
  Bind(wxEVT_CHAR_HOOK, &CMainWindow::onCharHook, this);
  wxAcceleratorEntry f1(wxACCEL_NORMAL, WXK_F1, windowId(kIdHelp));
  SetAcceleratorTable(wxAcceleratorTable(1, &f1));

  dialog_.onInitDialog();
  Centre();
  control(kIdInputName).SetFocus();
}

CMainWindow::~CMainWindow() { dialog_.onDestroy(); }

wxWindow& CMainWindow::control(int id) const {
  wxWindow* window = FindWindow(windowId(id));
  wxASSERT_MSG(window != nullptr, "no such control");
  return *window;
}

void CMainWindow::onCommand(wxCommandEvent& event) {
  switch (templateId(event.GetId())) {
    case kIdCompress: dialog_.onCompress(); break;
    case kIdDecompress: dialog_.onDecompress(); break;
    case kIdBrowseInput: dialog_.onBrowseInput(); break;
    case kIdBrowseOutput: dialog_.onBrowseOutput(); break;
    case kIdStart: dialog_.onStart(); break;
    case kIdHelp: dialog_.onHelp(); break;
    case kIdAbout: dialog_.onAbout(); break;
    case kIdCancel: close(); break;
    default: event.Skip(); break;
  }
}

void CMainWindow::close() {
  dialog_.onDestroy();
  if (IsModal()) {
    EndModal(wxID_CANCEL);
  } else {
    Destroy();
  }
}

// GTK has no window menu to extend, so the About command sits in the
// dialog's context menu (right click, Shift+F10, the Menu key).
void CMainWindow::onContextMenu(wxContextMenuEvent& event) {
  // The edit fields keep their own menu.
  if (dynamic_cast<wxTextCtrl*>(event.GetEventObject()) != nullptr) {
    event.Skip();
    return;
  }
  wxMenu menu;
  menu.Append(kIdAbout, wxString::FromUTF8(kAboutMenuText));
  const wxPoint at = event.GetPosition();
  PopupMenu(&menu, at == wxDefaultPosition ? wxDefaultPosition : ScreenToClient(at));
}

// The keyboard's way to the context menu, the same on every control but the edit fields.
void CMainWindow::onCharHook(wxKeyEvent& event) {
  const bool menuKey = event.GetKeyCode() == WXK_MENU && event.GetModifiers() == wxMOD_NONE;
  const bool shiftF10 = event.GetKeyCode() == WXK_F10 && event.GetModifiers() == wxMOD_SHIFT;
  if ((menuKey || shiftF10) && dynamic_cast<wxTextCtrl*>(FindFocus()) == nullptr) {
    wxContextMenuEvent menu(wxEVT_CONTEXT_MENU, GetId(), wxDefaultPosition);
    menu.SetEventObject(this);
    onContextMenu(menu);
    return;
  }
  event.Skip();
}

void CMainWindow::onTextChanged(wxCommandEvent& event) {
  const int id = templateId(event.GetId());
  auto limit = textLimits_.find(id);
  if (limit == textLimits_.end()) return;
  auto* field = wxStaticCast(&control(id), wxTextCtrl);
  std::u32string now = toU32(field->GetValue());
  if (auto kept = limitInsertion(lastTexts_[id], now, limit->second)) {
    wxBell();
    field->ChangeValue(fromU32(kept->text));
    field->SetInsertionPoint(static_cast<long>(kept->caret));
    now = kept->text;
  }
  lastTexts_[id] = now;
}

void CMainWindow::setRadioGroup(int firstId, int index) {
  const std::vector<wxRadioButton*> buttons = radioGroupButtons(*this, firstId);
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (static_cast<int>(i) == index) buttons[i]->SetValue(true);
  }
  // GTK always keeps one button of a group on, so "none" leaves the group as it is.
}

int CMainWindow::radioGroup(int firstId) const {
  const std::vector<wxRadioButton*> buttons = radioGroupButtons(*this, firstId);
  auto selected = std::find_if(buttons.begin(), buttons.end(), [](auto* b) { return b->GetValue(); });
  return selected == buttons.end() ? -1 : static_cast<int>(selected - buttons.begin());
}

void CMainWindow::setCheck(int id, bool checked) { wxStaticCast(&control(id), wxCheckBox)->SetValue(checked); }
bool CMainWindow::check(int id) const { return wxStaticCast(&control(id), wxCheckBox)->GetValue(); }

void CMainWindow::setText(int id, const std::string& text) {
  const wxString value = wxString::FromUTF8(text);
  wxStaticCast(&control(id), wxTextCtrl)->ChangeValue(value);
  lastTexts_[id] = toU32(value);
}

std::string CMainWindow::text(int id) const {
  return wxStaticCast(&control(id), wxTextCtrl)->GetValue().utf8_string();
}

void CMainWindow::limitText(int id, int characters) { textLimits_[id] = static_cast<std::size_t>(characters); }

void CMainWindow::focusAndSelectAll(int id) {
  auto* field = wxStaticCast(&control(id), wxTextCtrl);
  field->SetFocus();
  field->SelectAll();
}

void CMainWindow::enableControl(int id, bool enabled) { control(id).Enable(enabled); }

void CMainWindow::setProgressPosition(int percent) {
  auto* bar = wxStaticCast(&control(kIdProgress), wxGauge);
  const int position = std::clamp(percent, 0, 100);
  if (bar->GetValue() == position) return;
  bar->SetValue(position);
  // The job runs on this thread: let the bar repaint, but leave the user's input queued.
  if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) loop->YieldFor(wxEVT_CATEGORY_UI);
}

void CMainWindow::setWaitCursor(bool busy) {
  if (busy) {
    ++busyDepth_;
    wxBeginBusyCursor();
  } else if (busyDepth_ > 0) {
    --busyDepth_;
    wxEndBusyCursor();
  }
}

void CMainWindow::messageBox(const std::string& text, const std::string& title, MessageIcon icon) {
  // The generic box: GTK's native one shows no icon.
  const long style = wxOK | (icon == MessageIcon::Exclamation ? wxICON_EXCLAMATION : wxICON_INFORMATION);
  wxGenericMessageDialog box(this, wxString::FromUTF8(text), wxString::FromUTF8(title), style);
  box.ShowModal();
}

std::optional<std::string> CMainWindow::pickFile(FilePicker kind, const std::string& filter) {
  const bool open = kind == FilePicker::Open;
  wxFileDialog picker(this, open ? "Open" : "Save As", wxEmptyString, wxEmptyString,
                      wxString::FromUTF8(filter), open ? wxFD_OPEN : wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (picker.ShowModal() != wxID_OK) return std::nullopt;
  return picker.GetPath().utf8_string();
}

bool CMainWindow::showHelp(int context) {
  if (!help_) {
    static const bool archivesReadable = [] {
      wxFileSystem::AddHandler(new wxArchiveFSHandler);  // the book is a zip archive
      return true;
    }();
    (void)archivesReadable;
    wxLogNull quiet;  // a missing book is reported by the dialog's own message
    auto help = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE);
    if (!help->AddBook(wxFileName(wxString::FromUTF8(identity_.helpBook)))) return false;
    help_ = std::move(help);
  }
  return help_->Display(context);
}

void CMainWindow::closeHelp() {
  if (!help_) return;
  help_->Quit();
  help_.reset();
}

void CMainWindow::showAbout() {
  CAboutDialog about(this);
  about.ShowModal();
}

}  // namespace qola::ui
