#include "varnixlib/asc/ttlfile.h"

#include <charconv>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <locale>
#include <random>
#include <sstream>

#include "varnixlib/support/atomictextwriter.h"
#include "varnixlib/support/file.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/rounding.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

/// Reads the next whitespace-delimited word of text from pos as an unsigned number of type T.
template <typename T>
bool NextNumber(const std::string& text, size_t& pos, T& value) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  size_t end = pos;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  if (end == pos) return false;
  const char* first = text.data() + pos;
  if (*first == '+') ++first;
  const auto result = std::from_chars(first, text.data() + end, value);
  pos = end;
  return result.ec == std::errc() && result.ptr == text.data() + end;
}

}  // namespace

std::string TtlFile::FileName(const std::string& ascFileName) {
  const PathParts parts = SplitPath(ascFileName);
  return MakePath(parts.directory, parts.base, "ttl");
}

std::vector<Trigger> TtlFile::Read(const std::string& ascFileName) {
  std::vector<Trigger> triggers;
  const std::string path = FileName(ascFileName);
  if (!Varnix::File::Exists(path)) return triggers;
  std::ifstream in(path, std::ios::binary);
  if (!in) return triggers;
  std::ostringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  size_t pos = 0;
  while (true) {
    uint64_t time = 0;
    uint32_t value = 0;
    if (!NextNumber(text, pos, time) || !NextNumber(text, pos, value)) break;
    const double ms = RoundHalfAway(static_cast<double>(time) / 1000.0);
    // A time past the 32-bit millisecond range has no position; converting it would be undefined.
    if (ms > static_cast<double>(UINT32_MAX)) break;
    triggers.emplace_back(static_cast<uint16_t>(value), static_cast<uint32_t>(ms), 0);
  }
  return triggers;
}

bool TtlFile::Write(const std::vector<std::unique_ptr<Trigger>>& triggers, const std::string& ascFileName) {
  if (triggers.empty()) return true;
  Varnix::AtomicTextWriter file(FileName(ascFileName), "TtlFile::Write");
  std::ostream& out = file.Stream();
  out.imbue(std::locale::classic());
  std::mt19937 random(static_cast<uint32_t>(
      std::chrono::system_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<int> jitter(0, 32767);
  // The tracker's own times, in milliseconds: the sample index would count samples, not time.
  const int64_t first = triggers.front()->timestamp;
  out << "0 " << triggers.front()->type << '\n';
  for (size_t k = 1; k < triggers.size(); ++k) {
    const int64_t r = jitter(random);
    int64_t time = (static_cast<int64_t>(triggers[k]->timestamp) - first) * 1000 -
                   static_cast<int64_t>(RoundHalfAway(r / 32767.0 * 2000.0));
    // The reader takes unsigned times only: a trigger on the first one's sample must not end the file.
    if (time < 0) time = 0;
    out << time << ' ' << triggers[k]->type << '\n';
  }
  return file.Commit();
}
