// A part of a file restored with --skip and --until: the frames named, in the
// original's byte order, behind a WAV header whose sizes fit them.
#include <gtest/gtest.h>

#include "cli/CliSupport.h"

namespace qola::test {
namespace {

constexpr std::size_t kWavHeaderBytes = 44;

// The WAV file a part of `wav` makes: its header with the sizes set, the frames, a pad byte when odd.
Bytes partOf(const Bytes& wav, int frameBytes, std::size_t first, std::size_t end) {
  const std::size_t data = (end - first) * static_cast<std::size_t>(frameBytes);
  Bytes part(kWavHeaderBytes + data + data % 2);  // zero: the pad byte
  std::copy_n(wav.begin(), kWavHeaderBytes, part.begin());
  const auto at = static_cast<std::ptrdiff_t>(kWavHeaderBytes + first * static_cast<std::size_t>(frameBytes));
  std::copy_n(wav.begin() + at, data, part.begin() + kWavHeaderBytes);
  const auto riff = static_cast<std::uint32_t>(part.size() - 8);
  const auto dataSize = static_cast<std::uint32_t>(data);
  for (int i = 0; i < 4; ++i) {
    part[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riff >> (8 * i));
    part[40 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(dataSize >> (8 * i));
  }
  return part;
}

// Positions as frames, times, counted from --skip or back from the end; those
// outside the file or unreadable are usage errors, refused before any output is opened.
TEST_F(Cli, SkipAndUntilRestoreTheFramesNamed) {
  const Bytes wav = readFile(path("a.wav"));  // 6000 stereo 16-bit frames at 44100 Hz
  writeFile(path("raw.pcm"), Bytes(4000, 1));
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);
  ASSERT_EQ(runCli("-q --no-wav " + path("raw.pcm")).status, 0);
  const std::string a = std::string(" ").append(path("a.wav.qla"));
  const struct {
    std::string options;
    std::size_t first, end;
    const char* refusal;  // nullptr: the part is restored
  } cases[] = {
      {"--skip=1000" + a, 1000, 6000, nullptr},
      {"--until=500" + a, 0, 500, nullptr},
      {"--skip=0.01 --until=0.1" + a, 441, 4410, nullptr},    // times at 44100 Hz
      {"--skip=0:00.0005 --until=+7" + a, 22, 29, nullptr},   // a fraction floors; +POS counts from --skip
      {"--until=-1000" + a, 0, 5000, nullptr},                // -POS counts back from the end
      {"--skip=4095 --until=4097" + a, 4095, 4097, nullptr},  // across a block boundary
      {"--skip=6000" + a, 6000, 6000, nullptr},               // an empty part is still a WAV file
      {"--skip=6001" + a, 0, 0, "outside the file's 6000 frames"},
      {"--skip=10 --until=5" + a, 0, 0, "--until lies before --skip"},
      {"--until=-6001" + a, 0, 0, "outside"},
      {"--skip=1:60" + a, 0, 0, "invalid position for --skip: 1:60"},
      {"--skip=1.5.2" + a, 0, 0, "invalid position"},
      {"--skip=+5" + a, 0, 0, "invalid position"},
      {"--until=0.5 " + path("raw.pcm.qla"), 0, 0, "a time needs the sample rate"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(path("p.wav"));
    const CliRun run = runCli("-d " + c.options + " -o " + path("p.wav"));
    EXPECT_EQ(run.status, c.refusal != nullptr ? 2 : 0) << c.options << ": " << run.output;
    EXPECT_NE(run.output.find(c.refusal != nullptr ? c.refusal : "range restored, checksum not checked"),
              std::string::npos)
        << c.options << ": " << run.output;
    EXPECT_TRUE(c.refusal != nullptr ? !std::filesystem::exists(path("p.wav"))
                                     : readFile(path("p.wav")) == partOf(wav, 4, c.first, c.end))
        << c.options;
  }
  EXPECT_EQ(runCli("-t --skip=10 --until=20" + a).status, 0);
  const CliRun compressing = runCli("--skip=5 " + path("a.wav"));
  EXPECT_EQ(compressing.status, 2);
  EXPECT_NE(compressing.output.find("--skip and --until apply to -d and -t only"), std::string::npos);
}

TEST_F(Cli, PartsKeepTheByteOrderAndPadOddData) {
  // Raw big-endian samples come back big-endian, from the trailer's byte order.
  Bytes raw(4000);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 7 + i / 13);
  writeFile(path("raw.pcm"), raw);
  ASSERT_EQ(runCli("-q -s --no-wav " + path("raw.pcm")).status, 0);
  ASSERT_EQ(runCli("-q -d --skip=100 --until=300 " + path("raw.pcm.qla") + " -o " + path("raw.part")).status, 0);
  EXPECT_TRUE(readFile(path("raw.part")) == Bytes(raw.begin() + 400, raw.begin() + 1200));
  // An odd count of 8-bit mono frames: the data chunk gets its pad byte.
  Bytes wav(kWavHeaderBytes + 3001);
  const Bytes header = wavHeader(1, 8, 3001);
  std::copy(header.begin(), header.end(), wav.begin());
  for (std::size_t i = 0; i < 3001; ++i) wav[kWavHeaderBytes + i] = static_cast<std::uint8_t>(128 + (i % 50));
  writeFile(path("m8.wav"), wav);
  ASSERT_EQ(runCli("-q " + path("m8.wav")).status, 0);
  ASSERT_EQ(runCli("-q -d --skip=1000 --until=2001 " + path("m8.wav.qla") + " -o " + path("m8.part")).status, 0);
  EXPECT_TRUE(readFile(path("m8.part")) == partOf(wav, 1, 1000, 2001));
}

// A part is checked unit by unit: damage outside it does not matter, damage
// inside it fails the part by the unit's CRC-32.
TEST_F(Cli, APartChecksTheIndexUnitsItReads) {
  ASSERT_EQ(runCli("-q " + path("a.wav")).status, 0);  // 6000 frames: units 0 .. 4095 and 4096 .. 5999
  Bytes packed = readFile(path("a.wav.qla"));
  packed[packed.size() * 3 / 4] ^= 0x04;  // in the second unit
  writeFile(path("d.qla"), packed);
  const CliRun first = runCli("-d --until=4096 " + path("d.qla") + " -o " + path("first.wav"));
  EXPECT_EQ(first.status, 0) << first.output;
  EXPECT_TRUE(readFile(path("first.wav")) == partOf(readFile(path("a.wav")), 4, 0, 4096));
  const CliRun second = runCli("-d --skip=4000 " + path("d.qla") + " -o " + path("second.wav"));
  EXPECT_EQ(second.status, 1) << second.output;
  EXPECT_NE(second.output.find("does not match its CRC-32"), std::string::npos) << second.output;
}

}  // namespace
}  // namespace qola::test
