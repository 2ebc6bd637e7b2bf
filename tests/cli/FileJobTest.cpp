// Inputs and reports of the tool: pipes in and out, bytes the format cannot
// store, and reports that cannot be written.
#include <gtest/gtest.h>

#include "cli/CliSupport.h"

namespace qola::test {
namespace {

namespace fs = std::filesystem;

TEST_F(Cli, PipesInAndOutCarryOnlyAudio) {
  const std::string a = path("a.wav");
  for (const std::string& compress : {"cat " + a + " | " + kQola + " -", kQola + " -c " + a,
                                      kQola + " -o - " + a, kQola + " -o /dev/stdout " + a}) {
    SCOPED_TRACE(compress);
    const CliRun run = runShell(compress + " > " + path("p.qla") + " 2> " + path("e.txt") + "; cat " +
                                path("p.qla") + " | " + kQola + " -d -c - > " + path("r.wav") + " 2>> " +
                                path("e.txt"));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(readFile(path("r.wav")), readFile(a)) << "standard output holds nothing but audio";
    const Bytes reports = readFile(path("e.txt"));
    const std::string text(reports.begin(), reports.end());
    EXPECT_NE(text.find("compression ratio"), std::string::npos) << text;
    EXPECT_NE(text.find("stdin -> stdout"), std::string::npos) << text;
  }
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(Cli, BytesTheFormatCannotStoreAreNamedAndFailTheVerification) {
  Bytes wav = readFile(path("a.wav"));
  const Bytes list = {'L', 'I', 'S', 'T', 1, 0, 0, 0, 'x'};  // 9 bytes: one beyond the last whole frame
  wav.insert(wav.end(), list.begin(), list.end());
  writeFile(path("list.wav"), wav);

  const CliRun verified = runCli("-q --no-trailer --verify " + path("list.wav"));
  EXPECT_EQ(verified.status, 1);
  EXPECT_NE(verified.output.find("verification failed: 1 byte at the end of the input is not stored"),
            std::string::npos)
      << verified.output;
  EXPECT_FALSE(fs::exists(path("list.wav.qla")));

  const CliRun plain = runCli("-q --no-trailer " + path("list.wav"));
  EXPECT_EQ(plain.status, 0);
  EXPECT_NE(plain.output.find("warning: 1 byte at the end"), std::string::npos) << plain.output;

  writeFile(path("tiny.raw"), Bytes(103, 0x55));
  const CliRun tiny = runCli("--no-trailer --no-wav " + path("tiny.raw"));
  EXPECT_EQ(tiny.status, 0);
  EXPECT_NE(tiny.output.find("3 bytes at the end"), std::string::npos) << tiny.output;
  EXPECT_NE(tiny.output.find("larger than its input"), std::string::npos) << tiny.output;
}

TEST_F(Cli, ReportsThatCannotBeWrittenFailTheRun) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  for (const std::string& arguments : {"-t " + path("a.wav.qla"), std::string("--version")}) {
    const CliRun run = runShell(kQola + " " + arguments + " 2>&1 > /dev/full");
    EXPECT_EQ(run.status, 1) << arguments;
    EXPECT_NE(run.output.find("write error on standard output"), std::string::npos) << run.output;
  }
}

// What -t and -d say of the checksum, and what a mismatch leaves on disk.
TEST_F(Cli, ChecksumStatesAndWhatADamagedRestoreLeaves) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  ASSERT_EQ(runCli("-q --no-trailer -o " + path("plain.qla") + " " + path("a.wav")).status, 0);
  Bytes bad = readFile(path("a.wav.qla"));
  bad[20] ^= 0x10;  // inside the stored WAV header: decodes, but not to the original
  writeFile(path("bad.qla"), bad);
  Bytes joined = readFile(path("plain.qla"));
  joined.insert(joined.end(), {7, 7, 7});
  writeFile(path("joined.qla"), joined);
  struct Case {
    std::string arguments;
    int status;
    const char* says;
    bool output;
  };
  for (const Case& c : {Case{"-t " + path("a.wav.qla"), 0, "(checksum ok ", false},
                        Case{"-t " + path("plain.qla"), 0, "no checksum stored (written by a plain encoder)", false},
                        Case{"-t " + path("joined.qla"), 0, "warning: 3 bytes after the audio data", false},
                        Case{"-d -o " + path("out") + " " + path("bad.qla"), 1, "", false},
                        Case{"-d --keep-damaged -o " + path("out") + " " + path("bad.qla"), 1, "kept the damaged", true}}) {
    SCOPED_TRACE(c.arguments);
    const CliRun run = runCli(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    EXPECT_EQ(fs::exists(path("out")), c.output);
    EXPECT_TRUE(temporaries().empty());
  }
}

}  // namespace
}  // namespace qola::test
