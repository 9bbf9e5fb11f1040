// The EEG frames lost before segments and the window between the first and the last matched
// trigger.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/brainvision/brainampeeg.h"
#include "varnixlib/cmarker.h"
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
