#include "varnixlib/support/inireader.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <locale>
#include <sstream>

#include "varnixlib/support/file.h"

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsSectionLine(std::string_view line) {
  return line.find('[') != std::string_view::npos && line.find(']') != std::string_view::npos;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Section names are compared without regard to ASCII case: some converters write
// "[Common infos]" for "[Common Infos]", and a header whose sections go unrecognised would lose
// every key of them.
bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  if (part.empty()) return true;
  if (part.size() > text.size()) return false;
  const auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
                              [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
  return it != text.end();
}

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kWhiteSpace);
  return text.substr(first, last - first + 1);
}

// The last non-empty piece of the line split at runs of '='.
std::string_view LastPiece(std::string_view line) {
  size_t end = line.size();
  while (end > 0) {
    while (end > 0 && line[end - 1] == '=') --end;
    if (end == 0) break;
    const size_t begin = line.rfind('=', end - 1);
    const size_t from = begin == std::string_view::npos ? 0 : begin + 1;
    if (end > from) return line.substr(from, end - from);
    end = from;
  }
  return {};
}

}  // namespace

bool IniReader::Load(const std::string& path) {
  myLines.clear();
  myEmpty = true;
  std::string content;
  if (!Varnix::File::ReadInString(content, path)) return false;
  SetContent(content);
  return true;
}

void IniReader::SetContent(std::string_view content) {
  myLines.clear();
  myEmpty = content.empty();
  // A byte-order mark belongs to no line.
  if (content.substr(0, kUtf8Bom.size()) == kUtf8Bom) content.remove_prefix(kUtf8Bom.size());
  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string_view::npos) end = content.size();
    if (end > begin) myLines.emplace_back(content.substr(begin, end - begin));
    begin = end + 1;
  }
}

size_t IniReader::FindSection(std::string_view section) const {
  size_t i = 0;
  while (i < myLines.size() && !(IsSectionLine(myLines[i]) && ContainsIgnoringCase(myLines[i], section))) ++i;
  return i;
}

std::string IniReader::Value(std::string_view section, std::string_view key,
                             std::string_view defaultText) const {
  if (myEmpty) return {};
  size_t i = FindSection(section);
  if (i == myLines.size()) return std::string(defaultText);
  for (++i; i < myLines.size(); ++i) {
    const std::string_view line = myLines[i];
    if (IsSectionLine(line)) break;
    if (line.find('=') == std::string_view::npos) continue;
    if (line.find(key) == std::string_view::npos) continue;
    return std::string(Trim(LastPiece(line)));
  }
  return std::string(defaultText);
}

std::vector<std::string> IniReader::NumberedValues(std::string_view section, std::string_view prefix,
                                                   uint32_t count, std::string_view defaultText) const {
  if (myEmpty) return std::vector<std::string>(count);
  std::vector<std::string> values(count, std::string(defaultText));
  std::vector<bool> found(count, false);
  size_t i = FindSection(section);
  if (i == myLines.size() || prefix.empty()) return values;
  for (++i; i < myLines.size(); ++i) {
    const std::string_view line = myLines[i];
    if (IsSectionLine(line)) break;
    if (line.find('=') == std::string_view::npos) continue;
    // The line contains the key prefix + n exactly when some occurrence of prefix is followed by
    // the digits of n; every leading run of those digits names one such key.
    for (size_t at = line.find(prefix); at != std::string_view::npos; at = line.find(prefix, at + 1)) {
      size_t d = at + prefix.size();
      if (d >= line.size() || line[d] < '1' || line[d] > '9') continue;
      uint64_t n = 0;
      for (; d < line.size() && line[d] >= '0' && line[d] <= '9'; ++d) {
        n = n * 10 + static_cast<uint64_t>(line[d] - '0');
        if (n > count) break;
        if (!found[n - 1]) {
          found[n - 1] = true;
          values[n - 1] = std::string(Trim(LastPiece(line)));
        }
      }
    }
  }
  return values;
}

std::string ReadIniValue(std::string_view section, std::string_view key, std::string_view defaultText,
                         const std::string& fileName) {
  IniReader reader;
  reader.Load(fileName);
  return reader.Value(section, key, defaultText);
}

int32_t ReadIniInt(std::string_view section, std::string_view key, const std::string& fileName) {
  return IniTextToInt(ReadIniValue(section, key, "0", fileName));
}

double ReadIniDouble(std::string_view section, std::string_view key, double defaultValue,
                     const std::string& fileName) {
  return IniTextToDouble(ReadIniValue(section, key, IniDoubleToText(defaultValue), fileName));
}

int32_t IniTextToInt(std::string_view text) {
  const size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return 0;
  text.remove_prefix(first);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text[0] < '0' || text[0] > '9') return 0;
  uint64_t magnitude = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  (void)ptr;
  constexpr uint64_t kMaxPositive = std::numeric_limits<int32_t>::max();
  if (ec == std::errc::result_out_of_range || magnitude > kMaxPositive + (negative ? 1 : 0)) {
    return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
  }
  return negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
}

double IniTextToDouble(std::string_view text) {
  const size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return 0.0;
  text.remove_prefix(first);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // from_chars would also accept "inf" and "nan"; a header value must begin with a digit or '.'.
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return 0.0;
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::invalid_argument) return 0.0;
  if (ec == std::errc::result_out_of_range) {
    // Too large overflows to infinity, too small underflows to zero, as a text stream reads them.
    const std::string_view number(text.data(), static_cast<size_t>(ptr - text.data()));
    const size_t e = number.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
    value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return negative ? -value : value;
}

std::string IniDoubleToText(double value) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << value;
  return out.str();
}

std::vector<std::string_view> IniCommaFields(std::string_view value) {
  std::vector<std::string_view> fields;
  size_t begin = 0;
  while (true) {
    const size_t comma = value.find(',', begin);
    if (comma == std::string_view::npos) {
      fields.push_back(value.substr(begin));
      return fields;
    }
    fields.push_back(value.substr(begin, comma - begin));
    begin = comma + 1;
  }
}

std::string_view IniTrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}
