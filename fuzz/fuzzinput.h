#pragma once
// The readers of the program take file names; a fuzz input is written to one scratch file per
// process and handed to them by name.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzinput {

/// Writes the bytes to this process's scratch file with the given extension and returns its name.
std::string WriteScratch(const uint8_t* data, size_t size, const std::string& extension);

/// Consumes a little-endian unsigned number of `bytes` bytes from the front of the input (fewer
/// when the input is shorter), for parameters the fuzzer chooses along with the file content.
uint64_t TakeNumber(const uint8_t*& data, size_t& size, size_t bytes);

}  // namespace fuzzinput
