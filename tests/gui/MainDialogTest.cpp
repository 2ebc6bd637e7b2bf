// The dialog logic against a scripted fake, no display needed: the checks
// before a job and a failed job never cost the user a file.
#include "MainDialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "DialogTemplate.h"

namespace qola::ui {
namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;

// Radio groups and texts are plain values keyed by id; boxes and questions are logged.
class FakePlatform : public DialogPlatform {
 public:
  std::map<int, int> radios;
  std::map<int, std::string> texts;
  bool replaceAnswer = true;
  Log log;

  void setRadioGroup(int id, int index) override { radios[id] = index; }
  int radioGroup(int id) const override { return radios.contains(id) ? radios.at(id) : -1; }
  void setCheck(int, bool) override {}
  bool check(int id) const override { return id == kIdJointStereo; }
  void setText(int id, const std::string& text) override { texts[id] = text; }
  std::string text(int id) const override { return texts.contains(id) ? texts.at(id) : ""; }
  void limitText(int, int) override {}
  void focusAndSelectAll(int) override {}
  void enableControl(int, bool) override {}
  void setProgressPosition(int) override {}
  void setWaitCursor(bool) override {}
  void beginJob() override {}
  void endJob() override {}
  void messageBox(const std::string& text, const std::string& title, MessageIcon) override {
    log.push_back(title + ": " + text);
  }
  bool askYesNo(const std::string& text, const std::string&) override {
    log.push_back("? " + text);
    return replaceAnswer;
  }
  std::optional<std::string> pickFile(FilePicker, const std::string&) override { return std::nullopt; }
  bool showHelp(int) override { return true; }
  void closeHelp() override {}
  void showAbout() override {}
  std::string applicationTitle() const override { return "qola-gui"; }
};

DialogSettings lastSettings;
bool jobFails = false;

// Copies input to output and reports as a job does; or fails after writing,
// as a damaged input or a full disk makes a job fail.
std::string copyJob(const DialogSettings& settings, std::FILE* input, std::FILE* output, CMainDialog&) {
  lastSettings = settings;
  for (int byte = std::fgetc(input); byte >= 0; byte = std::fgetc(input)) std::fputc(byte, output);
  std::fclose(output);
  std::fclose(input);
  if (jobFails) throw Error(QOLA_ERROR_WRITE, "write error (disk full?)", 1);
  return "report";
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::set<std::string> namesIn(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

long openDescriptors() { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); }

class MainDialogLogic : public testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(dir);
    fs::create_directories(dir / "sub");
    std::ofstream(dir / "in.raw") << "PCM data";
    fs::create_symlink(dir / "in.raw", dir / "link.raw");
  }
  void TearDown() override { fs::remove_all(dir); }
  void enter(int mode, int block, const std::string& in, const std::string& out) {
    platform.radios = {{kIdCompress, mode}, {kIdMono, 1}, {kId8Bit, 0}, {kIdAdaptNone, 1}, {kIdBlock128, block}};
    platform.texts = {{kIdInputName, in.empty() ? "" : dir / in}, {kIdOutputName, out.empty() ? "" : dir / out}};
  }

  FakePlatform platform;
  const fs::path dir = fs::temp_directory_path() / ("qola-gui-" + std::to_string(getpid()));
};

