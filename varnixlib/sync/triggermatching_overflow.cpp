// Repair of the first trigger list around an EEG buffer overflow.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "varnixlib/sync/timingmatch.h"
#include "varnixlib/sync/triggermatching.h"

namespace {

constexpr int64_t kPatternLength = 10;  // neighbours of the overflow marker compared on each side
constexpr int64_t kNearReach = 5;       // candidates start this far on the far side of the marker
constexpr int64_t kFarReach = 54;       // and end this far on the near side

// How far a segment date may be off, and how far a trigger's registration may lie from the clock
// line, in ms: a lost trigger lies at least this far inside the dated gap, and a partner within it.
constexpr double kBoundaryMs = 15.0;

std::string Ms(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", ms);
  return text;
}

/// The first list's triggers lost in the gap that the segment dates give, found by carrying the
/// gap onto the first list's clock through the pairs the triggers' timing gives on one side of it.
/// Codes only confirm: a trigger inside the gap must have no partner, and the triggers around it
/// must have theirs; where the two disagree the repair fails, saying why.
OverflowRepair LocateByTime(const std::vector<CMarker>& first, const std::vector<CMarker>& second,
                            const std::vector<CMarker*>& segments, uint64_t o, double samplesPerMs) {
  OverflowRepair repair;
  repair.found = true;
  repair.byTime = true;
  const CMarker* segment = nullptr;
  // The recorder writes the overflow notice where the segment that resumes the recording starts
  // (on the gap-filled line: at the end of the gap before it), before or after that segment.
  for (const CMarker* s : segments) {
    if (s != segments.front() && s->gapEnd >= second[o].position) {
      segment = s;
      break;
    }
  }
  if (segment == nullptr || segment->samplesInserted == 0) {
    repair.failure = segment == nullptr ? "no segment follows the overflow marker, so nothing dates the lost stretch"
                                        : "the segment dates after the overflow show no lost samples";
    return repair;
  }
  const double gapStart = segment->gapStart;
  const double gapEnd = segment->gapEnd;

  TimingMatchSettings timing;
  timing.samplesPerMs = samplesPerMs;
  timing.windowMs = kBoundaryMs;
  const std::vector<MatchedPair> pairs = MatchByTiming(first, second, timing);
  // The clock line from the pairs on one side of the gap: before it the positions owe nothing to
  // the dates; after it only when too few lie before.
  std::vector<MatchedPair> before, after;
  for (const MatchedPair& pair : pairs) (pair.second < o ? before : after).push_back(pair);
  const std::vector<MatchedPair>& side = before.size() >= 2 ? before : after;
  if (side.size() < 2) {
    repair.failure = "fewer than two triggers pair up by their timing on either side of the lost stretch";
    return repair;
  }
  double n = 0, st = 0, sy = 0, stt = 0, sty = 0;
  const double t0 = first[side.front().first].time;
  for (const MatchedPair& pair : side) {
    const double t = first[pair.first].time - t0;
    const double y = second[pair.second].position;
    n += 1;
    st += t;
    sy += y;
    stt += t * t;
    sty += t * y;
  }
  const double spread = stt - st * st / n;
  const double slope = spread > 1e6 ? (sty - st * sy / n) / spread : samplesPerMs;
  const double intercept = (sy - slope * st) / n;
  auto eegPosition = [&](const CMarker& m) { return intercept + slope * (m.time - t0); };
  const double margin = kBoundaryMs * samplesPerMs;

  // A partner: a second-list trigger of the same code near the predicted place, on the side of the
  // gap where that place lies (positions after it carry the date's error, hence the margin).
  std::vector<uint64_t> byPosition;
  for (uint64_t j = 0; j < second.size(); ++j) {
    if (IsTriggerMarker(second[j])) byPosition.push_back(j);
  }
  std::sort(byPosition.begin(), byPosition.end(),
            [&](uint64_t x, uint64_t y) { return second[x].position < second[y].position; });
  auto hasPartner = [&](const CMarker& m, double at) {
    auto it = std::lower_bound(byPosition.begin(), byPosition.end(), at - margin,
                               [&](uint64_t j, double v) { return second[j].position < v; });
    for (; it != byPosition.end() && second[*it].position <= at + margin; ++it) {
      if (second[*it].code == m.code) return true;
    }
    return false;
  };

  int64_t lostFrom = -1, lostTo = -1;  // first-list indices of the first and last lost trigger
  for (uint64_t i = 0; i < first.size(); ++i) {
    if (!IsTriggerMarker(first[i])) continue;
    const double at = eegPosition(first[i]);
    if (at < gapStart - margin || at >= gapEnd + margin) continue;
    const bool inside = at >= gapStart + margin && at < gapEnd - margin;
    const bool partner = hasPartner(first[i], at);
    if (inside && partner) {
      repair.failure = "the trigger " + std::to_string(first[i].code) + " at " + Ms(first[i].time) +
                       " ms lies inside the lost stretch by the clocks, yet the EEG holds it";
      return repair;
    }
    if (partner) continue;
    if (lostTo >= 0) {
      // Every trigger between two lost ones is lost too: one that the EEG holds splits the gap.
      for (int64_t k = lostTo + 1; k < static_cast<int64_t>(i); ++k) {
        if (IsTriggerMarker(first[static_cast<uint64_t>(k)])) {
          repair.failure = "the EEG holds the trigger " + std::to_string(first[static_cast<uint64_t>(k)].code) +
                           " at " + Ms(first[static_cast<uint64_t>(k)].time) + " ms amid the lost ones";
          return repair;
        }
      }
    }
    if (lostFrom < 0) lostFrom = static_cast<int64_t>(i);
    lostTo = static_cast<int64_t>(i);
  }
  repair.located = true;
  repair.lostFromMs = t0 + (gapStart - intercept) / slope;
  repair.lostToMs = t0 + (gapEnd - intercept) / slope;
  if (lostFrom < 0) {
    // Nothing was sent while the EEG lost its samples.
    return repair;
  }
  const uint64_t end = static_cast<uint64_t>(lostTo) + 1;
  repair.removeFrom = static_cast<uint64_t>(lostFrom);
  repair.removeCount = end - repair.removeFrom;
  repair.overflowStart = static_cast<int32_t>(first[repair.removeFrom].position);
  repair.overflowEnd = end < first.size() ? static_cast<int32_t>(first[end].position)
                                          : static_cast<int32_t>(first[end - 1].position + 1);
  return repair;
}

}  // namespace

