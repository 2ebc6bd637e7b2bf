// Running the command-line tool from tests, in a folder of its own per test.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Runs a shell command line and collects what it prints and its exit status.
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

// Runs the tool; feed is a shell pipeline ending in "| " that supplies standard input.
inline CliRun runCli(const std::string& arguments, const std::string& feed = "") {
  return runShell(feed + kQola + " " + arguments + " 2>&1");
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
