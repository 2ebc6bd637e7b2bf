// The dialog logic against the scripted fake: no display needed.
#include "ui/MainDialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "ui/DialogTemplate.h"
#include "ui/FakePlatform.h"

namespace qola::ui {
namespace {

namespace fs = std::filesystem;
using test::FakePlatform;

// What the fake jobs saw; they copy input to output and report like a job.
struct JobLog {
  std::vector<CodecSettings> compressions;
  std::vector<CodecSettings> decompressions;
};
JobLog* jobLog = nullptr;

void fakeJob(std::vector<CodecSettings>& calls, const CodecSettings& settings, InputStream& input,
             OutputStream& output, ProgressSink& sink) {
  calls.push_back(settings);
  sink.setProgress(0);
  for (int byte = input.getByte(); byte >= 0; byte = input.getByte()) output.putByte(static_cast<std::uint8_t>(byte));
  sink.setProgress(100);
  output.close();
  input.close();
  sink.showReport("\nfake report", "Ready");
  sink.setProgress(0);
}
void fakeCompress(const CodecSettings& s, InputStream& in, OutputStream& out, ProgressSink& sink) {
  fakeJob(jobLog->compressions, s, in, out, sink);
}
void fakeDecompress(const CodecSettings& s, InputStream& in, OutputStream& out, ProgressSink& sink) {
  fakeJob(jobLog->decompressions, s, in, out, sink);
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void writeText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

int openDescriptors() {
  return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

class MainDialogLogic : public ::testing::Test {
 protected:
  void SetUp() override {
    jobLog = &jobs;
    dir = fs::temp_directory_path() /
          ("qola-ui-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    input = dir / "in.raw";
    output = dir / "out.qla";
    writeText(input, "PCM data");
    dialog.onInitDialog();
  }
  void TearDown() override {
    jobLog = nullptr;
    fs::remove_all(dir);
  }
  void enterNames(const std::string& in, const std::string& out) {
    platform.texts[kIdInputName] = in;
    platform.texts[kIdOutputName] = out;
  }
  void expectOnlyError(const char* message) {
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, message);
    EXPECT_EQ(platform.boxes[0].title, "Error");
    EXPECT_EQ(platform.boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(jobs.compressions.empty());
    EXPECT_TRUE(jobs.decompressions.empty());
  }

  FakePlatform platform;
  JobLog jobs;
  CMainDialog dialog{platform, JobEntries{&fakeCompress, &fakeDecompress}};
  fs::path dir, input, output;
};

TEST_F(MainDialogLogic, InitialisationShowsTheDefaults) {
  EXPECT_EQ(platform.radios[kIdCompress], 0);
  EXPECT_EQ(platform.radios[kIdMono], 1);          // Stereo
  EXPECT_EQ(platform.radios[kId8Bit], 1);          // 16 bit
  EXPECT_EQ(platform.radios[kIdAdaptNone], 2);     // Full
  EXPECT_EQ(platform.radios[kIdBlock128], 5);      // 4096
  for (int id : {kIdJointStereo, kIdWavEvaluation, kIdSwapBytes}) EXPECT_FALSE(platform.check(id)) << id;
  EXPECT_EQ(platform.text(kIdInputName), "");
  EXPECT_EQ(platform.text(kIdOutputName), "");
  EXPECT_EQ(platform.limits[kIdInputName], 128);
  EXPECT_EQ(platform.limits[kIdOutputName], 128);
  EXPECT_TRUE(platform.disabled.empty());
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(MainDialogLogic, EmptyNamesAreRefusedInBothModesBeforeAnythingOpens) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""}, {input.string(), ""}, {"", output.string()}};
  for (int mode : {0, 1}) {
    for (const auto& [in, out] : cases) {
      SCOPED_TRACE("mode " + std::to_string(mode) + " in '" + in + "' out '" + out + "'");
      platform.boxes.clear();
      platform.radios[kIdCompress] = mode;
      enterNames(in, out);
      dialog.onStart();
      expectOnlyError(kEnterFileName);
      EXPECT_FALSE(fs::exists(output));
    }
  }
}

TEST_F(MainDialogLogic, EmptyNameIsReportedBeforeTheAdaptationCheck) {
  platform.radios[kIdAdaptNone] = 2;
  platform.radios[kIdBlock128] = 0;
  dialog.onStart();
  expectOnlyError(kEnterFileName);
}

TEST_F(MainDialogLogic, AdaptationNeedsLongBlocksOnlyWhenCompressing) {
  enterNames(input.string(), output.string());
  for (auto [adaptation, block] : {std::pair{2, 1}, std::pair{1, 0}}) {
    platform.boxes.clear();
    platform.radios[kIdAdaptNone] = adaptation;
    platform.radios[kIdBlock128] = block;
    dialog.onStart();
    expectOnlyError(kMinimumBlockLength);
    EXPECT_FALSE(fs::exists(output));
  }

  // "Full" with 512, and "None" with 256, compress.
  platform.boxes.clear();
  platform.radios[kIdAdaptNone] = 2;
  platform.radios[kIdBlock128] = 2;
  dialog.onStart();
  platform.radios[kIdAdaptNone] = 0;
  platform.radios[kIdBlock128] = 1;
  dialog.onStart();
  EXPECT_EQ(jobs.compressions.size(), 2u);

  // The same "Full" with 256 decompresses: the check belongs to compression.
  platform.radios[kIdAdaptNone] = 2;
  platform.radios[kIdCompress] = 1;
  dialog.onStart();
  EXPECT_EQ(jobs.decompressions.size(), 1u);
  EXPECT_EQ(platform.boxes.size(), 3u);  // three "Ready" reports, no error
  for (const auto& box : platform.boxes) EXPECT_EQ(box.title, "Ready");
}

TEST_F(MainDialogLogic, MissingInputStillEmptiesTheOutputAndLeavesNothingOpen) {
  writeText(output, "old contents");
  enterNames((dir / "missing.raw").string(), output.string());
  const int before = openDescriptors();
  dialog.onStart();
  expectOnlyError(kCouldNotOpen);
  EXPECT_TRUE(fs::exists(output));
  EXPECT_EQ(fs::file_size(output), 0u);
  EXPECT_EQ(openDescriptors(), before);
}

TEST_F(MainDialogLogic, UnwritableOutputClosesTheOpenedInput) {
  enterNames(input.string(), (dir / "no-such-dir" / "out.qla").string());
  const int before = openDescriptors();
  platform.radios[kIdCompress] = 1;
  dialog.onStart();
  expectOnlyError(kCouldNotOpen);
  EXPECT_EQ(openDescriptors(), before);
}

TEST_F(MainDialogLogic, SettingsComeFromTheMembers) {
  enterNames(input.string(), output.string());
  platform.radios[kIdMono] = 0;
  platform.radios[kId8Bit] = 0;
  platform.radios[kIdAdaptNone] = 1;
  platform.radios[kIdBlock128] = 3;
  platform.checks[kIdJointStereo] = true;
  platform.checks[kIdWavEvaluation] = true;
  dialog.onStart();
  ASSERT_EQ(jobs.compressions.size(), 1u);
  const CodecSettings& s = jobs.compressions[0];
  EXPECT_EQ(s.mode, Mode::Compress);
  EXPECT_EQ(s.channelCount, 1);
  EXPECT_EQ(s.sampleBits, 8);
  EXPECT_EQ(s.blockLengthIndex, 3);
  EXPECT_EQ(blockLength(s), 1024);
  EXPECT_EQ(s.adaptation, Adaptation::Medium);
  EXPECT_TRUE(s.jointStereo);
  EXPECT_TRUE(s.wavEvaluation);
  EXPECT_FALSE(s.swapBytes);

  platform.radios[kIdCompress] = 1;
  platform.radios[kIdMono] = 1;
  platform.radios[kId8Bit] = 1;
  platform.radios[kIdAdaptNone] = 0;
  platform.checks[kIdSwapBytes] = true;
  dialog.onStart();
  ASSERT_EQ(jobs.decompressions.size(), 1u);
  const CodecSettings& d = jobs.decompressions[0];
  EXPECT_EQ(d.mode, Mode::Decompress);
  EXPECT_EQ(d.channelCount, 2);
  EXPECT_EQ(d.sampleBits, 16);
  EXPECT_EQ(d.adaptation, Adaptation::None);
  EXPECT_TRUE(d.swapBytes);
}

TEST_F(MainDialogLogic, JobRunsUnderTheWaitCursorAndReportsThroughTheDialog) {
  enterNames(input.string(), output.string());
  dialog.onStart();
  EXPECT_EQ(readText(output), "PCM data");
  EXPECT_EQ(platform.progress, (std::vector<int>{0, 100, 0}));
  EXPECT_EQ(platform.waitCursor, (std::vector<bool>{true, false}));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "\nfake report");
  EXPECT_EQ(platform.boxes[0].title, "Ready");
  EXPECT_EQ(platform.boxes[0].icon, MessageIcon::Information);
}

TEST_F(MainDialogLogic, StartTwiceRewritesTheOutput) {
  enterNames(input.string(), output.string());
  const int before = openDescriptors();
  dialog.onStart();
  dialog.onStart();
  EXPECT_EQ(jobs.compressions.size(), 2u);
  EXPECT_EQ(readText(output), "PCM data");  // emptied and written again, not appended
  EXPECT_EQ(platform.text(kIdInputName), input.string());
  EXPECT_EQ(openDescriptors(), before);
}

TEST_F(MainDialogLogic, ModeSwitchGreysTheNineteenCodingOptions) {
  const std::set<int> options = {1008, 1007, 1024, 1009, 1010, 1025, 1011, 1012, 1026, 1013,
                                 1014, 1015, 1027, 1016, 1017, 1018, 1019, 1020, 1021};
  dialog.onDecompress();
  EXPECT_EQ(platform.disabled, options);  // so Swap bytes, fields and buttons stay enabled
  dialog.onDecompress();
  EXPECT_EQ(platform.disabled, options);
  dialog.onCompress();
  EXPECT_TRUE(platform.disabled.empty());

  // Only the clicks switch: an exchange showing mode 1 leaves the enabling alone.
  dialog.mode = 1;
  dialog.updateData(false);
  EXPECT_TRUE(platform.disabled.empty());
}

TEST_F(MainDialogLogic, BrowseKeepsTheOtherFieldAndUsesTheFilters) {
  platform.texts[kIdInputName] = "typed-before.raw";
  platform.pickerAnswers.push_back("/home/user/music/song.qla");
  dialog.onBrowseOutput();
  EXPECT_EQ(platform.text(kIdInputName), "typed-before.raw");
  EXPECT_EQ(platform.text(kIdOutputName), "/home/user/music/song.qla");

  platform.pickerAnswers.push_back("/home/user/music/song.wav");
  dialog.onBrowseInput();
  EXPECT_EQ(platform.text(kIdInputName), "/home/user/music/song.wav");
  EXPECT_EQ(platform.text(kIdOutputName), "/home/user/music/song.qla");

  ASSERT_EQ(platform.pickers.size(), 2u);
  EXPECT_EQ(platform.pickers[0].first, FilePicker::Save);
  EXPECT_EQ(platform.pickers[1].first, FilePicker::Open);
  const std::string tail =
      "|QOLA Files (*.qla)|*.qla|Wave Files (*.wav)|*.wav|Raw PCM Files (*.raw;*.pcm;*.dat)|*.raw;*.pcm;*.dat";
  EXPECT_EQ(platform.pickers[0].second, "All Files (*.*) |*" + tail);
  EXPECT_EQ(platform.pickers[1].second, "All Files (*.*)|*" + tail);
}

TEST_F(MainDialogLogic, CancelledBrowseChangesNothing) {
  enterNames("in.raw", "out.qla");
  platform.radios[kIdMono] = 0;
  const FakePlatform before = platform;
  dialog.onBrowseInput();  // no answer queued: the user cancels
  dialog.onBrowseOutput();
  EXPECT_EQ(platform.texts, before.texts);
  EXPECT_EQ(platform.radios, before.radios);
  EXPECT_EQ(platform.checks, before.checks);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(MainDialogLogic, OverLongNameFromBrowseIsRefusedAtStart) {
  const std::string longName = "/" + std::string(140, 'x');
  platform.texts[kIdOutputName] = "kept.qla";
  platform.pickerAnswers.push_back(longName);
  dialog.onBrowseInput();
  ASSERT_EQ(platform.text(kIdInputName), longName);  // code may set what typing could not

  dialog.outputName = "member before";
  dialog.onStart();
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "Please enter no more than 128 characters.");
  EXPECT_EQ(platform.boxes[0].title, "qola-gui");
  EXPECT_EQ(platform.boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(platform.focused, kIdInputName);
  EXPECT_EQ(dialog.inputName, longName);
  EXPECT_EQ(dialog.outputName, "member before");  // the exchange stopped at the long name
  EXPECT_TRUE(jobs.compressions.empty());

  // Browse with the long name still there stops too, before any picker opens.
  dialog.onBrowseOutput();
  EXPECT_EQ(platform.pickers.size(), 1u);
  EXPECT_EQ(platform.boxes.size(), 2u);
}

TEST_F(MainDialogLogic, NameLimitCountsCharactersNotBytes) {
  EXPECT_EQ(characterCount("\xC3\xA9t\xC3\xA9"), 3);  // "été"
  std::string accented;
  for (int i = 0; i < 128; ++i) accented += "\xC3\xA9";
  platform.texts[kIdInputName] = accented;
  EXPECT_TRUE(dialog.updateData(true));
  platform.texts[kIdInputName] = accented + "x";
  EXPECT_FALSE(dialog.updateData(true));
}

TEST_F(MainDialogLogic, HelpOpensTheDialogsTopicOrSaysItFailed) {
  dialog.onHelp();
  EXPECT_EQ(platform.helpContexts, std::vector<int>{131174});
  EXPECT_TRUE(platform.boxes.empty());

  platform.helpStarts = false;
  dialog.onHelp();
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "Failed to launch help.");
  EXPECT_EQ(platform.boxes[0].title, "qola-gui");

  dialog.onDestroy();
  EXPECT_EQ(platform.helpClosed, 1);
}

}  // namespace
}  // namespace qola::ui
