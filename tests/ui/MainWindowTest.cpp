// The real window on a private X server, driven by simulated input.
#include "MainWindow.h"

#include <gtest/gtest.h>

#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/gauge.h>
#include <wx/html/helpdlg.h>
#include <wx/html/helpwnd.h>
#include <wx/textctrl.h>
#include <wx/weakref.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include <gtk/gtk.h>

#include "DialogTemplate.h"
#include "GuiSession.h"
#include "ReportDialog.h"

// Last: the X headers define names such as None and Status.
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

namespace qola::ui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::pump;
using test::pumpUntil;

// A tone with noise, 16-bit little-endian stereo.
std::string stereoPcm(int frames) {
  std::string bytes;
  for (int i = 0; i < 2 * frames; ++i) {
    const int sample = static_cast<int>(9000.0 * std::sin(i * 0.02)) + i * 7919 % 251 - 125;
    bytes += {static_cast<char>(sample & 0xFF), static_cast<char>((sample >> 8) & 0xFF)};
  }
  return bytes;
}

wxHtmlHelpDialog* helpWindow() {
  for (wxWindow* window : wxTopLevelWindows) {
    if (auto* help = dynamic_cast<wxHtmlHelpDialog*>(window); help != nullptr && help->IsShown()) return help;
  }
  return nullptr;
}

// A job that takes a second, with something happening to the window a fifth of the way in.
std::function<void()> duringJob;
std::string slowJob(const DialogSettings&, std::FILE* input, std::FILE* output, CMainDialog& dialog) {
  for (int percent = 0; percent <= 100; percent += 4) {
    dialog.setProgress(percent);
    if (percent == 20 && duringJob) duringJob();
    std::this_thread::sleep_for(40ms);
  }
  std::fputs("done", output);
  std::fclose(output);
  std::fclose(input);
  return "\nprocessed data\t: 2 x 10 samples (16 bit)\noriginal size\t: 40 bytes";
}

// Input that reaches the X server while the job runs, without handling any event here.
Display* xDisplay() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }
void xKey(KeySym symbol) {
  const KeyCode code = XKeysymToKeycode(xDisplay(), symbol);
  XTestFakeKeyEvent(xDisplay(), code, True, CurrentTime);
  XTestFakeKeyEvent(xDisplay(), code, False, CurrentTime);
  XFlush(xDisplay());
}
void xClick(wxPoint at) {
  XTestFakeMotionEvent(xDisplay(), -1, at.x, at.y, CurrentTime);
  XTestFakeButtonEvent(xDisplay(), 1, True, CurrentTime);
  XTestFakeButtonEvent(xDisplay(), 1, False, CurrentTime);
  XFlush(xDisplay());
}

// Whether the first window is above the second in the window manager's stacking order.
bool stackedAbove(wxWindow& upper, wxWindow& lower) {
  GList* stack = gdk_screen_get_window_stack(gdk_screen_get_default());
  const gint up = g_list_index(stack, gtk_widget_get_window(upper.GetHandle()));
  const gint low = g_list_index(stack, gtk_widget_get_window(lower.GetHandle()));
  g_list_free_full(stack, g_object_unref);
  return up >= 0 && low >= 0 && up > low;
}

// What the window manager sends for the close box or Alt+F4.
void requestClose(wxWindow& window) {
  GdkEvent* close = gdk_event_new(GDK_DELETE);
  close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window.GetHandle())));
  close->any.send_event = TRUE;
  gdk_event_put(close);
  gdk_event_free(close);
}

class MainWindowOnScreen : public testing::Test {
 protected:
  void SetUp() override { open(); }
  void open(JobEntries jobs = {}) {
    QOLA_SKIP_WITHOUT_X_SERVER();
    window = new CMainWindow({"qola-gui", (fs::path(QOLA_GUI_PATH).parent_path() / "qola-gui.htb").string()}, jobs);
    window->Show();
    ASSERT_TRUE(pumpUntil([&] { return window->IsShownOnScreen(); }));
    pump(200ms);
  }
  void TearDown() override {
    if (window) window->Destroy();
  }
  template <typename T = wxWindow>
  T& control(int id) { return *wxStaticCast(window->FindWindow(id), T); }
  // Typed input arrives through the X server: wait for the field to show it.
  static bool shows(const wxTextCtrl& field, const wxString& text) {
    return pumpUntil([&] { return field.GetValue() == text; }, 10s);
  }
  bool optionsEnabled(bool enabled) {
    const auto ids = compressionOnlyControls();
    return std::all_of(ids.begin(), ids.end(), [&](int id) { return control(id).IsEnabled() == enabled; });
  }

  wxWeakRef<CMainWindow> window;
};

