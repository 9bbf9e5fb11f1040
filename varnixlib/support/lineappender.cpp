#include "varnixlib/support/lineappender.h"

#include "varnixlib/support/platform.h"

namespace Varnix {

bool LineAppender::Append(const std::string& path, const std::string& text) {
  const std::string bytes = Platform::ToTextLineEnds(text);
  const Platform::FileStatus existing = Platform::Stat(path);
  if (existing.exists && !existing.isRegular) return false;
  const int fd = Platform::OpenForAppending(path);
  if (fd < 0) return false;
  const int64_t before = Platform::FileSize(fd);
  const bool whole = Platform::WriteFully(fd, bytes.data(), bytes.size()) == bytes.size();
  // A partial line would glue itself to the next run's line; cut the file back to where it was.
  if (!whole && before >= 0) Platform::TruncateFile(fd, before);
  const bool closed = Platform::Close(fd) == 0;
  return whole && closed;
}

}  // namespace Varnix
