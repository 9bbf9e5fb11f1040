#include "varnixlib/support/platform.h"

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <fcntl.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif
#ifdef _WIN32
#include <process.h>
#endif

namespace Varnix::Platform {

namespace {
int64_t gWriteBudget = -1;  ///< bytes WriteFully may still move; -1 unlimited (tests only)
}  // namespace

void SetWriteBudgetForTesting(int64_t budget) { gWriteBudget = budget; }
int64_t WriteBudgetForTesting() { return gWriteBudget; }

std::string ToTextLineEnds(std::string text) {
  if (std::string_view(kTextLineEnd) == "\n") return text;
  std::string translated;
  translated.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') translated += kTextLineEnd;
    else translated += c;
  }
  return translated;
}

FileStatus Stat(const std::string& path) {
  FileStatus result;
#ifdef _WIN32
  struct _stat64 st;
  if (_stat64(path.c_str(), &st) != 0) return result;
  result.isDirectory = (st.st_mode & _S_IFDIR) != 0;
  result.isRegular = (st.st_mode & _S_IFREG) != 0;
#else
  struct stat st;  // off_t is 64-bit on every supported target (_FILE_OFFSET_BITS on 32-bit)
  if (::stat(path.c_str(), &st) != 0) return result;
  result.isDirectory = S_ISDIR(st.st_mode);
  result.isRegular = S_ISREG(st.st_mode);
#endif
  result.exists = true;
  result.size = static_cast<int64_t>(st.st_size);
  return result;
}

int OpenForReading(const std::string& path) {
#ifdef _WIN32
  return _open(path.c_str(), _O_RDONLY | _O_BINARY);
#else
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
}

int OpenForWriting(const std::string& path) {
#ifdef _WIN32
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
#endif
}

int OpenForAppending(const std::string& path) {
#ifdef _WIN32
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
#endif
}

int64_t FileSize(int fd) {
#ifdef _WIN32
  struct _stat64 st;
  if (_fstat64(fd, &st) != 0) return -1;
#else
  struct stat st;
  if (::fstat(fd, &st) != 0) return -1;
#endif
  return static_cast<int64_t>(st.st_size);
}

int TruncateFile(int fd, int64_t size) {
#ifdef _WIN32
  return _chsize_s(fd, size);
#else
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
#endif
}

int OpenNewForWriting(const std::string& path) {
#ifdef _WIN32
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
}

uint64_t ProcessId() {
#ifdef _WIN32
  return static_cast<uint64_t>(_getpid());
#else
  return static_cast<uint64_t>(::getpid());
#endif
}

int Close(int fd) {
  if (fd < 0) return 0;
#ifdef _WIN32
  return _close(fd) == 0 ? 0 : errno;
#else
  return ::close(fd) == 0 ? 0 : errno;
#endif
}

uint64_t ReadFully(int fd, void* buffer, uint64_t count) {
  auto* out = static_cast<char*>(buffer);
  uint64_t done = 0;
  while (done < count) {
    const uint64_t chunk = std::min<uint64_t>(count - done, 1u << 30);
#ifdef _WIN32
    const int got = _read(fd, out + done, static_cast<unsigned>(chunk));
#else
    const ssize_t got = ::read(fd, out + done, chunk);
#endif
    if (got < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (got == 0) break;
    done += static_cast<uint64_t>(got);
  }
  return done;
}

uint64_t WriteFully(int fd, const void* data, uint64_t count) {
  const auto* in = static_cast<const char*>(data);
  if (gWriteBudget >= 0) {
    // Simulated full disk: move what the budget allows, then fail as write() does with ENOSPC.
    const uint64_t allowed = std::min<uint64_t>(count, static_cast<uint64_t>(gWriteBudget));
    gWriteBudget -= static_cast<int64_t>(allowed);
    if (allowed < count) {
      count = allowed;
      errno = ENOSPC;
    }
  }
  uint64_t done = 0;
  while (done < count) {
    const uint64_t chunk = std::min<uint64_t>(count - done, 1u << 30);
#ifdef _WIN32
    const int put = _write(fd, in + done, static_cast<unsigned>(chunk));
#else
    const ssize_t put = ::write(fd, in + done, chunk);
#endif
    if (put < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (put == 0) break;
    done += static_cast<uint64_t>(put);
  }
  return done;
}

int MakeDirectory(const std::string& path) {
#ifdef _WIN32
  return _mkdir(path.c_str()) == 0 ? 0 : errno;
#else
  return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
#endif
}

std::string ErrorText(int error) {
  return std::strerror(error);
}

int RemoveFile(const std::string& path) {
#ifdef _WIN32
  return std::remove(path.c_str()) == 0 ? 0 : errno;
#else
  // POSIX remove() also takes an empty directory; a file removal must never take a directory
  // that happens to carry an output's name.
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
#endif
}

int RenameFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  std::remove(to.c_str());  // Windows rename() does not replace an existing file
#endif
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void Pause() {
#ifdef _WIN32
  const bool interactive = _isatty(_fileno(stdin)) && _isatty(_fileno(stdout));
#else
  const bool interactive = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
#endif
  if (!interactive) return;
  std::cout << "Press Enter to continue . . . " << std::flush;
  std::string line;
  std::getline(std::cin, line);
}

std::string DiagnosticDirectory() {
  // A machine without the default folder, or runs that must not mix their lines with others', name
  // another one.
  const char* chosen = std::getenv("TOLMERA_DIAGNOSTIC_DIR");
  if (chosen != nullptr && *chosen != '\0') {
    std::string directory = chosen;
    if (directory.back() != kSeparator && directory.back() != '/') directory += kSeparator;
    return directory;
  }
#ifdef _WIN32
  return "c:\\tmp\\";
#else
  return "/tmp/";
#endif
}

}  // namespace Varnix::Platform
