#include "varnixlib/support/atomicfilewriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "support/fulldisk.h"
#include "support/testsupport.h"
#include "varnixlib/support/atomictextwriter.h"
#include "varnixlib/support/file.h"
#include "varnixlib/support/memoryfile.h"
#include "varnixlib/support/platform.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

std::set<std::string> Names(const testsupport::TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(AtomicFileWriter, ACompleteWriteLeavesExactlyTheFinalFile) {
  testsupport::TempDir dir;
  EXPECT_TRUE(Varnix::File::WriteFromString(dir / "out.vhdr", "abc\r\n"));
  EXPECT_TRUE(Varnix::File::Write(dir / "empty.eeg", nullptr, 0));
  EXPECT_EQ(Names(dir), (std::set<std::string>{"out.vhdr", "empty.eeg"}));
  EXPECT_EQ(testsupport::ReadFile(dir / "out.vhdr"), "abc\r\n");
  EXPECT_EQ(std::filesystem::file_size(dir / "empty.eeg"), 0u);
  // A rewrite replaces the old content whole.
  EXPECT_TRUE(Varnix::File::WriteFromString(dir / "out.vhdr", "x"));
  EXPECT_EQ(testsupport::ReadFile(dir / "out.vhdr"), "x");
  EXPECT_EQ(Names(dir).size(), 2u);
}

TEST(AtomicFileWriter, AWriteCutShortLeavesNeitherTheFileNorATemporary) {
  testsupport::TempDir dir;
  const std::string path = dir / "synchro_S01.asc.eeg";
  const std::string data(10000, 'd');
  FullDiskAfter full(4096);
  CaptureStdout();
  EXPECT_FALSE(Varnix::File::WriteFromString(path, data));
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("File::Write::write " + path), std::string::npos) << out;
  EXPECT_TRUE(Names(dir).empty());
}

TEST(AtomicFileWriter, AFailedRewriteKeepsThePreviousFileByteForByte) {
  testsupport::TempDir dir;
  const std::string path = dir / "S01.vmrk";
  testsupport::WriteFile(path, "previous complete content\r\n");
  {
    FullDiskAfter full(3);
    MemoryFile memory;
    memory.Content() = "new content that does not fit\r\n";
    CaptureStdout();
    EXPECT_FALSE(memory.Write(path));
    const std::string out = GetCapturedStdout();
    // The inner report first, then the wrapper's.
    const size_t inner = out.find("File::Write::write " + path);
    EXPECT_NE(inner, std::string::npos) << out;
    EXPECT_GT(out.find("MemoryFile::Write::File::WriteFromString"), inner) << out;
  }
  EXPECT_EQ(testsupport::ReadFile(path), "previous complete content\r\n");
  EXPECT_EQ(Names(dir), std::set<std::string>{"S01.vmrk"});
}

TEST(AtomicFileWriter, AMissingDirectoryOrADirectoryNameIsRefusedAndNothingIsCreated) {
  testsupport::TempDir dir;
  CaptureStdout();
  EXPECT_FALSE(Varnix::File::WriteFromString(dir / "missing/out.vhdr", "x"));
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("File::Write::pf " + (dir / "missing/out.vhdr")), std::string::npos) << out;
  EXPECT_TRUE(Names(dir).empty());

  std::filesystem::create_directory(dir / "taken");
  testsupport::WriteFile(dir / "taken/inside", "kept");
  CaptureStdout();
  EXPECT_FALSE(Varnix::File::WriteFromString(dir / "taken", "x"));
  out = GetCapturedStdout();
  EXPECT_NE(out.find("File::Write::pf " + (dir / "taken")), std::string::npos) << out;
  EXPECT_EQ(testsupport::ReadFile(dir / "taken/inside"), "kept");
  EXPECT_EQ(Names(dir), std::set<std::string>{"taken"});
}

TEST(AtomicFileWriter, AWriterGoneWithoutCommitLeavesTheFinalNameAsItWas) {
  testsupport::TempDir dir;
  const std::string path = dir / "GlobalError.txt";
  {
    Varnix::AtomicFileWriter writer(path);
    ASSERT_TRUE(writer.Open());
    EXPECT_TRUE(writer.Write("part", 4));
    EXPECT_TRUE(std::filesystem::exists(writer.TemporaryPath()));
    EXPECT_EQ(std::filesystem::path(writer.TemporaryPath()).parent_path(), dir.Path());
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  EXPECT_TRUE(Names(dir).empty());

  testsupport::WriteFile(path, "old");
  {
    Varnix::AtomicFileWriter writer(path);
    ASSERT_TRUE(writer.Open());
    writer.Write("new", 3);
    writer.Abandon();
    EXPECT_FALSE(writer.Commit());
  }
  EXPECT_EQ(testsupport::ReadFile(path), "old");
  EXPECT_EQ(Names(dir).size(), 1u);
}

TEST(AtomicFileWriter, TwoWritersOfOneNameUseDifferentTemporaries) {
  testsupport::TempDir dir;
  Varnix::AtomicFileWriter first(dir / "a.txt");
  Varnix::AtomicFileWriter second(dir / "a.txt");
  ASSERT_TRUE(first.Open());
  ASSERT_TRUE(second.Open());
  EXPECT_NE(first.TemporaryPath(), second.TemporaryPath());
  EXPECT_TRUE(first.Write("1", 1));
  EXPECT_TRUE(second.Write("22", 2));
  EXPECT_TRUE(first.Commit());
  EXPECT_TRUE(second.Commit());
  EXPECT_EQ(testsupport::ReadFile(dir / "a.txt"), "22");
  EXPECT_EQ(Names(dir).size(), 1u);
}

TEST(AtomicTextWriter, TheTextAppearsOnlyAtCommitAndAFailedCommitKeepsTheOldFile) {
  testsupport::TempDir dir;
  const std::string path = dir / "HistoGlobalError.txt";
  {
    Varnix::AtomicTextWriter writer(path);
    writer.Stream() << "never written\n";
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  {
    Varnix::AtomicTextWriter writer(path, "TriggerMatching::WriteHistogram");
    writer.Stream() << "-1\t3\n0\t40\n";
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(writer.Commit());
  }
  EXPECT_EQ(testsupport::ReadFile(path), std::string("-1\t3") + Varnix::Platform::kTextLineEnd + "0\t40" +
                                             Varnix::Platform::kTextLineEnd);
  {
    Varnix::AtomicTextWriter writer(path, "TriggerMatching::WriteHistogram");
    writer.Stream() << std::string(5000, '9') << "\n";
    FullDiskAfter full(100);
    CaptureStdout();
    EXPECT_FALSE(writer.Commit());
    EXPECT_NE(GetCapturedStdout().find("TriggerMatching::WriteHistogram::write " + path), std::string::npos);
  }
  EXPECT_EQ(testsupport::ReadFile(path).substr(0, 4), "-1\t3");
  EXPECT_EQ(Names(dir).size(), 1u);
}

}  // namespace
