// The EEG frames lost before segments and the window between the first and the last matched
// trigger.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/brainvision/brainampeeg.h"
#include "varnixlib/cmarker.h"
#include "varnixlib/merge/framesampler.h"
#include "varnixlib/sync/triggermatching.h"

namespace {

CMarker Segment(uint32_t position, uint32_t inserted, int32_t correction = 0) {
  CMarker m;
  m.type = NewSegment;
  m.code = SEGMENT_CODE;
  m.position = position;
  m.samplesInserted = inserted;
  m.correction = correction;
  return m;
}

CMarker Marker(uint16_t code, uint32_t position, uint32_t size = 1) {
  CMarker m;
  m.code = code;
  m.position = position;
  m.size = size;
  return m;
}

}  // namespace

TEST(InsertSegmentGaps, FillsTheLostFramesBeforeEachLaterSegment) {
  std::vector<CMarker> segments = {Segment(0, 0), Segment(100, 5, 1), Segment(250, 3)};
  std::vector<CMarker*> list = {&segments[0], &segments[1], &segments[2]};
  BrainampEEG<int16_t>::SampleVector samples;
  for (int f = 0; f < 300; ++f) {
    samples.push_back(static_cast<int16_t>(f));
    samples.push_back(static_cast<int16_t>(-f));
  }
  ASSERT_TRUE(Brainamp::InsertSegmentGaps<int16_t>(list, samples, 2, -32768));
  testing::internal::CaptureStdout();
  Brainamp::PrintSegmentTable(list);
  const std::string console = testing::internal::GetCapturedStdout();
  ASSERT_EQ(samples.size(), (300u + 8u) * 2u);
  auto frame = [&](int f) { return std::pair<int, int>(samples[2 * f], samples[2 * f + 1]); };
  EXPECT_EQ(frame(99), std::make_pair(99, -99));
  for (int f = 100; f < 105; ++f) EXPECT_EQ(frame(f), std::make_pair(-32768, -32768)) << f;
  EXPECT_EQ(frame(105), std::make_pair(100, -100));
  EXPECT_EQ(frame(254), std::make_pair(249, -249));
  for (int f = 255; f < 258; ++f) EXPECT_EQ(frame(f), std::make_pair(-32768, -32768)) << f;
  EXPECT_EQ(frame(258), std::make_pair(250, -250));
  EXPECT_EQ(frame(307), std::make_pair(299, -299));
  EXPECT_EQ(console,
            "Segment  1 Offset =       0 SamplesInserted =       0 Correction =    0\n"
            "Segment  2 Offset =     100 SamplesInserted =       5 Correction =    1\n"
            "Segment  3 Offset =     250 SamplesInserted =       3 Correction =    0\n\n");
}

TEST(InsertSegmentGaps, NegativeShiftRemovesFramesAndOneSegmentChangesNothing) {
  // A shift of -1 on a segment that lost nothing: samplesInserted wraps to all ones.
  std::vector<CMarker> segments = {Segment(0, 0), Segment(4, 0xFFFFFFFFu, -1)};
  std::vector<CMarker*> list = {&segments[0], &segments[1]};
  BrainampEEG<float>::SampleVector samples = {0, 1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(Brainamp::InsertSegmentGaps<float>(list, samples, 1, -1.0f));
  EXPECT_EQ(samples, (BrainampEEG<float>::SampleVector{0, 1, 2, 4, 5, 6}));

  std::vector<CMarker*> one = {&segments[0]};
  ASSERT_TRUE(Brainamp::InsertSegmentGaps<float>(one, samples, 1, -1.0f));
  EXPECT_EQ(samples.size(), 6u);
}

TEST(SelectSyncWindow, SpansTheMatchedTriggersAndInterleavesTheEyeEvents) {
  // Eye-tracker triggers at 100, 200, 300, 400; EEG triggers at twice those plus 7.
  std::vector<CMarker> triggers = {Marker(1, 100), Marker(2, 200), Marker(3, 300), Marker(4, 400)};
  triggers[1].extra = 9;
  std::vector<CMarker> eeg = {Segment(0, 0), Marker(1, 207), Marker(2, 407), Marker(3, 607),
                              Marker(4, 807)};
  MatchingResult matching;
  matching.segments.resize(1);
  matching.segments[0].holdsPairs = true;
  matching.segments[0].firstPair = 1;  // the window runs from the second pair ...
  matching.segments[0].lastPair = 2;   // ... to the third
  matching.endSegment = 1;
  for (uint64_t p = 0; p < 4; ++p) matching.pairs.push_back({p, p + 1});
  std::vector<CMarker> events = {Marker(1003, 150), Marker(1001, 200), Marker(500, 210),
                                 Marker(1002, 250, 40), Marker(1004, 300), Marker(1005, 350)};
  std::vector<CMarker> gaze;
  uint64_t gazeStart = 0, gazeCount = 0, eegStart = 0, eegCount = 0;
  ASSERT_TRUE(Brainamp::SelectSyncWindow(matching, triggers, events, eeg, gaze, gazeStart,
                                         gazeCount, eegStart, eegCount));
  EXPECT_EQ(gazeStart, 200u);
  EXPECT_EQ(gazeCount, 101u);
  EXPECT_EQ(eegStart, 407u);
  EXPECT_EQ(eegCount, 201u);
  // Events before the first trigger are skipped, codes below 1000 passed over; an event at a
  // trigger's position follows that trigger; nothing follows the last trigger.
  std::vector<std::pair<int, int>> got;
  for (const CMarker& m : gaze) got.emplace_back(m.code, m.position);
  EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{2, 200}, {1001, 200}, {1002, 250}, {3, 300}}));
  EXPECT_EQ(gaze[0].type, Stimulus);
  EXPECT_EQ(gaze[0].extra, 9u);
  EXPECT_EQ(gaze[2].size, 40u);
  // Without a segment that holds two pairs there is no window.
  matching.endSegment = 0;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(Brainamp::SelectSyncWindow(matching, triggers, events, eeg, gaze, gazeStart,
                                          gazeCount, eegStart, eegCount));
  testing::internal::GetCapturedStdout();
}

