#include "varnixlib/report/syncreport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "varnixlib/cmarker.h"

namespace {

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

/// "YYYY-MM-DD hh:mm:ss.ffffff" from the 20 digits of a New Segment date; other text as it is.
std::string ReadableDate(const std::string& digits) {
  if (digits.size() != 20 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return digits;
  }
  return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2) + " " + digits.substr(8, 2) +
         ":" + digits.substr(10, 2) + ":" + digits.substr(12, 2) + "." + digits.substr(14, 6);
}

/// The EEG's segments and where each of its markers lies on the merged line. The markers carry
/// the shifts their owner applied (none when the pair was refused); the report places them by
/// the model's corrections either way, the line the residuals are measured on.
struct EegLine {
  std::vector<int32_t> segmentOf;  ///< per marker
  std::vector<int64_t> datePrefix;     ///< per segment: date-derived samples lost up to it
  std::vector<int64_t> appliedPrefix;  ///< shifts applied to the markers up to it
  std::vector<int64_t> fittedPrefix;   ///< corrections of the model up to it

  int64_t Merged(const std::vector<CMarker>& markers, size_t j) const {
    const int32_t k = segmentOf[j];
    return static_cast<int64_t>(markers[j].position) - appliedPrefix[k] + fittedPrefix[k];
  }
  int64_t InFile(const std::vector<CMarker>& markers, size_t j) const {
    const int32_t k = segmentOf[j];
    return static_cast<int64_t>(markers[j].position) - appliedPrefix[k] - datePrefix[k];
  }
};

EegLine PlaceSegments(const SyncRecord& sync, const ReportRun& run, SyncReport& report) {
  const std::vector<CMarker>& markers = sync.eegMarkers;
  const size_t count = std::max<size_t>(sync.segmentMarkers.size(), 1);
  EegLine line;
  line.segmentOf.assign(markers.size(), 0);
  {
    size_t s = 0;
    for (size_t j = 0; j < markers.size(); ++j) {
      while (s < sync.segmentMarkers.size() && sync.segmentMarkers[s] <= j) ++s;
      line.segmentOf[j] = s == 0 ? 0 : static_cast<int32_t>(s - 1);
    }
  }
  const bool fitted = sync.matching.segments.size() == sync.segmentMarkers.size();
  report.segments.assign(count, ReportSegment{});
  line.datePrefix.assign(count, 0);
  line.appliedPrefix.assign(count, 0);
  line.fittedPrefix.assign(count, 0);
  int64_t date = 0, applied = 0, fittedSum = 0;
  for (size_t k = 0; k < count; ++k) {
    ReportSegment& segment = report.segments[k];
    if (k < sync.segmentMarkers.size() && sync.segmentMarkers[k] < markers.size()) {
      const CMarker& marker = markers[sync.segmentMarkers[k]];
      segment.filePosition = marker.position;
      segment.date = ReadableDate(marker.dateText);
      // The count lost before a segment is kept signed by the merge: a shift may take one back.
      segment.lostByDate = k == 0 ? 0 : static_cast<int64_t>(static_cast<int32_t>(marker.samplesInserted)) - marker.correction;
      applied += k == 0 ? 0 : marker.correction;
    }
    segment.correction = fitted && k > 0 ? sync.matching.segments[k].correction : 0;
    segment.inserted = segment.lostByDate + segment.correction;
    date += segment.lostByDate;
    fittedSum += segment.correction;
    line.datePrefix[k] = date;
    line.appliedPrefix[k] = applied;
    line.fittedPrefix[k] = fittedSum;
  }
  report.eegRecordedSamples = static_cast<int64_t>(run.eegSamples) - date;
  int64_t inserted = 0;
  for (size_t k = 0; k < count; ++k) {
    ReportSegment& segment = report.segments[k];
    inserted += segment.inserted;
    segment.start = segment.filePosition + inserted;
    const int64_t end = k + 1 < count ? report.segments[k + 1].filePosition : report.eegRecordedSamples;
    segment.recordedSamples = std::max<int64_t>(0, end - segment.filePosition);
    if (k > 0) report.figures.samplesInserted += static_cast<uint64_t>(std::max<int64_t>(0, segment.inserted));
  }
  report.eegMergedSamples = report.eegRecordedSamples + inserted;

  for (size_t j = 0; j < markers.size(); ++j) {
    if (markers[j].code != OVERFLOW_CODE || markers[j].type == NewSegment) continue;
    ReportOverflow overflow;
    overflow.eegPosition = line.Merged(markers, j);
    overflow.located = sync.matching.overflow.located;
    overflow.removed = report.overflows.empty() ? sync.removedTriggers.size() : 0;
    report.overflows.push_back(overflow);
    // Recorders mark the overflow where the new segment starts, or as the last marker before it.
    const size_t own = static_cast<size_t>(line.segmentOf[j]);
    if (own > 0 && line.InFile(markers, j) == report.segments[own].filePosition) {
      report.segments[own].afterOverflow = true;
      continue;
    }
    size_t next = j + 1;
    while (next < markers.size() && markers[next].type != NewSegment && !IsTriggerMarker(markers[next])) ++next;
    if (next < markers.size() && markers[next].type == NewSegment && own + 1 < report.segments.size()) {
      report.segments[own + 1].afterOverflow = true;
    }
  }
  return line;
}

