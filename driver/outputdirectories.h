#pragma once
// The output directory, its log subdirectory, the ASC log file and the prefix of every result.

#include <fstream>
#include <string>

#include "varnixlib/synchroparams.h"

class OutputDirectories {
 public:
  enum class Result {
    Ready,
    CannotCreateDirectory,  ///< FailedPath() names the directory
    CannotOpenLog,          ///< FailedPath() names the log file
  };

  /// Name of the ASC log inside the log directory.
  static constexpr const char* kAscLogName = "Log-AscRawData.txt";

  /// Without -h the results go beside the ASC file. With -h the output directory is created and
  /// the MAT names move into it. Then the log directory (gLogDirectory) is made and the ASC log
  /// opened, truncated.
  Result Prepare(SynchroParams& params, bool outputPathGiven);

  /// output path + separator + "synchro_" + base name of the ASC MAT file.
  static std::string OutputPrefix(const SynchroParams& params);

  const std::string& FailedPath() const { return myFailedPath; }
  /// The ASC log: its name and the open stream, which the ASC stage takes over.
  const std::string& AscLogFileName() const { return myAscLogFileName; }
  std::ofstream& AscLog() { return myAscLog; }

 private:
  Result MakeLogDirectory(const std::string& outputPath);

  std::string myFailedPath;
  std::string myAscLogFileName;
  std::ofstream myAscLog;
};
