#pragma once
// Helpers shared by the test programs: scratch directories, fixture files, the real recordings.

#include <filesystem>
#include <string>

namespace testsupport {

/// A fresh directory under the system temp folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return myPath; }
  std::string operator/(const std::string& name) const { return (myPath / name).string(); }

 private:
  std::filesystem::path myPath;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

/// The folder of real recordings, or empty when it is absent (tests then skip).
std::string RealDataDir();

}  // namespace testsupport

/// Skips the current test when the real recordings are not available.
#define REQUIRE_REALDATA()                                                  \
  do {                                                                      \
    if (testsupport::RealDataDir().empty()) GTEST_SKIP() << "no realdata"; \
  } while (0)
