// The program around the dialog: its identity, its version answer and its fatal errors.
#include "CompressorApp.h"

#include <filesystem>
#include <fstream>

#include "DialogTemplate.h"
#include "GuiSession.h"

namespace qola::ui {
namespace {

namespace fs = std::filesystem;

fs::path freshDirectory(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / name;
  fs::remove_all(dir);
  fs::create_directories(dir / "bin");
  return dir;
}

// The installed help book unless one lies beside the program, as in a build tree.
TEST(CompressorApp, TitleAndHelpBookFollowTheProgramFileName) {
  const fs::path dir = freshDirectory("qola-ui-identity"), bin = dir / "bin", share = dir / "share" / "qola-gui";
  fs::create_directories(share);
  std::ofstream(share / "qola-gui.htb") << "installed";
  EXPECT_EQ(fs::path(programIdentity(bin / "qola-gui").helpBook), share / "qola-gui.htb");
  std::ofstream(bin / "qola-gui.htb") << "beside";
  EXPECT_EQ(fs::path(programIdentity(bin / "qola-gui").helpBook), bin / "qola-gui.htb");
  const ProgramIdentity renamed = programIdentity(bin / "Audio.Packer.exe");
  EXPECT_TRUE(renamed.title == "Audio.Packer" && fs::path(renamed.helpBook) == bin / "Audio.Packer.htb");
  fs::remove_all(dir);
}

// What the program prints for --version, run without a display.
std::string versionOf(const std::string& program) {
  std::FILE* pipe = popen(("env -u DISPLAY " + program + " --version").c_str(), "r");
  std::string output(100, '\0');
  output.resize(std::fread(output.data(), 1, output.size(), pipe));
  return pclose(pipe) == 0 ? output : "failed: " + output;
}

TEST(CompressorApp, VersionIsAnsweredWithoutADisplayUnderAnyName) {
  EXPECT_EQ(versionOf(QOLA_GUI_PATH), "qola-gui 1.71 (file version 1.71 build 1)\n");
  const fs::path dir = freshDirectory("qola-ui-version");
  fs::copy_file(QOLA_GUI_PATH, dir / "bin" / "packer");
  EXPECT_EQ(versionOf(dir / "bin" / "packer"), "packer 1.71 (file version 1.71 build 1)\n");
  fs::remove_all(dir);
}

// A job's fatal error on screen: the box titled with the program's name, then exit status 1.
TEST(CompressorApp, FatalJobErrorShowsTheApplicationBoxAndExits) {
  QOLA_SKIP_WITHOUT_X_SERVER();
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child gets its own display connection
  const fs::path dir = freshDirectory("qola-ui-fatal");
  std::ofstream(dir / "old.qla", std::ios::binary) << std::string("\x0E\x00\x00\x00\x00\x00", 6);
  auto decompressOldFile = [&] {
    auto* window = new CMainWindow({"qola_ui_tests", ""});
    window->Show();
    test::BoxCloser closer;
    closer.onOpen = [&](wxDialog&) {
      std::fprintf(stderr, "box '%s': %s\n", closer.seen.back().title.c_str(), closer.seen.back().message.c_str());
    };
    window->setRadioGroup(kIdCompress, 1);
    window->setText(kIdInputName, dir / "old.qla");
    window->setText(kIdOutputName, dir / "old.raw");
    window->dialog().onStart();
  };
  EXPECT_EXIT(decompressOldFile(), testing::ExitedWithCode(1), "box 'qola_ui_tests': .*Old file version, program terminated");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qola::ui
