// Which build of the hot double kernels runs: the SSE2 baseline, or an AVX2
// build where the processor has it. Each kernel's lanes only take
// independent values or exact integer sums, so both give the same bits; the
// choice changes speed only.
#pragma once

// A build without SIMD (QOLA_NO_SIMD, the QOLA_SIMD=OFF option) runs the
// portable C++ of every kernel: it must give the same bits as the lanes.
#if !defined(QOLA_NO_SIMD) && defined(__SSE2__)
#define QOLA_SSE2_KERNELS 1
#else
#define QOLA_SSE2_KERNELS 0
#endif

#if !defined(QOLA_NO_SIMD) && (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define QOLA_AVX2_KERNELS 1
// For the kernels' second build: AVX2 vectors, no FMA (fused rounding would change results).
#define QOLA_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define QOLA_AVX2_KERNELS 0
#endif

namespace qola {

enum class CpuPath { Baseline, Avx2 };

// The processor can run the AVX2 kernels.
bool cpuHasAvx2();

// The path in use. Chosen on first use: AVX2 where the processor has it,
// unless the environment variable QOLA_CPU is "baseline".
CpuPath cpuPath();

// Switches the path (tests compare both); AVX2 without the processor's
// support stays Baseline.
void selectCpuPath(CpuPath path);

}  // namespace qola
