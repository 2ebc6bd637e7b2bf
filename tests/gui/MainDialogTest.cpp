// The dialog logic against a scripted fake, no display needed: the checks
// before a job and a failed job never cost the user a file.
#include "MainDialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "DialogTemplate.h"
#include "GuiSession.h"
#include "ReportDialog.h"

namespace qola::ui {
namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;
using test::readText;

// Radio groups and texts are plain values keyed by id; boxes and questions are logged.
class FakePlatform : public DialogPlatform {
 public:
  std::map<int, int> radios;
  std::map<int, std::string> texts;
  bool replaceAnswer = true;
  bool cancelAnswer = false;
  int stopRequests = 0;  // Escape or close requests the next progress updates find
  std::optional<std::string> picked;
  std::string pickedIn;  // the folder the last picker opened in
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
  bool takeStopRequest() override { return stopRequests > 0 && stopRequests-- > 0; }
  void messageBox(const std::string& text, const std::string& title, MessageIcon) override {
    log.push_back(title + ": " + text);
  }
  bool askYesNo(const std::string& text, const std::string&) override {
    log.push_back("? " + text);
    return text == kCancelJob ? cancelAnswer : replaceAnswer;
  }
  std::optional<std::string> pickFile(FilePicker, const std::string&, const std::string& folder,
                                      const std::string&) override {
    pickedIn = folder;
    return picked;
  }
  bool showHelp(int) override { return true; }
  void closeHelp() override {}
  void showAbout() override {}
  std::string applicationTitle() const override { return "qola-gui"; }
};

DialogSettings lastSettings;
bool jobFails = false;

// Copies input to output and reports as a job does; or fails after writing,
// as a damaged input or a full disk makes a job fail.
// Halfway it reports progress, where the user may cancel it.
std::string copyJob(const DialogSettings& settings, std::FILE* input, std::FILE* output, MainDialog& dialog) {
  lastSettings = settings;
  for (int byte = std::fgetc(input); byte >= 0; byte = std::fgetc(input)) std::fputc(byte, output);
  const bool cancelled = dialog.jobProgress(50);
  std::fclose(output);
  std::fclose(input);
  if (cancelled) throw Error(QOLA_CANCELLED, "cancelled", 1);
  if (jobFails) throw Error(QOLA_ERROR_WRITE, "write error (disk full?)", 1);
  return "report";
}

// Seven bytes a restore takes for a compressed file of one sample.
const std::string kCompressedHead("\x11\x00\x00\x00\x00\x01X", 7);

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
    std::ofstream(dir / "in.qla") << kCompressedHead;
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
// or is no compressed file (checked before the output is opened) and a No to
// the question leave the output as it was. Nothing stays open, no temporary
// file is left; a refused file is named with the system's reason.
TEST_F(MainDialogLogic, RefusalsAndJobsKeepTheUsersFiles) {
  const std::string notFound = std::strerror(ENOENT), isFolder = std::strerror(EISDIR);
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
      {0, 5, "missing.raw", "out.qla", true,
       "Error: Could not open file!\n\n" + (dir / "missing.raw").string() + "\n" + notFound, "old"},
      {0, 5, "sub", "out.qla", true, "Error: Could not open file!\n\n" + (dir / "sub").string() + "\n" + isFolder,
       "old"},
      {1, 5, "in.raw", "out.raw", true, "Error: Not a QOLA file!\n\n" + (dir / "in.raw").string(), "old"},
      {1, 5, "in.qla", "none/out.raw", true,
       "Error: Could not open file!\n\n" + (dir / "none/out.raw").string() + "\n" + notFound, "old"},
      {1, 5, "in.qla", "sub", true, "Error: Could not open file!\n\n" + (dir / "sub").string() + "\n" + isFolder,
       "old"},
      {0, 5, "in.raw", "out.qla", false, "? " + replaceQuestion("out.qla"), "old"},
      {0, 5, "in.raw", "out.qla", true, "? " + replaceQuestion("out.qla"), "PCM data"},
      {1, 1, "in.qla", "new.raw", true, "Ready: report\noutput file\t: " + (dir / "new.raw").string(), "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.block << " '" << c.in << "' '" << c.out << "'");
    std::ofstream(dir / "out.qla") << "old";
    fs::remove(dir / "new.raw");
    platform.log.clear();
    platform.replaceAnswer = c.replace;
    enter(c.mode, c.block, c.in, c.out);
    const long descriptors = openDescriptors();
    MainDialog dialog{platform, {&copyJob, &copyJob}};
    dialog.onStart();
    EXPECT_EQ(platform.log.at(0), c.said);
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(readText(dir / "out.qla"), c.outputAfter);
    EXPECT_EQ(readText(dir / "in.raw"), "PCM data");
    std::set<std::string> names{"in.raw", "in.qla", "out.qla", "link.raw", "sub"};
    if (c.said.starts_with("Ready")) names.insert("new.raw");
    EXPECT_EQ(namesIn(dir), names);
  }
  EXPECT_EQ(readText(dir / "new.raw"), kCompressedHead);
  const DialogSettings& s = lastSettings;  // the radio groups and checks of the last case
  EXPECT_TRUE(s.mode == Mode::Decompress && s.channelCount == 2 && s.sampleBits == 8 && s.blockLengthIndex == 1 &&
              s.adaptation == Adaptation::Medium && s.jointStereo && !s.wavEvaluation && !s.swapBytes);
}

// A link whose file is gone stays the user's link: the output goes where it points.
TEST_F(MainDialogLogic, OutputThroughALinkWhoseFileIsGone) {
  fs::create_symlink(dir / "gone.raw", dir / "out.lnk");
  platform.replaceAnswer = true;
  enter(1, 1, "in.qla", "out.lnk");
  MainDialog dialog{platform, {&copyJob, &copyJob}};
  dialog.onStart();
  EXPECT_TRUE(fs::is_symlink(dir / "out.lnk"));
  EXPECT_EQ(readText(dir / "gone.raw"), kCompressedHead);
}

// The library's job behind the dialog: a file compressed with the controls'
// settings (8-bit stereo, Medium, 1024, joint) and restored exactly. The
// report as the user sees and copies it: the output's name closes the
// columns, a grown file's note stays below them, and the copy lines the
// colons up with spaces.
TEST_F(MainDialogLogic, LibraryJobRestoresTheFileExactlyAndReportsIt) {
  std::string pcm;
  for (int i = 0; i < 60000; ++i) pcm += static_cast<char>(100 * std::sin(i * 0.01) + i * 7919 % 23);
  std::ofstream(dir / "in.raw", std::ios::binary) << pcm;
  std::ofstream(dir / "tiny.raw", std::ios::binary) << "0123456789";
  MainDialog dialog{platform};
  enter(0, 3, "in.raw", "in.qla");
  dialog.onStart();
  enter(1, 3, "in.qla", "out.raw");
  dialog.onStart();
  enter(0, 5, "tiny.raw", "tiny.qla");
  dialog.onStart();
  ASSERT_EQ(platform.log.size(), 4u);
  EXPECT_EQ(platform.log[0], "? " + replaceQuestion("in.qla"));
  EXPECT_EQ(platform.log[1].rfind("Ready: \nprocessed data\t: 2 x 30000 samples (8 bit)", 0), 0u)
      << platform.log[1];
  EXPECT_EQ(platform.log[2].rfind("Ready: ", 0), 0u) << platform.log[2];
  EXPECT_TRUE(readText(dir / "out.raw") == pcm) << "the round trip is not exact";
  const std::string& report = platform.log[3];
  const std::size_t name = report.find("\noutput file\t: " + (dir / "tiny.qla").string() + "\n\n");
  ASSERT_NE(name, std::string::npos) << report;
  EXPECT_EQ(report.substr(report.find("\n\n", name) + 2),
            grownNote("the input is too short to pay for the file's header and records"));

  EXPECT_EQ(alignedText("\nprocessed data\t: 2 x 5 samples\nratio\t: 1.500\noutput file\t: /x\n\nGrew."),
            "processed data : 2 x 5 samples\n"
            "ratio          : 1.500\n"
            "output file    : /x\n"
            "\n"
            "Grew.\n");
}

// A failed job (a full disk) and a cancelled one keep the dialog, its entries
// and the user's files: an existing output as it was, a new one never made.
// A No to the cancel question lets the job finish.
TEST_F(MainDialogLogic, FailedOrCancelledJobsKeepTheDialogAndTheFiles) {
  const std::string ready = "Ready: report\noutput file\t: " + (dir / "new.qla").string();
  struct Case {
    const char* target;
    bool fails, cancel, yes;  // yes: the answer to the cancel question
    Log said;
  } const cases[] = {
      {"out.qla", true, false, true, {"qola-gui: write error (disk full?)"}},
      {"new.qla", true, false, true, {"qola-gui: write error (disk full?)"}},
      {"out.qla", false, true, true, {"? Cancel the running job?"}},
      {"new.qla", false, true, true, {"? Cancel the running job?"}},
      {"new.qla", false, true, false, {"? Cancel the running job?", ready}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.target << (c.fails ? " fails" : c.yes ? " cancelled" : " not cancelled"));
    std::ofstream(dir / "out.qla") << "old";
    fs::remove(dir / "new.qla");
    enter(0, 5, "in.raw", c.target);
    platform.log.clear();
    platform.stopRequests = c.cancel ? 1 : 0;
    platform.cancelAnswer = c.yes;
    MainDialog dialog{platform, {&copyJob, &copyJob}};
    jobFails = c.fails;
    dialog.onStart();
    jobFails = false;
    Log said = c.said;  // after the question whether to replace an existing output
    if (std::string(c.target) == "out.qla") said.insert(said.begin(), "? " + replaceQuestion("out.qla"));
    EXPECT_EQ(platform.log, said);
    EXPECT_EQ(readText(dir / "out.qla"), "old");
    std::set<std::string> names{"in.raw", "in.qla", "out.qla", "link.raw", "sub"};
    if (!c.yes) names.insert("new.qla");
    EXPECT_EQ(namesIn(dir), names);
    EXPECT_EQ(readText(dir / "new.qla"), c.yes ? "" : "PCM data");
    EXPECT_EQ(dialog.inputName, dir / "in.raw");
    EXPECT_EQ(dialog.outputName, dir / c.target);
  }
}

// The output name offered for an input, its mode and the picker's folder:
// ".qla" added or removed, the offer following the input and the mode while
// the user keeps it, and never replacing a name the user typed.
TEST_F(MainDialogLogic, OfferedOutputNamesFollowTheInput) {
  EXPECT_EQ(suggestedOutputName("/a/x.wav", false), "/a/x.wav.qla");
  EXPECT_EQ(suggestedOutputName("/a/x.wav.QLA", true), "/a/x.wav");
  EXPECT_EQ(suggestedOutputName("/a/x.raw", true), "/a/x.raw.restored");
  EXPECT_EQ(suggestedOutputName(".qla", true), ".qla.restored");
  MainDialog dialog{platform};
  dialog.onInitDialog();
  dialog.openFile("/music/a.wav.qla");
  EXPECT_EQ(platform.radios[kIdCompress], 1);
  EXPECT_EQ(platform.texts[kIdOutputName], "/music/a.wav");
  dialog.onCompress();  // the offer follows the mode
  EXPECT_EQ(platform.texts[kIdOutputName], "/music/a.wav.qla.qla");
  dialog.openFile("/music/b.wav");
  EXPECT_EQ(platform.radios[kIdCompress], 0);
  EXPECT_EQ(platform.texts[kIdOutputName], "/music/b.wav.qla");
  platform.texts[kIdOutputName] = "/elsewhere/mine.qla";  // typed by the user: it stays
  dialog.openFile("/music/c.wav");
  EXPECT_EQ(platform.texts[kIdOutputName], "/elsewhere/mine.qla");
  platform.texts[kIdOutputName] = "";
  platform.picked = (dir / "sub" / "picked.raw").string();
  dialog.onBrowseInput();
  EXPECT_EQ(platform.texts[kIdOutputName], (dir / "sub" / "picked.raw.qla").string());
  platform.picked = std::nullopt;
  platform.texts[kIdOutputName] = std::string(5000, 'n');  // an over-long name does not stop a pick
  dialog.onBrowseOutput();
  EXPECT_EQ(platform.pickedIn, (dir / "sub").string()) << "the last folder of this run";
  EXPECT_TRUE(platform.log.empty());
}

}  // namespace
}  // namespace qola::ui
