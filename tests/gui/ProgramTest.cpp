// The desktop program in its own process under openbox, driven as a user
// drives it: every case ends with the files on disk and the exit status.
#include <gtest/gtest.h>

#include <qola/qola.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include <wx/clipbrd.h>

#include "ProgramSession.h"

namespace qola::ui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Program;
using test::writeRecording;

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The file's samples restored through the library, as a check of a compressed output.
std::string restored(const fs::path& compressed) {
  const std::string bytes = readText(compressed);
  Input in = Input::memory({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  Output out = Output::memory();
  Job job;
  job.decompress(in, out);
  const std::span<const std::uint8_t> data = out.data();
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

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
// asks whether to cancel it. No: the job ends with its report and the
// program closes. Yes: the job stops, its partial output is removed, an
// existing file stays as it was, and the program closes. Escape asks the
// same; Yes there returns to the dialog with its entries, ready to start again.
TEST_F(ProgramOnDesktop, CloseRequestsAndEscapeDuringAJob) {
  writeRecording(dir / "long.raw", 48 << 20);
  struct Case {
    const char* request;  // wmctrl or the keys openbox closes a window with, or Escape
    bool cancel;
    bool existing;  // an older output was there
  } const cases[] = {
      {"wmctrl", false, false}, {"alt+F4", false, true}, {"wmctrl", true, true},
      {"alt+F4", true, false},  {"Escape", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.request << (c.cancel ? ", cancelled" : ", not cancelled")
                                    << (c.existing ? ", over an existing file" : ""));
    fs::remove(dir / "long.raw.qla");
    if (c.existing) std::ofstream(dir / "long.raw.qla") << "older";
    Program program({(dir / "long.raw").string()});  // opens with the input and an offered output
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
    if (!c.cancel) program.keys(program.window("Ready"), "Return");
    if (std::string(c.request) == "Escape") {
      EXPECT_EQ(program.exitStatus(1s), Program::kRunning) << "Escape during the job closed the program";
      EXPECT_EQ(names(), (std::vector<std::string>{"long.raw", "long.raw.qla"}));
      EXPECT_EQ(readText(dir / "long.raw.qla"), "older");
      // The entries are as they were: Start runs the same job again, to its end.
      program.keys(program.window("QOLA"), "Return");  // no question: the user agreed to replace it
      program.keys(program.window("Ready", 60s), "Return");
      EXPECT_EQ(restored(dir / "long.raw.qla"), readText(dir / "long.raw"));
      test::shell("wmctrl -i -c " + main);
    }
    EXPECT_EQ(program.exitStatus(60s), 0);
    if (c.cancel && std::string(c.request) != "Escape") {
      const std::vector<std::string> left{"long.raw", "long.raw.qla"};
      EXPECT_EQ(names(), c.existing ? left : std::vector<std::string>{"long.raw"});
      if (c.existing) {
        EXPECT_EQ(readText(dir / "long.raw.qla"), "older");
      }
    } else if (!c.cancel) {
      EXPECT_EQ(names(), (std::vector<std::string>{"long.raw", "long.raw.qla"}));
      EXPECT_EQ(restored(dir / "long.raw.qla"), readText(dir / "long.raw"));
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
    Program program({(dir / "in.raw").string()});
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

}  // namespace
}  // namespace qola::ui
