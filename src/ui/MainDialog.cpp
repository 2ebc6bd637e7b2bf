#include "ui/MainDialog.h"

#include <cstdio>

#include "ui/DialogTemplate.h"

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

}  // namespace

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
void CMainDialog::onBrowseOutput() { browse(FilePicker::Save, kSaveFilter, outputName); }

void CMainDialog::error(const char* message) {
  platform_.messageBox(message, kErrorTitle, MessageIcon::Exclamation);
}

CodecSettings CMainDialog::settings() const {
  CodecSettings result;
  result.mode = mode == 1 ? Mode::Decompress : Mode::Compress;
  result.channelCount = format + 1;
  result.sampleBits = resolution == 0 ? 8 : 16;
  result.blockLengthIndex = blockLengthIndex;
  result.adaptation = static_cast<Adaptation>(adaptation + 1);
  result.wavEvaluation = wavEvaluation;
  result.jointStereo = jointStereo;
  result.swapBytes = swapBytes;
  result.encoderMode = EncoderMode::Specified;  // the desktop program writes the reference files
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
  // Both opens happen before either is tested, so the output is created or
  // emptied even when the input is missing.
  std::FILE* input = std::fopen(inputName.c_str(), "rb");
  std::FILE* output = std::fopen(outputName.c_str(), "wb");
  if (input == nullptr || output == nullptr) {
    if (input != nullptr) std::fclose(input);
    if (output != nullptr) std::fclose(output);
    error(kCouldNotOpen);
    return;
  }
  InputStream in(input);
  OutputStream out(output);
  const CodecSettings job = settings();
  platform_.setWaitCursor(true);
  (compressing ? jobs_.compress : jobs_.decompress)(job, in, out, *this);
  platform_.setWaitCursor(false);
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
