#include "varnixlib/support/atomicfilewriter.h"

#include <cerrno>
#include <utility>

#include "varnixlib/support/platform.h"
#include "varnixlib/support/report.h"

namespace Varnix {

namespace {
/// Attempts at a free temporary name before giving up; names collide only with leftovers of
/// killed runs that had the same process id.
constexpr int kNameAttempts = 100;
}  // namespace

AtomicFileWriter::AtomicFileWriter(std::string finalPath, std::string tag)
    : myFinalPath(std::move(finalPath)), myTag(std::move(tag)) {}

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

bool AtomicFileWriter::Open() {
  Abandon();
  myFailed = false;
  // A rename would replace a device or a directory entry instead of writing into it.
  const Platform::FileStatus existing = Platform::Stat(myFinalPath);
  const std::string failure = myOpenFailureTag.empty() ? myTag + "::pf" : myOpenFailureTag;
  if (existing.exists && !existing.isRegular) return Error(failure, myFinalPath);
  // Same directory as the final name, so the rename never crosses file systems. The name shows
  // which output it belongs to, should a killed run leave it behind.
  const std::string stem = myFinalPath + "." + std::to_string(Platform::ProcessId());
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string candidate = stem + (attempt == 0 ? "" : "-" + std::to_string(attempt)) + ".tmp";
    const int fd = Platform::OpenNewForWriting(candidate);
    if (fd >= 0) {
      myFd = fd;
      myTemporaryPath = std::move(candidate);
      return true;
    }
    if (errno != EEXIST) break;
  }
  return Error(failure, myFinalPath);
}

bool AtomicFileWriter::Write(const void* data, uint64_t count) {
  if (myFd < 0 || myFailed) {
    myFailed = true;
    return false;
  }
  if (Platform::WriteFully(myFd, data, count) != count) {
    myFailed = true;
    return Error(myTag + "::write", myFinalPath);
  }
  return true;
}

void AtomicFileWriter::CloseDescriptor() {
  if (myFd < 0) return;
  if (Platform::Close(myFd) != 0) myFailed = true;
  myFd = -1;
}

bool AtomicFileWriter::Commit() {
  if (myTemporaryPath.empty()) return false;
  const bool wroteAll = !myFailed;
  CloseDescriptor();
  if (!wroteAll) {
    Abandon();
    return false;  // reported where it failed
  }
  if (myFailed) {  // the close found a late write error (NFS, quota)
    Abandon();
    return Error(myTag + "::write", myFinalPath);
  }
  if (Platform::RenameFile(myTemporaryPath, myFinalPath) != 0) {
    Abandon();
    return Error(myTag + "::rename", myFinalPath);
  }
  myTemporaryPath.clear();
  return true;
}

void AtomicFileWriter::Abandon() {
  if (myFd >= 0) {
    Platform::Close(myFd);
    myFd = -1;
  }
  if (!myTemporaryPath.empty()) {
    Platform::RemoveFile(myTemporaryPath);
    myTemporaryPath.clear();
  }
}

}  // namespace Varnix
