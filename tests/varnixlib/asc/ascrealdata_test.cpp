// Every real recording goes through the ASC stage with counts that agree with the file.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "asctestfile.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/asc/asctokens.h"

namespace {

struct Facts {
  const char* file;
  double period;  ///< ms
  bool left, right, velocity;
  size_t blocks, sampleLines, triggers, efixL, efixR, eblinkL, eblinkR;
};

// From the manifest of the real recordings.
const Facts kFacts[] = {
    {"bino-500-ttl-codes.asc", 2, true, true, false, 1, 30236, 21, 125, 127, 14, 12},
    {"bino-vel-res-500-crlf-24blocks.asc", 2, true, true, true, 24, 25364, 1, 95, 97, 1, 2},
    {"eyelink2-right-250-2004.asc", 4, false, true, false, 1, 11248, 1, 0, 63, 0, 2},
    {"eyelinker-bino1000.asc", 1, true, true, false, 4, 3467, 0, 12, 12, 0, 0},
    {"eyelinker-bino250.asc", 4, true, true, false, 4, 910, 0, 9, 9, 0, 0},
    {"eyelinker-bino500.asc", 2, true, true, false, 4, 1745, 0, 10, 9, 0, 0},
    {"eyelinker-mono2000.asc", 0.5, false, true, false, 4, 8976, 0, 0, 13, 0, 0},
    {"eyelinker-mono250.asc", 4, true, false, false, 4, 914, 0, 9, 0, 0, 0},
    {"left-vel-1000-crlf-24blocks.asc", 1, true, false, true, 24, 50847, 1, 102, 0, 13, 0},
    {"right-1000-20blocks.asc", 1, false, true, false, 20, 92740, 0, 0, 76, 0, 1},
    {"right-1000-input-column.asc", 1, false, true, false, 1, 20767, 1, 0, 13, 0, 1},
    {"right-vel-1000-crlf.asc", 1, false, true, true, 2, 2817, 1, 0, 7, 0, 1},
};

/// Counts the lines inside recording blocks whose first token is a number, by a plain scan
/// independent of the parser (calibration coefficients outside the blocks look alike).
size_t CountSampleLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  size_t count = 0;
  bool inBlock = false;
  AscTokens t;
  while (std::getline(in, line)) {
    t.Split(line);
    if (t[0] == "START") inBlock = true;
    if (t[0] == "END") inBlock = false;
    if (inBlock && t.Count() >= 3 && AscTokens::IsDigits(t[0])) ++count;
  }
  return count;
}

class RealAsc : public ::testing::TestWithParam<Facts> {};

TEST_P(RealAsc, ParsesWithTheCountsOfTheFile) {
  REQUIRE_REALDATA();
  const Facts f = GetParam();
  const std::string path = testsupport::RealDataDir() + "/asc/" + f.file;
  testsupport::TempDir dir;
  SynchroParams params = asctest::AscRun::Defaults();
  params.ascFileName = path;
  params.pupilSize = true;
  AscRawData asc;
  asc.OpenLog(dir / "Log-AscRawData.txt");
  ASSERT_TRUE(asc.Process(params));
  EXPECT_FALSE(asc.StoppedOnCorruption());
  EXPECT_EQ(asc.SamplePeriod(), f.period);
  EXPECT_EQ(asc.Records().size(), f.blocks);
  EXPECT_EQ(asc.Triggers().size(), f.triggers);
  EXPECT_EQ(asc.LeftEyePresent(), f.left);
  EXPECT_EQ(asc.RightEyePresent(), f.right);
  EXPECT_EQ(asc.VelocityInFile(), f.velocity);
  const auto& status = asc.Status();
  const size_t stored = std::count_if(status.begin(), status.end(), [](uint8_t s) { return s & 1; });
  EXPECT_EQ(stored, f.sampleLines);
  EXPECT_EQ(CountSampleLines(path), f.sampleLines);
  auto count = [](const auto& list, uint16_t type) {
    return static_cast<size_t>(std::count_if(list.begin(), list.end(), [type](const auto& e) { return e->type == type; }));
  };
  EXPECT_EQ(count(asc.FixationSaccadesLeft(), 1016), f.efixL);
  EXPECT_EQ(count(asc.FixationSaccadesRight(), 1017), f.efixR);
  EXPECT_EQ(asc.BlinksLeft().size(), f.eblinkL);
  EXPECT_EQ(asc.BlinksRight().size(), f.eblinkR);
  // Every trigger sits on the grid and is marked in the trigger column.
  for (const auto& t : asc.Triggers()) {
    ASSERT_LT(t->start, asc.NbSamples());
    EXPECT_EQ(asc.TriggerValues()[t->start], t->type);
  }
  // Channels: gaze and pupil of each eye, velocity when the file has it, blink.
  size_t expected = (f.left ? 3 : 0) + (f.right ? 3 : 0) + (f.velocity ? 2 * (f.left + f.right) : 0) + 1;
  EXPECT_EQ(asc.NbChannels(), expected);
  EXPECT_EQ(asc.Data().size(), static_cast<size_t>(asc.NbSamples()) * asc.NbChannels());
}

