#pragma once
// The only place that talks to the operating system. Everything else goes through these calls,
// so a Windows port replaces platform.cpp and nothing more.

#include <cstdint>
#include <string>

namespace Varnix::Platform {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

/// Result of a file status query; sizes are 64-bit so files of 2 GB and more work.
struct FileStatus {
  bool exists = false;
  bool isDirectory = false;
  int64_t size = 0;
};

FileStatus Stat(const std::string& path);

/// Descriptor-level calls, binary mode. Open* return -1 on failure.
int OpenForReading(const std::string& path);
int OpenForWriting(const std::string& path);  ///< create or truncate
void Close(int fd);
/// Reads or writes exactly count bytes unless the file ends or fails; returns the bytes moved.
/// Loops because one read() moves at most about 2 GB on Linux.
uint64_t ReadFully(int fd, void* buffer, uint64_t count);
uint64_t WriteFully(int fd, const void* data, uint64_t count);

/// Creates one directory; returns 0 or the errno of the failure.
int MakeDirectory(const std::string& path);
/// Returns 0 or the errno of the failure.
int RemoveFile(const std::string& path);
/// Atomic replace of `to` by `from` (both in one directory); returns 0 or errno.
int RenameFile(const std::string& from, const std::string& to);

/// The console "pause": waits for Enter only when both standard input and output are terminals,
/// so batch runs and CI never hang on it.
void Pause();

/// Directory of the per-run diagnostic files (quality and article lines).
std::string DiagnosticDirectory();

}  // namespace Varnix::Platform
