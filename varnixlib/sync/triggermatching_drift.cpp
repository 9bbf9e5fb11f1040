// The clock model of the eye-tracker/EEG pairing: one drift line over the recording and one
// whole-sample shift per EEG segment, and the alignment table of the pairs against it.
#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <limits>
#include <string>

#include "varnixlib/support/report.h"
#include "varnixlib/support/rounding.h"
#include "varnixlib/sync/triggermatching.h"

namespace {

// Standard errors by which a segment's offset from the line must exceed zero before it is shifted.
constexpr double kShiftEvidence = 3.0;

bool Qualifies(const SegmentFit& segment) {
  return segment.holdsPairs && segment.firstPair != segment.lastPair;
}

}  // namespace

bool TriggerMatching::AssignPairsToSegments(MatchingResult& result) const {
  const std::vector<CMarker*>& segments = *myInput.segmentList;
  if (segments.empty()) {
    return Error("TriggerMatching::ModelDrift", "the EEG markers hold no New Segment");
  }
  const std::vector<CMarker>& second = *myInput.second;
  const CMarker* base = second.data();
  result.segments.assign(segments.size(), SegmentFit{});
  for (size_t s = 0; s < segments.size(); ++s) {
    const CMarker* marker = segments[s];
    if (marker < base || marker >= base + second.size() ||
        (s > 0 && marker <= segments[s - 1])) {
      return Error("TriggerMatching::ModelDrift", "segment list does not follow the EEG markers");
    }
    result.segments[s].marker = static_cast<uint64_t>(marker - base);
    result.segments[s].samplesInserted = marker->samplesInserted;
  }
  // Pairs and segment markers both run in list order, so one forward walk assigns them.
  size_t s = 0;
  for (uint64_t p = 0; p < result.pairs.size(); ++p) {
    const uint64_t j = result.pairs[p].second;
    while (s + 1 < segments.size() && result.segments[s + 1].marker < j) ++s;
    SegmentFit& segment = result.segments[s];
    if (!segment.holdsPairs) {
      segment.holdsPairs = true;
      segment.firstPair = static_cast<uint32_t>(p);
    }
    segment.lastPair = static_cast<uint32_t>(p);
  }
  return true;
}

int32_t TriggerMatching::FindSegmentShift(const MatchingResult& result, const SegmentFit& segment,
                                          double x0, double y0, double slope) {
  const double d = std::sqrt(slope * slope + 1.0);
  const uint32_t firstPair = segment.firstPair;
  const uint32_t lastPair = segment.lastPair;
  // D(k): summed signed distance of the segment's points, shifted by k EEG samples, from the line.
  auto distance = [&](int32_t k) {
    double sum = 0.0;
    for (uint64_t p = firstPair; p <= lastPair; ++p) {
      const uint32_t y = result.Y(p) + static_cast<uint32_t>(k);
      const double dy = static_cast<double>(y) - y0;
      const double dx = static_cast<double>(result.X(p)) - x0;
      sum += (dy - slope * dx) / d;
    }
    return sum;
  };
  auto better = [](double value, int32_t k, double bestValue, int32_t bestK) {
    return value < bestValue || (value == bestValue && std::abs(k) < std::abs(bestK));
  };
  constexpr int32_t kLimit = 1 << 30;

  const double at0 = distance(0);
  if (!std::isfinite(at0)) return 0;
  int32_t best = 0;
  double bestValue = std::fabs(at0);
  // D is linear in k (each sample adds pairs/d), so |D| has one minimum; jumping to its estimate
  // and walking on from there ends where a walk from 0 would, without thousands of trials when a
  // segment date is far off.
  const double pairs = static_cast<double>(lastPair - firstPair) + 1.0;
  const double jump = RoundHalfAway(-at0 * d / pairs);
  if (jump != 0.0 && std::fabs(jump) < kLimit) {
    const int32_t k = static_cast<int32_t>(jump);
    const double value = std::fabs(distance(k));
    if (better(value, k, bestValue, best)) {
      best = k;
      bestValue = value;
    }
  }
  for (const int32_t step : {1, -1}) {
    for (int32_t k = best + step; std::abs(k) < kLimit; k += step) {
      const double value = std::fabs(distance(k));
      if (!better(value, k, bestValue, best)) break;
      best = k;
      bestValue = value;
    }
  }
  return best;
}

