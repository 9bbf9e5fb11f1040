// The BrainVision header: the ini reader on the bytes, then the header record through the file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzzinput.h"
#include "fuzz/harness.h"
#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/mat/recordmat.h"
#include "varnixlib/support/inireader.h"

namespace fuzzharness {

int Vhdr(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  IniReader reader;
  reader.SetContent(bytes);
  reader.Value("Common Infos", "NumberOfChannels", "0");
  reader.NumberedValues("Channel Infos", "Ch", 64, "");
  IniTextToInt(bytes);
  IniTextToDouble(bytes);

  const std::string path = fuzzinput::WriteScratch(data, size, ".vhdr");
  BrainampVhdr probe;
  probe.ReadBinaryFormat(path);
  BrainampVhdr header;
  if (header.Process(path)) {
    // Whatever was accepted must be consistent with itself.
    if (header.channelNames.size() != header.nbChannels || header.channelGains.size() != header.nbChannels) {
      __builtin_trap();
    }
    AddMatParams(header, -32768.0, nullptr);
  }
  return 0;
}

}  // namespace fuzzharness
