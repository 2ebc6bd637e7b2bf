// The toolkit on a private Xvfb display, started once per test process, and
// helpers that drive real windows with input through the X server.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "ReportDialog.h"

namespace qola::ui::test {

// Starts a program that never outlives the tests; a helper's output is discarded.
inline pid_t spawn(std::vector<std::string> arguments, bool quiet = true) {
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (quiet) std::freopen("/dev/null", "w", stderr), std::freopen("/dev/null", "w", stdout);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// What a shell command prints, its last newline removed.
inline std::string shell(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    pclose(pipe);
  }
  if (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

inline std::string readText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Xvfb picks a free display itself and names it once it accepts connections.
inline std::string startServer() {
  int fds[2];
  if (pipe(fds) != 0) return "";
  const pid_t pid =
      spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
  close(fds[1]);
  std::string number;
  pollfd ready{fds[0], POLLIN, 0};
  for (char c = 0; pid > 0 && poll(&ready, 1, 15000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
  close(fds[0]);
  return number.empty() ? "" : ":" + number;
}

// Whether a window manager (openbox, where installed) runs on the display: it
// stacks, focuses and closes windows as on a desktop.
inline bool windowManagerRuns = false;

// The toolkit on its own display, with nothing that could open a modal window
// by itself: assertions fail the test, log messages go to stderr. Returns why not.
inline std::string startToolkit() {
  const std::string display = startServer();
  if (display.empty()) return "Xvfb did not start";
  setenv("DISPLAY", display.c_str(), 1);
  const pid_t manager = spawn({"openbox", "--sm-disable"});
  std::this_thread::sleep_for(std::chrono::milliseconds(700));  // it takes the screen
  int status = 0;
  windowManagerRuns = manager > 0 && waitpid(manager, &status, WNOHANG) == 0;
  unsetenv("WAYLAND_DISPLAY");
  setenv("GDK_BACKEND", "x11", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  setenv("GSETTINGS_BACKEND", "memory", 1);
  wxSetAssertHandler([](const wxString& file, int line, const wxString& function, const wxString& condition,
                        const wxString& message) {
    ADD_FAILURE_AT(file.utf8_string().c_str(), line) << "toolkit assertion in " << function.utf8_string() << ": "
                                                     << (condition + " " + message).utf8_string();
  });
  wxApp::SetInstance(new wxApp);
  static int argc = 1;
  static char name[] = "qola_gui_tests";
  static char* argv[] = {name, nullptr};
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) return "the toolkit did not start on " + display;
  delete wxLog::SetActiveTarget(new wxLogStderr);
  wxInitAllImageHandlers();
  wxEventLoopBase::SetActive(new wxGUIEventLoop);
  return "";
}

inline const std::string& toolkitFailure() {
  static const std::string failure = startToolkit();
  return failure;
}
#define QOLA_SKIP_WITHOUT_X_SERVER() \
  if (const std::string& why = ::qola::ui::test::toolkitFailure(); !why.empty()) GTEST_SKIP() << "no X server: " << why

// Handles events until the condition holds or the time is up.
inline bool pumpUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  for (const auto end = std::chrono::steady_clock::now() + timeout;;) {
    wxTheApp->Yield(true);
    wxTheApp->ProcessIdle();
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}
inline void pump(std::chrono::milliseconds duration) { pumpUntil([] { return false; }, duration); }

inline void clickOn(wxWindow& window) {
  wxUIActionSimulator input;
  input.MouseMove(window.GetScreenRect().GetPosition() + window.GetSize() / 2);
  pump(std::chrono::milliseconds(50));
  input.MouseClick();
  pump(std::chrono::milliseconds(50));
}
inline void pressKey(int keyCode, int modifiers = 0) { wxUIActionSimulator().Char(keyCode, modifiers); }

// Closes each modal dialog that opens while it lives with Escape; seen holds
// their titles and messages.
class BoxCloser : public wxTimer {
 public:
  BoxCloser() { Start(30); }
  std::vector<std::pair<std::string, std::string>> seen;  // (title, message)

  void Notify() override {
    for (wxWindow* window : wxTopLevelWindows) {
      auto* dialog = dynamic_cast<wxDialog*>(window);
      if (dialog == nullptr || !dialog->IsModal()) continue;
      const auto* box = dynamic_cast<wxGenericMessageDialog*>(dialog);
      const auto* report = dynamic_cast<ReportDialog*>(dialog);
      seen.emplace_back(dialog->GetTitle().utf8_string(), box != nullptr      ? box->GetMessage().utf8_string()
                                                          : report != nullptr ? report->text()
                                                                              : "");
      std::fprintf(stderr, "box '%s': %s\n", seen.back().first.c_str(), seen.back().second.c_str());
      wxKeyEvent escape(wxEVT_CHAR_HOOK);  // a box with only OK takes Escape as OK
      escape.m_keyCode = WXK_ESCAPE;
      escape.SetEventObject(dialog);
      dialog->GetEventHandler()->ProcessEvent(escape);
      return;  // the list changes as the dialog closes
    }
  }
};

}  // namespace qola::ui::test
