#include "MainDialog.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "DialogTemplate.h"

namespace qola::ui {
namespace {

// The pickers' filters. GTK matches "*.*" literally, which would hide files
// without a dot, so "All Files" uses "*"; and wx reads a trailing "||" as an
// empty filter, so there is none.
constexpr const char* kOpenFilter =
    "All Files (*.*)|*|QOLA Files (*.qla)|*.qla|Wave Files (*.wav)|*.wav|"
    "Raw PCM Files (*.raw;*.pcm;*.dat)|*.raw;*.pcm;*.dat";
constexpr const char* kSaveFilter =
    "All Files (*.*) |*|QOLA Files (*.qla)|*.qla|Wave Files (*.wav)|*.wav|"
    "Raw PCM Files (*.raw;*.pcm;*.dat)|*.raw;*.pcm;*.dat";

// Opens the input for reading; a directory opens on Linux but is no input.
std::FILE* openInput(const std::string& name) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  struct stat status {};
  if (file != nullptr && (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode))) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

}  // namespace

std::string replaceQuestion(const std::string& name) {
  return "A file named \"" + std::filesystem::path(name).filename().string() +
         "\" already exists. Do you want to replace it?";
}

std::string runLibraryJob(const DialogSettings& settings, std::FILE* input, std::FILE* output, CMainDialog& dialog) {
  Settings job;
  job.channels = settings.channelCount;
  job.sample_bits = settings.sampleBits;
  job.block_length = 1 << (settings.blockLengthIndex + 7);
  job.adaptation = static_cast<qola_adaptation>(settings.adaptation);
  job.wav_evaluation = settings.wavEvaluation ? 1 : 0;
  job.joint_stereo = settings.jointStereo ? 1 : 0;
  job.swap_bytes = settings.swapBytes ? 1 : 0;
  job.encoder_mode = QOLA_ENCODER_REFERENCE;  // exactly the dialog's choices, byte for byte
  job.trailer = 1;
  Input in = Input::file(input, true);
  Output out = Output::file(output, true);
  Job runner(job);
  runner.onProgress([&dialog](int percent) {
    dialog.setProgress(percent);
    return false;
  });
  return reportText(settings.mode == Mode::Compress ? runner.compress(in, out) : runner.decompress(in, out));
}

