#pragma once
// Lets only a budget of bytes more reach the disk through the platform layer while it lives, as a
// disk that fills up; writers' failure paths are tested with it without filling a real disk.

#include <cstdint>

#include "varnixlib/support/platform.h"

class FullDiskAfter {
 public:
  explicit FullDiskAfter(int64_t budget) { Varnix::Platform::SetWriteBudgetForTesting(budget); }
  ~FullDiskAfter() { Varnix::Platform::SetWriteBudgetForTesting(-1); }
  FullDiskAfter(const FullDiskAfter&) = delete;
  FullDiskAfter& operator=(const FullDiskAfter&) = delete;
};
