#pragma once
// The synchronisation report of one run: what the synchronisation found (SyncRecord), put into the
// terms a reader checks a subject by: the verdict, the trigger counts, the clock model in ms and
// ppm, the EEG segments, and every trigger with its fate. Built once, as a pure computation; the
// HTML page, the JSON file and the console summary are all read off this one record, so they can
// never disagree.

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "varnixlib/merge/syncrecord.h"
#include "varnixlib/synchroparams.h"

/// What the driver knows of the run beyond the synchronisation's record.
struct ReportRun {
  std::string setName;    ///< base name of the merged set ("synchro_S01.asc")
  std::string htmlPath;   ///< where the page goes (as the console shows it)
  std::string jsonPath;
  std::string eegFile;    ///< the input files, as the run named them
  std::string ascFile;
  std::vector<std::string> arguments;  ///< the command line, without the program name
  std::string version;    ///< the program's version ("0.1")
  std::string built;      ///< its build date
  std::string eegSampleType;   ///< as the header names it ("INT_16", "IEEE_FLOAT_32", ...)
  uint32_t eegChannels = 0;
  uint64_t eegSamples = 0;     ///< on the line with the date-derived lost samples put back
  uint32_t trackerChannels = 0;
  std::string trackerEyes;     ///< "left", "right", "both"
  uint64_t trackerSamples = 0;
  double trackerEndMs = 0.0;   ///< the tracker's last timestamp
  std::vector<std::string> setNames;  ///< base name of each output set, in the order written
  bool succeeded = false;      ///< the run ended with status 0
};

enum class TriggerStatus {
  Matched,    ///< paired, and on the clock line within the tolerance
  Outlier,    ///< paired, but left out of the clock model
  Removed,    ///< a tracker trigger the EEG lost in a buffer overflow, taken out before pairing
  Unmatched,  ///< on one side only
};

/// Where the run ended, in the reader's words.
enum class ReportOutcome {
  Synchronised,   ///< merged, the verdict accepted the pair (or -O, which gives no verdict)
  MergedAnyway,   ///< merged with -F although the verdict refused the pair
  Refused,        ///< not merged: the pair does not belong together or cannot be modelled
  MergeFailed,    ///< the pair was accepted, but the merge did not complete
};

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

/// One trigger of either side; a matched pair is one entry with both sides.
struct ReportTrigger {
  uint16_t code = 0;
  TriggerStatus status = TriggerStatus::Unmatched;
  bool onEeg = false;
  bool onTracker = false;
  int64_t eegPosition = -1;      ///< 0-based sample on the merged EEG line (lost samples and fitted corrections in place)
  int64_t eegFilePosition = -1;  ///< 0-based sample in the .eeg file as recorded
  int32_t segment = -1;          ///< 0-based EEG segment
  double trackerMs = kNoValue;   ///< the tracker's timestamp
  double residualMs = kNoValue;  ///< EEG position less the clock line, in ms (pairs only)
  double seconds = 0.0;          ///< place on the report's time axis (below)
};

/// One EEG segment: a stretch recorded without interruption.
struct ReportSegment {
  int64_t filePosition = 0;   ///< first sample in the .eeg file
  int64_t start = 0;          ///< first sample on the merged line
  int64_t recordedSamples = 0;
  int64_t lostByDate = 0;     ///< samples the segment dates say were lost just before it
  int32_t correction = 0;     ///< whole samples the clock model added to that
  int64_t inserted = 0;       ///< lostByDate + correction: samples put back before it
  bool afterOverflow = false; ///< begun by a buffer overflow rather than a pause
  std::string date;           ///< its date as "YYYY-MM-DD hh:mm:ss.ffffff", empty when none
  uint64_t matched = 0;       ///< pairs in it, outliers included
  uint64_t outliers = 0;
  double residualMeanMs = kNoValue;     ///< over the pairs kept by the model
  double residualLargestMs = kNoValue;  ///< largest |residual| of the kept pairs
};

