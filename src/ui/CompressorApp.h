// The application: runs the main dialog as the program's only window and
// shows fatal job errors in the application's message box.
#pragma once

#include <qola/qola.h>

#include <wx/app.h>

#include <string>

#include "ui/MainWindow.h"

namespace qola::ui {

// The program file's name without extension, and where its help book lies:
// beside the program as <name>.htb, or installed as ../share/<name>/<name>.htb.
ProgramIdentity programIdentity(const std::string& executablePath);

// "qola-gui 1.71 (file version 1.71 build 1)" for the given program name.
std::string versionText(const std::string& programName);

// The fatal handler of the desktop program: job errors in a message box with
// the application's title and the exclamation icon; transform and coder
// errors as plain text. Then the process exits with the code.
void guiFatalHandler(const std::string& message, int code, ErrorChannel channel);

class CCompressorApp : public wxApp {
 public:
  bool OnInit() override;
};

}  // namespace qola::ui
