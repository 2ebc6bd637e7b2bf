#include "CompressorApp.h"

#include <wx/filename.h>
#include <wx/stdpaths.h>

#include <filesystem>

namespace qola::ui {
namespace {

std::string executablePath() { return wxStandardPaths::Get().GetExecutablePath().utf8_string(); }

}  // namespace

ProgramIdentity programIdentity(const std::string& path) {
  const std::filesystem::path program(path);
  const std::string name = program.stem().string();
  const std::filesystem::path beside = program.parent_path() / (name + ".htb");
  const std::filesystem::path installed =
      program.parent_path().parent_path() / "share" / name / (name + ".htb");
  std::error_code ignored;
  const bool useInstalled = !std::filesystem::exists(beside, ignored) &&
                            std::filesystem::exists(installed, ignored);
  return {name, (useInstalled ? installed : beside).string()};
}

std::string versionText(const std::string& programName) {
  return programName + " " + QOLA_VERSION_STRING + " (file version " + QOLA_FILE_VERSION_STRING + ")";
}

// The one argument is a file to open, as a file manager passes it; the base
// class, which would parse options, is not called.
bool CompressorApp::OnInit() {
  auto* window = new MainWindow(programIdentity(executablePath()));
  SetTopWindow(window);
  if (argc > 1) {
    std::error_code error;
    const std::filesystem::path file = std::filesystem::absolute(argv[1].utf8_string(), error);
    window->openFile(error ? argv[1].utf8_string() : file.string());
  }
  window->Show();
  return true;
}

}  // namespace qola::ui
