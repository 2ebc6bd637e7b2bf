#include "Options.h"

#include <getopt.h>

#include <charconv>
#include <cstring>

namespace qola::cli {
namespace {

bool parseInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool setBlockLength(const std::string& text, Settings& settings) {
  int length = 0;
  if (!parseInt(text, length)) return false;
  for (int shift = 7; shift <= 12; ++shift) {
    if (length == 1 << shift) {
      settings.block_length = length;
      return true;
    }
  }
  return false;
}

bool setAdaptation(const std::string& text, Settings& settings) {
  if (text == "none") settings.adaptation = QOLA_ADAPTATION_NONE;
  else if (text == "medium") settings.adaptation = QOLA_ADAPTATION_MEDIUM;
  else if (text == "full") settings.adaptation = QOLA_ADAPTATION_FULL;
  else return false;
  return true;
}

bool setThreads(const std::string& text, Settings& settings) {
  constexpr int kMaxThreads = 64;
  int threads = 0;
  if (!parseInt(text, threads) || threads < 0 || threads > kMaxThreads) return false;
  settings.threads = threads;
  return true;
}

// Long-only options get codes above the short ones.
enum LongOnly {
  kVerify = 256, kNoWav, kNoJoint, kDeleteInput, kReference, kBest, kFast, kNoTrailer, kNoIndex, kKeepDamaged,
  kSkip, kUntil, kRequireChecksum
};

constexpr const char* kShortOptions = ":dto:cfkqm2b:n:a:sj:hV013456789";
const option kLongOptions[] = {
    {"decompress", no_argument, nullptr, 'd'},
    {"test", no_argument, nullptr, 't'},
    {"output", required_argument, nullptr, 'o'},
    {"stdout", no_argument, nullptr, 'c'},
    {"force", no_argument, nullptr, 'f'},
    {"keep", no_argument, nullptr, 'k'},
    {"verify", no_argument, nullptr, kVerify},
    {"delete-input-file", no_argument, nullptr, kDeleteInput},
    {"quiet", no_argument, nullptr, 'q'},
    {"mono", no_argument, nullptr, 'm'},
    {"stereo", no_argument, nullptr, '2'},
    {"bits", required_argument, nullptr, 'b'},
    {"block-length", required_argument, nullptr, 'n'},
    {"adaptation", required_argument, nullptr, 'a'},
    {"no-wav", no_argument, nullptr, kNoWav},
    {"no-joint", no_argument, nullptr, kNoJoint},
    {"swap-bytes", no_argument, nullptr, 's'},
    {"no-trailer", no_argument, nullptr, kNoTrailer},
    {"no-index", no_argument, nullptr, kNoIndex},
    {"keep-damaged", no_argument, nullptr, kKeepDamaged},
    {"skip", required_argument, nullptr, kSkip},
    {"until", required_argument, nullptr, kUntil},
    {"require-checksum", no_argument, nullptr, kRequireChecksum},
    {"reference", no_argument, nullptr, kReference},
    {"best", no_argument, nullptr, kBest},
    {"fast", no_argument, nullptr, kFast},
    {"threads", required_argument, nullptr, 'j'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// Options that delete or keep what the user may not want; an abbreviation of
// one (--keep for --keep-damaged, --del) is refused, not guessed.
bool needsFullName(int code) { return code == kKeepDamaged || code == kDeleteInput; }

// -0 to -9 as in other compressors: the lowest the fast encoder, the highest
// the best, the middle the default. -2 is --stereo as it always was, which at
// the default level is the same thing.
qola_encoder_mode levelMode(int level) {
  if (level <= 1) return QOLA_ENCODER_FAST;
  return level >= 7 ? QOLA_ENCODER_BEST : QOLA_ENCODER_DEFAULT;
}

// The option as the user wrote it, for messages.
std::string spelled(char** argv, int optionIndex) {
  const std::string word = argv[optionIndex];
  if (word.rfind("--", 0) == 0) return word.substr(0, word.find('='));
  return std::string("-") + static_cast<char>(optopt);
}

}  // namespace

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
         "  -f, --force            overwrite existing output files, and compress a file\n"
         "                         that is compressed already\n"
         "  -k, --keep             keep the input file (always so without\n"
         "                         --delete-input-file)\n"
         "      --verify           after compressing, decode the new file and compare it\n"
         "                         with the input; fail on any difference\n"
         "      --delete-input-file\n"
         "                         after compressing, verify the whole file as --verify\n"
         "                         does and only then delete the input\n"
         "      --keep-damaged     keep a restore whose checksum does not match, for\n"
         "                         salvage (the run still fails)\n"
         "      --skip=POS         restore from POS on: a frame number, or a time\n"
         "                         [[h:]m:]s[.fraction] when the file holds a WAV header\n"
         "      --until=POS        restore up to POS (not included); +POS counts from\n"
         "                         --skip, -POS back from the end. A part is written as\n"
         "                         a WAV file of its own (or raw PCM); the whole file's\n"
         "                         MD5 cannot be checked for it, each index unit's CRC is\n"
         "                         checked instead\n"
         "      --require-checksum fail a restore or test that no stored checksum\n"
         "                         confirms (a file written without the trailer)\n"
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
         "  -s, --swap-bytes       16-bit samples are big-endian (high byte first); a restore\n"
         "                         takes the byte order the file stores unless -s is given\n"
         "      --no-trailer       end the file without the trailer (by default the file\n"
         "                         ends with the input's MD5, its byte order and its bytes\n"
         "                         after the last whole frame: every byte comes back and\n"
         "                         -t checks them)\n"
         "      --no-index         a trailer without the block index (by default it\n"
         "                         lists where every 4096 frames start and their CRC-32,\n"
         "                         for restoring on every thread and locating damage)\n"
         "\n"
         "Encoder (compression; every mode writes files that any QOLA reader restores):\n"
         "      --reference        the reference encoder: every choice as the desktop\n"
         "                         program makes it, byte for byte\n"
         "      (default)          the reference choices plus free ones, such as keeping\n"
         "                         joint stereo for identical channels; same speed\n"
         "      --best             codes candidate choices and keeps the smallest:\n"
         "                         about 4 times the time, files about 0.6 % smaller\n"
         "      --fast             no block splitting (as -a none): about half the time\n"
         "                         on one thread; files 2-6 % larger for 16-bit music,\n"
         "                         8-11 % for speech, under 1 % for 8- and 24-bit\n"
         "                         data, more for clean tones (25 % on the demo)\n"
         "\n"
         "  -0 ... -9              levels: -0 and -1 as --fast, -3 to -6 the default,\n"
         "                         -7 to -9 as --best (-2 stays --stereo, which at the\n"
         "                         default level is the same)\n"
         "\n"
         "  -j, --threads N        threads of each job, 1 to 64 (default, or 0: one per\n"
         "                         core available); every count writes the same bytes\n"
         "\n"
         "  -h, --help             this text\n"
         "  -V, --version          program version\n"
         "\n"
         "Short options combine (-qf) and take values attached (-oFILE); long options\n"
         "take --opt=value and may be abbreviated, except --delete-input-file and\n"
         "--keep-damaged, which are taken in full only; -- ends the options.\n"
         "\n"
         "Exit status: 0 when every file succeeded, 1 when a job failed (damaged\n"
         "input, verification mismatch, write error), 2 on a usage or file error.\n";
}

std::optional<Options> parseOptions(int argc, char** argv, std::string& error) {
  Options options;
  bool decompress = false;
  bool test = false;
  opterr = 0;  // our own messages
  optind = 0;  // a fresh scan, also when called again
  int code = 0;
  int longIndex = -1;
  while ((code = getopt_long(argc, argv, kShortOptions, kLongOptions, &longIndex)) != -1) {
    const std::string text = optarg != nullptr ? optarg : "";
    if (needsFullName(code) && spelled(argv, optind - 1) != std::string("--") + kLongOptions[longIndex].name) {
      error = "option " + spelled(argv, optind - 1) + " must be written in full: --" + kLongOptions[longIndex].name;
      return std::nullopt;
    }
    switch (code) {
      case 'd': decompress = true; break;
      case 't': test = true; break;
      case 'o': options.output = text; break;
      case 'c': options.toStdout = true; break;
      case 'f': options.force = true; break;
      case 'k': break;  // the input is always kept unless --delete-input-file is given
      case kVerify: options.verify = true; break;
      case kNoTrailer: options.settings.trailer = 0; break;
      case kNoIndex: options.settings.index = 0; break;
      case kKeepDamaged: options.keepDamaged = true; break;
      case kSkip:
      case kUntil: {
        std::optional<Position>& position = code == kSkip ? options.skip : options.until;
        position = parsePosition(text, code == kUntil);
        if (!position) {
          error = "invalid position for " + spelled(argv, optind - 1) + ": " + text;
          return std::nullopt;
        }
        break;
      }
      case kRequireChecksum: options.settings.require_checksum = 1; break;
      case kDeleteInput: options.deleteInput = options.verify = true; break;
      case 'q': options.quiet = true; break;
      case 'm': options.settings.channels = 1; break;
      case '2': options.settings.channels = 2; break;
      case '0': case '1': case '3': case '4': case '5': case '6': case '7': case '8': case '9':
        options.settings.encoder_mode = levelMode(code - '0');
        break;
      case 'b':
        if (text != "8" && text != "16") {
          error = "sample width must be 8 or 16, not " + text;
          return std::nullopt;
        }
        options.settings.sample_bits = text == "8" ? 8 : 16;
        break;
      case 'n':
        if (!setBlockLength(text, options.settings)) {
          error = "block length must be 128, 256, 512, 1024, 2048 or 4096, not " + text;
          return std::nullopt;
        }
        break;
      case 'a':
        if (!setAdaptation(text, options.settings)) {
          error = "adaptation must be none, medium or full, not " + text;
          return std::nullopt;
        }
        break;
      case kNoWav: options.settings.wav_evaluation = 0; break;
      case kNoJoint: options.settings.joint_stereo = 0; break;
      case 's': options.settings.swap_bytes = 1; break;
      case kReference: options.settings.encoder_mode = QOLA_ENCODER_REFERENCE; break;
      case kBest: options.settings.encoder_mode = QOLA_ENCODER_BEST; break;
      case kFast: options.settings.encoder_mode = QOLA_ENCODER_FAST; break;
      case 'j':
        if (!setThreads(text, options.settings)) {
          error = "thread count must be 0 to 64, not " + text;
          return std::nullopt;
        }
        break;
      case 'h': options.help = true; break;
      case 'V': options.version = true; break;
      case ':':
        error = "option " + spelled(argv, optind - 1) + " needs a value";
        return std::nullopt;
      default:
        error = "unknown option " + spelled(argv, optind - 1);
        return std::nullopt;
    }
  }
  for (int i = optind; i < argc; ++i) options.inputs.emplace_back(argv[i]);
  if (options.help || options.version) return options;
  if (decompress && test) {
    error = "choose either -d or -t";
    return std::nullopt;
  }
  options.action = test ? Action::Test : decompress ? Action::Decompress : Action::Compress;
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
  if ((options.skip || options.until) && options.action == Action::Compress) {
    error = "--skip and --until apply to -d and -t only";
    return std::nullopt;
  }
  if (options.deleteInput && options.action != Action::Compress) {
    error = "--delete-input-file applies to compression only";
    return std::nullopt;
  }
  const bool compressing = options.action == Action::Compress;
  if (const char* refusal = options.settings.refusal(compressing)) {
    Settings unsplit = options.settings;
    unsplit.adaptation = QOLA_ADAPTATION_NONE;
    error = refusal;
    if (unsplit.refusal(compressing) == nullptr) error += " (use -a none for shorter blocks)";
    return std::nullopt;
  }
  return options;
}

}  // namespace qola::cli
