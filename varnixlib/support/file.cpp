#include "varnixlib/support/file.h"

#include <cerrno>

#include "varnixlib/support/atomicfilewriter.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/platform.h"
#include "varnixlib/support/report.h"

namespace Varnix {

namespace {

// Sizes the container for a whole file. A file larger than the memory the process can get is an
// error naming it, not an exception that ends the program.
template <typename Container>
bool Allocate(Container& out, uint64_t count, const char* operation, const std::string& path) {
  out.clear();
  out.shrink_to_fit();
  bool allocated = count <= out.max_size();
  if (allocated) {
    try {
      out.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
      allocated = false;
    }
  }
  if (!allocated) return Error(std::string(operation) + " : not enough memory to hold the file", path);
  return true;
}

}  // namespace

File::~File() {
  if (myFd != -1) {
    Platform::Close(myFd);
    myFd = -1;
  }
}

bool File::Exists(const std::string& path) { return Platform::Stat(path).exists; }

bool File::IsDirectory(const std::string& path) {
  const Platform::FileStatus st = Platform::Stat(path);
  if (!st.exists) return Error("File::IsDirectory::_stat", path);
  return st.isDirectory;
}

int64_t File::Size(const std::string& path) {
  const Platform::FileStatus st = Platform::Stat(path);
  return st.exists ? st.size : -1;
}

bool File::Read(const std::string& path, void* buffer) {
  const Platform::FileStatus st = Platform::Stat(path);
  if (!st.exists) return Error("File::Read::File::Exists", path);
  // A directory opens for reading on POSIX, and the read then fails without a word.
  if (st.isDirectory) return Error("File::Read::File::pf", path);
  File file(Platform::OpenForReading(path));
  if (file.Descriptor() < 0) return Error("File::Read::File::pf", path);
  const uint64_t size = static_cast<uint64_t>(st.size);
  return Platform::ReadFully(file.Descriptor(), buffer, size) == size;
}

bool File::ReadInString(std::string& out, const std::string& path) {
  const Platform::FileStatus st = Platform::Stat(path);
  if (!st.exists) return Error("File::ReadInString::Exists", path);
  if (st.isDirectory) return Error("File::Read::File::pf", path);
  if (!Allocate(out, static_cast<uint64_t>(st.size), "File::ReadInString", path)) return false;
  File file(Platform::OpenForReading(path));
  if (file.Descriptor() < 0) return Error("File::Read::File::pf", path);
  // Read what is there even if the file changed size since the stat.
  const uint64_t got = Platform::ReadFully(file.Descriptor(), out.data(), out.size());
  if (got != out.size()) {
    out.resize(got);
    return false;
  }
  return true;
}

bool File::Write(const std::string& path, const void* data, uint64_t count) {
  // Written under a temporary name and renamed when whole, so a failure (full disk, killed run)
  // never leaves a truncated file under the final name, nor destroys the file it replaces.
  AtomicFileWriter file(path, "File::Write");
  if (!file.Open()) return false;
  if (count != 0 && !file.Write(data, count)) return false;
  return file.Commit();
}

bool File::WriteFromString(const std::string& path, const std::string& data) {
  return Write(path, data.data(), data.size());
}

bool File::Mkdir(const std::string& path) {
  if (Platform::Stat(path).exists) return true;
  const int err = Platform::MakeDirectory(path);
  if (err == 0 || err == EEXIST) return true;
  return Error("File::Mkdir can not create the folder", path + ": " + Platform::ErrorText(err));
}

bool File::Remove(const std::string& path) {
  if (!Platform::Stat(path).exists) return true;
  if (Platform::RemoveFile(path) != 0) return Error("File::Remove::remove", path);
  return true;
}

bool File::MakeDirs(const std::string& path) {
  const std::string p = NormalizeSeparators(path);
  std::vector<std::string> parts;
  std::string current;
  for (char c : p) {
    if (c == Platform::kSeparator) {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  if (parts.empty()) return true;
  // Every folder of the path is made, the first too (a folder asked for relative to the working
  // directory is as wanted as any other); only a drive ("C:") is left as it is. An absolute POSIX
  // path keeps its root in front.
  std::string built = (!p.empty() && p[0] == Platform::kSeparator) ? std::string(1, Platform::kSeparator) : "";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) built += Platform::kSeparator;
    built += parts[i];
    const bool drive = i == 0 && parts[i].size() == 2 && parts[i][1] == ':';
    if (!drive && parts[i] != "." && parts[i] != ".." && !Mkdir(built)) return false;
  }
  return true;
}

template <typename T, typename Alloc>
bool File::ReadInVector(const std::string& path, std::vector<T, Alloc>& out) {
  const Platform::FileStatus st = Platform::Stat(path);
  if (!st.exists) return Error("File don't extist", path);
  if (st.isDirectory) return Error("File creating file", path);
  const uint64_t elements = static_cast<uint64_t>(st.size) / sizeof(T);
  if (!Allocate(out, elements, "File::ReadInVector", path)) return false;
  if (elements == 0) return true;
  File file(Platform::OpenForReading(path));
  if (file.Descriptor() < 0) return Error("File creating file", path);
  // Only the whole elements are read, so nothing is written past the vector.
  const uint64_t bytes = elements * sizeof(T);
  return Platform::ReadFully(file.Descriptor(), out.data(), bytes) == bytes;
}

template bool File::ReadInVector<uint8_t>(const std::string&, std::vector<uint8_t>&);
template bool File::ReadInVector<char>(const std::string&, std::vector<char>&);
template bool File::ReadInVector<int16_t>(const std::string&, std::vector<int16_t>&);
template bool File::ReadInVector<float>(const std::string&, std::vector<float>&);
template bool File::ReadInVector<double>(const std::string&, std::vector<double>&);
template bool File::ReadInVector(const std::string&, std::vector<int16_t, DefaultInitAllocator<int16_t>>&);
template bool File::ReadInVector(const std::string&, std::vector<float, DefaultInitAllocator<float>>&);
template bool File::ReadInVector(const std::string&, std::vector<double, DefaultInitAllocator<double>>&);

}  // namespace Varnix
