#pragma once
// The only place that talks to the operating system. Everything else goes through these calls,
// so a Windows port replaces platform.cpp and nothing more.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Varnix::Platform {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
/// What a text-mode stream writes for '\n'.
inline constexpr const char* kTextLineEnd = "\r\n";
#else
inline constexpr char kSeparator = '/';
inline constexpr const char* kTextLineEnd = "\n";
#endif

/// text with every '\n' written as kTextLineEnd, as a text-mode stream would write it.
std::string ToTextLineEnds(std::string text);

/// Result of a file status query; sizes are 64-bit so files of 2 GB and more work.
struct FileStatus {
  bool exists = false;
  bool isDirectory = false;
  bool isRegular = false;  ///< a plain file (not a directory, device, pipe or socket)
  int64_t size = 0;
};

FileStatus Stat(const std::string& path);

/// Descriptor-level calls, binary mode. Open* return -1 on failure.
int OpenForReading(const std::string& path);
int OpenForWriting(const std::string& path);  ///< create or truncate
/// Creates the file when it is missing; every write goes to its end, also when other processes
/// append to it at the same time.
int OpenForAppending(const std::string& path);
/// Size of the open file, -1 on failure.
int64_t FileSize(int fd);
/// Cuts the open file to size bytes; returns 0 or the errno of the failure.
int TruncateFile(int fd, int64_t size);
/// Returns 0 or the errno of the failure (a late write error shows here on some file systems).
int Close(int fd);
/// Reads or writes exactly count bytes unless the file ends or fails; returns the bytes moved.
/// Loops because one read() moves at most about 2 GB on Linux.
uint64_t ReadFully(int fd, void* buffer, uint64_t count);
uint64_t WriteFully(int fd, const void* data, uint64_t count);
/// Makes WriteFully behave as on a disk that fills after budget more bytes (-1: no limit, the
/// default). For tests of the failure paths of writers, which cannot fill a real disk.
void SetWriteBudgetForTesting(int64_t budget);
/// What is left of that budget (-1: no limit), so a test can measure what a run writes.
int64_t WriteBudgetForTesting();

/// Creates one directory; returns 0 or the errno of the failure.
int MakeDirectory(const std::string& path);
/// The system's own words for an error number (permission denied, not a directory, ...).
std::string ErrorText(int error);
/// Removes a file, never a directory; returns 0 or the errno of the failure.
int RemoveFile(const std::string& path);
/// Opens a file that must not exist yet, for writing (binary); -1 when it exists or cannot be
/// created.
int OpenNewForWriting(const std::string& path);
/// A number that differs between processes running at the same time, for unique file names.
uint64_t ProcessId();

/// Whether a process of that id still runs (a process of another user counts as running; where
/// the system cannot tell, every process counts as running).
bool ProcessAlive(uint64_t id);
/// The names (not paths) of the entries of a directory; empty when it cannot be read.
std::vector<std::string> DirectoryEntries(const std::string& directory);

/// From now on SIGINT, SIGTERM and SIGHUP (Ctrl-C and Ctrl-Break on Windows) remove the
/// registered temporary files and end the process with status 128 + the signal's number, as a
/// shell reports a process it stopped.
void RemoveTemporariesOnInterrupt();
/// Registers a temporary file for that removal; returns a slot for UnregisterTemporary, or -1
/// when every slot is taken (the file is then not removed on an interruption).
int RegisterTemporary(const std::string& path);
void UnregisterTemporary(int slot);

/// A whole file mapped read-only: its bytes are the system's file cache itself, so reading it
/// neither zeroes fresh memory nor copies the file into it. An empty file maps to no bytes.
/// The bytes are valid while the object lives; the file must not be changed meanwhile.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() { Close(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  MappedFile(MappedFile&& other) noexcept { *this = std::move(other); }
  MappedFile& operator=(MappedFile&& other) noexcept;

  /// Maps path (closing what was mapped before); returns 0 or the errno of the failure.
  int Open(const std::string& path);
  void Close();
  bool IsOpen() const { return myOpen; }
  const char* Data() const { return static_cast<const char*>(myAddress); }
  uint64_t Size() const { return mySize; }
  /// The bytes [offset, offset + bytes) will not be read again: their pages leave this process's
  /// memory (a later read would bring them back from the file). Only whole pages inside the range
  /// are released.
  void Release(uint64_t offset, uint64_t bytes);

 private:
  void* myAddress = nullptr;
  uint64_t mySize = 0;
  bool myOpen = false;
};

/// Atomic replace of `to` by `from` (both in one directory); returns 0 or errno.
int RenameFile(const std::string& from, const std::string& to);

/// The console "pause": waits for Enter only when both standard input and output are terminals,
/// so batch runs and CI never hang on it.
void Pause();

/// Directory of the per-run diagnostic files (quality and article lines): TOLMERA_DIAGNOSTIC_DIR
/// when set, else the platform's temporary folder. Ends in a separator.
std::string DiagnosticDirectory();

}  // namespace Varnix::Platform
