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
/// AscRawData::Process on one file, from the header scan to OrganizeData; the first byte chooses
/// the options that change the parse.
int Asc(const uint8_t* data, size_t size);
/// AscRawData::LoadTriggerNames.
int Trig(const uint8_t* data, size_t size);
/// TtlFile::Read.
int Ttl(const uint8_t* data, size_t size);
/// AscCache::Load on a payload wrapped in the key of a small fixed recording.
int Dbg(const uint8_t* data, size_t size);

}  // namespace fuzzharness