/// Residuals of the former two-point model, from its alignment table: its rows follow the pairs
/// of the modelled segments in order, in tracker samples, of the opposite sign.
std::vector<double> TwoPointResiduals(const MatchingResult& m, double trackerPeriodMs) {
  std::vector<double> residuals(m.pairs.size(), kNoValue);
  size_t row = 0;
  for (uint64_t s = m.firstSegment; s < m.endSegment && s < m.segments.size(); ++s) {
    const SegmentFit& segment = m.segments[s];
    if (!segment.holdsPairs) continue;
    for (uint64_t p = segment.firstPair; p <= segment.lastPair && p < residuals.size() && row < m.alignment.size(); ++p) {
      residuals[p] = -m.alignment[row++].withShifts * trackerPeriodMs;
    }
  }
  return residuals;
}

void DescribeClock(const SyncRecord& sync, const SynchroParams& params, SyncReport& report,
                   const std::vector<double>& residualsMs, const std::vector<uint8_t>& kept) {
  const MatchingResult& m = sync.matching;
  ReportClock& clock = report.clock;
  if (m.clockFitted) {
    const ClockModel& c = m.clock;
    clock.kind = ReportClock::Kind::Fitted;
    clock.driftPpm = c.driftPpm;
    clock.samplesPerMs = c.slope;
    clock.offsetSamples = c.offset;
    clock.originMs = c.origin;
    clock.eegStartMs = c.TrackerTime(0.0);
    clock.delayCompensationSamples = c.delayCompensation;
    clock.exactRegistration = c.exactRegistration;
    // Residuals are distances on the EEG's sample line: its nominal period turns them into ms
    // (the fitted slope would too, to a few ppm, but not for a pair refused for its drift).
    const double msPerSample = 1000.0 / report.eegRate;
    clock.toleranceMs = c.tolerance * msPerSample;
    // Without a kept pair there is no residual to speak of, not one of zero.
    clock.rmsMs = c.keptCount ? c.rms * msPerSample : kNoValue;
    clock.largestMs = c.keptCount ? c.largest * msPerSample : kNoValue;
    clock.rSquared = m.rSquared;
    return;
  }
  if (!params.twoPointModel || !sync.matched || m.firstSegment >= m.segments.size() || report.trackerPeriodMs <= 0.0) return;
  const uint64_t anchor = m.segments[m.firstSegment].firstPair;
  if (anchor >= m.pairs.size() || m.pairs[anchor].first >= sync.trackerTriggers.size()) return;
  clock.kind = ReportClock::Kind::TwoPoint;
  clock.samplesPerMs = m.matchingSlope / report.trackerPeriodMs;
  clock.driftPpm = (clock.samplesPerMs / (report.eegRate / 1000.0) - 1.0) * 1e6;
  clock.originMs = sync.trackerTriggers[m.pairs[anchor].first].time;
  clock.offsetSamples = m.Y(anchor);
  clock.eegStartMs = clock.originMs - clock.offsetSamples / clock.samplesPerMs;
  clock.rSquared = m.rSquared;
  double sum = 0.0, largest = 0.0;
  uint64_t n = 0;
  for (size_t p = 0; p < residualsMs.size(); ++p) {
    if (!kept[p] || std::isnan(residualsMs[p])) continue;
    sum += residualsMs[p] * residualsMs[p];
    largest = std::max(largest, std::fabs(residualsMs[p]));
    ++n;
  }
  if (n > 0) {
    clock.rmsMs = std::sqrt(sum / static_cast<double>(n));
    clock.largestMs = largest;
  }
}

