#include "varnixlib/support/lineappender.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/fulldisk.h"
#include "support/testsupport.h"

namespace {

TEST(LineAppender, LinesAccumulateAndAFullDiskTakesBackThePartialLine) {
  testsupport::TempDir dir;
  const std::string path = dir / "runs.txt";
  ASSERT_TRUE(Varnix::LineAppender::Append(path, "S01 1 2 3\n"));
  ASSERT_TRUE(Varnix::LineAppender::Append(path, "S02 4 5 6\n"));
  EXPECT_EQ(testsupport::ReadFile(path), "S01 1 2 3\nS02 4 5 6\n");
  {
    // Room for half a line: the file must not keep the half, or the next run's line joins it.
    FullDiskAfter full(4);
    EXPECT_FALSE(Varnix::LineAppender::Append(path, "S03 7 8 9\n"));
  }
  EXPECT_EQ(testsupport::ReadFile(path), "S01 1 2 3\nS02 4 5 6\n");
  ASSERT_TRUE(Varnix::LineAppender::Append(path, "S04 0 0 0\n"));
  EXPECT_EQ(testsupport::ReadFile(path), "S01 1 2 3\nS02 4 5 6\nS04 0 0 0\n");
}

TEST(LineAppender, NeitherAMissingDirectoryNorADirectoryInPlaceOfTheFileIsTouched) {
  testsupport::TempDir dir;
  EXPECT_FALSE(Varnix::LineAppender::Append(dir / "absent/runs.txt", "S01\n"));
  EXPECT_FALSE(std::filesystem::exists(dir / "absent"));
  std::filesystem::create_directory(dir / "runs.txt");
  EXPECT_FALSE(Varnix::LineAppender::Append(dir / "runs.txt", "S01\n"));
  EXPECT_TRUE(std::filesystem::is_empty(dir / "runs.txt"));
}

}  // namespace
