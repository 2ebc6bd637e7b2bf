// What the tool leaves at an output name: devices, FIFOs and links written
// through, directories refused, and nothing lost to signals, limits or races.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "cli/CliSupport.h"

namespace qola::test {
namespace {

namespace fs = std::filesystem;

TEST_F(Cli, DevicesAndFifosAreWrittenInPlace) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  const CliRun device = runCli("-d -q -o /dev/null " + path("a.wav.qla"));
  EXPECT_EQ(device.status, 0) << device.output;
  EXPECT_TRUE(fs::is_character_file("/dev/null")) << "the device node stays";
  const CliRun full = runCli("-q -o /dev/full " + path("a.wav"));
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.output.find("write error (disk full?)"), std::string::npos) << full.output;
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  const CliRun fifo = runShell("cat " + path("fifo") + " > " + path("read.wav") + " & " + kQola + " -d -q -o " +
                               path("fifo") + " " + path("a.wav.qla") + " 2>&1; s=$?; wait; exit $s");
  EXPECT_EQ(fifo.status, 0) << fifo.output;
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(path("fifo"))));
  EXPECT_EQ(readFile(path("read.wav")), readFile(path("a.wav")));
  EXPECT_TRUE(temporaries().empty());
}

// A file is replaced and a link written through, also a dangling one, only
// with -f; the input itself and a directory are refused as output, and a
// directory as input.
TEST_F(Cli, LinksAreWrittenThroughAndDirectoriesRefused) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  const Bytes compressed = readFile(path("a.wav.qla")), old = {1, 2, 3};
  writeFile(path("target.qla"), old);
  fs::create_symlink("target.qla", path("link.qla"));
  fs::create_symlink("missing.qla", path("dangling.qla"));
  fs::create_directory(path("dir"));
  const std::string a = " " + path("a.wav");
  const struct {
    std::string arguments;
    int status;
    const char *says, *target;
    Bytes after;  // empty: no file
  } cases[] = {{"-o " + path("target.qla") + a, 2, "exists", "target.qla", old},
               {"-f -o " + path("a.wav") + a, 2, "same file", "a.wav", readFile(path("a.wav"))},
               {"-o " + path("link.qla") + a, 2, "exists", "target.qla", old},
               {"-f -o " + path("link.qla") + a, 0, "", "target.qla", compressed},
               {"-o " + path("dangling.qla") + a, 2, "exists", "missing.qla", {}},
               {"-f -o " + path("dangling.qla") + a, 0, "", "missing.qla", compressed},
               {"-f -o " + path("dir") + a, 2, "is a directory", "dir.qla", {}},
               {path("dir"), 2, "is a directory", "dir.qla", {}}};
  for (const auto& c : cases) {
    const CliRun run = runCli("-q " + c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    EXPECT_EQ(readFile(path(c.target)), c.after) << c.arguments;
  }
  EXPECT_TRUE(fs::is_symlink(path("link.qla")) && fs::is_symlink(path("dangling.qla")))
      << "the links themselves stay";
  EXPECT_TRUE(fs::is_empty(path("dir")));
  EXPECT_TRUE(temporaries().empty());
}

// However the job ends, the old output stays and no partial file takes a name.
TEST_F(Cli, SignalsLeaveTheOldOutputAndNoPartialFile) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  ASSERT_EQ(::mkfifo(path("slow.qla").c_str(), 0600), 0);
  writeFile(path("old.wav"), Bytes{7, 7, 7});
  const auto before = folderSnapshot(dir_);
  // (A shell's background jobs ignore SIGINT and SIGQUIT: those are not sent here.)
  for (const int signal : {SIGTERM, SIGHUP, SIGKILL, SIGUSR1, SIGALRM}) {
    // The compressed file stalls half-way through a FIFO: the job is surely
    // running, its output open, when the signal comes.
    const std::string script = "(head -c 3000 " + path("a.wav.qla") + "; touch " + path("fed") +
                               "; exec sleep 10) > " + path("slow.qla") + " & w=$!; " + kQola + " -d -q -f -o " +
                               path("old.wav") + " " + path("slow.qla") + " & q=$!; for i in $(seq 100); do [ -e " +
                               path("fed") + " ] && break; sleep 0.05; done; sleep 0.2; kill -" +
                               std::to_string(signal) + " $q; wait $q; s=$?; kill $w; rm -f " + path("fed") +
                               "; exit $s";
    EXPECT_EQ(runShell(script).status, 128 + signal) << signal;
    EXPECT_EQ(folderSnapshot(dir_), before) << signal;
  }
}

