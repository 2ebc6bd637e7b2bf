// Compression needs the input's size before its first byte is coded. An
// input that cannot be measured (a pipe, callbacks without a size) is copied
// to an unnamed scratch file first, so every caller can compress a stream.
#pragma once

#include <memory>

#include "common/Stream.h"

namespace qola {

// The rest of input, copied to an unnamed scratch file, as a stream that can
// be measured; the scratch file vanishes when that stream is closed. A read
// error or a scratch file that cannot be written throws JobError.
std::unique_ptr<InputStream> spoolInput(InputStream& input);

}  // namespace qola
