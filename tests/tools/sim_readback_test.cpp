// The simulator's EEG files read back through the project's own EEG stage (Brainamp::Process), which
// must agree with the ground truth: channels, sample counts, segment bookkeeping, trigger positions on
// the gap-filled time line and the samples themselves.

#include <gtest/gtest.h>

#include <cmath>

#include "support/testsupport.h"
#include "tools/simsupport.h"
#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/brainvision/brainampeeg.h"
#include "varnixlib/synchroparams.h"

using namespace simsupport;

namespace {

template <typename T>
void ReadBackAndCompare(const std::string& format, int32_t binaryFormat, const std::string& options) {
  SCOPED_TRACE(format + " " + options);
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --duration 40 --format " + format + " " + options), 0);
  const Truth truth = LoadTruth(dir / "S01.truth.txt");
  const uint64_t channels = static_cast<uint64_t>(truth.Number(truth.recording, "eeg_channels"));
  const double rate = truth.Number(truth.recording, "eeg_rate_hz");

  SynchroParams params;
  params.eegFileName = dir / "S01.eeg";
  Brainamp eeg;
  EXPECT_EQ(eeg.ReadBinaryFormat(dir / "S01.vhdr"), binaryFormat);
  ASSERT_TRUE(eeg.Process<T>(params));

  const BrainampVhdr& h = eeg.myVhdr;
  EXPECT_EQ(h.nbChannels, channels);
  EXPECT_EQ(h.binaryFormat, binaryFormat);
  EXPECT_DOUBLE_EQ(1e6 / h.samplingInterval, rate);
  ASSERT_EQ(h.channelNames.size(), channels);
  EXPECT_EQ(h.channelNames.back(), "TrueTime");
  EXPECT_DOUBLE_EQ(h.channelGains.back(), 0.1);
  EXPECT_EQ(eeg.myEEG->GetNbValues(), static_cast<uint64_t>(truth.Number(truth.recording, "eeg_recorded_samples")) * channels);
  EXPECT_EQ(h.nbOfSamples, static_cast<uint32_t>(truth.Number(truth.recording, "eeg_gapfilled_samples")));

  // Segments: where the reader put each one and the samples it found lost before it.
  const BrainampVmrk& m = eeg.myVmrk;
  ASSERT_EQ(m.segments.size(), truth.segments.size());
  for (size_t i = 0; i < truth.segments.size(); ++i) {
    const CMarker& s = *m.segments[i];
    const TruthSegment& t = truth.segments[i];
    EXPECT_EQ(s.position, static_cast<uint32_t>(t.vmrkPosition - 1)) << "segment " << t.index;
    EXPECT_EQ(s.dateText, t.date);
    if (truth.segments.size() < 2) break;
    EXPECT_EQ(s.samplesInserted, static_cast<uint32_t>(t.lostBefore)) << "segment " << t.index;
    EXPECT_EQ(s.size, static_cast<uint32_t>(t.recorded)) << "segment " << t.index;
    EXPECT_EQ(s.segmentEnd, static_cast<uint32_t>(t.gapFilledPosition - 1 + t.recorded)) << "segment " << t.index;
    if (i > 0) {
      EXPECT_EQ(s.gapStart, static_cast<uint32_t>(t.gapFilledPosition - 1 - t.lostBefore)) << "segment " << t.index;
      EXPECT_EQ(s.gapEnd, static_cast<uint32_t>(t.gapFilledPosition - 1)) << "segment " << t.index;
    }
  }

  // Stimuli on the gap-filled line; the second of two adjacent stimuli shares the first one's position.
  std::vector<const TruthTrigger*> kept;
  for (const TruthTrigger& t : truth.triggers)
    if (!t.lost) kept.push_back(&t);
  size_t stimulus = 0, overflows = 0, merged = 0;
  for (const CMarker& marker : m.markers) {
    if (marker.type != Stimulus) continue;
    if (marker.code == OVERFLOW_CODE) {
      const TruthSegment* overflow = nullptr;
      for (const TruthSegment& s : truth.segments)
        if (s.kind == "overflow") overflow = &s;
      ASSERT_NE(overflow, nullptr);
      EXPECT_EQ(marker.position, static_cast<uint32_t>(overflow->gapFilledPosition - 1));
      ++overflows;
      continue;
    }
    ASSERT_LT(stimulus, kept.size());
    const TruthTrigger& t = *kept[stimulus];
    EXPECT_EQ(marker.code, t.code) << "trigger " << t.index;
    const bool mergedIntoPrevious = t.adjacent && stimulus > 0 && kept[stimulus - 1]->index == t.index - 1;
    merged += mergedIntoPrevious;
    EXPECT_EQ(marker.position, static_cast<uint32_t>((mergedIntoPrevious ? kept[stimulus - 1] : &t)->gapFilledPosition - 1))
        << "trigger " << t.index;
    ++stimulus;
  }
  EXPECT_EQ(stimulus, kept.size());
  EXPECT_EQ(m.mergedCount, merged);
  EXPECT_EQ(overflows, options.find("--overflow") != std::string::npos ? 1u : 0u);

  // The samples as loaded: the TrueTime channel against its known function.
  const auto* data = dynamic_cast<const BrainampEEG<T>*>(eeg.myEEG.get());
  ASSERT_NE(data, nullptr);
  const double start = truth.Number(truth.clock, "eeg_start_ms");
  const double perMs = truth.Number(truth.clock, "eeg_samples_per_ms");
  for (const TruthSegment& s : truth.segments) {
    for (int64_t i = 0; i < s.recorded; i += 13) {
      const double value = static_cast<double>(data->Values()[(s.vmrkPosition - 1 + i) * channels + channels - 1]) * 0.1;
      double d = std::fabs(value - std::fmod(start + static_cast<double>(s.gapFilledPosition - 1 + i) / perMs, 1600.0));
      ASSERT_LE(std::min(d, 1600.0 - d), 0.051) << "segment " << s.index << " sample " << i;
    }
  }
}

TEST(SimReadBack, EegStageAgreesWithTheGroundTruthForEverySampleType) {
  ReadBackAndCompare<int16_t>("int16", 0, "--segments 3 --overflow 2500");
  ReadBackAndCompare<float>("float32", 1, "--eeg-rate 1000 --pattern adjacent --adjacent-every 3 --segments 2");
  ReadBackAndCompare<double>("float64", 2, "--eeg-rate 250 --channels 3 --overflow 1500 --drift -30");
  ReadBackAndCompare<int16_t>("int16", 0, "--channels 2");
}

}  // namespace
