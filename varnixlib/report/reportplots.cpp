#include "varnixlib/report/reportplots.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "varnixlib/report/reporttext.h"

namespace ReportPlots {
namespace {

using ReportText::Fixed;
using ReportText::Signed;
using ReportText::Xml;

constexpr double kWidth = 960.0;
constexpr const char* kGrid = "#D9D9D9";
constexpr const char* kInk = "#222222";
constexpr const char* kMuted = "#555555";

/// A pixel coordinate: a tenth of a pixel is finer than any screen, and keeps the files small.
std::string P(double v) { return Fixed(v, 1); }

/// The plot area in pixels and the data range it shows.
struct Area {
  double left = 0.0, top = 0.0, width = 0.0, height = 0.0;
  double x0 = 0.0, x1 = 1.0, y0 = 0.0, y1 = 1.0;
  double X(double v) const { return left + (v - x0) / (x1 - x0) * width; }
  double Y(double v) const { return top + height - (v - y0) / (y1 - y0) * height; }
  double Right() const { return left + width; }
  double Bottom() const { return top + height; }
  /// x clamped a little outside the area, so that far-off marks stay drawable.
  double ClampX(double v) const { return std::clamp(X(v), left - 2.0, Right() + 2.0); }
};

/// The time unit of an axis: seconds for short recordings, minutes for long ones.
struct TimeUnit {
  double seconds = 1.0;
  const char* name = "s";
};

TimeUnit UnitFor(double spanSeconds) {
  if (spanSeconds > 600.0) return {60.0, "min"};
  return {};
}

std::string Text(double x, double y, const std::string& text, const char* anchor = "start", const char* cls = "") {
  std::string out = "<text x=\"" + P(x) + "\" y=\"" + P(y) + "\"";
  if (std::string(anchor) != "start") out += " text-anchor=\"" + std::string(anchor) + "\"";
  if (*cls) out += " class=\"" + std::string(cls) + "\"";
  return out + ">" + Xml(text) + "</text>";
}

std::string Rect(double x, double y, double w, double h, const std::string& fill, const std::string& extra = "") {
  return "<rect x=\"" + P(x) + "\" y=\"" + P(y) + "\" width=\"" + P(std::max(w, 0.0)) + "\" height=\"" +
         P(std::max(h, 0.0)) + "\" fill=\"" + fill + "\"" + (extra.empty() ? "" : " " + extra) + "/>";
}

std::string Line(double x1, double y1, double x2, double y2, const std::string& stroke, double width,
                 const std::string& extra = "") {
  return "<line x1=\"" + P(x1) + "\" y1=\"" + P(y1) + "\" x2=\"" + P(x2) + "\" y2=\"" + P(y2) + "\" stroke=\"" + stroke +
         "\" stroke-width=\"" + Fixed(width, 1) + "\"" + (extra.empty() ? "" : " " + extra) + "/>";
}

std::string Open(const std::string& id, double height, const std::string& label) {
  return "<svg id=\"" + id + "\" class=\"plot\" viewBox=\"0 0 " + P(kWidth) + " " + P(height) +
         "\" role=\"img\" aria-label=\"" + Xml(label) + "\">\n<title>" + Xml(label) + "</title>\n";
}

/// The hatch that marks samples the EEG did not record, and the clip of a plot area.
std::string Defs(const std::string& id, const std::vector<std::pair<std::string, Area>>& clips) {
  std::string out = "<defs>\n<pattern id=\"" + id + "-hatch\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
                    "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#FFFFFF\"/>"
                    "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"" + std::string(kLost) + "\" stroke-width=\"3\"/></pattern>\n";
  out += "<pattern id=\"" + id + "-outhatch\" width=\"5\" height=\"5\" patternUnits=\"userSpaceOnUse\" "
         "patternTransform=\"rotate(-45)\"><rect width=\"5\" height=\"5\" fill=\"" + std::string(kOutlier) + "\"/>"
         "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"5\" stroke=\"#FFFFFF\" stroke-width=\"1.5\"/></pattern>\n";
  for (const auto& [name, a] : clips) {
    out += "<clipPath id=\"" + name + "\"><rect x=\"" + P(a.left) + "\" y=\"" + P(a.top - 1.0) + "\" width=\"" +
           P(a.width) + "\" height=\"" + P(a.height + 2.0) + "\"/></clipPath>\n";
  }
  return out + "</defs>\n";
}

/// Grid, tick labels and the title of the x axis.
std::string XAxis(const Area& a, const std::string& title, int count, bool grid = true) {
  std::string out;
  const double step = ReportText::TickStep(a.x0, a.x1, count);
  const int decimals = ReportText::TickDecimals(step);
  for (const double t : ReportText::Ticks(a.x0, a.x1, count)) {
    const double x = a.X(t);
    if (grid) out += Line(x, a.top, x, a.Bottom(), kGrid, 1.0) + "\n";
    out += Line(x, a.Bottom(), x, a.Bottom() + 5.0, kInk, 1.0);
    out += Text(x, a.Bottom() + 19.0, Fixed(t, decimals), "middle", "tick") + "\n";
  }
  out += Line(a.left, a.Bottom(), a.Right(), a.Bottom(), kInk, 1.2) + "\n";
  out += Text(a.left + a.width / 2.0, a.Bottom() + 40.0, title, "middle", "axis") + "\n";
  return out;
}

std::string YAxis(const Area& a, const std::string& title, int count, bool signedLabels) {
  std::string out;
  const double step = ReportText::TickStep(a.y0, a.y1, count);
  const int decimals = ReportText::TickDecimals(step);
  for (const double t : ReportText::Ticks(a.y0, a.y1, count)) {
    const double y = a.Y(t);
    out += Line(a.left, y, a.Right(), y, kGrid, 1.0) + "\n";
    out += Line(a.left - 5.0, y, a.left, y, kInk, 1.0);
    out += Text(a.left - 8.0, y + 4.0, signedLabels ? Signed(t, decimals) : Fixed(t, decimals), "end", "tick") + "\n";
  }
  out += Line(a.left, a.top, a.left, a.Bottom(), kInk, 1.2) + "\n";
  const double cx = a.left - 52.0, cy = a.top + a.height / 2.0;
  out += "<text x=\"" + P(cx) + "\" y=\"" + P(cy) + "\" text-anchor=\"middle\" class=\"axis\" transform=\"rotate(-90 " +
         P(cx) + " " + P(cy) + ")\">" + Xml(title) + "</text>\n";
  return out;
}

/// A row of legend entries: each a swatch drawn at (x, y) and its words.
class Legend {
 public:
  Legend(double x, double y) : myLeft(x), myX(x), myY(y) {}
  void Add(const std::function<std::string(double, double)>& swatch, const std::string& words) {
    // Close enough to the width of the legend's font to keep entries apart.
    const double width = 20.0 + 6.6 * static_cast<double>(words.size()) + 22.0;
    if (myX > myLeft && myX + width > kWidth - 10.0) {
      myX = myLeft;
      myY += 20.0;
    }
    myOut += swatch(myX, myY) + Text(myX + 20.0, myY + 4.0, words, "start", "legend") + "\n";
    myX += width;
  }
  const std::string& Svg() const { return myOut; }

