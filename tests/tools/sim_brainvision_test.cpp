// The simulator's BrainVision files, checked directly against its ground truth.

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "support/testsupport.h"
#include "tools/simsupport.h"

using namespace simsupport;
namespace fs = std::filesystem;

namespace {

struct VmrkEntry {
  std::string type, description, date;
  int64_t position = 0;
};

std::vector<VmrkEntry> ReadVmrk(const std::string& path) {
  std::vector<VmrkEntry> out;
  int expected = 1;
  for (const std::string& line : Lines(testsupport::ReadFile(path))) {
    if (!line.starts_with("Mk")) continue;
    const size_t eq = line.find('=');
    EXPECT_EQ(line.substr(2, eq - 2), std::to_string(expected++)) << "markers are numbered without holes";
    const std::vector<std::string> f = Fields(std::string_view(line).substr(eq + 1), ',');
    EXPECT_GE(f.size(), 5u) << line;
    if (f.size() < 5) continue;
    EXPECT_EQ(f[3], "1") << line;
    EXPECT_EQ(f[4], "0") << line;
    out.push_back({f[0], f[1], f.size() > 5 ? f[5] : "", ToInt(f[2])});
  }
  return out;
}

/// Time of day of a New Segment date, in samples at rateHz (as the EEG reader computes it).
double ClockSample(const std::string& date, double rateHz) {
  const double h = ToDouble(date.substr(8, 2)), m = ToDouble(date.substr(10, 2)), s = ToDouble(date.substr(12, 2));
  const double us = ToDouble(date.substr(14));
  return (((h * 60 + m) * 60 + s) * 1e6 + us) * rateHz / 1e6;
}

double RoundHalfAway(double x) { return x >= 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5); }

struct Case {
  const char* format;
  size_t bytes;
  const char* binaryFormat;
  const char* options;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.format << " " << c.options; }

const Case kCases[] = {
    {"int16", 2, "INT_16", "--segments 3 --overflow 2500"},
    {"float32", 4, "IEEE_FLOAT_32", "--eeg-rate 1000 --channels 5 --overflow 1800 --drift -40 --offset 700"},
    {"float64", 8, "IEEE_FLOAT_64", "--eeg-rate 250 --channels 3 --segments 2 --segment-loss 1234 --pattern adjacent"},
};

class SimBrainVision : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunSim(std::string("--out \"") + dir.Path().string() + "\" --seed 11 --format " + GetParam().format + " " +
                     GetParam().options),
              0);
    truth = LoadTruth(dir / "S01.truth.txt");
    rate = truth.Number(truth.recording, "eeg_rate_hz");
    channels = static_cast<size_t>(truth.Number(truth.recording, "eeg_channels"));
  }
  testsupport::TempDir dir;
  Truth truth;
  double rate = 0;
  size_t channels = 0;
};

TEST_P(SimBrainVision, HeaderHasRecorderSectionsAndCrLfLines) {
  const std::string text = testsupport::ReadFile(dir / "S01.vhdr");
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at byte " << i;
    }
  const std::string interval = std::to_string(static_cast<int>(std::lround(1e6 / rate)));
  for (const std::string& needle :
       {std::string("[Common Infos]\r\nCodepage=UTF-8\r\nDataFile=S01.eeg\r\nMarkerFile=S01.vmrk\r\nDataFormat=BINARY\r\n"),
        std::string("DataOrientation=MULTIPLEXED\r\n"), "NumberOfChannels=" + std::to_string(channels) + "\r\n",
        "SamplingInterval=" + interval + "\r\n", std::string("[Binary Infos]\r\nBinaryFormat=") + GetParam().binaryFormat,
        std::string("[Channel Infos]"), std::string("[Coordinates]"), std::string("[Comment]"),
        "Number of channels: " + std::to_string(channels), "Sampling Interval [\xC2\xB5S]: " + interval,
        std::string("Sampling Rate [Hz]: "), std::string("Impedance [kOhm] at ")})
    EXPECT_NE(text.find(needle), std::string::npos) << needle;
  size_t chLines = 0;
  bool inChannels = false;
  for (const std::string& line : Lines(text)) {
    if (line.starts_with("[")) inChannels = line == "[Channel Infos]";
    if (!inChannels || !line.starts_with("Ch")) continue;
    ++chLines;
    EXPECT_TRUE(line.starts_with("Ch" + std::to_string(chLines) + "=")) << line;
    const std::vector<std::string> f = Fields(line.substr(line.find('=') + 1), ',');
    ASSERT_EQ(f.size(), 4u) << line;
    EXPECT_TRUE(f[1].empty()) << line;
    EXPECT_GT(ToDouble(f[2]), 0.0) << line;
    EXPECT_EQ(f[3], "\xC2\xB5V") << line;
    if (chLines == channels) {
      EXPECT_EQ(f[0], "TrueTime");
    }
  }
  EXPECT_EQ(chLines, channels);
}

