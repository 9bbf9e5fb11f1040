#include "varnixlib/support/atomicfilewriter.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "varnixlib/support/paths.h"
#include "varnixlib/support/platform.h"
#include "varnixlib/support/report.h"

namespace Varnix {

namespace {
/// Attempts at a free temporary name before giving up; names collide only with leftovers of
/// killed runs that had the same process id.
constexpr int kNameAttempts = 100;
}  // namespace

int AtomicFileWriter::RemoveStaleTemporaries(const std::string& finalPath) {
  size_t nameStart = 0;
  for (size_t i = 0; i < finalPath.size(); ++i) {
    if (IsSeparator(finalPath[i])) nameStart = i + 1;
  }
  const std::string directory = finalPath.substr(0, nameStart);
  const std::string prefix = finalPath.substr(nameStart) + ".";
  const std::string suffix = ".tmp";
  int removed = 0;
  for (const std::string& name : Platform::DirectoryEntries(directory)) {
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    // Only this writer's own pattern: "<id>" or "<id>-<attempt>" between the two.
    const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const size_t dash = middle.find('-');
    const std::string id = middle.substr(0, dash);
    const std::string attempt = dash == std::string::npos ? "1" : middle.substr(dash + 1);
    auto digits = [](const std::string& text) {
      return !text.empty() && text.size() <= 19 &&
             std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(id) || !digits(attempt)) continue;
    const uint64_t pid = std::stoull(id);
    if (pid == Platform::ProcessId() || Platform::ProcessAlive(pid)) continue;
    if (Platform::RemoveFile(directory + name) == 0) ++removed;
  }
  return removed;
}

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
  RemoveStaleTemporaries(myFinalPath);
  const std::string stem = myFinalPath + "." + std::to_string(Platform::ProcessId());
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string candidate = stem + (attempt == 0 ? "" : "-" + std::to_string(attempt)) + ".tmp";
    // Registered before it exists: an interruption right after the file appears must find it.
    // The name holds this process's id, so whatever the handler might remove under it is ours.
    const int slot = Platform::RegisterTemporary(candidate);
    const int fd = Platform::OpenNewForWriting(candidate);
    if (fd >= 0) {
      myFd = fd;
      myTemporaryPath = std::move(candidate);
      mySlot = slot;
      return true;
    }
    const int error = errno;
    Platform::UnregisterTemporary(slot);
    if (error != EEXIST) break;
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
  Platform::UnregisterTemporary(mySlot);
  mySlot = -1;
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
    Platform::UnregisterTemporary(mySlot);
    mySlot = -1;
    myTemporaryPath.clear();
  }
}

}  // namespace Varnix
