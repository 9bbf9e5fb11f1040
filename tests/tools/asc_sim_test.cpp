// Simulated recordings read back by the ASC stage against the simulator's ground truth: blocks,
// triggers, eye events and gaze values, for every eye set-up, rate and velocity choice.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <cctype>
#include <cmath>

#include "support/testsupport.h"
#include "tools/simsupport.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/synchroparams.h"

using namespace simsupport;

namespace {

struct SimCase {
  const char* eyes;
  int rate;
  bool velocity;
  int blocks;
  bool crlf;
  bool halfMs = false;  ///< at 2000 Hz: "T.5" for the second sample of a millisecond
};

class AscAgainstSimulator : public ::testing::TestWithParam<SimCase> {};

TEST_P(AscAgainstSimulator, BlocksTriggersEventsAndGazeMatchTheGroundTruth) {
  const SimCase c = GetParam();
  testsupport::TempDir dir;
  const std::string args = "--out " + dir.Path().string() + " --name S01 --duration 30 --structure --seed 7" +
                           " --gaze-rate " + std::to_string(c.rate) + " --eyes " + c.eyes + " --blocks " +
                           std::to_string(c.blocks) + (c.velocity ? " --velocity" : "") + (c.crlf ? " --asc-crlf" : "") +
                           (c.halfMs ? " --half-ms-timestamps" : "");
  ASSERT_EQ(RunSim(args, dir / "sim.log"), 0) << args;
  const Truth truth = LoadTruth(dir / "S01.truth.txt");
  const std::string text = testsupport::ReadFile(dir / "S01.asc");

  SynchroParams params;
  params.ascFileName = dir / "S01.asc";
  params.velocityChannels = true;
  params.pupilSize = true;
  AscRawData asc;
  asc.OpenLog(dir / "Log-AscRawData.txt");
  testing::internal::CaptureStdout();
  const bool ok = asc.Process(params);
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ok) << out;

  const uint32_t periodUs = 1000000 / c.rate;
  ASSERT_EQ(asc.SamplePeriodUs(), periodUs);
  const uint32_t start = asc.StartTimestamp();
  // Whole microseconds from the grid's start: exact for the half milliseconds of 2000 Hz.
  auto index = [&](double timestamp) {
    return static_cast<uint32_t>(std::llround((timestamp - start) * 1000.0) / periodUs);
  };

  // Blocks: one record per block, from its first timestamp to that of its END line.
  std::vector<int64_t> ends;
  for (const std::string& line : Lines(text)) {
    if (line.starts_with("END")) ends.push_back(ToInt(Tokens(line)[1]));
  }
  ASSERT_EQ(asc.Records().size(), truth.blocks.size());
  ASSERT_EQ(ends.size(), truth.blocks.size());
  for (size_t k = 0; k < truth.blocks.size(); ++k) {
    const std::vector<std::string> f = Fields(truth.blocks[k], ',');
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(asc.Records()[k]->start, index(ToInt(f[0])));
    EXPECT_EQ(asc.Records()[k]->end, index(ends[k]));
    EXPECT_GT(ends[k], ToInt(f[1]) - 1);
  }
  size_t stored = 0;
  for (uint8_t s : asc.Status()) stored += s & 1;
  size_t truthSamples = 0;
  for (const std::string& b : truth.blocks) truthSamples += ToInt(Fields(b, ',')[2]);
  EXPECT_EQ(stored, truthSamples);

  // Triggers: every code at the sample of its INPUT line, in time order.
  ASSERT_EQ(asc.Triggers().size(), truth.triggers.size());
  for (size_t k = 0; k < truth.triggers.size(); ++k) {
    EXPECT_EQ(asc.Triggers()[k]->type, truth.triggers[k].code) << k;
    EXPECT_EQ(asc.Triggers()[k]->start, index(truth.triggers[k].etTimestamp)) << k;
  }
  std::vector<CMarker> markers;
  asc.GetTriggerMarkers(markers);
  ASSERT_EQ(markers.size(), truth.triggers.size());

