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
