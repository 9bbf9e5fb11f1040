#pragma once
// The checks that decide whether a name given on the command line is a usable eye-tracker or EEG
// recording. They fill the file-name fields of the run parameters as they go.

#include <string>

#include "varnixlib/synchroparams.h"

class InputCheck {
 public:
  /// name is an EyeLink ASC export: it exists; a name whose extension is not "asc" must start with
  /// the EDF2ASC line "** CONVERTED FROM"; a given companion (.ext) or triggers file must exist,
  /// otherwise "<name>.ext" and "<name>.trig.txt" are taken when present. Sets ascFileName and
  /// ascMatFileName on success.
  static bool Asc(SynchroParams& params, const std::string& name);

  /// name is a BrainVision data file with its header (.vhdr) and marker file (.vmrk) beside it.
  /// Sets eegFileName and eegMatFileName (also when the check fails).
  static bool Eeg(SynchroParams& params, const std::string& name);

  /// The text EDF2ASC writes into the first line of every export.
  static constexpr const char* kConvertedMark = "** CONVERTED FROM";

 private:
  /// A regular file (a directory of that name is not a recording).
  static bool IsFile(const std::string& path);
  static bool FirstLineHasConvertedMark(const std::string& path);
};
