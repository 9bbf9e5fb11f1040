#pragma once
// Whole-file input and output through descriptor-level calls. Every failure is reported through
// Error with the operation's tag and the path as detail.

#include <cstdint>
#include <string>
#include <vector>

#include "varnixlib/support/defaultinitallocator.h"

namespace Varnix {

class File {
 public:
  File() = default;
  explicit File(int fd) : myFd(fd) {}
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  /// Owns the descriptor: closes it on every path out of the static operations.
  virtual ~File();

  int Descriptor() const { return myFd; }

  static bool Exists(const std::string& path);
  static bool IsDirectory(const std::string& path);
  /// File size in bytes, -1 when the file does not exist.
  static int64_t Size(const std::string& path);
  /// Reads the whole file into buffer, which must hold Size(path) bytes.
  static bool Read(const std::string& path, void* buffer);
  static bool ReadInString(std::string& out, const std::string& path);
  static bool Write(const std::string& path, const void* data, uint64_t count);
  static bool WriteFromString(const std::string& path, const std::string& data);
  static bool Mkdir(const std::string& path);
  static bool Remove(const std::string& path);
  static bool MakeDirs(const std::string& path);

  /// Reads the file as an array of T. A trailing partial element is not read. With a
  /// DefaultInitAllocator vector the storage is not zeroed before the read.
  template <typename T, typename Alloc>
  static bool ReadInVector(const std::string& path, std::vector<T, Alloc>& out);

 private:
  int myFd = -1;
};

extern template bool File::ReadInVector<uint8_t>(const std::string&, std::vector<uint8_t>&);
extern template bool File::ReadInVector<char>(const std::string&, std::vector<char>&);
extern template bool File::ReadInVector<int16_t>(const std::string&, std::vector<int16_t>&);
extern template bool File::ReadInVector<float>(const std::string&, std::vector<float>&);
extern template bool File::ReadInVector<double>(const std::string&, std::vector<double>&);
extern template bool File::ReadInVector(const std::string&,
                                        std::vector<int16_t, DefaultInitAllocator<int16_t>>&);
extern template bool File::ReadInVector(const std::string&, std::vector<float, DefaultInitAllocator<float>>&);
extern template bool File::ReadInVector(const std::string&,
                                        std::vector<double, DefaultInitAllocator<double>>&);

}  // namespace Varnix