bool TriggerMatching::ShiftIsSupported(const MatchingResult& result, const SegmentFit& segment,
                                       uint32_t x0, uint32_t y0, double count, double meanX,
                                       double meanY, double spreadXX, double spreadXY,
                                       double spreadYY, int32_t shift) {
  if (shift == 0) return true;
  // The segment's mean offset from the line, in EEG samples, and its standard error: the scatter
  // of the pairs already placed, over this segment's pairs and the line's own uncertainty there.
  // Where the triggers cannot tell one sample from the sampling jitter (a coarse tracker grid
  // beside a fast EEG, few triggers, a long way from the placed pairs), the segment dates stand.
  if (count <= 2.0 || !(spreadXX > 0.0)) return true;
  const double slope = spreadXY / spreadXX;
  double sumX = 0.0;
  double sumResidual = 0.0;
  const double n = static_cast<double>(segment.lastPair - segment.firstPair) + 1.0;
  for (uint64_t p = segment.firstPair; p <= segment.lastPair; ++p) {
    const double dx = static_cast<double>(static_cast<int64_t>(result.X(p)) - x0);
    const double dy = static_cast<double>(static_cast<int64_t>(result.Y(p)) - y0);
    sumX += dx;
    sumResidual += dy - (meanY + slope * (dx - meanX));
  }
  const double offset = sumResidual / n;
  const double scatter = std::max(0.0, spreadYY - spreadXY * slope) / (count - 2.0);
  const double lever = sumX / n - meanX;
  const double error = std::sqrt(scatter * (1.0 / n + 1.0 / count + lever * lever / spreadXX));
  return std::fabs(offset) > kShiftEvidence * error;
}

void TriggerMatching::ApplyShift(MatchingResult& result, uint64_t s, int32_t shift) const {
  SegmentFit& segment = result.segments[s];
  // The shift becomes frames inserted before the segment; fewer than none cannot be inserted, so
  // the markers then move only as far as the data can.
  if (shift < 0 && static_cast<uint32_t>(-static_cast<int64_t>(shift)) > segment.samplesInserted) {
    Warning("TriggerMatching::ModelDrift shift limited to the samples lost before segment",
            std::to_string(s + 1) + ": " + std::to_string(shift) + " -> -" +
                std::to_string(segment.samplesInserted));
    shift = -static_cast<int32_t>(segment.samplesInserted);
  }
  // Only this segment's own gap grows: each segment's gap is inserted on its own, so adding the
  // shift to later gaps too would move their data twice while their markers move once.
  segment.samplesInserted += static_cast<uint32_t>(shift);
  segment.correction = shift;
  // Every pair from the segment's first on moves with it (BrainampVmrk::ShiftSegment does the
  // same to the EEG markers themselves).
  for (uint64_t p = segment.firstPair; p < result.pairs.size(); ++p) {
    result.secondPositions[p] += static_cast<uint32_t>(shift);
  }
}

