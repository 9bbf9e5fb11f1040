#include "varnixlib/sync/clockmatching.h"

#include <algorithm>
#include <cmath>

#include "varnixlib/sync/timingmatch.h"

namespace {

void FillPairs(const std::vector<CMarker>& tracker, const std::vector<CMarker>& eeg, MatchingResult& result) {
  result.codes.clear();
  result.firstPositions.clear();
  result.secondPositions.clear();
  for (const MatchedPair& pair : result.pairs) {
    result.codes.push_back(tracker[pair.first].code);
    result.firstPositions.push_back(tracker[pair.first].position);
    result.secondPositions.push_back(eeg[pair.second].position);
  }
}

}  // namespace

ClockModelSettings ClockSettingsFor(double eegRate, double trackerPeriodMs, const std::vector<CMarker>& tracker) {
  ClockModelSettings settings;
  settings.eegRate = eegRate;
  // A tracker that notices an edge at its next sample stamps every trigger on its sample grid,
  // half a period late on average; one that reads its port every millisecond, half a ms.
  bool onGrid = trackerPeriodMs > 1.0 && !tracker.empty();
  for (size_t i = 0; onGrid && i < tracker.size(); ++i) {
    const double gridTime = tracker.front().time - tracker.front().position * trackerPeriodMs;
    onGrid = tracker[i].time == gridTime + tracker[i].position * trackerPeriodMs;
  }
  const double step = onGrid ? trackerPeriodMs : 1.0;
  settings.trackerDelayMs = step / 2.0;
  settings.trackerJitterMs = step;
  return settings;
}

