#pragma once
// One run of the program: command line, input files, directories, then the stages in order and
// the outcome as an exit status.

#include <string>
#include <vector>

#include "driver/outputdirectories.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/merge/syncrecord.h"
#include "varnixlib/synchroparams.h"
#include "varnixlib/asc/trigger.h"

class RunDriver {
 public:
  /// Runs the whole program on the arguments (without the program name); returns the process
  /// exit status.
  int Run(const std::vector<std::string>& arguments);

  const SynchroParams& Params() const { return myParams; }
  /// Prefix of every synchronised output file of the run.
  const std::string& OutputPrefix() const { return myPrefix; }

 private:
  /// How the stages ended; tested in this order when the run finishes.
  enum class Outcome {
    Success,
    EegFailed,
    AscFailed,
    AscCorrupted,  ///< a malformed sample line: the stage said so; the run ends at once
    AscMatFileFailed,  ///< ends the run at once, without the statistics lines and diagnostic files
    SyncFailed,
  };

  /// Everything after the run parameters for the sample type T of the .eeg file.
  template <typename T>
  int RunStages();
  template <typename T>
  Outcome RunRecordingStages();
  /// Where the alignment-error files are; shown on the failure paths too.
  void PrintStatisticsFiles() const;
  /// The synchronisation report (page and JSON file in the log directory) and its summary line,
  /// for every run that reached the eye-tracker/EEG matching, merged or refused.
  void ReportSynchronisation(Outcome outcome);
  int Finish(Outcome outcome);
  /// After a run that merged: removes what an earlier run with other options wrote under this
  /// run's names and this run did not write anew (MAT files without -m, the synchrono_ set
  /// without -N), so that no output beside the new ones belongs to another run. Names each.
  void RemoveStaleOutputs() const;

  std::vector<std::string> myArguments;
  SynchroParams myParams;
  Brainamp myBrainamp;
  AscRawData myAsc;
  std::vector<Trigger> myTtlTriggers;  ///< the reference TTL file's triggers, empty without one
  SyncRecord mySync;                   ///< what the synchronisation found, merged or refused
  OutputDirectories myOutput;
  std::string myPrefix;
};
