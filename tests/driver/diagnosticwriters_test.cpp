#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "driver/articlewriter.h"
#include "driver/qualitywriter.h"
#include "support/fulldisk.h"
#include "support/testsupport.h"
#include "varnixlib/support/platform.h"

namespace {

const std::string S(1, Varnix::Platform::kSeparator);

TEST(QualityWriter, LineHasThreeDigitTimesSixteenDigitFitAndElevenCounts) {
  QualityRecord record;
  record.baseName = "S01";
  record.ascProcessingTime = 1.23456;
  record.syncOutputTime = 0.5;
  record.matchingTime = 1234.5;
  record.rSquared = 0.99999999999999;
  record.histogram[0] = 3;
  record.histogram[10] = 123456;
  std::ostringstream out;
  QualityWriter::WriteLine(out, record);
  EXPECT_EQ(out.str(), "S01 1.23 0.5 1.23e+03 0.99999999999999     3     0     0     0     0     0     0     0     0"
                       "     0 123456 \n");
}

TEST(QualityWriter, RunsAppendOneLineEachAndDisabledTouchesNothing) {
  testsupport::TempDir dir;
  const std::string folder = dir.Path().string() + S;
  QualityRecord record;
  record.baseName = "S01";
  EXPECT_TRUE(QualityWriter::Write(record, folder));
  EXPECT_FALSE(std::filesystem::exists(folder + "TolmeraQualityQuor.txt"));
  record.enabled = true;
  EXPECT_TRUE(QualityWriter::Write(record, folder));
  record.baseName = "S02";
  EXPECT_TRUE(QualityWriter::Write(record, folder));
  const std::string zeros = "    0     0     0     0     0     0     0     0     0     0     0 \n";
  EXPECT_EQ(testsupport::ReadFile(folder + "TolmeraQualityQuor.txt"),
            "S01 0 0 0 0 " + zeros + "S02 0 0 0 0 " + zeros);
}

TEST(QualityWriter, MissingDirectoryIsNotCreatedAndNotAnError) {
  testsupport::TempDir dir;
  QualityRecord record;
  record.enabled = true;
  const std::string folder = dir / "absent" + S;
  EXPECT_TRUE(QualityWriter::Write(record, folder));
  EXPECT_FALSE(std::filesystem::exists(dir / "absent"));
}

TEST(ArticleWriter, LineHasThirtyThreeCountsAndRunsAppend) {
  testsupport::TempDir dir;
  const std::string folder = dir.Path().string() + S;
  ArticleRecord record;
  record.baseName = "S01";
  EXPECT_TRUE(ArticleWriter::Write(record, folder));
  EXPECT_FALSE(std::filesystem::exists(folder + "TolmeraArticleQuor.txt"));
  record.enabled = true;
  record.histograms[0] = 7;
  record.histograms[32] = -12;
  ASSERT_TRUE(ArticleWriter::Write(record, folder));
  ASSERT_TRUE(ArticleWriter::Write(record, folder));
  std::string line = "S01     7 ";
  for (int i = 1; i < 32; ++i) line += "    0 ";
  line += "  -12 \n";
  EXPECT_EQ(testsupport::ReadFile(folder + "TolmeraArticleQuor.txt"), line + line);
}

TEST(DiagnosticWriters, DefaultDirectoryIsThePlatformOne) {
  EXPECT_EQ(Varnix::Platform::DiagnosticDirectory().back(), Varnix::Platform::kSeparator);
}

}  // namespace

namespace {

TEST(QualityWriter, AFullDiskKeepsTheLinesOfEarlierRunsWhole) {
  testsupport::TempDir dir;
  const std::string folder = dir.Path().string() + S;
  QualityRecord record;
  record.enabled = true;
  record.baseName = "S01";
  ASSERT_TRUE(QualityWriter::Write(record, folder));
  const std::string before = testsupport::ReadFile(folder + QualityWriter::kFileName);
  record.baseName = "S02";
  {
    FullDiskAfter full(10);
    EXPECT_TRUE(QualityWriter::Write(record, folder));  // the run goes on
  }
  ArticleRecord article;
  article.enabled = true;
  article.baseName = "S02";
  {
    FullDiskAfter full(0);
    EXPECT_TRUE(ArticleWriter::Write(article, folder));
  }
  EXPECT_EQ(testsupport::ReadFile(folder + QualityWriter::kFileName), before);
  EXPECT_EQ(testsupport::ReadFile(folder + ArticleWriter::kFileName), "");
}

}  // namespace
