// The real window on a private X server, driven by simulated input.
#include "MainWindow.h"

#include <gtest/gtest.h>

#include <wx/clipbrd.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/dnd.h>
#include <wx/html/helpdlg.h>
#include <wx/html/helpwnd.h>
#include <wx/html/htmlwin.h>
#include <wx/weakref.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include <gtk/gtk.h>

#include "DialogTemplate.h"
#include "GuiSession.h"
#include "ReportDialog.h"

namespace qola::ui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::pump;
using test::pumpUntil;

wxHtmlHelpDialog* helpWindow() {
  for (wxWindow* window : wxTopLevelWindows) {
    if (auto* help = dynamic_cast<wxHtmlHelpDialog*>(window); help != nullptr && help->IsShown()) return help;
  }
  return nullptr;
}

// Whether the first window is above the second in the window manager's stacking order.
bool stackedAbove(wxWindow& upper, wxWindow& lower) {
  GList* stack = gdk_screen_get_window_stack(gdk_screen_get_default());
  const gint up = g_list_index(stack, gtk_widget_get_window(upper.GetHandle()));
  const gint low = g_list_index(stack, gtk_widget_get_window(lower.GetHandle()));
  g_list_free_full(stack, g_object_unref);
  return up >= 0 && low >= 0 && up > low;
}

class MainWindowOnScreen : public testing::Test {
 protected:
  void SetUp() override {
    QOLA_SKIP_WITHOUT_X_SERVER();
    window = new MainWindow({"qola-gui", (fs::path(QOLA_GUI_PATH).parent_path() / "qola-gui.htb").string()});
    window->Show();
    ASSERT_TRUE(pumpUntil([&] { return window->IsShownOnScreen(); }));
    pump(200ms);
  }
  void TearDown() override {
    if (window) window->Destroy();
  }
  wxWindow& control(int id) { return *window->FindWindow(id); }

  wxWeakRef<MainWindow> window;
};

// The labels of the items of every menu open on the screen.
void collectMenuItems(GtkWidget* widget, std::vector<std::string>& labels) {
  if (GTK_IS_MENU_ITEM(widget) && gtk_menu_item_get_label(GTK_MENU_ITEM(widget)) != nullptr) {
    labels.emplace_back(gtk_menu_item_get_label(GTK_MENU_ITEM(widget)));
  }
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* child = children; child != nullptr; child = child->next) {
      collectMenuItems(GTK_WIDGET(child->data), labels);
    }
    g_list_free(children);
  }
}
std::vector<std::string> openMenuItems() {
  std::vector<std::string> labels;
  GList* windows = gtk_window_list_toplevels();
  for (GList* window = windows; window != nullptr; window = window->next) {
    if (gtk_widget_get_visible(GTK_WIDGET(window->data))) collectMenuItems(GTK_WIDGET(window->data), labels);
  }
  g_list_free(windows);
  return labels;
}

