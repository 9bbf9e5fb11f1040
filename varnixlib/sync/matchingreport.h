#pragma once
// What the synchronisation shows of a matching: its console report and the alignment statistics
// files of the eye-tracker/EEG matching. The matcher computes; these functions only show.

#include <string>
#include <vector>

#include "varnixlib/sync/triggermatching.h"

/// The overflow repair's console lines; nothing when the EEG had no buffer overflow.
void PrintOverflowRepair(const OverflowRepair& repair);
/// The pairing's console block: the title, the pair count, the first and last pair's codes and
/// the number of segments the model starts with.
void PrintMatching(const std::string& title, const MatchingResult& result);
/// "GlobalError.txt" (the clock model and the alignment table), "HistoGlobalError.txt" and
/// "HistoPerTriggerError.txt" in logDirectory (which ends in a separator). A file that cannot be
/// written is reported; the others are still written.
void WriteAlignmentStatistics(const MatchingResult& result, const std::string& logDirectory);

/// One matching as the synchronisation runs it: the overflow repair (applied to first, which the
/// caller owns; by time when secondSamplesPerMs is given with the segments, else by the codes) and
/// its report, the pairing and its report, the alignment count into the article block and, with a
/// segment list and twoPointModel, the two-point clock model. The second list is not changed: its
/// owner applies the segment shifts of the result. False, reported, when it fails.
bool MatchAndReport(SynchroParams& params, const std::string& title, std::vector<CMarker>& first,
                    const std::vector<CMarker>& second, double rateRatio,
                    const std::vector<CMarker*>* segments, MatchingResult& result,
                    bool twoPointModel = true, ArticleRecord::Block block = ArticleRecord::kTrackerEeg,
                    double secondSamplesPerMs = 0.0);
/// The fitted clock model's console lines: pairs kept, drift, residuals, segment corrections, and
/// the verdict on the pair.
void PrintClockModel(const MatchingResult& result);