void Judge(const SyncRecord& sync, const SynchroParams& params, SyncReport& report) {
  const MatchingResult& m = sync.matching;
  const bool fitted = report.clock.kind == ReportClock::Kind::Fitted;
  const bool twoPoint = report.clock.kind == ReportClock::Kind::TwoPoint;
  report.verdictGiven = !params.twoPointModel && !m.pairs.empty();
  report.accepted = report.verdictGiven && fitted && m.verdict.accepted;
  if (report.run.succeeded) {
    if (fitted && !m.verdict.accepted) {
      report.outcome = ReportOutcome::MergedAnyway;
      report.headline = "Merged as asked (-F), although the recordings do not seem to belong together";
      report.reason = m.verdict.reason;
    } else {
      report.outcome = ReportOutcome::Synchronised;
      report.headline = twoPoint ? "Synchronised with the former two-point clock model (-O), which gives no verdict on the pair"
                                 : "Synchronised: the recordings belong together";
    }
    return;
  }
  if ((fitted && m.verdict.accepted) || twoPoint) {
    report.outcome = ReportOutcome::MergeFailed;
    report.headline = "Not merged: the pair was accepted, but the merge did not complete";
    report.reason = "the console names what failed";
    return;
  }
  report.outcome = ReportOutcome::Refused;
  if (m.pairs.empty()) {
    report.headline = "Refused: no trigger pairs";
    report.reason = "none of the " + std::to_string(report.figures.trackerTriggers) + " tracker triggers pairs with one of the " +
                    std::to_string(report.figures.eegTriggers) +
                    " EEG triggers: check that both files come from the same session and that the trigger codes reach both devices";
  } else if (fitted) {
    report.headline = "Refused: the recordings do not belong together";
    report.reason = m.verdict.reason;
  } else {
    report.headline = "Refused: the clocks cannot be modelled";
    report.reason = !m.verdict.reason.empty() ? m.verdict.reason
                    : params.twoPointModel   ? "no EEG segment holds two matched triggers"
                                             : "no clock model fits the matched triggers";
  }
}

void ListOptions(const SynchroParams& p, SyncReport& report) {
  auto& o = report.options;
  o.emplace_back(p.interpolateTowardEeg ? "-e" : "(default)",
                 p.interpolateTowardEeg ? "the gaze is resampled onto the EEG's time base"
                                        : "the EEG is resampled onto the eye tracker's time base");
  o.emplace_back(p.twoPointModel ? "-O" : "(default)",
                 p.twoPointModel ? "the former clock model: a line through the first and the last matched trigger"
                                 : "the clock model is fitted to every matched trigger");
  if (p.forceMerge) o.emplace_back("-F", "merge even a pair the verdict refuses");
  if (p.alsoWithoutDrift) o.emplace_back("-N", "also a set without drift correction");
  if (p.classicLcs) o.emplace_back("-L", "repeated codes pair their latest occurrences");
  if (p.matOutput) o.emplace_back("-m", "MAT files");
  if (p.pupilSize) o.emplace_back("-p", "pupil channels");
  if (p.framesInEvents) o.emplace_back("-v", "video-frame events among the eye events");
  if (!p.singleSampleMarkers) o.emplace_back("-1", "eye-event markers keep their duration");
  if (p.falseBlinkMsec != 0) o.emplace_back("-f " + std::to_string(p.falseBlinkMsec), "blinks shorter than this many ms are bridged");
  if (!p.triggersFileName.empty()) o.emplace_back("-t", "trigger names from " + p.triggersFileName);
  if (p.cacheWanted) o.emplace_back("-G", "parse cache of the .asc");
  if (p.makeTtlFile) o.emplace_back("-T", "a simulated reference TTL file");
}

}  // namespace

