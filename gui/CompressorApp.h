// The application: runs the main dialog as the program's only window.
#pragma once

#include <qola/qola.h>

#include <wx/app.h>

#include <string>

#include "MainWindow.h"

namespace qola::ui {

// The program file's name without extension, and where its help book lies:
// beside the program as <name>.htb, or installed as ../share/<name>/<name>.htb.
ProgramIdentity programIdentity(const std::string& executablePath);

// "qola-gui 1.71 (file version 1.71 build 1)" for the given program name.
std::string versionText(const std::string& programName);

class CompressorApp : public wxApp {
 public:
  bool OnInit() override;
};

}  // namespace qola::ui
