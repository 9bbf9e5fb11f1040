#pragma once
// Running the recording simulator from a test and reading back what it wrote: its ground truth and
// the plain text of its files.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sim/truthfile.h"

namespace simsupport {

/// Runs tolmera-sim with the arguments (shell words) and returns its exit code; its console output
/// goes to <log> when given.
int RunSim(const std::string& arguments, const std::string& log = "");

using simcheck::TruthSegment;
using simcheck::TruthTrigger;

struct Truth : simcheck::Truth {
  /// The value under key; fails the current test when it is absent.
  double Number(const std::map<std::string, std::string>& section, const std::string& key) const;
};

/// Parses a ground-truth file; fails the current test (and returns an empty record) when malformed.
Truth LoadTruth(const std::string& path);

std::vector<std::string> Lines(const std::string& text);  ///< split at LF, a CR before it dropped
std::vector<std::string> Tokens(std::string_view line);   ///< split at blanks and tabs
std::vector<std::string> Fields(std::string_view line, char separator);  ///< keeps empty fields
double ToDouble(std::string_view text);
int64_t ToInt(std::string_view text);

}  // namespace simsupport