  // Gaze: x of every valid sample is 100 (left) or 120 (right) + (t mod 1600) / 2.
  const bool left = std::string(c.eyes) != "right";
  const bool right = std::string(c.eyes) != "left";
  EXPECT_EQ(asc.LeftEyePresent(), left);
  EXPECT_EQ(asc.RightEyePresent(), right);
  const size_t expectedChannels = (left ? 3 : 0) + (right ? 3 : 0) + (c.velocity ? 2 * (left + right) : 0) + 1;
  ASSERT_EQ(asc.NbChannels(), expectedChannels);
  const auto& names = asc.ChannelNames();
  const size_t lx = std::find(names.begin(), names.end(), "eyeLx") - names.begin();
  const size_t rx = std::find(names.begin(), names.end(), "eyeRx") - names.begin();
  // Each sample line's x, at the grid index of its timestamp (a grid step of P ms holds one line;
  // at 2000 Hz a timestamp written twice is the second half of its millisecond the second time).
  size_t checked = 0;
  bool inBlock = false;
  std::string previous;
  for (const std::string& line : Lines(text)) {
    if (line.starts_with("START")) inBlock = true;
    if (line.starts_with("END")) inBlock = false;
    if (!inBlock || line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
    const std::vector<std::string> t = Tokens(line);
    const double ts = ToDouble(t[0]) + (t[0] == previous ? 0.5 : 0.0);
    previous = t[0];
    // The simulator prints x to a tenth of a pixel; at 2000 Hz the cycle moves by a quarter pixel.
    const double cycle = std::fmod(ts, 1600.0) / 2.0;
    const double* frame = asc.Data().data() + static_cast<size_t>(index(ts)) * asc.NbChannels();
    if (left && t[1] != ".") {
      ASSERT_NEAR(frame[lx], 100.0 + cycle, 0.05 + 1e-9) << line;
      ++checked;
    }
    const size_t rightToken = left ? 4 : 1;
    if (right && t[rightToken] != ".") {
      ASSERT_NEAR(frame[rx], 120.0 + cycle, 0.05 + 1e-9) << line;
      ++checked;
    }
  }
  EXPECT_GT(checked, stored / 2);

  // Eye events: one object per end line; blinks either kept or interpolated as false blinks.
  size_t efix[2] = {}, esacc[2] = {}, eblink[2] = {};
  for (const std::string& line : Lines(text)) {
    const std::vector<std::string> t = Tokens(line);
    if (t.size() < 2) continue;
    const int eye = t[1] == "L" ? 0 : 1;
    efix[eye] += t[0] == "EFIX";
    esacc[eye] += t[0] == "ESACC";
    eblink[eye] += t[0] == "EBLINK";
  }
  auto count = [](const auto& list, uint16_t type) {
    return static_cast<size_t>(std::count_if(list.begin(), list.end(), [type](const auto& e) { return e->type == type; }));
  };
  EXPECT_EQ(count(asc.FixationSaccadesLeft(), 1016), efix[0]);
  EXPECT_EQ(count(asc.FixationSaccadesRight(), 1017), efix[1]);
  EXPECT_EQ(count(asc.FixationSaccadesLeft(), 1018), esacc[0]);
  EXPECT_EQ(count(asc.FixationSaccadesRight(), 1019), esacc[1]);
  EXPECT_LE(asc.BlinksLeft().size(), eblink[0]);
  EXPECT_LE(asc.BlinksRight().size(), eblink[1]);
  for (const auto* list : {&asc.BlinksLeft(), &asc.BlinksRight()}) {
    for (const auto& b : *list) {
      EXPECT_EQ(asc.Data()[static_cast<size_t>(b->start) * asc.NbChannels() + asc.NbChannels() - 1], 1.0);
    }
  }
  // The structure messages made their objects, and the eye and block states stayed consistent.
  EXPECT_FALSE(asc.AcqPhases().empty());
  EXPECT_FALSE(asc.Sequences().empty());
  EXPECT_FALSE(asc.Displayables().empty());
  const std::string log = testsupport::ReadFile(dir / "Log-AscRawData.txt");
  for (const char* state : {"inFix", "inSacc", "inBlink", "inRecord", "inPhase", "inSequence"}) {
    EXPECT_EQ(log.find(state), std::string::npos) << state << "\n" << log.substr(0, 500);
  }
}

INSTANTIATE_TEST_SUITE_P(EyeSetUps, AscAgainstSimulator,
                         ::testing::Values(SimCase{"both", 1000, true, 2, false}, SimCase{"both", 500, false, 3, true},
                                           SimCase{"left", 250, false, 1, false}, SimCase{"left", 1000, true, 2, true},
                                           SimCase{"right", 500, true, 2, false}, SimCase{"right", 1000, false, 4, false},
                                           SimCase{"right", 2000, false, 2, false},
                                           SimCase{"both", 2000, true, 3, true, true}),
                         [](const auto& info) {
                           return std::string(info.param.eyes) + std::to_string(info.param.rate) +
                                  (info.param.velocity ? "vel" : "") + (info.param.crlf ? "crlf" : "") +
                                  (info.param.halfMs ? "halfms" : "");
                         });

}  // namespace

