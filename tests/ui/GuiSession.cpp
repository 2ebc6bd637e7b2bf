#include "ui/GuiSession.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>
#include <wx/toplevel.h>
#include <wx/uiaction.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace qola::ui::test {

struct GuiSession {
  pid_t server = -1;
  wxGUIEventLoop* loop = nullptr;
  ~GuiSession() {
    if (server > 0) {
      kill(server, SIGTERM);
      waitpid(server, nullptr, 0);
    }
  }
};

namespace {

// No command line, no main window: the tests make their own windows.
class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

// Starts Xvfb with -displayfd, so the server itself picks a free display
// and reports it once it accepts connections.
pid_t startServer(std::string& display, std::string& whyNot) {
  int fds[2];
  if (pipe(fds) != 0) {
    whyNot = "no pipe";
    return -1;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    whyNot = "cannot fork";
    return -1;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive the test
    close(fds[0]);
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
           "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  pollfd waitFor{fds[0], POLLIN, 0};
  char c = 0;
  while (poll(&waitFor, 1, 15000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    whyNot = "Xvfb did not start";
    return -1;
  }
  display = ":" + number;
  return pid;
}

void recordAssert(const wxString& file, int line, const wxString& function, const wxString& condition,
                  const wxString& message) {
  const std::string text = (file + ":" + wxString::Format("%d", line) + " " + function + ": " +
                            condition + " " + message)
                               .utf8_string();
  std::fprintf(stderr, "toolkit assertion: %s\n", text.c_str());
  toolkitAsserts().push_back(text);
}

GuiSession* startSession(std::string& whyNot) {
  auto session = std::make_unique<GuiSession>();
  std::string display;
  session->server = startServer(display, whyNot);
  if (session->server < 0) return nullptr;
  setenv("DISPLAY", display.c_str(), 1);
  unsetenv("WAYLAND_DISPLAY");
  setenv("GDK_BACKEND", "x11", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  setenv("GSETTINGS_BACKEND", "memory", 1);

  wxSetAssertHandler(&recordAssert);
  wxApp::SetInstance(new TestApp);
  static int argc = 1;
  static char name[] = "qola_ui_tests";
  static char* argv[] = {name, nullptr};
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    whyNot = "the toolkit did not start on " + display;
    return nullptr;
  }
  delete wxLog::SetActiveTarget(new wxLogStderr);  // no modal log windows
  wxImage::AddHandler(new wxPNGHandler);
  session->loop = new wxGUIEventLoop;
  wxEventLoopBase::SetActive(session->loop);
  return session.release();
}

}  // namespace

std::vector<std::string>& toolkitAsserts() {
  static std::vector<std::string> asserts;
  return asserts;
}

GuiSession* guiSession(std::string* whyNot) {
  static std::string reason;
  static GuiSession* session = startSession(reason);
  if (session == nullptr && whyNot != nullptr) *whyNot = reason;
  return session;
}

void pump(std::chrono::milliseconds duration) {
  pumpUntil([] { return false; }, duration);
}

bool pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (true) {
    wxTheApp->Yield(true);
    wxTheApp->ProcessIdle();
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void clickOn(wxWindow& window) {
  wxUIActionSimulator input;
  const wxRect rect = window.GetScreenRect();
  input.MouseMove(rect.GetLeft() + rect.GetWidth() / 2, rect.GetTop() + rect.GetHeight() / 2);
  pump(std::chrono::milliseconds(50));
  input.MouseClick();
  pump(std::chrono::milliseconds(50));
}

void typeText(const std::string& text) {
  wxUIActionSimulator input;
  for (char c : text) {
    input.Char(static_cast<unsigned char>(c));
    pump(std::chrono::milliseconds(2));
  }
  pump(std::chrono::milliseconds(50));
}

void pressKey(int keyCode, int modifiers) {
  wxUIActionSimulator input;
  input.Char(keyCode, modifiers);
  pump(std::chrono::milliseconds(50));
}

BoxCloser::BoxCloser() { Start(30); }
BoxCloser::~BoxCloser() { Stop(); }

void BoxCloser::Notify() {
  for (wxWindow* window : wxTopLevelWindows) {
    auto* dialog = dynamic_cast<wxDialog*>(window);
    if (dialog == nullptr || !dialog->IsModal()) continue;
    if (onOpen) onOpen(*dialog);
    if (auto* box = dynamic_cast<wxGenericMessageDialog*>(dialog)) {
      seen.push_back({box->GetMessage().utf8_string(), box->GetTitle().utf8_string(),
                      box->GetMessageDialogStyle() & wxICON_MASK});
      wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
      box->GetEventHandler()->ProcessEvent(ok);
    } else {
      seen.push_back({"", dialog->GetTitle().utf8_string(), 0});
      wxKeyEvent escape(wxEVT_CHAR_HOOK);
      escape.m_keyCode = WXK_ESCAPE;
      escape.SetEventObject(dialog);
      dialog->GetEventHandler()->ProcessEvent(escape);
    }
    return;  // the list changes as the dialog closes
  }
}

bool saveScreenshot(const wxWindow& window, const std::string& path) {
  const wxRect rect = window.GetScreenRect();
  wxScreenDC screen;
  wxBitmap bitmap(rect.GetWidth(), rect.GetHeight(), 24);
  wxMemoryDC memory(bitmap);
  if (!memory.Blit(0, 0, rect.GetWidth(), rect.GetHeight(), &screen, rect.GetLeft(), rect.GetTop())) {
    return false;
  }
  memory.SelectObject(wxNullBitmap);
  return bitmap.SaveFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG);
}

}  // namespace qola::ui::test
