// Throughput of the decoder's last step on a transform segment: rounding the
// rebuilt values and subtracting the residual (items/s: samples).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "codec/Residual.h"

namespace qola {
namespace {

constexpr int kLength = 4096;

void BM_subtractFromRounded(benchmark::State& state) {
  std::mt19937 random(4);
  std::normal_distribution<double> normal(0.0, 3000.0);
  std::vector<double> values(kLength);
  for (double& value : values) value = normal(random);
  std::vector<std::int16_t> residual(kLength);
  for (std::int16_t& e : residual) e = static_cast<std::int16_t>(static_cast<int>(random() % 63) - 31);
  std::vector<std::int16_t> samples(kLength);
  for (auto _ : state) {
    subtractFromRounded(values.data(), residual.data(), kLength, samples.data());
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLength);
}

BENCHMARK(BM_subtractFromRounded);

}  // namespace
}  // namespace qola
