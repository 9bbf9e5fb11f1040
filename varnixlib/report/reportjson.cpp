#include "varnixlib/report/reportjson.h"

#include <cmath>
#include <sstream>
#include <utility>

#include "varnixlib/report/reporttext.h"

using ReportText::JsonNumber;
using ReportText::JsonString;

namespace {

/// One "key": value member after the first of an object.
class Members {
 public:
  Members(std::ostringstream& out, std::string indent) : myOut(out), myIndent(std::move(indent)) {}
  Members& Raw(const char* key, const std::string& value) {
    myOut << (myFirst ? "" : ",") << "\n" << myIndent << JsonString(key) << ": " << value;
    myFirst = false;
    return *this;
  }
  Members& Text(const char* key, const std::string& value) { return Raw(key, JsonString(value)); }
  Members& Number(const char* key, double value, int decimals = 6) { return Raw(key, JsonNumber(value, decimals)); }
  Members& Count(const char* key, uint64_t value) { return Raw(key, std::to_string(value)); }
  Members& Flag(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }

 private:
  std::ostringstream& myOut;
  std::string myIndent;
  bool myFirst = true;
};

std::string SegmentCause(const SyncReport& report, size_t k) {
  if (k == 0) return "start";
  return report.segments[k].afterOverflow ? "overflow" : "pause";
}

}  // namespace

