#include "Options.h"

#include <charconv>
#include <cstring>

namespace qola::cli {
namespace {

bool parseInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool setBlockLength(const std::string& text, CodecSettings& settings) {
  int length = 0;
  if (!parseInt(text, length)) return false;
  for (int index = 0; index <= 5; ++index) {
    if (length == 1 << (index + 7)) {
      settings.blockLengthIndex = index;
      return true;
    }
  }
  return false;
}

bool setAdaptation(const std::string& text, CodecSettings& settings) {
  if (text == "none") settings.adaptation = Adaptation::None;
  else if (text == "medium") settings.adaptation = Adaptation::Medium;
  else if (text == "full") settings.adaptation = Adaptation::Full;
  else return false;
  return true;
}

}  // namespace

Options defaultOptions() {
  Options options;
  options.settings.wavEvaluation = true;
  options.settings.jointStereo = true;
  return options;
}

const char* usageText() {
  return "Usage: qola [OPTIONS] FILE...           compress each FILE to FILE.qla\n"
         "       qola -d [OPTIONS] FILE.qla...    restore each FILE.qla to FILE\n"
         "       qola -t FILE.qla...              test: decode without writing\n"
         "\n"
         "Lossless compression of 8/16-bit mono/stereo PCM audio (raw or WAV).\n"
         "\n"
         "Actions:\n"
         "  -d, --decompress       restore compressed files\n"
         "  -t, --test             decode compressed files and report, writing nothing\n"
         "\n"
         "Output:\n"
         "  -o, --output FILE      output file name (one input only); - is standard output\n"
         "  -c, --stdout           write to standard output (FILE - reads standard input)\n"
         "  -f, --force            overwrite existing output files\n"
         "      --verify           after compressing, decode the new file and compare it\n"
         "                         with the input; fail on any difference\n"
         "  -q, --quiet            no progress display and no reports\n"
         "\n"
         "Coding options (compression; -s also applies when restoring):\n"
         "  -m, --mono             one channel              (default: stereo)\n"
         "  -2, --stereo           two channels\n"
         "  -b, --bits 8|16        sample width             (default: 16)\n"
         "  -n, --block-length N   128, 256, 512, 1024, 2048 or 4096 samples (default: 4096)\n"
         "  -a, --adaptation MODE  block splitting: none, medium or full (default: full);\n"
         "                         medium and full need a block length of at least 512\n"
         "      --no-wav           do not read a WAV header: code every byte as samples\n"
         "                         (by default a RIFF/WAVE header sets channels and width\n"
         "                         and is stored unchanged)\n"
         "      --no-joint         no joint stereo (by default the right channel may be\n"
         "                         coded as a difference from the left)\n"
         "  -s, --swap-bytes       16-bit samples are big-endian (high byte first)\n"
         "\n"
         "Encoder (compression; every mode writes files that any QOLA reader restores):\n"
         "      --specified        the reference encoder: every choice as the desktop\n"
         "                         program makes it, byte for byte\n"
         "      (default)          the reference choices plus free ones, such as keeping\n"
         "                         joint stereo for identical channels; same speed\n"
         "      --best             codes candidate choices and keeps the smallest:\n"
         "                         about 4 times the time, files about 0.7 % smaller\n"
         "      --fast             no block splitting (as -a none): about a quarter\n"
         "                         less time, files about 3 % larger\n"
         "\n"
         "  -h, --help             this text\n"
         "  -V, --version          program version\n"
         "\n"
         "Exit status: 0 when every file succeeded, 1 when a job failed (damaged\n"
         "input, verification mismatch, write error), 2 on a usage or file error.\n";
}

std::optional<Options> parseOptions(int argc, char** argv, std::string& error) {
  Options options = defaultOptions();
  bool decompress = false;
  bool test = false;
  bool onlyFiles = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = "option " + arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string text;
    if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
      options.inputs.push_back(arg);
    } else if (arg == "--") {
      onlyFiles = true;
    } else if (arg == "-d" || arg == "--decompress") {
      decompress = true;
    } else if (arg == "-t" || arg == "--test") {
      test = true;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(text)) return std::nullopt;
      options.output = text;
    } else if (arg == "-c" || arg == "--stdout") {
      options.toStdout = true;
    } else if (arg == "-f" || arg == "--force") {
      options.force = true;
    } else if (arg == "--verify") {
      options.verify = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "-m" || arg == "--mono") {
      options.settings.channelCount = 1;
    } else if (arg == "-2" || arg == "--stereo") {
      options.settings.channelCount = 2;
    } else if (arg == "-b" || arg == "--bits") {
      if (!value(text)) return std::nullopt;
      if (text != "8" && text != "16") {
        error = "sample width must be 8 or 16, not " + text;
        return std::nullopt;
      }
      options.settings.sampleBits = text == "8" ? 8 : 16;
    } else if (arg == "-n" || arg == "--block-length") {
      if (!value(text)) return std::nullopt;
      if (!setBlockLength(text, options.settings)) {
        error = "block length must be 128, 256, 512, 1024, 2048 or 4096, not " + text;
        return std::nullopt;
      }
    } else if (arg == "-a" || arg == "--adaptation") {
      if (!value(text)) return std::nullopt;
      if (!setAdaptation(text, options.settings)) {
        error = "adaptation must be none, medium or full, not " + text;
        return std::nullopt;
      }
    } else if (arg == "--no-wav") {
      options.settings.wavEvaluation = false;
    } else if (arg == "--no-joint") {
      options.settings.jointStereo = false;
    } else if (arg == "--specified") {
      options.settings.encoderMode = EncoderMode::Specified;
    } else if (arg == "--best") {
      options.settings.encoderMode = EncoderMode::Best;
    } else if (arg == "--fast") {
      options.settings.encoderMode = EncoderMode::Fast;
    } else if (arg == "-s" || arg == "--swap-bytes") {
      options.settings.swapBytes = true;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "-V" || arg == "--version") {
      options.version = true;
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  if (options.help || options.version) return options;
  if (decompress && test) {
    error = "choose either -d or -t";
    return std::nullopt;
  }
  options.action = test ? Action::Test : decompress ? Action::Decompress : Action::Compress;
  options.settings.mode = options.action == Action::Compress ? Mode::Compress : Mode::Decompress;
  if (options.inputs.empty()) {
    error = "no input file";
    return std::nullopt;
  }
  if (options.output && options.toStdout) {
    error = "choose either -o or -c";
    return std::nullopt;
  }
  if (options.output && options.inputs.size() > 1) {
    error = "-o names the output of a single input file";
    return std::nullopt;
  }
  if (options.action == Action::Compress && options.settings.adaptation != Adaptation::None &&
      options.settings.encoderMode != EncoderMode::Fast &&
      options.settings.blockLengthIndex < 2) {
    error = "Minimum block length for adaptation is 512! (use -a none for shorter blocks)";
    return std::nullopt;
  }
  return options;
}

}  // namespace qola::cli
