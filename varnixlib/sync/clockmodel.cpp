#include "varnixlib/sync/clockmodel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

/// How far the recording PC's clock may misplace a segment date, ms (one standard deviation of
/// the error of a gap between two dates).
constexpr double kDateSpreadMs = 2.5;

/// Beyond this many segments with triggers the corrections are estimated segment by segment and
/// only rounded: the joint solution and the search grow with the square of the segment count.
constexpr size_t kMaxJointSegments = 300;

/// Least-squares line of (time, position + c) over the pairs that take part.
struct Line {
  double a = 0.0;
  double b = 0.0;
  bool ok = false;
};

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  const size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
  double m = values[mid];
  if (values.size() % 2 == 0) {
    m = (m + *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid))) / 2.0;
  }
  return m;
}

class Fitter {
 public:
  Fitter(const std::vector<ClockPair>& pairs, size_t segments, double origin)
      : myPairs(pairs), mySegments(segments), myOrigin(origin) {}

  double X(size_t p) const { return myPairs[p].time - myOrigin; }
  double Y(size_t p, const std::vector<double>& c) const { return myPairs[p].position + c[myPairs[p].segment]; }

  /// The segments that hold used pairs, in order; the first is the anchor (its correction is 0).
  std::vector<size_t> Held(const std::vector<uint8_t>& use) const {
    std::vector<uint8_t> held(mySegments, 0);
    for (size_t p = 0; p < myPairs.size(); ++p) {
      if (use[p]) held[myPairs[p].segment] = 1;
    }
    std::vector<size_t> list;
    for (size_t k = 0; k < mySegments; ++k) {
      if (held[k]) list.push_back(k);
    }
    return list;
  }

  /// The dates' word on the corrections: each gap's correction is a measurement error of the
  /// recording PC's clock, about dateSpread wide (squared, in samples), one per gap spanned.
  static double Prior(const std::vector<size_t>& held, const std::vector<double>& c, double dateSpread) {
    double sum = 0.0;
    for (size_t i = 1; i < held.size(); ++i) {
      const double step = c[held[i]] - c[held[i - 1]];
      sum += step * step / (dateSpread * static_cast<double>(held[i] - held[i - 1]));
    }
    return sum;
  }

  /// The continuous least-squares solution of the line and every correction, the pairs weighted
  /// by the registration spread and the corrections held by the dates' prior. False when the
  /// pairs cannot fix a slope.
  bool Continuous(const std::vector<uint8_t>& use, const std::vector<size_t>& held, double registrationSpread,
                  double dateSpread, std::vector<double>& c) const {
    if (held.empty()) return false;
    if (held.size() > kMaxJointSegments) return Separate(use, held, c);
    // Unknowns: a, b, then c of every held segment after the anchor; x centred for conditioning.
    const size_t m = 1 + held.size();
    std::vector<size_t> slot(mySegments, 0);
    for (size_t i = 1; i < held.size(); ++i) slot[held[i]] = 1 + i;
    double n = 0.0, sx = 0.0;
    for (size_t p = 0; p < myPairs.size(); ++p) {
      if (!use[p]) continue;
      n += 1.0;
      sx += X(p);
    }
    const double mx = sx / n;
    std::vector<double> a(m * m, 0.0), r(m, 0.0);
    const double w = 1.0 / registrationSpread;
    for (size_t p = 0; p < myPairs.size(); ++p) {
      if (!use[p]) continue;
      // position = a + b·x - c_k
      const size_t k = slot[myPairs[p].segment];
      const size_t idx[3] = {0, 1, k};
      const double val[3] = {1.0, X(p) - mx, -1.0};
      const size_t terms = k ? 3 : 2;
      for (size_t i = 0; i < terms; ++i) {
        r[idx[i]] += w * val[i] * myPairs[p].position;
        for (size_t j = 0; j < terms; ++j) a[idx[i] * m + idx[j]] += w * val[i] * val[j];
      }
    }
    for (size_t i = 1; i < held.size(); ++i) {
      const double q = 1.0 / (dateSpread * static_cast<double>(held[i] - held[i - 1]));
      const size_t u = slot[held[i]], v = slot[held[i - 1]];
      a[u * m + u] += q;
      if (v) {
        a[v * m + v] += q;
        a[u * m + v] -= q;
        a[v * m + u] -= q;
      }
    }
    // Gaussian elimination with partial pivoting: a few unknowns per segment at most.
    for (size_t col = 0; col < m; ++col) {
      size_t pivot = col;
      for (size_t row = col + 1; row < m; ++row) {
        if (std::fabs(a[row * m + col]) > std::fabs(a[pivot * m + col])) pivot = row;
      }
      if (!(std::fabs(a[pivot * m + col]) > 1e-12)) return false;
      if (pivot != col) {
        for (size_t j = 0; j < m; ++j) std::swap(a[col * m + j], a[pivot * m + j]);
        std::swap(r[col], r[pivot]);
      }
      for (size_t row = col + 1; row < m; ++row) {
        const double f = a[row * m + col] / a[col * m + col];
        if (f == 0.0) continue;
        for (size_t j = col; j < m; ++j) a[row * m + j] -= f * a[col * m + j];
        r[row] -= f * r[col];
      }
    }
    std::vector<double> theta(m, 0.0);
    for (size_t row = m; row-- > 0;) {
      double v = r[row];
      for (size_t j = row + 1; j < m; ++j) v -= a[row * m + j] * theta[j];
      theta[row] = v / a[row * m + row];
    }
    c.assign(mySegments, 0.0);
    for (size_t i = 1; i < held.size(); ++i) c[held[i]] = theta[slot[held[i]]];
    return std::isfinite(theta[1]);
  }

