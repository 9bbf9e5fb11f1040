#include "varnixlib/sync/matchingreport.h"

#include <iomanip>
#include <iostream>
#include <vector>

#include "varnixlib/support/atomictextwriter.h"
#include "varnixlib/sync/errorhistogram.h"

void PrintOverflowRepair(const OverflowRepair& repair) {
  if (!repair.found) return;
  if (!repair.located) {
    std::cout << "ERROR: Could not apply correction to buffer overflow!" << std::endl;
    if (!repair.failure.empty()) std::cout << "       Why: " << repair.failure << std::endl;
    return;
  }
  if (repair.byTime) {
    std::cout << std::fixed << std::setprecision(0) << "EEG bufferoverflow lost stretch on the eye tracker's clock: "
              << repair.lostFromMs << " to " << repair.lostToMs << " ms" << std::defaultfloat << std::setprecision(6)
              << '\n';
  }
  if (repair.removeCount == 0 && repair.byTime) {
    std::cout << "Eye stream corrected. Triggers removed: 0 (none was sent while the EEG lost its samples)" << std::endl;
    return;
  }
  std::cout << "EEG bufferoverflow start offset eyetracker: " << repair.overflowStart << '\n';
  std::cout << "EEG bufferoverflow end   offset eyetracker: " << repair.overflowEnd << std::endl;
  std::cout << "Eye stream corrected. Triggers removed: " << repair.removeCount << std::endl;
}

void PrintMatching(const std::string& title, const MatchingResult& result) {
  // Paired triggers carry one code on both sides.
  const uint16_t first = result.codes.empty() ? 0 : result.codes.front();
  const uint16_t last = result.codes.empty() ? 0 : result.codes.back();
  std::cout << '\n' << title << '\n';
  std::cout << "LCS   Triggers = " << std::setw(5) << result.pairs.size() << '\n';
  std::cout << "First Pair     = " << std::setw(5) << first << ',' << std::setw(3) << first << '\n';
  std::cout << "Last  Pair     = " << std::setw(5) << last << ',' << std::setw(3) << last << '\n';
  std::cout << "Nb    Segments = " << std::setw(5) << result.endSegment << '\n' << std::endl;
}

void WriteAlignmentStatistics(const MatchingResult& result, const std::string& logDirectory) {
  const std::vector<SegmentFit>& segments = result.segments;
  const uint64_t nseg = result.endSegment - result.firstSegment;

  // Built in memory and written whole at the end, so a failed write never leaves half a table.
  Varnix::AtomicTextWriter file(logDirectory + "GlobalError.txt", "TriggerMatching::WriteGlobalError");
  std::ostream& out = file.Stream();
  out << std::setprecision(15);
  out << "matchingSlope = " << result.matchingSlope << '\n';
  out << "slopePerSegment = " << nseg << '\n';
  for (uint64_t s = result.firstSegment; s < result.endSegment; ++s) out << segments[s].slope << ' ';
  out << '\n';
  out << "nbTriggers = " << result.pairs.size() << '\n';
  out << "triggersPerSegment = " << nseg << '\n';
  for (uint64_t s = result.firstSegment; s < result.endSegment; ++s) {
    const SegmentFit& segment = segments[s];
    const uint32_t count = segment.holdsPairs ? segment.lastPair - segment.firstPair + 1 : 0;
    out << count << ' ';
  }
  out << '\n';
  out << "samplesInsertedBefore = " << nseg << '\n';
  for (uint64_t s = result.firstSegment; s < result.endSegment; ++s) out << segments[s].samplesInserted << ' ';
  out << '\n';
  out << "correctionInsertedBefore = " << nseg << '\n';
  for (uint64_t s = result.firstSegment; s < result.endSegment; ++s) out << segments[s].correction << ' ';
  out << '\n';
  out << std::setw(15) << "[final drift on, shift on]" << ' ' << std::setw(15)
      << "[drift on, shift off]" << ' ' << std::setw(15) << "[drift off, shift off]" << '\n';

  std::vector<uint32_t> codes;
  std::vector<double> errors;
  codes.reserve(result.alignment.size());
  errors.reserve(result.alignment.size());
  out << std::fixed << std::setprecision(5);
  for (const AlignmentRow& row : result.alignment) {
    out << std::setw(15) << row.withShifts << ' ' << std::setw(24) << row.withoutShifts << ' '
        << std::setw(25) << row.asRecorded << '\n';
    codes.push_back(row.code);
    errors.push_back(row.withShifts);
  }
  file.Commit();

  WriteErrorHistograms(codes, errors, logDirectory);
}

