// The desktop program as a user runs it: its own process on the tests'
// display under the window manager, driven with xdotool and wmctrl as a
// desktop user's keys and clicks, judged by its files and its exit status.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "GuiSession.h"

namespace qola::ui::test {

// What a shell command prints, its last newline removed.
inline std::string shell(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    pclose(pipe);
  }
  if (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

// Why the program cannot be driven here, or nothing.
inline std::string desktopToolsMissing() {
  if (!windowManagerRuns) return "no window manager (openbox) runs";
  for (const char* tool : {"xdotool", "wmctrl"}) {
    if (shell(std::string("command -v ") + tool).empty()) return std::string(tool) + " is not installed";
  }
  return "";
}
#define QOLA_SKIP_WITHOUT_DESKTOP() \
  QOLA_SKIP_WITHOUT_X_SERVER();     \
  if (const std::string why = ::qola::ui::test::desktopToolsMissing(); !why.empty()) GTEST_SKIP() << why

class Program {
 public:
  explicit Program(const std::vector<std::string>& arguments) {
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      std::vector<char*> argv{const_cast<char*>(QOLA_GUI_PATH)};
      for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      execv(QOLA_GUI_PATH, argv.data());
      _exit(127);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program() {
    if (exitStatus(std::chrono::milliseconds(0)) == kRunning) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  static constexpr int kRunning = -1;

  // The id of the program's window with exactly this title, once it is shown; empty when none comes in time.
  std::string window(const std::string& title, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    std::string id;
    pumpUntil(
        [&] {
          id = shell("xdotool search --all --onlyvisible --pid " + std::to_string(pid_) + " --name '^" + title +
                     "$' 2>/dev/null | head -n 1");
          return !id.empty() || exitStatus(std::chrono::milliseconds(0)) != kRunning;
        },
        timeout);
    return id;
  }
  bool hasWindow(const std::string& title) { return !window(title, std::chrono::milliseconds(0)).empty(); }

  // Activates the window and sends it keys as xdotool names them ("Return", "alt+F4").
  void keys(const std::string& windowId, const std::string& keys) {
    shell("xdotool windowactivate --sync " + windowId + " 2>/dev/null; xdotool key --clearmodifiers " + keys);
    pump(std::chrono::milliseconds(200));
  }
  void type(const std::string& windowId, const std::string& text) {
    shell("xdotool windowactivate --sync " + windowId + " 2>/dev/null; xdotool type --delay 1 '" + text + "'");
    pump(std::chrono::milliseconds(200));
  }

  // Whether the program holds this file open: its job has begun.
  bool hasOpen(const std::filesystem::path& file) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", error)) {
      if (std::filesystem::read_symlink(entry.path(), error) == file) return true;
    }
    return false;
  }

  // The exit status once the program has ended, kRunning before.
  int exitStatus(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    if (status_ != kRunning) return status_;
    pumpUntil(
        [&] {
          int status = 0;
          if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
          status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
          return true;
        },
        timeout);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int status_ = kRunning;
};

// A raw 16-bit stereo recording of this many bytes, tonal enough to compress.
inline void writeRecording(const std::filesystem::path& path, std::size_t bytes) {
  std::string pcm(bytes, '\0');
  std::uint32_t noise = 1;
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    noise = noise * 1664525u + 1013904223u;
    const int sample =
        static_cast<int>(8000 * std::sin(static_cast<double>(i) * 0.003)) + static_cast<int>(noise >> 27);
    pcm[i] = static_cast<char>(sample & 0xff);
    pcm[i + 1] = static_cast<char>((sample >> 8) & 0xff);
  }
  std::ofstream(path, std::ios::binary) << pcm;
}

}  // namespace qola::ui::test
