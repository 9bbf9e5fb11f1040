// The synchronisation report as a computation: EEG triggers placed on the merged line whether or not
// their owner applied the model's shifts, the verdict in the reader's words, the summary sentence,
// and files that stay well-formed whatever the input names hold.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/testsupport.h"
#include "varnixlib/brainvision/brainampvmrk.h"
#include "varnixlib/report/reporthtml.h"
#include "varnixlib/report/reportjson.h"
#include "varnixlib/report/reportsummary.h"
#include "varnixlib/report/reporttext.h"
#include "varnixlib/report/syncreport.h"
#include "varnixlib/sync/clockmatching.h"
#include "varnixlib/sync/triggermatching.h"
#include "varnixlib/sync/syntheticrecording.h"

namespace {

/// What the synchronisation hands over for a synthetic pair: the overflow repair, the pairing and
/// the fitted model, with the segment shifts applied to the EEG markers (a merged run) or not (a
/// refused one).
SyncRecord Synchronised(const synthetic::Recording& rec, const synthetic::Layout& layout, bool applied) {
  SyncRecord sync;
  sync.eegRate = layout.eegRate;
  sync.gazeRate = 1000.0 / layout.etPeriodMs;
  sync.trackerPeriodMs = layout.etPeriodMs;
  std::vector<CMarker> tracker = rec.et;
  std::vector<CMarker> eeg = rec.eeg;
  std::vector<CMarker*> segments;
  for (CMarker& m : eeg) {
    if (m.type == NewSegment) segments.push_back(&m);
  }
  MatchingResult& result = sync.matching;
  const TriggerMatching matching(MatchingInput{&tracker, &eeg, layout.eegRate / sync.gazeRate, &segments});
  result.overflow = matching.CorrectBufferOverflow();
  if (result.overflow.located) {
    const auto from = tracker.begin() + static_cast<std::ptrdiff_t>(result.overflow.removeFrom);
    sync.removedTriggers.assign(from, from + static_cast<std::ptrdiff_t>(result.overflow.removeCount));
  }
  RemoveOverflowTriggers(tracker, result.overflow);
  SynchroParams params;
  EXPECT_TRUE(matching.MatchCodes(params, result));
  FitClocks(tracker, eeg, segments, layout.etPeriodMs, ClockSettingsFor(layout.eegRate, layout.etPeriodMs, tracker), result);
  sync.matched = true;
  if (applied) {
    for (size_t s = 0; s < segments.size(); ++s) BrainampVmrk::ShiftMarkers(eeg, *segments[s], result.segments[s].correction);
  }
  sync.trackerTriggers = tracker;
  sync.eegMarkers = eeg;
  for (const CMarker* s : segments) sync.segmentMarkers.push_back(static_cast<uint64_t>(s - eeg.data()));
  return sync;
}

ReportRun RunOf(const synthetic::Recording& rec, bool succeeded) {
  ReportRun run;
  run.setName = "synchro_S01.asc";
  run.htmlPath = "out/log/synchro_S01.asc.report.html";
  run.jsonPath = "out/log/synchro_S01.asc.report.json";
  uint64_t lost = 0;
  for (const CMarker* s : rec.segments) lost += s->samplesInserted;
  run.eegSamples = rec.eeg.back().position + 500 + lost;
  run.succeeded = succeeded;
  return run;
}

}  // namespace

