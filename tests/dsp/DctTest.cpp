// The transforms at every length, pinned bit for bit by golden hashes (the
// codec's golden files pin them in use). Every entry of the trig tables the
// transforms use reaches these hashes, so they pin the tables too.
#include "dsp/Dct.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <random>

#include "TestSupport.h"
#include "common/CpuPath.h"
#include "dsp/Analysis.h"

namespace qola {
namespace {

using Vector = std::vector<double>;

Vector randomSamples(int n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  Vector x(n);
  for (double& v : x) v = sample(random);
  return x;
}

// FNV-1a over the bytes of the bit patterns of forwardDct(16-bit samples) and of
// inverseDct(quantised coefficients) at every length 2 .. 4096.
std::pair<std::uint64_t, std::uint64_t> transformHashes() {
  std::uint64_t forward = 0xcbf29ce484222325u, inverse = forward;
  auto mix = [](std::uint64_t& hash, const Vector& values) {
    for (double v : values) {
      const auto bits = std::bit_cast<std::uint64_t>(v);
      for (int byte = 0; byte < 8; ++byte) hash = (hash ^ ((bits >> (8 * byte)) & 0xffu)) * 0x100000001b3u;
    }
  };
  std::mt19937 random(2024);
  std::uniform_int_distribution<int> coefficient(-600, 600);
  for (int logm = 1; logm <= kMaxDctLogm; ++logm) {
    Vector x = randomSamples(1 << logm, 300 + logm);
    forwardDct(x.data(), logm);
    mix(forward, x);
    for (double& v : x) v = coefficient(random) * quantiserStep(logm);
    inverseDct(x.data(), logm);
    mix(inverse, x);
  }
  return {forward, inverse};
}

const std::pair<std::uint64_t, std::uint64_t> kGoldenHashes = {0x73a14ac819990ba0u, 0x8aed24c81b019972u};

TEST(Dct, OutputBitsMatchTheGoldenHashes) {
  for (const CpuPath path : test::runnableCpuPaths()) {  // every kernel build gives the same bits
    selectCpuPath(path);
    EXPECT_EQ(transformHashes(), kGoldenHashes) << "path " << static_cast<int>(path);
  }
  selectCpuPath(CpuPath::Avx2);
}

}  // namespace
}  // namespace qola
