// The BrainVision marker file, then the segment bookkeeping against a data file of a size and a
// header the fuzzer chooses (the first 13 bytes of the input).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzzinput.h"
#include "fuzz/harness.h"
#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/brainvision/brainampvmrk.h"

namespace fuzzharness {

int Vmrk(const uint8_t* data, size_t size) {
  BrainampVhdr header;
  header.nbChannels = static_cast<uint16_t>(fuzzinput::TakeNumber(data, size, 2));
  const uint64_t interval = fuzzinput::TakeNumber(data, size, 2);
  header.samplingInterval = interval == 0xFFFF ? -1.0 : static_cast<double>(interval) / 4.0;
  header.segmentationType =
      fuzzinput::TakeNumber(data, size, 1) % 2 ? BrainampVhdr::MARKERBASED : BrainampVhdr::NOSEGMENTED;
  const uint64_t valueCount = fuzzinput::TakeNumber(data, size, 8) >> 20;  // up to 2^44 values

  const std::string path = fuzzinput::WriteScratch(data, size, ".vmrk");
  BrainampVmrk markers;
  markers.Process(path);
  markers.ProcessDataSegments(header, valueCount);
  return 0;
}

}  // namespace fuzzharness
