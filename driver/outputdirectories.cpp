#include "driver/outputdirectories.h"

#include "varnixlib/support/file.h"
#include "varnixlib/support/logdirectory.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/platform.h"

namespace {

constexpr char kSep = Varnix::Platform::kSeparator;

/// path + separator + name, without doubling a separator the user typed.
std::string Join(const std::string& path, const std::string& name) {
  if (!path.empty() && path.back() == kSep) return path + name;
  return path + kSep + name;
}

/// Keeps the base name and extension of path and puts it into directory.
std::string MoveInto(const std::string& directory, const std::string& path) {
  const PathParts parts = SplitPath(path);
  return MakePath(directory, parts.base, parts.extension);
}

}  // namespace

OutputDirectories::Result OutputDirectories::Prepare(SynchroParams& params, bool outputPathGiven) {
  const PathParts asc = SplitPath(params.ascFileName);
  params.quality.baseName = asc.base;
  params.article.baseName = asc.base;

  if (!outputPathGiven) {
    params.outputPath = asc.directory;
  } else {
    if (!Varnix::File::MakeDirs(params.outputPath)) {
      myFailedPath = params.outputPath;
      return Result::CannotCreateDirectory;
    }
    params.ascMatFileName = MoveInto(params.outputPath, params.ascMatFileName);
    params.eegMatFileName = MoveInto(params.outputPath, params.eegMatFileName);
  }
  if (params.outputPath.empty()) return Result::Ready;
  return MakeLogDirectory(params.outputPath);
}

OutputDirectories::Result OutputDirectories::MakeLogDirectory(const std::string& outputPath) {
  gLogDirectory = Join(outputPath, "log");
  // Exists first: IsDirectory reports a missing path as an error, and a fresh output directory
  // has no log yet.
  const bool present = Varnix::File::Exists(gLogDirectory) && Varnix::File::IsDirectory(gLogDirectory);
  if (!present) {
    // Mkdir takes any existing entry for success, so a plain file named "log" is caught here.
    if (!Varnix::File::MakeDirs(gLogDirectory) || !Varnix::Platform::Stat(gLogDirectory).isDirectory) {
      myFailedPath = gLogDirectory;
      return Result::CannotCreateDirectory;
    }
  }
  gLogDirectory += kSep;
  myAscLogFileName = gLogDirectory + kAscLogName;
  myAscLog.open(myAscLogFileName, std::ios::out | std::ios::trunc);
  if (!myAscLog.is_open()) {
    myFailedPath = myAscLogFileName;
    return Result::CannotOpenLog;
  }
  return Result::Ready;
}

std::string OutputDirectories::OutputPrefix(const SynchroParams& params) {
  return Join(params.outputPath, "synchro_" + BaseName(params.ascMatFileName));
}
