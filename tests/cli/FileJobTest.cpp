// Inputs and reports of the tool: pipes in and out, bytes the format cannot
// store, reports that cannot be written, and what the checksum says.
#include <gtest/gtest.h>

#include "cli/CliSupport.h"
#include "common/Sha256.h"

namespace qola::test {
namespace {

namespace fs = std::filesystem;

TEST_F(Cli, PipesInAndOutCarryOnlyAudio) {
  const std::string a = path("a.wav");
  int n = 0;
  for (const std::string& compress : {"cat " + a + " | " + kQola + " -", kQola + " -c " + a, kQola + " -o - " + a,
                                      kQola + " -o /dev/stdout " + a}) {
    // The restore reads the pipe as "-" or by the name /dev/stdin: it cannot seek either way.
    const std::string from = n++ % 2 == 0 ? " -" : " /dev/stdin";
    const CliRun run = runShell(compress + " 2> " + path("e.txt") + " | " + kQola + " -d -c" + from + " > " +
                                path("r.wav") + " 2>> " + path("e.txt") + "; cat " + path("e.txt"));
    EXPECT_EQ(readFile(path("r.wav")), readFile(a)) << compress << ": standard output holds nothing but audio";
    EXPECT_NE(run.output.find("compression ratio"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("stdin -> stdout"), std::string::npos) << run.output;
  }
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(Cli, ReportsThatCannotBeWrittenFailTheRun) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  for (const std::string& arguments : {"-t " + path("a.wav.qla"), std::string("--version")}) {
    const CliRun run = runShell(kQola + " " + arguments + " 2>&1 > /dev/full");
    EXPECT_EQ(run.status, 1) << arguments;
    EXPECT_NE(run.output.find("write error on standard output"), std::string::npos) << run.output;
  }
}

// What -t and -d say of the checksum: a file without one passes unless one
// is required, the summary of several says how many nothing confirmed, and a
// mismatch leaves no output unless asked to keep it. Without the trailer,
// bytes beyond the last whole frame are named and fail a verification. A
// damaged file, an old one and a WAV or text file fail with status 1 and
// their message, and leave no output; a good file among them is restored.
TEST_F(Cli, ChecksumStatesDamageAndBytesTheFormatCannotStore) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  const Bytes original = readFile(path("a.wav"));
  Bytes cut = readFile(path("a.wav.qla"));
  cut.resize(cut.size() / 2);
  writeFile(path("cut.qla"), cut);
  writeFile(path("old.qla"), Bytes{0x0E, 0, 0, 0, 0, 0});
  writeFile(path("notes.txt"), Bytes{'H', 'e', 'l', 'l', 'o', '\n'});
  ASSERT_EQ(runCli("-q --no-trailer -o " + path("plain.qla") + " " + path("a.wav")).status, 0);
  Bytes bad = readFile(path("a.wav.qla")), joined = readFile(path("plain.qla")), wav = readFile(path("a.wav"));
  bad[20] ^= 0x10;  // inside the stored WAV header: decodes, but not to the original
  writeFile(path("bad.qla"), bad);
  joined.insert(joined.end(), {7, 7, 7});
  writeFile(path("joined.qla"), joined);
  wav.insert(wav.end(), {'L', 'I', 'S', 'T', 1, 0, 0, 0, 'x'});
  writeFile(path("list.wav"), wav);
  writeFile(path("tiny.raw"), noiseBytes(103));  // its few frames code larger than they are
  const std::string both = path("a.wav.qla") + " " + path("plain.qla"), out = " -o " + path("out");
  const struct {
    std::string arguments;
    int status;
    const char *says, *alsoSays;
    bool output;  // whether an output is there afterwards
  } cases[] = {
      {"-t " + path("a.wav.qla"), 0, "(checksum ok ", "", false},
      {"-t " + path("plain.qla"), 0, "no checksum stored (written by a plain encoder)", "", false},
      {"-t " + path("joined.qla"), 0, "warning: 3 bytes after the audio data", "", false},
      {"-d" + out + " " + path("bad.qla"), 1, "", "", false},
      {"-d --keep-damaged" + out + " " + path("bad.qla"), 1, "kept the damaged", "", true},
      {"-t " + both, 0, "2 file(s) processed, 0 failed, 1 with no checksum stored", "", false},
      {"-t --require-checksum " + path("a.wav.qla"), 0, "checksum ok", "", false},
      {"-t --require-checksum " + both, 1, "no checksum stored: nothing confirms the restore", "", false},
      {"-d --require-checksum" + out + " " + path("plain.qla"), 1, "a checksum is required", "", false},
      {"-d" + out + " " + path("plain.qla"), 0, "(no checksum stored", "", true},
      {"--no-trailer --verify" + out + " " + path("list.wav"), 1,
       "verification failed: 1 byte at the end of the input is not stored", "", false},
      {"--no-trailer" + out + " " + path("list.wav"), 0, "warning: 1 byte at the end", "", true},
      {"--no-trailer --no-wav" + out + " " + path("tiny.raw"), 0, "3 bytes at the end", "larger than its input",
       true},
      {"-d " + path("cut.qla") + " " + path("a.wav.qla") + out, 2, "", "", false},  // -o with two inputs
      {"-d -f " + path("cut.qla") + " " + path("old.qla") + " " + path("a.wav.qla"), 1,
       "Old file version, program terminated", "3 file(s) processed, 2 failed", false},
      {"-d" + out + " " + path("a.wav"), 1, ": not a QOLA file", "", false},
      {"-t " + path("notes.txt"), 1, ": not a QOLA file", "", false},
  };
  for (const auto& c : cases) {
    const CliRun run = runCli(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments << run.output;
    EXPECT_TRUE(run.output.find(c.says) != std::string::npos && run.output.find(c.alsoSays) != std::string::npos)
        << c.arguments << run.output;
    EXPECT_EQ(fs::exists(path("out")), c.output) << c.arguments;
    EXPECT_TRUE(temporaries().empty());
    fs::remove(path("out"));
  }
  EXPECT_FALSE(fs::exists(path("cut")) || fs::exists(path("cut.restored"))) << "no partial output";
  EXPECT_EQ(readFile(path("a.wav")), original);
}

// Under a memory limit, 64 threads either work or the job fails with its
// message: never an abort, never a partial output. The restore of a file of
// many more units than the threads that start hold in flight also fails
// cleanly when the workers run out of memory one after another.
TEST_F(Cli, MemoryLimitsWithManyThreadsFailCleanly) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve more address space than the limits leave";
#endif
  writeFile(path("big.wav"), testWav(64 * 4096 + 100, 900));
  writeFile(path("units.raw"), noiseBytes(1100 * 4096));
  ASSERT_EQ(runCli("-q -m -b 8 --no-wav -o " + path("units.qla") + " " + path("units.raw")).status, 0);
  const std::string original = sha256Hex(readFile(path("big.wav")));
  int succeeded = 0;
  for (int megabytes = 8; megabytes <= 96; megabytes += 8) {
    const std::string limit = "ulimit -v " + std::to_string(megabytes * 1024) + "; ";
    const CliRun units = runShell(limit + kQola + " -t -q -j 64 " + path("units.qla") + " 2>&1");
    EXPECT_TRUE(units.status == 0 || (units.status == 1 && units.output.find("memory") != std::string::npos))
        << megabytes << " MB: " << units.status << units.output;
    const CliRun run = runShell(limit + kQola + " -q -f -j 64 " + path("big.wav") + " 2>&1");
    EXPECT_TRUE(run.status == 0 || run.status == 1) << megabytes << " MB: " << run.status << run.output;
    if (run.status == 1) {
      EXPECT_NE(run.output.find("memory"), std::string::npos) << run.output;
    }
    EXPECT_EQ(sha256Hex(readFile(path("big.wav"))), original);
    if (run.status == 0) {
      ++succeeded;
      const CliRun restore = runShell(limit + kQola + " -t -q -j 64 " + path("big.wav.qla") + " 2>&1");
      EXPECT_TRUE(restore.status == 0 || restore.output.find("memory") != std::string::npos) << restore.output;
    } else {
      EXPECT_FALSE(fs::exists(path("big.wav.qla"))) << megabytes << " MB";
    }
    EXPECT_TRUE(temporaries().empty());
  }
  EXPECT_GT(succeeded, 0) << "no limit was high enough to test the threads";
}

}  // namespace
}  // namespace qola::test
