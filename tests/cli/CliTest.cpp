// The command-line tool as users run it: exit statuses, file handling, reports.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>

#include "TestSupport.h"

namespace qola::test {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status;
  std::string output;  // standard output and standard error
};

CliRun runCli(const std::string& arguments, const std::string& feed = "") {
  const std::string command = feed + std::string(QOLA_CLI_PATH) + " " + arguments + " 2>&1";
  CliRun run{-1, ""};
  std::FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qola-cli-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::vector<std::int16_t> samples(2 * 6000);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      samples[i] = static_cast<std::int16_t>(8000 * std::sin(static_cast<double>(i / 2) * 0.02) + (i % 7) * 3);
    }
    Bytes wav = wavHeader(2, 16, static_cast<std::uint32_t>(samples.size() * 2));
    const Bytes pcm = pcm16(samples);
    wav.insert(wav.end(), pcm.begin(), pcm.end());
    writeFile(path("a.wav"), wav);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

TEST_F(Cli, CompressesAndRestoresWithReports) {
  const CliRun compress = runCli("-q " + path("a.wav"));
  ASSERT_EQ(compress.status, 0) << compress.output;
  EXPECT_TRUE(compress.output.empty()) << "quiet";
  fs::rename(path("a.wav"), path("original.wav"));

  const CliRun restore = runCli("-d " + path("a.wav.qla"));
  ASSERT_EQ(restore.status, 0) << restore.output;
  EXPECT_NE(restore.output.find("QOLA file version\t: 1.7 DOS"), std::string::npos) << restore.output;
  EXPECT_EQ(readFile(path("a.wav")), readFile(path("original.wav")));

  const CliRun verified = runCli("--verify -o " + path("b.qla") + " " + path("original.wav"));
  ASSERT_EQ(verified.status, 0) << verified.output;
  EXPECT_NE(verified.output.find("(verified)"), std::string::npos);
  EXPECT_NE(verified.output.find("compression ratio\t: "), std::string::npos);

  // A pipe cannot seek: the decoder's step back stays inside its own buffer.
  const CliRun piped = runCli("-d -q -o " + path("piped.wav") + " /dev/stdin", "cat " + path("b.qla") + " | ");
  ASSERT_EQ(piped.status, 0) << piped.output;
  EXPECT_EQ(readFile(path("piped.wav")), readFile(path("original.wav")));

  const CliRun test = runCli("-t " + path("b.qla"));
  EXPECT_EQ(test.status, 0) << test.output;
  EXPECT_NE(test.output.find("ok"), std::string::npos);
}

TEST_F(Cli, NeverOverwritesWithoutForceNorItsOwnInput) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  const CliRun again = runCli("-q " + path("a.wav"));
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.output.find("exists"), std::string::npos);
  EXPECT_EQ(runCli("-q -f --no-joint " + path("a.wav")).status, 0);

  const Bytes audio = readFile(path("a.wav"));
  const CliRun same = runCli("-q -f -o " + path("a.wav") + " " + path("a.wav"));
  EXPECT_EQ(same.status, 2);
  EXPECT_NE(same.output.find("same file"), std::string::npos);
  EXPECT_EQ(readFile(path("a.wav")), audio) << "the input must survive";
}

TEST_F(Cli, DamagedFileFailsWithStatusOneAndLeavesNoOutput) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  Bytes compressed = readFile(path("a.wav.qla"));
  compressed.resize(compressed.size() / 2);
  writeFile(path("cut.qla"), compressed);
  writeFile(path("old.qla"), Bytes{0x0E, 0, 0, 0, 0, 0});

  const CliRun run = runCli("-d " + path("cut.qla") + " " + path("a.wav.qla") + " -o " + path("x"));
  EXPECT_EQ(run.status, 2) << "-o with two inputs is a usage error";

  fs::rename(path("a.wav"), path("keep.wav"));
  const CliRun both = runCli("-d " + path("cut.qla") + " " + path("old.qla") + " " + path("a.wav.qla"));
  EXPECT_EQ(both.status, 1) << both.output;
  EXPECT_NE(both.output.find("Old file version, program terminated"), std::string::npos) << both.output;
  EXPECT_NE(both.output.find("3 file(s) processed, 2 failed"), std::string::npos) << both.output;
  EXPECT_FALSE(fs::exists(path("cut"))) << "no partial output";
  EXPECT_FALSE(fs::exists(path("cut.restored")));
  EXPECT_EQ(readFile(path("a.wav")), readFile(path("keep.wav"))) << "the good file is still restored";
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
  }
}

TEST_F(Cli, OutputsGetTheUsualPermissions) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  const auto permissions = fs::status(path("a.wav.qla")).permissions();
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(static_cast<mode_t>(permissions) & 0777, 0666 & ~mask);
}

TEST_F(Cli, UsageErrorsExitWithStatusTwo) {
  EXPECT_EQ(runCli("").status, 2);
  EXPECT_EQ(runCli("--bogus " + path("a.wav")).status, 2);
  EXPECT_EQ(runCli("-n 256 " + path("a.wav")).status, 2) << "adaptation needs N >= 512";
  EXPECT_EQ(runCli("-n 256 -a none -q " + path("a.wav")).status, 0);
  EXPECT_EQ(runCli(path("missing.wav")).status, 2);
  const CliRun pipe = runCli("-o " + path("p.qla") + " /dev/stdin", "cat " + path("a.wav") + " | ");
  EXPECT_EQ(pipe.status, 1) << "a pipe cannot be measured: never an empty file reported as success";
  EXPECT_FALSE(fs::exists(path("p.qla")));
  const CliRun help = runCli("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("--verify"), std::string::npos);
  const CliRun version = runCli("--version");
  EXPECT_NE(version.output.find("1.71"), std::string::npos);
}

}  // namespace
}  // namespace qola::test
