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

  /// Finds key from the cursor and replaces the bytes after it, up to the first byte of
  /// delimiters (or the end), by value; the cursor then rests on the start of the new value.
  /// With the key absent, or the cursor on no position, nothing changes and the result is false.
  bool ReplaceValue(std::string_view value, std::string_view key, std::string_view delimiters);
  /// Replaces the value of the line that begins with key ("DataPoints=" is not the end of
  /// "SegmentDataPoints="), wherever it stands in the content, whatever the cursor; the cursor then
  /// rests on the start of the new value. False, with nothing changed, when no line begins so.
  bool ReplaceLineValue(std::string_view value, std::string_view key, std::string_view delimiters);
  /// The index just after the first delimiter byte at or after start, taking a CR LF pair as one
  /// line end (a lone LF or CR ends a line by itself); the end of the content when no delimiter
  /// follows.
  uint64_t NextLineStart(uint64_t start, std::string_view delimiters) const;
  /// Finds key from the cursor and inserts text at the start of the line after the key's line
  /// (NextLineStart of the key's end; a last line without a line end gets a CR LF first); the
  /// cursor then rests on the start of the inserted text.
  /// With the key absent, or the cursor on no position, nothing changes and the result is false.
  bool InsertAfterLine(std::string_view text, std::string_view key, std::string_view delimiters);
  /// Finds anchor from the start of the content (whatever the cursor) and inserts the line
  /// keyPrefix + value + CR LF after the anchor's line (a last line without a line end gets a
  /// CR LF first). The cursor keeps pointing at the same text.
  bool InsertLineAfterKey(std::string_view value, std::string_view keyPrefix,
                          std::string_view anchor);

  const std::string& Content() const { return myBuffer; }
  std::string& Content() { return myBuffer; }
  uint64_t Cursor() const { return myCursor; }
  void SetCursor(uint64_t cursor) { myCursor = cursor; }

 private:
  std::string myBuffer;     ///< the file's bytes, unchanged
  uint64_t myCursor = 0;    ///< search start for the cursor operations
};
