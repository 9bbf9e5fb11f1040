#include "varnixlib/sync/triggermatching.h"
#include "varnixlib/sync/matchingreport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::vector<CMarker> Markers(std::initializer_list<uint16_t> codes, uint32_t spacing = 100) {
  std::vector<CMarker> markers;
  uint32_t position = 1000;
  for (const uint16_t code : codes) {
    CMarker m;
    m.code = code;
    m.position = position;
    position += spacing;
    markers.push_back(m);
  }
  return markers;
}

std::vector<uint16_t> CodesOf(const std::vector<CMarker>& markers) {
  std::vector<uint16_t> codes;
  for (const CMarker& m : markers) codes.push_back(m.code);
  return codes;
}

struct Outcome {
  bool ok = false;
  std::string out;
};

// One matching over two lists the test owns, run as the synchronisation runs it.
struct Matching {
  std::vector<CMarker>* first = nullptr;
  std::vector<CMarker>* second = nullptr;
  double ratio = 1.0;
  MatchingResult result;
};

Outcome RunMatch(Matching& matching, SynchroParams& params, const std::string& title,
                 ArticleRecord::Block block = ArticleRecord::kTrackerEeg) {
  testing::internal::CaptureStdout();
  Outcome o;
  o.ok = MatchAndReport(params, title, *matching.first, *matching.second, matching.ratio, nullptr,
                        matching.result, true, block);
  o.out = testing::internal::GetCapturedStdout();
  return o;
}

void Attach(Matching& matching, std::vector<CMarker>& first, std::vector<CMarker>& second,
            double ratio) {
  matching.first = &first;
  matching.second = &second;
  matching.ratio = ratio;
}