bool MatchAndReport(SynchroParams& params, const std::string& title, std::vector<CMarker>& first,
                    const std::vector<CMarker>& second, double rateRatio,
                    const std::vector<CMarker*>* segments, MatchingResult& result,
                    bool twoPointModel, ArticleRecord::Block block, double secondSamplesPerMs) {
  const TriggerMatching matching(MatchingInput{&first, &second, rateRatio, segments, secondSamplesPerMs});
  result.overflow = matching.CorrectBufferOverflow();
  PrintOverflowRepair(result.overflow);
  RemoveOverflowTriggers(first, result.overflow);
  if (!matching.MatchCodes(params, result)) {
    std::cout << "ERROR: Problem with TriggerMatching!" << std::endl;
    return false;
  }
  if (result.pairs.empty()) {
    std::cout << "ERROR: Problem with TriggerMatching and indexes!" << std::endl;
    return false;
  }
  PrintMatching(title, result);
  TriggerMatching::CountAlignment(result, params.article, block);
  return !twoPointModel || matching.ModelDrift(result);
}

void PrintClockModel(const MatchingResult& result) {
  const ClockModel& clock = result.clock;
  const std::ios_base::fmtflags flags = std::cout.flags();
  const std::streamsize precision = std::cout.precision();
  std::cout << std::fixed;
  if (result.timingDecided) {
    std::cout << "Trigger timing decided the pairing: " << result.pairs.size() << " pairs (the codes alone gave "
              << result.codePairs << ", of which fewer fit one clock)\n";
  }
  if (!clock.fitted) {
    std::cout << "Clock model    : none (" << clock.failure << ")\n";
  } else {
    const double msPerSample = 1.0 / clock.slope;
    std::cout << "Clock model    : fitted to " << clock.keptCount << " of " << result.pairs.size()
              << " pairs (" << (result.pairs.size() - clock.keptCount) << " outliers)\n";
    std::cout << "Drift          = " << std::setprecision(1) << clock.driftPpm << " ppm (EEG against tracker)\n";
    std::cout << "Offset         = EEG sample " << std::setprecision(2) << clock.EegPosition(clock.origin)
              << " at tracker time " << std::setprecision(0) << clock.origin << " ms\n";
    std::cout << "Residual       = RMS " << std::setprecision(3) << clock.rms * msPerSample << " ms, largest "
              << clock.largest * msPerSample << " ms (tolerance " << clock.tolerance * msPerSample << " ms)\n";
    if (clock.exactRegistration) {
      std::cout << "Registration   = exact on both devices (the residuals show no jitter)\n";
    } else {
      std::cout << "Registration   = EEG half a sample, tracker " << std::setprecision(1) << clock.trackerDelayMs
                << " ms late on average: " << std::setprecision(3) << clock.delayCompensation
                << " EEG samples taken off the line\n";
    }
    for (uint64_t k = 1; k < result.segments.size(); ++k) {
      const SegmentFit& fit = result.segments[k];
      std::cout << "Segment " << std::setw(2) << (k + 1) << " correction = " << std::setw(4) << fit.correction
                << (fit.holdsPairs ? "" : "  (no matched trigger: its date decides)") << '\n';
    }
  }
  std::cout << "Verdict        : " << (result.verdict.accepted ? "the recordings belong together" : "REFUSED")
            << '\n' << std::endl;
  std::cout.flags(flags);
  std::cout.precision(precision);
}
