// Joint-stereo decision: the shift of the left channel that best predicts the right.
#pragma once

#include <cstdint>

namespace qola {

// Returns the lag -20..20 whose mirrored, shifted left channel leaves the
// least squared error on the right channel, when that error is below half the
// right channel's energy; D[i] = R[i] - L~[i + lag] (modulo 65536) then.
// Otherwise returns format::kNoJointStereo and leaves difference untouched.
// L~ mirrors L at both ends (L~[-1] = L[0], L~[N] = L[N-1]); N >= 128.
int stereoDecision(int N, const std::int16_t* left, const std::int16_t* right,
                   std::int16_t* difference);

// How well the best lag must predict the right channel before its difference
// signal is offered: HalfEnergy, with an error below half the right channel's
// energy (the reference rule); DoubleEnergy, below twice that energy, leaving
// the choice to the segment estimates (the difference of a lag that misses
// the loud low notes often still removes the many quiet high ones); Always,
// whenever the right channel is not silent.
enum class JointTrial { HalfEnergy, DoubleEnergy, Always };
int stereoDecision(int N, const std::int16_t* left, const std::int16_t* right, std::int16_t* difference,
                   JointTrial trial);

// The lags the Best encoder weighs by their coded difference: the local
// minima of the lag error curve that pass the trial, the least error first;
// writes up to count of them to lags and returns how many.
int lagCandidates(int N, const std::int16_t* left, const std::int16_t* right, JointTrial trial, int count,
                  int* lags);

// D[i] = R[i] - L~[i + lag] (modulo 65536), as stereoDecision forms it.
void laggedDifference(int N, const std::int16_t* left, const std::int16_t* right, int lag,
                      std::int16_t* difference);

}  // namespace qola
