#include "varnixlib/brainvision/brainampvmrk.h"

#include <gtest/gtest.h>

#include <limits>

#include "support/testsupport.h"
#include "varnixlib/brainvision/brainampvhdr.h"

namespace {

const std::string kPrologue =
    "Brain Vision Data Exchange Marker File, Version 1.0\r\n\r\n[Common Infos]\r\nDataFile=rec.eeg\r\n\r\n"
    "[Marker Infos]\r\n; Each entry: Mk<Marker number>=<Type>,<Description>,<Position in data points>,\r\n";

struct Read {
  explicit Read(const std::string& lines) {
    testing::internal::CaptureStdout();
    vmrk.ProcessContent(kPrologue + lines, "rec.vmrk");
    console = testing::internal::GetCapturedStdout();
  }
  BrainampVmrk vmrk;
  std::string console;
};

BrainampVhdr Header(uint16_t channels, double intervalMicros, int32_t segmentation = BrainampVhdr::NOSEGMENTED) {
  BrainampVhdr header;
  header.nbChannels = channels;
  header.samplingInterval = intervalMicros;
  header.segmentationType = segmentation;
  return header;
}

TEST(BrainampVmrk, NewSegmentLineGivesASegmentMarkerAndItsClock) {
  Read r("Mk1=New Segment,,1,1,0,20190412101530123456\r\n");
  ASSERT_EQ(r.vmrk.markers.size(), 1u);
  const CMarker& m = r.vmrk.markers[0];
  EXPECT_EQ(m.type, NewSegment);
  EXPECT_EQ(m.flag, 1);
  EXPECT_EQ(m.code, SEGMENT_CODE);
  EXPECT_EQ(m.position, 0u);
  EXPECT_EQ(m.size, 0u);
  EXPECT_EQ(m.dateText, "20190412101530123456");
  EXPECT_EQ(m.text, "New Segment,,1,1,0,20190412101530123456");
  ASSERT_EQ(r.vmrk.segments.size(), 1u);
  EXPECT_EQ(r.vmrk.segments[0], &r.vmrk.markers[0]);

  BrainampVhdr header = Header(1, 2000.0);  // 500 Hz
  ASSERT_TRUE(r.vmrk.ProcessDataSegments(header, 10));
  EXPECT_NEAR(m.clockSample, 18465061.728, 1e-6);
  EXPECT_EQ(header.nbOfSamples, 10u);
}

TEST(BrainampVmrk, StimulusCodesDropTheLetterAndOneSpace) {
  Read r("Mk1=Stimulus,S  1,2350,1,0\r\nMk2=Stimulus,S 15,2400,2,0\r\nMk3=Stimulus,R  3,2500,1,0\r\n"
         "Mk4=Stimulus,s10,2600,1,0\r\nMk5=Stimulus,0,2700,1,0\r\nMk6=Stimulus,S70000,2800,1,0\r\n");
  ASSERT_EQ(r.vmrk.markers.size(), 5u) << r.console;
  EXPECT_EQ(r.vmrk.markers[0].code, 1);
  EXPECT_EQ(r.vmrk.markers[0].position, 2349u);
  EXPECT_EQ(r.vmrk.markers[0].size, 1u);
  EXPECT_EQ(r.vmrk.markers[0].type, Stimulus);
  EXPECT_EQ(r.vmrk.markers[0].flag, 0);
  EXPECT_EQ(r.vmrk.markers[1].code, 15);
  EXPECT_EQ(r.vmrk.markers[1].size, 2u);
  EXPECT_EQ(r.vmrk.markers[2].code, 10);  // exporters' lower-case letter
  EXPECT_EQ(r.vmrk.markers[3].code, 0);   // the description "0" is the code 0
  EXPECT_EQ(r.vmrk.markers[4].code, 70000 % 65536);
  EXPECT_NE(r.console.find("Stimulation: 'R  3' ignored. Stimulation code is not numeric.\n \n"), std::string::npos)
      << r.console;
  EXPECT_TRUE(r.vmrk.segments.empty());
}

TEST(BrainampVmrk, BufferOverflowCommentIsAnOverflowMarkerWithoutWarning) {
  Read r("Mk1=Comment,Buffer Overflow,5000,1,0\r\nMk2=Comment,something else,6000,1,0\r\nMk3=Response,R  1,7000,1,0\r\n");
  ASSERT_EQ(r.vmrk.markers.size(), 1u);
  EXPECT_EQ(r.vmrk.markers[0].type, Stimulus);
  EXPECT_EQ(r.vmrk.markers[0].code, OVERFLOW_CODE);
  EXPECT_EQ(r.vmrk.markers[0].position, 4999u);
  EXPECT_TRUE(r.console.empty()) << r.console;
}

TEST(BrainampVmrk, AdjacentStimuliMergeOntoTheFirstPosition) {
  Read merged("Mk1=Stimulus,S  3,1000,1,0\r\nMk2=Stimulus,S  7,1001,1,0\r\n");
  ASSERT_EQ(merged.vmrk.markers.size(), 2u);
  EXPECT_EQ(merged.vmrk.markers[0].position, 999u);
  EXPECT_EQ(merged.vmrk.markers[1].position, 999u);
  EXPECT_EQ(merged.vmrk.markers[0].flag, 1);
  EXPECT_EQ(merged.vmrk.markers[1].flag, 0);
  EXPECT_EQ(merged.vmrk.mergedCount, 1u);

  Read apart("Mk1=Stimulus,S  3,1000,1,0\r\nMk2=Stimulus,S  7,1002,1,0\r\n");
  EXPECT_EQ(apart.vmrk.markers[1].position, 1001u);
  EXPECT_EQ(apart.vmrk.mergedCount, 0u);

  Read segmentBetween("Mk1=Stimulus,S  3,1000,1,0\r\nMk2=New Segment,,1001,1,0,20190412101530123456\r\n"
                      "Mk3=Stimulus,S  7,1001,1,0\r\n");
  ASSERT_EQ(segmentBetween.vmrk.markers.size(), 3u);
  EXPECT_EQ(segmentBetween.vmrk.markers[2].position, 1000u);
  EXPECT_EQ(segmentBetween.vmrk.mergedCount, 0u);

  Read overflowNext("Mk1=Stimulus,S  3,1000,1,0\r\nMk2=Comment,Buffer Overflow,1001,1,0\r\n");
  EXPECT_EQ(overflowNext.vmrk.markers[1].position, 1000u);
  EXPECT_EQ(overflowNext.vmrk.mergedCount, 0u);
}

TEST(BrainampVmrk, ASegmentStartGoesBeforeTheMarkersAtItsPositionButAfterAnEarlierSegmentThere) {
  Read r("Mk1=Stimulus,S  1,10,1,0\r\nMk2=Stimulus,S  2,50,1,0\r\nMk3=Stimulus,S  3,50,1,0\r\n"
         "Mk4=New Segment,,50,1,0,20190412101530123456\r\nMk5=New Segment,,50,1,0,20190412101531123456\r\n");
  ASSERT_EQ(r.vmrk.markers.size(), 5u);
  EXPECT_EQ(r.vmrk.markers[0].code, 1);
  EXPECT_EQ(r.vmrk.markers[1].text, "New Segment,,50,1,0,20190412101530123456");
  EXPECT_EQ(r.vmrk.markers[2].text, "New Segment,,50,1,0,20190412101531123456");
  EXPECT_EQ(r.vmrk.markers[3].code, 2);
  EXPECT_EQ(r.vmrk.markers[4].code, 3);
  ASSERT_EQ(r.vmrk.segments.size(), 2u);
  EXPECT_EQ(r.vmrk.segments[0], &r.vmrk.markers[1]);
  EXPECT_EQ(r.vmrk.segments[1], &r.vmrk.markers[2]);
}

TEST(BrainampVmrk, ReadingStopsAtTheFirstMissingNumber) {
  Read r("Mk1=Stimulus,S  1,10,1,0\r\nMk2=Stimulus,S  2,20,1,0\r\nMk4=Stimulus,S  4,40,1,0\r\n");
  EXPECT_EQ(r.vmrk.markers.size(), 2u);
}

TEST(BrainampVmrk, EmptyFieldsKeepTheirPlaceAndShortLinesAreSkipped) {
  // An empty description is not numeric; its position is not taken for the code.
  Read r("Mk1=Stimulus,,2350,1,0\r\nMk2=Stimulus,S  2,77\r\nMk3=New Segment\r\nMk4=Stimulus,S  4,abc,1,0\r\n"
         "Mk5=New Segment,Described,31,1,0,20190412101530123456,Visible\r\nMk6=Stimulus,S  6,40,1,0\r\n");
  ASSERT_EQ(r.vmrk.markers.size(), 2u) << r.console;
  EXPECT_EQ(r.vmrk.markers[0].position, 30u);
  EXPECT_EQ(r.vmrk.markers[0].dateText, "20190412101530123456");
  EXPECT_EQ(r.vmrk.markers[1].code, 6);
  EXPECT_NE(r.console.find("Stimulation: '' ignored"), std::string::npos) << r.console;
  EXPECT_NE(r.console.find("Mk2: marker without position and size; ignored"), std::string::npos) << r.console;
  EXPECT_NE(r.console.find("Mk3: New Segment without a position; ignored"), std::string::npos) << r.console;
  EXPECT_NE(r.console.find("Mk4: marker without position and size; ignored"), std::string::npos) << r.console;
}

TEST(BrainampVmrk, PositionZeroIsReadAsTheFirstSampleWithOneWarning) {
  Read r("Mk1=New Segment,,0,1,0,20181106153757758000\r\nMk2=Stimulus,S  1,0,1,0\r\n"
         "Mk3=Stimulus,S  2,99999999999,1,0\r\n");
  ASSERT_EQ(r.vmrk.markers.size(), 2u);
  EXPECT_EQ(r.vmrk.markers[0].position, 0u);
  EXPECT_EQ(r.vmrk.markers[1].position, 0u);
  EXPECT_NE(r.console.find("2 marker(s) at position 0"), std::string::npos) << r.console;
  EXPECT_NE(r.console.find("Mk3: marker without position"), std::string::npos) << r.console;
}

TEST(BrainampVmrk, LostSamplesComeFromTheSegmentClocksAndMoveLaterStimuli) {
  // 1000 Hz; the second segment starts 20 ms after the first, 15 samples later in the file.
  Read r("Mk1=New Segment,,1,1,0,20190412100000000000\r\nMk2=Stimulus,S  1,5,1,0\r\n"
         "Mk3=New Segment,,16,1,0,20190412100000020000\r\nMk4=Stimulus,S  2,16,1,0\r\n"
         "Mk5=Stimulus,S  3,30,1,0\r\n");
  BrainampVhdr header = Header(2, 1000.0);
  ASSERT_TRUE(r.vmrk.ProcessDataSegments(header, 80));  // 40 samples of 2 channels
  const CMarker& first = *r.vmrk.segments[0];
  const CMarker& second = *r.vmrk.segments[1];
  EXPECT_EQ(first.samplesInserted, 0u);
  EXPECT_EQ(second.samplesInserted, 5u);
  EXPECT_EQ(second.position, 15u);  // segment markers keep their recorded position
  EXPECT_EQ(r.vmrk.markers[1].position, 4u);
  EXPECT_EQ(r.vmrk.markers[3].position, 15u + 5u);
  EXPECT_EQ(r.vmrk.markers[4].position, 29u + 5u);
  EXPECT_EQ(first.segmentEnd, 15u);
  EXPECT_EQ(first.size, 15u);
  EXPECT_EQ(second.gapStart, 15u);
  EXPECT_EQ(second.gapEnd, 20u);
  EXPECT_EQ(second.segmentEnd, 45u);
  EXPECT_EQ(second.size, 25u);
  EXPECT_EQ(header.nbOfSamples, 45u);
}

TEST(BrainampVmrk, ThreeSegmentsAccumulateTheirGaps) {
  Read r("Mk1=New Segment,,1,1,0,20190412100000000000\r\nMk2=New Segment,,101,1,0,20190412100000105000\r\n"
         "Mk3=New Segment,,251,1,0,20190412100000258000\r\nMk4=Stimulus,S  9,300,1,0\r\n");
  BrainampVhdr header = Header(1, 1000.0);
  ASSERT_TRUE(r.vmrk.ProcessDataSegments(header, 400));
  EXPECT_EQ(r.vmrk.segments[1]->samplesInserted, 5u);
  EXPECT_EQ(r.vmrk.segments[2]->samplesInserted, 3u);
  EXPECT_EQ(r.vmrk.segments[2]->gapStart, 255u);
  EXPECT_EQ(r.vmrk.segments[2]->gapEnd, 258u);
  EXPECT_EQ(r.vmrk.markers[3].position, 299u + 8u);
  EXPECT_EQ(header.nbOfSamples, 408u);
}

TEST(BrainampVmrk, EachStimulusMovesByAllTheLossesBeforeItInMarkerOrder) {
  // 1000 Hz; losses of 5, 0 and 7 samples before the second, third and fourth segment. A stimulus
  // at a segment's own position follows the segment start, so it moves with it.
  Read r("Mk1=New Segment,,1,1,0,20190412100000000000\r\nMk2=Stimulus,S  1,3,1,0\r\n"
         "Mk3=Stimulus,S  2,11,1,0\r\nMk4=New Segment,,11,1,0,20190412100000015000\r\n"
         "Mk5=Stimulus,S  3,15,1,0\r\nMk6=New Segment,,21,1,0,20190412100000025000\r\n"
         "Mk7=Stimulus,S  4,25,1,0\r\nMk8=New Segment,,31,1,0,20190412100000042000\r\n"
         "Mk9=Stimulus,S  5,40,1,0\r\n");
  BrainampVhdr header = Header(1, 1000.0);
  ASSERT_TRUE(r.vmrk.ProcessDataSegments(header, 50)) << r.console;
  ASSERT_EQ(r.vmrk.segments.size(), 4u);
  EXPECT_EQ(r.vmrk.segments[1]->samplesInserted, 5u);
  EXPECT_EQ(r.vmrk.segments[2]->samplesInserted, 0u);
  EXPECT_EQ(r.vmrk.segments[3]->samplesInserted, 7u);
  std::vector<std::pair<uint16_t, uint32_t>> stimuli;
  for (const CMarker& m : r.vmrk.markers) {
    if (m.type == Stimulus) stimuli.emplace_back(m.code, m.position);
  }
  const std::vector<std::pair<uint16_t, uint32_t>> expected{{1, 2}, {2, 10 + 5}, {3, 14 + 5}, {4, 24 + 5},
                                                            {5, 39 + 12}};
  EXPECT_EQ(stimuli, expected);
  EXPECT_EQ(header.nbOfSamples, 50u + 12u);
}

TEST(BrainampVmrk, MarkerBasedSegmentationKeepsPositionsAsRead) {
  Read r("Mk1=New Segment,,1,1,0,20190412100000000000\r\nMk2=New Segment,,16,1,0,20190412100000020000\r\n"
         "Mk3=Stimulus,S  2,16,1,0\r\n");
  BrainampVhdr header = Header(2, 1000.0, BrainampVhdr::MARKERBASED);
  ASSERT_TRUE(r.vmrk.ProcessDataSegments(header, 81));
  EXPECT_EQ(r.vmrk.markers[2].position, 15u);
  EXPECT_EQ(r.vmrk.segments[1]->samplesInserted, 0u);
  EXPECT_EQ(header.nbOfSamples, 40u);
}

TEST(BrainampVmrk, SegmentsAcrossMidnightCountTheDayChange) {
  Read r("Mk1=New Segment,,1,1,0,20190412235959990000\r\nMk2=New Segment,,6,1,0,20190413000000010000\r\n");
  BrainampVhdr header = Header(1, 1000.0);
  ASSERT_TRUE(r.vmrk.ProcessDataSegments(header, 100)) << r.console;
  EXPECT_EQ(r.vmrk.segments[1]->samplesInserted, 15u);  // 20 ms on the clock, 5 samples recorded
}

TEST(BrainampVmrk, ANegativeLostCountIsTakenAsNoLossWithAWarning) {
  Read r("Mk1=New Segment,,1,1,0,20190412100000000000\r\nMk2=New Segment,,31,1,0,20190412100000020000\r\n"
         "Mk3=Stimulus,S  1,40,1,0\r\n");
  BrainampVhdr header = Header(1, 1000.0);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(r.vmrk.ProcessDataSegments(header, 100));
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(r.vmrk.segments[1]->samplesInserted, 0u);
  EXPECT_EQ(r.vmrk.markers[2].position, 39u);
  EXPECT_EQ(header.nbOfSamples, 100u);
  EXPECT_NE(console.find("WARNING in : "), std::string::npos);
  EXPECT_NE(console.find("10 sample(s) earlier"), std::string::npos) << console;
  EXPECT_NE(console.find("rec.vmrk"), std::string::npos) << console;
}

TEST(BrainampVmrk, SegmentsThatCannotBePlacedAreRefusedNamingTheMarkerFile) {
  const char* cases[] = {
      // starts past the data
      "Mk1=New Segment,,1,1,0,20190412100000000000\r\nMk2=New Segment,,500,1,0,20190412100001000000\r\n",
      // out of order
      "Mk1=New Segment,,50,1,0,20190412100000000000\r\nMk2=New Segment,,10,1,0,20190412100001000000\r\n",
      // no usable date
      "Mk1=New Segment,,1,1,0,2019041210\r\nMk2=New Segment,,10,1,0,20190412100001000000\r\n",
      "Mk1=New Segment,,1,1,0\r\nMk2=New Segment,,10,1,0,20190412100001000000\r\n",
      // years of lost samples
      "Mk1=New Segment,,1,1,0,19990412100000000000\r\nMk2=New Segment,,10,1,0,20190412100001000000\r\n",
  };
  for (const char* lines : cases) {
    Read r(lines);
    BrainampVhdr header = Header(1, 1000.0);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(r.vmrk.ProcessDataSegments(header, 100)) << lines;
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("ERROR in : "), std::string::npos) << lines;
    EXPECT_NE(console.find("rec.vmrk"), std::string::npos) << console;
    EXPECT_EQ(r.vmrk.segments[1]->samplesInserted, 0u);
  }
}

