#include "varnixlib/report/reportsummary.h"

#include <vector>

#include "varnixlib/report/reporttext.h"

namespace {

std::string Count(uint64_t n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string ReportSummary(const SyncReport& r, bool written) {
  const ReportFigures& f = r.figures;
  std::string text;
  switch (r.outcome) {
    case ReportOutcome::Synchronised: text = "Synchronised"; break;
    case ReportOutcome::MergedAnyway: text = "Merged although refused (-F)"; break;
    case ReportOutcome::Refused: text = "Refused"; break;
    case ReportOutcome::MergeFailed: text = "Not merged"; break;
  }
  if (f.matched == 0) {
    text += ": none of the " + std::to_string(f.eegTriggers) + " EEG and " + std::to_string(f.trackerTriggers) +
            " tracker triggers pair";
  } else {
    text += ": matched " + std::to_string(f.matched) + " of " + std::to_string(f.eegTriggers) + " EEG and " +
            std::to_string(f.trackerTriggers) + " tracker triggers";
    std::vector<std::string> notes;
    if (r.clock.kind == ReportClock::Kind::Fitted) {
      if (f.outliers == 0) {
        notes.push_back("no outliers");
      } else if (r.outcome == ReportOutcome::Refused) {
        notes.push_back(f.outliers == f.matched ? "none of them on one clock line" : std::to_string(f.outliers) + " of them off the clock line");
      } else {
        notes.push_back(Count(f.outliers, "outlier", "outliers") + " dropped");
      }
    }
    if (f.removed > 0) notes.push_back(Count(f.removed, "tracker trigger", "tracker triggers") + " removed for a buffer overflow");
    if (f.timingDecided) notes.push_back("paired by their timing");
    if (!notes.empty()) {
      text += " (";
      for (size_t i = 0; i < notes.size(); ++i) text += (i ? ", " : "") + notes[i];
      text += ")";
    }
  }
  if (r.clock.kind != ReportClock::Kind::None) {
    text += "; drift " + ReportText::Signed(r.clock.driftPpm, 1) + " ppm";
    if (r.clock.rmsMs == r.clock.rmsMs) {
      text += "; residual " + ReportText::Fixed(r.clock.rmsMs, 2) + " ms RMS, " + ReportText::Fixed(r.clock.largestMs, 1) +
              " ms at most";
    } else if (r.clock.kind == ReportClock::Kind::Fitted) {
      text += "; no pair within the tolerance";
    }
  }
  text += "; " + Count(r.segments.size(), "EEG segment", "EEG segments") + ", " +
          Count(f.samplesInserted, "sample", "samples") + " inserted";
  return text + (written ? "; report: " + r.run.htmlPath : "; the report could not be written");
}
