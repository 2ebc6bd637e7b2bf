// The seam between the main dialog's logic and the toolkit: the controls,
// addressed by id as in the dialog template, and the modal platform services.
// The program implements it over real windows; tests use a scripted fake.
#pragma once

#include <optional>
#include <string>

namespace qola::ui {

enum class MessageIcon { Exclamation, Information };
enum class FilePicker { Open, Save };

class DialogPlatform {
 public:
  virtual ~DialogPlatform() = default;

  // Radio groups are named by their first button; index -1 selects none.
  virtual void setRadioGroup(int firstId, int index) = 0;
  virtual int radioGroup(int firstId) const = 0;
  virtual void setCheck(int id, bool checked) = 0;
  virtual bool check(int id) const = 0;
  // Texts are UTF-8.
  virtual void setText(int id, const std::string& text) = 0;
  virtual std::string text(int id) const = 0;
  // Stops typing and pasting at this many characters; code may still set longer texts.
  virtual void limitText(int id, int characters) = 0;
  virtual void focusAndSelectAll(int id) = 0;
  virtual void enableControl(int id, bool enabled) = 0;
  virtual void setProgressPosition(int percent) = 0;
  virtual void setWaitCursor(bool busy) = 0;
  // A job runs between these: the window takes no other input, and a request
  // to close it is carried out once the job has ended. endJob drops input that came meanwhile.
  virtual void beginJob() = 0;
  virtual void endJob() = 0;
  // True once for each Escape or close request that came since the last call during a job.
  virtual bool takeStopRequest() = 0;

  // A modal box with one OK button, owned by the dialog.
  virtual void messageBox(const std::string& text, const std::string& title, MessageIcon icon) = 0;
  // A modal question with Yes and No, No preselected; true for Yes.
  virtual bool askYesNo(const std::string& text, const std::string& title) = 0;
  // The full path chosen, or nothing when the user cancels. The filter uses
  // "|"-separated pairs; the picker opens in the folder (empty: the current
  // one) with the file name filled in.
  virtual std::optional<std::string> pickFile(FilePicker kind, const std::string& filter, const std::string& folder,
                                              const std::string& fileName) = 0;
  // Opens the help book at a context; false when the viewer cannot be started.
  virtual bool showHelp(int context) = 0;
  virtual void closeHelp() = 0;
  virtual void showAbout() = 0;
  // The caption of the application's own message boxes: the program file's name without extension.
  virtual std::string applicationTitle() const = 0;
};

}  // namespace qola::ui