bool TriggerMatching::ModelDrift(MatchingResult& result) const {
  if (myInput.segmentList == nullptr) return true;
  if (!AssignPairsToSegments(result)) return false;
  std::vector<SegmentFit>& segments = result.segments;

  uint64_t firstSegment = segments.size();
  uint64_t endSegment = 0;
  for (uint64_t s = 0; s < segments.size(); ++s) {
    if (!Qualifies(segments[s])) continue;
    if (firstSegment == segments.size()) firstSegment = s;
    endSegment = s + 1;
  }
  result.firstSegment = firstSegment;
  result.endSegment = endSegment;
  if (endSegment == 0) {
    return Error("TriggerMatching::ModelDrift",
                 "no EEG segment holds two matched triggers: the clocks cannot be modelled");
  }
  auto X = [&](uint64_t p) { return result.X(p); };
  auto Y = [&](uint64_t p) { return result.Y(p); };

  // Per-segment slopes, for the log only; summed in 64 bits since an hour of offsets overflows 32.
  double slopeSum = 0.0;
  uint64_t slopeCount = 0;
  for (uint64_t s = firstSegment; s < endSegment; ++s) {
    SegmentFit& segment = segments[s];
    if (!segment.holdsPairs) continue;
    uint64_t sx = 0;
    uint64_t sy = 0;
    for (uint64_t p = segment.firstPair + 1ull; p <= segment.lastPair; ++p) {
      sx += X(p) - X(segment.firstPair);
      sy += Y(p) - Y(segment.firstPair);
    }
    segment.slope = sx == 0 ? std::numeric_limits<double>::quiet_NaN()
                            : static_cast<double>(sy) / static_cast<double>(sx);
    slopeSum += segment.slope;
    ++slopeCount;
  }
  result.matchingSlope = slopeSum / static_cast<double>(slopeCount);

  const SegmentFit& anchor = segments[firstSegment];
  const uint32_t x0 = X(anchor.firstPair);
  const uint32_t y0 = Y(anchor.firstPair);
  // Each later segment is placed against the least-squares line of every pair already placed.
  // A line through one pair, tilted towards another, carries those two pairs' sampling jitter
  // (a sample or more) into every later segment and picks a wrong shift about every other time.
  double count = 0.0, meanX = 0.0, meanY = 0.0, spreadXX = 0.0, spreadXY = 0.0, spreadYY = 0.0;
  auto place = [&](const SegmentFit& segment) {
    for (uint64_t p = segment.firstPair; p <= segment.lastPair; ++p) {
      const double dx = static_cast<double>(static_cast<int64_t>(X(p)) - x0);
      const double dy = static_cast<double>(static_cast<int64_t>(Y(p)) - y0);
      count += 1.0;
      const double stepX = dx - meanX;
      const double stepY = dy - meanY;
      meanX += stepX / count;
      meanY += stepY / count;
      spreadXX += stepX * (dx - meanX);
      spreadXY += stepX * (dy - meanY);
      spreadYY += stepY * (dy - meanY);
    }
  };
  for (uint64_t s = firstSegment; s < endSegment; ++s) {
    if (!segments[s].holdsPairs) continue;
    if (s != firstSegment) {
      const double slope = spreadXX > 0.0 ? spreadXY / spreadXX : result.matchingSlope;
      const int32_t shift = FindSegmentShift(result, segments[s], x0 + meanX, y0 + meanY, slope);
      ApplyShift(result, s,
                 ShiftIsSupported(result, segments[s], x0, y0, count, meanX, meanY, spreadXX,
                                  spreadXY, spreadYY, shift)
                     ? shift
                     : 0);
    }
    const SegmentFit& segment = segments[s];
    place(segment);
    const uint32_t dx = X(segment.lastPair) - x0;
    const uint32_t dy = Y(segment.lastPair) - y0;
    if (dx != 0) result.matchingSlope = static_cast<double>(dy) / static_cast<double>(dx);
  }

  TabulateAlignment(result);
  return true;
}

