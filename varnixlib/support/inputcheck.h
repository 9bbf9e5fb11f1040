#pragma once
// The checks that decide whether a name given on the command line is a usable eye-tracker or EEG
// recording. They fill the file-name fields of the run parameters as they go, and say what was
// wrong when a check fails.

#include <string>

#include "varnixlib/synchroparams.h"

class InputCheck {
 public:
  /// name is an EyeLink ASC export: it exists (an ".asc" written in other case is found too); a
  /// name whose extension is not "asc" must start with the EDF2ASC line "** CONVERTED FROM"; a
  /// given companion (.ext) or triggers file must exist, otherwise "<name>.ext" and
  /// "<name>.trig.txt" are taken when present. Sets ascFileName and ascMatFileName on success.
  /// problem, when given, receives one line saying what is missing or wrong on failure.
  static bool Asc(SynchroParams& params, const std::string& name, std::string* problem = nullptr);

  /// name is one file of a BrainVision recording: its data (.eeg), header (.vhdr) or markers
  /// (.vmrk), extensions in either case. The header is the named .vhdr or the one of the same base
  /// name beside the named file; its DataFile= and MarkerFile= (relative to the header's folder)
  /// name the other two, except the role the user named himself; a header without them means the
  /// same base name beside it. Sets eegFileName, vhdrFileName, vmrkFileName and eegMatFileName
  /// (also when the check fails).
  static bool Eeg(SynchroParams& params, const std::string& name, std::string* problem = nullptr);

  /// The file's extension in lower case is one of "eeg", "vhdr", "vmrk".
  static bool IsBrainVisionName(const std::string& name);

  /// path when it exists, else path with its extension in lower or upper case when that exists
  /// (Windows exports write ".EEG", ".VHDR", ".ASC"), else path unchanged.
  static std::string WithExistingExtensionCase(const std::string& path);

  /// The text EDF2ASC writes into the first line of every export.
  static constexpr const char* kConvertedMark = "** CONVERTED FROM";

 private:
  /// A regular file (a directory of that name is not a recording).
  static bool IsFile(const std::string& path);
  static bool FirstLineHasConvertedMark(const std::string& path);
};