TEST(NoDriftName, ChangesOnlyTheBaseNamePrefix) {
  EXPECT_EQ(Brainamp::NoDriftName("out/synchro_rec"), "out/synchrono_rec");
  EXPECT_EQ(Brainamp::NoDriftName("synchro_S01.asc"), "synchrono_S01.asc");
  // A directory that itself begins with synchro_ keeps its name.
  EXPECT_EQ(Brainamp::NoDriftName("/data/synchro_runs/synchro_S01.asc"),
            "/data/synchro_runs/synchrono_S01.asc");
  EXPECT_EQ(Brainamp::NoDriftName("d\\synchro_x\\synchro_S01.asc"), "d\\synchro_x\\synchrono_S01.asc");
}

// The merge samples the EEG through pieces that skip the lost stretches instead of inserting them.
// Whatever the gaps (drops included), steps and fractions, it must produce exactly what sampling
// the line with the frames inserted produces, and never mark as done a frame it still reads.
TEST(InsertSegmentGaps, SamplingAroundTheGapsGivesWhatSamplingTheFilledLineGives) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 300; ++round) {
    const uint32_t channels = 1 + random() % 5;
    const uint32_t frames = 20 + random() % 400;
    std::vector<CMarker> segments = {Segment(0, 0)};
    uint32_t position = 0;
    while (segments.size() < 5 && position + 10 < frames) {
      const uint32_t next = position + 1 + random() % (frames - position - 1);
      // Mostly lost frames, sometimes dropped ones (the drift model's -1 and -2), sometimes none.
      const int kind = static_cast<int>(random() % 4);
      const int32_t count = kind == 0 ? -static_cast<int32_t>(1 + random() % std::min<uint32_t>(2, next - position))
                            : kind == 1 ? 0
                                        : static_cast<int32_t>(1 + random() % 30);
      segments.push_back(Segment(next, static_cast<uint32_t>(count)));
      position = next;
    }
    std::vector<CMarker*> list;
    for (CMarker& m : segments) list.push_back(&m);
    BrainampEEG<float>::SampleVector recorded(static_cast<size_t>(frames) * channels);
    for (size_t v = 0; v < recorded.size(); ++v) recorded[v] = static_cast<float>(v % 977) * 0.5f - 100.0f;
    if (random() % 3 == 0) recorded[random() % recorded.size()] = std::nanf("");
    BrainampEEG<float>::SampleVector filled = recorded;
    ASSERT_TRUE(Brainamp::CheckSegmentGaps(list, frames));
    ASSERT_TRUE(Brainamp::InsertSegmentGaps<float>(list, filled, static_cast<uint16_t>(channels), -1.0f));

    std::vector<std::pair<uint64_t, int64_t>> gaps;
    for (size_t g = 1; g < segments.size(); ++g) {
      gaps.push_back({segments[g].position, static_cast<int32_t>(segments[g].samplesInserted)});
    }
    const std::vector<FramePiece> pieces = PiecesWithGaps(gaps, frames);
    const uint64_t lineFrames = filled.size() / channels;
    ASSERT_FALSE(pieces.empty());
    EXPECT_EQ(pieces.back().begin + pieces.back().frames, lineFrames) << "round " << round;

    const double step = std::uniform_real_distribution<double>(0.3, 2.5)(random);
    const double fraction = std::uniform_real_distribution<double>(0.0, 1.0)(random);
    const uint64_t start = random() % 5;
    std::vector<float> viaPieces(channels), viaLine(channels);
    float* pieceCursor = viaPieces.data();
    float* lineCursor = viaLine.data();
    FrameSampler<float, float> around(recorded.data(), lineFrames, channels, start, step, -1.0f, -7.0f, false,
                                      &pieceCursor);
    around.SetPieces(pieces);
    FrameSampler<float, float> onLine(filled.data(), lineFrames, channels, start, step, -1.0f, -7.0f, false,
                                      &lineCursor);
    around.SetStartFraction(fraction);
    onLine.SetStartFraction(fraction);
    for (uint64_t i = 0;; ++i) {
      pieceCursor = viaPieces.data();
      lineCursor = viaLine.data();
      const bool sampled = onLine.Sample(i);
      ASSERT_EQ(around.Sample(i), sampled) << "round " << round << " frame " << i;
      if (!sampled) break;
      for (uint32_t c = 0; c < channels; ++c) {
        ASSERT_EQ(std::bit_cast<uint32_t>(viaPieces[c]), std::bit_cast<uint32_t>(viaLine[c]))
            << "round " << round << " frame " << i << " channel " << c;
      }
      // Every recorded frame this frame reads lies at or after what it says is done with.
      uint64_t first = 0, last = 0;
      around.Neighbours(i, first, last);
      const uint64_t done = around.SourceFrameAt(first);
      for (const FramePiece& p : pieces) {
        if (!p.lost && first >= p.begin && first < p.begin + p.frames) {
          EXPECT_LE(done, p.sourceFrame + (first - p.begin)) << "round " << round;
        }
      }
    }
  }
}
