#include "dsp/Dct.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "dsp/Analysis.h"

namespace qola {
namespace {

constexpr double kSqrt2 = std::numbers::sqrt2;

double dctCos(int n, int k, int length) {  // cos(pi (2n+1) k / 2N), exact argument reduction
  const long t = (static_cast<long>(2 * n + 1) * k) % (4 * length);
  return std::cos(std::numbers::pi * t / (2 * length));
}

std::vector<double> directFdct(const std::vector<double>& x) {
  const int n = static_cast<int>(x.size());
  std::vector<double> out(n, 0.0);
  for (int k = 0; k < n; ++k) {
    for (int i = 0; i < n; ++i) out[k] += x[i] * (k == 0 ? 1.0 : kSqrt2 * dctCos(i, k, n));
  }
  return out;
}

std::vector<double> directFidct(const std::vector<double>& X) {
  const int n = static_cast<int>(X.size());
  std::vector<double> out(n, 0.0);
  for (int i = 0; i < n; ++i) {
    double sum = X[0];
    for (int k = 1; k < n; ++k) sum += kSqrt2 * X[k] * dctCos(i, k, n);
    out[i] = sum / n;
  }
  return out;
}

double maxDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double worst = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

std::vector<double> randomSamples(int n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  std::vector<double> x(n);
  for (double& v : x) v = sample(random);
  return x;
}

TEST(Dct, MatchesTheDefiningSumsAndInvertsWithinFarLessThanHalf) {
  for (int logm = 0; logm <= kMaxDctLogm; ++logm) {
    const int n = 1 << logm;
    const std::vector<double> x = randomSamples(n, 100 + logm);
    std::vector<double> X = x;
    FDCT(X.data(), logm);
    std::vector<double> back = X;
    FIDCT(back.data(), logm);
    EXPECT_LT(maxDifference(back, x), 1e-9) << "logm " << logm;
    for (int i = 0; i < n; ++i) ASSERT_EQ(roundHalfAway(back[i]), x[i]);
    if (logm <= 10) {  // the direct sums are quadratic
      EXPECT_LT(maxDifference(X, directFdct(x)), 1e-10 * n * 32768) << "logm " << logm;
      EXPECT_LT(maxDifference(back, directFidct(X)), 1e-9) << "logm " << logm;
    }
  }
}

TEST(Dct, WorkedExamplesAndExactValues) {
  std::vector<double> x = {1.0, 2.0, 3.0, 4.0};
  FDCT(x.data(), 2);
  EXPECT_EQ(x[0], 10.0);
  EXPECT_EQ(x[2], 0.0);
  EXPECT_NEAR(x[1], -4.46088499477534, 1e-13);
  EXPECT_NEAR(x[3], -0.31702533556221, 1e-13);
  FIDCT(x.data(), 2);
  EXPECT_LT(maxDifference(x, {1.0, 2.0, 3.0, 4.0}), 1e-13);

  double pair[] = {5.0, 2.0};
  FDCT(pair, 1);
  EXPECT_EQ(pair[0], 7.0);
  EXPECT_EQ(pair[1], 3.0);
  FIDCT(pair, 1);
  EXPECT_EQ(pair[0], 5.0);
  EXPECT_EQ(pair[1], 2.0);
  double single[] = {-3.5};
  FDCT(single, 0);
  FIDCT(single, 0);
  FDCTIV2(single, 0, 2.0);
  EXPECT_EQ(single[0], -7.0);

  for (int logm = 1; logm <= kMaxDctLogm; ++logm) {
    const int n = 1 << logm;
    std::vector<double> impulse(n, 0.0), constant(n, -1234.0);
    impulse[0] = 1.0;
    FDCT(impulse.data(), logm);
    FDCT(constant.data(), logm);
    EXPECT_EQ(impulse[0], 1.0);
    EXPECT_EQ(constant[0], -1234.0 * n);
    for (int k = 1; k < n; ++k) {
      ASSERT_NEAR(impulse[k], kSqrt2 * std::cos(std::numbers::pi * k / (2 * n)), 1e-14);
      ASSERT_EQ(constant[k], 0.0) << "logm " << logm << " k " << k;
    }
  }
}

TEST(Dct, DctIvMatchesItsSumAndKeepsTheShortConstantsOfLengthTwo) {
  for (int logm = 1; logm <= 11; ++logm) {
    const int n = 1 << logm;
    const double scale = std::sqrt(static_cast<double>(n));  // as the block DCT passes it
    const std::vector<double> x = randomSamples(n, 200 + logm);
    std::vector<double> X = x;
    FDCTIV2(X.data(), logm, scale);
    for (int k = 0; k < n; ++k) {
      double sum = 0.0;
      for (int i = 0; i < n; ++i) {
        const long t = (static_cast<long>(2 * i + 1) * (2 * k + 1)) % (8 * n);
        sum += x[i] * std::cos(std::numbers::pi * t / (4 * n));
      }
      const double expected = scale * std::sqrt(2.0 / n) * sum;
      // logm 1 uses 14-digit cosines, good to about 1e-14 relative.
      ASSERT_NEAR(X[k], expected, (logm == 1 ? 1e-13 : 1e-11) * n * 32768) << logm << " " << k;
    }
  }
  double two[] = {1.0, 0.0};
  FDCTIV2(two, 1, std::sqrt(2.0));
  EXPECT_EQ(two[0], std::sqrt(2.0) * 0.92387953251129);
  EXPECT_NE(two[0], std::sqrt(2.0) * std::cos(std::numbers::pi / 8));
}

// The tables keep the scale of their first call; a child process keeps
// these odd scales away from the tables every other test uses.
void transformWithTwoScales() {
  std::vector<double> a = randomSamples(32, 1);
  std::vector<double> b = a;
  FDCTIV2(a.data(), 5, 3.0);
  FDCTIV2(b.data(), 5, 5.0);
  std::exit(a == b ? 0 : 2);
}

TEST(Dct, LaterCallsKeepTheFirstScale) {
  EXPECT_EXIT(transformWithTwoScales(), ::testing::ExitedWithCode(0), "");
}

std::uint64_t hashOf(const std::vector<double>& values) {
  std::uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a over the bytes of each bit pattern
  for (double v : values) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    for (int byte = 0; byte < 8; ++byte) {
      hash ^= (bits >> (8 * byte)) & 0xffu;
      hash *= 0x100000001b3u;
    }
  }
  return hash;
}

// Exact output bits at every length 2 .. 4096: forward transform of 16-bit
// samples, and inverse transform of quantised coefficients, as the codec uses them.
struct GoldenHashes {
  std::uint64_t forward;
  std::uint64_t inverse;
};

GoldenHashes transformHashes() {
  std::vector<double> forward, inverse;
  std::mt19937 random(2024);
  std::uniform_int_distribution<int> coefficient(-600, 600);
  for (int logm = 1; logm <= kMaxDctLogm; ++logm) {
    const int n = 1 << logm;
    std::vector<double> x = randomSamples(n, 300 + logm);
    FDCT(x.data(), logm);
    forward.insert(forward.end(), x.begin(), x.end());
    for (double& v : x) v = coefficient(random) * quantiserStep(logm);
    FIDCT(x.data(), logm);
    inverse.insert(inverse.end(), x.begin(), x.end());
  }
  return {hashOf(forward), hashOf(inverse)};
}

constexpr std::uint64_t kForwardHash = 0x73a14ac819990ba0u;
constexpr std::uint64_t kInverseHash = 0x8aed24c81b019972u;

TEST(Dct, OutputBitsMatchTheGoldenHashes) {
  const GoldenHashes hashes = transformHashes();
  EXPECT_EQ(hashes.forward, kForwardHash);
  EXPECT_EQ(hashes.inverse, kInverseHash);
}

// A fresh process (re-executed, so every table is empty) fills the tables
// from several threads at once; every thread must see the same bits.
void transformOnFourThreads() {
  std::vector<GoldenHashes> results(4);
  std::vector<std::thread> threads;
  for (auto& result : results) threads.emplace_back([&result] { result = transformHashes(); });
  for (auto& thread : threads) thread.join();
  bool same = true;
  for (const auto& result : results) {
    same = same && result.forward == kForwardHash && result.inverse == kInverseHash;
  }
  std::exit(same ? 0 : 2);
}

TEST(Dct, ConcurrentFirstUseGivesTheGoldenBits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(transformOnFourThreads(), ::testing::ExitedWithCode(0), "");
}

void printToStandardError(const std::string& message, int code, ErrorChannel) {
  std::fprintf(stderr, "%s\n", message.c_str());
  std::exit(code);
}

TEST(Dct, OutOfRangeLengthsAreFatal) {
  double x[2] = {};
  EXPECT_EQ(test::fatalMessageOf([&] { FDCT(x, 13); }), "Error: FDCT: logm = 13 is out of bounds [0, 12]");
  EXPECT_EQ(test::fatalMessageOf([&] { FIDCT(x, -1); }), "Error: FIDCT: logm = -1 is out of bounds [0, 12]");
  EXPECT_EQ(test::fatalMessageOf([&] { FDCTIV2(x, 13, 1.0); }),
            "Error: FDCTIV2: logm = 13 is out of bounds [0, 12]");
  EXPECT_EXIT((setFatalHandler(&printToStandardError), FIDCT(x, 13)), ::testing::ExitedWithCode(1),
              "^Error: FIDCT: logm = 13 is out of bounds \\[0, 12\\]\n$");
}

}  // namespace
}  // namespace qola
