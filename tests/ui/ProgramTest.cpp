// The program around the dialog: its identity, its version answer, fatal job
// errors, and the real executable quitting on Escape.
#include "ui/CompressorApp.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>
#include <wx/gdicmn.h>
#include <wx/uiaction.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ui/DialogTemplate.h"
#include "ui/GuiSession.h"

namespace qola::ui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path freshDirectory(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string outputOf(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) output += buffer.data();
    pclose(pipe);
  }
  return output;
}

TEST(ProgramIdentity, TitleAndHelpBookFollowTheProgramFileName) {
  const fs::path dir = freshDirectory("qola-ui-identity");
  fs::create_directories(dir / "bin");
  fs::create_directories(dir / "share" / "qola-gui");
  std::ofstream(dir / "share" / "qola-gui" / "qola-gui.htb") << "book";

  // Installed: the book under share/, found from bin/.
  ProgramIdentity installed = programIdentity((dir / "bin" / "qola-gui").string());
  EXPECT_EQ(installed.title, "qola-gui");
  EXPECT_EQ(installed.helpBook, (dir / "bin" / ".." / "share" / "qola-gui" / "qola-gui.htb").lexically_normal().string());

  // A book beside the program wins, as in a build tree.
  std::ofstream(dir / "bin" / "qola-gui.htb") << "book";
  EXPECT_EQ(programIdentity((dir / "bin" / "qola-gui").string()).helpBook, (dir / "bin" / "qola-gui.htb").string());

  // Renamed: the extension goes from the title, and the book is looked for under the new name.
  ProgramIdentity renamed = programIdentity((dir / "bin" / "Audio.Packer.exe").string());
  EXPECT_EQ(renamed.title, "Audio.Packer");
  EXPECT_EQ(renamed.helpBook, (dir / "bin" / "Audio.Packer.htb").string());
  fs::remove_all(dir);
}

TEST(ProgramVersion, AnsweredWithoutADisplayUnderAnyName) {
  EXPECT_EQ(outputOf("env -u DISPLAY " QOLA_GUI_PATH " --version"), "qola-gui 1.71 (file version 1.71 build 1)\n");
  const fs::path dir = freshDirectory("qola-ui-version");
  fs::copy_file(QOLA_GUI_PATH, dir / "packer");
  fs::permissions(dir / "packer", fs::perms::owner_exec, fs::perm_options::add);
  EXPECT_EQ(outputOf((dir / "packer").string() + " --version"), "packer 1.71 (file version 1.71 build 1)\n");
  fs::remove_all(dir);
}

TEST(ProgramFatalHandler, CoderErrorsArePlainTextWithoutADialog) {
  EXPECT_EXIT(guiFatalHandler("Ac.cpp:12: error: symbol out of range", 1, ErrorChannel::StandardError),
              ::testing::ExitedWithCode(1), "^Ac.cpp:12: error: symbol out of range\n$");
}

// A job's fatal error on screen: the box titled with the program's name, then exit status 1.
TEST(ProgramOnScreen, FatalJobErrorShowsTheApplicationBoxAndExits) {
  if (test::guiSession() == nullptr) GTEST_SKIP() << "no X server";
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child gets its own display connection
  const fs::path dir = freshDirectory("qola-ui-fatal");
  std::ofstream(dir / "old.qla", std::ios::binary) << std::string("\x0E\x00\x00\x00\x00\x00", 6);
  auto decompressOldFile = [&] {
    setFatalHandler(&guiFatalHandler);
    auto* window = new CMainWindow({"unused", ""});
    window->Show();
    test::pump(100ms);
    test::BoxCloser closer;
    closer.onOpen = [](wxDialog& box) {
      const auto* message = dynamic_cast<wxGenericMessageDialog*>(&box);
      std::fprintf(stderr, "box '%s': %s\n", box.GetTitle().utf8_string().c_str(),
                   message != nullptr ? message->GetMessage().utf8_string().c_str() : "");
    };
    window->setRadioGroup(kIdCompress, 1);
    window->setText(kIdInputName, (dir / "old.qla").string());
    window->setText(kIdOutputName, (dir / "old.raw").string());
    window->dialog().onStart();
  };
  EXPECT_EXIT(decompressOldFile(), ::testing::ExitedWithCode(1),
              "box 'qola_ui_tests': .*Old file version, program terminated");
  fs::remove_all(dir);
}

// The real program: its window opens, Escape quits it, and the process ends.
TEST(ProgramOnScreen, EscapeEndsTheProgram) {
  if (test::guiSession() == nullptr) GTEST_SKIP() << "no X server";
  const pid_t program = fork();
  ASSERT_GE(program, 0);
  if (program == 0) {
    execl(QOLA_GUI_PATH, QOLA_GUI_PATH, static_cast<char*>(nullptr));
    _exit(127);
  }
  // The dialog is centred on the screen: point at it and press Escape until the program ends.
  int status = -1;
  int endedAt = -1;
  for (int attempt = 0; attempt < 100 && endedAt < 0; ++attempt) {
    test::pump(100ms);
    if (waitpid(program, &status, WNOHANG) == program) {
      endedAt = attempt;
      break;
    }
    if (attempt >= 10 && attempt % 10 == 0) {
      wxUIActionSimulator input;
      input.MouseMove(wxGetDisplaySize().GetWidth() / 2, wxGetDisplaySize().GetHeight() / 2);
      test::pressKey(WXK_ESCAPE);
    }
  }
  if (endedAt < 0) {
    kill(program, SIGKILL);
    waitpid(program, &status, 0);
    FAIL() << "the program did not end on Escape";
  }
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_GT(endedAt, 10) << "the program ended before it was asked to";
}

}  // namespace
}  // namespace qola::ui