// A refusal touches no file: one name for both, an input that cannot be read
// (checked before the output is opened) and a No to the question leave the
// output as it was. Nothing stays open, no temporary file is left.
TEST_F(MainDialogLogic, RefusalsAndJobsKeepTheUsersFiles) {
  struct Case {
    int mode, block;
    const char *in, *out;
    bool replace;
    std::string said, outputAfter;
  } const cases[] = {
      {0, 5, "in.raw", "", true, "Error: Please enter a file name!", "old"},
      {0, 1, "in.raw", "out.qla", true, "Error: Minimum block length for adaptation is 512!", "old"},
      {0, 5, "in.raw", "in.raw", true, "Error: Input and output must be different files!", "old"},
      {1, 5, "link.raw", "in.raw", true, "Error: Input and output must be different files!", "old"},
      {0, 5, "missing.raw", "out.qla", true, "Error: Could not open file!", "old"},
      {0, 5, "sub", "out.qla", true, "Error: Could not open file!", "old"},
      {1, 5, "in.raw", "none/out.qla", true, "Error: Could not open file!", "old"},
      {1, 5, "in.raw", "sub", true, "Error: Could not open file!", "old"},
      {0, 5, "in.raw", "out.qla", false, "? " + replaceQuestion("out.qla"), "old"},
      {0, 5, "in.raw", "out.qla", true, "? " + replaceQuestion("out.qla"), "PCM data"},
      {1, 1, "in.raw", "new.raw", true, "Ready: report", "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.block << " '" << c.in << "' '" << c.out << "'");
    std::ofstream(dir / "out.qla") << "old";
    fs::remove(dir / "new.raw");
    platform.log.clear();
    platform.replaceAnswer = c.replace;
    enter(c.mode, c.block, c.in, c.out);
    const long descriptors = openDescriptors();
    CMainDialog dialog{platform, {&copyJob, &copyJob}};
    dialog.onStart();
    EXPECT_EQ(platform.log.at(0), c.said);
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(readText(dir / "out.qla"), c.outputAfter);
    EXPECT_EQ(readText(dir / "in.raw"), "PCM data");
    std::set<std::string> names{"in.raw", "out.qla", "link.raw", "sub"};
    if (c.said.starts_with("Ready")) names.insert("new.raw");
    EXPECT_EQ(namesIn(dir), names);
  }
  EXPECT_EQ(readText(dir / "new.raw"), "PCM data");
  const DialogSettings& s = lastSettings;  // the radio groups and checks of the last case
  EXPECT_TRUE(s.mode == Mode::Decompress && s.channelCount == 2 && s.sampleBits == 8 && s.blockLengthIndex == 1 &&
              s.adaptation == Adaptation::Medium && s.jointStereo && !s.wavEvaluation && !s.swapBytes);
}

// A link whose file is gone stays the user's link: the output goes where it points.
TEST_F(MainDialogLogic, OutputThroughALinkWhoseFileIsGone) {
  fs::create_symlink(dir / "gone.raw", dir / "out.lnk");
  platform.replaceAnswer = true;
  enter(1, 1, "in.raw", "out.lnk");
  CMainDialog dialog{platform, {&copyJob, &copyJob}};
  dialog.onStart();
  EXPECT_TRUE(fs::is_symlink(dir / "out.lnk"));
  EXPECT_EQ(readText(dir / "gone.raw"), "PCM data");
}

// The library's job behind the dialog: a file compressed with the controls'
// settings (8-bit stereo, Medium, 1024, joint) and restored exactly.
TEST_F(MainDialogLogic, LibraryJobRestoresTheFileExactly) {
  std::string pcm;
  for (int i = 0; i < 60000; ++i) pcm += static_cast<char>(100 * std::sin(i * 0.01) + i * 7919 % 23);
  std::ofstream(dir / "in.raw", std::ios::binary) << pcm;
  CMainDialog dialog{platform};
  enter(0, 3, "in.raw", "in.qla");
  dialog.onStart();
  enter(1, 3, "in.qla", "out.raw");
  dialog.onStart();
  ASSERT_EQ(platform.log.size(), 2u);
  EXPECT_EQ(platform.log[0].rfind("Ready: \nprocessed data\t: 2 x 30000 samples (8 bit)", 0), 0u)
      << platform.log[0];
  EXPECT_TRUE(readText(dir / "out.raw") == pcm) << "the round trip is not exact";
}

// The program ends with the job's message, and the user's files are as they were.
TEST_F(MainDialogLogic, FailedJobLeavesTheFilesAsTheyWere) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const char* target : {"out.qla", "new.qla"}) {
    std::ofstream(dir / "out.qla") << "old";
    enter(0, 5, "in.raw", target);
    CMainDialog failing{platform, {&copyJob, &copyJob}};
    jobFails = true;
    EXPECT_EXIT(failing.onStart(), testing::ExitedWithCode(1), "");
    jobFails = false;
    EXPECT_EQ(readText(dir / "out.qla"), "old");
    EXPECT_EQ(namesIn(dir), (std::set<std::string>{"in.raw", "out.qla", "link.raw", "sub"}));
  }
}

}  // namespace
}  // namespace qola::ui