  /// Without the dates' prior, for recordings cut into very many segments: one slope from the
  /// spread inside each segment, one intercept per segment.
  bool Separate(const std::vector<uint8_t>& use, const std::vector<size_t>& held, std::vector<double>& c) const {
    std::vector<double> n(mySegments, 0.0), sx(mySegments, 0.0), sy(mySegments, 0.0);
    for (size_t p = 0; p < myPairs.size(); ++p) {
      if (!use[p]) continue;
      const uint32_t k = myPairs[p].segment;
      n[k] += 1.0;
      sx[k] += X(p);
      sy[k] += myPairs[p].position;
    }
    double sxx = 0.0, sxy = 0.0;
    for (size_t p = 0; p < myPairs.size(); ++p) {
      if (!use[p]) continue;
      const uint32_t k = myPairs[p].segment;
      const double dx = X(p) - sx[k] / n[k];
      sxx += dx * dx;
      sxy += dx * (myPairs[p].position - sy[k] / n[k]);
    }
    if (!(sxx > 0.0)) return false;
    const double slope = sxy / sxx;
    const size_t anchor = held.front();
    const double anchorIntercept = (sy[anchor] - slope * sx[anchor]) / n[anchor];
    c.assign(mySegments, 0.0);
    for (const size_t k : held) c[k] = anchorIntercept - (sy[k] - slope * sx[k]) / n[k];
    return true;
  }

  Line Fit(const std::vector<uint8_t>& use, const std::vector<double>& c) const {
    double n = 0.0, sx = 0.0, sy = 0.0;
    for (size_t p = 0; p < myPairs.size(); ++p) {
      if (!use[p]) continue;
      n += 1.0;
      sx += X(p);
      sy += Y(p, c);
    }
    Line line;
    if (n < 2.0) return line;
    const double mx = sx / n, my = sy / n;
    double sxx = 0.0, sxy = 0.0;
    for (size_t p = 0; p < myPairs.size(); ++p) {
      if (!use[p]) continue;
      sxx += (X(p) - mx) * (X(p) - mx);
      sxy += (X(p) - mx) * (Y(p, c) - my);
    }
    if (!(sxx > 0.0)) return line;
    line.b = sxy / sxx;
    line.a = my - line.b * mx;
    line.ok = true;
    return line;
  }

  double Rss(const std::vector<uint8_t>& use, const std::vector<double>& c, Line* out = nullptr) const {
    const Line line = Fit(use, c);
    if (out) *out = line;
    if (!line.ok) return std::numeric_limits<double>::infinity();
    double rss = 0.0;
    for (size_t p = 0; p < myPairs.size(); ++p) {
      if (!use[p]) continue;
      const double r = Y(p, c) - line.a - line.b * X(p);
      rss += r * r;
    }
    return rss;
  }

 private:
  const std::vector<ClockPair>& myPairs;
  size_t mySegments;
  double myOrigin;
};

}  // namespace

