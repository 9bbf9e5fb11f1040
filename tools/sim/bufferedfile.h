#pragma once
// Output file written through a large buffer, with the few number formats the recording formats need.
// The simulator writes hundreds of megabytes per hour of recording, so formatting avoids iostreams
// and printf.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class BufferedFile {
 public:
  BufferedFile() = default;
  BufferedFile(const BufferedFile&) = delete;
  BufferedFile& operator=(const BufferedFile&) = delete;
  ~BufferedFile();

  /// Creates or truncates the file; false (with a message on stderr) when it cannot.
  bool Open(const std::string& path);
  /// Flushes and closes; false when any write failed since Open.
  bool Close();

  void Append(std::string_view text);
  void Append(char c) {
    if (myBuffer.size() >= kFlushSize) Flush();
    myBuffer.push_back(c);
  }
  void AppendBytes(const void* data, size_t count);
  void AppendUnsigned(uint64_t value);
  void AppendSigned(int64_t value);
  /// value with a fixed number of decimals, right-aligned in width characters (wider values overflow).
  void AppendFixed(double value, int decimals, int width = 0);
  /// Right-aligns text in width characters.
  void AppendPadded(std::string_view text, int width);

 private:
  static constexpr size_t kFlushSize = 8u << 20;
  void Flush();

  int myFd = -1;
  bool myOk = true;
  std::string myPath;
  std::vector<char> myBuffer;
};
