#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "dsp/Analysis.h"
#include "dsp/Dct.h"
#include "dsp/Segmentation.h"
#include "dsp/StereoDecision.h"

namespace {

constexpr int kLength = 4096;

// A few decaying partials struck at different times, plus a little noise.
std::vector<std::int16_t> musicLikeBlock(std::uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 30.0);
  std::vector<std::int16_t> samples(kLength);
  const double partials[][3] = {{0.031, 9000.0, 0.0}, {0.067, 5000.0, 700.0}, {0.113, 3000.0, 1900.0},
                                {0.29, 1500.0, 2600.0}};
  for (int i = 0; i < kLength; ++i) {
    double v = noise(random);
    for (const auto& p : partials) {
      if (i >= p[2]) v += p[1] * std::exp(-(i - p[2]) / 1500.0) * std::sin(p[0] * (i - p[2]));
    }
    samples[i] = static_cast<std::int16_t>(std::lround(v));
  }
  return samples;
}

// Reported as time per sample: the "ns" column reads as nanoseconds per sample.
void perSample(benchmark::State& state) {
  state.counters["per_sample"] =
      benchmark::Counter(kLength, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_FDCT(benchmark::State& state) {
  const auto samples = musicLikeBlock(1);
  std::vector<double> x(kLength);
  for (auto _ : state) {
    for (int i = 0; i < kLength; ++i) x[i] = samples[i];
    qola::forwardDct(x.data(), 12);
    benchmark::DoNotOptimize(x.data());
  }
  perSample(state);
}

void BM_FIDCT(benchmark::State& state) {
  const auto samples = musicLikeBlock(2);
  std::vector<double> coefficients(kLength);
  for (int i = 0; i < kLength; ++i) coefficients[i] = samples[i];
  qola::forwardDct(coefficients.data(), 12);
  std::vector<double> x(kLength);
  for (auto _ : state) {
    x = coefficients;
    qola::inverseDct(x.data(), 12);
    benchmark::DoNotOptimize(x.data());
  }
  perSample(state);
}

void BM_analyseBlock(benchmark::State& state) {
  const auto samples = musicLikeBlock(3);
  std::vector<std::int32_t> coefficients(kLength);
  std::vector<std::int8_t> bands(kLength / 32);
  qola::SegmentType type;
  for (auto _ : state) {
    benchmark::DoNotOptimize(qola::analyseBlock(12, samples.data(), coefficients.data(), bands.data(), type));
  }
  perSample(state);
}

void BM_segmentBlockFull(benchmark::State& state) {
  const auto samples = musicLikeBlock(4);
  std::vector<std::int32_t> coefficients(kLength);
  std::vector<std::int8_t> bands(kLength / 32);
  qola::SegmentList list;
  for (auto _ : state) {
    benchmark::DoNotOptimize(qola::segmentBlock(kLength, qola::Adaptation::Full, samples.data(), list,
                                                coefficients.data(), bands.data()));
  }
  state.counters["segments"] = list.count;
  perSample(state);
}

void BM_stereoDecision(benchmark::State& state) {
  const auto left = musicLikeBlock(5);
  auto right = left;
  for (int i = 3; i < kLength; ++i) right[i] = static_cast<std::int16_t>((left[i - 3] + left[i]) / 2);
  std::vector<std::int16_t> difference(kLength);
  for (auto _ : state) {
    benchmark::DoNotOptimize(qola::stereoDecision(kLength, left.data(), right.data(), difference.data()));
  }
  perSample(state);
}

void BM_chooseBandParameter(benchmark::State& state) {
  const auto samples = musicLikeBlock(6);
  std::vector<std::int32_t> coefficients(kLength);
  std::vector<std::int8_t> bands(kLength / 32);
  qola::SegmentType type;
  qola::analyseBlock(12, samples.data(), coefficients.data(), bands.data(), type);
  for (auto _ : state) {
    std::int32_t cost = 0;
    for (int band = 0; band < kLength; band += 32) {
      int parameter = 0;
      cost += qola::chooseBandParameter(coefficients.data() + band, 32, parameter);
    }
    benchmark::DoNotOptimize(cost);
  }
  perSample(state);
}

// The rounding of a rebuilt block, one value per sample.
void BM_roundHalfAway(benchmark::State& state) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> uniform(-40000.0, 40000.0);
  std::vector<double> values(kLength);
  for (auto& v : values) v = uniform(random);
  std::vector<std::int32_t> rounded(kLength);
  for (auto _ : state) {
    for (int i = 0; i < kLength; ++i) rounded[i] = qola::roundHalfAway(values[i]);
    benchmark::DoNotOptimize(rounded.data());
  }
  perSample(state);
}

BENCHMARK(BM_FDCT);
BENCHMARK(BM_FIDCT);
BENCHMARK(BM_analyseBlock);
BENCHMARK(BM_segmentBlockFull);
BENCHMARK(BM_stereoDecision);
BENCHMARK(BM_chooseBandParameter);
BENCHMARK(BM_roundHalfAway);

}  // namespace