ClockModel FitClockModel(const std::vector<ClockPair>& pairs, const std::vector<uint32_t>& lostBefore,
                         const ClockModelSettings& settings) {
  ClockModel model;
  size_t segments = lostBefore.size();
  for (const ClockPair& p : pairs) segments = std::max<size_t>(segments, p.segment + 1);
  model.corrections.assign(segments, 0);
  model.keptPerSegment.assign(segments, 0);
  model.residuals.assign(pairs.size(), 0.0);
  model.kept.assign(pairs.size(), 0);
  if (pairs.size() < 2 || !(settings.eegRate > 0.0)) {
    model.failure = "fewer than two matched triggers";
    return model;
  }
  model.origin = pairs.front().time;
  const double nominal = settings.eegRate / 1000.0;
  // What the jitter of both registrations can put between a pair and the true line: one EEG
  // sample, the tracker's registration step, and a sample of margin for the line's own error.
  model.tolerance = 1.0 + settings.trackerJitterMs * nominal + 1.0;
  Fitter fitter(pairs, segments, model.origin);

  // A robust start, so that stray pairs cannot tilt the line: the median slope between
  // neighbouring pairs of one segment, the median intercept per segment.
  std::vector<double> slopes;
  for (size_t p = 1; p < pairs.size(); ++p) {
    if (pairs[p].segment != pairs[p - 1].segment) continue;
    const double dx = pairs[p].time - pairs[p - 1].time;
    if (dx > 0.0) slopes.push_back((pairs[p].position - pairs[p - 1].position) / dx);
  }
  if (slopes.empty()) {
    model.failure = "no EEG segment holds two matched triggers at distinct times";
    return model;
  }
  const double b0 = Median(slopes);
  std::vector<std::vector<double>> intercepts(segments);
  for (size_t p = 0; p < pairs.size(); ++p) {
    intercepts[pairs[p].segment].push_back(pairs[p].position - b0 * (pairs[p].time - model.origin));
  }
  std::vector<double> alpha(segments, 0.0);
  size_t anchor = segments;
  for (size_t k = 0; k < segments; ++k) {
    if (intercepts[k].empty()) continue;
    alpha[k] = Median(intercepts[k]);
    if (anchor == segments) anchor = k;
  }
  std::vector<uint8_t> use(pairs.size(), 0);
  // Generous at first (the start is rough); the final pass uses the registration tolerance.
  const double startBound = std::max(4.0 * model.tolerance, 10.0 * nominal);
  for (size_t p = 0; p < pairs.size(); ++p) {
    const double r = pairs[p].position - alpha[pairs[p].segment] - b0 * (pairs[p].time - model.origin);
    use[p] = std::fabs(r) <= startBound ? 1 : 0;
  }

  // Registrations at the next tick spread a pair about its line by a uniform EEG sample less a
  // uniform tracker step; the dates of the recording PC are good to a few ms.
  const double registrationSpread =
      (1.0 + settings.trackerJitterMs * nominal * settings.trackerJitterMs * nominal) / 12.0;
  const double dateSpread = std::pow(kDateSpreadMs * nominal, 2.0);
  std::vector<double> c(segments, 0.0);
  Line line;
  for (int pass = 0; pass < 3; ++pass) {
    const std::vector<size_t> held = fitter.Held(use);
    std::vector<double> continuous;
    if (!fitter.Continuous(use, held, registrationSpread, dateSpread, continuous)) {
      model.failure = "the matched triggers fit no common clock line";
      return model;
    }
    anchor = held.front();
    // Whole samples: start from the rounded estimates, then move by one sample at a time while
    // that lowers the weighted residual sum of squares and the dates' prior together: one segment
    // alone, or one gap (every segment from there on: the slope trades a tilt for a block of
    // segments, so moves of one segment alone can stop short of the optimum).
    for (size_t k = 0; k < segments; ++k) c[k] = std::round(continuous[k]);
    auto objective = [&] { return fitter.Rss(use, c) / registrationSpread + Fitter::Prior(held, c, dateSpread); };
    double best = objective();
    auto shift = [&](size_t k, bool suffix, double step) {
      for (size_t j = k; j < (suffix ? segments : k + 1); ++j) {
        if (j != anchor) c[j] += step;
      }
    };
    // Steepest descent: of all moves, the one that lowers the sum most, until none does (taking
    // the first that helps can walk into a false optimum a slope away from the true one).
    for (int round = 0; round < 64 && held.size() <= kMaxJointSegments; ++round) {
      size_t bestK = segments;
      bool bestSuffix = false;
      double bestStep = 0.0;
      for (const size_t k : held) {
        if (k == anchor) continue;
        for (const bool suffix : {false, true}) {
          for (const double step : {-1.0, 1.0}) {
            shift(k, suffix, step);
            const double value = objective();
            shift(k, suffix, -step);
            if (value < best - 1e-9) {
              best = value;
              bestK = k;
              bestSuffix = suffix;
              bestStep = step;
            }
          }
        }
      }
      if (bestK == segments) break;
      shift(bestK, bestSuffix, bestStep);
    }
    fitter.Rss(use, c, &line);
    if (!line.ok) {
      model.failure = "the matched triggers do not span any time";
      return model;
    }
    const double bound = pass == 0 ? 2.0 * model.tolerance : model.tolerance;
    std::vector<uint8_t> next(pairs.size(), 0);
    for (size_t p = 0; p < pairs.size(); ++p) {
      const double r = fitter.Y(p, c) - line.a - line.b * fitter.X(p);
      next[p] = std::fabs(r) <= bound ? 1 : 0;
    }
    if (std::count(next.begin(), next.end(), 1) < 2) break;
    use = std::move(next);
  }

  // The cumulative corrections become one per segment, on the first segment with pairs after the
  // last one that had some (a segment without pairs keeps its date-derived place).
  double previous = 0.0;
  for (size_t k = 0; k < segments; ++k) {
    if (intercepts[k].empty() || k == anchor) continue;
    if (k < anchor) continue;
    int64_t s = static_cast<int64_t>(c[k] - previous);
    // Fewer than no samples cannot have been lost.
    if (k < lostBefore.size() && s < -static_cast<int64_t>(lostBefore[k])) s = -static_cast<int64_t>(lostBefore[k]);
    model.corrections[k] = static_cast<int32_t>(s);
    previous += static_cast<double>(s);
    c[k] = previous;
  }
  fitter.Rss(use, c, &line);
  model.offset = line.a;
  model.slope = line.b;
  model.fitted = line.ok && line.b > 0.0;
  if (!model.fitted) {
    model.failure = "the fitted clocks run backwards";
    return model;
  }
  model.trackerDelayMs = settings.trackerDelayMs;
  model.delayCompensation = 0.5 - model.slope * settings.trackerDelayMs;
  model.driftPpm = (model.slope / nominal - 1.0) * 1e6;
  double sum = 0.0;
  for (size_t p = 0; p < pairs.size(); ++p) {
    const double r = fitter.Y(p, c) - line.a - line.b * fitter.X(p);
    model.residuals[p] = r;
    if (std::fabs(r) <= model.tolerance) {
      model.kept[p] = 1;
      ++model.keptCount;
      ++model.keptPerSegment[pairs[p].segment];
      sum += r * r;
      model.largest = std::max(model.largest, std::fabs(r));
    }
  }
  model.rms = model.keptCount ? std::sqrt(sum / static_cast<double>(model.keptCount)) : 0.0;
  // Registrations at each device's next tick spread the residuals over about a sample plus the
  // tracker's step. Residuals far narrower than that mean the edges fell where both devices
  // sampled (a test set-up, or hardware that stamps edges exactly): then nothing is late.
  double low = 0.0, high = 0.0;
  for (size_t p = 0; p < pairs.size(); ++p) {
    if (!model.kept[p]) continue;
    low = std::min(low, model.residuals[p]);
    high = std::max(high, model.residuals[p]);
  }
  if (model.keptCount >= 4 && high - low < 0.5 * (1.0 + model.slope * settings.trackerJitterMs)) {
    model.trackerDelayMs = 0.0;
    model.delayCompensation = 0.0;
    model.exactRegistration = true;
  }
  return model;
}

