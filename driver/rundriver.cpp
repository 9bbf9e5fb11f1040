#include "driver/rundriver.h"

#include <cstdint>
#include <ctime>
#include <iostream>
#include <type_traits>

#include "driver/articlewriter.h"
#include "driver/builddate.h"
#include "driver/commandline.h"
#include "driver/consoletext.h"
#include "driver/fatal.h"
#include "driver/nameresolver.h"
#include "driver/qualitywriter.h"
#include "varnixlib/support/file.h"
#include "varnixlib/support/logdirectory.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/platform.h"
#include "varnixlib/asc/ttlfile.h"
#include "varnixlib/mat/ascrawdata_mat.h"
#include "varnixlib/mat/brainamp_mat.h"
#include "varnixlib/report/reportsummary.h"
#include "varnixlib/report/reportwriter.h"
#include "varnixlib/report/syncreport.h"
#include "varnixlib/syncinfo.h"

namespace {

/// Usage text on standard output, pause, and the status of an invalid command line.
int UsageExit(const std::vector<std::string>& arguments, const std::string& reason) {
  ConsoleText::Usage(std::cout, arguments, reason);
  Varnix::Platform::Pause();
  return ExitStatus(-1);
}

}  // namespace

int RunDriver::Run(const std::vector<std::string>& arguments) {
  myArguments = arguments;
  if (arguments.empty()) return UsageExit(arguments, ConsoleText::kInvalidArguments);

  const CommandLine line = CommandLine::Parse(arguments, myParams);
  myParams.velocityChannels = true;
  if (line.HelpWanted()) {
    ConsoleText::Help(std::cout);
    return 0;
  }
  if (line.VersionWanted()) {
    ConsoleText::Version(std::cout);
    return 0;
  }
  for (const std::string& unknown : line.UnknownOptions()) {
    std::cerr << ConsoleText::UnknownOption(unknown) << std::endl;
  }
  if (!line.OptionWithoutValue().empty()) {
    return UsageExit(arguments, ConsoleText::MissingValue(line.OptionWithoutValue()));
  }

  std::string inputProblem;
  switch (NameResolver::Resolve(myParams, line.NameA(), line.NameB(), &inputProblem)) {
    case NameResolver::Result::NoAscOrEegName:
      std::cerr << "You must provide at least one file with extension .asc or .eeg" << std::endl;
      return ExitStatus(-4);
    case NameResolver::Result::FilesNotFound:
      // The usage says what the program needs; this line says which of it is not there.
      if (!inputProblem.empty()) std::cerr << "!!! " << inputProblem << std::endl;
      return UsageExit(arguments, ConsoleText::kInputFilesProblem);
    case NameResolver::Result::Resolved:
      break;
  }

  switch (myOutput.Prepare(myParams, line.OutputPathGiven())) {
    case OutputDirectories::Result::CannotCreateDirectory:
      return Fatal("!!! Can not create output path -> " + myOutput.FailedPath(), -3);
    case OutputDirectories::Result::CannotOpenLog:
      return Fatal("!!! Can not open the log file -> " + myOutput.FailedPath(), -3);
    case OutputDirectories::Result::Ready:
      break;
  }
  myPrefix = OutputDirectories::OutputPrefix(myParams);

  const std::string header = Brainamp::HeaderFileName(myParams);
  const int32_t sampleType = myBrainamp.ReadBinaryFormat(header);
  ConsoleText::RunParameters(std::cout, arguments, myParams);
  ConsoleText::CompanionsElsewhere(std::cout, myParams);
  switch (sampleType) {
    case 0: return RunStages<int16_t>();
    case 1: return RunStages<float>();
    case 2: return RunStages<double>();
    default:
      std::cerr << "!!! " << header << " stores its samples as BinaryFormat="
                << (myBrainamp.myVhdr.binaryFormatText.empty() ? "(empty)" : myBrainamp.myVhdr.binaryFormatText)
                << "; only INT_16, IEEE_FLOAT_32 and IEEE_FLOAT_64 are read" << std::endl;
      return Fatal("!!! Invalid EEG data format", -3);
  }
}

template <typename T>
int RunDriver::RunStages() {
  const Outcome outcome = RunRecordingStages<T>();
  if (outcome == Outcome::AscMatFileFailed || outcome == Outcome::AscCorrupted) return Finish(outcome);
  PrintStatisticsFiles();
  QualityWriter::Write(myParams.quality);
  ArticleWriter::Write(myParams.article);
  ReportSynchronisation(outcome);
  return Finish(outcome);
}

template <typename T>
RunDriver::Outcome RunDriver::RunRecordingStages() {
  if (!myBrainamp.Process<T>(myParams)) return Outcome::EegFailed;

  // ASC stage. Gaze goes into a 16-bit recording, so it is rounded to whole numbers there.
  myParams.roundGaze = std::is_same_v<T, int16_t>;
  myAsc.AdoptLog(myOutput.AscLogFileName(), std::move(myOutput.AscLog()));
  const std::clock_t before = std::clock();
  const bool ascDone = myAsc.Process(myParams);
  myParams.quality.ascProcessingTime = static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
  if (!ascDone) return myAsc.StoppedOnCorruption() ? Outcome::AscCorrupted : Outcome::AscFailed;

  myTtlTriggers = TtlFile::Read(myParams.ascFileName);
  Varnix::File::Remove(myParams.ascMatFileName);
  if (myParams.matOutput && !AscMatExport(myAsc).SaveMatFile(myParams)) return Outcome::AscMatFileFailed;
  // Each merged set's MAT file follows the set, from the description the merge returns.
  const Brainamp::SetWritten exportSet = [this](const SyncInfo& info, const std::string& name) {
    return !myParams.matOutput || SaveMatFile(myBrainamp, myAsc, info, name);
  };
  if (!myBrainamp.Synchronize<T>(myParams, myPrefix, myAsc, myTtlTriggers, exportSet, &mySync)) {
    return Outcome::SyncFailed;
  }
  return Outcome::Success;
}

