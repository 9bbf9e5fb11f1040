#include "varnixlib/brainvision/brainampvmrk.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/support/inireader.h"
#include "varnixlib/support/memoryfile.h"
#include "varnixlib/support/report.h"
#include "varnixlib/support/rounding.h"

namespace {

constexpr uint64_t kMaxPosition = std::numeric_limits<uint32_t>::max();

// A 1-based position field as a number, or nothing when it holds no digits or does not fit.
std::optional<uint64_t> PositionField(std::string_view field) {
  field = IniTrimBlanks(field);
  if (field.empty() || field[0] < '0' || field[0] > '9') return std::nullopt;
  uint64_t value = 0;
  const auto [ptr, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
  (void)ptr;
  if (ec != std::errc() || value > kMaxPosition + 1) return std::nullopt;
  return value;
}

bool IsDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return !text.empty();
}

// Days since 1970-01-01 of the date part (YYYYMMDD) of a segment date; nothing when it is not a
// calendar date (some converters write zeros there).
std::optional<int64_t> DayNumber(const std::string& date) {
  if (date.size() < 8 || !IsDigits(std::string_view(date).substr(0, 8))) return std::nullopt;
  const int64_t y0 = std::stoll(date.substr(0, 4));
  const int64_t m = std::stoll(date.substr(4, 2));
  const int64_t d = std::stoll(date.substr(6, 2));
  if (y0 < 1 || m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
  // Days-from-civil of the proleptic Gregorian calendar.
  const int64_t y = y0 - (m <= 2 ? 1 : 0);
  const int64_t era = y / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Whether a segment date carries a time of day: six digits of hours, minutes and seconds after
// the eight of the date.
bool HasClock(const std::string& date) { return date.size() >= 14 && IsDigits(std::string_view(date).substr(8, 6)); }

}  // namespace

bool BrainampVmrk::Process(const std::string& name) {
  fileName = name;
  markers.clear();
  segments.clear();
  mergedCount = 0;
  MemoryFile file;
  // A missing or unreadable file is reported by MemoryFile and simply holds no markers.
  if (!file.Read(name)) return true;
  ProcessContent(file.Content(), name);
  return true;
}

void BrainampVmrk::ProcessContent(std::string_view content, const std::string& name) {
  fileName = name;
  markers.clear();
  segments.clear();
  otherMarkers.clear();
  mergedCount = 0;
  MemoryFile file;
  file.Content().assign(content);
  file.SetCursor(0);

  myZeroPositions = 0;
  std::string value;
  for (uint64_t n = 1;; ++n) {
    const std::string key = "Mk" + std::to_string(n) + "=";
    if (!file.ReadValue(key, "\r\n", value)) break;
    const std::vector<std::string_view> fields = IniCommaFields(value);
    const std::string_view kind = IniTrimBlanks(fields[0]);
    const bool segment = kind == "New Segment";
    const bool stimulus = kind == "Stimulus";
    const bool overflow = kind == "Comment" && fields.size() > 1 && IniTrimBlanks(fields[1]) == "Buffer Overflow";
    const std::string markerKey = key.substr(0, key.size() - 1);
    if (!segment && !stimulus && !overflow) {
      AddOther(fields, value);
      continue;
    }
    if (segment) {
      AddSegment(fields, markerKey, value);
    } else {
      const size_t before = markers.size();
      AddStimulus(fields, markerKey, value, overflow);
      // A stimulus without a number still belongs in the merged recording, as it was written.
      if (markers.size() == before) AddOther(fields, value);
      MergeLastTwo();
    }
  }
  for (CMarker& marker : markers) {
    if (marker.type == NewSegment && marker.code == SEGMENT_CODE) segments.push_back(&marker);
  }
  if (myZeroPositions > 0) {
    Warning("BrainampVmrk::Process " + std::to_string(myZeroPositions) +
                " marker(s) at position 0 (positions count from 1) read as the first sample",
            fileName);
  }
  if (markers.empty()) {
    // Nothing to align the recordings by: said here, where the file is known, rather than left
    // to the trigger matching.
    Warning("BrainampVmrk::Process : no New Segment, Stimulus or Buffer Overflow marker in the file", fileName);
  }
}

void BrainampVmrk::AddSegment(const std::vector<std::string_view>& fields, const std::string& key,
                              const std::string& text) {
  const std::optional<uint64_t> position = fields.size() > 2 ? PositionField(fields[2]) : std::nullopt;
  if (!position) {
    Warning("BrainampVmrk::Process " + key + ": New Segment without a position; ignored", fileName);
    return;
  }
  CMarker marker;
  marker.text = text;
  marker.type = NewSegment;
  marker.flag = 1;
  marker.code = SEGMENT_CODE;
  marker.position = FirstBased(*position);
  marker.size = 0;
  marker.extra = 0;
  if (fields.size() > 5) marker.dateText = std::string(IniTrimBlanks(fields[5]));

  // A segment starts before every marker recorded at its own position, but after an earlier
  // segment start at that position, so that segments keep their recorded order.
  size_t at = markers.size();
  while (at > 0 && markers[at - 1].position == marker.position && markers[at - 1].type != NewSegment) --at;
  markers.insert(markers.begin() + static_cast<std::ptrdiff_t>(at), marker);
}

void BrainampVmrk::AddStimulus(const std::vector<std::string_view>& fields, const std::string& key,
                               const std::string& text, bool overflow) {
  uint16_t code = OVERFLOW_CODE;
  if (!overflow) {
    const std::string description = fields.size() > 1 ? std::string(fields[1]) : std::string();
    std::string_view number = description;
    // Recorders write "S  1"; exporters also write "s1".
    if (!number.empty() && (number[0] == 'S' || number[0] == 's')) number.remove_prefix(1);
    if (!number.empty() && number[0] == ' ') number.remove_prefix(1);
    code = static_cast<uint16_t>(IniTextToInt(number));
    if (code == 0 && description != "0") {
      Warning("Stimulation: '" + description + "' ignored. Stimulation code is not numeric.\n", "");
      return;
    }
  }
  const std::optional<uint64_t> position = fields.size() > 3 ? PositionField(fields[2]) : std::nullopt;
  if (!position) {
    Warning("BrainampVmrk::Process " + key + ": marker without position and size; ignored", fileName);
    return;
  }
  CMarker marker;
  marker.text = text;
  marker.type = Stimulus;
  marker.flag = 0;
  marker.code = code;
  marker.position = FirstBased(*position);
  const int32_t size = IniTextToInt(fields[3]);
  marker.size = size < 0 ? 0 : static_cast<uint32_t>(size);
  marker.extra = 0;
  markers.push_back(marker);
}

void BrainampVmrk::AddOther(const std::vector<std::string_view>& fields, const std::string& text) {
  const std::optional<uint64_t> position = fields.size() > 2 ? PositionField(fields[2]) : std::nullopt;
  if (!position) return;  // nowhere to put it
  CMarker marker;
  marker.text = text;
  marker.type = Stimulus;
  marker.position = *position == 0 ? 0 : static_cast<uint32_t>(*position - 1);
  const int32_t size = fields.size() > 3 ? IniTextToInt(fields[3]) : 1;
  marker.size = size < 0 ? 0 : static_cast<uint32_t>(size);
  otherMarkers.push_back(std::move(marker));
}

int64_t BrainampVmrk::GapFilledPosition(uint32_t recorded) const {
  // Segment positions stay as recorded; a segment starts before every marker at its position.
  // The first segment counts too: a shift the clock model gives it moves every marker.
  int64_t shift = 0;
  for (size_t s = 0; s < segments.size() && segments[s]->position <= recorded; ++s) {
    shift += static_cast<int32_t>(segments[s]->samplesInserted);
  }
  return static_cast<int64_t>(recorded) + shift;
}

uint32_t BrainampVmrk::FirstBased(uint64_t position) {
  if (position == 0) {
    ++myZeroPositions;
    return 0;
  }
  return static_cast<uint32_t>(position - 1);
}

void BrainampVmrk::MergeLastTwo() {
  if (markers.size() < 2) return;
  CMarker& last = markers[markers.size() - 1];
  CMarker& before = markers[markers.size() - 2];
  if (last.type != Stimulus || before.type != Stimulus) return;
  if (last.code >= SEGMENT_CODE || before.code >= SEGMENT_CODE) return;
  if (static_cast<uint64_t>(last.position) != static_cast<uint64_t>(before.position) + 1) return;
  last.position -= 1;
  before.flag = 1;
  ++mergedCount;
}

bool BrainampVmrk::ProcessDataSegments(BrainampVhdr& header, uint64_t valueCount) {
  if (header.nbChannels == 0) return Error("BrainampVmrk::ProcessDataSegments nbChannels < 1", fileName);
  const uint64_t samples = valueCount / header.nbChannels;
  if (samples > kMaxPosition) {
    return Error("BrainampVmrk::ProcessDataSegments : more than 4294967295 samples per channel", fileName);
  }
  header.nbOfSamples = static_cast<uint32_t>(samples);
  const double rate = 1e6 / header.samplingInterval;
  for (CMarker* segment : segments) segment->ComputeClock(rate);
  if (segments.size() < 2 || header.segmentationType == BrainampVhdr::MARKERBASED) return true;

  if (!(header.samplingInterval > 0.0) || !std::isfinite(rate)) {
    return Error("BrainampVmrk::ProcessDataSegments : the sampling interval must be a positive number", fileName);
  }
  // Everything is checked and worked out before any position moves, so a refusal leaves the
  // markers as read.
  std::vector<uint32_t> lost(segments.size(), 0);
  uint64_t totalLost = 0;
  for (size_t i = 0; i < segments.size(); ++i) {
    const CMarker& cur = *segments[i];
    const std::string number = "segment " + std::to_string(i + 1) + " (" + cur.text + ")";
    if (!HasClock(cur.dateText)) {
      return Error("BrainampVmrk::ProcessDataSegments : " + number +
                       " has no date to place it on the clock of the other segments",
                   fileName);
    }
    if (cur.position > samples) {
      return Error("BrainampVmrk::ProcessDataSegments : " + number + " starts after the " +
                       std::to_string(samples) + " samples of the data file",
                   fileName);
    }
    if (i == 0) continue;
    const CMarker& prev = *segments[i - 1];
    if (cur.position < prev.position) {
      return Error("BrainampVmrk::ProcessDataSegments : " + number + " starts before the segment preceding it",
                   fileName);
    }
    double span = cur.clockSample - prev.clockSample;
    // The time of day alone would make a segment after midnight look earlier than the one before.
    const std::optional<int64_t> prevDay = DayNumber(prev.dateText);
    const std::optional<int64_t> curDay = DayNumber(cur.dateText);
    if (prevDay && curDay) span += static_cast<double>(*curDay - *prevDay) * 86400.0 * rate;
    const double count = RoundHalfAway(span) - static_cast<double>(cur.position - prev.position);
    if (!std::isfinite(count)) {
      return Error("BrainampVmrk::ProcessDataSegments : " + number +
                       " has a date that cannot be placed on the clock of the segment preceding it",
                   fileName);
    }
    if (count < 0.0) {
      // The segment stamps come from the computer's clock, the samples from the amplifier's:
      // a few samples too few between two stamps is clock disagreement, not data, and the
      // per-segment shift of the alignment absorbs it.
      Warning("BrainampVmrk::ProcessDataSegments : " + number + " is " + std::to_string(static_cast<uint64_t>(std::min(-count, 1e18))) +
                  " sample(s) earlier on the clock than its recorded samples allow; no samples counted as lost",
              fileName);
      continue;
    }
    if (count > static_cast<double>(kMaxPosition)) {  // reachable within a day above 49.7 kHz
      return Error("BrainampVmrk::ProcessDataSegments : " + number +
                       " follows more lost samples than a recording can hold (4294967295)",
                   fileName);
    }
    if (count > 86400.0 * rate) {
      return Error("BrainampVmrk::ProcessDataSegments : " + number +
                       " follows more than a day of lost samples after the segment preceding it",
                   fileName);
    }
    lost[i] = static_cast<uint32_t>(count);
    totalLost += lost[i];
  }
  if (samples + totalLost > kMaxPosition) {
    return Error("BrainampVmrk::ProcessDataSegments : the lost samples make the recording longer than 4294967295 samples",
                 fileName);
  }
  // Every stimulus after a gap moves by all the losses before it in marker order. One pass checks
  // that none leaves the 32-bit time line, a second moves them, so a refusal moves nothing and
  // many segments cost no more than one walk over the markers each.
  for (const bool move : {false, true}) {
    uint64_t shift = 0;
    size_t next = 1;
    for (CMarker& marker : markers) {
      while (next < segments.size() && &marker == segments[next]) shift += lost[next++];
      if (marker.type != Stimulus) continue;
      if (!move && marker.position + shift > kMaxPosition) {
        return Error("BrainampVmrk::ProcessDataSegments : marker '" + marker.text +
                         "' moves past the last sample position a recording can hold",
                     fileName);
      }
      if (move) marker.position = static_cast<uint32_t>(marker.position + shift);
    }
  }
  for (size_t i = 1; i < segments.size(); ++i) segments[i]->samplesInserted = lost[i];

  uint32_t gaps = 0;
  uint32_t lengths = 0;
  for (size_t i = 1; i < segments.size(); ++i) {
    CMarker& cur = *segments[i];
    CMarker& prev = *segments[i - 1];
    prev.segmentEnd = cur.position + gaps;
    prev.size = cur.position - lengths;
    cur.gapStart = prev.segmentEnd;
    cur.gapEnd = cur.gapStart + cur.samplesInserted;
    gaps += cur.samplesInserted;
    lengths += prev.size;
  }
  CMarker& last = *segments.back();
  last.segmentEnd = gaps + static_cast<uint32_t>(samples);
  last.size = static_cast<uint32_t>(samples) - lengths;
  header.nbOfSamples = last.segmentEnd;
  return true;
}

void BrainampVmrk::ShiftSegment(uint64_t s, int32_t shift) {
  if (s < segments.size()) ShiftMarkers(markers, *segments[s], shift);
}

void BrainampVmrk::ShiftMarkers(std::vector<CMarker>& markers, CMarker& segment, int32_t shift) {
  if (shift == 0) return;
  segment.samplesInserted += static_cast<uint32_t>(shift);
  segment.correction = shift;
  const size_t from = static_cast<size_t>(&segment - markers.data());
  for (size_t i = from; i < markers.size(); ++i) {
    if (markers[i].type != NewSegment) markers[i].position += static_cast<uint32_t>(shift);
  }
}

std::string BrainampVmrk::DateAfter(const std::string& date, double microseconds) {
  if (date.size() != 20 || date.find_first_not_of("0123456789") != std::string::npos) return {};
  const std::optional<int64_t> days = DayNumber(date);
  if (!days) return {};
  auto number = [&](size_t at, size_t count) { return std::stoll(date.substr(at, count)); };
  const int64_t ofDay = ((number(8, 2) * 60 + number(10, 2)) * 60 + number(12, 2)) * 1000000 + number(14, 6);
  const int64_t total = *days * 86400000000LL + ofDay + static_cast<int64_t>(std::llround(microseconds));
  int64_t d = total >= 0 ? total / 86400000000LL : -((-total + 86399999999LL) / 86400000000LL);
  int64_t us = total - d * 86400000000LL;
  // Back from days since 1970-01-01 to the calendar (the inverse of DayNumber).
  d += 719468;
  const int64_t e = (d >= 0 ? d : d - 146096) / 146097;
  const int64_t doe = d - e * 146097;
  const int64_t ye = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t dy = doe - (365 * ye + ye / 4 - ye / 100);
  const int64_t mp = (5 * dy + 2) / 153;
  const int64_t dd = dy - (153 * mp + 2) / 5 + 1;
  const int64_t mm = mp < 10 ? mp + 3 : mp - 9;
  const int64_t yy = ye + e * 400 + (mm <= 2 ? 1 : 0);
  if (yy < 1 || yy > 9999) return {};
  char text[64];
  const int64_t seconds = us / 1000000;
  us %= 1000000;
  std::snprintf(text, sizeof text, "%04lld%02lld%02lld%02lld%02lld%02lld%06lld", static_cast<long long>(yy),
                static_cast<long long>(mm), static_cast<long long>(dd), static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60),
                static_cast<long long>(us));
  return text;
}