// Clicks and keys through the X server: a refusal, typing stopped at 128
// characters, options clicked, then a file compressed and restored exactly.
TEST_F(MainWindowOnScreen, CompressesAndRestoresAFileThroughTheDialog) {
  auto& input = control<wxTextCtrl>(kIdInputName);
  auto& bar = control<wxGauge>(kIdProgress);
  test::BoxCloser closer;
  std::vector<int> barWhileBoxOpen;
  closer.onOpen = [&](wxDialog&) { barWhileBoxOpen.push_back(bar.GetValue()); };
  auto box = [&](std::size_t number) {
    return pumpUntil([&] { return closer.seen.size() >= number; }) ? closer.seen[number - 1] : test::SeenBox{};
  };
  test::clickOn(control(kIdStart));
  EXPECT_EQ(box(1), (test::SeenBox{"Please enter a file name!", "Error", wxICON_EXCLAMATION}));
  test::clickOn(input);
  test::typeText(std::string(131, 'a'));
  EXPECT_TRUE(shows(input, wxString(128, 'a')));

  const fs::path dir = fs::temp_directory_path() / "qola-gui-round-trip";
  fs::create_directories(dir);
  const std::string original = dir / "in.raw", packed = dir / "in.qla", restored = dir / "out.raw";
  const std::string pcm = stereoPcm(30000);
  std::ofstream(original, std::ios::binary) << pcm;
  window->setText(kIdInputName, original);
  window->setText(kIdOutputName, packed);
  for (int id : {1019 /* 1024 */, kIdAdaptMedium, kIdJointStereo}) test::clickOn(control(id));
  test::clickOn(control(kIdStart));
  const test::SeenBox report = box(2);
  EXPECT_EQ(report.title, "Ready");
  EXPECT_EQ(report.message.rfind("\nprocessed data\t: 2 x 30000 samples (16 bit)", 0), 0u) << report.message;
  EXPECT_GT(barWhileBoxOpen.back(), 0);  // the bar followed the job...
  EXPECT_EQ(bar.GetValue(), 0);          // ...and went back

  test::clickOn(control(kIdDecompress));
  EXPECT_TRUE(pumpUntil([&] { return optionsEnabled(false); }));
  window->setText(kIdInputName, packed);
  window->setText(kIdOutputName, restored);
  test::pressKey(WXK_RETURN);  // Start is the default button
  EXPECT_EQ(box(3).title, "Ready");
  std::ifstream restoredFile(restored, std::ios::binary);
  EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(restoredFile), {}) == pcm) << "the round trip is not exact";
  fs::remove_all(dir);
  test::pressKey(WXK_ESCAPE);
  EXPECT_TRUE(pumpUntil([&] { return !window; }, 5s)) << "Escape did not quit";
}

// GTK has no window menu to extend: About is in the background's context menu.
// About is in the background's context menu, opened from the keyboard also in
// an edit field, where the field's own menu would take the keys. The help
// window belongs to the dialog and stays in front of it.
TEST_F(MainWindowOnScreen, AboutFromTheKeyboardAndHelpInFront) {
  test::BoxCloser closer;
  wxTimer chooser;  // picks the menu's only item once it is open
  chooser.Bind(wxEVT_TIMER, [](wxTimerEvent&) { test::pressKey(WXK_DOWN), test::pressKey(WXK_RETURN); });
  control(kIdInputName).SetFocus();
  chooser.StartOnce(500);
  test::pressKey(WXK_F10, wxMOD_SHIFT);
  ASSERT_TRUE(pumpUntil([&] { return closer.seen.size() == 1; }, 10s));
  EXPECT_EQ(closer.seen[0].title, "About QOLA");

  test::clickOn(control(wxID_HELP));
  ASSERT_TRUE(pumpUntil([&] { return helpWindow() != nullptr || closer.seen.size() > 1; }));
  ASSERT_EQ(closer.seen.size(), 1u) << closer.seen.back().message;
  wxHtmlHelpWindow* help = helpWindow()->GetHelpWindow();
  EXPECT_EQ(help->GetHtmlWindow()->GetOpenedPageTitle(), "The QOLA dialog");
  EXPECT_EQ(helpWindow()->GetParent(), window.get());
  if (test::windowManagerRuns()) {
    EXPECT_TRUE(pumpUntil([&] { return stackedAbove(*helpWindow(), *window); }, 5s)) << "help opened behind";
    test::clickOn(control(kIdInputName));  // the dialog active again: its help stays in front
    pump(300ms);
    EXPECT_TRUE(stackedAbove(*helpWindow(), *window)) << "help went behind the dialog";
  } else {
    std::printf("no window manager (openbox) runs: the help window's stacking is not checked\n");
  }
  wxCommandEvent quit(wxEVT_BUTTON, kIdCancel);
  window->GetEventHandler()->ProcessEvent(quit);
  EXPECT_TRUE(pumpUntil([&] { return helpWindow() == nullptr; }, 5s));
}