std::string ReportJson(const SyncReport& r) {
  std::ostringstream out;
  const ReportFigures& f = r.figures;
  const ReportClock& c = r.clock;
  out << "{";
  Members top(out, "  ");
  top.Text("format", "tolmera synchronisation report").Count("version", kReportJsonVersion);
  {
    std::ostringstream program;
    program << "{\"name\": \"Tolmera\", \"version\": " << JsonString(r.run.version)
            << ", \"built\": " << JsonString(r.run.built) << "}";
    top.Raw("program", program.str());
  }
  top.Text("set", r.run.setName).Text("outcome", OutcomeName(r.outcome));
  top.Raw("accepted", r.verdictGiven ? (r.accepted ? "true" : "false") : "null");
  top.Text("headline", r.headline).Raw("reason", r.reason.empty() ? "null" : JsonString(r.reason));
  {
    std::string list = "[";
    for (size_t i = 0; i < r.run.arguments.size(); ++i) list += (i ? ", " : "") + JsonString(r.run.arguments[i]);
    top.Raw("arguments", list + "]");
    list = "[";
    for (size_t i = 0; i < r.options.size(); ++i) {
      list += std::string(i ? "," : "") + "\n    {\"option\": " + JsonString(r.options[i].first) +
              ", \"effect\": " + JsonString(r.options[i].second) + "}";
    }
    top.Raw("options", list + "\n  ]");
  }

  std::ostringstream eeg;
  eeg << "{";
  Members(eeg, "    ")
      .Text("file", r.run.eegFile)
      .Number("rateHz", r.eegRate)
      .Text("sampleType", r.run.eegSampleType)
      .Count("channels", r.run.eegChannels)
      .Number("recordedSamples", static_cast<double>(r.eegRecordedSamples))
      .Number("mergedSamples", static_cast<double>(r.eegMergedSamples))
      .Number("recordedSeconds", static_cast<double>(r.eegRecordedSamples) / r.eegRate)
      .Number("mergedSeconds", static_cast<double>(r.eegMergedSamples) / r.eegRate)
      .Count("triggers", f.eegTriggers)
      .Count("segments", r.segments.size())
      .Count("bufferOverflows", r.overflows.size());
  eeg << "\n  }";
  top.Raw("eeg", eeg.str());

  std::ostringstream tracker;
  tracker << "{";
  Members(tracker, "    ")
      .Text("file", r.run.ascFile)
      .Number("rateHz", r.gazeRate)
      .Number("samplePeriodMs", r.trackerPeriodMs)
      .Text("eyes", r.run.trackerEyes)
      .Count("channels", r.run.trackerChannels)
      .Count("samples", r.run.trackerSamples)
      .Number("firstTimestampMs", r.trackerStartMs)
      .Number("lastTimestampMs", r.run.trackerEndMs)
      .Number("seconds", (r.run.trackerEndMs - r.trackerStartMs) / 1000.0)
      .Count("triggers", f.trackerTriggers);
  tracker << "\n  }";
  top.Raw("tracker", tracker.str());

  std::string sets = "[";
  for (size_t s = 0; s < r.sets.size(); ++s) {
    const ReportSet& set = r.sets[s];
    std::ostringstream one;
    one << "{";
    Members(one, "      ")
        .Text("name", set.name)
        .Flag("driftCorrected", set.drift)
        .Number("rateHz", set.rateHz)
        .Count("samples", set.samples)
        .Count("channels", set.channels)
        .Number("seconds", set.rateHz > 0.0 ? static_cast<double>(set.samples) / set.rateHz : std::nan(""));
    one << "\n    }";
    sets += std::string(s ? "," : "") + "\n    " + one.str();
  }
  top.Raw("outputs", sets + (r.sets.empty() ? "]" : "\n  ]"));

  std::ostringstream figures;
  figures << "{";
  Members(figures, "    ")
      .Count("eegTriggers", f.eegTriggers)
      .Count("trackerTriggers", f.trackerTriggers)
      .Count("removedByOverflowRepair", f.removed)
      .Count("matched", f.matched)
      .Count("outliers", f.outliers)
      .Count("kept", f.matched - f.outliers)
      .Count("unmatchedEeg", f.unmatchedEeg)
      .Count("unmatchedTracker", f.unmatchedTracker)
      .Flag("pairedByTiming", f.timingDecided)
      .Count("codePairs", f.codePairs)
      .Count("samplesInserted", f.samplesInserted)
      .Number("outputRateHz", f.outputRateHz);
  figures << "\n  }";
  top.Raw("figures", figures.str());

  std::ostringstream clock;
  clock << "{";
  const char* kind = c.kind == ReportClock::Kind::Fitted ? "fitted" : c.kind == ReportClock::Kind::TwoPoint ? "two-point" : "none";
  Members(clock, "    ")
      .Text("model", kind)
      .Number("driftPpm", c.driftPpm, 3)
      .Number("samplesPerMs", c.samplesPerMs, 12)
      .Number("offsetSamples", c.offsetSamples, 6)
      .Number("originMs", c.originMs, 3)
      .Number("eegStartMs", c.eegStartMs, 3)
      .Number("eegStartAfterTrackerSeconds", (c.eegStartMs - r.trackerStartMs) / 1000.0, 6)
      .Number("delayCompensationSamples", c.delayCompensationSamples, 6)
      .Flag("exactRegistration", c.exactRegistration)
      .Number("toleranceMs", c.toleranceMs, 4)
      .Number("residualRmsMs", c.rmsMs, 4)
      .Number("residualLargestMs", c.largestMs, 4)
      .Number("residualRmsOutputSamples", r.ResidualToOutputSamples(c.rmsMs), 4)
      .Number("residualLargestOutputSamples", r.ResidualToOutputSamples(c.largestMs), 4)
      .Number("rSquared", c.rSquared, 12);
  clock << "\n  }";
  top.Raw("clock", clock.str());

  std::string segments = "[";
  for (size_t k = 0; k < r.segments.size(); ++k) {
    const ReportSegment& s = r.segments[k];
    std::ostringstream one;
    one << "{";
    Members(one, "      ")
        .Count("index", k + 1)
        .Text("cause", SegmentCause(r, k))
        .Raw("date", s.date.empty() ? "null" : JsonString(s.date))
        .Number("filePosition", static_cast<double>(s.filePosition))
        .Number("start", static_cast<double>(s.start))
        .Number("startSeconds", static_cast<double>(s.start) / r.eegRate)
        .Number("recordedSamples", static_cast<double>(s.recordedSamples))
        .Number("lostByDate", static_cast<double>(s.lostByDate))
        .Number("correction", s.correction)
        .Number("inserted", static_cast<double>(s.inserted))
        .Count("matched", s.matched)
        .Count("outliers", s.outliers)
        .Number("residualMeanMs", s.residualMeanMs, 4)
        .Number("residualLargestMs", s.residualLargestMs, 4);
    one << "\n    }";
    segments += std::string(k ? "," : "") + "\n    " + one.str();
  }
  top.Raw("segments", segments + (r.segments.empty() ? "]" : "\n  ]"));

  std::string overflows = "[";
  for (size_t k = 0; k < r.overflows.size(); ++k) {
    const ReportOverflow& o = r.overflows[k];
    overflows += std::string(k ? "," : "") + "\n    {\"eegPosition\": " + JsonNumber(static_cast<double>(o.eegPosition)) +
                 ", \"seconds\": " + JsonNumber(static_cast<double>(o.eegPosition) / r.eegRate) +
                 ", \"located\": " + (o.located ? "true" : "false") +
                 ", \"removedTriggers\": " + std::to_string(o.removed) + "}";
  }
  top.Raw("overflows", overflows + (r.overflows.empty() ? "]" : "\n  ]"));

  // One line per trigger keeps a long list readable and easy to grep.
  std::string triggers = "[";
  for (size_t i = 0; i < r.triggers.size(); ++i) {
    const ReportTrigger& t = r.triggers[i];
    triggers += std::string(i ? "," : "") + "\n    {\"code\": " + std::to_string(t.code) +
                ", \"status\": " + JsonString(StatusName(t.status)) +
                ", \"eegPosition\": " + (t.onEeg ? std::to_string(t.eegPosition) : "null") +
                ", \"eegFilePosition\": " + (t.onEeg ? std::to_string(t.eegFilePosition) : "null") +
                ", \"segment\": " + (t.onEeg ? std::to_string(t.segment + 1) : "null") +
                ", \"trackerTimeMs\": " + JsonNumber(t.trackerMs, 3) +
                ", \"residualMs\": " + JsonNumber(t.residualMs, 4) +
                ", \"seconds\": " + JsonNumber(t.seconds, 6) + "}";
  }
  top.Raw("triggers", triggers + (r.triggers.empty() ? "]" : "\n  ]"));
  out << "\n}\n";
  return out.str();
}
