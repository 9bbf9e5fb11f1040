#include "varnixlib/report/reporthtml.h"

#include <cmath>
#include <string>
#include <vector>

#include "varnixlib/report/reportplots.h"
#include "varnixlib/report/reportsummary.h"
#include "varnixlib/report/reporttext.h"

namespace {

using ReportText::Fixed;
using ReportText::Signed;
using ReportText::Xml;

constexpr const char* kStyle = R"(
body { font-family: "DejaVu Sans", "Segoe UI", Helvetica, Arial, sans-serif; color: #222; background: #fff;
       margin: 0 auto; max-width: 1000px; padding: 16px 24px 40px; line-height: 1.45; font-size: 15px; }
h1 { font-size: 24px; margin: 8px 0 4px; }
h1 .set { font-family: "DejaVu Sans Mono", Menlo, Consolas, monospace; font-weight: normal; }
h2 { font-size: 19px; margin: 30px 0 8px; border-bottom: 1px solid #ccc; padding-bottom: 3px; }
.sub { color: #555; margin: 0 0 14px; }
.verdict { border: 3px solid; border-radius: 6px; padding: 12px 16px; margin: 12px 0 8px; display: flex; gap: 16px; align-items: flex-start; }
.verdict .badge { font-weight: bold; font-size: 15px; letter-spacing: 0.05em; color: #fff; padding: 6px 12px; border-radius: 4px; white-space: nowrap; }
.verdict h2 { border: none; margin: 2px 0 6px; padding: 0; font-size: 20px; }
.verdict p { margin: 4px 0; }
.verdict.ok { border-color: #009E73; background: #EEF8F4; } .verdict.ok .badge { background: #00795A; }
.verdict.refused { border-color: #D55E00; background: #FCF0E8; } .verdict.refused .badge { background: #B04E00; }
.verdict.warn { border-color: #E69F00; background: #FDF6E6; } .verdict.warn .badge { background: #8A5F00; }
.summary { font-family: "DejaVu Sans Mono", Menlo, Consolas, monospace; font-size: 13px; color: #333; }
table { border-collapse: collapse; margin: 6px 0 10px; font-size: 14px; }
th, td { border-bottom: 1px solid #ddd; padding: 4px 10px; text-align: left; vertical-align: top; }
th { background: #f2f2f2; }
td.num, th.num { text-align: right; font-variant-numeric: tabular-nums; }
td.num { white-space: nowrap; }
table.segments { font-size: 13px; }
table.segments th, table.segments td { padding: 4px 6px; }
td.what { color: #555; font-size: 13px; }
tr.bad td { background: #FCF0E8; }
code { font-family: "DejaVu Sans Mono", Menlo, Consolas, monospace; font-size: 13px; }
figure { margin: 8px 0 18px; }
figcaption { color: #444; font-size: 13.5px; margin-top: 4px; }
svg.plot { width: 100%; height: auto; display: block; border: 1px solid #e4e4e4; background: #fff; }
svg text { font-family: "DejaVu Sans", Helvetica, Arial, sans-serif; fill: #222; }
svg .tick { font-size: 12px; fill: #333; }
svg .axis { font-size: 13.5px; }
svg .legend { font-size: 12.5px; }
svg .note { font-size: 11.5px; fill: #444; }
svg .note.overflow { fill: #8C3F72; }
svg .panel { font-size: 13.5px; font-weight: bold; }
svg .row { font-size: 13.5px; font-weight: bold; }
svg .empty { font-size: 16px; fill: #777; }
footer { margin-top: 30px; color: #666; font-size: 12.5px; border-top: 1px solid #ddd; padding-top: 8px; }
)";

std::string Row(const std::string& name, const std::string& value, const std::string& what, bool bad = false) {
  return std::string("<tr") + (bad ? " class=\"bad\"" : "") + "><th>" + Xml(name) + "</th><td class=\"num\">" + Xml(value) +
         "</td><td class=\"what\">" + Xml(what) + "</td></tr>\n";
}

std::string Count(uint64_t n) { return std::to_string(n); }

std::string Duration(double seconds) {
  if (!std::isfinite(seconds)) return "n/a";
  if (seconds < 120.0) return Fixed(seconds, 1) + " s";
  const double minutes = std::floor(seconds / 60.0);
  return Fixed(minutes, 0) + " min " + Fixed(seconds - minutes * 60.0, 1) + " s";
}

std::string Percent(uint64_t part, uint64_t whole) {
  return whole ? Fixed(100.0 * static_cast<double>(part) / static_cast<double>(whole), 1) + " %" : "n/a";
}

std::string Verdict(const SyncReport& r) {
  const char* cls = "refused";
  const char* badge = "REFUSED";
  switch (r.outcome) {
    case ReportOutcome::Synchronised: cls = "ok"; badge = "SYNCHRONISED"; break;
    case ReportOutcome::MergedAnyway: cls = "warn"; badge = "MERGED ANYWAY"; break;
    case ReportOutcome::Refused: break;
    case ReportOutcome::MergeFailed: cls = "warn"; badge = "NOT MERGED"; break;
  }
  std::string s = "<section class=\"verdict " + std::string(cls) + "\" id=\"verdict\"><div class=\"badge\">" + badge +
                  "</div><div>\n<h2>" + Xml(r.headline) + "</h2>\n";
  if (!r.reason.empty()) s += "<p><strong>Why: </strong>" + Xml(r.reason) + "</p>\n";
  s += "<p class=\"summary\">" + Xml(ReportSummary(r)) + "</p>\n</div></section>\n";
  return s;
}

std::string Figures(const SyncReport& r) {
  const ReportFigures& f = r.figures;
  const ReportClock& c = r.clock;
  const bool fitted = c.kind == ReportClock::Kind::Fitted;
  const uint64_t shorter = std::min(f.eegTriggers, f.trackerTriggers - f.removed);
  std::string s = "<h2 id=\"figures\">The figures</h2>\n<table class=\"figures\">\n";
  s += Row("Triggers on the EEG", Count(f.eegTriggers), "Stimulus markers in the .vmrk file");
  s += Row("Triggers on the eye tracker", Count(f.trackerTriggers), "INPUT lines of the .asc file with a code");
  s += Row("Removed by the overflow repair", Count(f.removed),
           f.removed ? "tracker triggers that fell into an EEG buffer overflow, taken out before the pairing"
                     : (r.overflows.empty() ? "the EEG had no buffer overflow" : "none lost in the overflow"));
  s += Row("Matched pairs", Count(f.matched),
           Percent(f.matched, shorter) + " of the shorter list" + (f.timingDecided ? "; paired by the triggers' timing (the codes alone gave " + Count(f.codePairs) + ")" : ""),
           f.matched == 0);
  if (fitted) {
    s += Row("Outliers", Count(f.outliers),
             "pairs further than the tolerance (" + Fixed(c.toleranceMs, 1) + " ms) from the clock line: left out of the model",
             f.matched > 0 && f.outliers * 5 > f.matched);
  }
  s += Row("Unmatched", Count(f.unmatchedEeg) + " EEG, " + Count(f.unmatchedTracker) + " tracker",
           "triggers on one side only (after the overflow repair)");
  if (c.kind != ReportClock::Kind::None) {
    s += Row("Drift", Signed(c.driftPpm, 2) + " ppm",
             "the EEG's clock against the tracker's: " + Fixed(std::fabs(c.driftPpm) * 3.6, 1) + " ms per hour" +
                 (c.driftPpm >= 0 ? ", the EEG runs fast" : ", the EEG runs slow"),
             std::fabs(c.driftPpm) > 500.0);
    const double after = (c.eegStartMs - r.trackerStartMs) / 1000.0;
    s += Row("Offset", Signed(after, 3) + " s",
             "when the EEG took its first sample, after the start of the tracker's time grid (its first calibration or "
             "recording block); at tracker time " + Fixed(c.eegStartMs, 1) + " ms");
    if (std::isfinite(c.rmsMs)) {
      s += Row("Residual RMS", Fixed(c.rmsMs, 3) + " ms",
               Fixed(r.ResidualToOutputSamples(c.rmsMs), 2) + " output samples at " + Fixed(f.outputRateHz, 0) + " Hz" +
                   (fitted ? ", over the pairs kept" : ""));
      s += Row("Residual, largest", Fixed(c.largestMs, 3) + " ms",
               Fixed(r.ResidualToOutputSamples(c.largestMs), 2) + " output samples" + (fitted ? ", over the pairs kept" : ""));
    }
    if (fitted) {
      s += Row("Registration delay", c.exactRegistration ? "none" : Fixed(c.delayCompensationSamples, 3) + " samples",
               c.exactRegistration ? "the residuals show no registration jitter: nothing taken off the line"
                                   : "EEG half a sample late, less the tracker's mean delay: taken off the fitted line");
    }
  } else {
    s += Row("Clock model", "none", "no clock line could be fitted to the pairs", true);
  }
  s += Row("Samples inserted", Count(f.samplesInserted),
           "EEG samples put back where segments were not recorded (dates and fitted corrections)");
  return s + "</table>\n";
}

std::string Recordings(const SyncReport& r) {
  const double eegSeconds = static_cast<double>(r.eegRecordedSamples) / r.eegRate;
  std::string s = "<h2 id=\"recordings\">The recordings</h2>\n<table class=\"recordings\">\n";
  s += "<tr><th></th><th>EEG</th><th>Eye tracker</th></tr>\n";
  auto row = [&](const std::string& name, const std::string& eeg, const std::string& tracker) {
    s += "<tr><th>" + Xml(name) + "</th><td>" + eeg + "</td><td>" + tracker + "</td></tr>\n";
  };
  row("File", "<code>" + Xml(r.run.eegFile) + "</code>", "<code>" + Xml(r.run.ascFile) + "</code>");
  row("Rate", Xml(Fixed(r.eegRate, 2) + " Hz"), Xml(Fixed(r.gazeRate, 2) + " Hz (one sample per " + Fixed(r.trackerPeriodMs, 2) + " ms)"));
  row("Sample type", Xml(r.run.eegSampleType) + ", " + Count(r.run.eegChannels) + " channels",
      Xml("text (.asc), " + r.run.trackerEyes + " eye" + (r.run.trackerEyes == "both" ? "s" : "") + ", " + Count(r.run.trackerChannels) + " gaze channels"));
  row("Duration",
      Xml(Duration(eegSeconds) + " recorded" +
          (r.eegMergedSamples != r.eegRecordedSamples ? ", " + Duration(static_cast<double>(r.eegMergedSamples) / r.eegRate) + " with the lost samples" : "")),
      Xml(Duration((r.run.trackerEndMs - r.trackerStartMs) / 1000.0) + " of time grid, from its start to the last timestamp (" +
          Count(r.run.trackerSamples) + " samples)"));
  row("Triggers", Count(r.figures.eegTriggers), Count(r.figures.trackerTriggers));
  row("Segments, overflows", Count(r.segments.size()) + " segments, " + Count(r.overflows.size()) + " buffer overflows", "");
  s += "</table>\n";
  if (!r.sets.empty()) {
    s += "<table class=\"sets\">\n<tr><th>Merged set</th><th>Drift corrected</th><th class=\"num\">Rate</th><th class=\"num\">Frames</th>"
         "<th class=\"num\">Channels</th><th class=\"num\">Duration</th></tr>\n";
    for (const ReportSet& set : r.sets) {
      s += "<tr><td><code>" + Xml(set.name) + "</code></td><td>" + (set.drift ? "yes" : "no") + "</td><td class=\"num\">" +
           Xml(Fixed(set.rateHz, 2)) + " Hz</td><td class=\"num\">" + Count(set.samples) + "</td><td class=\"num\">" +
           Count(set.channels) + "</td><td class=\"num\">" + Xml(Duration(set.rateHz > 0 ? static_cast<double>(set.samples) / set.rateHz : NAN)) +
           "</td></tr>\n";
    }
    s += "</table>\n";
  } else {
    s += "<p>No merged set was written.</p>\n";
  }
  return s;
}

std::string Segments(const SyncReport& r) {
  std::string s = "<h2 id=\"segments\">The EEG segments</h2>\n";
  s += "<p class=\"sub\">A segment is a stretch the EEG recorded without interruption. Before each later one, the "
       "samples its date says were lost are put back, corrected by the whole samples the clock model found.</p>\n";
  s += "<table class=\"segments\">\n<tr><th class=\"num\">Segment</th><th>Begun by</th><th>Date</th><th class=\"num\">Start (s)</th>"
       "<th class=\"num\">Recorded samples</th><th class=\"num\">Lost by date</th><th class=\"num\">Correction</th>"
       "<th class=\"num\">Matched</th><th class=\"num\">Outliers</th><th class=\"num\">Residual mean (ms)</th>"
       "<th class=\"num\">Largest (ms)</th></tr>\n";
  for (size_t k = 0; k < r.segments.size(); ++k) {
    const ReportSegment& g = r.segments[k];
    const char* cause = k == 0 ? "start" : g.afterOverflow ? "buffer overflow" : "pause";
    s += std::string("<tr") + (g.matched > 0 && g.outliers * 5 > g.matched ? " class=\"bad\"" : "") + "><td class=\"num\">" +
         Count(k + 1) + "</td><td>" + cause + "</td><td>" + Xml(g.date) + "</td><td class=\"num\">" +
         Fixed(static_cast<double>(g.start) / r.eegRate, 3) + "</td><td class=\"num\">" + std::to_string(g.recordedSamples) +
         "</td><td class=\"num\">" + (k ? std::to_string(g.lostByDate) : "") + "</td><td class=\"num\">" +
         (k ? Signed(g.correction, 0) : "") + "</td><td class=\"num\">" + Count(g.matched) + "</td><td class=\"num\">" +
         Count(g.outliers) + "</td><td class=\"num\">" + Xml(Signed(g.residualMeanMs, 3)) + "</td><td class=\"num\">" +
         Xml(Fixed(g.residualLargestMs, 3)) + "</td></tr>\n";
  }
  return s + "</table>\n";
}

std::string Plots(const SyncReport& r) {
  const double band = r.figures.outputRateHz > 0 ? 1000.0 / r.figures.outputRateHz : NAN;
  std::string s;
  s += "<h2 id=\"residuals\">1. The residual of every matched trigger</h2>\n<figure>\n" + ReportPlots::ResidualPlot(r) +
       "\n<figcaption>Each dot is one matched trigger: where the EEG registered it, less where the clock model puts it, in "
       "ms. A good pair lies in a flat band around zero, mostly inside the green band of \u00b1 one output sample (" +
       Fixed(band, 2) + " ms); a step between segments means a misplaced segment, a slope a wrong drift, and a cloud "
       "spread over the height a pair that does not belong together. Grey shades are the EEG segments; hatched "
       "stretches are EEG samples that were not recorded.</figcaption>\n</figure>\n";
  s += "<h2 id=\"histogram\">2. The distribution of the residuals</h2>\n<figure>\n" + ReportPlots::HistogramPlot(r) +
       "\n<figcaption>Every residual counts in the bin where it lies; the axis ends at the smallest and the largest "
       "residual (marked min and max), so that no outlier hides in an end bin.</figcaption>\n</figure>\n";
  s += "<h2 id=\"sequences\">3. The two trigger sequences</h2>\n<figure>\n" + ReportPlots::SequencePlot(r) +
       "\n<figcaption>The tracker's triggers (above) placed on the EEG's time axis at the nominal rates, "
       "not through the fitted model, and the EEG's (below); each matched pair is joined. Recordings that belong "
       "together give upright joins; slanted and crossing joins show pairs that do not line up. Unmatched triggers "
       "sit in the outer half of their row.</figcaption>\n</figure>\n";
  return s;
}

std::string Run(const SyncReport& r) {
  std::string s = "<h2 id=\"run\">The run</h2>\n<table class=\"options\">\n<tr><th>Option</th><th>Effect</th></tr>\n";
  for (const auto& [option, effect] : r.options) s += "<tr><td><code>" + Xml(option) + "</code></td><td>" + Xml(effect) + "</td></tr>\n";
  s += "</table>\n<p>Command line: <code>tolmera";
  for (const std::string& a : r.run.arguments) s += " " + Xml(a);
  s += "</code></p>\n<p>Program: Tolmera " + Xml(r.run.version) + ", built " + Xml(r.run.built) + ".</p>\n";
  s += "<p>Every trigger with its code, positions, residual and status is in <code>" + Xml(r.run.jsonPath) + "</code>.</p>\n";
  return s;
}

}  // namespace

std::string ReportHtml(const SyncReport& r) {
  std::string s = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
                  "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n<title>Synchronisation report: " +
                  Xml(r.run.setName) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
  s += "<h1>Synchronisation report <span class=\"set\">" + Xml(r.run.setName) + "</span></h1>\n";
  s += "<p class=\"sub\">EEG <code>" + Xml(r.run.eegFile) + "</code> and eye tracker <code>" + Xml(r.run.ascFile) + "</code></p>\n";
  s += Verdict(r);
  s += Figures(r);
  s += Recordings(r);
  s += Segments(r);
  s += Plots(r);
  s += Run(r);
  s += "<footer>Written by Tolmera " + Xml(r.run.version) + " (built " + Xml(r.run.built) + "). The times of the "
       "plots are on the EEG's clock, counted from its first sample, with the samples it lost put back.</footer>\n";
  return s + "</body>\n</html>\n";
}
