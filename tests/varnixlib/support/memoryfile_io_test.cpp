#include "varnixlib/support/memoryfile.h"

#include <gtest/gtest.h>

#include <string>

#include "support/coutcapture.h"
#include "support/testsupport.h"

namespace {

TEST(MemoryFile, WriteThenReadKeepsEveryByte) {
  testsupport::TempDir dir;
  const std::string path = dir / "x.vmrk";
  MemoryFile out;
  out.Content() = std::string("[Marker Infos]\r\nMk1=New Segment,,1,1,0\r\n\0end", 44);
  ASSERT_TRUE(out.Write(path));
  MemoryFile in;
  ASSERT_TRUE(in.Read(path));
  EXPECT_EQ(in.Content(), out.Content());
  EXPECT_EQ(in.Cursor(), 0u);
}

TEST(MemoryFile, ReadOfMissingFileReportsInnerThenOwnLine) {
  testsupport::TempDir dir;
  const std::string path = dir / "missing.vhdr";
  CoutCapture capture;
  MemoryFile file;
  EXPECT_FALSE(file.Read(path));
  const std::string text = capture.Text();
  const size_t inner = text.find(") File::ReadInString::Exists " + path + "\n");
  const size_t outer = text.find(") MemoryFile::Read::File::ReadInString \n");
  ASSERT_NE(inner, std::string::npos) << text;
  ASSERT_NE(outer, std::string::npos) << text;
  EXPECT_LT(inner, outer);
}

TEST(MemoryFile, ReadOfEmptyFileGivesEmptyContent) {
  testsupport::TempDir dir;
  const std::string path = dir / "empty.vhdr";
  testsupport::WriteFile(path, "");
  MemoryFile file;
  EXPECT_TRUE(file.Read(path));
  EXPECT_TRUE(file.Content().empty());
}

TEST(MemoryFile, WriteIntoMissingDirectoryReportsTwoLines) {
  testsupport::TempDir dir;
  const std::string path = dir / "nodir/x.vhdr";
  CoutCapture capture;
  MemoryFile file;
  file.Content() = "abc";
  EXPECT_FALSE(file.Write(path));
  EXPECT_NE(capture.Text().find(") File::Write::pf "), std::string::npos) << capture.Text();
  EXPECT_NE(capture.Text().find(") MemoryFile::Write::File::WriteFromString \n"), std::string::npos);
}

TEST(MemoryFile, ReadValueWalksTheCursorAndStopsAtTheEnd) {
  MemoryFile file;
  file.Content() = "Mk1=Stimulus,S  1,10\nMk2=Stimulus,S  2,20";
  std::string value;
  ASSERT_TRUE(file.ReadValue("Mk", "=", value));
  EXPECT_EQ(value, "1");
  ASSERT_TRUE(file.ReadValue(",", ",\n", value));
  EXPECT_EQ(value, "S  1");
  ASSERT_TRUE(file.ReadValue("Mk", "=", value));
  EXPECT_EQ(value, "2");
  // The value runs to the end of the buffer; the cursor then has no position left.
  ASSERT_TRUE(file.ReadValue("S  2,", "\n", value));
  EXPECT_EQ(value, "20");
  EXPECT_EQ(file.Cursor(), MemoryFile::kNoPosition);
  EXPECT_FALSE(file.ReadValue("Mk", "=", value));
}

}  // namespace
