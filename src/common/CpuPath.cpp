#include "common/CpuPath.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace qola {
namespace {

constexpr int kUnchosen = -1;
std::atomic<int> chosenPath{kUnchosen};

}  // namespace

bool cpuHasAvx2() {
#if QOLA_AVX2_KERNELS
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

CpuPath cpuPath() {
  int path = chosenPath.load(std::memory_order_relaxed);
  if (path == kUnchosen) {
    const char* setting = std::getenv("QOLA_CPU");
    const bool baseline = setting != nullptr && std::strcmp(setting, "baseline") == 0;
    path = static_cast<int>(!baseline && cpuHasAvx2() ? CpuPath::Avx2 : CpuPath::Baseline);
    chosenPath.store(path, std::memory_order_relaxed);
  }
  return static_cast<CpuPath>(path);
}

void selectCpuPath(CpuPath path) {
  if (path == CpuPath::Avx2 && !cpuHasAvx2()) path = CpuPath::Baseline;
  chosenPath.store(static_cast<int>(path), std::memory_order_relaxed);
}

}  // namespace qola