int64_t TriggerMatching::FindOverflowBoundary(const std::vector<uint16_t>& first,
                                              const std::vector<uint16_t>& second,
                                              uint64_t overflow, OverflowSide side,
                                              int16_t ceiling) {
  const int64_t o = static_cast<int64_t>(overflow);
  const int64_t sizeA = static_cast<int64_t>(first.size());
  const int64_t sizeB = static_cast<int64_t>(second.size());
  const bool before = side == OverflowSide::Before;

  // Segment and overflow markers carry codes above every eye-tracker code: the ceiling skips them.
  std::vector<uint16_t> pattern;
  for (int64_t t = 1; t <= kPatternLength; ++t) {
    const int64_t i = before ? o - t : o + t;
    if (i < 0 || i >= sizeB) break;
    const uint16_t code = second[static_cast<size_t>(i)];
    // Past a second overflow the codes no longer run on in the first list. Right next to the
    // first one, though, the two gaps are one stretch of lost triggers: look past it, or an empty
    // pattern would anchor the gap on an arbitrary candidate.
    if (code == OVERFLOW_CODE) {
      if (!pattern.empty()) break;
      continue;
    }
    if (static_cast<int16_t>(code) <= ceiling) pattern.push_back(code);
  }
  const int64_t length = static_cast<int64_t>(pattern.size());

  const int64_t from = before ? o + kNearReach : o - kNearReach;
  const int64_t to = before ? o - kFarReach : o + kFarReach;
  const int64_t step = before ? -1 : 1;
  for (int64_t s = from; s != to + step; s += step) {
    // The candidate itself must exist as well: its position becomes a gap bound.
    if (s < 0 || s >= sizeA) continue;
    const int64_t low = before ? s - (length - 1) : s;
    const int64_t high = before ? s : s + (length - 1);
    if (length > 0 && (low < 0 || high >= sizeA)) continue;
    bool same = true;
    for (int64_t t = 0; t < length && same; ++t) {
      const int64_t k = before ? s - t : s + t;
      same = first[static_cast<size_t>(k)] == pattern[static_cast<size_t>(t)];
    }
    if (same) return s;
  }
  return -1;
}

OverflowRepair TriggerMatching::CorrectBufferOverflow() const {
  OverflowRepair repair;
  if (myInput.first == nullptr || myInput.second == nullptr) return repair;
  const std::vector<CMarker>& first = *myInput.first;
  const std::vector<CMarker>& second = *myInput.second;
  const auto overflow = std::find_if(second.begin(), second.end(),
                                     [](const CMarker& m) { return m.code == OVERFLOW_CODE; });
  if (overflow == second.end()) return repair;
  repair.found = true;
  const uint64_t o = static_cast<uint64_t>(overflow - second.begin());
  if (myInput.segmentList != nullptr && myInput.secondSamplesPerMs > 0.0) {
    return LocateByTime(first, second, *myInput.segmentList, o, myInput.secondSamplesPerMs);
  }

  std::vector<uint16_t> codesA;
  std::vector<uint16_t> codesB;
  codesA.reserve(first.size());
  codesB.reserve(second.size());
  int16_t ceiling = INT16_MIN;
  for (const CMarker& m : first) {
    codesA.push_back(m.code);
    ceiling = std::max(ceiling, static_cast<int16_t>(m.code));
  }
  for (const CMarker& m : second) codesB.push_back(m.code);

  const int64_t b = FindOverflowBoundary(codesA, codesB, o, OverflowSide::Before, ceiling);
  const int64_t a = FindOverflowBoundary(codesA, codesB, o, OverflowSide::After, ceiling);
  const int64_t start = b + 1;
  const int64_t end = a;
  // A before-anchor on the last trigger leaves no first trigger of the gap to date it.
  if (b < 0 || a < 0 || start >= static_cast<int64_t>(first.size())) {
    repair.failure = "the trigger codes around the overflow marker were not found in the other list";
    return repair;
  }
  // With a short repeating cycle of codes the two patterns can anchor on different cycles.
  if (end < start) {
    repair.failure = "the codes put the end of the lost stretch before its start";
    return repair;
  }
  repair.located = true;
  repair.overflowStart = static_cast<int32_t>(first[static_cast<size_t>(start)].position);
  repair.overflowEnd = static_cast<int32_t>(first[static_cast<size_t>(end)].position);
  repair.removeFrom = static_cast<uint64_t>(start);
  repair.removeCount = end > start ? static_cast<uint64_t>(end - start) : 0;
  return repair;
}
