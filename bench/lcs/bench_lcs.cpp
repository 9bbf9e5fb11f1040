// Time and peak heap of the trigger-code matching at recording sizes. Peak memory is counted by
// this program's own allocation functions, so the figure is the matching's and portable.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <random>
#include <vector>

#include "varnixlib/sync/lcs.h"

namespace {

std::atomic<size_t> gLive{0};
std::atomic<size_t> gPeak{0};

void Count(size_t bytes) {
  const size_t live = gLive += bytes;
  size_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
  }
}

}  // namespace

void* operator new(size_t bytes) {
  // The size is kept in front of the block so delete can subtract it.
  void* block = std::malloc(bytes + 16);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<size_t*>(block) = bytes;
  Count(bytes);
  return static_cast<char*>(block) + 16;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  void* block = static_cast<char*>(p) - 16;
  gLive -= *static_cast<size_t*>(block);
  std::free(block);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

int main(int argc, char** argv) {
  std::vector<size_t> sizes = {1000, 5000, 20000};
  if (argc > 1) sizes = {static_cast<size_t>(std::strtoull(argv[1], nullptr, 10))};
  std::mt19937 rng(7);
  std::printf("%8s %9s %11s %12s %12s\n", "n=m", "variant", "seconds", "peak MiB", "pairs");
  for (const size_t size : sizes) {
    // Eye-tracker-like lists: codes 1..60, the second list losing about 2% of the first.
    std::vector<uint16_t> a(size);
    for (auto& c : a) c = static_cast<uint16_t>(1 + rng() % 60);
    std::vector<uint16_t> b;
    for (const uint16_t c : a) {
      if (rng() % 50 != 0) b.push_back(c);
    }
    while (b.size() < size) b.push_back(static_cast<uint16_t>(1 + rng() % 60));
    for (const bool classical : {false, true}) {
      std::cout.setstate(std::ios::failbit);  // the "Running ..." line
      const size_t before = gLive.load();
      gPeak = before;
      const auto start = std::chrono::steady_clock::now();
      size_t pairs = 0;
      {
        Lcs lcs;
        classical ? lcs.ProcessClassical(a, b) : lcs.Process(a, b);
        pairs = lcs.pairs.size();
      }
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::cout.clear();
      std::printf("%8zu %9s %11.3f %12.1f %12zu\n", size, classical ? "classical" : "default",
                  seconds, static_cast<double>(gPeak.load() - before) / (1024.0 * 1024.0), pairs);
    }
  }
  return 0;
}