// Input during a job is dropped, so the report is not dismissed unseen; a
// close request waits for the job and its report, then closes the window.
TEST_F(MainWindowOnScreen, InputDuringAJobWaitsOrIsDropped) {
  window->Destroy();
  pump(100ms);
  struct Case {
    const char* what;
    std::function<void(CMainWindow&)> act;
    bool closes;
  } const cases[] = {
      {"Escape", [](CMainWindow&) { xKey(XK_Escape); }, false},
      {"click on Quit", [](CMainWindow& w) { xClick(w.FindWindow(kIdCancel)->GetScreenRect().GetPosition() + wxPoint(5, 5)); }, false},
      {"close request", [](CMainWindow& w) { requestClose(w); }, true},
  };
  const fs::path dir = fs::temp_directory_path() / "qola-gui-during-job";
  fs::create_directories(dir);
  std::ofstream(dir / "in.raw") << "PCM";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(dir / "out.qla");
    open({&slowJob, &slowJob});
    ASSERT_TRUE(window);
    window->setText(kIdInputName, dir / "in.raw");
    window->setText(kIdOutputName, dir / "out.qla");
    CMainWindow& w = *window;
    duringJob = [&] { c.act(w); };
    test::BoxCloser closer;
    closer.linger = 400ms;
    test::clickOn(control(kIdStart));
    EXPECT_TRUE(pumpUntil([&] { return closer.closed == 1 || closer.seen.size() > 1; }));
    duringJob = nullptr;
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].title, "Ready");
    EXPECT_EQ(closer.closed, 1) << "the report was dismissed unseen";
    pump(300ms);
    EXPECT_EQ(!window, c.closes);
    if (window) {
      EXPECT_EQ(control<wxTextCtrl>(kIdInputName).GetValue(), (dir / "in.raw").string());
    }
    EXPECT_TRUE(fs::exists(dir / "out.qla") && fs::file_size(dir / "out.qla") == 4) << "the job did not finish";
    if (window) window->Destroy();
    pump(100ms);
  }
  fs::remove_all(dir);
}

// The report's text is kept exactly; its values start in one column, so the colons line up.
TEST_F(MainWindowOnScreen, ReportColonsLineUp) {
  const std::string text = "\nprocessed data\t: 2 x 10 samples (16 bit)\noriginal size\t: 40 bytes\ncompressed file\t: 9 bytes";
  CReportDialog report(window, text, "Ready");
  report.Show();
  pump(200ms);
  EXPECT_EQ(report.text(), text);
  std::set<int> valueColumns;
  for (wxWindow* child : report.GetChildren()) {
    if (child->GetLabel().StartsWith(":")) valueColumns.insert(child->GetPosition().x);
  }
  EXPECT_EQ(valueColumns.size(), 1u);
  EXPECT_EQ(reportColumns("a\tb\nc"), (std::vector<std::pair<std::string, std::string>>{{"a", "b"}, {"c", ""}}));
}

// Not a test: scripts/screenshot.sh runs it to take the documentation's
// picture into the file named by QOLA_SCREENSHOT.
TEST_F(MainWindowOnScreen, DISABLED_Screenshot) {
  window->setText(kIdInputName, "/home/user/music/concert.wav");
  window->setText(kIdOutputName, "/home/user/music/concert.qla");
  window->setCheck(kIdWavEvaluation, true);
  window->setProgressPosition(100);
  // A real report of a second of audio, at the dialog's lower right corner.
  const std::string pcm = stereoPcm(44100);
  Input in = Input::memory({reinterpret_cast<const std::uint8_t*>(pcm.data()), pcm.size()});
  Output out = Output::memory();
  Job job;
  CReportDialog report(window, reportText(job.compress(in, out)), "Ready");
  report.Move(window->GetScreenRect().GetBottomRight() - wxSize(report.GetSize().x * 3 / 5, report.GetSize().y / 2));
  report.Show();
  pump(500ms);
  const wxRect rect = window->GetScreenRect().Union(report.GetScreenRect());
  wxBitmap bitmap(rect.GetSize(), 24);
  wxMemoryDC memory(bitmap);
  wxScreenDC screen;
  memory.Blit(wxPoint(0, 0), rect.GetSize(), &screen, rect.GetPosition());
  memory.SelectObject(wxNullBitmap);
  bitmap.SaveFile(std::getenv("QOLA_SCREENSHOT"), wxBITMAP_TYPE_PNG);
}

}  // namespace
}  // namespace qola::ui
