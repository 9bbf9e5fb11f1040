// The header of a merged recording: the recording's own header, patched in place.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/support/memoryfile.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/report.h"

namespace {

constexpr std::string_view kLineEnds = "\r\n";
constexpr std::string_view kMicroVolt = "\xC2\xB5V";

/// The sampling interval in microseconds as printf's "%f" writes it, whatever the locale.
std::string IntervalText(double rate) {
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof buf, 1e6 / rate, std::chars_format::fixed, 6);
  return std::string(buf, result.ptr);
}

/// Start of the line that holds index (or the end of the content).
uint64_t LineStart(const std::string& s, uint64_t index) {
  const uint64_t nl = s.rfind('\n', index == 0 ? 0 : index - 1);
  if (index == 0 || nl == std::string::npos) return 0;
  return nl + 1;
}

/// End of the line that starts at start: the index of its first CR or LF, or the content's end.
uint64_t LineEnd(const std::string& s, uint64_t start) {
  const uint64_t end = s.find_first_of(kLineEnds, start);
  return end == std::string::npos ? s.size() : end;
}

struct Token {
  uint64_t offset;
  std::string text;
};

std::vector<Token> Tokens(std::string_view line) {
  std::vector<Token> tokens;
  uint64_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const uint64_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) tokens.push_back({start, std::string(line.substr(start, i - start))});
  }
  return tokens;
}

/// Inserts text at position and keeps the cursor on the same byte of the content.
void InsertKeepingCursor(MemoryFile& file, uint64_t position, const std::string& text) {
  file.Content().insert(position, text);
  if (file.Cursor() != MemoryFile::kNoPosition && file.Cursor() >= position) {
    file.SetCursor(file.Cursor() + text.size());
  }
}

/// Adds a row per added channel to the channel table of the comment block ("#  Name ..." and one
/// row per channel, as the recorder writes it), copying the layout and the filter columns of the
/// recording's last row. Readers that check every channel against that table need the rows; a
/// table that does not look as expected is left alone.
void AddChannelTableRows(MemoryFile& file, uint16_t nbChannels, const std::string& lastName,
                         const std::vector<std::string>& names) {
  std::string& s = file.Content();
  const uint64_t from = file.Cursor() == MemoryFile::kNoPosition ? 0 : LineStart(s, file.Cursor());
  const uint64_t channels = s.find("Channels", from);
  if (channels == std::string::npos) return;
  // The table's title row: the first line after "Channels" that starts with '#' and names "Name".
  uint64_t line = LineStart(s, channels);
  uint64_t title = std::string::npos;
  for (int guard = 0; guard < 8 && line < s.size(); ++guard) {
    const std::string_view text(s.data() + line, LineEnd(s, line) - line);
    if (!text.empty() && text[0] == '#' && text.find("Name") != std::string_view::npos) {
      title = line;
      break;
    }
    line = file.NextLineStart(line, kLineEnds);
  }
  if (title == std::string::npos) return;
  const bool unitColumn =
      std::string_view(s.data() + title, LineEnd(s, title) - title).find("Resolution / Unit") !=
      std::string_view::npos;
  uint64_t last = title;
  for (uint32_t k = 0; k < nbChannels; ++k) last = file.NextLineStart(last, kLineEnds);
  if (last >= s.size()) return;
  const std::string_view lastRow(s.data() + last, LineEnd(s, last) - last);
  const std::vector<Token> tokens = Tokens(lastRow);
  const uint64_t nameTokens = Tokens(lastName).size() ? Tokens(lastName).size() : 1;
  // number, name, physical channel, resolution [, unit], then the filter columns
  const uint64_t fixed = 1 + nameTokens + 1 + 1 + (unitColumn ? 1 : 0);
  if (tokens.size() < fixed || tokens[0].text != std::to_string(nbChannels)) return;
  const std::string_view eol = s.compare(LineEnd(s, last), 2, "\r\n") == 0 ? "\r\n" : "\n";

  std::string rows;
  for (uint64_t k = 0; k < names.size(); ++k) {
    const std::string number = std::to_string(nbChannels + k + 1);
    std::vector<std::string> fields = {number, names[k], number, "1.0"};
    if (unitColumn) fields.emplace_back(kMicroVolt);
    for (uint64_t t = fixed; t < tokens.size(); ++t) fields.push_back(tokens[t].text);
    // Column starts of the recording's own row; the name's extra words shift nothing.
    std::vector<uint64_t> starts = {tokens[0].offset, tokens[1].offset};
    for (uint64_t t = 1 + nameTokens; t < tokens.size(); ++t) starts.push_back(tokens[t].offset);
    std::string row;
    for (uint64_t f = 0; f < fields.size(); ++f) {
      const uint64_t start = f < starts.size() ? starts[f] : row.size() + 1;
      if (f > 0) row.push_back(' ');
      if (row.size() < start) row.append(start - row.size(), ' ');
      row += fields[f];
    }
    rows += row;
    rows += eol;
  }
  InsertKeepingCursor(file, file.NextLineStart(last + lastRow.size(), kLineEnds), rows);
}

