#include "varnixlib/support/memoryfile.h"

#include "varnixlib/support/file.h"
#include "varnixlib/support/report.h"

bool MemoryFile::Read(const std::string& path) {
  myCursor = 0;
  if (!Varnix::File::ReadInString(myBuffer, path)) {
    return Error("MemoryFile::Read::File::ReadInString", "");
  }
  return true;
}

bool MemoryFile::Write(const std::string& path) const {
  if (!Varnix::File::WriteFromString(path, myBuffer)) {
    return Error("MemoryFile::Write::File::WriteFromString", "");
  }
  return true;
}

namespace {

/// Where the value of key lies when key is found from cursor: from just after the key up to the
/// first delimiter byte, or to the end of the content (delimiter then npos).
struct ValueSpan {
  size_t begin = 0;
  size_t end = 0;        ///< one past the value
  size_t delimiter = 0;  ///< index of the delimiter byte, npos when the value runs to the end
};

bool FindValue(const std::string& content, uint64_t cursor, std::string_view key, std::string_view delimiters,
               ValueSpan& span) {
  if (cursor == MemoryFile::kNoPosition || cursor > content.size()) return false;
  const size_t at = content.find(key, static_cast<size_t>(cursor));
  if (at == std::string::npos) return false;
  span.begin = at + key.size();
  span.delimiter = content.find_first_of(delimiters, span.begin);
  span.end = span.delimiter == std::string::npos ? content.size() : span.delimiter;
  return true;
}

}  // namespace

bool MemoryFile::ReadValue(std::string_view key, std::string_view delimiters, std::string& value) {
  ValueSpan span;
  if (!FindValue(myBuffer, myCursor, key, delimiters, span)) return false;
  value.assign(myBuffer, span.begin, span.end - span.begin);
  myCursor = span.delimiter == std::string::npos ? kNoPosition : span.delimiter;
  return true;
}

bool MemoryFile::ReplaceValue(std::string_view value, std::string_view key,
                              std::string_view delimiters) {
  ValueSpan span;
  if (!FindValue(myBuffer, myCursor, key, delimiters, span)) return false;
  myBuffer.replace(span.begin, span.end - span.begin, value);
  myCursor = span.begin;
  return true;
}

bool MemoryFile::ReplaceLineValue(std::string_view value, std::string_view key,
                                  std::string_view delimiters) {
  for (size_t at = myBuffer.find(key); at != std::string::npos; at = myBuffer.find(key, at + 1)) {
    if (at != 0 && myBuffer[at - 1] != '\n' && myBuffer[at - 1] != '\r') continue;
    const size_t begin = at + key.size();
    const size_t delimiter = myBuffer.find_first_of(delimiters, begin);
    const size_t end = delimiter == std::string::npos ? myBuffer.size() : delimiter;
    myBuffer.replace(begin, end - begin, value);
    myCursor = begin;
    return true;
  }
  return false;
}

uint64_t MemoryFile::NextLineStart(uint64_t start, std::string_view delimiters) const {
  if (start >= myBuffer.size()) return myBuffer.size();
  const size_t at = myBuffer.find_first_of(delimiters, static_cast<size_t>(start));
  if (at == std::string::npos) return myBuffer.size();
  // Only CR LF is one line end of two bytes; a second LF after a lone LF starts an empty line,
  // which must stay before anything inserted at the result.
  if (myBuffer[at] == '\r' && at + 1 < myBuffer.size() && myBuffer[at + 1] == '\n' &&
      delimiters.find('\n') != std::string_view::npos) {
    return at + 2;
  }
  return at + 1;
}

bool MemoryFile::InsertAfterLine(std::string_view text, std::string_view key,
                                 std::string_view delimiters) {
  ValueSpan span;
  if (!FindValue(myBuffer, myCursor, key, delimiters, span)) return false;
  uint64_t position = NextLineStart(span.begin, delimiters);
  if (span.delimiter == std::string::npos) {
    // The key's line ends the file without a line end: the text must not join that line.
    myBuffer.append("\r\n");
    position = myBuffer.size();
  }
  myBuffer.insert(static_cast<size_t>(position), text);
  myCursor = position;
  return true;
}

bool MemoryFile::InsertLineAfterKey(std::string_view value, std::string_view keyPrefix,
                                    std::string_view anchor) {
  const size_t at = myBuffer.find(anchor);
  if (at == std::string::npos) return false;
  const size_t lineFeed = myBuffer.find('\n', at + anchor.size());
  std::string line;
  size_t position = myBuffer.size();
  if (lineFeed == std::string::npos) {
    line = "\r\n";  // the anchor's line ended the file without a line end
  } else {
    position = lineFeed + 1;
  }
  line.append(keyPrefix).append(value).append("\r\n");
  myBuffer.insert(position, line);
  // Text at or after the insertion point moved; the cursor follows it.
  if (myCursor != kNoPosition && myCursor >= position) myCursor += line.size();
  return true;
}