TEST(BrainampVmrk, TheRoundedClockSaturatesInsteadOfLeaving32Bits) {
  CMarker m;
  m.dateText = "20190412101530500";
  EXPECT_EQ(m.ComputeClock(1000.0), 36930001);  // 36930000.5 rounds half away
  // 23:59:59 at 1 MHz is beyond 32 bits: the rounded result saturates, clockSample stays exact.
  m.dateText = "20190412235959000000";
  EXPECT_EQ(m.ComputeClock(1e6), std::numeric_limits<int32_t>::max());
  EXPECT_DOUBLE_EQ(m.clockSample, 86399e6);
}

TEST(BrainampVmrk, LostCountsBeyondWhatARecordingHoldsAreRefusedNotWrapped) {
  // 1 GHz: an hour between two segments is 3.6e12 samples, far past 32 bits though within a day.
  Read r("Mk1=New Segment,,1,1,0,20190412100000000000\r\nMk2=New Segment,,2,1,0,20190412110000000000\r\n"
         "Mk3=Stimulus,S  1,2,1,0\r\n");
  BrainampVhdr header = Header(1, 0.001);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(r.vmrk.ProcessDataSegments(header, 10));
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("4294967295"), std::string::npos) << console;
  EXPECT_NE(console.find("rec.vmrk"), std::string::npos) << console;
  EXPECT_EQ(r.vmrk.segments[1]->samplesInserted, 0u);
  EXPECT_EQ(r.vmrk.markers[2].position, 1u);

  // Microseconds that read as no finite number give no count at all rather than a converted NaN.
  Read n("Mk1=New Segment,,1,1,0,20190412100000nan\r\nMk2=New Segment,,6,1,0,20190412100001inf\r\n");
  BrainampVhdr h = Header(1, 1000.0);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(n.vmrk.ProcessDataSegments(h, 10));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("ERROR in : "), std::string::npos);
  EXPECT_EQ(n.vmrk.segments[1]->samplesInserted, 0u);
}

