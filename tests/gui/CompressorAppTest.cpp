// The program around the dialog: its name, help book and version answer.
#include "CompressorApp.h"

#include <filesystem>

#include "GuiSession.h"

namespace qola::ui {
namespace {

namespace fs = std::filesystem;

// A renamed program keeps its own name in titles, help book and version.
TEST(CompressorApp, NameHelpBookAndVersionFollowTheProgramFile) {
  const fs::path dir = fs::temp_directory_path() / ("qola-gui-identity-" + std::to_string(getpid())),
                 bin = dir / "bin";
  fs::remove_all(dir);
  fs::create_directories(bin);
  const ProgramIdentity renamed = programIdentity(bin / "Audio.Packer.exe");
  EXPECT_TRUE(renamed.title == "Audio.Packer" && fs::path(renamed.helpBook) == bin / "Audio.Packer.htb");
  // What the program prints for --version, run without a display, and its exit status.
  auto versionOf = [](const fs::path& program) {
    return test::shell("env -u DISPLAY " + program.string() + " --version; echo $?");
  };
  EXPECT_EQ(versionOf(QOLA_GUI_PATH), "qola-gui 1.71 (file version 1.71 build 1)\n0");
  fs::copy_file(QOLA_GUI_PATH, bin / "packer");
  EXPECT_EQ(versionOf(bin / "packer"), "packer 1.71 (file version 1.71 build 1)\n0");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qola::ui