/// Puts the coordinate lines of the added channels after the recording's last channel line of the
/// [Coordinates] section. Without that section no lines are added: anywhere else they would land
/// in free text.
void AddCoordinates(MemoryFile& file, uint16_t nbChannels, const std::string& text) {
  const std::string& s = file.Content();
  const uint64_t section = s.find("[Coordinates]");
  if (section == std::string::npos) return;
  uint64_t sectionEnd = s.find("\n[", section);
  if (sectionEnd == std::string::npos) sectionEnd = s.size();
  const std::string key = "Ch" + std::to_string(nbChannels) + "=";
  uint64_t line = file.NextLineStart(section, kLineEnds);
  while (line < sectionEnd) {
    if (s.compare(line, key.size(), key) == 0) {
      const uint64_t at = file.NextLineStart(line + key.size(), kLineEnds);
      // A last line without a line end must not run into the first added line.
      const bool ended = at == 0 || s[at - 1] == '\n' || s[at - 1] == '\r';
      InsertKeepingCursor(file, at, ended ? text : "\r\n" + text);
      return;
    }
    line = file.NextLineStart(line, kLineEnds);
  }
}

}  // namespace

bool BrainampVhdr::SaveVarnix(const std::string& dataFileName, const std::string& outputName,
                              const std::vector<std::string>& addedNames, double rate,
                              int32_t samples) {
  const std::string input = CompanionFile(dataFileName, "vhdr");
  const std::string output = outputName + ".vhdr";
  MemoryFile file;
  if (!file.Read(input)) {
    return Error("BrainampVhdr::SaveVarnix::MemoryFile::Read", "", "brainampvhdr", 194);
  }
  const uint16_t n = nbChannels;
  const std::string nText = std::to_string(n);
  const std::string total = std::to_string(n + addedNames.size());
  const std::string base = BaseName(output);
  const std::string interval = IntervalText(rate);

  // Whole keys at the start of their lines, in whatever order the header lists them: a search
  // from a cursor took "SegmentDataPoints=" for "DataPoints=" and then passed SamplingInterval by,
  // leaving the input's rate in the merged header.
  file.ReplaceLineValue(base + ".eeg", "DataFile=", kLineEnds);
  file.ReplaceLineValue(base + ".vmrk", "MarkerFile=", kLineEnds);
  file.ReplaceLineValue(total, "NumberOfChannels=", kLineEnds);
  if (!file.ReplaceLineValue(std::to_string(samples), "DataPoints=", kLineEnds)) {
    file.InsertLineAfterKey(std::to_string(samples), "DataPoints=", "NumberOfChannels=");
  }
  file.ReplaceLineValue(interval, "SamplingInterval=", kLineEnds);

  std::string channelLines;
  for (uint64_t k = 0; k < addedNames.size(); ++k) {
    channelLines += "Ch" + std::to_string(n + k + 1) + "=" + addedNames[k] + ",,1.0,";
    channelLines += kMicroVolt;
    channelLines += "\r\n";
  }
  const std::string lastKey = "Ch" + nText + "=";
  if (file.Cursor() != MemoryFile::kNoPosition) {
    const uint64_t at = file.Content().find(lastKey, file.Cursor());
    if (at != std::string::npos) {
      const uint64_t position = file.NextLineStart(at + lastKey.size(), kLineEnds);
      file.Content().insert(position, channelLines);
      file.SetCursor(position);
    }
  }

  file.ReplaceValue(" " + total, "Number of channels:", kLineEnds);
  file.ReplaceValue(" " + std::to_string(static_cast<int64_t>(rate)), "Sampling Rate [Hz]:",
                    kLineEnds);
  file.ReplaceValue(" " + interval, "S]:", kLineEnds);

  const std::string lastName = n > 0 && n <= channelNames.size() ? channelNames[n - 1] : "";
  AddChannelTableRows(file, n, lastName, addedNames);

  std::string coordinates;
  for (uint64_t k = 0; k < addedNames.size(); ++k) {
    coordinates += "Ch" + std::to_string(n + k + 1) + "=0,0,0\r\n";
  }
  AddCoordinates(file, n, coordinates);

  std::string impedances;
  for (const std::string& name : addedNames) impedances += name + ":      Out of Range!\r\n";
  file.InsertAfterLine(impedances, "Impedance [kOhm]", kLineEnds);

  // Head-referenced eye-tracker samples are angles, not screen pixels: the comment at the end
  // (the [Comment] section of every recorder header) says so beside the channel names.
  if (std::any_of(addedNames.begin(), addedNames.end(), [](const std::string& name) { return name.starts_with("href"); })) {
    std::string& content = file.Content();
    if (!content.empty() && content.back() != '\n') content += "\r\n";
    content += "\r\nEye tracker: the href channels hold head-referenced (HREF) samples, not gaze on the screen.\r\n";
  }
  return file.Write(output);
}
