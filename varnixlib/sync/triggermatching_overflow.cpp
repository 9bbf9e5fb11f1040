// Repair of the first trigger list around an EEG buffer overflow.
#include <algorithm>

#include "varnixlib/sync/triggermatching.h"

namespace {

constexpr int64_t kPatternLength = 10;  // neighbours of the overflow marker compared on each side
constexpr int64_t kNearReach = 5;       // candidates start this far on the far side of the marker
constexpr int64_t kFarReach = 54;       // and end this far on the near side

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
  if (b < 0 || a < 0 || start >= static_cast<int64_t>(first.size())) return repair;
  repair.located = true;
  repair.overflowStart = static_cast<int32_t>(first[static_cast<size_t>(start)].position);
  repair.overflowEnd = static_cast<int32_t>(first[static_cast<size_t>(end)].position);
  repair.removeFrom = static_cast<uint64_t>(start);
  repair.removeCount = end > start ? static_cast<uint64_t>(end - start) : 0;
  return repair;
}
