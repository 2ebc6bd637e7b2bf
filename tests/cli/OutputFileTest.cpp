// What the tool leaves at an output name: devices, FIFOs and links written
// through, directories refused, and nothing lost to signals, limits or races.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "cli/CliSupport.h"

namespace qola::test {
namespace {

namespace fs = std::filesystem;

bool isFifo(const std::string& name) {
  struct stat status {};
  return ::lstat(name.c_str(), &status) == 0 && S_ISFIFO(status.st_mode);
}

TEST_F(Cli, DevicesAndFifosAreWrittenInPlace) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  const CliRun device = runCli("-d -q -o /dev/null " + path("a.wav.qla"));
  EXPECT_EQ(device.status, 0) << device.output;
  struct stat null {};
  ASSERT_EQ(::stat("/dev/null", &null), 0);
  EXPECT_TRUE(S_ISCHR(null.st_mode)) << "the device node stays";
  const CliRun full = runCli("-q -o /dev/full " + path("a.wav"));
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.output.find("write error (disk full?)"), std::string::npos) << full.output;

  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  const CliRun fifo = runShell("cat " + path("fifo") + " > " + path("read.wav") + " & " + kQola + " -d -q -o " +
                               path("fifo") + " " + path("a.wav.qla") + " 2>&1; s=$?; wait; exit $s");
  EXPECT_EQ(fifo.status, 0) << fifo.output;
  EXPECT_TRUE(isFifo(path("fifo")));
  EXPECT_EQ(readFile(path("read.wav")), readFile(path("a.wav")));
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(Cli, LinksAreWrittenThroughAndDanglingLinksCountAsFiles) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  const Bytes compressed = readFile(path("a.wav.qla"));
  const Bytes old = {1, 2, 3};
  writeFile(path("target.qla"), old);
  fs::create_symlink("target.qla", path("link.qla"));
  fs::create_symlink("missing.qla", path("dangling.qla"));
  struct Case {
    const char* link;
    const char* target;
    const char* force;
    int status;
  };
  for (const Case& c : {Case{"link.qla", "target.qla", "", 2}, Case{"link.qla", "target.qla", "-f", 0},
                        Case{"dangling.qla", "missing.qla", "", 2}, Case{"dangling.qla", "missing.qla", "-f", 0}}) {
    SCOPED_TRACE(std::string(c.link) + " " + c.force);
    const CliRun run = runCli(std::string("-q ") + c.force + " -o " + path(c.link) + " " + path("a.wav"));
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_TRUE(fs::is_symlink(path(c.link))) << "the link itself stays";
    if (c.status == 0) {
      EXPECT_EQ(readFile(path(c.target)), compressed);
    } else if (std::string(c.link) == "link.qla") {
      EXPECT_EQ(readFile(path(c.target)), old);
    } else {
      EXPECT_FALSE(fs::exists(path(c.target)));
    }
  }
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(Cli, DirectoriesAreRefusedAsOutputAndInput) {
  fs::create_directory(path("dir"));
  for (const std::string& arguments : {"-f -o " + path("dir") + " " + path("a.wav"), path("dir")}) {
    const CliRun run = runCli("-q " + arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_NE(run.output.find("is a directory"), std::string::npos) << run.output;
  }
  EXPECT_TRUE(fs::is_empty(path("dir")));
  EXPECT_FALSE(fs::exists(path("dir.qla")));
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(Cli, SignalsRemoveTheTemporaryFileAndKeepTheOldOutput) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  ASSERT_EQ(::mkfifo(path("slow.qla").c_str(), 0600), 0);
  const Bytes old = {7, 7, 7};
  writeFile(path("old.wav"), old);
  for (const auto& [signal, status] : {std::pair{"TERM", 128 + SIGTERM}, std::pair{"HUP", 128 + SIGHUP}}) {
    // The compressed file stalls half-way through a FIFO: the job is surely
    // running, its temporary file in place, when the signal comes.
    const std::string script = "(head -c 3000 " + path("a.wav.qla") + "; exec sleep 10) > " + path("slow.qla") +
                               " & w=$!; " + kQola + " -d -q -f -o " + path("old.wav") + " " + path("slow.qla") +
                               " & q=$!; for i in $(seq 100); do ls " + path("") +
                               " | grep -q tmp- && break; sleep 0.05; done; kill -" + signal +
                               " $q; wait $q; s=$?; kill $w; exit $s";
    const CliRun run = runShell(script);
    EXPECT_EQ(run.status, status) << signal << run.output;
    EXPECT_EQ(readFile(path("old.wav")), old);
    EXPECT_TRUE(temporaries().empty()) << signal;
  }
}

TEST_F(Cli, FileSizeLimitIsAnOrdinaryWriteError) {
  writeFile(path("big.wav"), testWav(200000, 3000));
  const CliRun run = runShell("ulimit -f 64; " + kQola + " -q " + path("big.wav") + " 2>&1");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("file size limit"), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(path("big.wav.qla")));
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(Cli, RacingWritersNeverReplaceEachOther) {
  writeFile(path("b.wav"), testWav(9000, 500));
  const std::string job = kQola + " -q -o " + path("r.qla") + " ";
  const CliRun run = runShell("(" + job + path("a.wav") + " 2>/dev/null; echo a$?) & (" + job + path("b.wav") +
                              " 2>/dev/null; echo b$?) & wait");
  const bool aWon = run.output.find("a0") != std::string::npos;
  EXPECT_NE(run.output.find(aWon ? "b2" : "a2"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(aWon ? "a0" : "b0"), std::string::npos) << run.output;
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
    EXPECT_EQ(status.st_mtim.tv_sec, times[1].tv_sec) << name;
    EXPECT_EQ(status.st_mtim.tv_nsec, times[1].tv_nsec) << name;
  }
  // Standard input has no permissions to pass on: the usual ones apply.
  ASSERT_EQ(runCli("-q -o " + path("p.qla") + " -", "cat " + path("a.wav") + " | ").status, 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(static_cast<mode_t>(fs::status(path("p.qla")).permissions()) & 0777, 0666 & ~mask);
}

}  // namespace
}  // namespace qola::test