INSTANTIATE_TEST_SUITE_P(AllFiles, RealAsc, ::testing::ValuesIn(kFacts), [](const auto& info) {
  std::string name = info.param.file;
  name = name.substr(0, name.find('.'));
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
});

TEST(RealAsc2000Hz, EveryBlockFillsItsHalfMillisecondsWithOneSampleEach) {
  REQUIRE_REALDATA();
  testsupport::TempDir dir;
  SynchroParams params = asctest::AscRun::Defaults();
  params.ascFileName = testsupport::RealDataDir() + "/asc/eyelinker-mono2000.asc";
  AscRawData asc;
  asc.OpenLog(dir / "Log-AscRawData.txt");
  ASSERT_TRUE(asc.Process(params));
  EXPECT_EQ(asc.SamplePeriodUs(), 500u);
  // Counted with awk over the file: the first timestamps of the sample lines between each START
  // and its END (awk '/^[0-9]/ && $1>=start && $1<=end' | wc -l), 8976 in all; every timestamp
  // appears on exactly two lines (4488 of them), and each block ends 1 ms before its END line.
  const uint32_t kBlockStarts[] = {8258957, 8262213, 8265126, 8268414};
  const uint32_t kBlockEnds[] = {8259816, 8263100, 8266999, 8269283};
  const uint32_t kBlockSamples[] = {1718, 1774, 3746, 1738};
  ASSERT_EQ(asc.Records().size(), 4u);
  const auto& status = asc.Status();
  for (size_t b = 0; b < 4; ++b) {
    SCOPED_TRACE(b);
    const Record& r = *asc.Records()[b];
    const uint32_t first = 2 * (kBlockStarts[b] - asc.StartTimestamp());
    const uint32_t end = 2 * (kBlockEnds[b] - asc.StartTimestamp());
    EXPECT_EQ(r.start, first);
    // The last block ends at its last sample (the file's end closes it), the others at END.
    EXPECT_EQ(r.end, b == 3 ? end - 1 : end);
    // Two lines per millisecond fill both halves: no grid point is left out or taken twice.
    EXPECT_EQ(end - first, kBlockSamples[b]);
    size_t filled = 0;
    for (uint32_t k = first; k < end; ++k) filled += (status[k] & AscRawData::kInRecord) ? 1 : 0;
    EXPECT_EQ(filled, kBlockSamples[b]);
    EXPECT_EQ(status[end] & AscRawData::kInRecord, 0);
    EXPECT_EQ(asc.TimestampOfIndex(end - 1), std::to_string(kBlockEnds[b] - 1) + ".5");
  }
  // Fixation 2 of the file: "EFIX R   8259059\t8259383 ...", whole milliseconds on the first half.
  const FixationSaccade& fix = *asc.FixationSaccadesRight()[2];
  EXPECT_EQ(fix.start, 2 * (8259059 - asc.StartTimestamp()));
  EXPECT_EQ(fix.end, 2 * (8259383 - asc.StartTimestamp()));
  EXPECT_NEAR(fix.startX, 511.1, 1e-9);
  // Sample lines 3 and 4 of the first block: 8258958 twice, x 527.8 then 527.6.
  const uint32_t second = 2 * (8258958 - asc.StartTimestamp());
  EXPECT_DOUBLE_EQ(asctest::At(asc, "eyeRx", second), 527.8);
  EXPECT_DOUBLE_EQ(asctest::At(asc, "eyeRx", second + 1), 527.6);
  EXPECT_FALSE(asc.WarningsWritten()) << testsupport::ReadFile(dir / "Log-AscRawData.txt");
}

}  // namespace