void TriggerMatching::TabulateAlignment(MatchingResult& result) {
  const std::vector<SegmentFit>& segments = result.segments;
  const SegmentFit& anchor = segments[result.firstSegment];
  const uint32_t x0 = result.X(anchor.firstPair);
  const uint32_t y0 = result.Y(anchor.firstPair);
  const double slope = result.matchingSlope;
  result.alignment.clear();
  double sumX = 0.0, sumY = 0.0, sumXY = 0.0, sumXX = 0.0, sumYY = 0.0;
  // The EEG positions already carry the shifts and the frames inserted before each segment; the
  // two comparison columns take them back out: the shifts (kc, the sum of the corrections up to
  // this segment), then every frame inserted between the anchor and this segment as well (gaps,
  // which hold the shifts too), i.e. the trigger's place in the recorded data file.
  int64_t kc = 0;
  int64_t gaps = 0;
  for (uint64_t s = result.firstSegment; s < result.endSegment; ++s) {
    const SegmentFit& segment = segments[s];
    if (s != result.firstSegment) gaps += segment.samplesInserted;
    if (!segment.holdsPairs) continue;
    kc += segment.correction;
    for (uint64_t p = segment.firstPair; p <= segment.lastPair; ++p) {
      const double dx = static_cast<uint32_t>(result.X(p) - x0);
      const double dy = static_cast<uint32_t>(result.Y(p) - y0);
      AlignmentRow row;
      row.code = result.codes[p];
      row.withShifts = dx - dy / slope;
      row.withoutShifts = dx - (dy - static_cast<double>(kc)) / slope;
      row.asRecorded = dx - (dy - static_cast<double>(gaps)) / slope;
      result.alignment.push_back(row);
      const double xv = dx;
      const double yv = dy / slope;
      sumX += xv;
      sumY += yv;
      sumXY += xv * yv;
      sumXX += xv * xv;
      sumYY += yv * yv;
    }
  }
  const double rows = static_cast<double>(result.alignment.size());
  const double spread = (rows * sumXX - sumX * sumX) * (rows * sumYY - sumY * sumY);
  const double r = spread > 0.0 ? (rows * sumXY - sumX * sumY) / std::sqrt(spread) : 0.0;
  result.rSquared = r * r;
}

void TriggerMatching::Summarize(const MatchingResult& result, MatchSummary& summary, bool print) {
  const uint64_t count = result.pairs.size();
  summary = MatchSummary{};
  if (count == 0) return;
  summary.codes.reserve(count);
  summary.firstOffsets.reserve(count);
  summary.secondOffsets.reserve(count);
  summary.roundedErrors.reserve(count);
  const int64_t x0 = result.X(0);
  const int64_t y0 = result.Y(0);
  const double xL = static_cast<double>(static_cast<int64_t>(result.X(count - 1)) - x0);
  const double yL = static_cast<double>(static_cast<int64_t>(result.Y(count - 1)) - y0);
  summary.x0 = static_cast<int32_t>(x0);
  summary.y0 = static_cast<int32_t>(y0);
  const double ratio = yL != 0.0 ? xL / yL : 0.0;
  const bool degenerate = std::sqrt(xL * xL + yL * yL) < 1e-6;
  double sumY = 0.0, sumYY = 0.0, residual = 0.0;
  const std::ios_base::fmtflags flags = std::cout.flags();
  const std::streamsize precision = std::cout.precision();
  if (print) std::cout << std::fixed << std::setprecision(2);
  for (uint64_t p = 0; p < count; ++p) {
    const int64_t x = static_cast<int64_t>(result.X(p)) - x0;
    const int64_t y = static_cast<int64_t>(result.Y(p)) - y0;
    const double error = static_cast<double>(x) - static_cast<double>(y) * ratio;
    summary.codes.push_back(result.codes[p]);
    summary.firstOffsets.push_back(static_cast<int32_t>(x));
    summary.secondOffsets.push_back(static_cast<int32_t>(y));
    const double rounded = std::clamp(RoundHalfAway(error), -32768.0, 32767.0);
    summary.roundedErrors.push_back(static_cast<int16_t>(rounded));
    if (print) std::cout << error << ' ';
    const double predicted = degenerate ? 0.0 : static_cast<double>(x) * yL / xL;
    residual += (static_cast<double>(y) - predicted) * (static_cast<double>(y) - predicted);
    sumY += static_cast<double>(y);
    sumYY += static_cast<double>(y) * static_cast<double>(y);
  }
  if (print) {
    std::cout << std::endl;
    std::cout.flags(flags);
    std::cout.precision(precision);
  }
  const double total = sumYY - sumY * sumY / static_cast<double>(count);
  summary.R2 = total > 0.0 ? 1.0 - residual / total : 0.0;
}