namespace {

/// Runs the tolmera program in dir with the arguments; returns its exit status and standard error.
int RunTolmeraIn(const std::string& dir, const std::string& arguments, std::string& err) {
  const std::string errFile = dir + "/tolmera.err";
  const std::string command = "cd '" + dir + "' && '" TOLMERA_BINARY_PATH "' " + arguments + " > tolmera.out 2> '" +
                              errFile + "' < /dev/null";
  const int status = std::system(command.c_str());
  err = testsupport::ReadFile(errFile);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(TolmeraOnSimulatedPairs, EveryEyeSetUpRunsToTheMergedOutput) {
  for (const std::string eyes : {"left", "right", "both"}) {
    for (const std::string format : {"int16", "float32"}) {
      testsupport::TempDir dir;
      const std::string args = "--out " + dir.Path().string() + " --name S01 --duration 20 --structure --velocity" +
                               " --eyes " + eyes + " --format " + format;
      ASSERT_EQ(RunSim(args, dir / "sim.log"), 0) << args;
      std::string err;
      EXPECT_EQ(RunTolmeraIn(dir.Path().string(), "S01.asc -p -v -f 20 -G", err), 0) << eyes << format << err;
      EXPECT_EQ(err, "") << eyes << format;
      EXPECT_TRUE(std::filesystem::exists(dir / "synchro_S01.asc.eeg")) << eyes << format;
      EXPECT_TRUE(std::filesystem::exists(dir / "S01.asc.dbg"));
      const std::string out = testsupport::ReadFile(dir / "tolmera.out");
      EXPECT_EQ(out.find("ERROR in : "), std::string::npos) << out.substr(0, 2000);
    }
  }
}

}  // namespace

namespace {

TEST(AscAgainstSimulatorBlinks, ShortBlinksBetweenValidGazeAreRemovedUpToTheThreshold) {
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out " + dir.Path().string() + " --name S01 --duration 120 --blink-interval 1500 --seed 3",
                   dir / "sim.log"),
            0);
  auto parse = [&](int64_t falseBlinkMsec, AscRawData& asc) {
    SynchroParams params;
    params.ascFileName = dir / "S01.asc";
    params.velocityChannels = true;
    params.falseBlinkMsec = falseBlinkMsec;
    asc.OpenLog(dir / "Log-AscRawData.txt");
    testing::internal::CaptureStdout();
    const bool ok = asc.Process(params);
    testing::internal::GetCapturedStdout();
    return ok;
  };
  AscRawData plain, filtered;
  ASSERT_TRUE(parse(0, plain));
  ASSERT_TRUE(parse(8, filtered));  // 500 Hz: 4 samples
  const uint32_t threshold = filtered.Header().falseBlinkSamples;
  ASSERT_EQ(threshold, 4u);
  const size_t before = plain.BlinksLeft().size() + plain.BlinksRight().size();
  const size_t after = filtered.BlinksLeft().size() + filtered.BlinksRight().size();
  EXPECT_LT(after, before);  // the simulator makes a share of blinks 1 to 3 samples long
  const auto& names = filtered.ChannelNames();
  for (int eye = 0; eye < 2; ++eye) {
    const auto& blinks = eye == 0 ? filtered.BlinksLeft() : filtered.BlinksRight();
    const size_t x = std::find(names.begin(), names.end(), eye == 0 ? "eyeLx" : "eyeRx") - names.begin();
    const size_t y = x + 1;
    for (const auto& b : blinks) {
      if (b->end - b->start > threshold || b->start == 0 || b->end + 1 >= filtered.NbSamples()) continue;
      const double* before = filtered.Data().data() + static_cast<size_t>(b->start - 1) * filtered.NbChannels();
      const double* after = filtered.Data().data() + static_cast<size_t>(b->end + 1) * filtered.NbChannels();
      // A short blink that stayed has a missing neighbour.
      EXPECT_TRUE(before[x] == -2000.0 || before[y] == -2000.0 || after[x] == -2000.0 || after[y] == -2000.0)
          << "blink " << b->start << ".." << b->end;
    }
  }
  // Every removed blink left no mark in the blink column.
  size_t marked = 0;
  for (uint32_t s = 0; s < filtered.NbSamples(); ++s) marked += filtered.Data()[s * filtered.NbChannels() + filtered.NbChannels() - 1] == 1.0;
  size_t expected = 0;
  for (const auto* list : {&filtered.BlinksLeft(), &filtered.BlinksRight()}) {
    for (const auto& b : *list) expected += b->end - b->start + 1;
  }
  EXPECT_LE(marked, expected);
  EXPECT_GT(marked, 0u);
}

}  // namespace
