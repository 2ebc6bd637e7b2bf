// The restore of a file with a block index: every unit is parsed and rebuilt
// on any thread, since none needs another. The job's thread reads the units'
// bytes and writes their PCM in file order (the output's MD5 taken as it
// writes), and decodes units itself while the next one to write is not ready.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/BlockIndex.h"
#include "codec/Jobs.h"
#include "common/Checksums.h"
#include "common/Fatal.h"
#include "common/Stream.h"

namespace qola {

// Takes the output's digest off it while the audio is written, so that the
// rebuilding threads can feed it, and gives it back however the audio ends.
class DigestSetAside {
 public:
  explicit DigestSetAside(OutputStream& output) : output_(output), digest_(output.digest()) {
    output.digestInto(nullptr);
  }
  ~DigestSetAside() { output_.digestInto(digest_); }
  Md5* digest() const { return digest_; }
  DigestSetAside(const DigestSetAside&) = delete;
  DigestSetAside& operator=(const DigestSetAside&) = delete;

 private:
  OutputStream& output_;
  Md5* digest_;
};

// What the unit restore works from: the file's shape and its placed units.
struct UnitRestore {
  BlockLayout layout;
  std::int64_t frames = 0;  // n
  std::vector<UnitPlace> units;
};

// Frames first .. last of the output that are silence in place of damaged units.
struct DamagedRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
};

// Restores every unit with the input at the first one's offset. A unit
// whose CRC-32 fails is written as silence of its length and named in
// damaged (adjacent ones as one range); every other unit restores exactly. A
// unit that holds its CRC-32 but does not decode (a crafted file) ends the
// job after the units before it and its blocks before the damage are written.
// Returns false when the output failed.
bool restoreUnits(const UnitRestore& job, int threads, InputStream& input, OutputStream& output, ProgressSink& sink,
                  std::vector<DamagedRange>& damaged);

// "first to last" frames, and their times "(m:ss.mmm to m:ss.mmm)" when the
// sample rate is known (0: unknown).
std::string framesText(std::int64_t first, std::int64_t last, int sampleRate);

// The failure of a restore with damaged units: names their frames, and their
// times when the sample rate is known (0: unknown).
JobError damagedUnitsError(const std::vector<DamagedRange>& damaged, int sampleRate);

}  // namespace qola