void FitClocks(const std::vector<CMarker>& tracker, const std::vector<CMarker>& eeg,
               const std::vector<CMarker*>& segments, double trackerPeriodMs,
               const ClockModelSettings& settings, MatchingResult& result) {
  result.firstTriggers = static_cast<uint64_t>(std::count_if(tracker.begin(), tracker.end(), IsTriggerMarker));
  result.secondTriggers = static_cast<uint64_t>(std::count_if(eeg.begin(), eeg.end(), IsTriggerMarker));

  // The segment of every EEG marker, and the samples the dates say were lost before each.
  std::vector<uint32_t> segmentOf(eeg.size(), 0);
  std::vector<uint32_t> lostBefore(std::max<size_t>(segments.size(), 1), 0);
  {
    size_t s = 0;
    for (size_t j = 0; j < eeg.size(); ++j) {
      while (s < segments.size() && segments[s] == &eeg[j]) ++s;
      segmentOf[j] = s == 0 ? 0 : static_cast<uint32_t>(s - 1);
    }
    for (size_t k = 0; k < segments.size(); ++k) lostBefore[k] = k == 0 ? 0 : segments[k]->samplesInserted;
  }
  auto clockPairs = [&](const std::vector<MatchedPair>& pairs) {
    std::vector<ClockPair> out;
    out.reserve(pairs.size());
    for (const MatchedPair& pair : pairs) {
      out.push_back({tracker[pair.first].time, static_cast<double>(eeg[pair.second].position), segmentOf[pair.second]});
    }
    return out;
  };

  ClockModel model = FitClockModel(clockPairs(result.pairs), lostBefore, settings);
  const bool codesSuffice = model.fitted && static_cast<double>(model.keptCount) >= 0.9 * static_cast<double>(result.pairs.size()) &&
                            JudgePair(model, result.pairs.size(), result.firstTriggers, result.secondTriggers, settings).accepted;
  if (!codesSuffice) {
    TimingMatchSettings timing;
    timing.samplesPerMs = settings.eegRate / 1000.0;
    timing.maxDriftPpm = settings.maxDriftPpm;
    // Wide enough for the registration jitter and for segment dates a few ms off.
    timing.windowMs = std::max(15.0, 3.0 * settings.trackerJitterMs + 6.0);
    std::vector<MatchedPair> byTime = MatchByTiming(tracker, eeg, timing);
    ClockModel timed = FitClockModel(clockPairs(byTime), lostBefore, settings);
    if (timed.fitted && timed.keptCount > model.keptCount) {
      result.codePairs = result.pairs.size();
      result.pairs = std::move(byTime);
      FillPairs(tracker, eeg, result);
      model = std::move(timed);
      result.timingDecided = true;
    }
  }
  result.verdict = JudgePair(model, result.pairs.size(), result.firstTriggers, result.secondTriggers, settings);
  result.clock = std::move(model);
  result.clockFitted = result.clock.fitted;
  const ClockModel& clock = result.clock;
  if (!clock.fitted) return;

  // The segment table as the statistics and the merge read it: each segment's kept pairs, its
  // gap with the fitted correction, and the pairs' EEG positions with the corrections in place.
  const double perTrackerSample = clock.slope * trackerPeriodMs;
  result.matchingSlope = perTrackerSample;
  result.segments.assign(segments.size(), SegmentFit{});
  for (size_t k = 0; k < segments.size(); ++k) {
    SegmentFit& fit = result.segments[k];
    fit.marker = static_cast<uint64_t>(segments[k] - eeg.data());
    fit.correction = k < clock.corrections.size() ? clock.corrections[k] : 0;
    fit.samplesInserted = lostBefore[k] + static_cast<uint32_t>(fit.correction);
    fit.slope = perTrackerSample;
  }
  std::vector<int64_t> cumulative(result.segments.size() + 1, 0);
  for (size_t k = 0; k < result.segments.size(); ++k) {
    cumulative[k] = (k ? cumulative[k - 1] : 0) + result.segments[k].correction;
  }
  result.firstSegment = result.segments.size();
  result.endSegment = 0;
  for (uint64_t p = 0; p < result.pairs.size(); ++p) {
    const uint32_t k = segmentOf[result.pairs[p].second];
    if (k < result.segments.size()) result.secondPositions[p] += static_cast<uint32_t>(cumulative[k]);
    if (!clock.kept[p] || k >= result.segments.size()) continue;
    SegmentFit& fit = result.segments[k];
    if (!fit.holdsPairs) {
      fit.holdsPairs = true;
      fit.firstPair = static_cast<uint32_t>(p);
    }
    fit.lastPair = static_cast<uint32_t>(p);
    result.firstSegment = std::min<uint64_t>(result.firstSegment, k);
    result.endSegment = std::max<uint64_t>(result.endSegment, k + 1);
  }
  if (result.endSegment == 0) result.firstSegment = 0;

  // The alignment table in tracker samples, as the two-point model writes it: the fitted line,
  // then without the corrections, then without any frame inserted before the segment.
  result.alignment.clear();
  double n = 0.0, st = 0.0, sy = 0.0, stt = 0.0, syy = 0.0, sty = 0.0;
  for (uint64_t p = 0; p < result.pairs.size(); ++p) {
    if (!clock.kept[p]) continue;
    const uint32_t k = segmentOf[result.pairs[p].second];
    int64_t inserted = 0;
    for (uint32_t s = static_cast<uint32_t>(result.firstSegment) + 1; s <= k && s < result.segments.size(); ++s) {
      inserted += result.segments[s].samplesInserted;
    }
    const double r = clock.residuals[p];
    const double c = k < result.segments.size() ? static_cast<double>(cumulative[k]) : 0.0;
    AlignmentRow row;
    row.code = result.codes[p];
    row.withShifts = -r / perTrackerSample;
    row.withoutShifts = -(r - c) / perTrackerSample;
    row.asRecorded = -(r - static_cast<double>(inserted)) / perTrackerSample;
    result.alignment.push_back(row);
    const double t = tracker[result.pairs[p].first].time - clock.origin;
    const double y = static_cast<double>(eeg[result.pairs[p].second].position) + c;
    n += 1.0;
    st += t;
    sy += y;
    stt += t * t;
    syy += y * y;
    sty += t * y;
  }
  const double spread = (n * stt - st * st) * (n * syy - sy * sy);
  const double r = spread > 0.0 ? (n * sty - st * sy) / std::sqrt(spread) : 0.0;
  result.rSquared = r * r;
}
