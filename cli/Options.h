// Command-line options of the qola tool.
#pragma once

#include <qola/qola.hpp>

#include <optional>
#include <string>
#include <vector>

#include "Position.h"

namespace qola::cli {

enum class Action { Compress, Decompress, Test };

struct Options {
  Action action = Action::Compress;
  Settings settings;  // the library's defaults are the tool's
  std::vector<std::string> inputs;
  std::optional<std::string> output;  // "-": standard output
  bool toStdout = false;               // -c: every output to standard output
  bool force = false;
  bool verify = false;
  bool deleteInput = false;  // forces verify
  bool keepDamaged = false;  // a restore whose checksum differs is kept, for salvage
  std::optional<Position> skip;   // restore from this frame on
  std::optional<Position> until;  // restore up to (not including) this frame
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Parses argv; on a usage error returns nullopt and sets the message.
std::optional<Options> parseOptions(int argc, char** argv, std::string& error);

const char* usageText();

}  // namespace qola::cli
