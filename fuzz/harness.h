#pragma once
// One function per reader of outside input: feeds it the bytes of one fuzz input. The fuzz
// targets call them for every input the fuzzer makes; the regression tests call them on the
// inputs that once found a fault (fuzz/regressions/<target>/).

#include <cstddef>
#include <cstdint>

namespace fuzzharness {

/// The header ini reader and BrainampVhdr::Process.
int Vhdr(const uint8_t* data, size_t size);
/// BrainampVmrk::Process and ProcessDataSegments; the first 13 bytes choose the header and the
/// data file size.
int Vmrk(const uint8_t* data, size_t size);

}  // namespace fuzzharness
