// The command-line tool as users run it: exit statuses, file handling, reports.
#include <gtest/gtest.h>

#include "cli/CliSupport.h"

namespace qola::test {
namespace {

namespace fs = std::filesystem;

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
  EXPECT_NE(verified.output.find("compression ratio\t: "), std::string::npos) << verified.output;
  EXPECT_NE(verified.output.find("(verified)"), std::string::npos);
}

// The input goes only after a verified success: a raw input whose last bytes
// make no whole frame cannot come back complete, so it stays.
TEST_F(Cli, DeleteInputFileOnlyAfterAVerifiedSuccess) {
  const CliRun done = runCli("-q --delete-input-file " + path("a.wav"));
  EXPECT_EQ(done.status, 0) << done.output;
  EXPECT_TRUE(!fs::exists(path("a.wav")) && fs::exists(path("a.wav.qla")));
  writeFile(path("odd.raw"), Bytes{1, 2, 3, 4, 5, 6, 7});
  const CliRun kept = runCli("-q --no-trailer --delete-input-file " + path("odd.raw"));
  EXPECT_EQ(kept.status, 1) << kept.output;
  EXPECT_NE(kept.output.find("verification failed"), std::string::npos) << kept.output;
  EXPECT_TRUE(fs::exists(path("odd.raw")) && !fs::exists(path("odd.raw.qla")));
}

// The man page and the shell completion are written by hand: every long
// option that --help names must appear in both.
TEST(CliDocs, ManPageAndCompletionNameEveryOption) {
  const CliRun help = runCli("--help");
  ASSERT_EQ(help.status, 0);
  EXPECT_NE(runCli("--version").output.find("1.71"), std::string::npos);
  const Bytes man = readFile(QOLA_SOURCE_DIR "/man/qola.1.in");
  const Bytes completion = readFile(QOLA_SOURCE_DIR "/data/bash-completion/qola");
  const std::string manText(man.begin(), man.end()), completionText(completion.begin(), completion.end());
  int options = 0;
  // Each "--" followed by a lower-case letter starts a long option name.
  for (std::size_t at = 0; (at = help.output.find("--", at)) != std::string::npos;) {
    const std::size_t end = help.output.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-", at + 2);
    const std::string name = help.output.substr(at, end - at);
    at = end;
    if (name.size() < 3 || name[2] < 'a' || name[2] > 'z' || name == "--opt") continue;  // "--opt=value"
    std::string escaped;
    for (const char c : name) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(manText.find(escaped), std::string::npos) << name << " missing from the man page";
    EXPECT_NE(completionText.find(name), std::string::npos) << name << " missing from the completion";
    ++options;
  }
  EXPECT_GE(options, 15);
}

}  // namespace
}  // namespace qola::test