TEST(SyncReport, EegTriggersLandOnTheTrueLineWhetherOrNotTheShiftsWereApplied) {
  struct Row {
    const char* label;
    std::vector<uint32_t> triggers, lost;
    std::vector<int32_t> dateError;
    int overflowBefore;
  };
  const std::vector<Row> rows = {
      {"one segment", {40}, {0}, {0}, -1},
      {"a pause dated two samples late", {40, 35}, {0, 1500}, {0, -2}, -1},
      {"pauses off both ways and an overflow", {30, 30, 30}, {0, 2500, 800}, {0, 3, -1}, 2},
  };
  for (const Row& row : rows) {
    synthetic::Layout layout;
    layout.triggers = row.triggers;
    layout.lost = row.lost;
    layout.dateError = row.dateError;
    layout.overflowBefore = row.overflowBefore;
    const synthetic::Recording rec = synthetic::Make(layout);
    // The truth: every EEG trigger's place on the gap-filled line, in list order.
    std::vector<int64_t> truth;
    for (size_t j = 0; j < rec.eeg.size(); ++j) {
      if (IsTriggerMarker(rec.eeg[j])) truth.push_back(rec.truePosition[j]);
    }
    for (const bool applied : {false, true}) {
      SCOPED_TRACE(std::string(row.label) + (applied ? ", shifts applied" : ", shifts not applied"));
      const SyncRecord sync = Synchronised(rec, layout, applied);
      ASSERT_TRUE(sync.matching.clockFitted);
      const SyncReport report = BuildSyncReport(sync, SynchroParams{}, RunOf(rec, applied));

      std::vector<int64_t> placed;
      for (const ReportTrigger& t : report.triggers) {
        if (t.onEeg) placed.push_back(t.eegPosition);
      }
      EXPECT_EQ(placed, truth);
      ASSERT_EQ(report.segments.size(), row.triggers.size());
      int64_t lostSoFar = 0;
      for (size_t k = 0; k < report.segments.size(); ++k) {
        const ReportSegment& s = report.segments[k];
        lostSoFar += row.lost[k];
        EXPECT_EQ(s.inserted, row.lost[k]) << "segment " << k + 1;
        EXPECT_EQ(s.lostByDate + s.correction, row.lost[k]) << "segment " << k + 1;
        EXPECT_EQ(s.start, s.filePosition + lostSoFar) << "segment " << k + 1;
        EXPECT_EQ(s.afterOverflow, static_cast<int>(k) == row.overflowBefore) << "segment " << k + 1;
        EXPECT_EQ(s.matched, row.triggers[k]) << "segment " << k + 1;
      }
      // Every pair in the file lies where the segment's own start puts it.
      for (const ReportTrigger& t : report.triggers) {
        if (!t.onEeg) continue;
        const ReportSegment& s = report.segments[static_cast<size_t>(t.segment)];
        EXPECT_EQ(t.eegPosition - s.start, t.eegFilePosition - s.filePosition);
      }
      const ReportFigures& f = report.figures;
      EXPECT_EQ(f.matched, truth.size());
      EXPECT_EQ(f.unmatchedEeg, 0u);
      EXPECT_EQ(f.removed + f.unmatchedTracker, rec.lostSerials.size());
      EXPECT_EQ(report.overflows.size(), row.overflowBefore >= 0 ? 1u : 0u);
      EXPECT_NEAR(report.clock.driftPpm, layout.drift * 1e6, 5.0);
    }
  }
}

