#include "segmentlayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int64_t kMicrosecondsPerDay = 86400000000LL;

// Days since 1970-01-01 of a civil date and back (proleptic Gregorian calendar).
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

struct Moment {
  int year, month, day, weekday;  // weekday 0 = Sunday
  int64_t us;                     // microsecond of the day
};

Moment At(const RecordingDate& base, int64_t offsetUs) {
  const int64_t total = DaysFromCivil(base.year, base.month, base.day) * kMicrosecondsPerDay +
                        base.microsecondOfDay + offsetUs;
  int64_t days = total / kMicrosecondsPerDay;
  int64_t us = total % kMicrosecondsPerDay;
  if (us < 0) {
    us += kMicrosecondsPerDay;
    --days;
  }
  Moment m{};
  CivilFromDays(days, m.year, m.month, m.day);
  m.weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  m.us = us;
  return m;
}

}  // namespace

std::string RecordingDate::Digits(int64_t offsetUs) const {
  const Moment m = At(*this, offsetUs);
  const int64_t s = m.us / 1000000;
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%06d", m.year, m.month, m.day,
                static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60), static_cast<int>(s % 60),
                static_cast<int>(m.us % 1000000));
  return text;
}

std::string RecordingDate::AscText(int64_t offsetUs) const {
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const Moment m = At(*this, offsetUs);
  const int64_t s = m.us / 1000000;
  char text[48];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %04d", kDays[m.weekday], kMonths[m.month - 1], m.day,
                static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60), static_cast<int>(s % 60), m.year);
  return text;
}

std::string RecordingDate::TimeText(int64_t offsetUs) const {
  const Moment m = At(*this, offsetUs);
  const int64_t s = m.us / 1000000;
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                static_cast<int>(s % 60));
  return text;
}

bool SegmentLayout::Build(uint64_t totalSamples, std::vector<Interruption> interruptions, double rateHz,
                          const RecordingDate& date, std::string& error) {
  std::sort(interruptions.begin(), interruptions.end(),
            [](const Interruption& a, const Interruption& b) { return a.gapStart < b.gapStart; });
  uint64_t cursor = 0;  // first gap-filled sample not yet assigned
  for (const Interruption& gap : interruptions) {
    if (gap.gapStart <= cursor || gap.gapStart + gap.lost >= totalSamples) {
      error = "EEG interruptions overlap or do not fit in the recording (fewer segments, shorter losses or a "
              "longer --duration)";
      return false;
    }
    cursor = gap.gapStart + gap.lost;
  }
  myTotal = totalSamples;
  myInterruptions = interruptions;
  mySegments.clear();

  // The date of a segment is the EEG's nominal clock at its first sample.
  const double usPerSample = 1e6 / rateHz;
  auto dateAt = [&](uint64_t n) { return date.Digits(std::llround(static_cast<double>(n) * usPerSample)); };

  EegSegment first;
  first.kind = SegmentKind::Start;
  first.date = dateAt(0);
  first.trueDate = first.date;
  mySegments.push_back(first);
  uint64_t fileCursor = 0;
  for (const Interruption& gap : myInterruptions) {
    EegSegment& prev = mySegments.back();
    prev.recorded = gap.gapStart - prev.gapFilledStart;
    fileCursor += prev.recorded;
    EegSegment next;
    next.kind = gap.kind;
    next.gapFilledStart = gap.gapStart + gap.lost;
    next.fileStart = fileCursor;
    next.lostBefore = gap.lost;
    next.date = dateAt(next.gapFilledStart);
    next.trueDate = next.date;
    mySegments.push_back(next);
  }
  mySegments.back().recorded = totalSamples - mySegments.back().gapFilledStart;
  return true;
}

uint64_t SegmentLayout::RecordedSamples() const {
  uint64_t sum = 0;
  for (const EegSegment& s : mySegments) sum += s.recorded;
  return sum;
}

int SegmentLayout::SegmentOf(int64_t n) const {
  if (n < 0 || static_cast<uint64_t>(n) >= myTotal || mySegments.empty()) return -1;
  const uint64_t u = static_cast<uint64_t>(n);
  auto it = std::upper_bound(mySegments.begin(), mySegments.end(), u,
                             [](uint64_t v, const EegSegment& s) { return v < s.gapFilledStart; });
  if (it == mySegments.begin()) return -1;
  --it;
  if (u >= it->gapFilledStart + it->recorded) return -1;
  return static_cast<int>(it - mySegments.begin());
}

int64_t SegmentLayout::FilePosition(int64_t n) const {
  const int s = SegmentOf(n);
  if (s < 0) return -1;
  const EegSegment& segment = mySegments[static_cast<size_t>(s)];
  return static_cast<int64_t>(segment.fileStart + (static_cast<uint64_t>(n) - segment.gapFilledStart));
}

void SegmentLayout::StampDateErrors(const std::vector<int64_t>& errorsUs, double rateHz, const RecordingDate& date) {
  const double usPerSample = 1e6 / rateHz;
  for (size_t i = 0; i < mySegments.size() && i < errorsUs.size(); ++i) {
    EegSegment& s = mySegments[i];
    s.dateErrorUs = errorsUs[i];
    s.date = date.Digits(std::llround(static_cast<double>(s.gapFilledStart) * usPerSample) + s.dateErrorUs);
  }
}