TEST(BrainampVmrk, MissingEmptyOrGarbageMarkerFilesGiveNoMarkers) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "empty.vmrk", "");
  testsupport::WriteFile(dir / "garbage.vmrk", std::string("Mk1=\xff\x00,,,\x01Mk2=", 14) + std::string(100, '\0'));
  testsupport::WriteFile(dir / "cut.vmrk", kPrologue + "Mk1=Stimulus,S  1,10,1,0\r\nMk2=Stim");
  for (const char* name : {"empty.vmrk", "missing.vmrk", "garbage.vmrk", "cut.vmrk"}) {
    BrainampVmrk vmrk;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(vmrk.Process(dir / name));
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(vmrk.markers.size(), std::string(name) == "cut.vmrk" ? 1u : 0u) << name;
    EXPECT_TRUE(vmrk.segments.empty());
    if (std::string(name) == "missing.vmrk") {
      EXPECT_NE(console.find("missing.vmrk"), std::string::npos);
    } else if (std::string(name) != "cut.vmrk") {
      // A file that holds no marker at all is pointed out, naming it.
      EXPECT_NE(console.find("WARNING in : "), std::string::npos) << console;
      EXPECT_NE(console.find("no New Segment, Stimulus or Buffer Overflow marker in the file " + (dir / name)),
                std::string::npos)
          << console;
    }
  }
}

}  // namespace

