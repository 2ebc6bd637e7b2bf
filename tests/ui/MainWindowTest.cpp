// The real window on a private X server: typed names, clicked options and
// Start, a compression and a decompression through the dialog.
#include "ui/MainWindow.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/textctrl.h>

#include <wx/checkbox.h>
#include <wx/clipbrd.h>
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/image.h>
#include <wx/radiobut.h>
#include <wx/uiaction.h>
#include <wx/weakref.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "ui/DialogTemplate.h"
#include "ui/GuiSession.h"

namespace qola::ui {
namespace {

using namespace std::chrono_literals;
using test::pump;
using test::pumpUntil;

class MainWindowOnScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    if (test::guiSession(&whyNot) == nullptr) GTEST_SKIP() << "no X server: " << whyNot;
    window_ = new CMainWindow({"qola-gui", "/nonexistent/qola-gui.htb"});
    window_->Show();
    ASSERT_TRUE(pumpUntil([&] { return window_->IsShownOnScreen(); }));
    pump(200ms);
  }
  void TearDown() override {
    if (test::guiSession() == nullptr) return;
    if (window_ != nullptr) window_->Destroy();
    pump(50ms);
    EXPECT_TRUE(test::toolkitAsserts().empty());
  }
  template <typename T>
  T& control(int id) {
    return *wxStaticCast(window_->FindWindow(id), T);
  }

  CMainWindow* window_ = nullptr;
};

std::vector<std::uint8_t> stereoPcm(int frames) {
  std::vector<std::uint8_t> bytes;
  std::uint32_t noise = 12345;
  for (int i = 0; i < frames; ++i) {
    for (int channel = 0; channel < 2; ++channel) {
      noise = noise * 1664525u + 1013904223u;
      const double tone = 9000.0 * std::sin(i * (channel == 0 ? 0.031 : 0.047));
      const auto sample = static_cast<std::int16_t>(tone + static_cast<int>(noise >> 24) - 128);
      const auto bits = static_cast<std::uint16_t>(sample);
      bytes.push_back(static_cast<std::uint8_t>(bits & 0xFF));
      bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
    }
  }
  return bytes;
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Typed input arrives through the X server: wait for the field to show it.
bool showsText(const wxTextCtrl& field, const std::string& text) {
  return pumpUntil([&] { return field.GetValue().utf8_string() == text; }, 10s);
}

void replaceFieldText(wxTextCtrl& field, const std::string& text) {
  test::clickOn(field);
  test::pressKey('a', wxMOD_CONTROL);
  test::typeText(text);
}

TEST_F(MainWindowOnScreen, StartsWithTheDefaultsAndTheFocusInTheInputField) {
  for (int id : {kIdCompress, kIdStereo, kId16Bit, kIdAdaptFull, kIdBlock4096}) {
    EXPECT_TRUE(control<wxRadioButton>(id).GetValue()) << id;
  }
  for (int id : {kIdJointStereo, kIdWavEvaluation, kIdSwapBytes}) EXPECT_FALSE(control<wxCheckBox>(id).GetValue());
  EXPECT_EQ(wxWindow::FindFocus(), &control<wxTextCtrl>(kIdInputName));
  EXPECT_EQ(control<wxGauge>(kIdProgress).GetRange(), 100);
  EXPECT_EQ(window_->GetTitle(), "QOLA");
}

TEST_F(MainWindowOnScreen, CompressesAndRestoresAFileThroughTheDialog) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "qola-gui-round-trip";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string original = (dir / "in.raw").string();
  const std::string packed = (dir / "in.qla").string();
  const std::string restored = (dir / "out.raw").string();
  const std::vector<std::uint8_t> pcm = stereoPcm(30000);
  std::ofstream(original, std::ios::binary).write(reinterpret_cast<const char*>(pcm.data()), pcm.size());

  test::BoxCloser closer;
  auto& bar = control<wxGauge>(kIdProgress);
  std::vector<int> barWhileBoxOpen;
  closer.onOpen = [&](wxDialog&) { barWhileBoxOpen.push_back(bar.GetValue()); };

  auto& inputField = control<wxTextCtrl>(kIdInputName);
  auto& outputField = control<wxTextCtrl>(kIdOutputName);
  test::clickOn(inputField);
  test::typeText(original);
  test::clickOn(outputField);
  test::typeText(packed);
  ASSERT_TRUE(showsText(inputField, original)) << inputField.GetValue();
  ASSERT_TRUE(showsText(outputField, packed)) << outputField.GetValue();
  for (int id : {1019 /* 1024 */, kIdAdaptMedium, kIdJointStereo}) test::clickOn(*window_->FindWindow(id));
  EXPECT_TRUE(pumpUntil([&] {
    return control<wxRadioButton>(1019).GetValue() && control<wxRadioButton>(kIdAdaptMedium).GetValue() &&
           control<wxCheckBox>(kIdJointStereo).GetValue();
  }));

  test::clickOn(control<wxButton>(kIdStart));
  ASSERT_TRUE(pumpUntil([&] { return closer.seen.size() == 1; }));
  pump(100ms);
  const auto compressedSize = fs::file_size(packed);
  EXPECT_EQ(closer.seen[0].title, "Ready");
  EXPECT_EQ(closer.seen[0].icon, wxICON_INFORMATION);
  EXPECT_EQ(closer.seen[0].message.rfind("\nprocessed data\t: 2 x 30000 samples (16 bit)"
                                         "\noriginal size\t: 120000 bytes"
                                         "\ncompressed file\t: " + std::to_string(compressedSize) + " bytes"
                                         "\ncompression ratio\t: ", 0),
            0u)
      << closer.seen[0].message;
  EXPECT_GT(barWhileBoxOpen.at(0), 0);  // the bar followed the job
  EXPECT_EQ(bar.GetValue(), 0);
  EXPECT_FALSE(wxIsBusy());

  test::clickOn(control<wxRadioButton>(kIdDecompress));
  ASSERT_TRUE(pumpUntil([&] { return !window_->FindWindow(kIdBlock4096)->IsEnabled(); }));
  for (int id : compressionOnlyControls()) EXPECT_FALSE(window_->FindWindow(id)->IsEnabled()) << id;
  EXPECT_TRUE(control<wxCheckBox>(kIdSwapBytes).IsEnabled());
  replaceFieldText(inputField, packed);
  replaceFieldText(outputField, restored);
  ASSERT_TRUE(showsText(inputField, packed)) << inputField.GetValue();
  ASSERT_TRUE(showsText(outputField, restored)) << outputField.GetValue();
  test::pressKey(WXK_RETURN);  // Start is the default button
  ASSERT_TRUE(pumpUntil([&] { return closer.seen.size() == 2; }));
  pump(100ms);
  EXPECT_EQ(closer.seen[1].title, "Ready");
  EXPECT_EQ(closer.seen[1].message, "\nQOLA file version\t: 1.7 DOS\naudio data type\t: 2 x 30000 samples (16 bit)");
  EXPECT_EQ(bar.GetValue(), 0);
  EXPECT_TRUE(readBytes(restored) == pcm) << "the restored file differs from the original";

  test::clickOn(control<wxRadioButton>(kIdCompress));
  ASSERT_TRUE(pumpUntil([&] { return window_->FindWindow(kIdBlock4096)->IsEnabled(); }));
  for (int id : compressionOnlyControls()) EXPECT_TRUE(window_->FindWindow(id)->IsEnabled()) << id;
  fs::remove_all(dir);
}

