// The lag carrier: keeps a block's second channel as a difference signal when
// that signal needs no transform segment of its own.
//
// A reader takes a block's lag from the lagged transform segment (kind 3 of
// the segment byte) of its second channel,
// and zero and constant segments leave that lag standing. A difference signal
// made only of zero and constant runs (identical channels, for one) can still
// be stored as such: one short run of it is coded as a lagged transform
// segment, and the rest stays zero or constant.
#pragma once

#include "common/CodecSettings.h"
#include "common/Stream.h"

#include <cstdint>

#include "dsp/Segmentation.h"

namespace qola {

// The shortest segment a block of N samples may hold under the level: the
// whole block without adaptation.
int minimumSegmentExponent(int N, Adaptation level);

// Replaces the shortest zero run of the list (else its shortest constant run)
// by a transform segment of 2^minimumExponent samples at the run's start,
// followed by runs of the same kind of 2^minimumExponent, 2^(minimumExponent+1),
// ... samples that fill the rest, each starting at a multiple of its length.
// The carrier's coefficients and band parameters (all zero, bands -3) land in
// coefficients and bandParameters at its position, so that the rebuild codes
// its samples through the residual alone. Returns the carrier's list index,
// or -1 when the list has a transform segment already (nothing to carry).
int placeLagCarrier(SegmentList& list, int minimumExponent, std::int32_t* coefficients,
                    std::int8_t* bandParameters);

// Sum of the sizes in bits of the zero and constant records of the list: what
// the list costs without its transform segments.
std::int32_t plainRecordBits(const SegmentList& list);

}  // namespace qola
