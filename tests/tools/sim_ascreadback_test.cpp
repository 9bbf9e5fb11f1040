// The simulator's ASC file read back through the project's own ASC stage (AscRawData::Process), which
// must agree with the ground truth: triggers and their grid positions, channels, the known gaze, the
// recording blocks and the experiment structure. Until the ASC stage is part of the build these tests
// compile to nothing.

#ifdef TOLMERA_HAVE_ASC_STAGE

#include <gtest/gtest.h>

#include <cmath>

#include "support/testsupport.h"
#include "tools/simsupport.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/synchroparams.h"

using namespace simsupport;

namespace {

struct AscCase {
  const char* options;
  std::vector<std::string> channels;  ///< with pupil and velocity channels asked for
};

void PrintTo(const AscCase& c, std::ostream* os) { *os << c.options; }

class SimAscReadBack : public ::testing::TestWithParam<AscCase> {};

TEST_P(SimAscReadBack, AscStageAgreesWithTheGroundTruth) {
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --duration 30 --blocks 3 " + GetParam().options), 0);
  const Truth truth = LoadTruth(dir / "S01.truth.txt");
  const double period = 1000.0 / truth.Number(truth.recording, "gaze_rate_hz");

  AscRawData asc;
  ASSERT_TRUE(asc.OpenLog(dir / "Log-AscRawData.txt"));
  SynchroParams params;
  params.ascFileName = dir / "S01.asc";
  params.pupilSize = true;
  params.velocityChannels = true;
  ASSERT_TRUE(asc.Process(params));
  EXPECT_EQ(asc.SamplePeriod(), period);
  EXPECT_EQ(asc.Header().fileName, "S01.edf");
  EXPECT_EQ(asc.ChannelNames(), GetParam().channels);
  EXPECT_EQ(asc.Records().size(), truth.blocks.size());

  // Triggers: the codes of the truth, at the grid index of their INPUT line.
  std::vector<CMarker> triggers;
  asc.GetTriggerMarkers(triggers);
  ASSERT_EQ(triggers.size(), truth.triggers.size());
  const int64_t start = asc.StartTimestamp();
  for (size_t i = 0; i < triggers.size(); ++i) {
    EXPECT_EQ(triggers[i].code, truth.triggers[i].code) << i;
    EXPECT_EQ(triggers[i].position, static_cast<uint32_t>((truth.triggers[i].etTimestamp - start) / static_cast<int64_t>(period)))
        << i;
  }

  // The known gaze on every grid sample that carries one, read from the channel matrix.
  const std::vector<std::string>& names = asc.ChannelNames();
  const size_t columns = asc.NbChannels();
  ASSERT_EQ(columns, names.size());
  ASSERT_EQ(asc.Data().size(), static_cast<size_t>(asc.NbSamples()) * columns);
  size_t valid = 0;
  for (size_t c = 0; c < columns; ++c) {
    if (names[c] != "eyeLx" && names[c] != "eyeRx") continue;
    const bool r = names[c] == "eyeRx";
    for (uint32_t i = 0; i < asc.NbSamples(); ++i) {
      const double x = asc.Data()[i * columns + c];
      if (x == AscRawData::kMissing) continue;
      const double t = static_cast<double>(start) + i * period;
      ASSERT_NEAR(x, (r ? 120.0 : 100.0) + std::fmod(t, 1600.0) / 2.0, 0.05 + 1e-6) << names[c] << " grid sample " << i;
      ++valid;
    }
  }
  EXPECT_GT(valid, 1000u);
}

INSTANTIATE_TEST_SUITE_P(
    EyeSetups, SimAscReadBack,
    ::testing::Values(
        AscCase{"--eyes both --gaze-rate 500", {"eyeLx", "eyeLy", "eyeLp", "eyeRx", "eyeRy", "eyeRp", "blink"}},
        AscCase{"--eyes both --gaze-rate 1000 --velocity",
                {"eyeLx", "eyeLy", "eyeLp", "eyeRx", "eyeRy", "eyeRp", "eyeLxVel", "eyeLyVel", "eyeRxVel", "eyeRyVel",
                 "blink"}},
        AscCase{"--eyes left --gaze-rate 250 --pattern adjacent", {"eyeLx", "eyeLy", "eyeLp", "blink"}},
        AscCase{"--eyes right --gaze-rate 1000 --velocity --asc-crlf", {"eyeRx", "eyeRy", "eyeRp", "eyeRxVel", "eyeRyVel", "blink"}}));

TEST(SimAscReadBackStructure, ExperimentStructureReachesTheAscStage) {
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --duration 60 --blocks 2 --structure"), 0);
  size_t transitions = 0, trials = 0, sequences = 0;
  for (const std::string& line : Lines(testsupport::ReadFile(dir / "S01.asc"))) {
    transitions += line.find(" BEGIN TRANSITION ") != std::string::npos;
    trials += line.find(" Image_Start") != std::string::npos;
    sequences += line.find(" BEGIN SEQUENCE ") != std::string::npos;
  }
  AscRawData asc;
  ASSERT_TRUE(asc.OpenLog(dir / "Log-AscRawData.txt"));
  SynchroParams params;
  params.ascFileName = dir / "S01.asc";
  params.velocityChannels = true;
  ASSERT_TRUE(asc.Process(params));
  EXPECT_EQ(asc.Header().softwareName, "Tessark");
  EXPECT_EQ(asc.Header().screenWidth, 1920);
  EXPECT_EQ(asc.Header().frameRate, 60);
  EXPECT_EQ(asc.AcqPhases().size(), 2u);
  EXPECT_EQ(asc.AcqPhases()[0]->type, 1022);
  EXPECT_EQ(asc.AcqPhases()[1]->type, 1023);
  EXPECT_EQ(asc.Sequences().size(), sequences);
  EXPECT_EQ(asc.Displayables().size(), transitions + trials);
  size_t texts = 0;
  for (const auto& d : asc.Displayables())
    if (d->type == 1002) {
      ++texts;
      EXPECT_NE(d->name.find('_'), std::string::npos) << "a text with blanks is merged into one name";
    }
  EXPECT_GT(texts, 0u);
}

}  // namespace

#endif
