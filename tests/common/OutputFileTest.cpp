// What a path output leaves on disk, checked file by file: new files appear
// whole or not at all, nothing the user had is replaced without consent,
// devices and FIFOs are written in place and links are written through.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "common/Sha256.h"

namespace qola::test {
namespace {

namespace fs = std::filesystem;

class PathOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qola-output-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    compressed_ = runJob(true, pcm_).output;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // Compresses the test input into the output, or restores the bytes given; the job's status.
  qola_status compressInto(qola_output* output, const Bytes* restoring = nullptr) {
    qola_job* job = qola_job_create(nullptr);
    const Bytes& bytes = restoring != nullptr ? *restoring : pcm_;
    qola_input* input = qola_input_memory(bytes.data(), bytes.size());
    const qola_status status = (restoring != nullptr ? qola_decompress : qola_compress)(job, input, output);
    qola_input_free(input);
    qola_job_free(job);
    return status;
  }

  fs::path dir_;
  const Bytes pcm_ = testWav(3000);
  Bytes compressed_;
};

TEST_F(PathOutput, ReplacesOnlyWithConsentAndWritesThroughLinks) {
  const Bytes old = {1, 2, 3};
  const std::string newDigest = sha256Hex(compressed_);
  const std::string longName(250, 'n');
  struct Case {
    const char* name;
    std::string given;  // the name handed over
    int flags;
    int error;                                   // 0: opens
    std::map<std::string, std::string> changed;  // entries after the job that differ from before
  };
  const Case cases[] = {
      {"new file", path("new.qla"), 0, 0, {{"new.qla", newDigest}}},
      {"a 250-byte name", path(longName), 0, 0, {{longName, newDigest}}},
      {"existing file", path("old.qla"), 0, EEXIST, {}},
      {"existing file, consent", path("old.qla"), QOLA_OUTPUT_REPLACE, 0, {{"old.qla", newDigest}}},
      {"link", path("link.qla"), 0, EEXIST, {}},
      {"link, consent", path("link.qla"), QOLA_OUTPUT_REPLACE, 0, {{"old.qla", newDigest}}},
      {"dangling link", path("dangling.qla"), 0, EEXIST, {}},
      {"dangling link, consent", path("dangling.qla"), QOLA_OUTPUT_REPLACE, 0, {{"missing.qla", newDigest}}},
      {"folder", path("folder"), QOLA_OUTPUT_REPLACE, EISDIR, {}},
      {"empty name", "", QOLA_OUTPUT_REPLACE, ENOENT, {}},
      {"missing folder", path("none/x.qla"), 0, ENOENT, {}},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "folder");
    writeFile(path("old.qla"), old);
    ASSERT_EQ(::chmod(path("old.qla").c_str(), 0640), 0);
    fs::create_symlink("old.qla", path("link.qla"));
    fs::create_symlink("missing.qla", path("dangling.qla"));
    auto expected = folderSnapshot(dir_);
    for (const auto& [name, what] : c.changed) expected[name] = what;

    errno = 0;
    qola_output* output = qola_output_open(c.given.c_str(), c.flags);
    EXPECT_EQ(output == nullptr ? errno : 0, c.error) << c.name;
    if (output != nullptr) {
      EXPECT_EQ(qola_output_is_regular(output), 1) << c.name;
      EXPECT_EQ(compressInto(output), QOLA_OK) << c.name;
      qola_output_free(output);
    }
    EXPECT_EQ(folderSnapshot(dir_), expected) << c.name;
  }
  // A replaced file keeps its permissions.
  EXPECT_EQ(fs::status(path("old.qla")).permissions() & fs::perms::all, fs::perms(0640));
}

