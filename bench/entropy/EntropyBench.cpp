// Throughput of residual coding and band coding, in samples per second
// (items/s): residual values for the arithmetic coder, coefficients for bands.
#include <benchmark/benchmark.h>

#include "codec/Jobs.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "common/FormatConstants.h"
#include "entropy/BlockCoding.h"

namespace qola {
namespace {

constexpr int kExponent = 12;
constexpr int kLength = 1 << kExponent;

// Rounded normal values clipped to the codable range: typical residuals.
std::vector<std::int16_t> residualValues(double sigma, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> normal(0.0, sigma);
  std::vector<std::int16_t> values(kLength);
  for (auto& e : values) e = static_cast<std::int16_t>(std::clamp(std::lround(normal(random)), -31L, 31L));
  return values;
}

struct ResidualSegment {
  std::vector<std::int16_t> residual;
  std::vector<std::int8_t> parameters = std::vector<std::int8_t>(kLength / format::kBandSize, -3);
  std::vector<std::int32_t> coefficients = std::vector<std::int32_t>(kLength, 0);
  explicit ResidualSegment(double sigma) : residual(residualValues(sigma, 5)) {}
  std::vector<std::uint8_t> encode() {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kLength * 2);
    OutputStream output(bytes);
    BitWriter writer;
    encodeTransformSegment({kExponent, residual.data(), coefficients.data(), parameters.data()}, writer, output);
    return bytes;
  }
};

// sigma 1.5 takes the fixed peaked model, 0.4 (sparse) and 6 the adaptive one.
void residualEncode(benchmark::State& state) {
  ResidualSegment segment(static_cast<double>(state.range(0)) / 10.0);
  std::size_t size = 0;
  for (auto _ : state) {
    const auto bytes = segment.encode();
    size = bytes.size();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLength);
  state.counters["bits/sample"] = static_cast<double>(size) * 8.0 / kLength;
}

void residualDecode(benchmark::State& state) {
  ResidualSegment segment(static_cast<double>(state.range(0)) / 10.0);
  const auto bytes = segment.encode();
  std::vector<std::int16_t> residual(kLength);
  std::vector<std::int32_t> coefficients(kLength);
  std::vector<std::int8_t> parameters(kLength / format::kBandSize);
  for (auto _ : state) {
    InputStream input(bytes);
    BitReader reader;
    decodeTransformSegment({kExponent, residual.data(), coefficients.data(), parameters.data()}, reader, input);
    benchmark::DoNotOptimize(residual.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLength);
}

// Coefficients whose magnitudes suit the parameter, as the band analysis picks it.
std::vector<std::int32_t> bandValues(int parameter) {
  std::mt19937 random(9);
  std::vector<std::int32_t> values(kLength);
  const double scale = parameter <= 0 ? 0.6 : std::ldexp(1.0, parameter - 1);
  std::normal_distribution<double> normal(0.0, scale);
  for (auto& c : values) {
    c = static_cast<std::int32_t>(std::lround(normal(random)));
    if (parameter < 0) c = std::clamp(c, -1, 1);
  }
  return values;
}

void bandEncode(benchmark::State& state) {
  const int parameter = static_cast<int>(state.range(0));
  const auto values = bandValues(parameter);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(kLength * 8);
  for (auto _ : state) {
    bytes.clear();
    OutputStream output(bytes);
    BitWriter writer;
    for (int band = 0; band < kLength; band += format::kBandSize) {
      encodeBand(values.data() + band, format::kBandSize, parameter, writer, output);
    }
    flushBits(writer, output);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLength);
  state.counters["bits/sample"] = static_cast<double>(bytes.size()) * 8.0 / kLength;
}

void bandDecode(benchmark::State& state) {
  const int parameter = static_cast<int>(state.range(0));
  const auto values = bandValues(parameter);
  std::vector<std::uint8_t> bytes;
  {
    OutputStream output(bytes);
    BitWriter writer;
    for (int band = 0; band < kLength; band += format::kBandSize) {
      encodeBand(values.data() + band, format::kBandSize, parameter, writer, output);
    }
    flushBits(writer, output);
  }
  std::vector<std::int32_t> decoded(kLength);
  for (auto _ : state) {
    InputStream input(bytes);
    BitReader reader;
    for (int band = 0; band < kLength; band += format::kBandSize) {
      decodeBand(parameter, format::kBandSize, reader, input, decoded.data() + band);
    }
    benchmark::DoNotOptimize(decoded.data());
  }
  if (decoded != values) state.SkipWithError("band round trip differs");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLength);
}

BENCHMARK(residualEncode)->Arg(4)->Arg(15)->Arg(60);
BENCHMARK(residualDecode)->Arg(4)->Arg(15)->Arg(60);
BENCHMARK(bandEncode)->Arg(-2)->Arg(-1)->Arg(0)->Arg(3)->Arg(10);
BENCHMARK(bandDecode)->Arg(-2)->Arg(-1)->Arg(0)->Arg(3)->Arg(10);

}  // namespace
}  // namespace qola
