#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/testsupport.h"
#include "varnixlib/support/platform.h"

using Varnix::Platform::MappedFile;

// The readers take their bytes from the mapping: every byte of the file, none beyond it, for
// every size around a page; released pages read back unchanged; what cannot be mapped says why.
TEST(MappedFile, HoldsEveryByteOfTheFileAndReadsReleasedPagesBackUnchanged) {
  testsupport::TempDir dir;
  for (const size_t size : {size_t{0}, size_t{1}, size_t{4095}, size_t{4096}, size_t{4097}, size_t{3 * 4096 + 17}}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + size) % 251);
    const std::string path = (dir.Path() / ("f" + std::to_string(size))).string();
    testsupport::WriteFile(path, bytes);
    MappedFile file;
    ASSERT_EQ(file.Open(path), 0) << size;
    EXPECT_TRUE(file.IsOpen());
    ASSERT_EQ(file.Size(), size);
    EXPECT_EQ(std::string(file.Data() ? file.Data() : "", size), bytes) << size;
    file.Release(0, size);
    file.Release(size / 3, size);  // past the end is cut, not an error
    EXPECT_EQ(std::string(file.Data() ? file.Data() : "", size), bytes) << size << " after release";
    MappedFile moved = std::move(file);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(moved.Size(), size);
    moved.Close();
    EXPECT_FALSE(moved.IsOpen());
    EXPECT_EQ(moved.Size(), 0u);
  }
  MappedFile file;
  EXPECT_EQ(file.Open((dir.Path() / "missing").string()), ENOENT);
  EXPECT_FALSE(file.IsOpen());
#ifndef _WIN32
  EXPECT_EQ(file.Open(dir.Path().string()), EISDIR);
#endif
}