// The input is deleted only after its output is a file on the disk that
// reads back right; a device, a FIFO or standard output is refused before
// the job starts.
TEST_F(Cli, DeleteInputFileNeedsAnOutputFile) {
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  const auto before = folderSnapshot(dir_);
  const std::string a = " " + path("a.wav"), elsewhere = dir_.string() + ".out";
  for (const std::string& command : {kQola + " -q --delete-input-file -f -o /dev/null" + a,
                                     kQola + " -q --delete-input-file -f -o " + path("fifo") + a,
                                     kQola + " -q --delete-input-file -c" + a + " | head -c 100 >/dev/null",
                                     kQola + " -q --delete-input-file -o -" + a + " > " + elsewhere}) {
    const CliRun run = runShell("bash -o pipefail -c '" + command + "' 2>&1");
    EXPECT_EQ(run.status, 2) << command << run.output;
    EXPECT_NE(run.output.find("--delete-input-file needs an output file"), std::string::npos) << run.output;
    EXPECT_EQ(folderSnapshot(dir_), before) << command;
  }
  fs::remove(elsewhere);
}

// The file size limit is an ordinary write error; of two jobs racing for one
// name, one wins whole and the other is refused.
TEST_F(Cli, SizeLimitsAndRacesLeaveNoPartialOutput) {
  writeFile(path("big.wav"), testWav(200000, 3000));
  const CliRun limited = runShell("ulimit -f 64; " + kQola + " -q " + path("big.wav") + " 2>&1");
  EXPECT_EQ(limited.status, 1) << limited.output;
  EXPECT_NE(limited.output.find("file size limit"), std::string::npos) << limited.output;
  EXPECT_FALSE(fs::exists(path("big.wav.qla")));
  writeFile(path("b.wav"), testWav(9000, 500));
  const std::string job = kQola + " -q -o " + path("r.qla") + " ";
  const CliRun race = runShell("(" + job + path("a.wav") + " 2>/dev/null; echo a$?) & (" + job + path("b.wav") +
                               " 2>/dev/null; echo b$?) & wait");
  const bool aWon = race.output.find("a0") != std::string::npos;
  EXPECT_NE(race.output.find(aWon ? "b2" : "a2"), std::string::npos) << race.output;
  ASSERT_EQ(runCli("-d -q -o " + path("r.wav") + " " + path("r.qla")).status, 0);
  EXPECT_EQ(readFile(path("r.wav")), readFile(path(aWon ? "a.wav" : "b.wav"))) << "one whole winner";
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(Cli, OutputsKeepTheInputsPermissionsAndTimes) {
  ASSERT_EQ(::chmod(path("a.wav").c_str(), 0640), 0);
  const struct timespec times[2] = {{1000000000, 5}, {1234567890, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path("a.wav").c_str(), times, 0), 0);
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  ASSERT_EQ(runCli("-d -q -o " + path("r.wav") + " " + path("a.wav.qla")).status, 0);
  for (const char* name : {"a.wav.qla", "r.wav"}) {
    struct stat status {};
    ASSERT_EQ(::stat(path(name).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u) << name;
    EXPECT_TRUE(status.st_mtim.tv_sec == times[1].tv_sec && status.st_mtim.tv_nsec == times[1].tv_nsec) << name;
  }
  // Standard input has no permissions to pass on: the usual ones apply.
  ASSERT_EQ(runCli("-q -o " + path("p.qla") + " -", "cat " + path("a.wav") + " | ").status, 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(static_cast<mode_t>(fs::status(path("p.qla")).permissions()) & 0777, 0666 & ~mask);
}

}  // namespace
}  // namespace qola::test
