// The trigger-name file: code and name per line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzzinput.h"
#include "fuzz/harness.h"
#include "varnixlib/asc/ascrawdata.h"

namespace fuzzharness {

int Trig(const uint8_t* data, size_t size) {
  AscRawData asc;
  asc.OpenLog(fuzzinput::ScratchName("-trig-Log-AscRawData.txt"));
  asc.LoadTriggerNames(fuzzinput::WriteScratch(data, size, ".trig.txt"));
  return 0;
}

}  // namespace fuzzharness
