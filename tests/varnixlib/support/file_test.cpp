#include "varnixlib/support/file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/coutcapture.h"
#include "support/testsupport.h"
#include "varnixlib/support/memoryfile.h"
#include "varnixlib/support/platform.h"

namespace {

using Varnix::File;
namespace fs = std::filesystem;
const std::string S(1, Varnix::Platform::kSeparator);

TEST(File, WriteOfZeroBytesCreatesAnEmptyFileThatReadsBack) {
  testsupport::TempDir dir;
  const std::string path = dir / "empty.bin";
  EXPECT_TRUE(File::Write(path, nullptr, 0));
  ASSERT_TRUE(fs::exists(path));
  EXPECT_EQ(fs::file_size(path), 0u);
  EXPECT_EQ(File::Size(path), 0);

  std::string text = "stale";
  EXPECT_TRUE(File::ReadInString(text, path));
  EXPECT_EQ(text, "");
  std::vector<int16_t> values(3, 7);
  EXPECT_TRUE(File::ReadInVector(path, values));
  EXPECT_TRUE(values.empty());
  char buffer[1] = {'x'};
  EXPECT_TRUE(File::Read(path, buffer));
}

TEST(File, WriteTruncatesAndReadReturnsTheBytes) {
  testsupport::TempDir dir;
  const std::string path = dir / "data.bin";
  ASSERT_TRUE(File::WriteFromString(path, std::string("a much longer first content")));
  const std::string bytes("ab\0\r\ncd", 7);
  ASSERT_TRUE(File::WriteFromString(path, bytes));
  std::string back;
  ASSERT_TRUE(File::ReadInString(back, path));
  EXPECT_EQ(back, bytes);
}

TEST(File, ReadInVectorKeepsWholeLittleEndianElementsOnly) {
  testsupport::TempDir dir;
  const std::string ten = dir / "ten.bin";
  testsupport::WriteFile(ten, std::string("\x01\x00\xff\xff\x00\x80\x34\x12\x00\x00", 10));
  std::vector<int16_t> shorts;
  ASSERT_TRUE(File::ReadInVector(ten, shorts));
  EXPECT_EQ(shorts, (std::vector<int16_t>{1, -1, -32768, 0x1234, 0}));

  // 10 bytes hold two whole floats; the last two bytes are not read.
  std::vector<float> floats;
  ASSERT_TRUE(File::ReadInVector(ten, floats));
  EXPECT_EQ(floats.size(), 2u);

  const std::string eleven = dir / "eleven.bin";
  testsupport::WriteFile(eleven, std::string(11, '\x02'));
  std::vector<int16_t> odd(100, 9);
  ASSERT_TRUE(File::ReadInVector(eleven, odd));
  EXPECT_EQ(odd, std::vector<int16_t>(5, 0x0202));

  std::vector<double> one;
  ASSERT_TRUE(File::ReadInVector(eleven, one));
  EXPECT_EQ(one.size(), 1u);

  // Fewer bytes than one element: an empty vector.
  const std::string seven = dir / "seven.bin";
  testsupport::WriteFile(seven, std::string(7, '\x03'));
  std::vector<double> none(4, 1.0);
  EXPECT_TRUE(File::ReadInVector(seven, none));
  EXPECT_TRUE(none.empty());
}

TEST(File, MissingFilesFailWithTheirOwnTags) {
  testsupport::TempDir dir;
  const std::string missing = dir / "missing.eeg";
  CoutCapture capture;
  EXPECT_FALSE(File::Exists(missing));
  EXPECT_EQ(File::Size(missing), -1);
  EXPECT_EQ(capture.Text(), "") << "Exists and Size are silent";

  char buffer[4];
  EXPECT_FALSE(File::Read(missing, buffer));
  std::string text;
  EXPECT_FALSE(File::ReadInString(text, missing));
  std::vector<int16_t> values;
  EXPECT_FALSE(File::ReadInVector(missing, values));
  const std::string out = capture.Text();
  EXPECT_NE(out.find(") File::Read::File::Exists " + missing + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find(") File::ReadInString::Exists " + missing + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find(") File don't extist " + missing + "\n"), std::string::npos) << out;
}

TEST(File, WriteIntoMissingDirectoryReportsPf) {
  testsupport::TempDir dir;
  const std::string path = dir / ("nodir" + S + "x.bin");
  CoutCapture capture;
  EXPECT_FALSE(File::WriteFromString(path, "abc"));
  EXPECT_NE(capture.Text().find(") File::Write::pf " + path + "\n"), std::string::npos) << capture.Text();
}

TEST(File, IsDirectoryReportsMissingPathsOnly) {
  testsupport::TempDir dir;
  const std::string file = dir / "plain.txt";
  testsupport::WriteFile(file, "x");
  const std::string missing = dir / "nothing";
  CoutCapture capture;
  EXPECT_TRUE(File::IsDirectory(dir.Path().string()));
  EXPECT_FALSE(File::IsDirectory(file));
  EXPECT_EQ(capture.Text(), "");
  EXPECT_FALSE(File::IsDirectory(missing));
  EXPECT_EQ(capture.Text().substr(0, 12), "\nERROR in : ");
  EXPECT_NE(capture.Text().find(") File::IsDirectory::_stat " + missing + "\n"), std::string::npos)
      << capture.Text();
}

TEST(File, RemoveOfMissingFileSucceedsSilently) {
  testsupport::TempDir dir;
  const std::string path = dir / "gone.mat";
  CoutCapture capture;
  EXPECT_TRUE(File::Remove(path));
  EXPECT_EQ(capture.Text(), "");
  testsupport::WriteFile(path, "x");
  EXPECT_TRUE(File::Remove(path));
  EXPECT_FALSE(fs::exists(path));
}

TEST(File, MkdirAcceptsExistingEntries) {
  testsupport::TempDir dir;
  const std::string sub = dir / "sub";
  EXPECT_TRUE(File::Mkdir(sub));
  EXPECT_TRUE(fs::is_directory(sub));
  EXPECT_TRUE(File::Mkdir(sub));
  const std::string file = dir / "file";
  testsupport::WriteFile(file, "x");
  EXPECT_TRUE(File::Mkdir(file));
  EXPECT_TRUE(fs::is_regular_file(file));
}

TEST(File, MakeDirsCreatesEveryComponentAndNamesTheFolderAndReasonWhenItCannot) {
  testsupport::TempDir dir;
  const fs::path previous = fs::current_path();
  fs::current_path(dir.Path());
  CoutCapture capture;
  EXPECT_TRUE(File::MakeDirs("first"));
  EXPECT_TRUE(fs::is_directory("first")) << "a folder relative to the working directory is made too";
  EXPECT_TRUE(File::MakeDirs("first/one/two"));
  EXPECT_TRUE(fs::is_directory("first/one/two"));

  // A plain file in the way: the error names the folder and the system's reason.
  testsupport::WriteFile("plain", "x");
  EXPECT_FALSE(File::MakeDirs("plain/one"));
  EXPECT_NE(capture.Text().find(") File::Mkdir can not create the folder plain" + S + "one: Not a directory\n"),
            std::string::npos)
      << capture.Text();

  EXPECT_TRUE(File::MakeDirs("base\\one/two"));
  EXPECT_TRUE(fs::is_directory("base/one/two"));
  EXPECT_TRUE(File::MakeDirs("base/one/two/"));
  EXPECT_TRUE(File::MakeDirs("./made"));
  EXPECT_TRUE(fs::is_directory("made"));
  fs::current_path(previous);

  // An absolute path keeps its root.
  const std::string absolute = dir / ("abs" + S + "deep");
  EXPECT_TRUE(File::MakeDirs(absolute));
  EXPECT_TRUE(fs::is_directory(absolute));
}

}  // namespace

namespace {

TEST(File, ReadingADirectoryIsReportedNotSilent) {
  testsupport::TempDir dir;
  const std::string sub = dir / "sub.eeg";
  std::filesystem::create_directory(sub);
  CoutCapture capture;
  std::vector<char> buffer(static_cast<size_t>(std::max<int64_t>(Varnix::File::Size(sub), 1)));
  EXPECT_FALSE(Varnix::File::Read(sub, buffer.data()));
  std::vector<int16_t> values;
  EXPECT_FALSE(Varnix::File::ReadInVector(sub, values));
  std::string text;
  EXPECT_FALSE(Varnix::File::ReadInString(text, sub));
  const std::string out = capture.Text();
  EXPECT_NE(out.find(") File::Read::File::pf " + sub + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find(") File creating file " + sub + "\n"), std::string::npos) << out;
}

}  // namespace

namespace {

// Files of 2 GiB and more: sizes are 64-bit all the way, and a sparse file makes such a file cheap
// to create. Its trailing bytes, not a whole float, are left out of the read.
TEST(File, FilesOfTwoGigabytesAndMoreHaveTheirWholeSize) {
  testsupport::TempDir dir;
  const std::string path = dir / "big.eeg";
  constexpr uint64_t kSize = (uint64_t{1} << 31) + 6;  // 2^29 + 1 floats and 2 more bytes
  const float lastValue = 1234.5f;
  {
    testsupport::WriteFile(path, "");
    fs::resize_file(path, kSize);
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(static_cast<std::streamoff>(kSize - 6));
    out.write(reinterpret_cast<const char*>(&lastValue), sizeof(lastValue));
    out.write("\x7f\x7f", 2);
    ASSERT_TRUE(out.good());
  }
  EXPECT_TRUE(File::Exists(path));
  EXPECT_EQ(File::Size(path), static_cast<int64_t>(kSize));
  CoutCapture capture;
  EXPECT_FALSE(File::IsDirectory(path));
  EXPECT_EQ(capture.Text(), "");

  // The whole read moves 2 GiB; it is done only where a first slice shows it to be quick.
  {
    File probe(Varnix::Platform::OpenForReading(path));
    ASSERT_GE(probe.Descriptor(), 0);
    constexpr uint64_t kSlice = uint64_t{1} << 26;
    // Fresh, untouched storage, as the full read gets: its page faults are most of the cost.
    const auto start = std::chrono::steady_clock::now();
    std::vector<char, DefaultInitAllocator<char>> slice(kSlice);
    ASSERT_EQ(Varnix::Platform::ReadFully(probe.Descriptor(), slice.data(), kSlice), kSlice);
    const double projected =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * (kSize / kSlice);
    if (projected > 3.0) GTEST_SKIP() << "full 2 GiB read skipped: projected " << projected << " s";
  }
  std::vector<float, DefaultInitAllocator<float>> values;
  ASSERT_TRUE(File::ReadInVector(path, values));
  ASSERT_EQ(values.size(), (uint64_t{1} << 29) + 1);
  EXPECT_EQ(values.back(), lastValue);
  EXPECT_EQ(values[values.size() / 2], 0.0f);
}

size_t OpenDescriptors() {
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST(File, NoOperationLeavesADescriptorOpenOnAnyPath) {
  if (!fs::exists("/proc/self/fd")) GTEST_SKIP() << "no /proc/self/fd to count descriptors";
  testsupport::TempDir dir;
  const std::string data = dir / "data.bin";
  testsupport::WriteFile(data, std::string(11, '\x01'));
  const std::string empty = dir / "empty.bin";
  testsupport::WriteFile(empty, "");
  const std::string sub = dir / "sub";
  fs::create_directory(sub);
  const std::string missing = dir / "missing.bin";
  const std::string unwritable = dir / ("nodir" + S + "x.bin");

  CoutCapture capture;
  const size_t before = OpenDescriptors();
  for (int round = 0; round < 20; ++round) {
    for (const std::string& path : {data, empty, sub, missing}) {
      std::vector<char> buffer(64);
      File::Read(path, buffer.data());
      std::string text;
      File::ReadInString(text, path);
      std::vector<int16_t> shorts;
      File::ReadInVector(path, shorts);
      std::vector<double> doubles;
      File::ReadInVector(path, doubles);
      MemoryFile memory;
      memory.Read(path);
    }
    File::WriteFromString(dir / "out.bin", "abc");
    File::Write(dir / "zero.bin", nullptr, 0);
    File::WriteFromString(unwritable, "abc");
    File::WriteFromString(sub, "abc");
    MemoryFile memory;
    memory.Write(unwritable);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace

namespace {

// A file larger than the memory the process can get is an error naming it, not an exception that
// ends the program. A sparse file of terabytes costs nothing on disk; the allocation only fails
// where the kernel refuses what it cannot back (overcommit modes 0 and 2), and AddressSanitizer
// aborts on such a request instead of failing it, so the test runs only outside it.
TEST(File, AFileTooLargeForMemoryIsReportedNotThrown) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer aborts on oversized allocations";
#endif
  if (testsupport::ReadFile("/proc/sys/vm/overcommit_memory").substr(0, 1) == "1") {
    GTEST_SKIP() << "the kernel grants any allocation (overcommit mode 1)";
  }
  testsupport::TempDir dir;
  const std::string path = dir / "huge.asc";
  testsupport::WriteFile(path, "");
  std::error_code error;
  fs::resize_file(path, uint64_t{8} << 40, error);
  if (error) GTEST_SKIP() << "no sparse file of 8 TiB here: " << error.message();

  CoutCapture capture;
  std::string text = "old";
  EXPECT_FALSE(File::ReadInString(text, path));
  EXPECT_TRUE(text.empty());
  std::vector<uint8_t> bytes(3, 1);
  EXPECT_FALSE(File::ReadInVector(path, bytes));
  EXPECT_TRUE(bytes.empty());
  std::vector<double, DefaultInitAllocator<double>> doubles;
  EXPECT_FALSE(File::ReadInVector(path, doubles));
  const std::string out = capture.Text();
  EXPECT_NE(out.find(") File::ReadInString : not enough memory to hold the file " + path + "\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find(") File::ReadInVector : not enough memory to hold the file " + path + "\n"), std::string::npos)
      << out;
}

}  // namespace
