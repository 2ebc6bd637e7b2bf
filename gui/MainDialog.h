// The main dialog's logic: its members, the exchange with the controls, the
// checks before a job, the mode switch and the job itself. It reaches the
// screen only through DialogPlatform, so it runs without a display in tests.
#pragma once

#include <qola/qola.hpp>

#include <cstdio>

#include <string>

#include "DialogPlatform.h"
#include "OutputFile.h"

namespace qola::ui {

// The longest path the system takes (its limit less the terminating zero):
// a name is never cut, and any name the system accepts fits.
inline constexpr int kMaxNameLength = 4095;

inline constexpr const char* kEnterFileName = "Please enter a file name!";
inline constexpr const char* kCouldNotOpen = "Could not open file!";
inline constexpr const char* kErrorTitle = "Error";
inline constexpr const char* kHelpFailed = "Failed to launch help.";
inline constexpr const char* kSameFile = "Input and output must be different files!";
inline constexpr const char* kReplaceTitle = "Save As";
inline constexpr const char* kOutputFileLabel = "output file";
inline constexpr const char* kNotQola = "Not a QOLA file!";
inline constexpr const char* kCancelJob = "Cancel the running job?";
inline constexpr const char* kFolderRefusesTemporary =
    "The folder does not allow a temporary file, which the output is written to first";

// A refused file for the user: the message, then the name and why.
std::string fileMessage(const char* message, const std::string& name, const std::string& reason);

// The output name offered for an input: ".qla" added to compress, removed to
// restore (".restored" added where there is none to remove).
std::string suggestedOutputName(const std::string& input, bool decompress);

// The line under the report of a compressed file larger than its input.
std::string grownNote(const std::string& reason);

// The report with the output's name as its last line, before any note.
std::string withOutputName(const std::string& report, const std::string& name);

// The question before an existing file is replaced, as the save picker asks it.
std::string replaceQuestion(const std::string& name);

enum class Mode { Compress, Decompress };
enum class Adaptation { None = 1, Medium = 2, Full = 3 };

// The dialog's choices for one job.
struct DialogSettings {
  Mode mode = Mode::Compress;
  int channelCount = 2;
  int sampleBits = 16;
  int blockLengthIndex = 5;  // block length 2^(index + 7)
  Adaptation adaptation = Adaptation::Full;
  bool wavEvaluation = false;
  bool jointStereo = false;
  bool swapBytes = false;
};

class MainDialog;

// Runs one job over two owned files and returns its report text, with any
// note for the user after a blank line; a failed or cancelled job throws
// qola::Error. Tests substitute their own.
using JobEntry = std::string (*)(const DialogSettings&, std::FILE* input, std::FILE* output, MainDialog& dialog);
std::string runLibraryJob(const DialogSettings& settings, std::FILE* input, std::FILE* output, MainDialog& dialog);
// The dialog's choices as the library's settings.
Settings librarySettings(const DialogSettings& settings);

struct JobEntries {
  JobEntry compress = &runLibraryJob;
  JobEntry decompress = &runLibraryJob;
};

// Number of characters (code points) of a UTF-8 text.
int characterCount(const std::string& utf8);

// "Please enter no more than %1 characters." with %1 replaced.
std::string tooManyCharactersMessage(int limit);

class MainDialog {
 public:
  explicit MainDialog(DialogPlatform& platform, JobEntries jobs = {});

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
  // A file opened with the program or dropped on the dialog: the input, with
  // the mode that fits it and an output name where none is entered.
  void openFile(const std::string& name);

  DialogSettings settings() const;

  void setProgress(int percent);
  // A running job's progress; true when the user chose to cancel the job.
  bool jobProgress(int percent);
  void showReport(const std::string& text, const std::string& title);

 private:
  void enableOptions(bool enabled);
  bool browse(FilePicker kind, const char* filter, std::string& name);
  bool exchangeName(bool saveAndValidate, int id, std::string& name);
  void error(const std::string& message);
  bool mayReplace(const std::string& name);
  void runJob(std::FILE* input, OutputFile output);
  void jobFailed(const Error& failure);
  void suggestOutput();

  DialogPlatform& platform_;
  JobEntries jobs_;
  std::string confirmedOutput_;  // a name the user agreed to replace, or the last job wrote
  std::string suggestedOutput_;  // the output name the dialog offered, while the user keeps it
  std::string lastFolder_;       // where the last pick was made in this run
  bool cancelled_ = false;       // the user chose to cancel the running job
};

}  // namespace qola::ui