PairVerdict JudgePair(const ClockModel& model, uint64_t pairs, uint64_t trackerTriggers,
                      uint64_t eegTriggers, const ClockModelSettings& settings) {
  PairVerdict verdict;
  const uint64_t shorter = std::min(trackerTriggers, eegTriggers);
  const double toleranceMs = model.tolerance / (settings.eegRate / 1000.0);
  char text[512];
  if (!model.fitted) {
    std::snprintf(text, sizeof text,
                  "%llu of %llu tracker triggers matched the %llu EEG triggers, and no clock model "
                  "fits them (%s): check that both files come from the same session",
                  static_cast<unsigned long long>(pairs), static_cast<unsigned long long>(trackerTriggers),
                  static_cast<unsigned long long>(eegTriggers), model.failure.c_str());
    verdict.reason = text;
    return verdict;
  }
  const double needed = std::max<double>(static_cast<double>(settings.minPairs),
                                         settings.minShare * static_cast<double>(shorter));
  if (static_cast<double>(model.keptCount) < needed ||
      static_cast<double>(model.keptCount) < settings.minWithinShare * static_cast<double>(pairs)) {
    std::snprintf(text, sizeof text,
                  "%llu of %llu tracker triggers matched the %llu EEG triggers; %llu of them within "
                  "%.1f ms of the clock model (at least %.0f needed, and %.0f %% of the matched): "
                  "check that both files come from the same session and that the trigger codes "
                  "reach both devices",
                  static_cast<unsigned long long>(pairs), static_cast<unsigned long long>(trackerTriggers),
                  static_cast<unsigned long long>(eegTriggers),
                  static_cast<unsigned long long>(model.keptCount), toleranceMs, std::ceil(needed),
                  settings.minWithinShare * 100.0);
    verdict.reason = text;
    return verdict;
  }
  if (std::fabs(model.driftPpm) > settings.maxDriftPpm) {
    std::snprintf(text, sizeof text,
                  "the clocks would differ by %.0f ppm (at most %.0f is possible): check the EEG "
                  "sampling interval in the header and that both files come from the same session",
                  model.driftPpm, settings.maxDriftPpm);
    verdict.reason = text;
    return verdict;
  }
  verdict.accepted = true;
  return verdict;
}