TEST_P(SimBrainVision, DataFileHoldsEveryRecordedSampleOfEveryChannel) {
  const double recorded = truth.Number(truth.recording, "eeg_recorded_samples");
  EXPECT_EQ(static_cast<double>(fs::file_size(dir / "S01.eeg")), recorded * channels * GetParam().bytes);
  int64_t sum = 0, lost = 0;
  for (const TruthSegment& s : truth.segments) {
    sum += s.recorded;
    lost += s.lostBefore;
  }
  EXPECT_EQ(static_cast<double>(sum), recorded);
  EXPECT_EQ(static_cast<double>(sum + lost), truth.Number(truth.recording, "eeg_gapfilled_samples"));
}

TEST_P(SimBrainVision, MarkersAreTheTriggersTheEegKeptAndTheSegmentsOfTheTruth) {
  const std::vector<VmrkEntry> markers = ReadVmrk(dir / "S01.vmrk");
  ASSERT_FALSE(markers.empty());
  EXPECT_EQ(markers[0].type, "New Segment");
  EXPECT_EQ(markers[0].position, 1);
  std::vector<const TruthTrigger*> kept;
  for (const TruthTrigger& t : truth.triggers)
    if (!t.lost) kept.push_back(&t);
  size_t stimulus = 0, segment = 0;
  for (size_t i = 0; i < markers.size(); ++i) {
    const VmrkEntry& m = markers[i];
    if (m.type == "Stimulus") {
      ASSERT_LT(stimulus, kept.size());
      char description[16];
      std::snprintf(description, sizeof description, "S%3d", kept[stimulus]->code);
      EXPECT_EQ(m.description, description);
      EXPECT_EQ(m.position, kept[stimulus]->vmrkPosition);
      ++stimulus;
    } else if (m.type == "New Segment") {
      ASSERT_LT(segment, truth.segments.size());
      const TruthSegment& s = truth.segments[segment++];
      EXPECT_EQ(m.position, s.vmrkPosition);
      EXPECT_EQ(m.date, s.date);
      EXPECT_EQ(m.date.size(), 20u);
      const bool overflow = i > 0 && markers[i - 1].type == "Comment";
      EXPECT_EQ(overflow, s.kind == "overflow") << "segment " << s.index;
      if (overflow) {
        EXPECT_EQ(markers[i - 1].description, "Buffer Overflow");
        EXPECT_EQ(markers[i - 1].position, m.position);
      }
    } else {
      EXPECT_EQ(m.type, "Comment");
    }
  }
  EXPECT_EQ(stimulus, kept.size());
  EXPECT_EQ(segment, truth.segments.size());
}

TEST_P(SimBrainVision, SegmentDatesGiveTheLostSamplesAsTheReaderComputesThem) {
  ASSERT_GE(truth.segments.size(), 2u);
  for (size_t i = 1; i < truth.segments.size(); ++i) {
    const TruthSegment& prev = truth.segments[i - 1];
    const TruthSegment& cur = truth.segments[i];
    const double lost = RoundHalfAway(ClockSample(cur.date, rate) - ClockSample(prev.date, rate)) -
                        static_cast<double>(cur.vmrkPosition - prev.vmrkPosition);
    EXPECT_EQ(lost, static_cast<double>(cur.lostBefore)) << "segment " << cur.index;
    EXPECT_GT(cur.lostBefore, 0);
    EXPECT_EQ(cur.vmrkPosition - prev.vmrkPosition, prev.recorded);
    EXPECT_EQ(cur.gapFilledPosition - prev.gapFilledPosition, prev.recorded + cur.lostBefore);
  }
}

