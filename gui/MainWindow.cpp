#include "MainWindow.h"

// Before the generic box, which builds on its declarations.
#include <wx/msgdlg.h>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dnd.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/gauge.h>
#include <wx/generic/msgdlgg.h>
#include <wx/menu.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <algorithm>

#include "AboutDialog.h"
#include "DialogTemplate.h"
#include "GtkSupport.h"
#include "ReportDialog.h"
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

// A file dropped anywhere on the dialog becomes its input.
class FileDrop : public wxFileDropTarget {
 public:
  explicit FileDrop(MainWindow& window) : window_(window) {}
  bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override {
    return !names.empty() && window_.openFile(names[0].utf8_string());
  }

 private:
  MainWindow& window_;
};

}  // namespace

MainWindow::MainWindow(ProgramIdentity identity, JobEntries jobs)
    : wxDialog(nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      identity_(std::move(identity)),
      dialog_(*this, jobs),
      // An About link followed while a job runs is left alone, as the job takes no commands.
      help_(*this, identity_.helpBook, [this] {
        if (!jobRunning_) showAbout();
      }) {
  buildFromTemplate(*this, mainDialogTemplate());
  SetIcons(applicationIcons());
  showAsSolidBar(*wxStaticCast(&control(kIdProgress), wxGauge));
  markAsDefaultAction(*wxStaticCast(&control(kIdStart), wxButton));
  // Escape and the close box act as the cancel command, as "&Quit" does.
  SetEscapeId(kIdCancel);

  Bind(wxEVT_BUTTON, &MainWindow::onCommand, this);
  Bind(wxEVT_RADIOBUTTON, &MainWindow::onCommand, this);
  Bind(wxEVT_MENU, &MainWindow::onCommand, this);
  Bind(wxEVT_TEXT, &MainWindow::onTextChanged, this);
  Bind(wxEVT_CONTEXT_MENU, &MainWindow::onContextMenu, this);
  Bind(wxEVT_CHAR_HOOK, &MainWindow::onCharHook, this);
  Bind(wxEVT_CLOSE_WINDOW, &MainWindow::onClose, this);
  wxAcceleratorEntry f1(wxACCEL_NORMAL, WXK_F1, windowId(kIdHelp));
  SetAcceleratorTable(wxAcceleratorTable(1, &f1));
  // GTK gives each control its own drop site, so each takes files.
  SetDropTarget(new FileDrop(*this));
  for (wxWindow* child : GetChildren()) child->SetDropTarget(new FileDrop(*this));
  closeWatch_ = [this] { requestClose(); };
  watchCloseRequests(*this, closeWatch_);

  dialog_.onInitDialog();
  Centre();
  control(kIdInputName).SetFocus();
}

MainWindow::~MainWindow() {
  forgetCloseRequests(*this, closeWatch_);
  dialog_.onDestroy();
}

bool MainWindow::openFile(const std::string& name) {
  if (jobRunning_) return false;
  dialog_.openFile(name);
  return true;
}

wxWindow& MainWindow::control(int id) const {
  wxWindow* window = FindWindow(windowId(id));
  wxASSERT_MSG(window != nullptr, "no such control");
  return *window;
}

void MainWindow::onCommand(wxCommandEvent& event) {
  if (jobRunning_) return;  // a job takes no commands
  switch (templateId(event.GetId())) {
    case kIdCompress: dialog_.onCompress(); break;
    case kIdDecompress: dialog_.onDecompress(); break;
    case kIdBrowseInput: dialog_.onBrowseInput(); break;
    case kIdBrowseOutput: dialog_.onBrowseOutput(); break;
    case kIdStart: dialog_.onStart(); break;
    case kIdHelp: dialog_.onHelp(); break;
    case kIdAbout: dialog_.onAbout(); break;
    case kIdCancel: closeRequested_ = true; break;
    default: event.Skip(); return;
  }
  // A close request that came during the job or while one of its boxes was
  // open is carried out now that they have ended.
  if (closeRequested_) close();
}

// The window manager's request to close: during a job it asks whether to
// cancel the job, and the window closes once the job has ended (with its
// report, or cancelled), never under the running job. Requests that come
// while a box is open are kept too, where the toolkit would drop them.
void MainWindow::requestClose() {
  closeRequested_ = true;
  if (jobRunning_) stopRequested_ = true;
}

void MainWindow::onClose(wxCloseEvent& event) {
  if (jobRunning_ && event.CanVeto()) {
    if (!closeRequested_) requestClose();  // one the window manager's message did not announce
    event.Veto();
    return;
  }
  event.Skip();
}

void MainWindow::close() {
  dialog_.onDestroy();
  if (IsModal()) {
    EndModal(wxID_CANCEL);
  } else {
    Destroy();
  }
}

// GTK has no window menu to extend, so the About command sits in the
// dialog's context menu (right click, Shift+F10, the Menu key) and in help.
void MainWindow::onContextMenu(wxContextMenuEvent& event) {
  // An edit field keeps its own menu (Cut, Copy, Paste), by mouse and by keyboard.
  if (dynamic_cast<wxTextCtrl*>(event.GetEventObject()) != nullptr) {
    event.Skip();
    return;
  }
  showContextMenu(event.GetPosition() == wxDefaultPosition ? keyboardMenuPoint()
                                                           : ScreenToClient(event.GetPosition()));
}

// From the keyboard the menu opens below the focused control, or at the
// dialog's corner, never at a mouse pointer that may be far away.
wxPoint MainWindow::keyboardMenuPoint() const {
  const wxWindow* focus = FindFocus();
  if (focus == nullptr || focus == this || wxGetTopLevelParent(const_cast<wxWindow*>(focus)) != this) {
    return ConvertDialogToPixels(wxPoint(4, 4));
  }
  return ScreenToClient(focus->GetScreenRect().GetBottomLeft()) + wxPoint(FromDIP(4), 0);
}

void MainWindow::showContextMenu(wxPoint at) {
  wxMenu menu;
  menu.Append(kIdAbout, wxString::FromUTF8(kAboutMenuText));
  PopupMenu(&menu, at);
}

// The keyboard's way to the menu from the buttons and boxes; an edit field
// gets the keys for its own menu.
void MainWindow::onCharHook(wxKeyEvent& event) {
  const bool menuKey = event.GetKeyCode() == WXK_MENU && event.GetModifiers() == wxMOD_NONE;
  const bool shiftF10 = event.GetKeyCode() == WXK_F10 && event.GetModifiers() == wxMOD_SHIFT;
  if ((!menuKey && !shiftF10) || dynamic_cast<wxTextCtrl*>(FindFocus()) != nullptr) {
    event.Skip();
    return;
  }
  showContextMenu(keyboardMenuPoint());
}

void MainWindow::onTextChanged(wxCommandEvent& event) {
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

void MainWindow::setRadioGroup(int firstId, int index) {
  const std::vector<wxRadioButton*> buttons = radioGroupButtons(*this, firstId);
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (static_cast<int>(i) == index) buttons[i]->SetValue(true);
  }
  // GTK always keeps one button of a group on, so "none" leaves the group as it is.
}

int MainWindow::radioGroup(int firstId) const {
  const std::vector<wxRadioButton*> buttons = radioGroupButtons(*this, firstId);
  auto selected = std::find_if(buttons.begin(), buttons.end(), [](auto* b) { return b->GetValue(); });
  return selected == buttons.end() ? -1 : static_cast<int>(selected - buttons.begin());
}

void MainWindow::setCheck(int id, bool checked) { wxStaticCast(&control(id), wxCheckBox)->SetValue(checked); }
bool MainWindow::check(int id) const { return wxStaticCast(&control(id), wxCheckBox)->GetValue(); }

void MainWindow::setText(int id, const std::string& text) {
  const wxString value = wxString::FromUTF8(text);
  wxStaticCast(&control(id), wxTextCtrl)->ChangeValue(value);
  lastTexts_[id] = toU32(value);
}

std::string MainWindow::text(int id) const {
  return wxStaticCast(&control(id), wxTextCtrl)->GetValue().utf8_string();
}

void MainWindow::limitText(int id, int characters) { textLimits_[id] = static_cast<std::size_t>(characters); }

void MainWindow::focusAndSelectAll(int id) {
  auto* field = wxStaticCast(&control(id), wxTextCtrl);
  field->SetFocus();
  field->SelectAll();
}

void MainWindow::enableControl(int id, bool enabled) { control(id).Enable(enabled); }

void MainWindow::setProgressPosition(int percent) {
  auto* bar = wxStaticCast(&control(kIdProgress), wxGauge);
  const int position = std::clamp(percent, 0, 100);
  if (bar->GetValue() == position) return;
  bar->SetValue(position);
  // The job runs on this thread: let the window repaint, and drop what the
  // user typed or clicked meanwhile, which would otherwise act after the job;
  // Escape among it asks to cancel the job.
  if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) loop->YieldFor(wxEVT_CATEGORY_UI);
  if (dropPendingInput() && jobRunning_) stopRequested_ = true;
}

