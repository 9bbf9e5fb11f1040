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

namespace {

bool IsDate(std::string_view text) {
  if (text.size() != 20) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

bool BrainampVmrk::SaveVarnix(const std::string& dataFileName, const std::string& outputName,
                              const std::vector<CMarker>& list, bool singleSampleMarkers) {
  std::vector<MergedMarker> lines;
  lines.reserve(list.size());
  char description[16];
  for (const CMarker& m : list) {
    MergedMarker line;
    line.type = "Stimulus";
    std::snprintf(description, sizeof description, "S%3u", static_cast<unsigned>(m.code));
    line.description = description;
    line.position = m.position;
    // size counts the samples after the first (an event's end minus its start): the length
    // BrainVision wants is one more.
    line.length = !singleSampleMarkers && m.code >= 256 ? uint64_t{m.size} + 1 : 1;
    lines.push_back(std::move(line));
  }
  return SaveVarnix(dataFileName, outputName, lines, std::string());
}

bool BrainampVmrk::SaveVarnix(const std::string& dataFileName, const std::string& outputName,
                              const std::vector<MergedMarker>& list, const std::string& firstDate) {
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
      // The merged recording begins at its first frame, not at the EEG's first sample: the
      // segment's date (its last field) says when that frame was recorded.
      uint64_t end = s.size();
      while (end > mk1 && (s[end - 1] == '\n' || s[end - 1] == '\r')) --end;
      const uint64_t comma = s.rfind(',', end);
      const std::string_view line(s.data() + mk1 + 4, end - mk1 - 4);
      if (IsDate(firstDate) && line.starts_with("New Segment,") && comma != std::string::npos && comma > mk1 &&
          IsDate(std::string_view(s).substr(comma + 1, end - comma - 1))) {
        s.replace(comma + 1, end - comma - 1, firstDate);
      }
    }
  }

  s.reserve(s.size() + list.size() * 40);
  for (uint64_t i = 0; i < list.size(); ++i) {
    const MergedMarker& m = list[i];
    s += "Mk" + std::to_string(i + 2) + "=" + m.type + "," + m.description + "," + std::to_string(m.position + 1) +
         "," + std::to_string(m.length) + "," + m.channel + m.rest + "\r\n";
  }
  return file.Write(output);
}