int characterCount(const std::string& utf8) {
  int count = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

std::string tooManyCharactersMessage(int limit) {
  return "Please enter no more than " + std::to_string(limit) + " characters.";
}

CMainDialog::CMainDialog(DialogPlatform& platform, JobEntries jobs) : platform_(platform), jobs_(jobs) {}

bool CMainDialog::exchangeName(bool saveAndValidate, int id, std::string& name) {
  if (!saveAndValidate) {
    platform_.setText(id, name);
    platform_.limitText(id, kMaxNameLength);
    return true;
  }
  name = platform_.text(id);
  if (characterCount(name) <= kMaxNameLength) return true;
  platform_.messageBox(tooManyCharactersMessage(kMaxNameLength), platform_.applicationTitle(),
                       MessageIcon::Exclamation);
  platform_.focusAndSelectAll(id);
  return false;
}

bool CMainDialog::updateData(bool saveAndValidate) {
  auto radio = [&](int firstId, int& member) {
    if (saveAndValidate) {
      member = platform_.radioGroup(firstId);
    } else {
      platform_.setRadioGroup(firstId, member);
    }
  };
  auto check = [&](int id, bool& member) {
    if (saveAndValidate) {
      member = platform_.check(id);
    } else {
      platform_.setCheck(id, member);
    }
  };
  radio(kIdCompress, mode);
  check(kIdJointStereo, jointStereo);
  radio(kIdMono, format);
  radio(kId8Bit, resolution);
  radio(kIdAdaptNone, adaptation);
  radio(kIdBlock128, blockLengthIndex);
  check(kIdWavEvaluation, wavEvaluation);
  check(kIdSwapBytes, swapBytes);
  return exchangeName(saveAndValidate, kIdInputName, inputName) &&
         exchangeName(saveAndValidate, kIdOutputName, outputName);
}

void CMainDialog::onInitDialog() {
  updateData(false);
  mode = 0;
  format = 1;
  resolution = 1;
  adaptation = 2;
  blockLengthIndex = 5;
  updateData(false);
}

void CMainDialog::enableOptions(bool enabled) {
  for (int id : compressionOnlyControls()) platform_.enableControl(id, enabled);
}

void CMainDialog::onCompress() { enableOptions(true); }
void CMainDialog::onDecompress() { enableOptions(false); }

bool CMainDialog::browse(FilePicker kind, const char* filter, std::string& name) {
  // A refused name stops the action: picking a file would overwrite what the user still has to fix.
  if (!updateData(true)) return false;
  std::optional<std::string> chosen = platform_.pickFile(kind, filter);
  if (!chosen) return false;
  name = *chosen;
  updateData(false);
  return true;
}

void CMainDialog::onBrowseInput() { browse(FilePicker::Open, kOpenFilter, inputName); }
// The save picker has asked before an existing file was chosen.
void CMainDialog::onBrowseOutput() {
  if (browse(FilePicker::Save, kSaveFilter, outputName)) confirmedOutput_ = outputName;
}

void CMainDialog::error(const char* message) {
  platform_.messageBox(message, kErrorTitle, MessageIcon::Exclamation);
}

DialogSettings CMainDialog::settings() const {
  DialogSettings result;
  result.mode = mode == 1 ? Mode::Decompress : Mode::Compress;
  result.channelCount = format + 1;
  result.sampleBits = resolution == 0 ? 8 : 16;
  result.blockLengthIndex = blockLengthIndex;
  result.adaptation = static_cast<Adaptation>(adaptation + 1);
  result.wavEvaluation = wavEvaluation;
  result.jointStereo = jointStereo;
  result.swapBytes = swapBytes;
  return result;
}

void CMainDialog::onStart() {
  if (!updateData(true)) return;
  const bool compressing = mode == 0;
  if (inputName.empty() || outputName.empty()) {
    error(kEnterFileName);
    return;
  }
  if (compressing && adaptation != 0 && blockLengthIndex < 2) {
    error(kMinimumBlockLength);
    return;
  }
  // Where the job would read what it writes, it is refused before either file is touched.
  if (sameFile(inputName, outputName)) {
    error(kSameFile);
    return;
  }
  // The input first: when it cannot be read, the output stays as it was.
  std::FILE* input = openInput(inputName);
  if (input == nullptr) {
    error(kCouldNotOpen);
    return;
  }
  if (!mayReplace(outputName)) {
    std::fclose(input);
    return;
  }
  std::optional<OutputFile> output = createOutput(outputName);
  if (!output) {
    std::fclose(input);
    error(kCouldNotOpen);
    return;
  }
  runJob(input, *output);
}

// A typed name gets the question the save picker asks; a name already agreed
// to, or written by the last job, runs again without one.
bool CMainDialog::mayReplace(const std::string& name) {
  if (name == confirmedOutput_ || !wouldReplace(name)) return true;
  if (!platform_.askYesNo(replaceQuestion(name), kReplaceTitle)) return false;
  confirmedOutput_ = name;
  return true;
}

void CMainDialog::runJob(std::FILE* input, OutputFile output) {
  const DialogSettings job = settings();
  platform_.setWaitCursor(true);
  platform_.beginJob();
  std::string report;
  try {
    report = (job.mode == Mode::Compress ? jobs_.compress : jobs_.decompress)(job, input, output.file, *this);
    if (!commitOutput(output)) {
      throw Error(QOLA_ERROR_WRITE, std::string("cannot rename the output: ") + std::strerror(errno), 1);
    }
  } catch (const Error& failure) {
    discardOutput(output);
    platform_.endJob();
    jobFailed(failure);
  }
  platform_.endJob();
  confirmedOutput_ = outputName;
  showReport(report, QOLA_REPORT_TITLE);
  setProgress(0);
  platform_.setWaitCursor(false);
}

// A failed job ends the program with its code: the job's own errors in a box
// titled with the program's name, the transforms' and the coder's as a line of text.
void CMainDialog::jobFailed(const Error& failure) {
  platform_.setWaitCursor(false);
  if (failure.status() == QOLA_ERROR_TRANSFORM || failure.status() == QOLA_ERROR_CODER) {
    std::FILE* out = failure.status() == QOLA_ERROR_TRANSFORM ? stdout : stderr;
    std::fflush(stdout);
    std::fprintf(out, "%s\n", failure.what());
    std::fflush(out);
  } else {
    platform_.messageBox(failure.what(), platform_.applicationTitle(), MessageIcon::Exclamation);
  }
  std::exit(failure.exitCode());
}

void CMainDialog::onHelp() {
  if (!platform_.showHelp(helpContext(kMainTemplateId))) {
    platform_.messageBox(kHelpFailed, platform_.applicationTitle(), MessageIcon::Exclamation);
  }
}

void CMainDialog::onAbout() { platform_.showAbout(); }
void CMainDialog::onDestroy() { platform_.closeHelp(); }

void CMainDialog::setProgress(int percent) { platform_.setProgressPosition(percent); }

void CMainDialog::showReport(const std::string& text, const std::string& title) {
  platform_.messageBox(text, title, MessageIcon::Information);
}

}  // namespace qola::ui