TEST_F(MainWindowOnScreen, TypingAndPastingStopAt128Characters) {
  auto& field = control<wxTextCtrl>(kIdInputName);
  test::clickOn(field);
  test::typeText(std::string(131, 'a'));
  EXPECT_TRUE(showsText(field, std::string(128, 'a')));
  pump(200ms);  // nothing more arrives
  EXPECT_EQ(field.GetValue(), wxString(128, 'a'));

  ASSERT_TRUE(wxTheClipboard->Open());
  wxTheClipboard->SetData(new wxTextDataObject(wxString(200, 'p')));
  wxTheClipboard->Close();
  auto& other = control<wxTextCtrl>(kIdOutputName);
  test::clickOn(other);
  test::typeText("/tmp/");
  test::pressKey('v', wxMOD_CONTROL);
  EXPECT_TRUE(showsText(other, "/tmp/" + std::string(123, 'p'))) << other.GetValue();
}

TEST_F(MainWindowOnScreen, EscapeQuits) {
  wxWeakRef<CMainWindow> window(window_);
  test::clickOn(control<wxTextCtrl>(kIdInputName));
  test::pressKey(WXK_ESCAPE);
  EXPECT_TRUE(pumpUntil([&] { return !window; }, 5s));
  window_ = nullptr;
}

TEST_F(MainWindowOnScreen, HelpWithoutItsBookSaysSo) {
  test::BoxCloser closer;
  test::clickOn(*window_->FindWindow(wxID_HELP));
  ASSERT_TRUE(pumpUntil([&] { return !closer.seen.empty(); }));
  EXPECT_EQ(closer.seen[0].message, "Failed to launch help.");
  EXPECT_EQ(closer.seen[0].title, "qola-gui");
  EXPECT_EQ(closer.seen[0].icon, wxICON_EXCLAMATION);
}

wxHtmlHelpFrame* openHelpFrame() {
  for (wxWindow* window : wxTopLevelWindows) {
    if (auto* frame = dynamic_cast<wxHtmlHelpFrame*>(window); frame != nullptr && frame->IsShown()) return frame;
  }
  return nullptr;
}

