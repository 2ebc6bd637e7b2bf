// The compression job with the Best encoder's searches chosen one by one
// (the benchmarks measure each alone); compressFile runs it with all of them.
#pragma once

#include "codec/Jobs.h"

#include "codec/BestSearch.h"

namespace qola {

void compressFileWith(const CodecSettings& settings, const BestTechniques& techniques, InputStream& input,
                      OutputStream& output, ProgressSink& sink);

}  // namespace qola
