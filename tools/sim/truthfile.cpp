#include "truthfile.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>

namespace simcheck {

namespace {

std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> out;
  size_t start = 0;
  while (true) {
    const size_t end = line.find(',', start);
    out.emplace_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return out;
}

bool ToDouble(std::string_view text, double& v) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool ToInt(std::string_view text, int64_t& v) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

/// One CSV row addressed by the section's header names; the columns the imperfection knobs add are
/// optional, the others required.
class Row {
 public:
  Row(const std::vector<std::string>& header, std::vector<std::string> fields, std::string& error)
      : myHeader(header), myFields(std::move(fields)), myError(error) {}
  bool Has(const std::string& name) const { return Find(name) >= 0; }
  std::string Text(const std::string& name) {
    const int i = Find(name);
    if (i < 0) Fail("no column " + name);
    return i < 0 ? std::string() : myFields[static_cast<size_t>(i)];
  }
  int64_t Int(const std::string& name) {
    int64_t v = 0;
    if (!ToInt(Text(name), v)) Fail("column " + name + " is not an integer");
    return v;
  }
  double Real(const std::string& name) {
    double v = 0;
    if (!ToDouble(Text(name), v)) Fail("column " + name + " is not a number");
    return v;
  }
  bool Flag(const std::string& name) { return Int(name) != 0; }

 private:
  int Find(const std::string& name) const {
    for (size_t i = 0; i < myHeader.size(); ++i)
      if (myHeader[i] == name) return static_cast<int>(i);
    return -1;
  }
  void Fail(const std::string& why) {
    if (myError.empty()) myError = why;
  }
  const std::vector<std::string>& myHeader;
  std::vector<std::string> myFields;
  std::string& myError;
};

}  // namespace

double Truth::Number(const std::map<std::string, std::string>& section, const std::string& key) const {
  const auto it = section.find(key);
  double v = 0;
  if (it == section.end() || !ToDouble(it->second, v)) return std::numeric_limits<double>::quiet_NaN();
  return v;
}

bool ReadTruth(const std::string& path, Truth& truth, std::string& error) {
  truth = Truth{};
  error.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::string section, line;
  std::vector<std::string> header;
  size_t lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[') {
      section = line;
      header.clear();
      continue;
    }
    if (section == "[recording]" || section == "[clock]") {
      const size_t eq = line.find('=');
      if (eq == std::string::npos) {
        error = "line " + std::to_string(lineNumber) + " is not key=value: " + line;
        return false;
      }
      const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (key == "block") truth.blocks.push_back(value);
      else (section == "[clock]" ? truth.clock : truth.recording)[key] = value;
    } else if (section == "[segments]" || section == "[triggers]" || section == "[message_noise]") {
      if (header.empty()) {
        header = Fields(line);
        continue;
      }
      std::vector<std::string> fields = Fields(line);
      if (fields.size() != header.size()) {
        error = "line " + std::to_string(lineNumber) + " has " + std::to_string(fields.size()) + " fields, its header " +
                std::to_string(header.size());
        return false;
      }
      Row r(header, std::move(fields), error);
      if (section == "[segments]") {
        TruthSegment s;
        s.index = static_cast<int>(r.Int("index"));
        s.kind = r.Text("kind");
        s.vmrkPosition = r.Int("vmrk_position");
        s.gapFilledPosition = r.Int("gapfilled_position");
        s.recorded = r.Int("recorded_samples");
        s.lostBefore = r.Int("lost_before");
        s.date = r.Text("date");
        s.trueDate = r.Has("true_date") ? r.Text("true_date") : s.date;
        if (r.Has("date_error_us")) s.dateErrorUs = r.Int("date_error_us");
        truth.segments.push_back(s);
      } else if (section == "[message_noise]") {
        TruthNoiseMessage n;
        n.arrivalMs = r.Real("arrival_ms");
        n.timestamp = r.Int("timestamp");
        n.offset = r.Int("offset");
        n.value = r.Text("value");
        truth.messageNoise.push_back(n);
      } else {
        TruthTrigger t;
        t.index = static_cast<int>(r.Int("index"));
        t.code = static_cast<int>(r.Int("code"));
        t.trueMs = r.Real("true_ms");
        t.etTimestamp = r.Int("et_timestamp");
        t.vmrkPosition = r.Int("eeg_vmrk_position");
        t.gapFilledPosition = r.Int("eeg_gapfilled_position");
        t.lost = r.Flag("eeg_lost");
        t.adjacent = r.Flag("adjacent");
        t.coincident = r.Flag("coincident");
        t.eegRecorded = r.Has("eeg_recorded") ? r.Flag("eeg_recorded") : t.vmrkPosition > 0;
        if (r.Has("et_recorded")) t.etRecorded = r.Flag("et_recorded");
        if (r.Has("outlier")) t.outlier = r.Text("outlier");
        if (r.Has("double_true_ms")) t.doubleTrueMs = r.Real("double_true_ms");
        if (r.Has("double_position")) t.doublePosition = r.Int("double_position");
        if (r.Has("msg_timestamp")) {
          t.msgArrivalMs = r.Real("msg_arrival_ms");
          t.msgTimestamp = r.Int("msg_timestamp");
          t.msgOffset = r.Int("msg_offset");
        }
        if (r.Has("msg_double_timestamp")) {
          t.msgDoubleTimestamp = r.Int("msg_double_timestamp");
          t.msgDoubleOffset = r.Int("msg_double_offset");
        }
        truth.triggers.push_back(t);
      }
      if (!error.empty()) {
        error = "line " + std::to_string(lineNumber) + ": " + error;
        return false;
      }
    } else {
      error = "line " + std::to_string(lineNumber) + " outside a known section: " + line;
      return false;
    }
  }
  return true;
}

}  // namespace simcheck
