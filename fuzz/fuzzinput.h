#pragma once
// The readers of the program take file names; a fuzz input is written to a scratch file of this
// process (/tmp/tolmera-fuzz-<pid><suffix>) and handed to them by name.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzinput {

/// The name of this process's scratch file with the given suffix.
std::string ScratchName(const std::string& suffix);
/// Writes the bytes to the scratch file with the given suffix and returns its name.
std::string WriteScratch(const uint8_t* data, size_t size, const std::string& suffix);
std::string WriteScratchText(const std::string& bytes, const std::string& suffix);
/// The bytes of a scratch file, empty when it cannot be read.
std::string ReadScratchText(const std::string& suffix);
void WriteFileText(const std::string& path, const std::string& bytes);

/// Consumes a little-endian unsigned number of `bytes` bytes from the front of the input (fewer
/// when the input is shorter), for parameters the fuzzer chooses along with the file content.
uint64_t TakeNumber(const uint8_t*& data, size_t& size, size_t bytes);

}  // namespace fuzzinput
