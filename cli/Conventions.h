// What a user of other compressors expects to be told before a job starts:
// the input is compressed already, or its byte order contradicts -s.
#pragma once

#include <string>

#include "InputFile.h"

namespace qola::cli {

// A ".qla" name, or a regular file whose header and checksum trailer both
// read as a compressed file's: compressing it again gains nothing.
bool alreadyCompressed(const InputFile& input);

// A regular file that starts with a RIFF/WAVE header, whose samples are
// little-endian by definition.
bool startsAsWav(const InputFile& input);

}  // namespace qola::cli
