// The reference TTL file in whole runs on simulated pairs: -T writes the tracker's trigger times in
// microseconds, a reference (the simulator's true one or the -T one) is compared with both devices
// on the tracker's sample grid, each matching's histogram keeps its place on the -A line, the -Q
// line holds the merge's alignment errors, and a reference that fits nothing only warns.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "support/testsupport.h"
#include "tools/simsupport.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

struct RunResult {
  int exitCode = -1;
  std::string console;
};

/// tolmera with its diagnostic lines in diagnostics, so that parallel runs never share a file.
RunResult RunTolmera(const std::string& diagnostics, const std::string& arguments, const std::string& log) {
  const std::string command = "TOLMERA_DIAGNOSTIC_DIR=\"" + diagnostics + "\" \"" + TOLMERA_BINARY_PATH + "\" " +
                              arguments + " < /dev/null > \"" + log + "\" 2>&1";
  const int status = std::system(command.c_str());
  RunResult run;
  run.exitCode = status == -1 ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  run.console = testsupport::ReadFile(log);
  return run;
}

/// The counts of the last line of a diagnostic file, after its first skip words.
std::vector<int> LastCounts(const std::string& path, size_t skip) {
  const std::vector<std::string> lines = simsupport::Lines(testsupport::ReadFile(path));
  if (lines.empty()) return {};
  const std::vector<std::string> words = simsupport::Tokens(lines.back());
  std::vector<int> counts;
  for (size_t k = skip; k < words.size(); ++k) counts.push_back(static_cast<int>(simsupport::ToInt(words[k])));
  return counts;
}

std::vector<int> Block(const std::vector<int>& article, size_t block) {
  return std::vector<int>(article.begin() + static_cast<std::ptrdiff_t>(11 * block),
                          article.begin() + static_cast<std::ptrdiff_t>(11 * block + 11));
}

int Sum(const std::vector<int>& bins) { return std::accumulate(bins.begin(), bins.end(), 0); }
/// Bins -1, 0 and +1 of an 11-bin histogram.
int Middle(const std::vector<int>& bins) { return bins[4] + bins[5] + bins[6]; }

/// The pair counts of the matchings the console reports, in the order they ran.
std::vector<int> PairCounts(const std::string& console) {
  std::vector<int> counts;
  const std::string key = "LCS   Triggers =";
  for (size_t at = console.find(key); at != std::string::npos; at = console.find(key, at + 1)) {
    counts.push_back(std::atoi(console.c_str() + at + key.size()));
  }
  return counts;
}

#if defined(TOLMERA_SIM_PATH)

TEST(ReferenceTtl, TheSimulatorsTrueReferenceFallsInTheMiddleBinsAndEveryBlockKeepsItsPlace) {
  testsupport::TempDir dir;
  const std::string in = dir / "in";
  fs::create_directories(in);
  ASSERT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S01 --gaze-rate 500 --eeg-rate 1000 --ttl --seed 3",
                               dir / "sim.log"),
            0);
  const std::string inputs = "\"" + in + "/S01.eeg\" \"" + in + "/S01.asc\"";
  const RunResult run = RunTolmera(dir.Path().string(), inputs + " -h \"" + (dir / "out") + "\" -A -Q", dir / "run.log");
  ASSERT_EQ(run.exitCode, 0) << run.console;
  // Reference against the EEG, reference against the tracker, tracker against the EEG.
  const std::vector<int> pairs = PairCounts(run.console);
  ASSERT_EQ(pairs.size(), 3u) << run.console;
  const std::vector<int> article = LastCounts(dir / "TolmeraArticleQuor.txt", 1);
  ASSERT_EQ(article.size(), 33u);
  EXPECT_EQ(Sum(Block(article, 0)), pairs[2]);
  EXPECT_EQ(Sum(Block(article, 1)), pairs[0]);
  EXPECT_EQ(Sum(Block(article, 2)), pairs[1]);
  // Microseconds on one side, samples on the other, compared on the tracker's grid: within a
  // sample, where milliseconds against samples put nearly every pair at +5.
  for (const size_t reference : {1u, 2u}) {
    const std::vector<int> bins = Block(article, reference);
    EXPECT_GE(Middle(bins) * 100, Sum(bins) * 95) << "block " << reference << ": " << testing::PrintToString(bins);
  }
  // The quality line's histogram is the merge's: every modelled pair, nearly all in the middle.
  const std::vector<int> quality = LastCounts(dir / "TolmeraQualityQuor.txt", 5);
  ASSERT_EQ(quality.size(), 11u);
  EXPECT_GT(Sum(quality), pairs[2] / 2);
  EXPECT_LE(Sum(quality), pairs[2]);
  EXPECT_GE(Middle(quality) * 100, Sum(quality) * 95) << testing::PrintToString(quality);

  // Without the reference the tracker/EEG block stays where it was, the others empty.
  fs::remove(in + "/S01.ttl");
  const RunResult alone = RunTolmera(dir.Path().string(), inputs + " -h \"" + (dir / "out2") + "\" -A", dir / "run2.log");
  ASSERT_EQ(alone.exitCode, 0) << alone.console;
  const std::vector<int> second = LastCounts(dir / "TolmeraArticleQuor.txt", 1);
  ASSERT_EQ(second.size(), 33u);
  EXPECT_EQ(Block(second, 0), Block(article, 0));
  EXPECT_EQ(Block(second, 1), std::vector<int>(11, 0));
  EXPECT_EQ(Block(second, 2), std::vector<int>(11, 0));
}

