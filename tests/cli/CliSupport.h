// Running the command-line tool from tests, in a folder of its own per test.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace qola::test {

struct CliRun {
  int status;
  std::string output;  // standard output and standard error
};

// Runs a shell command line; "qola" at its start stands for the tool.
inline CliRun runShell(const std::string& command) {
  CliRun run{-1, ""};
  std::FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

inline const std::string kQola = QOLA_CLI_PATH;

inline CliRun runCli(const std::string& arguments, const std::string& feed = "") {
  return runShell(feed + kQola + " " + arguments + " 2>&1");
}

// A stereo 16-bit WAV of the given frames: a sine with a little noise.
inline Bytes testWav(std::size_t frames, double noise = 3) {
  std::vector<std::int16_t> samples(2 * frames);
  std::uint32_t state = 1;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    state = state * 1103515245u + 12345u;
    samples[i] = static_cast<std::int16_t>(8000 * std::sin(static_cast<double>(i / 2) * 0.02) +
                                           noise * static_cast<double>(state >> 24) / 255.0);
  }
  Bytes wav = wavHeader(2, 16, static_cast<std::uint32_t>(samples.size() * 2));
  const Bytes pcm = pcm16(samples);
  wav.insert(wav.end(), pcm.begin(), pcm.end());
  return wav;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qola-cli-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    writeFile(path("a.wav"), testWav(6000));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  // Names of leftover temporary outputs in the test's folder.
  std::vector<std::string> temporaries() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_)) {
      if (entry.path().filename().string().find(".tmp-") != std::string::npos) found.push_back(entry.path());
    }
    return found;
  }
  std::filesystem::path dir_;
};

}  // namespace qola::test
