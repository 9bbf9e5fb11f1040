#pragma once
// The command line: options into the run parameters, everything else a file name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "varnixlib/synchroparams.h"

class CommandLine {
 public:
  /// Fills params from the arguments (without the program name). Options are whole arguments of
  /// exactly two characters; unknown ones are ignored. The first file name is name A, every later
  /// one replaces name B; with one name B equals A.
  static CommandLine Parse(const std::vector<std::string>& arguments, SynchroParams& params);

  /// Reads a signed decimal integer as a user types it: leading blanks and a sign allowed,
  /// reading stops at the first non-digit, no digits give 0, values out of range saturate.
  static int64_t ReadInteger(std::string_view text);

  const std::vector<std::string>& Arguments() const { return myArguments; }
  const std::string& NameA() const { return myNameA; }
  const std::string& NameB() const { return myNameB; }
  bool OutputPathGiven() const { return myOutputPathGiven; }
  /// The option ("-h", "-t" or "-f") that came without its value, or empty. An option given last,
  /// or -h / -t followed by an empty argument, has no value.
  const std::string& OptionWithoutValue() const { return myOptionWithoutValue; }
  /// Arguments that begin with '-' but are no option of this program, in their order.
  const std::vector<std::string>& UnknownOptions() const { return myUnknownOptions; }
  /// --help or -? was given; --version was given.
  bool HelpWanted() const { return myHelpWanted; }
  bool VersionWanted() const { return myVersionWanted; }

 private:
  std::vector<std::string> myArguments;
  std::string myNameA;
  std::string myNameB;
  bool myOutputPathGiven = false;
  std::string myOptionWithoutValue;
  std::vector<std::string> myUnknownOptions;
  bool myHelpWanted = false;
  bool myVersionWanted = false;
};