TEST(ReferenceTtl, TheTtlSwitchWritesTheTrueTimesInMicrosecondsWithinItsJitter) {
  for (const char* rate : {"500", "250"}) {
    SCOPED_TRACE(rate);
    testsupport::TempDir dir;
    const std::string in = dir / "in";
    fs::create_directories(in);
    ASSERT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S01 --duration 40 --seed 8 --gaze-rate " + rate,
                                 dir / "sim.log"),
              0);
    const RunResult run = RunTolmera(dir.Path().string(),
                                     "\"" + in + "/S01.asc\" -h \"" + (dir / "out") + "\" -T -A", dir / "run.log");
    ASSERT_EQ(run.exitCode, 0) << run.console;
    const simsupport::Truth truth = simsupport::LoadTruth(in + "/S01.truth.txt");
    ASSERT_FALSE(truth.triggers.empty());
    const std::vector<std::string> lines = simsupport::Lines(testsupport::ReadFile(in + "/S01.ttl"));
    ASSERT_EQ(lines.size(), truth.triggers.size());
    const double first = truth.triggers.front().trueMs;
    for (size_t k = 0; k < lines.size(); ++k) {
      const std::vector<std::string> words = simsupport::Tokens(lines[k]);
      ASSERT_EQ(words.size(), 2u) << lines[k];
      EXPECT_EQ(simsupport::ToInt(words[1]), truth.triggers[k].code) << k;
      // The tracker's millisecond (the edge's time rounded up) less a jitter of up to 2000 us.
      const double truthUs = (truth.triggers[k].trueMs - first) * 1000.0;
      const double written = static_cast<double>(simsupport::ToInt(words[0]));
      EXPECT_LE(written, truthUs + 1000.0) << k;
      EXPECT_GE(written, truthUs - 3000.0) << k;
    }
    // The same run read it back as its reference: against the tracker, within a sample or so.
    const std::vector<int> article = LastCounts(dir / "TolmeraArticleQuor.txt", 1);
    ASSERT_EQ(article.size(), 33u);
    const std::vector<int> bins = Block(article, 2);
    EXPECT_EQ(Sum(bins), static_cast<int>(truth.triggers.size()));
    EXPECT_GE(Middle(bins) * 100, Sum(bins) * 95) << testing::PrintToString(bins);
  }
}

TEST(ReferenceTtl, AReferenceSharingNoCodeWarnsAndTheMergeGoesOn) {
  testsupport::TempDir dir;
  const std::string in = dir / "in";
  fs::create_directories(in);
  ASSERT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S01 --duration 30 --seed 4",
                               dir / "sim.log"),
            0);
  testsupport::WriteFile(in + "/S01.ttl", "0 300\n1000 301\n2500 302\n");
  const std::string out = dir / "out";
  const RunResult run = RunTolmera(dir.Path().string(), "\"" + in + "/S01.asc\" -h \"" + out + "\" -A", dir / "run.log");
  EXPECT_EQ(run.exitCode, 0) << run.console;
  EXPECT_NE(run.console.find("the reference TTL file does not match the EEG triggers; the merge goes on"),
            std::string::npos)
      << run.console;
  EXPECT_NE(run.console.find("the reference TTL file does not match the eye-tracker triggers; the merge goes on"),
            std::string::npos);
  EXPECT_NE(run.console.find("!!! Tolmera END !!!"), std::string::npos);
  EXPECT_TRUE(fs::exists(out + "/synchro_S01.asc.eeg"));
  EXPECT_TRUE(fs::exists(out + "/synchro_S01.asc.vmrk"));
  const std::vector<int> article = LastCounts(dir / "TolmeraArticleQuor.txt", 1);
  ASSERT_EQ(article.size(), 33u);
  EXPECT_GT(Sum(Block(article, 0)), 0);
  EXPECT_EQ(Sum(Block(article, 1)) + Sum(Block(article, 2)), 0);
}

#endif

}  // namespace
