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
  // A pipe cannot seek: the decoder's step back stays inside its own buffer.
  const CliRun piped = runCli("-d -q -o " + path("piped.wav") + " /dev/stdin", "cat " + path("b.qla") + " | ");
  ASSERT_EQ(piped.status, 0) << piped.output;
  EXPECT_EQ(readFile(path("piped.wav")), readFile(path("original.wav")));
}

// A damaged file, an old one and a WAV or text file given to -d or -t fail
// with status 1 and their message; the good file among them is still restored.
TEST_F(Cli, DamagedAndForeignFilesFailAndLeaveNoOutput) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  Bytes compressed = readFile(path("a.wav.qla"));
  compressed.resize(compressed.size() / 2);
  writeFile(path("cut.qla"), compressed);
  writeFile(path("old.qla"), Bytes{0x0E, 0, 0, 0, 0, 0});
  writeFile(path("notes.txt"), Bytes{'H', 'e', 'l', 'l', 'o', '\n'});
  EXPECT_EQ(runCli("-d " + path("cut.qla") + " " + path("a.wav.qla") + " -o " + path("x")).status, 2)
      << "-o with two inputs is a usage error";

  fs::rename(path("a.wav"), path("keep.wav"));
  const CliRun both = runCli("-d " + path("cut.qla") + " " + path("old.qla") + " " + path("a.wav.qla"));
  EXPECT_EQ(both.status, 1) << both.output;
  EXPECT_NE(both.output.find("Old file version, program terminated"), std::string::npos) << both.output;
  EXPECT_NE(both.output.find("3 file(s) processed, 2 failed"), std::string::npos) << both.output;
  EXPECT_FALSE(fs::exists(path("cut")) || fs::exists(path("cut.restored"))) << "no partial output";
  EXPECT_EQ(readFile(path("a.wav")), readFile(path("keep.wav")));
  for (const std::string& arguments :
       {"-d -o " + path("out") + " " + path("keep.wav"), "-t " + path("notes.txt")}) {
    const CliRun run = runCli(arguments);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find(": not a QOLA file"), std::string::npos) << run.output;
  }
  EXPECT_FALSE(fs::exists(path("out")));
  EXPECT_TRUE(temporaries().empty());
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
  const auto isNameChar = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; };
  int options = 0;
  // Each "--" followed by a lower-case letter starts a long option name.
  for (std::size_t at = help.output.find("--"); at != std::string::npos; at = help.output.find("--", at + 2)) {
    if (at + 2 >= help.output.size() || help.output[at + 2] < 'a' || help.output[at + 2] > 'z') continue;
    std::size_t end = at + 2;
    while (end < help.output.size() && isNameChar(help.output[end])) ++end;
    const std::string name = help.output.substr(at, end - at);
    at = end - 2;
    if (name == "--opt") continue;  // the placeholder of "--opt=value"
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
