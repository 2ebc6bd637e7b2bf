// Progress on a terminal: how far, how fast against the audio's own time and
// how long is left; and the total ratio of several files compressed together.
#include <gtest/gtest.h>

#include "Progress.h"
#include "cli/CliSupport.h"

namespace qola::test {
namespace {

using cli::InputMeasure;
using cli::progressLine;

TEST(CliProgress, LineGivesSpeedAndTimeLeftOnceThereIsEnoughToGoOn) {
  const InputMeasure wav{120.0, 21168044}, raw{-1, 20 << 20}, none{};
  const struct {
    int percent;
    double elapsed;
    InputMeasure measure;
    const char* line;
  } cases[] = {
      {0, 5.0, wav, "a.wav:   0%"},
      {40, 0.5, wav, "a.wav:  40%"},  // too early to say
      {40, 4.0, wav, "a.wav:  40%  12.0x real time, 0:06 left"},
      {25, 10.0, raw, "a.wav:  25%  0.5 MiB/s, 0:30 left"},
      {50, 4000.0, none, "a.wav:  50%  1:06:40 left"},
      {100, 8.0, wav, "a.wav: 100%  15.0x real time"},
  };
  for (const auto& c : cases) EXPECT_EQ(progressLine("a.wav", c.percent, c.elapsed, c.measure), c.line);
  EXPECT_EQ(cli::clockTime(59.2), "1:00");
}

// Under a terminal the progress line is drawn and wiped before each report;
// the summary of several compressed files adds their total ratio.
TEST_F(Cli, ProgressOnATerminalAndTheTotalRatio) {
  writeFile(path("b.wav"), testWav(3000));
  const CliRun run = runShell("script -qec '" + kQola + " " + path("a.wav") + " " + path("b.wav") +
                              "' /dev/null 2>&1 && script -qec '" + kQola + " -d -o " + path("back.wav") + " " +
                              path("a.wav.qla") + "' /dev/null 2>&1");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find(path("a.wav") + ": 100%"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(path("a.wav.qla") + ": 100%"), std::string::npos) << run.output;
  const std::int64_t in =
      static_cast<std::int64_t>(readFile(path("a.wav")).size() + readFile(path("b.wav")).size());
  const std::int64_t out =
      static_cast<std::int64_t>(readFile(path("a.wav.qla")).size() + readFile(path("b.wav.qla")).size());
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, "%.3f", static_cast<double>(in) / static_cast<double>(out));
  EXPECT_NE(run.output.find("2 file(s) processed, 0 failed, total ratio " + std::string(ratio) + " (" +
                            std::to_string(in) + " -> " + std::to_string(out) + " bytes)"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(readFile(path("back.wav")), readFile(path("a.wav")));
}

}  // namespace
}  // namespace qola::test