/// A "Buffer Overflow" of the EEG and the tracker triggers the repair took out for it.
struct ReportOverflow {
  int64_t eegPosition = 0;   ///< on the merged line
  bool located = false;      ///< the repair found both ends of the lost stretch
  uint64_t removed = 0;
};

/// One output set written.
struct ReportSet {
  std::string name;
  bool drift = true;
  double rateHz = 0.0;
  uint64_t samples = 0;
  uint32_t channels = 0;
};

/// The clock model as the report shows it, in the reader's units.
struct ReportClock {
  enum class Kind { Fitted, TwoPoint, None } kind = Kind::None;
  double driftPpm = kNoValue;
  double samplesPerMs = kNoValue;   ///< EEG samples per tracker millisecond
  double offsetSamples = kNoValue;  ///< EEG position of the tracker time originMs
  double originMs = kNoValue;
  double eegStartMs = kNoValue;     ///< the tracker's time of the first EEG sample
  double delayCompensationSamples = kNoValue;
  bool exactRegistration = false;
  double toleranceMs = kNoValue;
  double rmsMs = kNoValue;
  double largestMs = kNoValue;
  double rSquared = kNoValue;
};

struct ReportFigures {
  uint64_t eegTriggers = 0;
  uint64_t trackerTriggers = 0;   ///< as recorded, before the overflow repair
  uint64_t removed = 0;           ///< by the overflow repair
  uint64_t matched = 0;           ///< pairs, outliers included
  uint64_t outliers = 0;
  uint64_t unmatchedEeg = 0;
  uint64_t unmatchedTracker = 0;  ///< after the repair
  bool timingDecided = false;     ///< the triggers' timing chose the pairs, not the codes alone
  uint64_t codePairs = 0;         ///< pairs the codes alone gave then
  uint64_t samplesInserted = 0;   ///< over every segment
  double outputRateHz = 0.0;
};

struct SyncReport {
  ReportRun run;
  ReportOutcome outcome = ReportOutcome::Refused;
  std::string headline;   ///< the verdict in one line
  std::string reason;     ///< why it was refused (or why -F was needed); empty otherwise
  bool verdictGiven = false;  ///< a verdict was reached (not with -O, nor without pairs)
  bool accepted = false;      ///< the verdict: the recordings belong together
  double eegRate = 0.0;
  double gazeRate = 0.0;
  double trackerPeriodMs = 0.0;
  double trackerStartMs = 0.0;
  int64_t eegMergedSamples = 0;  ///< the merged EEG line: recorded plus every inserted sample
  int64_t eegRecordedSamples = 0;
  /// The report's time axis is the EEG's merged line in seconds (0: its first sample). Tracker
  /// triggers without an EEG partner are placed on it at the nominal rates, offset by the median
  /// of the pairs: a view of the raw agreement that no fitted model can flatter.
  double trackerAxisShiftS = 0.0;  ///< seconds = trackerMs / 1000 + shift
  bool trackerAxisFromPairs = false;
  ReportClock clock;
  ReportFigures figures;
  std::vector<ReportSegment> segments;
  std::vector<ReportOverflow> overflows;
  std::vector<ReportTrigger> triggers;  ///< in the order of the time axis
  std::vector<ReportSet> sets;
  /// The options of the run: option, what it did, in plain words.
  std::vector<std::pair<std::string, std::string>> options;

  double ResidualToOutputSamples(double ms) const { return ms * figures.outputRateHz / 1000.0; }
};

/// The report of the run, from what the synchronisation found (sync.eegRate > 0: the
/// eye-tracker/EEG matching was reached).
SyncReport BuildSyncReport(const SyncRecord& sync, const SynchroParams& params, const ReportRun& run);

/// The name of a status in the JSON file and on the page ("matched", "outlier", ...).
const char* StatusName(TriggerStatus status);
const char* OutcomeName(ReportOutcome outcome);