TEST_P(SimBrainVision, TriggerPositionsFollowTheClockModelAndTheGaps) {
  const double start = truth.Number(truth.clock, "eeg_start_ms");
  const double perMs = rate * (1.0 + truth.Number(truth.clock, "drift_ppm") * 1e-6) / 1000.0;
  size_t lost = 0;
  for (const TruthTrigger& t : truth.triggers) {
    const double x = (t.trueMs - start) * perMs;
    EXPECT_EQ(t.gapFilledPosition - 1, static_cast<int64_t>(std::ceil(x - 1e-6))) << t.index;
    EXPECT_EQ(t.etTimestamp, static_cast<int64_t>(std::ceil(t.trueMs - 1e-6))) << t.index;
    // Which segment holds it, and how many samples were lost before it.
    const TruthSegment* holder = nullptr;
    for (const TruthSegment& s : truth.segments)
      if (t.gapFilledPosition >= s.gapFilledPosition && t.gapFilledPosition < s.gapFilledPosition + s.recorded) holder = &s;
    EXPECT_EQ(t.lost, holder == nullptr) << t.index;
    if (holder != nullptr) {
      EXPECT_EQ(t.vmrkPosition, holder->vmrkPosition + (t.gapFilledPosition - holder->gapFilledPosition)) << t.index;
    } else {
      EXPECT_EQ(t.vmrkPosition, 0);
    }
    if (t.adjacent && !t.lost && !truth.triggers[t.index - 2].lost) {
      EXPECT_EQ(t.vmrkPosition, truth.triggers[t.index - 2].vmrkPosition + 1) << t.index;
    }
    lost += t.lost ? 1 : 0;
  }
  bool lossy = false;
  for (const TruthSegment& s : truth.segments) lossy = lossy || s.lostBefore * 1000.0 / rate > 1500.0;
  if (lossy) {
    EXPECT_GT(lost, 0u) << "a loss of more than 1.5 s swallows a trigger";
  }
}

TEST_P(SimBrainVision, TrueTimeChannelIsTheKnownFunctionOfEachSamplesTrueTime) {
  const std::string bytes = testsupport::ReadFile(dir / "S01.eeg");
  const double start = truth.Number(truth.clock, "eeg_start_ms");
  const double perMs = rate * (1.0 + truth.Number(truth.clock, "drift_ppm") * 1e-6) / 1000.0;
  const size_t width = GetParam().bytes;
  const double tolerance = width == 2 ? 0.05 + 1e-6 : 1e-3;
  size_t checked = 0;
  for (const TruthSegment& s : truth.segments) {
    for (int64_t i = 0; i < s.recorded; i += 7) {
      const int64_t file = s.vmrkPosition - 1 + i;
      const int64_t gapFilled = s.gapFilledPosition - 1 + i;
      const size_t at = (static_cast<size_t>(file) * channels + channels - 1) * width;
      ASSERT_LE(at + width, bytes.size());
      double raw = 0;
      if (width == 2) {
        int16_t v;
        std::memcpy(&v, bytes.data() + at, 2);
        raw = v;
      } else if (width == 4) {
        float v;
        std::memcpy(&v, bytes.data() + at, 4);
        raw = v;
      } else {
        std::memcpy(&raw, bytes.data() + at, 8);
      }
      const double t = start + static_cast<double>(gapFilled) / perMs;
      double phase = std::fmod(t, 1600.0);
      double diff = std::fabs(raw * 0.1 - phase);
      diff = std::min(diff, 1600.0 - diff);  // the wrap
      ASSERT_LE(diff, tolerance) << "segment " << s.index << " sample " << i;
      ++checked;
    }
  }
  EXPECT_GT(checked, 1000u);
}

INSTANTIATE_TEST_SUITE_P(AllSampleTypes, SimBrainVision, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.format); });

}  // namespace

namespace {

TEST(SimBrainVisionReal, HeaderAndMarkerPreamblesMatchARealRecorderRecording) {
  REQUIRE_REALDATA();
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --name test --eeg-rate 1000 --channels 32"), 0);
  const std::string real = testsupport::RealDataDir() + "/brainvision/recorder-int16-32ch/test.";
  // Counts differ; every other byte up to the first channel line, CR LF included, is Recorder's.
  auto preamble = [](const std::string& text, const std::string& stop) {
    std::string out = text.substr(0, text.find(stop));
    for (char& c : out)
      if (std::isdigit(static_cast<unsigned char>(c))) c = '9';
    return out;
  };
  const std::string ours = testsupport::ReadFile(dir / "test.vhdr");
  EXPECT_EQ(preamble(ours, "Ch1="), preamble(testsupport::ReadFile(real + "vhdr"), "Ch1="));
  EXPECT_GT(preamble(ours, "Ch1=").size(), 500u);
  const std::string marks = testsupport::ReadFile(dir / "test.vmrk");
  EXPECT_EQ(preamble(marks, "Mk2="), preamble(testsupport::ReadFile(real + "vmrk"), "Mk2="));
  EXPECT_GT(preamble(marks, "Mk2=").size(), 400u);
}

}  // namespace
