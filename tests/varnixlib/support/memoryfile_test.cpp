#include "varnixlib/support/memoryfile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* kCrLf = "\r\n";

MemoryFile Holding(const std::string& text, uint64_t cursor = 0) {
  MemoryFile file;
  file.Content() = text;
  file.SetCursor(cursor);
  return file;
}

TEST(MemoryFileReplaceValue, ReplacesUpToTheLineEndAndRestsOnTheNewValue) {
  MemoryFile file = Holding("DataFile=S01.eeg\r\nMarkerFile=S01.vmrk\r\n");
  EXPECT_TRUE(file.ReplaceValue("synchro_S01.asc.eeg", "DataFile=", kCrLf));
  EXPECT_EQ(file.Content(), "DataFile=synchro_S01.asc.eeg\r\nMarkerFile=S01.vmrk\r\n");
  EXPECT_EQ(file.Cursor(), 9u);
  // A shorter value, a lone LF ending, and a key that matches inside a longer word.
  file = Holding("SegmentDataPoints=120\nSamplingInterval=2000\n");
  EXPECT_TRUE(file.ReplaceValue("7", "DataPoints=", kCrLf));
  EXPECT_EQ(file.Content(), "SegmentDataPoints=7\nSamplingInterval=2000\n");
  EXPECT_EQ(file.Cursor(), 18u);
}

TEST(MemoryFileReplaceValue, WithoutADelimiterTheValueRunsToTheEnd) {
  MemoryFile file = Holding("A=1\r\nNumberOfChannels=32");
  EXPECT_TRUE(file.ReplaceValue("35", "NumberOfChannels=", kCrLf));
  EXPECT_EQ(file.Content(), "A=1\r\nNumberOfChannels=35");
  EXPECT_EQ(file.Cursor(), 22u);
  // A key at the very end gets the value appended.
  file = Holding("Key=");
  EXPECT_TRUE(file.ReplaceValue("v", "Key=", kCrLf));
  EXPECT_EQ(file.Content(), "Key=v");
}

TEST(MemoryFileReplaceValue, SearchesFromTheCursorAndLeavesEverythingWhenTheKeyIsAbsent) {
  MemoryFile file = Holding("X=1\r\nY=2\r\nX=3\r\n", 5);
  EXPECT_TRUE(file.ReplaceValue("9", "X=", kCrLf));
  EXPECT_EQ(file.Content(), "X=1\r\nY=2\r\nX=9\r\n");  // the first X= lies before the cursor
  EXPECT_EQ(file.Cursor(), 12u);
  EXPECT_FALSE(file.ReplaceValue("0", "Y=", kCrLf));
  EXPECT_EQ(file.Content(), "X=1\r\nY=2\r\nX=9\r\n");
  EXPECT_EQ(file.Cursor(), 12u);
}

TEST(MemoryFileReplaceValue, FailsFromNoPosition) {
  MemoryFile file = Holding("X=1\r\n", MemoryFile::kNoPosition);
  EXPECT_FALSE(file.ReplaceValue("2", "X=", kCrLf));
  EXPECT_EQ(file.Content(), "X=1\r\n");
  EXPECT_EQ(file.Cursor(), MemoryFile::kNoPosition);
  // A cursor past the end is no position either.
  file.SetCursor(6);
  EXPECT_FALSE(file.ReplaceValue("2", "X=", kCrLf));
}

TEST(MemoryFileNextLineStart, TakesCrLfAsOneLineEndAndLoneLfOrCrAsOne) {
  const MemoryFile file = Holding("ab\r\ncd\nef\rgh\r\n\r\nij\n\nkl");
  EXPECT_EQ(file.NextLineStart(0, kCrLf), 4u);   // after CR LF
  EXPECT_EQ(file.NextLineStart(3, kCrLf), 4u);   // starting on the LF of the pair
  EXPECT_EQ(file.NextLineStart(4, kCrLf), 7u);   // lone LF
  EXPECT_EQ(file.NextLineStart(7, kCrLf), 10u);  // lone CR
  EXPECT_EQ(file.NextLineStart(10, kCrLf), 14u); // CR LF followed by an empty CR LF line
  EXPECT_EQ(file.NextLineStart(14, kCrLf), 16u); // the empty line itself
  // Two lone LF: the empty line between them is a line of its own, not skipped.
  EXPECT_EQ(file.NextLineStart(16, kCrLf), 19u);
  EXPECT_EQ(file.NextLineStart(19, kCrLf), 20u);
}

