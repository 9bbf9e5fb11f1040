#include "fuzz/fuzzinput.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "varnixlib/support/platform.h"

namespace fuzzinput {

namespace {

std::string Prefix() { return "tolmera-fuzz-" + std::to_string(Varnix::Platform::ProcessId()); }

/// Removes this process's scratch files and whatever the readers wrote beside them (their logs,
/// caches and TTL files), so that hours of fuzzing leave nothing in /tmp. A crash keeps them, for
/// looking into.
void RemoveScratchFiles() {
  const std::string prefix = Prefix();
  for (const std::string& name : Varnix::Platform::DirectoryEntries("/tmp")) {
    // "tolmera-fuzz-12" must not take the files of process 123.
    if (name.rfind(prefix, 0) == 0 && (name.size() == prefix.size() || !std::isdigit(static_cast<unsigned char>(name[prefix.size()])))) {
      Varnix::Platform::RemoveFile("/tmp/" + name);
    }
  }
}

}  // namespace

std::string ScratchName(const std::string& suffix) {
  static const bool cleanupRegistered = std::atexit(RemoveScratchFiles) == 0;
  (void)cleanupRegistered;
  return "/tmp/" + Prefix() + suffix;
}

void WriteFileText(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();  // the fuzzer cannot work without its scratch file
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
  std::fclose(file);
}

std::string WriteScratchText(const std::string& bytes, const std::string& suffix) {
  const std::string name = ScratchName(suffix);
  WriteFileText(name, bytes);
  return name;
}

std::string WriteScratch(const uint8_t* data, size_t size, const std::string& suffix) {
  return WriteScratchText(std::string(reinterpret_cast<const char*>(data), size), suffix);
}

std::string ReadScratchText(const std::string& suffix) {
  std::ifstream in(ScratchName(suffix), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint64_t TakeNumber(const uint8_t*& data, size_t& size, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes && size > 0; ++i, ++data, --size) value |= uint64_t{*data} << (8 * i);
  return value;
}

}  // namespace fuzzinput
