#pragma once
// The texts the program shows on the console: banner, usage and the run parameters.

#include <ostream>
#include <string>
#include <vector>

#include "varnixlib/synchroparams.h"

class ConsoleText {
 public:
  /// Reasons shown above the usage text.
  static constexpr const char* kInvalidArguments = "Invalid argument list";
  static constexpr const char* kInputFilesProblem =
      "Problem with input files. Please verify that the .eeg, .vhdr, .vmrk and .asc files exist and "
      "are named correctly.\n";
  /// Reason for an option that came without its value (-h, -t or -f given last).
  static std::string MissingValue(const std::string& option);

  /// Build date, then the program name with every argument.
  static void Banner(std::ostream& out, const std::vector<std::string>& arguments);
  /// Banner, reason (which carries its own line end, if any) and the calling convention.
  static void Usage(std::ostream& out, const std::vector<std::string>& arguments,
                    const std::string& reason);
  /// Every option with one line each, the exit statuses and where to read more (--help, -?).
  static void Help(std::ostream& out);
  /// The program's version and build date (--version).
  static void Version(std::ostream& out);
  /// The warning for an argument that looks like an option this program does not have.
  static std::string UnknownOption(const std::string& option);
  /// One line for each of the recording's data and marker files that its header names in another
  /// folder than its own: legal, but a sign of a recording copied without all of its files.
  static void CompanionsElsewhere(std::ostream& out, const SynchroParams& params);

  /// Banner and the settings of this run.
  static void RunParameters(std::ostream& out, const std::vector<std::string>& arguments,
                            const SynchroParams& params);
};