const char* StatusName(TriggerStatus status) {
  switch (status) {
    case TriggerStatus::Matched: return "matched";
    case TriggerStatus::Outlier: return "outlier";
    case TriggerStatus::Removed: return "removed";
    case TriggerStatus::Unmatched: return "unmatched";
  }
  return "unmatched";
}

const char* OutcomeName(ReportOutcome outcome) {
  switch (outcome) {
    case ReportOutcome::Synchronised: return "synchronised";
    case ReportOutcome::MergedAnyway: return "merged-although-refused";
    case ReportOutcome::Refused: return "refused";
    case ReportOutcome::MergeFailed: return "merge-failed";
  }
  return "refused";
}

SyncReport BuildSyncReport(const SyncRecord& sync, const SynchroParams& params, const ReportRun& run) {
  SyncReport report;
  report.run = run;
  report.eegRate = sync.eegRate;
  report.gazeRate = sync.gazeRate;
  report.trackerPeriodMs = sync.trackerPeriodMs;
  report.trackerStartMs = sync.trackerStartMs;
  const MatchingResult& m = sync.matching;
  const std::vector<CMarker>& eeg = sync.eegMarkers;
  const std::vector<CMarker>& tracker = sync.trackerTriggers;

  ReportFigures& f = report.figures;
  f.eegTriggers = static_cast<uint64_t>(std::count_if(eeg.begin(), eeg.end(), IsTriggerMarker));
  const uint64_t trackerAfter = static_cast<uint64_t>(std::count_if(tracker.begin(), tracker.end(), IsTriggerMarker));
  f.removed = sync.removedTriggers.size();
  f.trackerTriggers = trackerAfter + f.removed;
  f.matched = m.pairs.size();
  f.timingDecided = m.timingDecided;
  f.codePairs = m.codePairs;
  f.outputRateHz = !sync.sets.empty() ? sync.sets.front().outputRate
                   : params.interpolateTowardEeg ? sync.eegRate
                                                 : sync.gazeRate;

  const EegLine line = PlaceSegments(sync, run, report);

  // Every pair's residual in ms, and whether the model kept it.
  std::vector<double> residuals(m.pairs.size(), kNoValue);
  std::vector<uint8_t> kept(m.pairs.size(), 1);
  if (m.clockFitted) {
    for (size_t p = 0; p < m.pairs.size() && p < m.clock.residuals.size(); ++p) {
      residuals[p] = m.clock.residuals[p] * 1000.0 / sync.eegRate;
      kept[p] = m.clock.kept[p];
    }
    f.outliers = m.pairs.size() - m.clock.keptCount;
  } else if (params.twoPointModel) {
    residuals = TwoPointResiduals(m, sync.trackerPeriodMs);
  }
  DescribeClock(sync, params, report, residuals, kept);

  std::vector<uint8_t> eegPaired(eeg.size(), 0), trackerPaired(tracker.size(), 0);
  std::vector<double> shifts;
  for (size_t p = 0; p < m.pairs.size(); ++p) {
    const MatchedPair& pair = m.pairs[p];
    if (pair.first >= tracker.size() || pair.second >= eeg.size()) continue;
    eegPaired[pair.second] = 1;
    trackerPaired[pair.first] = 1;
    ReportTrigger t;
    t.code = tracker[pair.first].code;
    t.status = kept[p] ? TriggerStatus::Matched : TriggerStatus::Outlier;
    t.onEeg = t.onTracker = true;
    t.eegPosition = line.Merged(eeg, pair.second);
    t.eegFilePosition = line.InFile(eeg, pair.second);
    t.segment = line.segmentOf[pair.second];
    t.trackerMs = tracker[pair.first].time;
    t.residualMs = residuals[p];
    t.seconds = static_cast<double>(t.eegPosition) / sync.eegRate;
    if (kept[p] || f.outliers == m.pairs.size()) shifts.push_back(t.seconds - t.trackerMs / 1000.0);
    report.triggers.push_back(t);

    ReportSegment& segment = report.segments[static_cast<size_t>(t.segment)];
    ++segment.matched;
    if (!kept[p]) ++segment.outliers;
  }
  // Per segment: mean and largest residual of the pairs the model kept.
  std::vector<double> sums(report.segments.size(), 0.0);
  std::vector<uint64_t> counts(report.segments.size(), 0);
  for (const ReportTrigger& t : report.triggers) {
    if (t.status != TriggerStatus::Matched || std::isnan(t.residualMs)) continue;
    ReportSegment& segment = report.segments[static_cast<size_t>(t.segment)];
    sums[static_cast<size_t>(t.segment)] += t.residualMs;
    ++counts[static_cast<size_t>(t.segment)];
    segment.residualLargestMs = std::isnan(segment.residualLargestMs) ? std::fabs(t.residualMs)
                                                                      : std::max(segment.residualLargestMs, std::fabs(t.residualMs));
  }
  for (size_t k = 0; k < report.segments.size(); ++k) {
    if (counts[k]) report.segments[k].residualMeanMs = sums[k] / static_cast<double>(counts[k]);
  }

  // The tracker's own triggers go onto the axis at the nominal rate, where the pairs put them.
  if (!shifts.empty()) {
    report.trackerAxisShiftS = Median(shifts);
    report.trackerAxisFromPairs = true;
  } else {
    report.trackerAxisShiftS = -sync.trackerStartMs / 1000.0;
    const auto firstEeg = std::find_if(eeg.begin(), eeg.end(), IsTriggerMarker);
    if (firstEeg != eeg.end() && !tracker.empty()) {
      report.trackerAxisShiftS = static_cast<double>(line.Merged(eeg, static_cast<size_t>(firstEeg - eeg.begin()))) / sync.eegRate -
                                 tracker.front().time / 1000.0;
    }
  }
  auto trackerOnly = [&](const CMarker& marker, TriggerStatus status) {
    ReportTrigger t;
    t.code = marker.code;
    t.status = status;
    t.onTracker = true;
    t.trackerMs = marker.time;
    t.seconds = marker.time / 1000.0 + report.trackerAxisShiftS;
    report.triggers.push_back(t);
  };
  for (size_t j = 0; j < eeg.size(); ++j) {
    if (eegPaired[j] || !IsTriggerMarker(eeg[j])) continue;
    ReportTrigger t;
    t.code = eeg[j].code;
    t.onEeg = true;
    t.eegPosition = line.Merged(eeg, j);
    t.eegFilePosition = line.InFile(eeg, j);
    t.segment = line.segmentOf[j];
    t.seconds = static_cast<double>(t.eegPosition) / sync.eegRate;
    report.triggers.push_back(t);
    ++f.unmatchedEeg;
  }
  for (size_t i = 0; i < tracker.size(); ++i) {
    if (trackerPaired[i] || !IsTriggerMarker(tracker[i])) continue;
    trackerOnly(tracker[i], TriggerStatus::Unmatched);
    ++f.unmatchedTracker;
  }
  for (const CMarker& marker : sync.removedTriggers) trackerOnly(marker, TriggerStatus::Removed);
  std::stable_sort(report.triggers.begin(), report.triggers.end(),
                   [](const ReportTrigger& a, const ReportTrigger& b) { return a.seconds < b.seconds; });

  for (size_t s = 0; s < sync.sets.size(); ++s) {
    const SyncInfo& info = sync.sets[s];
    ReportSet set;
    set.name = s < run.setNames.size() ? run.setNames[s] : run.setName;
    set.drift = info.drift;
    set.rateHz = info.outputRate;
    set.samples = info.outputSamples;
    set.channels = info.outputChannels;
    report.sets.push_back(set);
  }
  ListOptions(params, report);
  Judge(sync, params, report);
  return report;
}
