// The libFuzzer entry point, built once per target with TOLMERA_FUZZ_HARNESS naming its harness.
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzharness::TOLMERA_FUZZ_HARNESS(data, size);
}
