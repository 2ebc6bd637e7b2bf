// The dialog logic against the scripted fake: no display needed.
#include "MainDialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <tuple>

#include "DialogTemplate.h"

namespace qola::ui {
namespace {

namespace fs = std::filesystem;
using Texts = std::map<int, std::string>;
using Log = std::vector<std::string>;

// A scripted stand-in for the toolkit: controls are plain values keyed by id,
// every other call is logged, and file pickers return what the test queued.
class FakePlatform : public DialogPlatform {
 public:
  std::map<int, int> radios;  // first id of the group -> index
  std::map<int, bool> checks;
  Texts texts;
  std::map<int, int> limits;
  std::set<int> disabled;
  std::deque<std::string> pickerAnswers;  // none left: the user cancels
  bool helpStarts = true;
  bool replaceAnswer = true;
  Log log;

  void setRadioGroup(int firstId, int index) override { radios[firstId] = index; }
  int radioGroup(int firstId) const override { return radios.contains(firstId) ? radios.at(firstId) : -1; }
  void setCheck(int id, bool checked) override { checks[id] = checked; }
  bool check(int id) const override { return checks.contains(id) && checks.at(id); }
  void setText(int id, const std::string& text) override { texts[id] = text; }
  std::string text(int id) const override { return texts.contains(id) ? texts.at(id) : ""; }
  void enableControl(int id, bool enabled) override {
    disabled.erase(id);
    if (!enabled) disabled.insert(id);
  }
  void limitText(int id, int characters) override { limits[id] = characters; }
  void focusAndSelectAll(int id) override { log.push_back(std::to_string(id) + " selected"); }
  void setProgressPosition(int percent) override { log.push_back("progress " + std::to_string(percent)); }
  void setWaitCursor(bool busy) override { log.push_back(busy ? "busy" : "idle"); }
  void beginJob() override { log.push_back("job"); }
  void endJob() override { log.push_back("end"); }
  void messageBox(const std::string& text, const std::string& title, MessageIcon icon) override {
    log.push_back(title + (icon == MessageIcon::Exclamation ? " (!) " : " (i) ") + text);
  }
  bool askYesNo(const std::string& text, const std::string& title) override {
    log.push_back(title + " (?) " + text);
    return replaceAnswer;
  }
  std::optional<std::string> pickFile(FilePicker kind, const std::string& filter) override {
    log.push_back((kind == FilePicker::Open ? "open " : "save ") + filter);
    if (pickerAnswers.empty()) return std::nullopt;
    std::string answer = pickerAnswers.front();
    pickerAnswers.pop_front();
    return answer;
  }
  bool showHelp(int context) override {
    log.push_back("help " + std::to_string(context));
    return helpStarts;
  }
  void closeHelp() override { log.push_back("help closed"); }
  void showAbout() override {}
  std::string applicationTitle() const override { return "qola-gui"; }
};

std::vector<Mode> jobs;  // the entries called
DialogSettings lastSettings;

// Copies input to output and reports as a job does.
template <Mode entry>
std::string copyJob(const DialogSettings& settings, std::FILE* input, std::FILE* output, CMainDialog& dialog) {
  jobs.push_back(entry);
  lastSettings = settings;
  dialog.setProgress(0);
  for (int byte = std::fgetc(input); byte >= 0; byte = std::fgetc(input)) std::fputc(byte, output);
  dialog.setProgress(100);
  std::fclose(output);
  std::fclose(input);
  return "\nfake report";
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

long openDescriptors() { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); }

class MainDialogLogic : public testing::Test {
 protected:
  void SetUp() override {
    jobs.clear();
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(input) << "PCM data";
    dialog.onInitDialog();
  }
  void TearDown() override { fs::remove_all(dir); }

