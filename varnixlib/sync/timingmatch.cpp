#include "varnixlib/sync/timingmatch.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

namespace {

/// The EEG triggers of one code, by position.
using CodeIndex = std::unordered_map<uint16_t, std::vector<uint64_t>>;

struct Track {
  std::vector<MatchedPair> pairs;
  double rss = 0.0;
};

/// Least squares of y on t (relative to t0), kept as running sums.
struct RunningLine {
  double n = 0.0, st = 0.0, sy = 0.0, stt = 0.0, sty = 0.0;
  void Add(double t, double y) {
    n += 1.0;
    st += t;
    sy += y;
    stt += t * t;
    sty += t * y;
  }
  /// The fitted line, or the nominal slope through the mean while the pairs span too little time.
  void Line(double nominal, double& a, double& b) const {
    const double spread = stt - st * st / n;
    b = spread > 1e6 ? (sty - st * sy / n) / spread : nominal;  // at least about a second
    a = (sy - b * st) / n;
  }
};

Track Follow(const std::vector<CMarker>& tracker, const std::vector<CMarker>& eeg, const CodeIndex& byCode,
             uint64_t i0, uint64_t j0, const TimingMatchSettings& settings) {
  const double t0 = tracker[i0].time;
  const double window = settings.windowMs * settings.samplesPerMs;
  std::vector<uint8_t> used(eeg.size(), 0);
  std::vector<MatchedPair> matched = {{i0, j0}};
  used[j0] = 1;
  RunningLine sums;
  sums.Add(0.0, eeg[j0].position);
  for (const int direction : {1, -1}) {
    double lastTime = 0.0;  // time of the nearest matched trigger in this direction
    for (int64_t i = static_cast<int64_t>(i0) + direction; i >= 0 && i < static_cast<int64_t>(tracker.size());
         i += direction) {
      const CMarker& trigger = tracker[static_cast<uint64_t>(i)];
      if (!IsTriggerMarker(trigger)) continue;
      const auto list = byCode.find(trigger.code);
      if (list == byCode.end()) continue;
      double a = 0.0, b = 0.0;
      sums.Line(settings.samplesPerMs, a, b);
      const double t = trigger.time - t0;
      const double predicted = a + b * t;
      // The slope is known only as well as the pairs so far pin it down: far from them the
      // clocks may have run apart by up to the largest drift.
      const double reach = window + settings.maxDriftPpm * 1e-6 * std::fabs(t - lastTime) * settings.samplesPerMs;
      const std::vector<uint64_t>& candidates = list->second;
      auto it = std::lower_bound(candidates.begin(), candidates.end(), predicted - reach,
                                 [&](uint64_t j, double value) { return eeg[j].position < value; });
      uint64_t best = eeg.size();
      double bestDistance = reach;
      for (; it != candidates.end() && eeg[*it].position <= predicted + reach; ++it) {
        const double distance = std::fabs(eeg[*it].position - predicted);
        if (!used[*it] && distance <= bestDistance) {
          best = *it;
          bestDistance = distance;
        }
      }
      if (best == eeg.size()) continue;
      used[best] = 1;
      matched.push_back({static_cast<uint64_t>(i), best});
      sums.Add(t, eeg[best].position);
      lastTime = t;
    }
  }
  std::sort(matched.begin(), matched.end(), [](const MatchedPair& x, const MatchedPair& y) { return x.first < y.first; });
  // Pairs must run forward on both sides; a crossing pair is dropped.
  Track track;
  for (const MatchedPair& pair : matched) {
    if (!track.pairs.empty() && pair.second <= track.pairs.back().second) continue;
    track.pairs.push_back(pair);
  }
  RunningLine final;
  for (const MatchedPair& pair : track.pairs) final.Add(tracker[pair.first].time - t0, eeg[pair.second].position);
  double a = 0.0, b = 0.0;
  final.Line(settings.samplesPerMs, a, b);
  for (const MatchedPair& pair : track.pairs) {
    const double r = eeg[pair.second].position - a - b * (tracker[pair.first].time - t0);
    track.rss += r * r;
  }
  return track;
}

}  // namespace

std::vector<MatchedPair> MatchByTiming(const std::vector<CMarker>& tracker, const std::vector<CMarker>& eeg,
                                       const TimingMatchSettings& settings) {
  CodeIndex byCode;
  for (uint64_t j = 0; j < eeg.size(); ++j) {
    if (IsTriggerMarker(eeg[j])) byCode[eeg[j].code].push_back(j);
  }
  for (auto& [code, list] : byCode) {
    std::stable_sort(list.begin(), list.end(), [&](uint64_t x, uint64_t y) { return eeg[x].position < eeg[y].position; });
  }
  std::vector<uint64_t> triggers;
  for (uint64_t i = 0; i < tracker.size(); ++i) {
    if (IsTriggerMarker(tracker[i]) && byCode.count(tracker[i].code)) triggers.push_back(i);
  }
  if (triggers.empty()) return {};

  // Anchors: in a few stretches of the tracker list, every same-code pairing votes for the offset
  // between the clocks it implies; the offsets most voted for are followed along the whole list.
  // Several stretches, because either device may have missed the other's first or last triggers.
  constexpr uint64_t kStretch = 12;
  constexpr uint64_t kStretches = 4;
  constexpr int kAnchorsPerStretch = 3;
  const double bin = 2.0 * settings.windowMs * settings.samplesPerMs;
  std::vector<std::pair<uint64_t, uint64_t>> anchors;
  for (uint64_t s = 0; s < kStretches; ++s) {
    const uint64_t from = triggers.size() > kStretch ? (triggers.size() - kStretch) * s / (kStretches - 1) : 0;
    const uint64_t to = std::min<uint64_t>(triggers.size(), from + kStretch);
    std::map<int64_t, std::vector<std::pair<uint64_t, uint64_t>>> votes;
    for (uint64_t k = from; k < to; ++k) {
      const uint64_t i = triggers[k];
      for (const uint64_t j : byCode[tracker[i].code]) {
        const double offset = eeg[j].position - settings.samplesPerMs * tracker[i].time;
        votes[static_cast<int64_t>(std::floor(offset / bin))].push_back({i, j});
      }
    }
    std::vector<std::pair<uint64_t, int64_t>> ranked;  // votes of a bin and its neighbours, bin
    for (const auto& [key, members] : votes) {
      uint64_t count = members.size();
      for (const int64_t next : {key - 1, key + 1}) {
        const auto it = votes.find(next);
        if (it != votes.end()) count += it->second.size();
      }
      ranked.push_back({count, key});
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& x, const auto& y) {
      return x.first != y.first ? x.first > y.first : x.second < y.second;
    });
    for (int r = 0; r < kAnchorsPerStretch && r < static_cast<int>(ranked.size()); ++r) {
      anchors.push_back(votes[ranked[static_cast<size_t>(r)].second].front());
    }
  }

  Track best;
  for (const auto& [i, j] : anchors) {
    Track track = Follow(tracker, eeg, byCode, i, j, settings);
    if (track.pairs.size() > best.pairs.size() ||
        (track.pairs.size() == best.pairs.size() && track.rss < best.rss)) {
      best = std::move(track);
    }
  }
  if (best.pairs.size() < 2) return {};
  return best.pairs;
}
