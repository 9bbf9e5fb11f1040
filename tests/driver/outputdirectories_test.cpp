#include "driver/outputdirectories.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/coutcapture.h"
#include "support/testsupport.h"
#include "varnixlib/support/logdirectory.h"
#include "varnixlib/support/platform.h"

namespace {

namespace fs = std::filesystem;
const std::string S(1, Varnix::Platform::kSeparator);

SynchroParams Resolved(const testsupport::TempDir& dir) {
  SynchroParams params;
  params.ascFileName = dir / "S01.asc";
  params.ascMatFileName = params.ascFileName + ".mat";
  params.eegFileName = dir / "S01.eeg";
  params.eegMatFileName = params.eegFileName + ".mat";
  return params;
}

TEST(OutputDirectories, WithoutOutputPathResultsGoBesideTheAscFile) {
  testsupport::TempDir dir;
  SynchroParams params = Resolved(dir);
  OutputDirectories output;
  CoutCapture capture;
  ASSERT_EQ(output.Prepare(params, false), OutputDirectories::Result::Ready);
  EXPECT_EQ(capture.Text(), "") << "a fresh log directory is no error";
  EXPECT_EQ(params.outputPath, dir.Path().string());
  EXPECT_EQ(params.ascMatFileName, dir / "S01.asc.mat");
  EXPECT_EQ(params.eegMatFileName, dir / "S01.eeg.mat");
  EXPECT_EQ(params.quality.baseName, "S01");
  EXPECT_EQ(params.article.baseName, "S01");
  EXPECT_EQ(gLogDirectory, dir / "log" + S);
  EXPECT_EQ(output.AscLogFileName(), dir / "log" + S + "Log-AscRawData.txt");
  EXPECT_TRUE(fs::is_regular_file(output.AscLogFileName()));
  EXPECT_TRUE(output.AscLog().is_open());
  EXPECT_EQ(OutputDirectories::OutputPrefix(params), dir / "synchro_S01.asc");
}

TEST(OutputDirectories, ExistingLogIsTruncated) {
  testsupport::TempDir dir;
  fs::create_directory(dir / "log");
  testsupport::WriteFile(dir / "log" + S + "Log-AscRawData.txt", "old warnings\n");
  SynchroParams params = Resolved(dir);
  OutputDirectories output;
  ASSERT_EQ(output.Prepare(params, false), OutputDirectories::Result::Ready);
  EXPECT_EQ(fs::file_size(output.AscLogFileName()), 0u);
}

TEST(OutputDirectories, OutputPathIsCreatedAndTakesTheMatFiles) {
  testsupport::TempDir dir;
  SynchroParams params = Resolved(dir);
  params.outputPath = dir / ("out" + S + "sub");
  fs::create_directory(dir / "out");
  OutputDirectories output;
  ASSERT_EQ(output.Prepare(params, true), OutputDirectories::Result::Ready);
  EXPECT_TRUE(fs::is_directory(params.outputPath + S + "log"));
  EXPECT_EQ(params.ascMatFileName, params.outputPath + S + "S01.asc.mat");
  EXPECT_EQ(params.eegMatFileName, params.outputPath + S + "S01.eeg.mat");
  EXPECT_EQ(gLogDirectory, params.outputPath + S + "log" + S);
  EXPECT_EQ(OutputDirectories::OutputPrefix(params), params.outputPath + S + "synchro_S01.asc");
}

TEST(OutputDirectories, TrailingSeparatorIsNotDoubled) {
  testsupport::TempDir dir;
  SynchroParams params = Resolved(dir);
  params.outputPath = dir / "out" + S;
  fs::create_directory(dir / "out");
  OutputDirectories output;
  ASSERT_EQ(output.Prepare(params, true), OutputDirectories::Result::Ready);
  EXPECT_EQ(gLogDirectory, dir / "out" + S + "log" + S);
  EXPECT_EQ(OutputDirectories::OutputPrefix(params), dir / "out" + S + "synchro_S01.asc");
}

TEST(OutputDirectories, ExtCompanionNamesThePrefix) {
  testsupport::TempDir dir;
  SynchroParams params = Resolved(dir);
  params.ascMatFileName = dir / "S01.asc.ext.mat";
  params.outputPath = dir.Path().string();
  EXPECT_EQ(OutputDirectories::OutputPrefix(params), dir / "synchro_S01.asc.ext");
}

TEST(OutputDirectories, AMissingOutputFolderIsMadeWithItsLogFolder) {
  testsupport::TempDir dir;
  const fs::path previous = fs::current_path();
  fs::current_path(dir.Path());
  SynchroParams params = Resolved(dir);
  params.outputPath = "out";
  OutputDirectories output;
  CoutCapture capture;
  const OutputDirectories::Result result = output.Prepare(params, true);
  fs::current_path(previous);
  EXPECT_EQ(result, OutputDirectories::Result::Ready) << capture.Text();
  EXPECT_TRUE(fs::is_directory(dir.Path() / "out" / "log"));
}

TEST(OutputDirectories, PlainFileNamedLogIsNoLogDirectory) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "log", "not a directory");
  SynchroParams params = Resolved(dir);
  OutputDirectories output;
  CoutCapture capture;
  EXPECT_EQ(output.Prepare(params, false), OutputDirectories::Result::CannotCreateDirectory);
  EXPECT_EQ(output.FailedPath(), dir / "log");
}

TEST(OutputDirectories, OutputPathBelowAPlainFileFails) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "file", "x");
  SynchroParams params = Resolved(dir);
  params.outputPath = dir / ("file" + S + "sub");
  OutputDirectories output;
  CoutCapture capture;
  EXPECT_EQ(output.Prepare(params, true), OutputDirectories::Result::CannotCreateDirectory);
  EXPECT_EQ(output.FailedPath(), params.outputPath);
  EXPECT_NE(capture.Text().find("File::Mkdir can not create the folder"), std::string::npos);
  EXPECT_NE(capture.Text().find(": Not a directory"), std::string::npos);
}

}  // namespace

namespace {

TEST(OutputDirectories, LogThatCannotBeOpenedIsReported) {
  // A directory in the log's place makes the open fail for every user, root included.
  testsupport::TempDir dir;
  const std::string logFile = dir / ("log" + S + "Log-AscRawData.txt");
  fs::create_directories(logFile);
  SynchroParams params = Resolved(dir);
  OutputDirectories output;
  EXPECT_EQ(output.Prepare(params, false), OutputDirectories::Result::CannotOpenLog);
  EXPECT_EQ(output.FailedPath(), logFile);
  EXPECT_FALSE(output.AscLog().is_open());
}

}  // namespace
