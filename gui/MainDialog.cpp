#include "MainDialog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

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
    errno = EISDIR;
    return nullptr;
  }
  return file;
}

// Whether an open input may be a compressed file. Only a regular file is
// looked at (without moving its position); a pipe goes to the job as it is.
bool couldBeCompressed(std::FILE* input) {
  struct stat status {};
  if (fstat(fileno(input), &status) != 0 || !S_ISREG(status.st_mode)) return true;
  std::uint8_t head[8] = {};
  const ssize_t got = pread(fileno(input), head, sizeof head, 0);
  return got < 0 || qola_is_compressed(head, static_cast<std::size_t>(got), status.st_size) != 0;
}

// Why the output could not be created. A file the user may write can still be
// refused because the job writes a temporary file beside it first.
std::string outputFailure(const std::string& name, int cause) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_directory(name, error)) return std::strerror(EISDIR);
  const fs::path folder = fs::absolute(name, error).parent_path();
  if (fs::is_regular_file(name, error) && access(name.c_str(), W_OK) == 0 && access(folder.c_str(), W_OK) != 0) {
    return std::string(kFolderRefusesTemporary) + " (" + std::strerror(errno) + ")";
  }
  return cause != 0 ? std::strerror(cause) : "";
}

bool endsWithQolaExtension(const std::string& name) {
  constexpr std::string_view kExtension = ".qla";
  if (name.size() <= kExtension.size()) return false;
  const std::string_view tail = std::string_view(name).substr(name.size() - kExtension.size());
  return std::equal(tail.begin(), tail.end(), kExtension.begin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

std::string folderOf(const std::string& name) {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::absolute(name, error).parent_path();
  return std::filesystem::is_directory(folder, error) ? folder.string() : "";
}

}  // namespace

std::string fileMessage(const char* message, const std::string& name, const std::string& reason) {
  return std::string(message) + "\n\n" + name + (reason.empty() ? "" : "\n" + reason);
}

std::string suggestedOutputName(const std::string& input, bool decompress) {
  if (!decompress) return input + ".qla";
  return endsWithQolaExtension(input) ? input.substr(0, input.size() - 4) : input + ".restored";
}

std::string replaceQuestion(const std::string& name) {
  return "A file named \"" + std::filesystem::path(name).filename().string() +
         "\" already exists. Do you want to replace it?";
}

Settings librarySettings(const DialogSettings& settings) {
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
  return job;
}

std::string runLibraryJob(const DialogSettings& settings, std::FILE* input, std::FILE* output, MainDialog& dialog) {
  const Settings job = librarySettings(settings);
  Input in = Input::file(input, true);
  Output out = Output::file(output, true);
  Job runner(job);
  runner.onProgress([&dialog](int percent) { return dialog.jobProgress(percent); });
  const qola_result& result = settings.mode == Mode::Compress ? runner.compress(in, out) : runner.decompress(in, out);
  const std::string reason = growthReason(result);
  return reportText(result) + (reason.empty() ? "" : "\n\n" + grownNote(reason));
}

std::string grownNote(const std::string& reason) {
  return "The compressed file is larger than its input: " + reason + ". It is still correct.";
}

std::string withOutputName(const std::string& report, const std::string& name) {
  const std::size_t note = report.find("\n\n");
  const std::string line = std::string("\n") + kOutputFileLabel + "\t: " + name;
  return note == std::string::npos ? report + line : report.substr(0, note) + line + report.substr(note);
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

MainDialog::MainDialog(DialogPlatform& platform, JobEntries jobs) : platform_(platform), jobs_(jobs) {}

bool MainDialog::exchangeName(bool saveAndValidate, int id, std::string& name) {
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

bool MainDialog::updateData(bool saveAndValidate) {
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

void MainDialog::onInitDialog() {
  updateData(false);
  mode = 0;
  format = 1;
  resolution = 1;
  adaptation = 2;
  blockLengthIndex = 5;
  updateData(false);
}

void MainDialog::enableOptions(bool enabled) {
  for (int id : compressionOnlyControls()) platform_.enableControl(id, enabled);
}

void MainDialog::onCompress() {
  enableOptions(true);
  mode = 0;
  suggestOutput();
}

void MainDialog::onDecompress() {
  enableOptions(false);
  mode = 1;
  suggestOutput();
}

// An empty output field gets a name for the input; so does one that still
// holds the dialog's own offer, which follows the input and the mode.
void MainDialog::suggestOutput() {
  inputName = platform_.text(kIdInputName);
  outputName = platform_.text(kIdOutputName);
  if (inputName.empty() || (!outputName.empty() && outputName != suggestedOutput_)) return;
  outputName = suggestedOutput_ = suggestedOutputName(inputName, mode == 1);
  platform_.setText(kIdOutputName, outputName);
}

void MainDialog::openFile(const std::string& name) {
  platform_.setText(kIdInputName, name);
  mode = endsWithQolaExtension(name) ? 1 : 0;
  platform_.setRadioGroup(kIdCompress, mode);
  enableOptions(mode == 0);
  suggestOutput();
}

// The picked name replaces the field's, so an over-long name there does not
// stop the pick: it is the way out of it.
bool MainDialog::browse(FilePicker kind, const char* filter, std::string& name) {
  name = platform_.text(kind == FilePicker::Open ? kIdInputName : kIdOutputName);
  const std::string folder = !lastFolder_.empty() ? lastFolder_ : name.empty() ? "" : folderOf(name);
  const std::string file = name.empty() ? "" : std::filesystem::path(name).filename().string();
  std::optional<std::string> chosen = platform_.pickFile(kind, filter, folder, file);
  if (!chosen) return false;
  name = *chosen;
  lastFolder_ = folderOf(name);
  platform_.setText(kind == FilePicker::Open ? kIdInputName : kIdOutputName, name);
  return true;
}

void MainDialog::onBrowseInput() {
  if (browse(FilePicker::Open, kOpenFilter, inputName)) suggestOutput();
}

// The save picker has asked before an existing file was chosen.
void MainDialog::onBrowseOutput() {
  if (browse(FilePicker::Save, kSaveFilter, outputName)) confirmedOutput_ = outputName;
}

void MainDialog::error(const std::string& message) {
  platform_.messageBox(message, kErrorTitle, MessageIcon::Exclamation);
}

DialogSettings MainDialog::settings() const {
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

void MainDialog::onStart() {
  if (!updateData(true)) return;
  const bool compressing = mode == 0;
  if (inputName.empty() || outputName.empty()) {
    error(kEnterFileName);
    return;
  }
  if (const char* refusal = librarySettings(settings()).refusal(compressing)) {
    error(refusal);
    return;
  }
  // Where the job would read what it writes, it is refused before either file is touched.
  if (sameFile(inputName, outputName)) {
    error(kSameFile);
    return;
  }
  // The input first: when it cannot be read, or is not what a restore
  // needs, the output stays as it was.
  std::FILE* input = openInput(inputName);
  if (input == nullptr) {
    error(fileMessage(kCouldNotOpen, inputName, std::strerror(errno)));
    return;
  }
  if (!compressing && !couldBeCompressed(input)) {
    std::fclose(input);
    error(fileMessage(kNotQola, inputName, ""));
    return;
  }
  if (!mayReplace(outputName)) {
    std::fclose(input);
    return;
  }
  errno = 0;
  // Only a name the user agreed to may be replaced, also when a file appears there meanwhile.
  std::optional<OutputFile> output = createOutput(outputName, outputName == confirmedOutput_);
  if (!output) {
    const int cause = errno;
    std::fclose(input);
    error(fileMessage(kCouldNotOpen, outputName, outputFailure(outputName, cause)));
    return;
  }
  runJob(input, *output);
}

// A typed name gets the question the save picker asks; a name already agreed
// to, or written by the last job, runs again without one.
bool MainDialog::mayReplace(const std::string& name) {
  if (name == confirmedOutput_ || !wouldReplace(name)) return true;
  if (!platform_.askYesNo(replaceQuestion(name), kReplaceTitle)) return false;
  confirmedOutput_ = name;
  return true;
}

// Whatever happens in the job, the dialog stays with its entries: a failed
// or cancelled job leaves no output and the user's files as they were.
void MainDialog::runJob(std::FILE* input, OutputFile output) {
  const DialogSettings job = settings();
  platform_.setWaitCursor(true);
  platform_.beginJob();
  cancelled_ = false;
  std::string report;
  std::optional<Error> failure;
  try {
    report = (job.mode == Mode::Compress ? jobs_.compress : jobs_.decompress)(job, input, output.file, *this);
    if (!commitOutput(output)) {
      const int cause = errno;
      throw Error(QOLA_ERROR_WRITE,
                  cause == EEXIST ? fileMessage(kCouldNotOpen, outputName, std::strerror(cause))
                                  : std::string("cannot give the output its name: ") + std::strerror(cause),
                  1);
    }
  } catch (const Error& failed) {
    failure = failed;
  } catch (const std::exception& failed) {  // memory: the job's buffers or the toolkit's
    failure = Error(QOLA_ERROR_JOB, failed.what(), 1);
  }
  if (failure) discardOutput(output);
  platform_.endJob();
  platform_.setWaitCursor(false);
  if (failure) {
    jobFailed(*failure);
  } else {
    confirmedOutput_ = outputName;
    showReport(withOutputName(report, outputName), QOLA_REPORT_TITLE);
  }
  setProgress(0);
}

// The job's own message in a box titled with the program's name; a cancel
// was the user's choice and needs none.
void MainDialog::jobFailed(const Error& failure) {
  if (failure.status() == QOLA_CANCELLED) return;
  platform_.messageBox(failure.programMessage(), platform_.applicationTitle(), MessageIcon::Exclamation);
}

bool MainDialog::jobProgress(int percent) {
  setProgress(percent);
  if (!cancelled_ && platform_.takeStopRequest()) {
    cancelled_ = platform_.askYesNo(kCancelJob, platform_.applicationTitle());
  }
  return cancelled_;
}

void MainDialog::onHelp() {
  if (!platform_.showHelp(helpContext(kMainTemplateId))) {
    platform_.messageBox(kHelpFailed, platform_.applicationTitle(), MessageIcon::Exclamation);
  }
}

void MainDialog::onAbout() { platform_.showAbout(); }
void MainDialog::onDestroy() { platform_.closeHelp(); }

void MainDialog::setProgress(int percent) { platform_.setProgressPosition(percent); }

void MainDialog::showReport(const std::string& text, const std::string& title) {
  platform_.messageBox(text, title, MessageIcon::Information);
}

}  // namespace qola::ui
