#pragma once
// Reading a ground-truth file (NAME.truth.txt, its format in the tool's help) back, for the tests and
// benchmarks that measure a synchronisation against it. The simulator itself never reads one; the
// reader lives beside the writer so that both change together.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace simcheck {

struct TruthSegment {
  int index = 0;
  std::string kind;
  int64_t vmrkPosition = 0, gapFilledPosition = 0, recorded = 0, lostBefore = 0;
  std::string date;            ///< as in the .vmrk
  int64_t dateErrorUs = 0;     ///< date minus trueDate (0 without --date-error)
  std::string trueDate;        ///< the EEG's nominal clock (= date without --date-error)
};

struct TruthTrigger {
  int index = 0, code = 0;
  double trueMs = 0;
  int64_t etTimestamp = 0, vmrkPosition = 0, gapFilledPosition = 0;
  bool lost = false, adjacent = false, coincident = false;
  bool eegRecorded = false;    ///< a .vmrk marker for it
  bool etRecorded = true;      ///< an INPUT line for it
  std::string outlier = "none";
  double doubleTrueMs = 0;
  int64_t doublePosition = 0;  ///< .vmrk position of an EEG double, INPUT timestamp of a tracker double
  // With --message-triggers (0 without): the message's true arrival, printed stamp and offset field.
  double msgArrivalMs = 0;
  int64_t msgTimestamp = 0, msgOffset = 0;
  int64_t msgDoubleTimestamp = 0, msgDoubleOffset = 0;  ///< a tracker double's second message
};

/// A keyword message whose text is no code (--message-noise).
struct TruthNoiseMessage {
  double arrivalMs = 0;
  int64_t timestamp = 0, offset = 0;
  std::string value;
};

struct Truth {
  std::map<std::string, std::string> recording, clock;
  std::vector<std::string> blocks;  ///< "first,last,samples"
  std::vector<TruthSegment> segments;
  std::vector<TruthTrigger> triggers;
  std::vector<TruthNoiseMessage> messageNoise;
  /// The value under key as a number; NaN when absent or not a number.
  double Number(const std::map<std::string, std::string>& section, const std::string& key) const;
};

/// Parses a ground-truth file. False with the first problem in error when it cannot be read or a
/// line does not fit its section.
bool ReadTruth(const std::string& path, Truth& truth, std::string& error);

}  // namespace simcheck
