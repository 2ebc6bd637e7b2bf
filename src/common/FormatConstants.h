// Field widths, values and limits of the compressed file format (.qla).
// All multi-byte integers in the file are big-endian.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace qola::format {

// File header: version byte, flags byte, 32-bit sample count per channel.
inline constexpr int kFileHeaderSize = 6;
// The platform bit only names the writer's system in the report ("DOS" when
// clear, "Solaris" when set); decoding is the same either way.
inline constexpr std::uint8_t kVersionByte = 0x11;  // version 17 ("1.7"), platform bit clear
inline constexpr int kMinVersion = 15;              // older files are refused
inline constexpr std::uint8_t kPlatformBit = 0x80;  // set: written on "Solaris"
inline constexpr std::uint8_t kVersionMask = 0x7f;
inline constexpr std::int64_t kMaxSampleCount = 0x7fffffff;

// Flags byte.
inline constexpr std::uint8_t kFlagStereo = 0x80;
inline constexpr std::uint8_t kFlagAdaptive = 0x40;
inline constexpr std::uint8_t kFlagEightBit = 0x20;
inline constexpr std::uint8_t kFlagHeaderCopy = 0x10;
inline constexpr std::uint8_t kFlagJointStereo = 0x08;
inline constexpr std::uint8_t kBlockIndexMask = 0x07;
inline constexpr int kBlockIndexBase = 7;  // N = 2^(index + 7)
// s of a block or segment length 2^s.
constexpr int lengthExponent(int length) { return std::bit_width(static_cast<unsigned>(length)) - 1; }
inline constexpr int kMaxWriterBlockIndex = 5;

// Header copy: one length byte, then that many bytes.
inline constexpr int kWavHeaderSize = 44;

// Segment byte: bits 0-2 length exponent - 7, bits 6-7 kind.
inline constexpr std::uint8_t kSegmentExponentMask = 0x07;
inline constexpr int kSegmentKindShift = 6;
inline constexpr int kMinSegmentExponent = 7;    // 128 samples
inline constexpr int kMaxTransformExponent = 12;  // 4096 samples, the longest inverse transform
inline constexpr int kMaxBlockLength = 1 << kMaxTransformExponent;
enum class SegmentKind : std::uint8_t { Zero = 0, Constant = 1, Transform = 2, LaggedTransform = 3 };

// Model byte: bits 0-5 largest residual magnitude M, bit 7 adaptive model.
inline constexpr std::uint8_t kModelAdaptiveBit = 0x80;
inline constexpr std::uint8_t kModelMagnitudeMask = 0x3f;
inline constexpr int kMaxResidual = 31;
inline constexpr int kMinPeakedResidual = 3;
// The fixed peaked model is only worth it when more than 3/5 of a segment's m
// residuals are non-zero; 3m/5 is cut toward zero, and every reader and
// writer must cut it alike.
constexpr int peakedModelThreshold(int m) { return 3 * m / 5; }
// Initial counts of the symbols M-3 .. M+3 of the fixed peaked model.
inline constexpr std::array<int, 7> kPeakCounts = {14, 82, 236, 335, 236, 82, 14};

// Coefficient code: bands of 32 coefficients, one parameter each.
inline constexpr int kBandSize = 32;
// Parameters up to 0 name a special code; 1..31 are Rice parameters.
inline constexpr int kBandZero = -3;     // all 32 values are 0: no bits at all
inline constexpr int kBandPairs = -2;    // pairs of values in -1..1
inline constexpr int kBandTernary = -1;  // single values in -1..1
inline constexpr int kBandUnary = 0;     // signed unary; also codes the parameter differences
inline constexpr int kMinBandParameter = kBandZero;
inline constexpr int kMaxBandParameter = 31;
inline constexpr int kLastBandReference = -1;  // the highest band's difference is taken against -1

// Joint stereo.
inline constexpr int kMaxLag = 20;
inline constexpr int kNoJointStereo = -128;
// Bits the lagged difference signal must save over the right channel itself,
// so that a block does not switch to joint stereo for a gain within noise.
inline constexpr int kJointStereoMinSaving = 8;

// Trailer: our extension after the last segment record. A reader that stops
// at the sample count never sees it, so plain files and plain readers are
// unaffected. Version 1 (big-endian, T = kTrailerFixedSize + k):
//   0       4  kTrailerMagic
//   4       1  trailer version
//   5       1  flags (kTrailerFlagSwapBytes; other bits 0)
//   6       2  T, the trailer's whole length (version 2 on: 0 when T > 65535)
//   8      16  MD5 of the complete original input file
//   24      1  k, the count of bytes after the input's last whole frame
//   25      k  those bytes
//   25+k    4  CRC-32 of bytes 0 .. 24+k (in every version: of all bytes before T-10)
//   29+k    2  T again (as at 6)
//   31+k    4  kTrailerMagic again, so the trailer can be found from the file's end
// Version 2 adds the block index (T = kIndexedTrailerFixedSize + k + 8u):
//   25+k    4  T, 32 bits
//   29+k    4  U, frames per index unit: whole blocks
//   33+k    4  u, the count of units: the frame count divided by U, rounded up
//   37+k   8u  per unit in file order: its length in bytes, the CRC-32 of those bytes
//   37+k+8u 4  T, 32 bits (in every version from 2: at T-14)
//   41+k+8u 4  CRC-32 of all bytes before it
//   45+k+8u 2  T when below 65536, else 0
//   47+k+8u 4  kTrailerMagic
// Unit 0 starts with the first segment record; each unit starts where the one
// before it ends, and the last ends where the trailer begins.
inline constexpr std::array<std::uint8_t, 4> kTrailerMagic = {'Q', 'L', 'T', 'R'};
inline constexpr std::uint8_t kTrailerVersion = 1;         // without an index
inline constexpr std::uint8_t kIndexedTrailerVersion = 2;  // with the block index; the newest we read
inline constexpr std::uint8_t kTrailerFlagSwapBytes = 0x01;
inline constexpr int kTrailerVersionOffset = 4;
inline constexpr int kTrailerFlagsOffset = 5;
inline constexpr int kTrailerLengthOffset = 6;
inline constexpr int kTrailerMd5Offset = 8;
inline constexpr int kTrailerLeftoverCountOffset = 24;
inline constexpr int kTrailerLeftoverOffset = 25;
inline constexpr int kTrailerFixedSize = 35;     // T with no leftover bytes
inline constexpr int kTrailerEndSize = 6;        // T and the magic at the end
inline constexpr int kWideTrailerEndSize = 14;   // from version 2: T in 32 bits, CRC-32, T and the magic
inline constexpr int kMaxLeftoverBytes = 255;
inline constexpr int kIndexedTrailerFixedSize = 51;  // version 2's T with no leftover bytes and no unit
inline constexpr int kIndexEntrySize = 8;
inline constexpr int kIndexUnitMinFrames = 4096;  // a unit is the fewest whole blocks of at least this many frames

}  // namespace qola::format
