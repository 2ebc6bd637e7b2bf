// The main dialog's logic: its members, the exchange with the controls, the
// checks before a job, the mode switch and the job itself. It reaches the
// screen only through DialogPlatform, so it runs without a display in tests.
#pragma once

#include <qola/qola.h>

#include <string>

#include "ui/DialogPlatform.h"

namespace qola::ui {

inline constexpr int kMaxNameLength = 128;

inline constexpr const char* kEnterFileName = "Please enter a file name!";
inline constexpr const char* kMinimumBlockLength = "Minimum block length for adaptation is 512!";
inline constexpr const char* kCouldNotOpen = "Could not open file!";
inline constexpr const char* kErrorTitle = "Error";
inline constexpr const char* kHelpFailed = "Failed to launch help.";

// The job entries the dialog calls; tests substitute their own.
struct JobEntries {
  void (*compress)(const CodecSettings&, InputStream&, OutputStream&, ProgressSink&) = &compressFile;
  void (*decompress)(const CodecSettings&, InputStream&, OutputStream&, ProgressSink&) = &decompressFile;
};

// Number of characters (code points) of a UTF-8 text.
int characterCount(const std::string& utf8);

// "Please enter no more than %1 characters." with %1 replaced.
std::string tooManyCharactersMessage(int limit);

class CMainDialog : public ProgressSink {
 public:
  explicit CMainDialog(DialogPlatform& platform, JobEntries jobs = {});

  // Members, as radio-group indices (-1: none selected), flags and names.
  int mode = -1;
  int format = -1;
  int resolution = -1;
  int adaptation = -1;
  int blockLengthIndex = -1;
  bool jointStereo = false;
  bool wavEvaluation = false;
  bool swapBytes = false;
  std::string inputName;
  std::string outputName;

  // Copies members to controls (false) or controls to members (true). Reading
  // refuses an over-long name and stops there; returns false then.
  bool updateData(bool saveAndValidate);

  void onInitDialog();
  void onCompress();
  void onDecompress();
  void onBrowseInput();
  void onBrowseOutput();
  void onStart();
  void onHelp();
  void onAbout();
  void onDestroy();

  CodecSettings settings() const;

  void setProgress(int percent) override;
  void showReport(const std::string& text, const std::string& title) override;

 private:
  void enableOptions(bool enabled);
  bool browse(FilePicker kind, const char* filter, std::string& name);
  bool exchangeName(bool saveAndValidate, int id, std::string& name);
  void error(const char* message);

  DialogPlatform& platform_;
  JobEntries jobs_;
};

}  // namespace qola::ui