TEST_F(MainWindowOnScreen, HelpOpensTheBookAtTheDialogsTopicAndClosesWithTheDialog) {
  window_->Destroy();
  const std::string book = (std::filesystem::path(QOLA_GUI_PATH).parent_path() / "qola-gui.htb").string();
  window_ = new CMainWindow({"qola-gui", book});
  window_->Show();
  ASSERT_TRUE(pumpUntil([&] { return window_->IsShownOnScreen(); }));
  test::BoxCloser closer;
  test::clickOn(*window_->FindWindow(wxID_HELP));
  ASSERT_TRUE(pumpUntil([&] { return openHelpFrame() != nullptr || !closer.seen.empty(); }));
  ASSERT_TRUE(closer.seen.empty()) << closer.seen[0].message;
  wxHtmlWindow* page = openHelpFrame()->GetHelpWindow()->GetHtmlWindow();
  EXPECT_TRUE(page->GetOpenedPage().EndsWith("index.html")) << page->GetOpenedPage();
  EXPECT_EQ(page->GetOpenedPageTitle(), "The QOLA dialog");

  // The viewer may cover the dialog: quit through the command itself.
  wxCommandEvent quit(wxEVT_BUTTON, kIdCancel);
  window_->GetEventHandler()->ProcessEvent(quit);
  window_ = nullptr;
  EXPECT_TRUE(pumpUntil([&] { return openHelpFrame() == nullptr; }, 5s));
}

// GTK has no window menu to extend: the About command is in the background's context menu.
TEST_F(MainWindowOnScreen, ContextMenuOnTheBackgroundOffersAbout) {
  test::BoxCloser closer;
  wxTimer chooser;
  chooser.Bind(wxEVT_TIMER, [](wxTimerEvent&) {
    wxUIActionSimulator input;
    input.Char(WXK_DOWN);
    input.Char(WXK_RETURN);
  });
  chooser.StartOnce(500);
  wxUIActionSimulator input;
  const wxPoint background = window_->ClientToScreen(window_->ConvertDialogToPixels(wxPoint(230, 100)));
  input.MouseMove(background);
  pump(50ms);
  input.MouseClick(wxMOUSE_BTN_RIGHT);
  ASSERT_TRUE(pumpUntil([&] { return !closer.seen.empty(); }, 10s));
  EXPECT_EQ(closer.seen[0].title, "About QOLA");

  // From the keyboard: Shift+F10 with the focus on a button.
  control<wxButton>(kIdStart).SetFocus();
  chooser.StartOnce(500);
  test::pressKey(WXK_F10, wxMOD_SHIFT);
  ASSERT_TRUE(pumpUntil([&] { return closer.seen.size() == 2; }, 10s));
  EXPECT_EQ(closer.seen[1].title, "About QOLA");
}

TEST_F(MainWindowOnScreen, AboutCommandShowsTheAboutBox) {
  test::BoxCloser closer;
  std::vector<std::string> texts;
  closer.onOpen = [&](wxDialog& about) {
    for (wxWindow* child : about.GetChildren()) texts.push_back(child->GetLabel().utf8_string());
  };
  wxCommandEvent about(wxEVT_MENU, kIdAbout);
  window_->GetEventHandler()->ProcessEvent(about);
  ASSERT_EQ(closer.seen.size(), 1u);
  EXPECT_EQ(closer.seen[0].title, "About QOLA");
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Version 1.71 for Linux"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "OK"), texts.end());
  EXPECT_TRUE(window_->IsShown());
}

// Also takes the picture for the documentation, when QOLA_SCREENSHOT names a file.
TEST_F(MainWindowOnScreen, Screenshot) {
  window_->setText(kIdInputName, "/home/user/music/concert.wav");
  window_->setText(kIdOutputName, "/home/user/music/concert.qla");
  window_->setCheck(kIdWavEvaluation, true);
  pump(300ms);
  const char* path = std::getenv("QOLA_SCREENSHOT");
  const std::string target =
      path != nullptr ? path : (std::filesystem::temp_directory_path() / "qola-gui-test.png").string();
  ASSERT_TRUE(test::saveScreenshot(*window_, target));
  const wxImage shot(wxString::FromUTF8(target), wxBITMAP_TYPE_PNG);
  ASSERT_TRUE(shot.IsOk());
  EXPECT_EQ(shot.GetSize(), window_->GetSize());
  // Something was drawn: the picture is not one flat colour.
  std::set<std::uint32_t> colours;
  for (int i = 0; i < shot.GetWidth() * shot.GetHeight() && colours.size() < 8; i += 37) {
    const unsigned char* rgb = shot.GetData() + 3 * i;
    colours.insert(rgb[0] << 16 | rgb[1] << 8 | rgb[2]);
  }
  EXPECT_GE(colours.size(), 8u);
}

}  // namespace
}  // namespace qola::ui
