// The simulator as a program: defaults, reproducibility, refusals, help, the TTL file.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "support/testsupport.h"
#include "tools/simsupport.h"

using namespace simsupport;
namespace fs = std::filesystem;

namespace {

const char* const kOutputs[] = {"S01.vhdr", "S01.vmrk", "S01.eeg", "S01.asc", "S01.truth.txt"};

TEST(Simulator, DefaultsWriteASmallCompletePair) {
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --name S01"), 0);
  for (const char* name : kOutputs) {
    ASSERT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_GT(fs::file_size(dir / name), 0u) << name;
    EXPECT_LT(fs::file_size(dir / name), 5u << 20) << name;
  }
  EXPECT_FALSE(fs::exists(dir / "S01.ttl"));
  const Truth truth = LoadTruth(dir / "S01.truth.txt");
  EXPECT_GT(truth.triggers.size(), 20u);
  EXPECT_EQ(truth.segments.size(), 1u);
}

TEST(Simulator, OneSeedGivesByteIdenticalFilesAndAnotherSeedDifferentOnes) {
  testsupport::TempDir a, b, c;
  const std::string common = " --name S01 --segments 2 --overflow 2000 --structure --velocity --ttl --format float32";
  ASSERT_EQ(RunSim("--out \"" + a.Path().string() + "\" --seed 7" + common), 0);
  ASSERT_EQ(RunSim("--out \"" + b.Path().string() + "\" --seed 7" + common), 0);
  ASSERT_EQ(RunSim("--out \"" + c.Path().string() + "\" --seed 8" + common), 0);
  for (const char* name : {"S01.vhdr", "S01.vmrk", "S01.eeg", "S01.asc", "S01.truth.txt", "S01.ttl"}) {
    const std::string first = testsupport::ReadFile(a / name);
    EXPECT_FALSE(first.empty()) << name;
    EXPECT_EQ(first, testsupport::ReadFile(b / name)) << name;
  }
  for (const char* name : {"S01.vmrk", "S01.eeg", "S01.asc", "S01.truth.txt"})
    EXPECT_NE(testsupport::ReadFile(a / name), testsupport::ReadFile(c / name)) << name;
}

TEST(Simulator, RefusesBadArgumentsWithAReason) {
  testsupport::TempDir dir;
  const std::string out = "--out \"" + dir.Path().string() + "\" ";
  const char* const bad[] = {"--gaze-rate 300",   "--format int32",      "--eyes three", "--channels 0",
                             "--frobnicate",      "--duration",          "--duration -5", "--code-max 256",
                             "--pattern zigzag",  "--seed x",            "--duration 1 --blocks 5",
                             "--segments 3 --segment-loss 40000 --duration 20", "--block-gap 2",
                             // message knobs without messages, keywords a reader cannot find again, ranges
                             "--message-delay 5", "--message-offset", "--message-noise 3", "--no-input",
                             "--message-triggers 12", "--message-triggers -4", "--message-triggers 'TTL  code'",
                             "--message-triggers T --message-jitter -1", "--message-triggers T --message-delay 5000"};
  for (const char* args : bad) {
    const std::string log = dir / "log.txt";
    EXPECT_EQ(RunSim(out + args, log), 2) << args;
    EXPECT_NE(testsupport::ReadFile(log).find("tolmera-sim: "), std::string::npos) << args;
  }
  EXPECT_FALSE(fs::exists(dir / "S01.vhdr"));
}

TEST(Simulator, HelpDescribesTheGroundTruthAndTheAlignmentCheck) {
  testsupport::TempDir dir;
  const std::string log = dir / "help.txt";
  ASSERT_EQ(RunSim("--help", log), 0);
  const std::string help = testsupport::ReadFile(log);
  for (const char* needle : {"--seed", "--drift", "--overflow", "--coincident", "[triggers]", "eeg_gapfilled_position",
                             "eeg_lost", "TrueTime", "2 * (left gaze x - 100)", "--message-triggers",
                             "msg_timestamp", "[message_noise]"})
    EXPECT_NE(help.find(needle), std::string::npos) << needle;
}

TEST(Simulator, TtlFileListsEveryTriggerInMicrosecondsSinceTheFirst) {
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --ttl --pattern adjacent"), 0);
  const Truth truth = LoadTruth(dir / "S01.truth.txt");
  const std::vector<std::string> lines = Lines(testsupport::ReadFile(dir / "S01.ttl"));
  ASSERT_EQ(lines.size(), truth.triggers.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::vector<std::string> t = Tokens(lines[i]);
    ASSERT_EQ(t.size(), 2u) << lines[i];
    const double us = (truth.triggers[i].trueMs - truth.triggers[0].trueMs) * 1000.0;
    EXPECT_NEAR(static_cast<double>(ToInt(t[0])), us, 0.5 + 1e-3) << i;
    EXPECT_EQ(ToInt(t[1]), truth.triggers[i].code) << i;
  }
  EXPECT_EQ(Tokens(lines[0])[0], "0");
}

}  // namespace
