#include "ui/CompressorApp.h"

#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include <cstdio>
#include <cstdlib>
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
  return programName + " " + kProductVersion + " (file version " + kFileVersion + ")";
}

void guiFatalHandler(const std::string& message, int code, ErrorChannel channel) {
  if (channel != ErrorChannel::MessageBox || wxTheApp == nullptr) {
    defaultFatalHandler(message, code, channel);
    return;
  }
  while (wxIsBusy()) wxEndBusyCursor();
  wxGenericMessageDialog box(wxTheApp->GetTopWindow(), wxString::FromUTF8(message),
                             wxString::FromUTF8(programIdentity(executablePath()).title),
                             wxOK | wxICON_EXCLAMATION);
  box.ShowModal();
  std::exit(code);
}

// The program takes no command line: the base class, which would parse one, is not called.
bool CCompressorApp::OnInit() {
  setFatalHandler(&guiFatalHandler);
  auto* window = new CMainWindow(programIdentity(executablePath()));
  SetTopWindow(window);
  window->Show();
  return true;
}

}  // namespace qola::ui
