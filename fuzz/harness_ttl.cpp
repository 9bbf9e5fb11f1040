// The reference TTL file: pairs of a time in microseconds and a trigger value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzzinput.h"
#include "fuzz/harness.h"
#include "varnixlib/asc/ttlfile.h"

namespace fuzzharness {

int Ttl(const uint8_t* data, size_t size) {
  // The reader finds the file from the ASC name: <directory>/<base name>.ttl.
  fuzzinput::WriteScratch(data, size, ".ttl");
  TtlFile::Read(fuzzinput::ScratchName(".asc"));
  return 0;
}

}  // namespace fuzzharness
