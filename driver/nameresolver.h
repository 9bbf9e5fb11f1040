#pragma once
// From the one or two names of the command line to the four input files.

#include <string>

#include "varnixlib/synchroparams.h"

class NameResolver {
 public:
  enum class Result {
    Resolved,        ///< ascFileName, eegFileName and their companions are set
    NoAscOrEegName,  ///< neither name ends with .asc, .eeg, .vhdr or .vmrk
    FilesNotFound,   ///< neither role assignment passed the input checks
  };

  /// Runs the extension test, completes a single name, makes bare names relative to the current
  /// directory and tries both role assignments. problem, when given, receives on FilesNotFound the
  /// line that names the missing or unusable file of the assignment the extensions point to.
  static Result Resolve(SynchroParams& params, const std::string& nameA, const std::string& nameB,
                        std::string* problem = nullptr);

  /// Ending, in any case, with ".asc" or ".eeg" (longer than four characters), or with ".vhdr"
  /// or ".vmrk" (longer than five): the names of the two recordings.
  static bool HasAscOrEegExtension(const std::string& name);
  /// The partner of a single name: a file name ending in ".vhdr" or ".vmrk" (any case) gets ".asc"
  /// in their place; otherwise its first ".asc" (any case) becomes ".eeg", else its first ".eeg"
  /// becomes ".asc"; the rest keeps its case.
  static std::string CompleteOneName(const std::string& name);
  /// Native separators, and "./" in front of a name without any directory.
  static std::string MakeRelative(const std::string& name);
  /// A as ASC and B as EEG, else B as ASC and A as EEG. A failed first try leaves nothing behind.
  /// problems, when given, receive the reason each try failed (empty for a try that passed).
  static bool AssignRoles(SynchroParams& params, const std::string& a, const std::string& b,
                          std::string* firstProblem = nullptr, std::string* secondProblem = nullptr);
};