// Shift+F10 in an edit field opens the field's own menu (Cut, Copy, Paste);
// on a button it opens the dialog's menu with About, which the help book
// opens too. The help window opens beside the dialog, both whole on the
// screen; it belongs to the dialog, stays in front of it and closes with it.
TEST_F(MainWindowOnScreen, MenusAboutAndHelpInFront) {
  test::BoxCloser closer;
  control(kIdInputName).SetFocus();
  pump(100ms);
  test::pressKey(WXK_F10, wxMOD_SHIFT);
  std::vector<std::string> items;
  EXPECT_TRUE(pumpUntil([&] { return !(items = openMenuItems()).empty(); }, 5s)) << "no menu in the field";
  EXPECT_NE(std::find(items.begin(), items.end(), "_Paste"), items.end());
  EXPECT_EQ(std::find(items.begin(), items.end(), "_About QOLA..."), items.end());
  test::pressKey(WXK_ESCAPE);
  ASSERT_TRUE(pumpUntil([&] { return openMenuItems().empty(); }, 5s));
  EXPECT_TRUE(window) << "Escape in the field's menu closed the dialog";

  wxTimer chooser;  // picks the menu's only item once it is open
  chooser.Bind(wxEVT_TIMER, [](wxTimerEvent&) { test::pressKey(WXK_DOWN), test::pressKey(WXK_RETURN); });
  control(kIdCompress).SetFocus();
  chooser.StartOnce(500);
  test::pressKey(WXK_F10, wxMOD_SHIFT);
  ASSERT_TRUE(pumpUntil([&] { return closer.seen.size() == 1; }, 10s));
  EXPECT_EQ(closer.seen[0].first, "About QOLA");

  test::clickOn(control(wxID_HELP));
  ASSERT_TRUE(pumpUntil([&] { return helpWindow() != nullptr || closer.seen.size() > 1; }));
  ASSERT_EQ(closer.seen.size(), 1u) << closer.seen.back().second;
  wxHtmlWindow* page = helpWindow()->GetHelpWindow()->GetHtmlWindow();
  EXPECT_EQ(page->GetOpenedPageTitle(), "The QOLA dialog");
  EXPECT_NE(page->ToText().Find("About QOLA..."), wxNOT_FOUND);
  page->OnLinkClicked(wxHtmlLinkInfo(kAboutLink));
  ASSERT_TRUE(pumpUntil([&] { return closer.seen.size() == 2; }, 10s));
  EXPECT_EQ(closer.seen[1].first, "About QOLA");
  EXPECT_EQ(helpWindow()->GetParent(), window.get());
  const wxRect screen(0, 0, 1024, 768);  // the test server's
  EXPECT_TRUE(pumpUntil([&] { return !helpWindow()->GetScreenRect().Intersects(window->GetScreenRect()); }, 5s))
      << "the help is not beside the dialog";
  EXPECT_TRUE(screen.Contains(helpWindow()->GetScreenRect()) && screen.Contains(window->GetScreenRect()));
  if (test::windowManagerRuns) {
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

// A file dropped on the dialog, on any of its controls (GTK gives each its
// own drop site), becomes the input, with the mode its name suggests and the
// output offered.
TEST_F(MainWindowOnScreen, ADroppedFileIsTheInput) {
  std::vector<wxWindow*> targets{window.get()};
  for (wxWindow* child : window->GetChildren()) targets.push_back(child);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    auto* drop = dynamic_cast<wxFileDropTarget*>(targets[i]->GetDropTarget());
    ASSERT_NE(drop, nullptr) << "control " << targets[i]->GetId() << " takes no files";
    const bool compressed = i % 2 == 1;
    wxArrayString names;
    names.Add(compressed ? "/music/take.qla" : "/music/song.wav");
    EXPECT_TRUE(drop->OnDropFiles(0, 0, names));
    EXPECT_EQ(window->text(kIdInputName), names[0].utf8_string());
    EXPECT_EQ(window->text(kIdOutputName), compressed ? "/music/take" : "/music/song.wav.qla");
    EXPECT_EQ(window->radioGroup(kIdCompress), compressed ? 1 : 0);
  }
}

// Ctrl+C in the report puts it on the clipboard as plain text, its colons lined up.
TEST_F(MainWindowOnScreen, ReportCopiesAlignedText) {
  const std::string text = "\nprocessed data\t: 2 x 10 samples (16 bit)\noutput file\t: /x.qla";
  ReportDialog report(window, text, "Ready");
  report.Show();
  ASSERT_TRUE(pumpUntil([&] { return report.IsShownOnScreen(); }));
  report.SetFocus();
  pump(200ms);
  test::pressKey('C', wxMOD_CONTROL);
  pump(200ms);
  wxTextDataObject copied;
  ASSERT_TRUE(wxTheClipboard->Open());
  EXPECT_TRUE(wxTheClipboard->GetData(copied));
  wxTheClipboard->Close();
  EXPECT_EQ(copied.GetText().utf8_string(), alignedText(text));
}

// Not a test: scripts/screenshot.sh runs it to take the documentation's
// picture into the file named by QOLA_SCREENSHOT.
TEST_F(MainWindowOnScreen, DISABLED_Screenshot) {
  window->setText(kIdInputName, "/home/user/music/concert.wav");
  window->setText(kIdOutputName, "/home/user/music/concert.qla");
  window->setCheck(kIdWavEvaluation, true);
  window->setProgressPosition(100);
  // A real report of a second of audio, at the dialog's lower right corner.
  std::string pcm(4 * 44100, '\0');
  for (std::size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<char>(i % 2 == 0 ? i * 7919 % 251 : 90 * std::sin(i * 0.0001));
  Input in = Input::memory({reinterpret_cast<const std::uint8_t*>(pcm.data()), pcm.size()});
  Output out = Output::memory();
  Job job;
  ReportDialog report(window, withOutputName(reportText(job.compress(in, out)), "/home/user/music/concert.qla"),
                      "Ready");
  report.Move(window->GetScreenRect().GetBottomRight() -
              wxSize(report.GetSize().x * 3 / 5, report.GetSize().y / 2));
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
