// The command line as users type it: option spellings and usage errors, and
// as users of other compressors expect it: options that delete or keep are
// never guessed from an abbreviation, -0 to -9 are levels, a compressed input
// is not compressed again, and -s on a WAV file is doubted.
#include <gtest/gtest.h>

#include "cli/CliSupport.h"

namespace qola::test {
namespace {

namespace fs = std::filesystem;

TEST_F(Cli, ConventionsOfOtherCompressors) {
  ASSERT_EQ(runCli("-q -o " + path("plain.qla") + " " + path("a.wav")).status, 0);
  ASSERT_EQ(runCli("-q --best -o " + path("best.qla") + " " + path("a.wav")).status, 0);
  ASSERT_EQ(runCli("-q --fast -o " + path("fast.qla") + " " + path("a.wav")).status, 0);
  const Bytes wav = readFile(path("a.wav")), compressed = readFile(path("plain.qla"));
  struct Case {
    std::string arguments;  // {} stands for the folder
    int status;
    std::string says;               // in the output; empty: nothing in particular
    std::vector<std::string> made;  // files there afterwards besides a.wav and the three above
    std::string sameAs;             // a file the first of made equals, byte for byte
  } const cases[] = {
      // Combined short options, attached values, --opt=value, abbreviations, -- before a name with a dash.
      {"-qf -o{}/l.qla {}/a.wav", 0, "", {"l.qla"}, "plain.qla"},
      {"-q --output={}/l.qla {}/a.wav", 0, "", {"l.qla"}, "plain.qla"},
      {"--qu --out {}/l.qla {}/a.wav", 0, "", {"l.qla"}, "plain.qla"},
      {"-q -o {}/l.qla -- {}/-x.wav", 0, "", {"-x.wav", "l.qla"}, "plain.qla"},
      // Every thread count writes the same bytes; each mode's file verifies (--fast never splits a block).
      {"-qj1 -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, "plain.qla"},
      {"-q --threads=3 -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, "plain.qla"},
      {"-q --verify --reference -n 256 -a none -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, ""},
      {"-q --verify --best -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, "best.qla"},
      {"-q --verify --fast -n 256 -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, ""},
      // Usage errors; adaptation needs N >= 512; --ver is --verify or --version.
      {"", 2, "", {}, ""},
      {"--bogus {}/a.wav", 2, "", {}, ""},
      {"-n 256 {}/a.wav", 2, "", {}, ""},
      {"{}/missing.wav", 2, "", {}, ""},
      {"-j 65 {}/a.wav", 2, "", {}, ""},
      {"--threads=two {}/a.wav", 2, "", {}, ""},
      {"--ver {}/a.wav", 2, "", {}, ""},
      // Options that delete or keep: in full only; -k/--keep keep the input, as always.
      {"-q --keep {}/a.wav", 0, "", {"a.wav.qla"}, "plain.qla"},
      {"-q -k {}/a.wav", 0, "", {"a.wav.qla"}, "plain.qla"},
      {"-d --keep-d {}/b.qla", 2, "option --keep-d must be written in full: --keep-damaged", {"b.qla"}, ""},
      {"--del {}/a.wav", 2, "option --del must be written in full: --delete-input-file", {}, ""},
      {"--kee {}/a.wav", 2, "--kee", {}, ""},
      {"-d -q --keep-damaged {}/b.qla", 0, "", {"b.qla", "b"}, "a.wav"},
      // Levels: -0 and -1 fast, -3 to -6 the default, -7 to -9 best; -2 is --stereo, at the default level.
      {"-q -0 -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, "fast.qla"},
      {"-q -1 -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, "fast.qla"},
      {"-q -6 -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, "plain.qla"},
      {"-q -9 -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, "best.qla"},
      {"-q -2 -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, "plain.qla"},
      {"-q -m -2 -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, "plain.qla"},
      {"-q9 -o {}/l.qla {}/a.wav", 0, "", {"l.qla"}, "best.qla"},
      // A compressed input is skipped unless -f; --delete-input-file then deletes nothing.
      {"{}/b.qla", 2, "already compressed", {"b.qla"}, ""},
      {"--delete-input-file {}/b.qla", 2, "already compressed", {"b.qla"}, ""},
      {"{}/b.bin", 2, "already compressed", {"b.bin"}, ""},
      {"-q -f {}/b.qla", 0, "", {"b.qla", "b.qla.qla"}, ""},
      {"-q {}/b.raw", 0, "", {"b.raw", "b.raw.qla"}, ""},
      // -s on a WAV file: said to be probably wrong, and done.
      {"-s -o {}/s.qla {}/a.wav", 0, "-s (big-endian samples) is probably wrong", {"s.qla"}, ""},
      {"-q -s -o {}/s.qla {}/b.raw", 0, "", {"b.raw", "s.qla"}, ""},
  };
  for (const Case& c : cases) {
    std::string arguments = c.arguments;
    for (std::size_t at; (at = arguments.find("{}")) != std::string::npos;) arguments.replace(at, 2, dir_.string());
    SCOPED_TRACE(arguments);
    for (const char* name :
         {"a.wav.qla", "b.qla", "b", "b.bin", "b.qla.qla", "b.raw", "b.raw.qla", "l.qla", "s.qla", "-x.wav"}) {
      fs::remove(path(name));
    }
    for (const std::string& name : c.made) {
      if (name == "b.qla" || name == "b.bin") writeFile(path(name), compressed);
      if (name == "b.raw") writeFile(path(name), Bytes(wav.begin() + 44, wav.end()));
      if (name == "-x.wav") writeFile(path(name), wav);
    }
    const CliRun run = runCli(arguments);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    std::vector<std::string> there;
    for (const auto& entry : fs::directory_iterator(dir_)) there.push_back(entry.path().filename());
    std::vector<std::string> expected{"a.wav", "best.qla", "fast.qla", "plain.qla"};
    expected.insert(expected.end(), c.made.begin(), c.made.end());
    std::sort(there.begin(), there.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(there, expected);
    if (!c.sameAs.empty()) {
      EXPECT_TRUE(readFile(path(c.made.back())) == readFile(path(c.sameAs))) << c.made.back() << " vs " << c.sameAs;
    }
  }
  EXPECT_EQ(readFile(path("a.wav")), wav);
}

// The shell completion, run by bash as the shell runs it: the words so far
// (as bash splits them, "=" apart) and what it offers, one name a line.
TEST_F(Cli, CompletionKeepsNamesWithSpacesWhole) {
  fs::create_directories(path("a dir"));
  for (const char* name : {"my song.wav", "my song.wav.qla", "take two.qla"}) writeFile(path(name), Bytes{1});
  const struct {
    const char* words;  // a bash array, the cursor on its last word
    const char* offered;
  } cases[] = {
      {"qola 'my'", "my song.wav\nmy song.wav.qla\n"},
      {"qola 'my\\ song.wav.'", "my song.wav.qla\n"},
      {"qola '\"take'", "take two.qla\n"},
      {"qola -dq ''", "a dir\nmy song.wav.qla\ntake two.qla\n"},
      {"qola -t -- ''", "a dir\nmy song.wav.qla\ntake two.qla\n"},
      {"qola --dec 'ta'", "take two.qla\n"},
      {"qola -qo'my.d' ''", "a dir\na.wav\nmy song.wav\nmy song.wav.qla\ntake two.qla\n"},
      {"qola -o 'my s'", "my song.wav\nmy song.wav.qla\n"},
      {"qola --output = 'take'", "take two.qla\n"},
      {"qola --bits = ''", "16\n8\n"},
      {"qola --adaptation =", "full\nmedium\nnone\n"},
      {"qola '--block-length=2'", "--block-length=2048\n--block-length=256\n"},
      {"qola --de", "--decompress\n--delete-input-file\n"},
      {"qola -k --ke", "--keep\n--keep-damaged\n"},
  };
  const std::string script = QOLA_SOURCE_DIR "/data/bash-completion/qola";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    const std::string bash = "source '" + script + "'; COMP_WORDS=(" + c.words +
                             "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _qola; "
                             "printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort";
    std::string quoted;
    for (const char ch : bash) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    const CliRun run = runShell("cd '" + dir_.string() + "' && bash -c '" + quoted + "' 2>&1");
    EXPECT_EQ(run.output, c.offered);
  }
}

}  // namespace
}  // namespace qola::test