// A job that fails, and an output freed without its job, leave no file behind.
TEST_F(PathOutput, FailedJobsLeaveNothing) {
  writeFile(path("old.qla"), Bytes{9, 9});
  const auto before = folderSnapshot(dir_);
  for (const int flags : {0, QOLA_OUTPUT_REPLACE, QOLA_OUTPUT_HOLD | QOLA_OUTPUT_REPLACE}) {
    for (const char* name : {"new.qla", "old.qla"}) {
      qola_output* output = qola_output_open(path(name).c_str(), flags);
      if (output == nullptr) continue;  // old.qla without consent
      const Bytes damaged = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
      EXPECT_NE(compressInto(output, &damaged), QOLA_OK);
      qola_output_free(output);
      EXPECT_EQ(folderSnapshot(dir_), before) << name << " flags " << flags;
    }
  }
  qola_output_free(qola_output_open(path("unused.qla").c_str(), 0));
  EXPECT_EQ(folderSnapshot(dir_), before);

  // The scratch file the tool spools a pipe through has no name to leave.
  ::setenv("TMPDIR", dir_.c_str(), 1);
  const int scratch = qola_scratch_file();
  ::unsetenv("TMPDIR");
  ASSERT_GE(scratch, 0);
  struct stat status {};
  EXPECT_EQ(::write(scratch, "abc", 3), 3);
  EXPECT_EQ(::fstat(scratch, &status), 0);
  EXPECT_EQ(status.st_nlink, 0u);
  EXPECT_EQ(folderSnapshot(dir_), before);
  ::close(scratch);
}

// A held output is checked by its caller before it takes its name; of two
// outputs racing for one name, the first to commit wins whole.
TEST_F(PathOutput, HeldOutputsTakeTheirNameOnCommit) {
  qola_output* first = qola_output_open(path("x.qla").c_str(), QOLA_OUTPUT_HOLD | QOLA_OUTPUT_SYNC);
  qola_output* second = qola_output_open(path("x.qla").c_str(), QOLA_OUTPUT_HOLD);
  ASSERT_TRUE(first != nullptr && second != nullptr);
  ASSERT_EQ(compressInto(first), QOLA_OK);
  ASSERT_EQ(compressInto(second), QOLA_OK);
  EXPECT_TRUE(fs::is_empty(dir_)) << "nothing is named before commit";
  Bytes held(compressed_.size() + 1);
  EXPECT_EQ(::pread(qola_output_descriptor(first), held.data(), held.size(), 0),
            static_cast<ssize_t>(compressed_.size()));
  held.pop_back();
  EXPECT_EQ(held, compressed_);
  EXPECT_EQ(qola_output_commit(first), 0);
  EXPECT_EQ(qola_output_commit(first), 0) << "committing twice changes nothing";
  errno = 0;
  EXPECT_EQ(qola_output_commit(second), -1);
  EXPECT_EQ(errno, EEXIST);
  qola_output_free(first);
  qola_output_free(second);
  EXPECT_EQ(folderSnapshot(dir_), (std::map<std::string, std::string>{{"x.qla", sha256Hex(compressed_)}}));
}

TEST_F(PathOutput, FifosAreWrittenInPlace) {
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  Bytes received;
  std::thread reader([&] { received = readFile(path("fifo")); });
  qola_output* output = qola_output_open(path("fifo").c_str(), 0);
  ASSERT_NE(output, nullptr);
  EXPECT_EQ(qola_output_is_regular(output), 0);
  EXPECT_EQ(qola_output_descriptor(output), -1) << "nothing to read back";
  EXPECT_EQ(compressInto(output), QOLA_OK);
  qola_output_free(output);
  reader.join();
  EXPECT_EQ(received, compressed_);
  EXPECT_EQ(folderSnapshot(dir_), (std::map<std::string, std::string>{{"fifo", "fifo"}}));
}

// A device node is written, never replaced; a held one gets its bytes at commit.
TEST_F(PathOutput, DeviceNodesAreWrittenInPlace) {
  if (::mknod(path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make a device node here (mknod needs root): " << std::strerror(errno);
  }
  const auto before = folderSnapshot(dir_);
  constexpr int kHeld = QOLA_OUTPUT_HOLD | QOLA_OUTPUT_HOLD_DEVICE;
  for (const int flags : {0, QOLA_OUTPUT_REPLACE, QOLA_OUTPUT_HOLD, kHeld}) {
    qola_output* output = qola_output_open(path("null").c_str(), flags);
    ASSERT_NE(output, nullptr) << std::strerror(errno);
    EXPECT_EQ(qola_output_is_regular(output), 0);
    EXPECT_EQ(qola_output_descriptor(output) >= 0, flags == kHeld);
    EXPECT_EQ(compressInto(output), QOLA_OK);
    EXPECT_EQ(qola_output_commit(output), 0);
    qola_output_free(output);
    EXPECT_EQ(folderSnapshot(dir_), before) << flags;
  }
}

}  // namespace
}  // namespace qola::test
