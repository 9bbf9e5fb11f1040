#pragma once
// A file that appears under its final name whole or not at all: the bytes go to a temporary file
// in the same directory, which is renamed into place only after every byte was written and the
// file closed. A run that fails, or a writer destroyed before Commit, leaves the final name as it
// was (absent, or holding the previous complete file) and removes the temporary.

#include <cstdint>
#include <string>
#include <utility>

namespace Varnix {

class AtomicFileWriter {
 public:
  /// tag names the writing operation in the error lines: tag + "::pf" (cannot create),
  /// "::write", "::rename".
  explicit AtomicFileWriter(std::string finalPath, std::string tag = "AtomicFileWriter");
  /// Abandons a file not committed.
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  /// Temporaries of finalPath ("<finalPath>.<process id>[-n].tmp") left by runs whose process is
  /// gone (killed before they could clean up), removed; returns how many.
  static int RemoveStaleTemporaries(const std::string& finalPath);

  /// Removes the stale temporaries of the final name, then creates the temporary file, a new one
  /// that no other writer uses, removed also when the run is interrupted. False, reported, when the
  /// directory is missing or not writable, or the final name is something other than a plain
  /// file (a directory or a device is never replaced).
  bool Open();
  /// Appends count bytes. A short write (full disk) is reported; Commit then refuses.
  bool Write(const void* data, uint64_t count);
  /// Closes the temporary and renames it onto the final name. False, reported (except a failure
  /// already reported by Write), when anything failed since Open; the temporary is then removed.
  bool Commit();
  /// Closes and removes the temporary; the final name is untouched.
  void Abandon();

  /// Closes the descriptor but keeps the temporary file, for a library that writes the file by
  /// its name (Commit or Abandon still decide its fate).
  void CloseDescriptor();
  /// Marks the content as failed, for failures found by such a library; Commit then refuses.
  void MarkFailed() { myFailed = true; }
  /// The error tag Open reports instead of tag + "::pf", for writers whose callers know a
  /// message of their own for an output that cannot be created.
  void SetOpenFailureTag(std::string tag) { myOpenFailureTag = std::move(tag); }

  const std::string& FinalPath() const { return myFinalPath; }
  /// Empty until Open succeeds and again after Commit or Abandon.
  const std::string& TemporaryPath() const { return myTemporaryPath; }

 private:
  std::string myFinalPath;
  std::string myTag;
  std::string myOpenFailureTag;  ///< empty: tag + "::pf"
  std::string myTemporaryPath;
  int myFd = -1;
  int mySlot = -1;         ///< registration for removal on an interruption
  bool myFailed = false;   ///< a write failed: the content is not whole
};

}  // namespace Varnix