TEST(MemoryFileNextLineStart, IsTheEndWhenNoDelimiterFollows) {
  const MemoryFile file = Holding("ab\r\ncd");
  EXPECT_EQ(file.NextLineStart(4, kCrLf), 6u);
  EXPECT_EQ(file.NextLineStart(6, kCrLf), 6u);
  EXPECT_EQ(file.NextLineStart(100, kCrLf), 6u);
  EXPECT_EQ(file.NextLineStart(MemoryFile::kNoPosition, kCrLf), 6u);
  // A delimiter as the very last byte.
  EXPECT_EQ(Holding("ab\r").NextLineStart(0, kCrLf), 3u);
  // Other delimiter sets: the first byte of the set ends the piece.
  EXPECT_EQ(Holding("a,b;c").NextLineStart(0, ";"), 4u);
}

TEST(MemoryFileInsertAfterLine, InsertsAtTheStartOfTheNextLineAndMovesTheCursorThere) {
  MemoryFile file = Holding("Ch1=Fp1,,0.1,uV\r\nCh2=Fp2,,0.1,uV\r\n\r\n[Coordinates]\r\n");
  EXPECT_TRUE(file.InsertAfterLine("Ch3=X,,1.0,uV\r\n", "Ch2=", kCrLf));
  EXPECT_EQ(file.Content(),
            "Ch1=Fp1,,0.1,uV\r\nCh2=Fp2,,0.1,uV\r\nCh3=X,,1.0,uV\r\n\r\n[Coordinates]\r\n");
  EXPECT_EQ(file.Cursor(), 34u);
  // Lone LF endings, and a bare number matching inside the line the cursor is in.
  file = Holding("[Coordinates]\nCh32=1,2,3\nEnd\n", 14);
  EXPECT_TRUE(file.InsertAfterLine("Ch33=0,0,0\r\n", "32", kCrLf));
  EXPECT_EQ(file.Content(), "[Coordinates]\nCh32=1,2,3\nCh33=0,0,0\r\nEnd\n");
  EXPECT_EQ(file.Cursor(), 25u);
}

TEST(MemoryFileInsertAfterLine, AKeyOnTheLastLineGetsALineEndBeforeTheText) {
  MemoryFile file = Holding("a\r\nkey");
  EXPECT_TRUE(file.InsertAfterLine("new\r\n", "key", kCrLf));
  EXPECT_EQ(file.Content(), "a\r\nkey\r\nnew\r\n");
  EXPECT_EQ(file.Cursor(), 8u);
  // A last line that has its line end is not given another.
  file = Holding("key\n");
  EXPECT_TRUE(file.InsertAfterLine("new\r\n", "key", kCrLf));
  EXPECT_EQ(file.Content(), "key\nnew\r\n");
  EXPECT_EQ(file.Cursor(), 4u);
}

TEST(MemoryFileInsertAfterLine, KeyAbsentOrNoPositionLeavesContentAndCursor) {
  MemoryFile file = Holding("Ch1=a\r\nCh2=b\r\n", 7);
  EXPECT_FALSE(file.InsertAfterLine("x\r\n", "Ch1=", kCrLf));  // only before the cursor
  EXPECT_EQ(file.Content(), "Ch1=a\r\nCh2=b\r\n");
  EXPECT_EQ(file.Cursor(), 7u);
  file.SetCursor(MemoryFile::kNoPosition);
  EXPECT_FALSE(file.InsertAfterLine("x\r\n", "Ch2=", kCrLf));
  EXPECT_EQ(file.Content(), "Ch1=a\r\nCh2=b\r\n");
  EXPECT_EQ(file.Cursor(), MemoryFile::kNoPosition);
}

