#include "codec/BlockDecoder.h"

#include <algorithm>

#include "codec/FileRecords.h"
#include "codec/SegmentRebuild.h"
#include "common/Fatal.h"
#include "dsp/Dct.h"
#include "entropy/BlockCoding.h"
#include "pcm/PcmIo.h"

namespace qola {
namespace {

constexpr const char* kShortSegment = "a segment is shorter than its block without adaptation";
constexpr const char* kCountMismatch = "the segments do not match the sample count";
constexpr const char* kOverrun = "the segments of a block overrun its length";

std::size_t offsetOf(const BlockLayout& layout, int channel, int start) {
  return static_cast<std::size_t>(channel) * static_cast<std::size_t>(layout.N) + static_cast<std::size_t>(start);
}

// Reads one segment record meant for channel from start on. The checks of
// the block layout follow, once the payload is read.
ParsedSegment readSegment(SegmentParser& parser, DecodedBlock& block, int channel, int start, InputStream& input) {
  const BlockLayout& layout = parser.layout;
  const SegmentHeader header = readSegmentHeader(input, layout.jointStereo);
  const int m = 1 << header.s;
  if (m > layout.N) damagedFile("a segment is longer than its block");
  ParsedSegment segment{header.kind, header.s, channel, start, 0};
  switch (header.kind) {
    case format::SegmentKind::Zero: break;
    case format::SegmentKind::Constant: segment.value = readConstantValue(input); break;
    case format::SegmentKind::Transform:
    case format::SegmentKind::LaggedTransform: {
      segment.kind = format::SegmentKind::Transform;
      // The block's last transform segment, in either channel, decides its joint stereo.
      block.lagged = header.kind == format::SegmentKind::LaggedTransform;
      if (block.lagged) block.lag = header.lag;
      if (header.s > format::kMaxTransformExponent) {
        double unused = 0.0;
        inverseDct(&unused, header.s);  // refuses the length before it touches a value
      }
      const bool fits = start + m <= layout.N;
      const std::size_t at = offsetOf(layout, channel, start);
      std::int32_t* coefficients = fits ? block.coefficients.data() + at : parser.spareCoefficients.data();
      std::int16_t* residuals = fits ? block.residuals.data() + at : parser.spareResiduals.data();
      decodeTransformSegment({header.s, residuals, coefficients, parser.bandParameters.data()}, parser.reader,
                             input);
      break;
    }
  }
  // The arithmetic decoder reads the missing bytes of a cut file as 1-bits
  // and may still finish; the segment is then not the one that was written.
  if (input.fetchedPastEnd()) fileEndsEarly("inside a segment");
  return segment;
}

void parseMono(SegmentParser& parser, std::int64_t remaining, InputStream& input, DecodedBlock& block) {
  const BlockLayout& layout = parser.layout;
  if (remaining < layout.N) {  // the final partial block: one segment, at least r long
    const ParsedSegment segment = readSegment(parser, block, 0, 0, input);
    if ((1 << segment.s) < remaining) damagedFile(kCountMismatch);
    block.segments.push_back(segment);
    block.frames = static_cast<int>(remaining);
    return;
  }
  while (block.frames < layout.N) {
    const ParsedSegment segment = readSegment(parser, block, 0, block.frames, input);
    const int m = 1 << segment.s;
    if (!layout.adaptive && m != layout.N) damagedFile(kShortSegment);
    if (block.frames + m > layout.N) damagedFile(kOverrun);
    block.segments.push_back(segment);
    block.frames += m;
  }
}

// A stereo block holds the first channel's segments, then the second's.
void parseStereo(SegmentParser& parser, std::int64_t remaining, InputStream& input, DecodedBlock& block) {
  const BlockLayout& layout = parser.layout;
  const bool final = remaining < layout.N;
  if (!layout.adaptive || final) {  // one segment per channel
    int firstLength = 0;
    for (int channel = 0; channel < 2; ++channel) {
      const ParsedSegment segment = readSegment(parser, block, channel, 0, input);
      const int m = 1 << segment.s;
      if (final && (layout.finalFrames == 0 || m < layout.finalFrames)) damagedFile(kCountMismatch);
      if (!final && m != layout.N) damagedFile(kShortSegment);
      // Joint stereo rebuilds over one length; a writer gives both channels the same.
      if (channel == 1 && m != firstLength) damagedFile("the channels of the final block differ in length");
      firstLength = m;
      block.segments.push_back(segment);
    }
    block.length = firstLength;
    block.frames = final ? layout.finalFrames : firstLength;
    return;
  }
  for (int channel = 0; channel < 2; ++channel) {
    for (int fill = 0; fill < layout.N;) {
      const ParsedSegment segment = readSegment(parser, block, channel, fill, input);
      const int m = 1 << segment.s;
      if (fill + m > layout.N) damagedFile(kOverrun);
      block.segments.push_back(segment);
      fill += m;
    }
  }
  block.length = layout.N;
  block.frames = layout.N;
}

}  // namespace

SegmentParser::SegmentParser(const BlockLayout& settings) : layout(settings) {
  const auto N = static_cast<std::size_t>(layout.N);
  allocateBuffer(bandParameters, N / format::kBandSize, "CB");
  allocateBuffer(spareCoefficients, N, "TK");
  allocateBuffer(spareResiduals, N, "AWf");
}

BlockRebuilder::BlockRebuilder(const BlockLayout& settings) : layout(settings) {
  const auto N = static_cast<std::size_t>(layout.N);
  const auto channels = static_cast<std::size_t>(layout.channels);
  allocateBuffer(transform, N, "Temp");
  if (layout.channels == 2) allocateBuffer(secondChannel, N, "buff");
  allocateBuffer(pcmBytes, N * 2 * channels, "buff");
  if (layout.eightBit) allocateBuffer(eightBitBytes, N * channels, "AWb");
}

void allocateBlock(const BlockLayout& layout, DecodedBlock& block) {
  const auto values = static_cast<std::size_t>(layout.N) * static_cast<std::size_t>(layout.channels);
  allocateBuffer(block.samples, values, "AWi");
  allocateBuffer(block.coefficients, values, "TK");
  allocateBuffer(block.residuals, values, "AWf");
  allocateBuffer(block.bytes, 2 * values, "buff");
  block.bytes.clear();  // keeps the room for the block's bytes
  // A block holds at most N / 2^7 segments per channel.
  block.segments.reserve(values >> format::kMinSegmentExponent);
}

void parseBlock(SegmentParser& parser, std::int64_t remainingFrames, InputStream& input, DecodedBlock& block) {
  block.segments.clear();
  block.frames = 0;
  block.length = 0;
  block.lagged = false;
  block.lag = 0;
  if (parser.layout.channels == 1) {
    parseMono(parser, remainingFrames, input, block);
  } else {
    parseStereo(parser, remainingFrames, input, block);
  }
}

const std::int16_t* rebuildSamples(BlockRebuilder& rebuilder, DecodedBlock& block) {
  const BlockLayout& layout = rebuilder.layout;
  for (const ParsedSegment& segment : block.segments) {
    const std::size_t at = offsetOf(layout, segment.channel, segment.start);
    std::int16_t* samples = block.samples.data() + at;
    const int m = 1 << segment.s;
    if (segment.kind == format::SegmentKind::Transform) {
      reconstructSegment(segment.s, block.coefficients.data() + at, block.residuals.data() + at,
                         rebuilder.transform.data(), samples);
    } else {
      std::fill_n(samples, m, segment.value);  // a zero segment's value is 0
    }
  }
  if (layout.channels == 1) return nullptr;
  const std::int16_t* second = block.samples.data() + layout.N;
  if (!block.lagged) return second;
  jointReconstruct(block.lag, block.length, block.samples.data(), second, rebuilder.secondChannel.data());
  return rebuilder.secondChannel.data();
}

void rebuildBlock(BlockRebuilder& rebuilder, DecodedBlock& block) {
  const BlockLayout& layout = rebuilder.layout;
  const std::int16_t* second = rebuildSamples(rebuilder, block);
  block.bytes.clear();
  OutputStream output(block.bytes);
  const std::int16_t* first = block.samples.data();
  if (layout.channels == 1) {
    if (layout.eightBit) {
      writeMono8(first, block.frames, rebuilder.eightBitBytes.data(), output);
    } else {
      writeMono16(first, block.frames, layout.swapBytes, rebuilder.pcmBytes.data(), output);
    }
    return;
  }
  if (layout.eightBit) {
    writeStereo8(first, second, block.frames, rebuilder.eightBitBytes.data(), output);
  } else {
    writeStereo16(first, second, block.frames, layout.swapBytes, rebuilder.pcmBytes.data(), output);
  }
}

}  // namespace qola
