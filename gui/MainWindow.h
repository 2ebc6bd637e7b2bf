// The main dialog's window: the controls of the main layout on a wx dialog, the
// platform services the dialog logic asks for, and the routing of the
// window's events to that logic.
#pragma once

#include <wx/dialog.h>
#include <wx/gdicmn.h>

#include <functional>
#include <map>
#include <string>

#include "DialogPlatform.h"
#include "HelpBook.h"
#include "MainDialog.h"

class wxCommandEvent;
class wxCloseEvent;
class wxContextMenuEvent;
class wxKeyEvent;

namespace qola::ui {

// Where the program finds its help book and what its message boxes are titled.
struct ProgramIdentity {
  std::string title;     // the program file's name without extension
  std::string helpBook;  // path of the help book
};

class MainWindow : public wxDialog, public DialogPlatform {
 public:
  MainWindow(ProgramIdentity identity, JobEntries jobs = {});
  ~MainWindow() override;

  MainDialog& dialog() { return dialog_; }
  // A file given to the program or dropped on it; false while a job runs.
  bool openFile(const std::string& name);

  // DialogPlatform
  void setRadioGroup(int firstId, int index) override;
  int radioGroup(int firstId) const override;
  void setCheck(int id, bool checked) override;
  bool check(int id) const override;
  void setText(int id, const std::string& text) override;
  std::string text(int id) const override;
  void limitText(int id, int characters) override;
  void focusAndSelectAll(int id) override;
  void enableControl(int id, bool enabled) override;
  void setProgressPosition(int percent) override;
  void setWaitCursor(bool busy) override;
  void beginJob() override;
  void endJob() override;
  bool takeStopRequest() override;
  void messageBox(const std::string& text, const std::string& title, MessageIcon icon) override;
  bool askYesNo(const std::string& text, const std::string& title) override;
  std::optional<std::string> pickFile(FilePicker kind, const std::string& filter, const std::string& folder,
                                      const std::string& fileName) override;
  bool showHelp(int context) override;
  void closeHelp() override;
  void showAbout() override;
  std::string applicationTitle() const override { return identity_.title; }

 private:
  wxWindow& control(int id) const;
  void onCommand(wxCommandEvent& event);
  void onTextChanged(wxCommandEvent& event);
  void onContextMenu(wxContextMenuEvent& event);
  void onCharHook(wxKeyEvent& event);
  void onClose(wxCloseEvent& event);
  void showContextMenu(wxPoint at);
  wxPoint keyboardMenuPoint() const;
  void close();
  void requestClose();

  ProgramIdentity identity_;
  MainDialog dialog_;
  std::map<int, int> textLimits_;            // edit id -> characters
  std::map<int, std::u32string> lastTexts_;  // edit id -> text before the user's edit
  int busyDepth_ = 0;
  bool jobRunning_ = false;
  bool closeRequested_ = false;  // carried out once the job or the open box has ended
  bool stopRequested_ = false;   // Escape or a close request during the job, not yet asked about
  std::function<void()> closeWatch_;
  HelpBook help_;
};

}  // namespace qola::ui