// Runs the overflow repair of the first list against the second and applies it to the first list;
// returns what it printed.
std::string Repair(Matching& matching, std::vector<CMarker>& first, std::vector<CMarker>& second) {
  Attach(matching, first, second, 1.0);
  testing::internal::CaptureStdout();
  matching.result.overflow = TriggerMatching(MatchingInput{&first, &second, 1.0, nullptr}).CorrectBufferOverflow();
  PrintOverflowRepair(matching.result.overflow);
  RemoveOverflowTriggers(first, matching.result.overflow);
  return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(BufferOverflow, TriggersBetweenTheTwoAnchorsAreRemovedAndTheGapDated) {
  std::vector<CMarker> et = Markers({10, 11, 12, 13, 14, 15, 16, 17});
  std::vector<CMarker> eeg = Markers({10, 11, 12, 257, 16, 17});
  EXPECT_EQ(TriggerMatching::FindOverflowBoundary(CodesOf(et), CodesOf(eeg), 3,
                                                  TriggerMatching::OverflowSide::Before, 17),
            2);
  EXPECT_EQ(TriggerMatching::FindOverflowBoundary(CodesOf(et), CodesOf(eeg), 3,
                                                  TriggerMatching::OverflowSide::After, 17),
            6);
  Matching matching;
  EXPECT_EQ(Repair(matching, et, eeg),
            "EEG bufferoverflow start offset eyetracker: 1300\n"
            "EEG bufferoverflow end   offset eyetracker: 1600\n"
            "Eye stream corrected. Triggers removed: 3\n");
  EXPECT_EQ(CodesOf(et), (std::vector<uint16_t>{10, 11, 12, 16, 17}));
  EXPECT_EQ(matching.result.overflow.overflowStart, 1300);
  EXPECT_EQ(matching.result.overflow.overflowEnd, 1600);
}

TEST(BufferOverflow, OnlyTheFirstOverflowIsRepairedAndNoneMeansSilence) {
  {
    std::vector<CMarker> et = Markers({1, 2, 3, 4});
    std::vector<CMarker> eeg = Markers({1, 2, 3, 4});
    Matching matching;
    EXPECT_EQ(Repair(matching, et, eeg), "");
    EXPECT_EQ(et.size(), 4u);
    EXPECT_EQ(matching.result.overflow.overflowStart, -1);
  }
  // Segment markers (256) after the overflow are skipped by the pattern ceiling; the pattern stops
  // at the second overflow, past which the codes no longer follow on in the eye-tracker list.
  std::vector<CMarker> et = Markers({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  std::vector<CMarker> eeg = Markers({1, 2, 257, 256, 5, 6, 7, 8, 257, 11, 12});
  Matching matching;
  EXPECT_NE(Repair(matching, et, eeg).find("Triggers removed: 2\n"),
            std::string::npos);
  EXPECT_EQ(CodesOf(et), (std::vector<uint16_t>{1, 2, 5, 6, 7, 8, 9, 10, 11, 12}));
}

// Two overflows with no trigger between them lose one stretch: the after-pattern looks past the
// second marker instead of stopping there empty.
TEST(BufferOverflow, AdjacentOverflowsAreRepairedAsOneGap) {
  std::vector<CMarker> et = Markers({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  std::vector<CMarker> eeg = Markers({1, 2, 257, 257, 7, 8, 9, 10, 11, 12});
  EXPECT_EQ(TriggerMatching::FindOverflowBoundary(CodesOf(et), CodesOf(eeg), 2,
                                                  TriggerMatching::OverflowSide::After, 12),
            6);
  Matching matching;
  EXPECT_EQ(Repair(matching, et, eeg),
            "EEG bufferoverflow start offset eyetracker: 1200\n"
            "EEG bufferoverflow end   offset eyetracker: 1600\n"
            "Eye stream corrected. Triggers removed: 4\n");
  EXPECT_EQ(CodesOf(et), (std::vector<uint16_t>{1, 2, 7, 8, 9, 10, 11, 12}));
}

TEST(BufferOverflow, UnmatchedOrUndatableNeighboursLeaveTheListAlone) {
  // The refusal, and the reason under it.
  const std::string refused = "ERROR: Could not apply correction to buffer overflow!\n"
                              "       Why: the trigger codes around the overflow marker were not found in the other list\n";
  {
    std::vector<CMarker> et = Markers({1, 2, 3, 4});
    std::vector<CMarker> eeg = Markers({1, 3, 257, 4});
    Matching matching;
    EXPECT_EQ(Repair(matching, et, eeg), refused);
    EXPECT_EQ(et.size(), 4u);
    EXPECT_EQ(matching.result.overflow.overflowStart, -1);
    EXPECT_EQ(matching.result.overflow.overflowEnd, -1);
  }
  {
    // Overflow at the very end of both lists: the last trigger anchors the gap, so no trigger
    // is left to date its start.
    std::vector<CMarker> et = Markers({1, 2, 3});
    std::vector<CMarker> eeg = Markers({1, 2, 3, 257});
    Matching matching;
    EXPECT_EQ(Repair(matching, et, eeg), refused);
    EXPECT_EQ(et.size(), 3u);
  }
  {
    // Anchors with nothing between them: nothing removed, the gap is dated all the same.
    std::vector<CMarker> et = Markers({1, 2, 3, 4, 5, 6});
    std::vector<CMarker> eeg = Markers({1, 2, 3, 257, 4, 5, 6});
    Matching matching;
    EXPECT_EQ(Repair(matching, et, eeg),
              "EEG bufferoverflow start offset eyetracker: 1300\n"
              "EEG bufferoverflow end   offset eyetracker: 1300\n"
              "Eye stream corrected. Triggers removed: 0\n");
    EXPECT_EQ(et.size(), 6u);
  }
}

TEST(TriggerMatchingReport, PrintsPairsEndsAndSegmentCountAndFillsTheBlockOfItsMatching) {
  SynchroParams params;
  std::vector<CMarker> ttl = Markers({3, 4, 5, 6}, 1000);
  std::vector<CMarker> eeg = Markers({3, 9, 4, 5, 6});
  eeg[2].position = 3000 - 14;  // 7 eye samples early: clamps into bin +5
  eeg[3].position = 5000 + 24;  // 12 late: bin -5
  eeg[4].position = 7000 + 1;   // half a sample late, rounded away from zero: bin -1
  Matching matching;
  Attach(matching, ttl, eeg, 2.0);
  const Outcome o = RunMatch(matching, params, "Match TTLreference with EEGtriggers", ArticleRecord::kReferenceEeg);
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.out,
            "Running Process LCS\n\nMatch TTLreference with EEGtriggers\n"
            "LCS   Triggers =     4\n"
            "First Pair     =     3,  3\n"
            "Last  Pair     =     6,  6\n"
            "Nb    Segments =     0\n\n");
  // The block of the reference/EEG matching, the second of the line; the others untouched.
  std::vector<int32_t> expected(33, 0);
  const std::vector<int32_t> block = {1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1};
  std::copy(block.begin(), block.end(), expected.begin() + 11);
  EXPECT_EQ(params.article.histograms, expected);

  // A single trigger: both ends are the same pair, one count in bin 0 of its own block.
  std::vector<CMarker> one = Markers({42});
  std::vector<CMarker> other = Markers({7, 42, 8});
  Matching single;
  Attach(single, one, other, 1.0);
  const Outcome s = RunMatch(single, params, "Match TTLreference with ETtriggers", ArticleRecord::kReferenceTracker);
  ASSERT_TRUE(s.ok);
  EXPECT_NE(s.out.find("First Pair     =    42, 42\nLast  Pair     =    42, 42\n"),
            std::string::npos);
  expected[22 + 5] = 1;
  EXPECT_EQ(params.article.histograms, expected);
  // A matching run again adds to its block.
  ASSERT_TRUE(RunMatch(single, params, "again", ArticleRecord::kReferenceTracker).ok);
  expected[22 + 5] = 2;
  EXPECT_EQ(params.article.histograms, expected);
}

TEST(TriggerMatchingReport, NoCommonCodeOrAnEmptyListFails) {
  SynchroParams params;
  std::vector<CMarker> a = Markers({1, 2});
  std::vector<CMarker> b = Markers({3, 4});
  Matching matching;
  Attach(matching, a, b, 1.0);
  const Outcome o = RunMatch(matching, params, "t");
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.out, "Running Process LCS\nERROR: Problem with TriggerMatching and indexes!\n");

  std::vector<CMarker> empty;
  Matching none;
  Attach(none, empty, b, 1.0);
  const Outcome e = RunMatch(none, params, "t");
  EXPECT_FALSE(e.ok);
  EXPECT_EQ(e.out, "Running Process LCS\nERROR: Problem with TriggerMatching!\n");
  EXPECT_EQ(params.article.histograms, std::vector<int32_t>(33, 0));
}

TEST(TriggerMatchingReport, ClassicSwitchPairsTheLatestOccurrences) {
  std::vector<CMarker> a = Markers({1, 2, 1});
  std::vector<CMarker> b = Markers({1, 1, 2, 1});
  for (const bool classic : {false, true}) {
    SynchroParams params;
    params.classicLcs = classic;
    Matching matching;
    Attach(matching, a, b, 1.0);
    const Outcome o = RunMatch(matching, params, "t");
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.out.rfind(classic ? "Running Process classical LCS\n" : "Running Process LCS\n", 0),
              0u);
    EXPECT_EQ(matching.result.pairs.front().second, classic ? 1u : 0u);
  }
}

// The lost stretch dated by the segments and carried onto the tracker's clock by the pairs before
// it: a tracker trigger every 100 ms with a cycle of three codes (which the code patterns cannot
// place), an EEG at 1 sample per ms, 8 ms late, whose buffer overflowed from 5000 to 6000 ms.
TEST(BufferOverflow, TheDatedGapDecidesWhichTrackerTriggersWereLost) {
  struct Case {
    const char* label;
    int32_t eegAlsoHolds;    // a tracker trigger (ms) the EEG holds against the clocks, or -1
    uint32_t eegStartsAtMs;  // the EEG's first trigger
    uint64_t removed;        // -1: the repair must fail
    const char* why;
  };
  const Case cases[] = {
      {"clean", -1, 0, 9, ""},
      {"the EEG starts 2.5 s late", -1, 2500, 9, ""},
      {"a trigger inside the gap held by the EEG", 5500, 0, 0, "lies inside the lost stretch"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<CMarker> tracker, eeg;
    std::vector<CMarker*> segments;
    CMarker start;
    start.type = NewSegment;
    start.code = SEGMENT_CODE;
    eeg.push_back(start);
    bool overflowWritten = false;
    for (uint32_t k = 0; k < 100; ++k) {
      CMarker t;
      t.code = static_cast<uint16_t>(1 + k % 3);
      t.time = 100000.0 + 100.0 * k;
      t.position = 50 * k;  // a 500 Hz tracker
      tracker.push_back(t);
      const uint32_t ms = 100 * k;
      if (ms >= 6000 && !overflowWritten) {
        CMarker overflow;
        overflow.code = OVERFLOW_CODE;
        overflow.position = 6000 + 8;
        CMarker resumed = start;
        resumed.position = 5000 + 8;
        resumed.samplesInserted = 1000;
        resumed.gapStart = 5000 + 8;
        resumed.gapEnd = 6000 + 8;
        eeg.push_back(overflow);
        eeg.push_back(resumed);
        overflowWritten = true;
      }
      const bool lost = ms > 5000 && ms < 6000 && static_cast<int32_t>(ms) != c.eegAlsoHolds;
      if (ms < c.eegStartsAtMs || lost) continue;
      CMarker e = t;
      e.time = 0.0;
      e.position = ms + 8;
      eeg.push_back(e);
    }
    segments.push_back(&eeg.front());
    for (CMarker& m : eeg) {
      if (m.type == NewSegment && &m != &eeg.front()) segments.push_back(&m);
    }
    MatchingInput input{&tracker, &eeg, 0.5, &segments, 1.0};
    const OverflowRepair repair = TriggerMatching(input).CorrectBufferOverflow();
    testing::internal::CaptureStdout();
    PrintOverflowRepair(repair);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(repair.found);
    if (*c.why != '\0') {
      EXPECT_FALSE(repair.located);
      EXPECT_NE(out.find("Could not apply correction"), std::string::npos) << out;
      EXPECT_NE(out.find(c.why), std::string::npos) << out;
      EXPECT_EQ(out.find("corrected"), std::string::npos) << out;
      continue;
    }
    ASSERT_TRUE(repair.located) << out;
    EXPECT_TRUE(repair.byTime);
    EXPECT_EQ(repair.removeCount, c.removed);
    EXPECT_EQ(repair.removeFrom, 51u);                  // 5100 ms to 5900 ms
    EXPECT_EQ(repair.overflowStart, 50 * 51);           // first lost
    EXPECT_EQ(repair.overflowEnd, 50 * 60);             // first kept after the gap
    EXPECT_NEAR(repair.lostFromMs, 105000.0, 0.5);
    EXPECT_NEAR(repair.lostToMs, 106000.0, 0.5);
    EXPECT_NE(out.find("Triggers removed: 9"), std::string::npos) << out;
  }
}
