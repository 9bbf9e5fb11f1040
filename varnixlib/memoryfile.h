#pragma once
// A whole text file held in memory with one search cursor, for reading and patching the small
// BrainVision header and marker files in place.

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

class MemoryFile {
 public:
  /// Cursor value meaning "no position": every search from it fails.
  static constexpr uint64_t kNoPosition = std::numeric_limits<uint64_t>::max();

  bool Read(const std::string& path);
  bool Write(const std::string& path) const;

  /// Finds key from the cursor; the value runs up to the first byte of delimiters (or the end).
  /// The cursor then rests on that delimiter (or on no position).
  bool ReadValue(std::string_view key, std::string_view delimiters, std::string& value);

  const std::string& Content() const { return myBuffer; }
  std::string& Content() { return myBuffer; }
  uint64_t Cursor() const { return myCursor; }
  void SetCursor(uint64_t cursor) { myCursor = cursor; }

 private:
  std::string myBuffer;     ///< the file's bytes, unchanged
  uint64_t myCursor = 0;    ///< search start for the cursor operations
};
