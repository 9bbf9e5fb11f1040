#pragma once
// From the one or two names of the command line to the four input files.

#include <string>

#include "varnixlib/synchroparams.h"

class NameResolver {
 public:
  enum class Result {
    Resolved,        ///< ascFileName, eegFileName and their companions are set
    NoAscOrEegName,  ///< neither name ends with .asc or .eeg
    FilesNotFound,   ///< neither role assignment passed the input checks
  };

  /// Runs the extension test, completes a single name, makes bare names relative to the current
  /// directory and tries both role assignments.
  static Result Resolve(SynchroParams& params, const std::string& nameA, const std::string& nameB);

  /// Longer than four characters and ending, in any case, with ".asc" or ".eeg".
  static bool HasAscOrEegExtension(const std::string& name);
  /// The partner of a single name: the first ".asc" of its file name (any case) becomes ".eeg",
  /// otherwise the first ".eeg" becomes ".asc"; the rest keeps its case.
  static std::string CompleteOneName(const std::string& name);
  /// Native separators, and "./" in front of a name without any directory.
  static std::string MakeRelative(const std::string& name);
  /// A as ASC and B as EEG, else B as ASC and A as EEG. A failed first try leaves nothing behind.
  static bool AssignRoles(SynchroParams& params, const std::string& a, const std::string& b);
};