TEST(MemoryFileInsertLineAfterKey, AddsACrLfLineAfterTheAnchorLineSearchedFromTheStart) {
  // The cursor lies past the anchor: the anchor is still found, and the cursor keeps pointing at
  // the same text.
  const std::string text = "[Common Infos]\nNumberOfChannels=35\nSamplingInterval=2000\n";
  MemoryFile file = Holding(text, text.find("Sampling"));
  EXPECT_TRUE(file.InsertLineAfterKey("120000", "DataPoints=", "NumberOfChannels="));
  EXPECT_EQ(file.Content(),
            "[Common Infos]\nNumberOfChannels=35\nDataPoints=120000\r\nSamplingInterval=2000\n");
  EXPECT_EQ(file.Content().compare(file.Cursor(), 17, "SamplingInterval="), 0);
  // Before the insertion point the cursor index stays as it was.
  file = Holding("NumberOfChannels=3\r\nX=1\r\n", 17);
  EXPECT_TRUE(file.InsertLineAfterKey("5", "DataPoints=", "NumberOfChannels="));
  EXPECT_EQ(file.Content(), "NumberOfChannels=3\r\nDataPoints=5\r\nX=1\r\n");
  EXPECT_EQ(file.Cursor(), 17u);
}

TEST(MemoryFileInsertLineAfterKey, WorksFromNoPositionAndFailsWithoutTheAnchor) {
  MemoryFile file = Holding("NumberOfChannels=3", MemoryFile::kNoPosition);
  EXPECT_TRUE(file.InsertLineAfterKey("5", "DataPoints=", "NumberOfChannels="));
  // The anchor's line ended the file: it gets its line end before the new line.
  EXPECT_EQ(file.Content(), "NumberOfChannels=3\r\nDataPoints=5\r\n");
  EXPECT_EQ(file.Cursor(), MemoryFile::kNoPosition);
  EXPECT_FALSE(file.InsertLineAfterKey("5", "DataPoints=", "Absent="));
  EXPECT_EQ(file.Content(), "NumberOfChannels=3\r\nDataPoints=5\r\n");
}

TEST(MemoryFileCursor, OperationsChainInFileOrderAsTheHeaderWriterUsesThem) {
  MemoryFile file = Holding(
      "DataFile=S01.eeg\r\nNumberOfChannels=2\r\nSamplingInterval=1000\r\n"
      "[Channel Infos]\r\nCh1=A,,1,uV\r\nCh2=B,,1,uV\r\n");
  std::string value;
  EXPECT_TRUE(file.ReplaceValue("out.eeg", "DataFile=", kCrLf));
  EXPECT_TRUE(file.ReplaceValue("3", "NumberOfChannels=", kCrLf));
  EXPECT_FALSE(file.ReplaceValue("10", "DataPoints=", kCrLf));
  EXPECT_TRUE(file.InsertLineAfterKey("10", "DataPoints=", "NumberOfChannels="));
  EXPECT_TRUE(file.ReplaceValue("2000.000000", "SamplingInterval=", kCrLf));
  EXPECT_TRUE(file.InsertAfterLine("Ch3=G,,1.0,uV\r\n", "Ch2=", kCrLf));
  // ReadValue continues from where the insertion left the cursor.
  EXPECT_TRUE(file.ReadValue("Ch3=", kCrLf, value));
  EXPECT_EQ(value, "G,,1.0,uV");
  EXPECT_EQ(file.Content(),
            "DataFile=out.eeg\r\nNumberOfChannels=3\r\nDataPoints=10\r\n"
            "SamplingInterval=2000.000000\r\n[Channel Infos]\r\nCh1=A,,1,uV\r\nCh2=B,,1,uV\r\n"
            "Ch3=G,,1.0,uV\r\n");
}

}  // namespace
