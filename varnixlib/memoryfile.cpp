#include "varnixlib/memoryfile.h"

#include "varnixlib/file.h"
#include "varnixlib/report.h"

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

bool MemoryFile::ReadValue(std::string_view key, std::string_view delimiters, std::string& value) {
  if (myCursor == kNoPosition || myCursor > myBuffer.size()) return false;
  const size_t at = myBuffer.find(key, static_cast<size_t>(myCursor));
  if (at == std::string::npos) return false;
  const size_t begin = at + key.size();
  const size_t end = myBuffer.find_first_of(delimiters, begin);
  value.assign(myBuffer, begin, (end == std::string::npos ? myBuffer.size() : end) - begin);
  myCursor = end == std::string::npos ? kNoPosition : end;
  return true;
}

bool MemoryFile::ReplaceValue(std::string_view value, std::string_view key,
                              std::string_view delimiters) {
  if (myCursor == kNoPosition || myCursor > myBuffer.size()) return false;
  const size_t at = myBuffer.find(key, static_cast<size_t>(myCursor));
  if (at == std::string::npos) return false;
  const size_t begin = at + key.size();
  const size_t end = myBuffer.find_first_of(delimiters, begin);
  myBuffer.replace(begin, (end == std::string::npos ? myBuffer.size() : end) - begin, value);
  myCursor = begin;
  return true;
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
  if (myCursor == kNoPosition || myCursor > myBuffer.size()) return false;
  const size_t at = myBuffer.find(key, static_cast<size_t>(myCursor));
  if (at == std::string::npos) return false;
  const size_t keyEnd = at + key.size();
  uint64_t position = NextLineStart(keyEnd, delimiters);
  if (myBuffer.find_first_of(delimiters, keyEnd) == std::string::npos) {
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
