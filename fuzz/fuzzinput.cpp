#include "fuzz/fuzzinput.h"

#include <cstdio>
#include <cstdlib>

#include "varnixlib/platform.h"

namespace fuzzinput {

std::string WriteScratch(const uint8_t* data, size_t size, const std::string& extension) {
  const std::string name = "/tmp/tolmera-fuzz-" + std::to_string(Varnix::Platform::ProcessId()) + extension;
  FILE* file = std::fopen(name.c_str(), "wb");
  if (!file) std::abort();  // the fuzzer cannot work without its scratch file
  if (size && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  return name;
}

uint64_t TakeNumber(const uint8_t*& data, size_t& size, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes && size > 0; ++i, ++data, --size) value |= uint64_t{*data} << (8 * i);
  return value;
}

}  // namespace fuzzinput
