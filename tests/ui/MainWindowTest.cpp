// The real window on a private X server: typed names, clicked options and
// Start, a compression and a decompression through the dialog.
#include "ui/MainWindow.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/textctrl.h>

#include <cstdlib>
#include <filesystem>

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

TEST_F(MainWindowOnScreen, Screenshot) {
  const char* path = std::getenv("QOLA_SCREENSHOT");
  const std::string target = path != nullptr ? path : (std::filesystem::temp_directory_path() / "qola-gui-test.png").string();
  ASSERT_TRUE(test::saveScreenshot(*window_, target));
}

}  // namespace
}  // namespace qola::ui