 private:
  double myLeft, myX, myY;
  std::string myOut;
};

std::string Dot(double x, double y, const char* colour, double size = 5.0) {
  return "<path d=\"M" + P(x) + " " + P(y) + "h0\" stroke=\"" + colour + "\" stroke-width=\"" + Fixed(size, 1) +
         "\" stroke-linecap=\"round\"/>";
}

/// A cross: outliers keep their shape where colours cannot be told apart.
std::string CrossPath(double x, double y) {
  return "M" + P(x - 3.5) + " " + P(y - 3.5) + "l7 7m0 -7l-7 7";
}

/// A triangle on the edge of the area for a value beyond it, pointing the way it lies.
std::string EdgePath(double x, double y, bool up) {
  return up ? "M" + P(x) + " " + P(y) + "l-4.5 8h9z" : "M" + P(x) + " " + P(y) + "l-4.5 -8h9z";
}

/// Segment shading, lost stretches and overflows over the time axis of an area, from top to bottom.
std::string Recording(const SyncReport& r, const Area& a, const TimeUnit& unit, const std::string& id, double top,
                      double bottom, bool labels) {
  std::string out;
  const double rate = r.eegRate;
  const size_t n = r.segments.size();
  for (size_t k = 0; k < n; ++k) {
    const ReportSegment& s = r.segments[k];
    const double from = static_cast<double>(s.start) / rate / unit.seconds;
    const int64_t endSample = k + 1 < n ? r.segments[k + 1].start - r.segments[k + 1].inserted : r.eegMergedSamples;
    const double to = static_cast<double>(endSample) / rate / unit.seconds;
    const double x0 = a.ClampX(from), x1 = a.ClampX(to);
    out += Rect(x0, top, x1 - x0, bottom - top, k % 2 ? "#ECECEC" : "#F7F7F7") + "\n";
    if (labels && n > 1) {
      // Above the area, where no mark of the data can cover it; narrow segments get their number.
      const std::string name = x1 - x0 > 150.0 && s.afterOverflow ? "segment " + std::to_string(k + 1) + ", after an overflow"
                               : x1 - x0 > 70.0                     ? "segment " + std::to_string(k + 1)
                                                                    : std::to_string(k + 1);
      out += Text(x0 + 3.0, top - 5.0, name, "start", "note") + "\n";
    }
    if (k > 0 && s.inserted > 0) {
      const double lostFrom = static_cast<double>(s.start - s.inserted) / rate / unit.seconds;
      const double g0 = a.ClampX(lostFrom);
      // A short gap of a long recording is narrower than a pixel; it stays visible.
      const double w = std::max(a.ClampX(from) - g0, 3.0);
      out += Rect(g0, top, w, bottom - top, "url(#" + id + "-hatch)", "stroke=\"" + std::string(kLost) + "\" stroke-width=\"0.8\"") + "\n";
    }
  }
  for (const ReportOverflow& o : r.overflows) {
    const double x = a.ClampX(static_cast<double>(o.eegPosition) / rate / unit.seconds);
    out += Line(x, top, x, bottom, kOverflow, 2.0, "stroke-dasharray=\"6 3\"") + "\n";
  }
  return out;
}

/// The recording's span in seconds, with the triggers that lie outside the EEG.
std::pair<double, double> TimeSpan(const SyncReport& r) {
  double lo = 0.0, hi = static_cast<double>(r.eegMergedSamples) / r.eegRate;
  for (const ReportTrigger& t : r.triggers) {
    lo = std::min(lo, t.onTracker ? t.trackerMs / 1000.0 + r.trackerAxisShiftS : t.seconds);
    hi = std::max(hi, t.onTracker ? t.trackerMs / 1000.0 + r.trackerAxisShiftS : t.seconds);
    lo = std::min(lo, t.seconds);
    hi = std::max(hi, t.seconds);
  }
  if (!(hi > lo)) hi = lo + 1.0;
  return {lo, hi};
}

double OutputSampleMs(const SyncReport& r) {
  return r.figures.outputRateHz > 0.0 ? 1000.0 / r.figures.outputRateHz : kNoValue;
}

bool IsPair(const ReportTrigger& t) {
  return (t.status == TriggerStatus::Matched || t.status == TriggerStatus::Outlier) && std::isfinite(t.residualMs);
}

}  // namespace

std::string ResidualPlot(const SyncReport& r) {
  const double height = 440.0;
  Area a;
  a.left = 84.0;
  a.top = 84.0;
  a.width = kWidth - a.left - 24.0;
  a.height = height - a.top - 64.0;
  const double spanSeconds = static_cast<double>(r.eegMergedSamples) / r.eegRate;
  const TimeUnit unit = UnitFor(spanSeconds);
  a.x0 = 0.0;
  a.x1 = std::max(spanSeconds, 1e-3) / unit.seconds;

  // The range shows the kept pairs, the one-sample band and the tolerance in full; outliers far
  // beyond would flatten all of that into a line, so they stop at four times that range.
  const double band = OutputSampleMs(r);
  double kept = 0.0, all = 0.0;
  bool any = false;
  for (const ReportTrigger& t : r.triggers) {
    if (!IsPair(t)) continue;
    any = true;
    all = std::max(all, std::fabs(t.residualMs));
    if (t.status == TriggerStatus::Matched) kept = std::max(kept, std::fabs(t.residualMs));
  }
  double base = std::max(kept, std::isfinite(band) ? band : 0.0);
  if (std::isfinite(r.clock.toleranceMs)) base = std::max(base, r.clock.toleranceMs);
  if (!(base > 0.0)) base = std::max(all, 1.0);
  const double limit = std::min(std::max(all, base), 4.0 * base) * 1.12;
  a.y0 = -limit;
  a.y1 = limit;

  std::string s = Open("plot-residuals", height, "Plot 1: residual of every matched trigger over the recording");
  s += Defs("p1", {{"p1-clip", a}});
  s += Recording(r, a, unit, "p1", a.top, a.Bottom(), true);
  if (std::isfinite(band)) s += Rect(a.left, a.Y(band), a.width, a.Y(-band) - a.Y(band), kBand, "fill-opacity=\"0.22\"") + "\n";
  s += YAxis(a, "Residual (ms): EEG later than the model is positive", 8, true);
  s += XAxis(a, std::string("Recording time on the EEG (") + unit.name + ")", 10, false);
  s += Line(a.left, a.Y(0.0), a.Right(), a.Y(0.0), kMuted, 1.0) + "\n";
  if (std::isfinite(r.clock.toleranceMs) && r.clock.toleranceMs < limit) {
    for (const double sign : {1.0, -1.0}) {
      s += Line(a.left, a.Y(sign * r.clock.toleranceMs), a.Right(), a.Y(sign * r.clock.toleranceMs), kInk, 1.2,
                "stroke-dasharray=\"7 4\"") + "\n";
    }
    s += Text(a.Right() - 4.0, a.Y(r.clock.toleranceMs) - 4.0, "tolerance " + Signed(r.clock.toleranceMs, 1) + " ms", "end", "note") + "\n";
  }

  // Tracker triggers the overflow repair removed, as a rug along the bottom.
  std::string rug;
  for (const ReportTrigger& t : r.triggers) {
    if (t.status != TriggerStatus::Removed) continue;
    const double x = a.X(t.seconds / unit.seconds);
    rug += "M" + P(x) + " " + P(a.Bottom() - 12.0) + "v12";
  }
  if (!rug.empty()) s += "<path d=\"" + rug + "\" stroke=\"" + std::string(kOverflow) + "\" stroke-width=\"2\"/>\n";

  std::string dots, crosses, edges, edgeOutliers;
  uint64_t beyond = 0;
  for (const ReportTrigger& t : r.triggers) {
    if (!IsPair(t)) continue;
    const double x = a.X(t.seconds / unit.seconds);
    const bool outlier = t.status == TriggerStatus::Outlier;
    if (std::fabs(t.residualMs) > limit) {
      ++beyond;
      (outlier ? edgeOutliers : edges) += EdgePath(x, t.residualMs > 0 ? a.top : a.Bottom(), t.residualMs > 0);
      continue;
    }
    const double y = a.Y(t.residualMs);
    if (outlier) {
      crosses += CrossPath(x, y);
    } else {
      dots += "M" + P(x) + " " + P(y) + "h0";
    }
  }
  s += "<g clip-path=\"url(#p1-clip)\">\n";
  // Thousands of dots of the plain size would merge into bars.
  const std::string dotSize = r.figures.matched > 1000 ? "3.2" : "5";
  if (!dots.empty()) {
    s += "<path d=\"" + dots + "\" stroke=\"" + std::string(kKept) + "\" stroke-width=\"" + dotSize + "\" stroke-linecap=\"round\"/>\n";
  }
  if (!crosses.empty()) s += "<path d=\"" + crosses + "\" stroke=\"" + std::string(kOutlier) + "\" stroke-width=\"2\" fill=\"none\"/>\n";
  s += "</g>\n";
  if (!edges.empty()) s += "<path d=\"" + edges + "\" fill=\"" + std::string(kKept) + "\"/>\n";
  if (!edgeOutliers.empty()) s += "<path d=\"" + edgeOutliers + "\" fill=\"" + std::string(kOutlier) + "\"/>\n";
  if (!any) s += Text(a.left + a.width / 2.0, a.top + a.height / 2.0 - 12.0, "no residuals: no clock model", "middle", "empty") + "\n";

  Legend legend(a.left, 22.0);
  legend.Add([](double x, double y) { return Dot(x + 6.0, y, kKept, 6.0); }, "matched, kept by the model");
  legend.Add([](double x, double y) { return "<path d=\"" + CrossPath(x + 6.0, y) + "\" stroke=\"" + kOutlier + "\" stroke-width=\"2\"/>"; },
             "outlier");
  if (std::isfinite(band)) {
    legend.Add([](double x, double y) { return Rect(x, y - 6.0, 14.0, 12.0, kBand, "fill-opacity=\"0.35\""); },
               "\u00b1 one output sample (\u00b1" + Fixed(band, 2) + " ms)");
  }
  legend.Add([](double x, double y) { return Rect(x, y - 6.0, 14.0, 12.0, "url(#p1-hatch)", std::string("stroke=\"") + kLost + "\""); },
             "samples lost");
  if (!r.overflows.empty() || r.figures.removed > 0) {
    legend.Add([](double x, double y) { return Line(x + 7.0, y - 7.0, x + 7.0, y + 7.0, kOverflow, 2.0); },
               "buffer overflow, removed triggers");
  }
  if (beyond > 0) {
    legend.Add([](double x, double y) { return "<path d=\"" + EdgePath(x + 7.0, y - 5.0, true) + "\" fill=\"" + kMuted + "\"/>"; },
               std::to_string(beyond) + " beyond \u00b1" + Fixed(limit, 1) + " ms, on the edge");
  }
  s += legend.Svg();
  return s + "</svg>";
}

namespace {

/// One histogram: kept residuals in blue with the outliers stacked on them, hatched, over
/// [lo, hi] exactly: no value is folded into an end bin.
std::string Histogram(const SyncReport& r, Area a, const std::vector<double>& kept, const std::vector<double>& outliers,
                      const std::string& title) {
  double lo = INFINITY, hi = -INFINITY;
  for (const auto* list : {&kept, &outliers}) {
    for (const double v : *list) {
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  std::string s;
  if (!std::isfinite(lo)) {
    a.x0 = -1.0;
    a.x1 = 1.0;
    s += XAxis(a, "Residual (ms)", 8);
    return s + Text(a.left + a.width / 2.0, a.top + a.height / 2.0, "no residuals", "middle", "empty") + "\n";
  }
  const double band = OutputSampleMs(r);
  double width = ReportText::TickStep(lo, hi, 30);
  if (!(hi > lo)) width = std::isfinite(band) ? band / 10.0 : 0.1;
  const double start = std::floor(lo / width) * width;
  const size_t bins = static_cast<size_t>(std::floor((hi - start) / width)) + 1;
  std::vector<uint64_t> keptCounts(bins, 0), outlierCounts(bins, 0);
  auto bin = [&](double v) { return std::min(bins - 1, static_cast<size_t>(std::max(0.0, std::floor((v - start) / width)))); };
  for (const double v : kept) ++keptCounts[bin(v)];
  for (const double v : outliers) ++outlierCounts[bin(v)];
  uint64_t top = 1;
  for (size_t b = 0; b < bins; ++b) top = std::max(top, keptCounts[b] + outlierCounts[b]);
  a.x0 = start;
  a.x1 = start + static_cast<double>(bins) * width;
  a.y0 = 0.0;
  a.y1 = static_cast<double>(top) * 1.15;

  s += Text(a.left, a.top - 10.0, title, "start", "panel") + "\n";
  if (std::isfinite(band)) {
    const double b0 = std::max(a.x0, -band), b1 = std::min(a.x1, band);
    if (b1 > b0) s += Rect(a.X(b0), a.top, a.X(b1) - a.X(b0), a.height, kBand, "fill-opacity=\"0.15\"") + "\n";
  }
  s += YAxis(a, "Matched triggers", 6, false);
  s += XAxis(a, "Residual (ms)", 8, false);
  std::string bars;
  for (size_t b = 0; b < bins; ++b) {
    const double x = a.X(start + static_cast<double>(b) * width);
    const double w = std::max(a.X(start + static_cast<double>(b + 1) * width) - x - 1.0, 1.0);
    if (keptCounts[b]) {
      bars += Rect(x + 0.5, a.Y(static_cast<double>(keptCounts[b])), w, a.Bottom() - a.Y(static_cast<double>(keptCounts[b])), kKept) + "\n";
    }
    if (outlierCounts[b]) {
      const double base = static_cast<double>(keptCounts[b]);
      const double y = a.Y(base + static_cast<double>(outlierCounts[b]));
      bars += Rect(x + 0.5, y, w, a.Y(base) - y, "url(#p2-outhatch)", std::string("stroke=\"") + kOutlier + "\" stroke-width=\"0.8\"") + "\n";
    }
  }
  s += bars;
  if (std::isfinite(r.clock.toleranceMs)) {
    for (const double t : {-r.clock.toleranceMs, r.clock.toleranceMs}) {
      if (t > a.x0 && t < a.x1) s += Line(a.X(t), a.top, a.X(t), a.Bottom(), kInk, 1.2, "stroke-dasharray=\"7 4\"") + "\n";
    }
  }
  // The exact ends: the smallest and the largest residual, where they lie.
  s += Line(a.X(lo), a.top + 14.0, a.X(lo), a.Bottom(), kInk, 1.5) + Text(a.X(lo) + 4.0, a.top + 12.0, "min " + Signed(lo, 2) + " ms", "start", "note") + "\n";
  s += Line(a.X(hi), a.top + 14.0, a.X(hi), a.Bottom(), kInk, 1.5) + Text(a.X(hi) - 4.0, a.top + 12.0, "max " + Signed(hi, 2) + " ms", "end", "note") + "\n";
  return s;
}

}  // namespace

std::string HistogramPlot(const SyncReport& r) {
  const double height = 360.0;
  std::vector<double> kept, outliers;
  for (const ReportTrigger& t : r.triggers) {
    if (!IsPair(t)) continue;
    (t.status == TriggerStatus::Matched ? kept : outliers).push_back(t.residualMs);
  }
  auto span = [](const std::vector<double>& v) {
    if (v.empty()) return 0.0;
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    return *hi - *lo;
  };
  std::vector<double> all = kept;
  all.insert(all.end(), outliers.begin(), outliers.end());
  const double band = OutputSampleMs(r);
  // Outliers far off would squeeze the kept residuals into a bin or two: then the kept ones get a
  // panel of their own beside the whole.
  const bool split = !outliers.empty() && !kept.empty() &&
                     span(all) > 4.0 * std::max(span(kept), std::isfinite(band) ? 2.0 * band : 0.0);

  std::string s = Open("plot-histogram", height, "Plot 2: histogram of the residuals");
  Area a;
  a.top = 84.0;
  a.height = height - a.top - 64.0;
  s += Defs("p2", {});
  if (split) {
    a.left = 84.0;
    a.width = 420.0;
    s += Histogram(r, a, kept, {}, "Kept by the model (" + std::to_string(kept.size()) + ")");
    a.left = 84.0 + 420.0 + 80.0;
    a.width = kWidth - a.left - 24.0;
    s += Histogram(r, a, kept, outliers, "All matched, outliers included (" + std::to_string(all.size()) + ")");
  } else {
    a.left = 84.0;
    a.width = kWidth - a.left - 24.0;
    s += Histogram(r, a, kept, outliers, "All matched triggers (" + std::to_string(all.size()) + ")");
  }
  Legend legend(84.0, 22.0);
  legend.Add([](double x, double y) { return Rect(x, y - 6.0, 14.0, 12.0, kKept); }, "kept by the model");
  legend.Add([](double x, double y) { return Rect(x, y - 6.0, 14.0, 12.0, "url(#p2-outhatch)"); }, "outliers");
  if (std::isfinite(band)) {
    legend.Add([](double x, double y) { return Rect(x, y - 6.0, 14.0, 12.0, kBand, "fill-opacity=\"0.35\""); },
               "\u00b1 one output sample");
  }
  if (std::isfinite(r.clock.toleranceMs)) {
    legend.Add([](double x, double y) { return Line(x, y, x + 14.0, y, kInk, 1.2, "stroke-dasharray=\"4 2\""); }, "tolerance");
  }
  s += legend.Svg();
  return s + "</svg>";
}

namespace {

/// Both trigger rows over [x0, x1] (in the unit): the tracker above, the EEG below, each pair
/// joined. Unmatched and removed triggers sit in the outer half of their row.
std::string Sequences(const SyncReport& r, Area a, const TimeUnit& unit, const std::string& title, bool labels, double shift) {
  const double trackerTop = a.top, trackerMid = a.top + 20.0, trackerBottom = a.top + 40.0;
  const double eegTop = a.Bottom() - 40.0, eegMid = a.Bottom() - 20.0, eegBottom = a.Bottom();
  std::string s = Text(a.left, a.top - 10.0, title, "start", "panel") + "\n";
  const std::string clip = labels ? "p3-clip-a" : "p3-clip-b";
  s += "<g clip-path=\"url(#" + clip + ")\">\n";
  s += Recording(r, a, unit, "p3", eegTop, eegBottom, false);
  s += Rect(a.left, trackerTop, a.width, 40.0, "#F7F7F7") + "\n";
  std::string joins, outlierJoins, trackerTicks, eegTicks, unmatched, removed;
  for (const ReportTrigger& t : r.triggers) {
    const double xt = t.onTracker ? a.X((t.trackerMs / 1000.0 + shift) / unit.seconds) : 0.0;
    const double xe = t.onEeg ? a.X(t.seconds / unit.seconds) : 0.0;
    switch (t.status) {
      case TriggerStatus::Matched:
      case TriggerStatus::Outlier:
        trackerTicks += "M" + P(xt) + " " + P(trackerMid) + "V" + P(trackerBottom);
        eegTicks += "M" + P(xe) + " " + P(eegTop) + "V" + P(eegMid);
        (t.status == TriggerStatus::Matched ? joins : outlierJoins) +=
            "M" + P(xt) + " " + P(trackerBottom) + "L" + P(xe) + " " + P(eegTop);
        break;
      case TriggerStatus::Unmatched:
        if (t.onTracker) unmatched += "M" + P(xt) + " " + P(trackerTop) + "V" + P(trackerMid);
        if (t.onEeg) unmatched += "M" + P(xe) + " " + P(eegMid) + "V" + P(eegBottom);
        break;
      case TriggerStatus::Removed:
        removed += "M" + P(xt) + " " + P(trackerTop) + "V" + P(trackerMid);
        break;
    }
  }
  auto path = [&](const std::string& d, const char* colour, double width, const char* extra = "") {
    if (!d.empty()) s += "<path d=\"" + d + "\" stroke=\"" + colour + "\" stroke-width=\"" + Fixed(width, 1) + "\" fill=\"none\"" + extra + "/>\n";
  };
  path(joins, kKept, 1.0, " stroke-opacity=\"0.55\"");
  path(trackerTicks, kKept, 1.5);
  path(eegTicks, kKept, 1.5);
  path(outlierJoins, kOutlier, 1.6);
  path(unmatched, kUnmatched, 2.0);
  path(removed, kOverflow, 2.0);
  s += "</g>\n";
  s += Rect(a.left, trackerTop, a.width, 40.0, "none", std::string("stroke=\"") + kMuted + "\" stroke-width=\"0.8\"") + "\n";
  s += Rect(a.left, eegTop, a.width, 40.0, "none", std::string("stroke=\"") + kMuted + "\" stroke-width=\"0.8\"") + "\n";
  s += Text(a.left - 10.0, trackerMid + 5.0, "Eye tracker", "end", "row") + "\n";
  s += Text(a.left - 10.0, eegMid + 5.0, "EEG", "end", "row") + "\n";
  Area axis = a;
  axis.height = a.height + 4.0;
  s += XAxis(axis, std::string("Recording time on the EEG (") + unit.name + ")", 10, false);
  return s;
}

}  // namespace

std::string SequencePlot(const SyncReport& r) {
  const auto [lo, hi] = TimeSpan(r);
  const TimeUnit unit = UnitFor(hi - lo);
  // A second panel shows the first triggers up close, where single pairs can be followed.
  std::vector<double> times;
  for (const ReportTrigger& t : r.triggers) times.push_back(t.onEeg ? t.seconds : t.trackerMs / 1000.0 + r.trackerAxisShiftS);
  std::sort(times.begin(), times.end());
  const bool detail = times.size() > 30;
  const double height = detail ? 540.0 : 310.0;

  Area whole;
  whole.left = 110.0;
  whole.top = 92.0;
  whole.width = kWidth - whole.left - 24.0;
  whole.height = 150.0;
  const double pad = (hi - lo) * 0.01;
  whole.x0 = (lo - pad) / unit.seconds;
  whole.x1 = (hi + pad) / unit.seconds;
  Area close = whole;
  close.top = whole.Bottom() + 84.0;
  if (detail) {
    // From the first pair on, where one can see whether the rows line up; else from the first trigger.
    double from = times.front();
    for (const ReportTrigger& t : r.triggers) {
      if (t.onEeg && t.onTracker) {
        from = std::min(t.seconds, t.trackerMs / 1000.0 + r.trackerAxisShiftS);
        break;
      }
    }
    const size_t first = static_cast<size_t>(std::lower_bound(times.begin(), times.end(), from) - times.begin());
    const double to = times[std::min<size_t>(first + 24, times.size() - 1)];
    const double margin = std::max((to - from) * 0.03, 0.05);
    close.x0 = from - margin;
    close.x1 = to + margin;
  }

  std::string s = Open("plot-sequences", height, "Plot 3: the two trigger sequences on one time axis");
  std::vector<std::pair<std::string, Area>> clips = {{"p3-clip-a", whole}};
  if (detail) clips.emplace_back("p3-clip-b", close);
  s += Defs("p3", clips);
  s += Sequences(r, whole, unit, "The whole recording", true, r.trackerAxisShiftS);
  if (detail) {
    // The drift of a long recording tilts the joins of a close-up placed by the whole recording's
    // offset; the offset of the pairs in view keeps them upright where the pair belongs together.
    std::vector<double> local;
    for (const ReportTrigger& t : r.triggers) {
      if (t.status == TriggerStatus::Matched && t.seconds >= close.x0 && t.seconds <= close.x1) local.push_back(t.seconds - t.trackerMs / 1000.0);
    }
    std::sort(local.begin(), local.end());
    const double shift = local.empty() ? r.trackerAxisShiftS : local[local.size() / 2];
    s += Sequences(r, close, TimeUnit{}, "25 triggers up close, from the first pair", false, shift);
  }

  Legend legend(whole.left, 22.0);
  legend.Add([](double x, double y) { return Line(x, y - 7.0, x + 14.0, y + 7.0, kKept, 1.5); }, "matched pair, joined");
  legend.Add([](double x, double y) { return Line(x, y - 7.0, x + 14.0, y + 7.0, kOutlier, 2.0); }, "outlier pair");
  legend.Add([](double x, double y) { return Line(x + 7.0, y - 7.0, x + 7.0, y + 7.0, kUnmatched, 2.5); }, "unmatched (outer half of its row)");
  if (r.figures.removed > 0) {
    legend.Add([](double x, double y) { return Line(x + 7.0, y - 7.0, x + 7.0, y + 7.0, kOverflow, 2.5); }, "removed for an overflow");
  }
  legend.Add([](double x, double y) { return Rect(x, y - 6.0, 14.0, 12.0, "url(#p3-hatch)", std::string("stroke=\"") + kLost + "\""); },
             "EEG samples lost");
  s += legend.Svg();
  return s + "</svg>";
}

}  // namespace ReportPlots
