#include "varnixlib/sync/errorhistogram.h"

#include <gtest/gtest.h>

#include "support/testsupport.h"

TEST(ErrorHistogram, BinBoundsGoUpAtHalvesExceptAtMinusFourAndAHalf) {
  EXPECT_EQ(ErrorBin(4.5), 5);
  EXPECT_EQ(ErrorBin(4.49), 4);
  EXPECT_EQ(ErrorBin(-4.5), -4);
  EXPECT_EQ(ErrorBin(-4.51), -5);
  EXPECT_EQ(ErrorBin(0.5), 1);
  EXPECT_EQ(ErrorBin(0.49), 0);
  EXPECT_EQ(ErrorBin(-0.5), 0);
  EXPECT_EQ(ErrorBin(-0.6), -1);
  EXPECT_EQ(ErrorBin(-1e9), -5);
  EXPECT_EQ(ErrorBin(1e9), 5);
}

TEST(ErrorHistogram, StatisticsArePopulationFiguresOfTheSelectedValues) {
  const std::vector<double> errors = {0.2, -0.6, 7.3};
  const std::vector<uint32_t> codes = {10, 10, 20};
  const ErrorHistogram all = BuildHistogram(errors);
  EXPECT_EQ(all.count, 3);
  EXPECT_EQ(all.counts[5], 1);
  EXPECT_EQ(all.counts[4], 1);
  EXPECT_EQ(all.counts[10], 1);
  EXPECT_NEAR(all.mean, 6.9 / 3, 1e-12);
  const ErrorHistogram ten = BuildTriggerHistogram(codes, errors, 10);
  EXPECT_EQ(ten.count, 2);
  EXPECT_NEAR(ten.mean, -0.2, 1e-12);
  EXPECT_NEAR(ten.std, 0.4, 1e-12);
  EXPECT_EQ(BuildTriggerHistogram(codes, errors, 99).count, 0);

  testing::internal::CaptureStdout();
  const ErrorHistogram shortened = BuildTriggerHistogram({10, 10}, errors, 10);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning: Inconsistency detected while creating histogram!");
  EXPECT_EQ(shortened.count, 2);
}

TEST(ErrorHistogram, FilesListBinsThenCountsAndCodesInNumericOrder) {
  testsupport::TempDir dir;
  testing::internal::CaptureStdout();
  WriteErrorHistograms({20, 10, 10}, {7.3, 0.2, -0.6}, dir.Path().string() + "/");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  EXPECT_EQ(testsupport::ReadFile(dir / "HistoGlobalError.txt"),
            "-5     0\n-4     0\n-3     0\n-2     0\n-1     1\n 0     1\n 1     0\n 2     0\n"
            " 3     0\n 4     0\n 5     1\nTrigger count: 3\nMean: 2.3\nStd: 3.551\n");
  const std::string bins10 =
      "-5     0\n-4     0\n-3     0\n-2     0\n-1     1\n 0     1\n 1     0\n 2     0\n"
      " 3     0\n 4     0\n 5     0\n";
  const std::string bins20 =
      "-5     0\n-4     0\n-3     0\n-2     0\n-1     0\n 0     0\n 1     0\n 2     0\n"
      " 3     0\n 4     0\n 5     1\n";
  EXPECT_EQ(testsupport::ReadFile(dir / "HistoPerTriggerError.txt"),
            "Histrogram for trigger '10'\n" + bins10 +
                "Trigger count: 2\nMean: -0.2\nStd: 0.4\n\n"
                "Histrogram for trigger '20'\n" + bins20 + "Trigger count: 1\n\n");
}

TEST(ErrorHistogram, ListsOfDifferentLengthsAreReportedAndStillWritten) {
  testsupport::TempDir dir;
  testing::internal::CaptureStdout();
  WriteErrorHistograms({3}, {0.0, 1.0}, dir.Path().string() + "/");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Warning: Inconsistency detected!", 0), 0u);
  EXPECT_NE(testsupport::ReadFile(dir / "HistoGlobalError.txt").find("Trigger count: 2\n"),
            std::string::npos);
  EXPECT_NE(testsupport::ReadFile(dir / "HistoPerTriggerError.txt").find("Trigger count: 1\n"),
            std::string::npos);
}
