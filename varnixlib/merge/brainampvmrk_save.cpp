// The marker file of a merged recording: the recording's own header and first marker, then the
// merged markers.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "varnixlib/brainvision/brainampvmrk.h"
#include "varnixlib/support/memoryfile.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/report.h"

bool BrainampVmrk::SaveVarnix(const std::string& dataFileName, const std::string& outputName,
                              const std::vector<CMarker>& list, bool singleSampleMarkers) {
  constexpr std::string_view kLineEnds = "\r\n";
  const std::string input = CompanionFile(dataFileName, "vmrk");
  const std::string output = outputName + ".vmrk";
  MemoryFile file;
  if (!file.Read(input)) {
    return Error("BrainampVmrk::SaveVarnix::MemoryFile::Read", "", "brainampvmrk", 232);
  }
  file.ReplaceValue(BaseName(output) + ".eeg", "DataFile=", kLineEnds);

  std::string& s = file.Content();
  if (file.Cursor() != MemoryFile::kNoPosition) {
    const uint64_t mk1 = s.find("Mk1=", file.Cursor());
    if (mk1 != std::string::npos) {
      s.resize(file.NextLineStart(mk1 + 4, kLineEnds));
      // A Mk1 line that ends the file without a line break would run into Mk2.
      if (!s.empty() && s.back() != '\n' && s.back() != '\r') s += "\r\n";
    }
  }

  s.reserve(s.size() + list.size() * 32);
  char line[96];
  for (uint64_t i = 0; i < list.size(); ++i) {
    const CMarker& m = list[i];
    const bool ownSize = !singleSampleMarkers && m.code >= 256;
    const int length = std::snprintf(line, sizeof line, "Mk%llu=Stimulus,S%3u,%llu,%llu,0\r\n",
                                     static_cast<unsigned long long>(i + 2),
                                     static_cast<unsigned>(m.code),
                                     static_cast<unsigned long long>(m.position) + 1,
                                     static_cast<unsigned long long>(ownSize ? m.size : 1));
    s.append(line, static_cast<uint64_t>(length));
  }
  return file.Write(output);
}