void RunDriver::PrintStatisticsFiles() const {
  // Only files this run wrote: a failed run must not point at files it never made (or at an
  // earlier run's).
  if (!mySync.statisticsWritten) return;
  std::cout << "Alignment errors [samples] for all shared triggers are in: " << gLogDirectory
            << "GlobalError.txt" << '\n';
  std::cout << "Histogram of the alignment errors [samples] for all triggers: " << gLogDirectory
            << "HistoGlobalError.txt" << '\n';
  std::cout << "Histogram of the alignment errors [samples] for each trigger: " << gLogDirectory
            << "HistoPerTriggerError.txt" << '\n';
  std::cout.flush();
}

void RunDriver::ReportSynchronisation(Outcome outcome) {
  // A run that ended before the matching has nothing to show.
  if (!(mySync.eegRate > 0.0)) return;
  auto fileName = [](const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
  };
  ReportRun run;
  run.setName = fileName(myPrefix);
  run.htmlPath = gLogDirectory + run.setName + ".report.html";
  run.jsonPath = gLogDirectory + run.setName + ".report.json";
  run.eegFile = myParams.eegFileName;
  run.ascFile = myParams.ascFileName;
  run.arguments = myArguments;
  run.version = TOLMERA_VERSION;
  run.built = BuildDate();
  run.eegSampleType = myBrainamp.myVhdr.binaryFormatText;
  run.eegChannels = myBrainamp.myVhdr.nbChannels;
  run.eegSamples = myBrainamp.myVhdr.nbOfSamples;
  run.trackerChannels = myAsc.NbChannels();
  run.trackerEyes = myAsc.LeftEyePresent() && myAsc.RightEyePresent() ? "both" : myAsc.LeftEyePresent() ? "left" : "right";
  run.trackerSamples = myAsc.NbSamples();
  run.trackerEndMs = myAsc.EndTimestamp();
  for (const SyncInfo& set : mySync.sets) {
    run.setNames.push_back(fileName(set.drift ? myPrefix : Brainamp::NoDriftName(myPrefix)));
  }
  run.succeeded = outcome == Outcome::Success;
  const SyncReport report = BuildSyncReport(mySync, myParams, run);
  const bool written = WriteSyncReport(report);
  std::cout << ReportSummary(report, written) << std::endl;
}

void RunDriver::RemoveStaleOutputs() const {
  std::vector<std::string> stale;
  auto setFiles = [&](const std::string& set) {
    for (const char* extension : {".eeg", ".vhdr", ".vmrk"}) stale.push_back(set + extension);
    stale.push_back(ReplaceExtension(set, "asc.eeg") + ".event.txt");
  };
  auto setMat = [&](const std::string& set) { stale.push_back(ReplaceExtension(set, "asc.eeg.mat")); };
  const std::string noDrift = Brainamp::NoDriftName(myPrefix);
  if (!myParams.alsoWithoutDrift && noDrift != myPrefix) {
    setFiles(noDrift);
    setMat(noDrift);
  }
  if (!myParams.matOutput) {
    setMat(myPrefix);
    if (myParams.alsoWithoutDrift) setMat(noDrift);
    // The ASC MAT file itself was removed before the merge; its event list goes with it.
    stale.push_back(AscMatExport::EventFileNameOf(myParams.ascMatFileName));
  }
  for (const std::string& file : stale) {
    if (Varnix::Platform::Stat(file).isRegular && Varnix::Platform::RemoveFile(file) == 0) {
      std::cout << "Removed an earlier run's output that this run's options do not write: " << file << '\n';
    }
  }
  std::cout.flush();
}

int RunDriver::Finish(Outcome outcome) {
  switch (outcome) {
    case Outcome::EegFailed:
      return Fatal("!!! Can not process the EEG files -> " + myParams.eegFileName, -3);
    case Outcome::AscFailed:
      // A refusal of the header is written to the log only; the lab needs it where it looks.
      if (!myAsc.LastLogged().empty()) {
        std::cerr << "!!! " << myAsc.LogPath() << " ends with: " << myAsc.LastLogged() << std::endl;
      }
      return Fatal("!!! Can not process the ASC file -> " + myParams.ascFileName, -2);
    case Outcome::AscCorrupted:
      // The stage named the line and the log; nothing more is written, as for a crash.
      Varnix::Platform::Pause();
      return ExitStatus(-1);
    case Outcome::AscMatFileFailed:
      return Fatal("!!! Can not create a valid MAT file -> " + myParams.ascMatFileName, -3);
    case Outcome::SyncFailed:
      return Fatal("!!! Can not synchronize data !!!", -3);
    case Outcome::Success:
      break;
  }
  RemoveStaleOutputs();
  std::cout << "!!! Tolmera END !!!" << std::endl;
  if (myParams.pauseAtEnd) Varnix::Platform::Pause();
  return 0;
}
