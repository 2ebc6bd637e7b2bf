// The desktop program as a user runs it: its own process on the tests'
// display under the window manager, driven with xdotool and wmctrl as a
// desktop user's keys and clicks; every case ends with the files on disk and
// the exit status.
#include <gtest/gtest.h>

#include <qola/qola.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <wx/clipbrd.h>

#include "GuiSession.h"
// Last: the X headers define names such as None and Status.
#include "FileDrag.h"

namespace qola::ui::test {

// Why the program cannot be driven here, or nothing.
inline std::string desktopToolsMissing() {
  if (!windowManagerRuns) return "no window manager (openbox) runs";
  for (const char* tool : {"xdotool", "wmctrl"}) {
    if (shell(std::string("command -v ") + tool).empty()) return std::string(tool) + " is not installed";
  }
  return "";
}
#define QOLA_SKIP_WITHOUT_DESKTOP() \
  QOLA_SKIP_WITHOUT_X_SERVER();     \
  if (const std::string why = ::qola::ui::test::desktopToolsMissing(); !why.empty()) GTEST_SKIP() << why

class Program {
 public:
  // Without a file, or with one as a file manager opens it.
  explicit Program(const std::string& file = "")
      : pid_(file.empty() ? spawn({QOLA_GUI_PATH}, false) : spawn({QOLA_GUI_PATH, file}, false)) {}
  ~Program() {
    if (exitStatus(std::chrono::milliseconds(0)) == kRunning) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  static constexpr int kRunning = -1;

  // The id of the program's window with exactly this title, once it is shown; empty when none comes in time.
  std::string window(const std::string& title, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    std::string id;
    pumpUntil(
        [&] {
          id = shell("xdotool search --all --onlyvisible --pid " + std::to_string(pid_) + " --name '^" + title +
                     "$' 2>/dev/null | head -n 1");
          return !id.empty() || exitStatus(std::chrono::milliseconds(0)) != kRunning;
        },
        timeout);
    return id;
  }
  bool hasWindow(const std::string& title) { return !window(title, std::chrono::milliseconds(0)).empty(); }

  // Activates the window and sends it keys as xdotool names them ("Return", "alt+F4").
  void keys(const std::string& windowId, const std::string& keys) {
    shell("xdotool windowactivate --sync " + windowId + " 2>/dev/null; xdotool key --clearmodifiers " + keys);
    pump(std::chrono::milliseconds(200));
  }
  void type(const std::string& windowId, const std::string& text) {
    shell("xdotool windowactivate --sync " + windowId + " 2>/dev/null; xdotool type --delay 1 '" + text + "'");
    pump(std::chrono::milliseconds(200));
  }

  // Whether the program holds this file open: its job has begun.
  bool hasOpen(const std::filesystem::path& file) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", error)) {
      if (std::filesystem::read_symlink(entry.path(), error) == file) return true;
    }
    return false;
  }

  // The exit status once the program has ended, kRunning before.
  int exitStatus(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    if (status_ != kRunning) return status_;
    pumpUntil(
        [&] {
          int status = 0;
          if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
          status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
          return true;
        },
        timeout);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int status_ = kRunning;
};

// A raw 16-bit stereo recording of this many bytes, tonal enough to compress.
inline void writeRecording(const std::filesystem::path& path, std::size_t bytes) {
  std::string pcm(bytes, '\0');
  std::uint32_t noise = 1;
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    noise = noise * 1664525u + 1013904223u;
    const int sample =
        static_cast<int>(8000 * std::sin(static_cast<double>(i) * 0.003)) + static_cast<int>(noise >> 27);
    pcm[i] = static_cast<char>(sample & 0xff);
    pcm[i + 1] = static_cast<char>((sample >> 8) & 0xff);
  }
  std::ofstream(path, std::ios::binary) << pcm;
}

}  // namespace qola::ui::test

namespace qola::ui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Program;
using test::readText;
using test::writeRecording;