// A close request that came while the replace question was open is asked about at once.
void MainWindow::beginJob() {
  jobRunning_ = true;
  stopRequested_ = closeRequested_;
}

void MainWindow::endJob() {
  dropPendingInput();  // nothing typed during the job reaches the report
  jobRunning_ = false;
  stopRequested_ = false;
}

bool MainWindow::takeStopRequest() {
  const bool requested = stopRequested_;
  stopRequested_ = false;
  return requested;
}

void MainWindow::setWaitCursor(bool busy) {
  if (busy) {
    ++busyDepth_;
    wxBeginBusyCursor();
  } else if (busyDepth_ > 0) {
    --busyDepth_;
    wxEndBusyCursor();
  }
}

void MainWindow::messageBox(const std::string& text, const std::string& title, MessageIcon icon) {
  // A report's tabs separate its columns: laid out in a grid, the colons line up.
  if (icon == MessageIcon::Information && text.find('\t') != std::string::npos) {
    ReportDialog report(this, text, title);
    report.ShowModal();
    return;
  }
  // The generic box: GTK's native one shows no icon.
  const long style = wxOK | (icon == MessageIcon::Exclamation ? wxICON_EXCLAMATION : wxICON_INFORMATION);
  wxGenericMessageDialog box(this, wxString::FromUTF8(text), wxString::FromUTF8(title), style);
  box.ShowModal();
}

bool MainWindow::askYesNo(const std::string& text, const std::string& title) {
  wxGenericMessageDialog box(this, wxString::FromUTF8(text), wxString::FromUTF8(title),
                             wxYES_NO | wxNO_DEFAULT | wxICON_EXCLAMATION);
  box.SetEscapeId(wxID_NO);  // Escape and the close box answer No, the answer that changes nothing
  return box.ShowModal() == wxID_YES;
}

std::optional<std::string> MainWindow::pickFile(FilePicker kind, const std::string& filter,
                                                const std::string& folder, const std::string& fileName) {
  const bool open = kind == FilePicker::Open;
  wxFileDialog picker(this, open ? "Open" : "Save As", wxString::FromUTF8(folder), wxString::FromUTF8(fileName),
                      wxString::FromUTF8(filter), open ? wxFD_OPEN : wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (picker.ShowModal() != wxID_OK) return std::nullopt;
  return picker.GetPath().utf8_string();
}

bool MainWindow::showHelp(int context) { return help_.show(context); }

void MainWindow::closeHelp() { help_.close(); }

void MainWindow::showAbout() {
  AboutDialog about(this);
  about.ShowModal();
}

}  // namespace qola::ui
