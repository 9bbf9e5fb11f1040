#include "varnixlib/support/platform.h"

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <iostream>
#include <string_view>
#include <utility>

#include <csignal>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <fcntl.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif
#ifdef _WIN32
#include <process.h>
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#endif

namespace Varnix::Platform {

namespace {
int64_t gWriteBudget = -1;  ///< bytes WriteFully may still move; -1 unlimited (tests only)

/// The temporary files an interruption removes. Fixed storage: the signal handler may neither
/// allocate nor take locks. A run has a handful of outputs open at once at most.
constexpr int kTemporarySlots = 16;
constexpr size_t kTemporaryPathMax = 4096;
struct TemporarySlot {
  volatile std::sig_atomic_t used = 0;
  char path[kTemporaryPathMax] = {};
};
TemporarySlot gTemporaries[kTemporarySlots];

extern "C" void RemoveTemporariesAndExit(int signal) {
  for (TemporarySlot& slot : gTemporaries) {
    if (slot.used != 0) {
#ifdef _WIN32
      _unlink(slot.path);
#else
      ::unlink(slot.path);
#endif
    }
  }
  _exit(128 + signal);
}
}  // namespace

void RemoveTemporariesOnInterrupt() {
#ifdef _WIN32
  // Ctrl-C and Ctrl-Break arrive as SIGINT and SIGBREAK through the C runtime.
  std::signal(SIGINT, RemoveTemporariesAndExit);
  std::signal(SIGTERM, RemoveTemporariesAndExit);
  std::signal(SIGBREAK, RemoveTemporariesAndExit);
#else
  struct sigaction action {};
  action.sa_handler = RemoveTemporariesAndExit;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
#endif
}

int RegisterTemporary(const std::string& path) {
  if (path.size() >= kTemporaryPathMax) return -1;
  for (int i = 0; i < kTemporarySlots; ++i) {
    TemporarySlot& slot = gTemporaries[i];
    if (slot.used != 0) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    // The path must be whole before the handler can see the slot.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot.used = 1;
    return i;
  }
  return -1;
}

void UnregisterTemporary(int slot) {
  if (slot < 0 || slot >= kTemporarySlots) return;
  gTemporaries[slot].used = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

bool ProcessAlive(uint64_t id) {
#ifdef _WIN32
  (void)id;
  return true;  // not asked of the system here: a leftover is kept rather than taken from a run
#else
  if (id == 0 || id > static_cast<uint64_t>(std::numeric_limits<pid_t>::max())) return false;
  return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
#endif
}

std::vector<std::string> DirectoryEntries(const std::string& directory) {
  std::vector<std::string> names;
#ifndef _WIN32
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
#else
  (void)directory;  // a Windows port lists with FindFirstFile; until then no leftover is removed
#endif
  return names;
}

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

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Close();
    myAddress = std::exchange(other.myAddress, nullptr);
    mySize = std::exchange(other.mySize, 0);
    myOpen = std::exchange(other.myOpen, false);
  }
  return *this;
}

int MappedFile::Open(const std::string& path) {
  Close();
#ifdef _WIN32
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ENOENT;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    return EIO;
  }
  if (size.QuadPart > 0) {
    // The view keeps the mapping alive; both handles can go once it exists.
    const HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (mapping) CloseHandle(mapping);
    CloseHandle(file);
    if (view == nullptr) return ENOMEM;
    myAddress = view;
  } else {
    CloseHandle(file);
  }
  mySize = static_cast<uint64_t>(size.QuadPart);
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  }
  if (st.st_size > 0) {
    if (static_cast<uint64_t>(st.st_size) > std::numeric_limits<size_t>::max()) {
      ::close(fd);
      return EFBIG;
    }
    void* address = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    const int error = errno;
    ::close(fd);  // the mapping holds the file by itself
    if (address == MAP_FAILED) return error;
    // Every reader walks its file from the start to the end.
    ::madvise(address, static_cast<size_t>(st.st_size), MADV_SEQUENTIAL);
    myAddress = address;
  } else {
    ::close(fd);
  }
  mySize = static_cast<uint64_t>(st.st_size);
#endif
  myOpen = true;
  return 0;
}

void MappedFile::Close() {
  if (myAddress != nullptr) {
#ifdef _WIN32
    UnmapViewOfFile(myAddress);
#else
    ::munmap(myAddress, static_cast<size_t>(mySize));
#endif
  }
  myAddress = nullptr;
  mySize = 0;
  myOpen = false;
}

void MappedFile::Release(uint64_t offset, uint64_t bytes) {
  if (myAddress == nullptr || offset >= mySize) return;
  bytes = std::min(bytes, mySize - offset);
#ifdef _WIN32
  // Unlocking pages that are not locked takes them out of the working set on Windows.
  VirtualUnlock(static_cast<char*>(myAddress) + offset, static_cast<SIZE_T>(bytes));
#else
  const uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
  const uint64_t begin = (offset + page - 1) / page * page;
  const uint64_t end = (offset + bytes) / page * page;
  if (end > begin) {
    ::madvise(static_cast<char*>(myAddress) + begin, static_cast<size_t>(end - begin), MADV_DONTNEED);
  }
#endif
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