TEST(BrainampVmrk, OtherMarkersAreKeptAsWrittenAndMoveLikeTheStimuliBesideThem) {
  // A response, a comment and a non-numeric stimulus beside every stimulus: none of them is a
  // trigger, each lands where the stimulus recorded at its sample lands, also after a shift.
  Read r("Mk1=New Segment,,1,1,0,20190412100000000000\r\nMk2=Stimulus,S  1,3,1,0\r\n"
         "Mk3=Response,R  1,3,1,0\r\nMk4=Stimulus,S  2,11,1,0\r\nMk5=Comment,moved,11,2,0\r\n"
         "Mk6=New Segment,,11,1,0,20190412100000015000\r\nMk7=Stimulus,S  3,15,1,0\r\n"
         "Mk8=Stimulus,boundary,15,1,0\r\nMk9=New Segment,,21,1,0,20190412100000032000\r\n"
         "Mk10=Stimulus,S  4,25,1,0\r\nMk11=Response,R 12,25,1,3\r\n");
  BrainampVhdr header = Header(1, 1000.0);
  ASSERT_TRUE(r.vmrk.ProcessDataSegments(header, 40)) << r.console;
  EXPECT_NE(r.console.find("'boundary' ignored"), std::string::npos);
  r.vmrk.ShiftSegment(2, -1);
  ASSERT_EQ(r.vmrk.otherMarkers.size(), 4u);
  EXPECT_EQ(r.vmrk.otherMarkers[0].text, "Response,R  1,3,1,0");
  EXPECT_EQ(r.vmrk.otherMarkers[1].text, "Comment,moved,11,2,0");
  EXPECT_EQ(r.vmrk.otherMarkers[1].size, 2u);
  EXPECT_EQ(r.vmrk.otherMarkers[2].text, "Stimulus,boundary,15,1,0");
  EXPECT_EQ(r.vmrk.otherMarkers[3].text, "Response,R 12,25,1,3");
  std::vector<int64_t> stimuli;
  for (const CMarker& m : r.vmrk.markers) {
    if (m.type == Stimulus) stimuli.push_back(m.position);
  }
  ASSERT_EQ(stimuli.size(), 4u);
  EXPECT_EQ(r.vmrk.GapFilledPosition(r.vmrk.otherMarkers[0].position), stimuli[0]);
  EXPECT_EQ(r.vmrk.GapFilledPosition(r.vmrk.otherMarkers[1].position), stimuli[1]);
  EXPECT_EQ(r.vmrk.GapFilledPosition(r.vmrk.otherMarkers[2].position), stimuli[2]);
  EXPECT_EQ(r.vmrk.GapFilledPosition(r.vmrk.otherMarkers[3].position), stimuli[3]);
  EXPECT_EQ(stimuli[3], 24 + 5 + 7 - 1);
}

TEST(BrainampVmrk, DatesMoveOnAcrossSecondsDaysMonthsAndYears) {
  struct Case {
    const char* date;
    double microseconds;
    const char* moved;
  };
  const Case cases[] = {
      {"20260316101530021221", 3010269.0, "20260316101533031490"},
      {"20260316101530021221", 0.4, "20260316101530021221"},
      {"20260316235959999999", 1.0, "20260317000000000000"},        // midnight
      {"20240228235959500000", 1000000.0, "20240229000000500000"},  // a leap day
      {"20230228235959500000", 1000000.0, "20230301000000500000"},  // none in 2023
      {"20261231235900000000", 120e6, "20270101000100000000"},      // new year
      {"20260316101530000000", -31e6, "20260316101459000000"},      // earlier
      {"20260301000000000000", -1.0, "20260228235959999999"},
      {"20260316101530021221", 86400e6 * 40, "20260425101530021221"},
      {"00000000000000000000", 5.0, ""},  // converters that write no date
      {"2026031610153002122", 5.0, ""},
      {"2026031610153002122x", 5.0, ""},
      {"20261316101530021221", 5.0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BrainampVmrk::DateAfter(c.date, c.microseconds), c.moved) << c.date << " + " << c.microseconds;
  }
}