TEST(SyncReport, TheOutcomeSaysWhatBecameOfThePair) {
  synthetic::Layout layout;
  const synthetic::Recording rec = synthetic::Make(layout);
  struct Row {
    const char* label;
    bool succeeded;
    void (*change)(SyncRecord&, SynchroParams&);
    ReportOutcome outcome;
    bool verdictGiven, accepted;
    const char* summaryStart;
  };
  const std::vector<Row> rows = {
      {"accepted and merged", true, [](SyncRecord&, SynchroParams&) {}, ReportOutcome::Synchronised, true, true,
       "Synchronised: matched 40 of 40 EEG and 40 tracker triggers (no outliers); drift +"},
      {"refused but merged with -F", true,
       [](SyncRecord& s, SynchroParams& p) { s.matching.verdict.accepted = false; s.matching.verdict.reason = "why"; p.forceMerge = true; },
       ReportOutcome::MergedAnyway, true, false, "Merged although refused (-F): matched 40 of"},
      {"refused", false, [](SyncRecord& s, SynchroParams&) { s.matching.verdict.accepted = false; s.matching.verdict.reason = "why"; },
       ReportOutcome::Refused, true, false, "Refused: matched 40 of"},
      {"accepted, but the merge failed", false, [](SyncRecord&, SynchroParams&) {}, ReportOutcome::MergeFailed, true, true,
       "Not merged: matched 40 of"},
      {"no pairs", false, [](SyncRecord& s, SynchroParams&) { s.matching = MatchingResult{}; s.matched = false; },
       ReportOutcome::Refused, false, false, "Refused: none of the 40 EEG and 40 tracker triggers pair; 2 EEG segments"},
      {"two-point model", true,
       [](SyncRecord& s, SynchroParams& p) {
         p.twoPointModel = true;
         s.matching.clockFitted = false;
       },
       ReportOutcome::Synchronised, false, false, "Synchronised: matched 40 of 40 EEG and 40 tracker triggers; drift +"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    SyncRecord sync = Synchronised(rec, layout, row.succeeded);
    SynchroParams params;
    row.change(sync, params);
    const SyncReport report = BuildSyncReport(sync, params, RunOf(rec, row.succeeded));
    EXPECT_EQ(report.outcome, row.outcome);
    EXPECT_EQ(report.verdictGiven, row.verdictGiven);
    EXPECT_EQ(report.accepted, row.accepted);
    const std::string summary = ReportSummary(report);
    EXPECT_EQ(summary.rfind(row.summaryStart, 0), 0u) << summary;
    EXPECT_TRUE(summary.ends_with("; report: out/log/synchro_S01.asc.report.html")) << summary;
    EXPECT_EQ(report.reason.empty(), row.outcome == ReportOutcome::Synchronised) << report.reason;
  }
}

TEST(SyncReport, TheSummaryReadsAsOneSentence) {
  SyncReport r;
  r.outcome = ReportOutcome::Synchronised;
  r.clock.kind = ReportClock::Kind::Fitted;
  r.clock.driftPpm = 15.04;
  r.clock.rmsMs = 0.314;
  r.clock.largestMs = 0.94;
  r.figures.eegTriggers = 3500;
  r.figures.trackerTriggers = 3495;
  r.figures.matched = 3492;
  r.figures.outliers = 2;
  r.figures.samplesInserted = 400;
  r.segments.resize(3);
  r.run.htmlPath = "out/log/synchro_S01.asc.report.html";
  const std::string issue =
      "Synchronised: matched 3492 of 3500 EEG and 3495 tracker triggers (2 outliers dropped); drift +15.0 ppm; residual "
      "0.31 ms RMS, 0.9 ms at most; 3 EEG segments, 400 samples inserted; report: out/log/synchro_S01.asc.report.html";
  EXPECT_EQ(ReportSummary(r), issue);

  struct Row {
    const char* label;
    void (*change)(SyncReport&);
    const char* part;
  };
  const std::vector<Row> rows = {
      {"an overflow", [](SyncReport& x) { x.figures.removed = 5; }, "(2 outliers dropped, 5 tracker triggers removed for a buffer overflow)"},
      {"timing", [](SyncReport& x) { x.figures.timingDecided = true; }, "(2 outliers dropped, paired by their timing)"},
      {"slow EEG", [](SyncReport& x) { x.clock.driftPpm = -7.25; }, "; drift -7.2 ppm;"},
      {"one of each", [](SyncReport& x) { x.figures.outliers = 1; x.segments.resize(1); x.figures.samplesInserted = 1; },
       "(1 outlier dropped); drift +15.0 ppm; residual 0.31 ms RMS, 0.9 ms at most; 1 EEG segment, 1 sample inserted"},
      {"no kept pair", [](SyncReport& x) { x.outcome = ReportOutcome::Refused; x.figures.outliers = 3492; x.clock.rmsMs = kNoValue; },
       "Refused: matched 3492 of 3500 EEG and 3495 tracker triggers (none of them on one clock line); drift +15.0 ppm; no pair within the tolerance;"},
  };
  for (const Row& row : rows) {
    SyncReport x = r;
    row.change(x);
    EXPECT_NE(ReportSummary(x).find(row.part), std::string::npos) << row.label << ": " << ReportSummary(x);
  }
  EXPECT_TRUE(ReportSummary(r, false).ends_with("400 samples inserted; the report could not be written")) << ReportSummary(r, false);
}

TEST(ReportText, NumbersAndTextAsTheFilesNeedThem) {
  using namespace ReportText;
  struct Row {
    std::string got, expected;
  };
  const std::vector<Row> rows = {
      {Fixed(-0.0004, 3), "0.000"},      {Fixed(-0.0006, 3), "-0.001"},  {Fixed(NAN, 2), "n/a"},
      {Signed(0.0, 1), "0.0"},          {Signed(2.25, 1), "+2.2"},      {Signed(-2.0, 0), "-2"},
      {JsonNumber(3.0), "3"},           {JsonNumber(-0.0), "0"},        {JsonNumber(0.1251, 2), "0.13"},
      {JsonNumber(1.5e-7), "0"},        {JsonNumber(NAN), "null"},     {JsonNumber(INFINITY), "null"},
      {JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\""},
      {Xml("<a href='x'>&\"\x02</a>"), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;?&lt;/a&gt;"},
  };
  for (const Row& row : rows) EXPECT_EQ(row.got, row.expected);

  // Ticks: round steps that cover the range and stay inside it.
  for (const auto& [lo, hi] : std::vector<std::pair<double, double>>{{0, 1}, {-1.3, 1.7}, {0, 3600}, {-20854, 301960}, {2.5, 2.50001}}) {
    const std::vector<double> ticks = Ticks(lo, hi, 8);
    ASSERT_GE(ticks.size(), 2u) << lo << " " << hi;
    const double step = TickStep(lo, hi, 8);
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
    EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 || std::fabs(mantissa - 5) < 1e-9) << step;
    EXPECT_GE(ticks.front(), lo - 1e-9 * std::fabs(lo));
    EXPECT_LE(ticks.back(), hi + 1e-9 * std::fabs(hi));
    EXPECT_LE(ticks.front() - lo, step);
    EXPECT_LE(hi - ticks.back(), step);
    EXPECT_LE(ticks.size(), 17u);
    // Labels at the decimals of the step never print two ticks alike.
    EXPECT_NE(Fixed(ticks[0], TickDecimals(step)), Fixed(ticks[1], TickDecimals(step)));
  }
}

TEST(SyncReport, FilesStayWellFormedWhateverTheNamesHold) {
  if (std::system(TOLMERA_PYTHON " -c \"import json, xml.etree.ElementTree\" 2>/dev/null") != 0) {
    GTEST_SKIP() << "no " TOLMERA_PYTHON;
  }
  synthetic::Layout layout;
  const synthetic::Recording rec = synthetic::Make(layout);
  ReportRun run = RunOf(rec, true);
  run.eegFile = "dir \"quoted\" & <angled>/S\\01\t\xc3\xa9.eeg";
  run.ascFile = "new\nline.asc";
  run.arguments = {run.eegFile, run.ascFile, "-h", "a'b"};
  run.setName = "synchro_<S01>&.asc";
  const SyncReport report = BuildSyncReport(Synchronised(rec, layout, true), SynchroParams{}, run);
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "r.json", ReportJson(report));
  testsupport::WriteFile(dir / "r.html", ReportHtml(report));
  const std::string script =
      "import json, sys, xml.etree.ElementTree as ET\n"
      "r = json.load(open(sys.argv[1], encoding='utf-8'))\n"
      "page = open(sys.argv[2], encoding='utf-8').read()\n"
      "root = ET.fromstring(page.split('\\n', 1)[1])\n"
      "title = ''.join(root.find('head/title').itertext())\n"
      "print(r['eeg']['file'] == sys.argv[3] and r['tracker']['file'] == 'new\\nline.asc' and r['arguments'][3] == \"a'b\", "
      "title.endswith(r['set']), len(r['triggers']))\n";
  testsupport::WriteFile(dir / "check.py", script);
  const std::string command = std::string(TOLMERA_PYTHON) + " \"" + (dir / "check.py") + "\" \"" + (dir / "r.json") + "\" \"" +
                              (dir / "r.html") + "\" 'dir \"quoted\" & <angled>/S\\01\t\xc3\xa9.eeg' > \"" + (dir / "out.txt") + "\" 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << testsupport::ReadFile(dir / "out.txt");
  EXPECT_EQ(testsupport::ReadFile(dir / "out.txt"), "True True " + std::to_string(report.triggers.size()) + "\n");
}
