// A private X server (Xvfb) and the toolkit started on it, shared by the
// tests of one process, plus helpers that drive real windows: pumping
// events, simulated input, and a closer for modal message boxes.
#pragma once

#include <wx/timer.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

class wxDialog;
class wxWindow;

namespace qola::ui::test {

// The toolkit on a fresh Xvfb display, or nullptr (with the reason) when no
// server could be started. Started on first use, kept until the process ends.
struct GuiSession;
GuiSession* guiSession(std::string* whyNot = nullptr);

// Handles events for the given time, or until the condition holds.
void pump(std::chrono::milliseconds duration);
bool pumpUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Real pointer and keyboard input through the X server.
void clickOn(wxWindow& window);
void typeText(const std::string& text);
void pressKey(int keyCode, int modifiers = 0);

// Closes every modal dialog that opens while it lives, remembering what each
// said. Message boxes are answered with OK, other dialogs with Escape.
struct SeenBox {
  std::string message;  // empty for dialogs other than message boxes
  std::string title;
  long icon;  // wxICON_* bits of a message box's style
};

class BoxCloser : public wxTimer {
 public:
  BoxCloser();
  ~BoxCloser() override;
  void Notify() override;
  std::vector<SeenBox> seen;
  std::function<void(wxDialog&)> onOpen;  // runs before the dialog is closed
};

// Saves what the screen shows inside the window (frame excluded) as a PNG.
bool saveScreenshot(const wxWindow& window, const std::string& path);

// Assertions the toolkit raised (its handler never shows a dialog here).
std::vector<std::string>& toolkitAsserts();

}  // namespace qola::ui::test
