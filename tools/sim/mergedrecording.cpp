#include "mergedrecording.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "truthsignals.h"

namespace simcheck {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> out;
  std::string field;
  for (char c : text) {
    if (c == sep) {
      out.push_back(field);
      field.clear();
    } else {
      field.push_back(c);
    }
  }
  out.push_back(field);
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines = Split(text, '\n');
  for (std::string& l : lines) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
  }
  return lines;
}

double Number(const std::string& text) {
  double v = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

constexpr double kCycleMs = TruthSignals::kCycleMs;

}  // namespace

bool MergedRecording::Load(const std::string& base) {
  const std::string header = Slurp(base + ".vhdr");
  error.clear();
  if (header.empty()) {
    error = "no header " + base + ".vhdr";
    return false;
  }
  std::string section;
  for (const std::string& line : Lines(header)) {
    if (!line.empty() && line[0] == '[') {
      section = line;
      continue;
    }
    if (line.rfind("SamplingInterval=", 0) == 0) intervalUs = Number(line.substr(17));
    if (line.rfind("DataPoints=", 0) == 0) dataPoints = static_cast<int64_t>(Number(line.substr(11)));
    if (line.rfind("BinaryFormat=", 0) == 0) binaryFormat = line.substr(13);
    if (section == "[Channel Infos]" && line.rfind("Ch", 0) == 0) {
      const auto eq = line.find('=');
      const std::vector<std::string> f = Split(line.substr(eq + 1), ',');
      names.push_back(f[0]);
      resolutions.push_back(f.size() > 2 && !f[2].empty() ? Number(f[2]) : 1.0);
    }
  }
  if (binaryFormat.empty()) binaryFormat = "INT_16";
  const std::string data = Slurp(base + ".eeg");
  const uint64_t width = binaryFormat == "INT_16" ? 2 : binaryFormat == "IEEE_FLOAT_32" ? 4 : 8;
  if (names.empty() || data.size() % (width * names.size()) != 0) {
    error = "data size " + std::to_string(data.size()) + " is not whole frames of " + std::to_string(names.size()) +
            " channels";
    return false;
  }
  frames = data.size() / (width * names.size());
  values.resize(frames * names.size());
  for (uint64_t i = 0; i < values.size(); ++i) {
    const char* p = data.data() + i * width;
    if (width == 2) {
      int16_t v;
      std::memcpy(&v, p, 2);
      values[i] = v;
    } else if (width == 4) {
      float v;
      std::memcpy(&v, p, 4);
      values[i] = v;
    } else {
      std::memcpy(&values[i], p, 8);
    }
  }
  for (const std::string& line : Lines(Slurp(base + ".vmrk"))) {
    if (line.rfind("Mk", 0) != 0) continue;
    const auto eq = line.find('=');
    const std::vector<std::string> f = Split(line.substr(eq + 1), ',');
    if (f.size() < 4) continue;
    markers.push_back({f[0], f[1], static_cast<int64_t>(Number(f[2])), static_cast<int64_t>(Number(f[3]))});
  }
  return true;
}

int MergedRecording::Channel(const std::string& name) const {
  for (uint64_t c = 0; c < names.size(); ++c) {
    if (names[c] == name) return static_cast<int>(c);
  }
  return -1;
}

bool MergedRecording::Missing(uint64_t frame, int channel) const {
  const double v = At(frame, channel);
  return std::isnan(v) || v == -32768.0 || v == -2000.0;
}

std::string Alignment::Text() const {
  std::ostringstream s;
  s << "valid frames " << valid << ", mean |error| " << meanAbs << " samples (signed " << mean
    << "), largest " << largest << ", within one sample " << withinOne * 100.0 << " %";
  return s.str();
}

TimeCode FindTimeCode(const MergedRecording& merged) {
  TimeCode code;
  code.clock = merged.Channel("TrueTime");
  code.gazeX = merged.Channel("eyeLx");
  if (code.gazeX < 0) {
    code.gazeX = merged.Channel("eyeRx");
    code.gazeOffset = 120.0;
  }
  return code;
}

bool FrameError(const MergedRecording& merged, const TimeCode& code, uint64_t frame, double& errorMs) {
  if (merged.Missing(frame, code.clock) || merged.Missing(frame, code.gazeX)) return false;
  const double eegPhase = merged.At(frame, code.clock) * merged.resolutions[code.clock];
  const double gazePhase = 2.0 * (merged.At(frame, code.gazeX) - code.gazeOffset);
  // Interpolation across the cycle's wrap mixes its two ends: keep a gaze period and more away
  // from it (4 ms at 250 Hz).
  const double margin = 8.0;
  if (eegPhase < margin || eegPhase > kCycleMs - margin || gazePhase < margin || gazePhase > kCycleMs - margin)
    return false;
  double d = eegPhase - gazePhase;
  if (d > kCycleMs / 2) d -= kCycleMs;
  if (d < -kCycleMs / 2) d += kCycleMs;
  errorMs = d;
  return true;
}

Alignment MeasureAlignment(const MergedRecording& merged, double quantumMs) {
  Alignment a;
  const TimeCode code = FindTimeCode(merged);
  if (!code.Found()) {
    a.error = "no time-coded channels (TrueTime and eyeLx or eyeRx)";
    return a;
  }
  const double rate = 1e6 / merged.intervalUs;
  double sum = 0.0, sumAbs = 0.0;
  uint64_t within = 0, inBound = 0;
  a.firstBad = merged.frames;
  for (uint64_t f = 0; f < merged.frames; ++f) {
    double d = 0.0;
    if (!FrameError(merged, code, f, d)) continue;
    const double e = d * rate / 1000.0;
    ++a.valid;
    sum += e;
    sumAbs += std::fabs(e);
    a.largest = std::max(a.largest, std::fabs(e));
    if (std::fabs(e) <= 1.0 + 1e-9) ++within;
    if (std::fabs(e) <= 1.0 + quantumMs * rate / 1000.0 + 1e-9) {
      ++inBound;
    } else if (a.firstBad == merged.frames) {
      a.firstBad = f;
    }
  }
  if (a.valid > 0) {
    a.mean = sum / a.valid;
    a.meanAbs = sumAbs / a.valid;
    a.withinOne = static_cast<double>(within) / a.valid;
    a.withinBound = static_cast<double>(inBound) / a.valid;
  }
  return a;
}

}  // namespace simcheck