  FakePlatform platform;
  CMainDialog dialog{platform, {&copyJob<Mode::Compress>, &copyJob<Mode::Decompress>}};
  const fs::path dir = fs::temp_directory_path() / ("qola-ui-" + std::to_string(getpid()));
  const fs::path input = dir / "in.raw", output = dir / "out.qla";
};

TEST_F(MainDialogLogic, InitialState) {
  EXPECT_EQ(platform.radios, (std::map<int, int>{{kIdCompress, 0}, {kIdMono, 1}, {kId8Bit, 1}, {kIdAdaptNone, 2},
                                                 {kIdBlock128, 5}}));  // Compress, Stereo, 16 bit, Full, 4096
  EXPECT_EQ(platform.checks, (std::map<int, bool>{{kIdJointStereo, false}, {kIdWavEvaluation, false},
                                                  {kIdSwapBytes, false}}));
  EXPECT_EQ(platform.texts, (Texts{{kIdInputName, ""}, {kIdOutputName, ""}}));
  EXPECT_EQ(platform.limits, (std::map<int, int>{{kIdInputName, 128}, {kIdOutputName, 128}}));
  EXPECT_TRUE(platform.disabled.empty() && platform.log.empty());
}

std::set<std::string> namesIn(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

// Names, then the adaptation rule, then one file for both, then the files. A
// refusal touches no file; the input is opened first, so a failed open leaves
// the output as it was; an existing output is replaced only after a question;
// nothing stays open and no temporary file is left.
TEST_F(MainDialogLogic, StartChecksInOrder) {
  constexpr Mode C = Mode::Compress, D = Mode::Decompress;
  struct Case {
    Mode mode;
    int adaptation, block;
    const char *in, *out, *error, *outputAfter;
  } const cases[] = {
      {C, 2, 5, "", "", kEnterFileName, "old"},     {C, 2, 5, "in", "", kEnterFileName, "old"},
      {C, 2, 5, "", "out", kEnterFileName, "old"},  {D, 2, 5, "", "", kEnterFileName, "old"},
      {D, 2, 5, "in", "", kEnterFileName, "old"},   {D, 2, 5, "", "out", kEnterFileName, "old"},
      {C, 2, 0, "", "", kEnterFileName, "old"},     {C, 1, 1, "in", "out", kMinimumBlockLength, "old"},
      {C, 2, 0, "in", "out", kMinimumBlockLength, "old"},
      {C, 2, 5, "in", "in", kSameFile, "old"},      {D, 2, 5, "link", "in", kSameFile, "old"},
      {C, 2, 2, "in", "out", nullptr, "PCM data"},  {C, 0, 0, "in", "out", nullptr, "PCM data"},
      {D, 2, 1, "in", "new", nullptr, "old"},       {C, 2, 5, "missing", "out", kCouldNotOpen, "old"},
      {C, 2, 5, "dir", "new", kCouldNotOpen, "old"}, {D, 2, 5, "in", "bad", kCouldNotOpen, "old"},
      {D, 2, 5, "in", "dir", kCouldNotOpen, "old"},
  };
  fs::create_directories(dir / "sub");
  fs::create_symlink(input, dir / "link.raw");
  const Texts paths{{0, ""},        {'i', input},      {'o', output},    {'m', dir / "missing.raw"},
                    {'n', dir / "new.raw"}, {'b', dir / "none" / "out.qla"}, {'d', dir / "sub"},
                    {'l', dir / "link.raw"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << static_cast<int>(c.mode) << " adaptation " << c.adaptation
                                    << " block " << c.block << " '" << c.in << "' '" << c.out << "'");
    std::ofstream(output) << "old";
    fs::remove(dir / "new.raw");
    jobs.clear();
    platform.log.clear();
    platform.radios = {{kIdCompress, c.mode == Mode::Decompress}, {kIdAdaptNone, c.adaptation}, {kIdBlock128, c.block}};
    platform.texts = {{kIdInputName, paths.at(c.in[0])}, {kIdOutputName, paths.at(c.out[0])}};
    const long descriptors = openDescriptors();
    CMainDialog fresh{platform, {&copyJob<Mode::Compress>, &copyJob<Mode::Decompress>}};
    fresh.onStart();
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(readText(output), c.outputAfter);
    EXPECT_EQ(readText(input), "PCM data");
    const bool ran = c.error == nullptr, asked = ran && c.out[0] == 'o';
    EXPECT_EQ(jobs, (ran ? std::vector{c.mode} : std::vector<Mode>{}));
    Log job{"busy", "job", "progress 0", "progress 100", "end", "Ready (i) \nfake report", "progress 0", "idle"};
    if (asked) job.insert(job.begin(), "Save As (?) " + replaceQuestion(output));
    EXPECT_EQ(platform.log, ran ? job : Log{"Error (!) " + std::string(c.error)});
    if (c.out[0] == 'n') {
      EXPECT_EQ(readText(dir / "new.raw"), ran ? "PCM data" : "");
    }
    std::set<std::string> names{"in.raw", "out.qla", "link.raw", "sub"};
    if (ran && c.out[0] == 'n') names.insert("new.raw");
    EXPECT_EQ(namesIn(dir), names);
  }
}

// A typed name that exists gets the save picker's question; No leaves the file
// alone. A name the user agreed to, picked, or that the last job wrote runs without one.
TEST_F(MainDialogLogic, ReplacingAFileTakesTheUsersWord) {
  const std::string question = "Save As (?) A file named \"out.qla\" already exists. Do you want to replace it?";
  std::ofstream(output) << "old";
  platform.texts = {{kIdInputName, input}, {kIdOutputName, output}};
  platform.replaceAnswer = false;
  dialog.onStart();
  EXPECT_EQ(platform.log, Log{question});
  EXPECT_EQ(readText(output), "old");
  platform.replaceAnswer = true;
  dialog.onStart();
  dialog.onStart();
  platform.pickerAnswers = {dir / "picked.qla"};
  std::ofstream(dir / "picked.qla") << "old";
  dialog.onBrowseOutput();
  dialog.onStart();
  EXPECT_EQ(std::count(platform.log.begin(), platform.log.end(), question), 2);
  EXPECT_EQ(jobs.size(), 3u);
  EXPECT_EQ(readText(output), "PCM data");
  EXPECT_EQ(readText(dir / "picked.qla"), "PCM data");
}

// Writes part of an output, then fails as a damaged input or a full disk does.
std::string failingJob(const DialogSettings&, std::FILE* input, std::FILE* output, CMainDialog&) {
  std::fputs("partial", output);
  std::fclose(output);
  std::fclose(input);
  throw Error(QOLA_ERROR_WRITE, "write error (disk full?)", 1);
}

// The program ends with the job's message, and the user's files are as they were.
TEST_F(MainDialogLogic, FailedJobLeavesTheFilesAsTheyWere) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const fs::path& target : {output, dir / "new.qla"}) {
    std::ofstream(output) << "old";
    platform.texts = {{kIdInputName, input}, {kIdOutputName, target}};
    CMainDialog failing{platform, {&failingJob, &failingJob}};
    EXPECT_EXIT(failing.onStart(), testing::ExitedWithCode(1), "");
    EXPECT_EQ(readText(output), "old");
    EXPECT_EQ(namesIn(dir), (std::set<std::string>{"in.raw", "out.qla"}));
  }
}

TEST_F(MainDialogLogic, SettingsComeFromTheMembers) {
  struct Case {
    int format, resolution, adaptation;  // radio indices; the rest reads as in the record
    DialogSettings expected;
  } const cases[] = {
      {0, 0, 1, {Mode::Compress, 1, 8, 3, Adaptation::Medium, true, true, false}},
      {1, 1, 0, {Mode::Decompress, 2, 16, 5, Adaptation::None, false, false, true}},
      {1, 0, 2, {Mode::Compress, 2, 8, 2, Adaptation::Full, true, false, true}},
  };
  auto fields = [](const DialogSettings& s) {
    return std::tuple(s.mode, s.channelCount, s.sampleBits, s.blockLengthIndex, s.adaptation, s.wavEvaluation,
                      s.jointStereo, s.swapBytes);
  };
  platform.texts = {{kIdInputName, input}, {kIdOutputName, output}};
  for (const auto& [format, resolution, adaptation, expected] : cases) {
    platform.radios = {{kIdCompress, expected.mode == Mode::Decompress}, {kIdMono, format}, {kId8Bit, resolution},
                       {kIdAdaptNone, adaptation}, {kIdBlock128, expected.blockLengthIndex}};
    platform.checks = {{kIdJointStereo, expected.jointStereo}, {kIdWavEvaluation, expected.wavEvaluation},
                       {kIdSwapBytes, expected.swapBytes}};
    jobs.clear();
    dialog.onStart();
    EXPECT_EQ(jobs, std::vector{expected.mode});
    EXPECT_EQ(fields(lastSettings), fields(expected));
  }
}

TEST_F(MainDialogLogic, ModeSwitchGreysTheNineteenCodingOptions) {
  const std::set<int> options = {1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015, 1016,
                                 1017, 1018, 1019, 1020, 1021, 1024, 1025, 1026, 1027};
  dialog.onDecompress();
  dialog.onDecompress();
  EXPECT_EQ(platform.disabled, options);  // Swap bytes, the fields and the buttons stay
  dialog.onCompress();
  EXPECT_TRUE(platform.disabled.empty());
  // Only the clicks switch: showing mode 1 through the exchange leaves the enabling alone.
  dialog.mode = 1;
  dialog.updateData(false);
  EXPECT_TRUE(platform.disabled.empty());
}

// Browse... fills one field, Cancel changes nothing. Typing stops at 128
// characters, but a picked name may be longer: the exchange refuses it with
// its text selected, and the action stops there.
TEST_F(MainDialogLogic, BrowseAndOverLongNames) {
  const std::string types =
      "|QOLA Files (*.qla)|*.qla|Wave Files (*.wav)|*.wav|Raw PCM Files (*.raw;*.pcm;*.dat)|*.raw;*.pcm;*.dat";
  const std::string save = "save All Files (*.*) |*" + types, open = "open All Files (*.*)|*" + types;
  const std::string longName = "/" + std::string(128, 'x');
  platform.texts[kIdInputName] = "typed.raw";
  platform.pickerAnswers = {"/music/song.qla"};
  dialog.onBrowseOutput();
  dialog.onBrowseOutput();  // nothing queued: the user cancels
  EXPECT_EQ(platform.texts, (Texts{{kIdInputName, "typed.raw"}, {kIdOutputName, "/music/song.qla"}}));
  platform.pickerAnswers = {longName};
  dialog.onBrowseInput();
  ASSERT_EQ(platform.text(kIdInputName), longName);
  dialog.outputName = "member before";
  dialog.onStart();
  dialog.onBrowseOutput();  // stops before any picker opens
  const std::string refusal = "qola-gui (!) Please enter no more than 128 characters.";
  EXPECT_EQ(platform.log, (Log{save, save, open, refusal, "1005 selected", refusal, "1005 selected"}));
  EXPECT_EQ(dialog.outputName, "member before");  // the exchange stopped at the long name
  EXPECT_TRUE(jobs.empty());
  std::string accented;  // characters count, not bytes
  for (int i = 0; i < 128; ++i) accented += "\xC3\xA9";
  platform.texts[kIdInputName] = accented;
  EXPECT_TRUE(dialog.updateData(true));
  platform.texts[kIdInputName] = accented + "x";
  EXPECT_FALSE(dialog.updateData(true));
}

TEST_F(MainDialogLogic, HelpOpensTheDialogsTopicOrSaysItFailed) {
  dialog.onHelp();
  platform.helpStarts = false;
  dialog.onHelp();
  dialog.onDestroy();
  EXPECT_EQ(platform.log, (Log{"help 131174", "help 131174", "qola-gui (!) Failed to launch help.", "help closed"}));
}

}  // namespace
}  // namespace qola::ui