// The bytes compressed, or restored, through the library.
std::string viaLibrary(const std::string& bytes, bool compress) {
  Input in = Input::memory({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  Output out = Output::memory();
  Job job;
  compress ? job.compress(in, out) : job.decompress(in, out);
  return {reinterpret_cast<const char*>(out.data().data()), out.data().size()};
}
std::string restored(const fs::path& compressed) { return viaLibrary(readText(compressed), false); }

class ProgramOnDesktop : public testing::Test {
 protected:
  void SetUp() override {
    QOLA_SKIP_WITHOUT_DESKTOP();
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  // Every name in the folder, the program's temporary files included.
  std::vector<std::string> names() {
    std::vector<std::string> all;
    for (const auto& entry : fs::directory_iterator(dir)) all.push_back(entry.path().filename());
    std::sort(all.begin(), all.end());
    return all;
  }

  const fs::path dir = fs::temp_directory_path() / ("qola-gui-program-" + std::to_string(getpid()));
};

// A close request through the window manager during a job, by either path,
// asks whether to cancel it. No: the job ends with its report, which the
// keys of the job's time do not dismiss unseen, and the program closes. Yes:
// the job stops, its partial output is removed, an existing file stays as it
// was, and the program closes. Escape asks the same but never closes the
// program; Yes there returns to the dialog with its entries, ready to start again.
TEST_F(ProgramOnDesktop, CloseRequestsAndEscapeDuringAJob) {
  writeRecording(dir / "long.raw", 48 << 20);
  struct Case {
    const char* request;  // wmctrl or the keys openbox closes a window with, or Escape
    bool cancel;
    bool existing;  // an older output was there
  } const cases[] = {
      {"wmctrl", false, false}, {"alt+F4", false, true}, {"wmctrl", true, true},
      {"alt+F4", true, false},  {"Escape", false, false}, {"Escape", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.request << (c.cancel ? ", cancelled" : ", not cancelled")
                                    << (c.existing ? ", over an existing file" : ""));
    fs::remove(dir / "long.raw.qla");
    if (c.existing) std::ofstream(dir / "long.raw.qla") << "older";
    Program program((dir / "long.raw").string());  // opens with the input and an offered output
    const std::string main = program.window("QOLA");
    ASSERT_FALSE(main.empty());
    program.keys(main, "Return");
    if (c.existing) {
      program.keys(program.window("Save As"), "alt+y");  // replace it
      ASSERT_TRUE(test::pumpUntil([&] { return !program.hasWindow("Save As"); }, 10s));
    }
    ASSERT_TRUE(test::pumpUntil([&] { return program.hasOpen(dir / "long.raw"); })) << "the job did not start";
    if (std::string(c.request) == "wmctrl") {
      test::shell("wmctrl -i -c " + main);
    } else {
      program.keys(main, c.request);
    }
    const std::string question = program.window("qola-gui");
    ASSERT_FALSE(question.empty()) << "no question";
    program.keys(question, c.cancel ? "alt+y" : "alt+n");
    if (!c.cancel) {
      const std::string report = program.window("Ready");
      ASSERT_FALSE(report.empty()) << "no report";
      test::pump(300ms);
      EXPECT_TRUE(program.hasWindow("Ready")) << "the report was dismissed unseen";
      program.keys(report, "Return");
    }
    const bool escape = std::string(c.request) == "Escape";
    if (escape) {
      EXPECT_EQ(program.exitStatus(1s), Program::kRunning) << "Escape during the job closed the program";
      if (c.cancel) {
        EXPECT_EQ(names(), (std::vector<std::string>{"long.raw", "long.raw.qla"}));
        EXPECT_EQ(readText(dir / "long.raw.qla"), "older");
        // The entries are as they were: Start runs the same job again, to its end.
        program.keys(program.window("QOLA"), "Return");  // no question: the user agreed to replace it
        program.keys(program.window("Ready", 60s), "Return");
      }
      test::shell("wmctrl -i -c " + main);
    }
    EXPECT_EQ(program.exitStatus(60s), 0);
    const bool finished = !c.cancel || escape;
    std::vector<std::string> left{"long.raw", "long.raw.qla"};
    if (!finished && !c.existing) left.pop_back();  // the cancelled job's new output is gone
    EXPECT_EQ(names(), left);
    if (finished) {
      EXPECT_EQ(restored(dir / "long.raw.qla"), readText(dir / "long.raw"));
    } else if (c.existing) {
      EXPECT_EQ(readText(dir / "long.raw.qla"), "older");
    }
  }
}

// A long output name is taken whole however it comes: typed, pasted or
// picked with Browse... (where the picker's own field takes it).
TEST_F(ProgramOnDesktop, LongNamesAreTakenWhole) {
  writeRecording(dir / "in.raw", 4000);
  const fs::path deep = dir / std::string(40, 'd');
  fs::create_directories(deep);
  auto nameOf = [&](int characters) {
    const std::string folder = deep.string() + "/";
    return folder + std::string(characters - folder.size() - 4, 'n') + ".qla";
  };
  const struct {
    const char* how;
    std::string output;
  } cases[] = {{"typed", nameOf(139)}, {"pasted", nameOf(140)}, {"browsed", nameOf(147)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    Program program((dir / "in.raw").string());
    const std::string main = program.window("QOLA");
    ASSERT_FALSE(main.empty());
    program.keys(main, "Tab ctrl+a BackSpace");  // the offered output name goes
    if (std::string(c.how) == "typed") {
      program.type(main, c.output);
    } else if (std::string(c.how) == "pasted") {
      ASSERT_TRUE(wxTheClipboard->Open());
      wxTheClipboard->SetData(new wxTextDataObject(c.output));
      wxTheClipboard->Close();
      program.keys(main, "ctrl+v");
    } else {
      program.keys(main, "Tab Tab Tab Tab Tab Tab space");  // to the second "Browse..."
      const std::string picker = program.window("Save As");
      ASSERT_FALSE(picker.empty());
      program.keys(picker, "ctrl+a");
      program.type(picker, c.output);
      program.keys(picker, "Return");
      ASSERT_TRUE(test::pumpUntil([&] { return !program.hasWindow("Save As"); }, 10s));
    }
    program.keys(main, "alt+s");  // Start (Enter would press the focused "Browse...")
    const std::string report = program.window("Ready");
    ASSERT_FALSE(report.empty()) << "no report";
    program.keys(report, "Return");
    test::shell("wmctrl -i -c " + main);
    EXPECT_EQ(program.exitStatus(), 0);
    EXPECT_TRUE(fs::exists(c.output)) << c.output.size() << " characters";
    EXPECT_EQ(std::distance(fs::directory_iterator(deep), fs::directory_iterator()), 1);
    fs::remove(c.output);
  }
}

// A file dropped on the dialog from another program, or given as the
// program's argument as a file manager opens it, becomes the input, with the
// mode its name suggests and the output offered. A job that fails, and an
// input that is no compressed file (refused before any output), keep the
// dialog and its entries: once the file is mended, Start runs the same job.
TEST_F(ProgramOnDesktop, DroppedFilesAndFailedJobsKeepTheDialog) {
  writeRecording(dir / "song.raw", 100000);
  const std::string song = readText(dir / "song.raw"), good = viaLibrary(song, true);
  const std::string wav = std::string("RIFF\x24\x00\x01\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x44\xac\x00\x00"
                                      "\x10\xb1\x02\x00\x04\x00\x10\x00data\x00\x00\x01\x00",
                                      44) +
                          song.substr(0, 65536);
  const struct {
    const char* dropped;
    bool argument;  // given as the program's argument instead
    std::string content;
    const char* box;  // the title of the failure's message, or none
    const char* written;
  } cases[] = {
      {"song.raw", false, song, nullptr, "song.raw.qla"},
      {"x.qla", true, good, nullptr, "x"},
      {"x.qla", false, wav, "Error", "x"},  // a WAV file given to restore
      {"x.qla", false, good.substr(0, good.size() / 2), "qola-gui", "x"},  // a damaged file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dropped << (c.argument ? " as the argument, " : ", ")
                                    << (c.box == nullptr ? "no failure" : c.box));
    std::ofstream(dir / c.dropped, std::ios::binary) << c.content;
    Program program(c.argument ? (dir / c.dropped).string() : "");
    const std::string main = program.window("QOLA");
    ASSERT_FALSE(main.empty());
    if (!c.argument) {
      const std::string centre = test::shell("eval $(xdotool getwindowgeometry --shell " + main +
                                             "); echo $((X + WIDTH / 2)) $((Y + HEIGHT / 2))");
      const int x = std::stoi(centre), y = std::stoi(centre.substr(centre.find(' ')));
      ASSERT_TRUE(test::dropFile(std::stoul(main), x, y, (dir / c.dropped).string())) << "the dialog took no file";
    }
    program.keys(main, "alt+s");
    if (c.box != nullptr) {
      const std::string box = program.window(c.box);
      ASSERT_FALSE(box.empty()) << "no message";
      program.keys(box, "Return");
      EXPECT_EQ(program.exitStatus(1s), Program::kRunning) << "the failed job ended the program";
      EXPECT_EQ(names(), (std::vector<std::string>{"song.raw", "x.qla"}));
      std::ofstream(dir / c.dropped, std::ios::binary) << good;
      program.keys(program.window("QOLA"), "alt+s");
    }
    program.keys(program.window("Ready"), "Return");
    test::shell("wmctrl -i -c " + main);
    EXPECT_EQ(program.exitStatus(), 0);
    const bool restoring = std::string(c.written) == "x";
    const std::vector<std::string> made{"song.raw", "song.raw.qla"}, restoredTo{"song.raw", "x", "x.qla"};
    EXPECT_EQ(names(), restoring ? restoredTo : made);
    EXPECT_EQ(restoring ? readText(dir / c.written) : restored(dir / c.written), song);
    fs::remove(dir / c.written);
  }
}

}  // namespace
}  // namespace qola::ui
