#include <wx/app.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "CompressorApp.h"

wxIMPLEMENT_APP_NO_MAIN(qola::ui::CompressorApp);

int main(int argc, char** argv) {
  // Answered before the toolkit looks for a display; any other argument is a file to open.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    const std::string name = std::filesystem::path(argv[0]).stem().string();
    std::printf("%s\n", qola::ui::versionText(name).c_str());
    return 0;
  }
  return wxEntry(argc, argv);
}
