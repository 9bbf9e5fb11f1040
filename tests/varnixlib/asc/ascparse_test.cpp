// The line walk: sample lines of every block kind, the states and their log lines, inputs,
// messages of the stimulus program, and the corruption stop.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>

#include "asctestfile.h"
#include "varnixlib/asc/asctokens.h"

using asctest::AscRun;
using asctest::At;
using asctest::Capture;
using asctest::End;
using asctest::Head;
using asctest::Mono;

namespace {

/// A binocular sample line: time, left x y p, right x y p, then extra tokens.
std::string Bino(unsigned time, const std::string& body) { return std::to_string(time) + "\t" + body + "\n"; }

TEST(AscSampleLines, MonocularBlocksFillTheirEyesColumns) {
  SynchroParams p = AscRun::Defaults();
  p.pupilSize = true;
  AscRun left(Head("LEFT") + Mono(1000, "512.5", "384.0", "1200.0") + Mono(1001, ".", ".", "0.0") +
                  Mono(1002, "10.0", "20.0", ".") + End(1003),
              p);
  ASSERT_TRUE(left.ok);
  EXPECT_EQ(left.asc.ChannelNames(), (std::vector<std::string>{"eyeLx", "eyeLy", "eyeLp", "blink"}));
  EXPECT_EQ(At(left.asc, "eyeLx", 0), 512.5);
  EXPECT_EQ(At(left.asc, "eyeLy", 0), 384.0);
  EXPECT_EQ(At(left.asc, "eyeLp", 0), 1200.0);
  EXPECT_EQ(At(left.asc, "eyeLx", 1), -2000.0);  // both positions missing: nothing stored
  EXPECT_EQ(At(left.asc, "eyeLp", 1), -2000.0);
  EXPECT_EQ(left.asc.Status()[1], 1 | 2);          // only the record flags
  EXPECT_EQ(At(left.asc, "eyeLp", 2), -1.0);       // a missing pupil reads -1
  EXPECT_EQ(At(left.asc, "eyeLx", 3), -2000.0);    // no sample line: missing

  AscRun right(Head("RIGHT") + Mono(1000, "1.5", "2.5", "3.5") + Mono(1001, "1.5", "2.5", "nan") + End(1002), p);
  ASSERT_TRUE(right.ok);
  EXPECT_EQ(right.asc.ChannelNames(), (std::vector<std::string>{"eyeRx", "eyeRy", "eyeRp", "blink"}));
  EXPECT_EQ(At(right.asc, "eyeRx", 0), 1.5);
  EXPECT_EQ(right.asc.Status()[0], 1 | 4);
  EXPECT_EQ(At(right.asc, "eyeRp", 1), 0.0);  // a hand-edited "nan" never reaches the matrix as a NaN
}

TEST(AscSampleLines, BinocularBlocksWithVelocityFillAllTenColumns) {
  SynchroParams p = AscRun::Defaults();
  p.pupilSize = true;
  std::string out;
  out = Capture([&] {
    AscRun run(Head("LEFT\tRIGHT", "1000.00", true) +
                   Bino(1000, "1.0\t2.0\t3.0\t4.0\t5.0\t6.0\t7.0\t8.0\t9.0\t10.0\t.....") +
                   Bino(1001, "1.0\t2.0\t3.0\t.\t.\t6.0\t.\t.\t9.0\t10.0\t.....") + End(1002),
               p);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.asc.NbChannels(), 11u);
    EXPECT_EQ(run.asc.ChannelNames(),
              (std::vector<std::string>{"eyeLx", "eyeLy", "eyeLp", "eyeRx", "eyeRy", "eyeRp", "eyeLxVel", "eyeLyVel",
                                        "eyeRxVel", "eyeRyVel", "blink"}));
    const double expected[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0};
    for (int j = 0; j < 11; ++j) EXPECT_EQ(run.asc.Data()[j], expected[j]) << j;
    // Second line: the right eye lost, the left velocity missing.
    EXPECT_EQ(At(run.asc, "eyeRx", 1), -2000.0);
    EXPECT_EQ(At(run.asc, "eyeRxVel", 1), -2000.0);
    EXPECT_EQ(At(run.asc, "eyeLx", 1), 1.0);
    EXPECT_EQ(At(run.asc, "eyeLxVel", 1), -2000.0);
  });
  EXPECT_NE(out.find("NOTE: The .asc file contains velocity data for both eyes.\n"), std::string::npos);
  EXPECT_EQ(out.find("ERROR: Problem with velocity"), std::string::npos);
}

TEST(AscSampleLines, TheVelocityNoteNamesTheEyeAndFlagsUnreadableVelocityColumns) {
  const std::string leftOut = Capture([] {
    AscRun run(Head("LEFT", "1000.00", true) + Mono(1000, "1", "2", "3\t4.0\t5.0") + Mono(1001, "1", "2", "3\t4\t5") +
               End(1002));
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(At(run.asc, "eyeLxVel", 0), 4.0);
    EXPECT_EQ(At(run.asc, "eyeLyVel", 0), 5.0);
  });
  EXPECT_NE(leftOut.find("NOTE: The .asc file contains velocity data for left eye.\n"), std::string::npos);
  EXPECT_EQ(leftOut.find("ERROR: Problem"), std::string::npos);
  EXPECT_EQ(leftOut.find("NOTE", leftOut.find("NOTE") + 1), std::string::npos);  // once per recording

  const std::string rightOut = Capture([] {
    // One velocity value, then the flags where the second should be.
    AscRun run(Head("RIGHT", "1000.00", true) + Mono(1000, "1", "2", "3\t4") + End(1001));
  });
  EXPECT_NE(rightOut.find("for right eye.\nERROR: Problem with velocity data columns detected on line 5!\n"),
            std::string::npos) << rightOut;

  // Without the velocity switch neither the note nor the columns appear.
  SynchroParams p = AscRun::Defaults();
  p.velocityChannels = false;
  const std::string off = Capture([&] {
    AscRun run(Head("LEFT", "1000.00", true) + Mono(1000, "1", "2", "3\t4\t5") + End(1001), p);
    EXPECT_EQ(run.asc.ChannelNames(), (std::vector<std::string>{"eyeLx", "eyeLy", "blink"}));
  });
  EXPECT_EQ(off.find("NOTE"), std::string::npos);
}

TEST(AscSampleLines, OffScreenPositionsAreFlagged) {
  AscRun run(Head() + Mono(1000, "-1", "5") + Mono(1001, "1920", "5") + Mono(1002, "5", "1080") +
             Mono(1003, "1919", "1079") + End(1004));
  ASSERT_TRUE(run.ok);
  const auto& s = run.asc.Status();
  EXPECT_TRUE(s[0] & 32);
  EXPECT_TRUE(s[1] & 32);
  EXPECT_TRUE(s[2] & 32);
  EXPECT_FALSE(s[3] & 32);
}

TEST(AscSampleLines, SampleLinesOutsideABlockAndShortLinesAreIgnored) {
  AscRun run(Head() + Mono(1000, "1", "1") + "1001 5\n" + "1002\t7\t8\n" + "7\n" + End(1003) +
             Mono(1004, "9", "9") + "MSG\t1006 done\n");
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(asctest::CorruptionStops(), 0);
  EXPECT_EQ(At(run.asc, "eyeLx", 0), 1.0);
  EXPECT_EQ(At(run.asc, "eyeLx", 2), -2000.0);  // three tokens: too few for a sample, not read past
  EXPECT_EQ(run.asc.Status()[2], 1 | 2);
  EXPECT_EQ(At(run.asc, "eyeLx", 4), -2000.0);  // after END
  EXPECT_EQ(run.asc.Status()[4], 0);
}

TEST(AscCorruption, MalformedPositionsEarlierSamplesAndSamplesPastTheGridStopTheRun) {
  struct Case {
    std::string body;
    std::string why;
    std::string position;  // the line's timestamp as written, and its line number
  };
  const std::vector<Case> cases = {
      {Head() + Mono(1000, "1", "1") + Mono(1001, "12a", "1") + End(1002), "letter in x", "1001, line 6"},
      {Head("RIGHT") + Mono(1000, "1", "1y") + End(1002), "letter in y, right eye", "1000, line 5"},
      {Head("LEFT\tRIGHT") + Bino(1000, "1\t1\t1\t1e3\t1\t1\t...") + End(1002), "letter in binocular right x",
       "1000, line 5"},
      {Head() + Mono(1000, "1", "1") + Mono(1005, "1", "1") + Mono(1003, "1", "1") + End(1006), "time backwards",
       "1003, line 7"},
      {Head() + Mono(1000, "1", "1") + Mono(1005, "1", "1") + "MSG\t1002 last\n", "past the grid", "1005, line 6"},
      {Head("LEFT", "1000.00", false, 2000) + Mono(1500, "1", "1") + End(2002), "before the start", "1500, line 5"},
  };
  for (const Case& c : cases) {
    asctest::ResetCorruptionStops();
    std::string log, asc, logPath;
    const std::string out = Capture([&] {
      AscRun run(c.body);
      EXPECT_FALSE(run.ok) << c.why;
      log = run.Log();
      asc = run.Path("rec.asc");
      logPath = run.Path("Log-AscRawData.txt");
    });
    EXPECT_EQ(asctest::CorruptionStops(), 1) << c.why;
    const std::string line = "Corrupted ASC file " + asc + " at timestamp " + c.position + "\n";
    EXPECT_NE(out.find(line + "WARNING > Useful information in " + logPath + "\n"), std::string::npos)
        << c.why << "\n" << out;
    // The stop is the stage's last word: no further error line follows it.
    EXPECT_TRUE(out.ends_with("WARNING > Useful information in " + logPath + "\n")) << c.why << "\n" << out;
    // The log line names the reporting source and line first.
    EXPECT_NE(log.find("ascrawdata_parse.cpp::"), std::string::npos) << c.why << log;
    EXPECT_NE(log.find(" " + line), std::string::npos) << c.why << log;
  }
  asctest::ResetCorruptionStops();
}

TEST(AscCorruption, TheStageReturnsTheStopToItsCallerAndAFreshRunStartsClean) {
  // The library never ends the process: the driver ends the run (exit status 255) on this flag.
  AscRawData asc;
  testsupport::TempDir dir;
  asc.OpenLog(dir / "Log-AscRawData.txt");
  SynchroParams params = AscRun::Defaults();
  params.ascFileName = dir / "bad.asc";
  testsupport::WriteFile(params.ascFileName, Head() + Mono(1000, "1", "1") + Mono(1001, "x", "1") + End(1002));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(asc.Process(params));
  EXPECT_TRUE(asc.StoppedOnCorruption());
  params.ascFileName = dir / "good.asc";
  testsupport::WriteFile(params.ascFileName, Head() + Mono(1000, "1", "1") + Mono(1001, "2", "1") + End(1002));
  EXPECT_TRUE(asc.Process(params));
  EXPECT_FALSE(asc.StoppedOnCorruption());
  testing::internal::GetCapturedStdout();
}

TEST(AscStates, MismatchesAreLoggedWithTheirPositionAndTheFlowGoesOn) {
  AscRun run(Head() + "SFIX L   1002\n" + Mono(1002, "1", "1") + "SFIX L   1003\n" + Mono(1003, "1", "1") +
             "EFIX L   1002\t1004\t3\t10.5\t20.5\t900\n" + "EBLINK R 1003\t1004\t2\n" + Mono(1004, "1", "1") + End(1005));
  ASSERT_TRUE(run.ok);
  const std::string log = run.Log();
  EXPECT_NE(log.find("inFixL = true. It means a new BEGIN ( at timestamp 1003, line 7 ) has been detected before the expected "
                     "END\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("inBlinkR = false. It means a new END ( at timestamp 1004, line 10 ) has been detected before the expected "
                     "BEGIN\n"),
            std::string::npos)
      << log;
  // The objects are made all the same.
  ASSERT_EQ(run.asc.FixationSaccadesLeft().size(), 1u);
  const FixationSaccade& fix = *run.asc.FixationSaccadesLeft()[0];
  EXPECT_EQ(fix.type, 1016);
  EXPECT_EQ(fix.start, 2u);
  EXPECT_EQ(fix.end, 4u);
  EXPECT_EQ(fix.startX, 10.5);
  EXPECT_EQ(fix.endY, 20.5);
  EXPECT_EQ(fix.averagePupilSizeFixation, 900.0);
  EXPECT_EQ(fix.amplitudeSaccade, 0.0);
  EXPECT_EQ(fix.line, 6u);  // the line of the second SFIX (lines counted from 0)
  EXPECT_EQ(run.asc.BlinksRight().size(), 1u);
  // A SAMPLES line has no timestamp and leaves the block state alone.
  EXPECT_EQ(log.find("inRecord"), std::string::npos);
}

TEST(AscStates, AFileEndingInsideAFixationLogsItAtTheEnd) {
  AscRun run(Head() + Mono(1000, "1", "1") + "SFIX L   1001\n" + Mono(1001, "1", "1") + End(1002));
  ASSERT_TRUE(run.ok);
  EXPECT_NE(run.Log().find("End - inFixL = true. It means a new BEGIN ( at timestamp 1000, line 8 ) has been detected before "
                           "the expected END\n"),
            std::string::npos);
  EXPECT_TRUE(run.asc.WarningsWritten());
}

TEST(AscStates, IndexZeroNeverChangesAStateButAStartThereOpensTheBlock) {
  AscRun run(Head() + "SFIX L   1000\n" + Mono(1000, "1", "1") + "EFIX L   1000\t1001\t2\t1\t1\t1\n" + End(1001));
  ASSERT_TRUE(run.ok);
  const std::string log = run.Log();
  // SFIX at index 0 left InFixL closed, so the EFIX is a mismatch; the START at 0 opened InRecord.
  EXPECT_NE(log.find("inFixL = false. It means a new END ( at timestamp 1001, line "), std::string::npos) << log;
  EXPECT_EQ(log.find("inRecord"), std::string::npos) << log;
  EXPECT_EQ(log.find("End - inFixL"), std::string::npos) << log;
}

TEST(AscStates, ACleanFileWritesAnEmptyLogAndNoConsoleNote) {
  std::string log;
  const std::string out = Capture([&] {
    AscRun run(Head() + "SFIX L   1001\n" + Mono(1000, "1", "1") + Mono(1001, "1", "1") +
               "EFIX L   1001\t1001\t1\t1\t1\t1\n" + End(1002));
    ASSERT_TRUE(run.ok);
    log = run.Log();
  });
  EXPECT_EQ(log, "");
  EXPECT_EQ(out.find("Warning information is available in: "), std::string::npos);
  EXPECT_NE(out.find("100 %\n"), std::string::npos);
}

TEST(AscStates, ProgressPrintsEachWholePercentOnceThenOneHundred) {
  // 101 samples: sample 1 is still 0 %, which was never printed; 2 to 100 reach 1 to 99 %.
  std::string text = Head();
  for (unsigned k = 0; k <= 100; ++k) text += Mono(1000 + k, "1", "1");
  std::string expected;
  char percent[16];
  for (int q = 1; q <= 99; ++q) {
    std::snprintf(percent, sizeof percent, "%3d %%\r", q);
    expected += percent;
  }
  expected += "100 %\n";
  const std::string out = Capture([&] { EXPECT_TRUE(AscRun(text + End(1100)).ok); });
  EXPECT_EQ(out, expected);
}

TEST(AscStates, ProgressMatchesTheDivisionOfEverySampleForAnyLengthAndGaps) {
  // Grids of awkward sizes, sample lines with random gaps and samples on repeated lines: the
  // percentages printed are those of dividing at every sample line, once per change.
  std::mt19937 random(7);
  for (const unsigned n : {1u, 2u, 3u, 7u, 99u, 100u, 101u, 199u, 333u, 1001u, 4099u}) {
    std::string text = Head();
    std::vector<unsigned> indices;
    for (unsigned k = 0; k < n; ++k) {
      if (k != 0 && k + 1 != n && random() % 5 == 0) continue;  // no line: the first and last stay
      const int copies = random() % 9 == 0 ? 2 : 1;             // the same timestamp twice
      for (int c = 0; c < copies; ++c) {
        text += Mono(1000 + k, "1", "1");
        indices.push_back(k);
      }
    }
    std::unique_ptr<AscRun> run;
    const std::string out = Capture([&] { run = std::make_unique<AscRun>(text + End(1000 + n - 1)); });
    ASSERT_TRUE(run->ok);
    const uint32_t samples = run->asc.NbSamples();
    std::string expected;
    int last = 0;
    for (const unsigned i : indices) {
      const int q = static_cast<int>(static_cast<double>(i) * 100.0 / samples);
      if (q == last) continue;
      char percent[16];
      std::snprintf(percent, sizeof percent, "%3d %%\r", q);
      expected += percent;
      last = q;
    }
    expected += "100 %\n";
    // A one-sample file is also warned about after the walk; only the progress is compared.
    EXPECT_EQ(out.substr(0, out.find("100 %\n") + 6), expected) << n << " samples";
  }
}

TEST(AscStates, WarningsAreNamedOnTheConsoleAndGoToTheConsoleWhenTheLogIsClosed) {
  const std::string out = Capture([] {
    AscRun run(Head() + "SFIX L 1001\nSFIX L 1001\n" + Mono(1001, "1", "1") + End(1002));
  });
  EXPECT_NE(out.find("Warning information is available in: "), std::string::npos);
  EXPECT_NE(out.find("Log-AscRawData.txt"), std::string::npos);

  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "r.asc", Head() + "SFIX L 1001\nSFIX L 1001\n" + Mono(1001, "1", "1") + End(1002));
  SynchroParams p = AscRun::Defaults();
  p.ascFileName = dir / "r.asc";
  AscRawData asc;  // no log opened
  const std::string closed = Capture([&] { EXPECT_TRUE(asc.Process(p)); });
  EXPECT_NE(closed.find("Warning: Log-AscRawData.txt is not open.\n"), std::string::npos);
}

TEST(AscInputs, OnlyChangesOfTheInputValueMakeTriggers) {
  AscRun run(Head() + "INPUT\t1000\t0\n" + "INPUT\t1001\t5\n" + "INPUT\t1002\t5\n" + "INPUT\t1003\t0\n" +
             "INPUT\t1004\t5\n" + Mono(1004, "1", "1") + End(1005));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.asc.Triggers().size(), 2u);
  EXPECT_EQ(run.asc.Triggers()[0]->type, 5);
  EXPECT_EQ(run.asc.Triggers()[0]->start, 1u);
  EXPECT_EQ(run.asc.Triggers()[0]->line, 5u);
  EXPECT_EQ(run.asc.Triggers()[1]->start, 4u);
  EXPECT_EQ(run.asc.Triggers()[1]->line, 8u);
  EXPECT_EQ(run.asc.TriggerValues()[1], 5);
  EXPECT_EQ(run.asc.TriggerValues()[2], 0);

  AscRun seven(Head() + "INPUT\t1000\t0\nINPUT\t1001\t3\nINPUT\t1002\t3\nINPUT\t1003\t0\nINPUT\t1004\t3\nINPUT\t1005\t7\n" +
               End(1006));
  ASSERT_EQ(seven.asc.Triggers().size(), 3u);
  EXPECT_EQ(seven.asc.Triggers()[0]->type, 3);
  EXPECT_EQ(seven.asc.Triggers()[1]->type, 3);
  EXPECT_EQ(seven.asc.Triggers()[2]->type, 7);
  EXPECT_EQ(seven.asc.Triggers()[2]->start, 5u);
}

TEST(AscInputs, InputsOffTheGridMakeNoTrigger) {
  AscRun run(Head() + "INPUT\t10x0\t5\nINPUT\t1001\t0\nINPUT\t999\t6\nINPUT\t1002\t7\n" + End(1003));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.asc.Triggers().size(), 1u);
  EXPECT_EQ(run.asc.Triggers()[0]->type, 7);
}

/// A BEGIN TRANSITION message of 18 tokens with the given kind, item kind and name.
std::string Transition(unsigned time, const std::string& kind, const std::string& item, const std::string& name,
                       const std::string& path = "img/a.png") {
  return "MSG\t" + std::to_string(time) + " BEGIN TRANSITION " + kind + " trName 1500 2 x " + item + " " + name + " " +
         path + " 25 40000 10 20 810 620\n";
}

TEST(AscExperimentStructure, ATransitionBeginBuildsADisplayableFromItsTokens) {
  AscRun run(Head() + Transition(1001, "keyboard_transition", "IMAGE", "cat") + Mono(1001, "5", "5") +
             Mono(1002, "900", "5") + "MSG\t1003 END TRANSITION KEYBOARD 'x'\n" + Mono(1003, "5", "5") + End(1004));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.asc.Displayables().size(), 1u);
  const Displayable& d = *run.asc.Displayables()[0];
  EXPECT_EQ(d.type, 1001);
  EXPECT_EQ(d.typeAsked, 1008);
  EXPECT_EQ(d.typeHappened, 1008);
  EXPECT_EQ(d.transitionName, "trName");
  EXPECT_EQ(d.timeout, 1500u);
  EXPECT_EQ(d.nbEvents, 2);
  EXPECT_EQ(d.name, "cat");
  EXPECT_EQ(d.relativePath, "img/a.png");
  EXPECT_EQ(d.frameNb, 25);
  EXPECT_EQ(d.frameDuration, 40);
  EXPECT_EQ(d.leftRect, 10);
  EXPECT_EQ(d.topRect, 20);
  EXPECT_EQ(d.rightRect, 810);
  EXPECT_EQ(d.bottomRect, 620);
  EXPECT_EQ(d.start, 1u);
  EXPECT_EQ(d.end, 3u);
  EXPECT_EQ(d.stopAttribute, 'x');
  EXPECT_EQ(run.asc.Status()[1] & 8, 8);
  // Inside the open image item, a gaze outside its rectangle is flagged.
  EXPECT_EQ(run.asc.Status()[1] & 64, 64);  // x = 5 < left 10
  EXPECT_EQ(run.asc.Status()[2] & 64, 64);  // x = 900 >= right 810
  EXPECT_EQ(run.asc.Status()[3] & 64, 0);   // closed by the END TRANSITION
  // An item outside any phase is the log's only line.
  EXPECT_EQ(run.Log(), "No BEGIN PHASE message: the items still open are closed at the last sample line\n");
}

TEST(AscExperimentStructure, TransitionEndsRecordMouseKeyboardBlankAndGaze) {
  AscRun run(Head() + Transition(1001, "mouse_transition", "IMAGE", "a") + "MSG\t1002 END TRANSITION MOUSE L 512 384\n" +
             Transition(1003, "gaze_transition", "IMAGE", "b") + "MSG\t1004 END TRANSITION GAZE F\n" +
             Transition(1005, "time_transition", "IMAGE", "c") + "MSG\t1006 END TRANSITION KEYBOARD ' '\n" +
             Transition(1007, "special_transition", "IMAGE", "d") + "MSG\t1008 END TRANSITION TIMEOUT\n" +
             Transition(1009, "odd", "IMAGE", "e", "SPECIAL") + "MSG\t1010 END TRANSITION MOUSE R . .\n" + End(1011));
  ASSERT_TRUE(run.ok);
  const auto& d = run.asc.Displayables();
  ASSERT_EQ(d.size(), 5u);
  EXPECT_EQ(d[0]->typeAsked, 1007);
  EXPECT_EQ(d[0]->typeHappened, 1007);
  EXPECT_EQ(d[0]->stopAttribute, 'L');
  EXPECT_EQ(d[0]->posX, 512);
  EXPECT_EQ(d[0]->posY, 384);
  EXPECT_EQ(d[1]->typeHappened, 1009);
  EXPECT_EQ(d[1]->stopAttribute, 'F');
  EXPECT_EQ(d[2]->typeHappened, 1008);
  EXPECT_EQ(d[2]->stopAttribute, ' ');
  EXPECT_EQ(d[3]->typeAsked, 1014);
  EXPECT_EQ(d[3]->typeHappened, 1006);
  EXPECT_EQ(d[4]->type, 1000);
  EXPECT_EQ(d[4]->typeAsked, 1006);
  EXPECT_EQ(d[4]->posX, 65535);
  EXPECT_EQ(d[4]->posY, 65535);
}

TEST(AscExperimentStructure, TextItemsSplitByBlanksAreMergedAndBadTransitionsWarned) {
  const std::string merged = "MSG\t1001 BEGIN TRANSITION time_transition t 100 1 x TEXT Hello big world TEXT 1 0 0 0 50 60\n";
  const std::string tooFew = "MSG\t1002 BEGIN TRANSITION time_transition t 100 1 x IMAGE a b 1 0 0 0 50\n";
  const std::string noClose = "MSG\t1003 BEGIN TRANSITION time_transition t 100 1 x TEXT Hello big world 1 0 0 0 50 60\n";
  const std::string notText = "MSG\t1004 BEGIN TRANSITION time_transition t 100 1 x IMAGE a b c 1 0 0 0 50 60\n";
  AscRun run(Head() + merged + tooFew + noClose + notText + End(1005));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.asc.Displayables().size(), 1u);
  const Displayable& d = *run.asc.Displayables()[0];
  EXPECT_EQ(d.type, 1002);
  EXPECT_EQ(d.name, "Hello_big_world");
  EXPECT_EQ(d.relativePath, "TEXT");
  EXPECT_EQ(d.bottomRect, 60);
  const std::string log = run.Log();
  EXPECT_NE(log.find("Invalide TRANSITION syntax ( !!! verify the EDF2ASC version !!! )\nExactly 18 substrings should be "
                     "available in  ( at timestamp 1002, line 6 )\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Invalide TRANSITION syntax (can not merge substrings) ( at timestamp 1003, line 7 )\n"), std::string::npos);
  EXPECT_NE(log.find("Invalide TRANSITION syntax (can not merge substrings) ( at timestamp 1004, line 8 )\n"), std::string::npos);
}

TEST(AscExperimentStructure, MergeTextTokensJoinsUpToTheClosingTextToken) {
  AscRawData asc;
  AscTokens t;
  std::string storage;
  t.Split("MSG 1 BEGIN TRANSITION k n 1 1 x TEXT one two three TEXT 1 2 3 4 5 6");
  ASSERT_EQ(t.Count(), 20u);
  EXPECT_TRUE(asc.MergeTextTokens(t, storage));
  EXPECT_EQ(t.Count(), 18u);
  EXPECT_EQ(t[10], "one_two_three");
  EXPECT_EQ(t[11], "TEXT");
  EXPECT_EQ(t[17], "6");
  EXPECT_EQ(t.Last(), "6");
  t.Split("MSG 1 BEGIN TRANSITION k n 1 1 x TEXT one two TEXT 1 2 3 4 5 6 7");
  EXPECT_FALSE(asc.MergeTextTokens(t, storage));  // 19 after the merge
}

TEST(AscExperimentStructure, EveryKindOfItemOpensTheDisplayableStateUntilItsEnd) {
  // Each kind, then a video that begins while another item is still open.
  for (const std::string kind : {"IMAGE", "TEXT", "VIDEOWITHOUTSOUND", "VIDEOWITHSOUND"}) {
    AscRun run(Head() + Transition(1001, "mouse_transition", kind, "v") + "MSG\t1002 BEGIN FRAME 1\n" +
               "MSG\t1003 END TRANSITION MOUSE L 1 1\n" + End(1004));
    ASSERT_TRUE(run.ok) << kind;
    ASSERT_EQ(run.asc.Displayables().size(), 1u);
    EXPECT_EQ(run.asc.Displayables()[0]->typeAsked, 1007);
    EXPECT_EQ(run.asc.FrameAdvances()[2], 1) << kind;  // the frame message counts while the item is open
    EXPECT_EQ(run.Log().find("inDisplayable"), std::string::npos) << kind << run.Log();
  }
  AscRun unclosed(Head() + Transition(1001, "mouse_transition", "IMAGE", "v") +
                  Transition(1002, "time_transition", "VIDEOWITHSOUND", "w") + "MSG\t1003 END TRANSITION TIMEOUT\n" +
                  "MSG\t1004 END TRANSITION TIMEOUT\n" + End(1005));
  ASSERT_TRUE(unclosed.ok);
  const std::string log = unclosed.Log();
  EXPECT_NE(log.find("inDisplayable = true. It means a new BEGIN ( at timestamp 1002, line 6 )"), std::string::npos) << log;
  EXPECT_NE(log.find("inDisplayable = false. It means a new END ( at timestamp 1004, line 8 )"), std::string::npos) << log;
}

TEST(AscExperimentStructure, AnEndTransitionWithoutAnyItemIsAConsoleWarning) {
  const std::string out = Capture([] {
    AscRun run(Head() + "MSG\t1001 END TRANSITION TIMEOUT\n" + End(1002));
    EXPECT_TRUE(run.ok);
    EXPECT_TRUE(run.asc.Displayables().empty());
  });
  EXPECT_NE(out.find("WARNING in : "), std::string::npos);
  EXPECT_NE(out.find("TRANSITION myDisplayables = 0 \n"), std::string::npos);
}

TEST(AscExperimentStructure, SequencesPhasesAndTheUnknownSequence) {
  AscRun run(Head() + "MSG\t1001 BEGIN PHASE LEARNING_1\n" + "MSG\t1001 BEGIN SEQUENCE 4 intro\n" +
             "MSG\t1003 END SEQUENCE\n" + "MSG\t1004 END SEQUENCE\n" + "MSG\t1005 END PHASE\n" +
             "MSG\t1006 BEGIN PHASE TEST\n" + "MSG\t1007 BEGIN SEQUENCE . dot\n" + "MSG\t1008 END\n" + End(1009));
  ASSERT_TRUE(run.ok);
  const auto& s = run.asc.Sequences();
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0]->index, 4);
  EXPECT_EQ(s[0]->name, "intro");
  EXPECT_EQ(s[0]->start, 1u);
  EXPECT_EQ(s[0]->end, 3u);
  EXPECT_EQ(s[1]->name, "unknown");
  EXPECT_EQ(s[1]->index, 5);
  EXPECT_EQ(s[1]->type, 1015);
  EXPECT_EQ(s[1]->start, run.asc.Records()[0]->start);
  EXPECT_EQ(s[1]->line, run.asc.Records()[0]->line);
  EXPECT_EQ(s[1]->end, 4u);
  EXPECT_EQ(s[2]->index, 65535);
  const auto& ph = run.asc.AcqPhases();
  ASSERT_EQ(ph.size(), 2u);
  EXPECT_EQ(ph[0]->type, 1022);
  EXPECT_EQ(ph[0]->end, 5u);
  EXPECT_EQ(ph[1]->type, 1023);
  // The second phase was left open: it closes at the last sample of the grid.
  EXPECT_EQ(ph[1]->end, run.asc.NbSamples() - 1);
  EXPECT_EQ(run.asc.Status()[1] & 8, 8);
  EXPECT_NE(run.Log().find("inSequence = false. It means a new END ( at timestamp 1004, line "), std::string::npos);
}

TEST(AscExperimentStructure, TrialMessagesMakeImageItemsWithTheirResponse) {
  AscRun run(Head() + "MSG\t1001 'Stimulus dog.bmp'\n" + "MSG\t1001 TRIALID 1\n" + "MSG\t1002 'Stimulus cat.bmp'\n" +
             "MSG\t1002 Image_Start\n" + "MSG\t1004 reponse k\n" + "MSG\t1005 Image_Start\n" + End(1006));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.asc.Displayables().size(), 1u);  // the second Image_Start came after the trial ended
  const Displayable& d = *run.asc.Displayables()[0];
  EXPECT_EQ(d.name, "cat.bmp");
  EXPECT_EQ(d.type, 1001);
  EXPECT_EQ(d.start, 2u);
  EXPECT_EQ(d.end, 4u);
  EXPECT_EQ(d.typeHappened, 1008);
  EXPECT_EQ(d.stopAttribute, 'k');
  EXPECT_EQ(d.rightRect, 1023);
  EXPECT_EQ(d.bottomRect, 767);
  EXPECT_EQ(d.timeout, 1000u);
}

TEST(AscEventLines, SaccadesAndBlinksTakeTheirValuesStartLinesAndStates) {
  AscRun run(Head("LEFT\tRIGHT") + "SSACC R 1001\n" + "SBLINK L 1001\n" + "SSACC R 1002\n" +
             "ESACC R 1001\t1003\t3\t10.5\t20.5\t30.5\t40.5\t1.25\t250\n" + "ESACC L 1001\t1004\t4\t.\t.\t1\t2\t3\t4\n" +
             "EBLINK L 1001\t1002\t2\n" + "EBLINK L 1003\t1004\t2\n" + End(1005));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.asc.FixationSaccadesRight().size(), 1u);
  const FixationSaccade& right = *run.asc.FixationSaccadesRight()[0];
  EXPECT_EQ(right.type, 1019);
  EXPECT_EQ(right.start, 1u);
  EXPECT_EQ(right.end, 3u);
  EXPECT_EQ(right.line, 6u);  // the second SSACC R
  EXPECT_EQ(right.startX, 10.5);
  EXPECT_EQ(right.startY, 20.5);
  EXPECT_EQ(right.endX, 30.5);
  EXPECT_EQ(right.endY, 40.5);
  EXPECT_EQ(right.amplitudeSaccade, 1.25);
  EXPECT_EQ(right.peakVelocitySaccade, 250.0);
  EXPECT_EQ(right.averagePupilSizeFixation, 0.0);
  ASSERT_EQ(run.asc.FixationSaccadesLeft().size(), 1u);
  const FixationSaccade& left = *run.asc.FixationSaccadesLeft()[0];
  EXPECT_EQ(left.type, 1018);
  EXPECT_EQ(left.startX, AscRawData::kMissing);  // a lone dot: the missing value of the gaze columns
  EXPECT_EQ(left.peakVelocitySaccade, 4.0);
  ASSERT_EQ(run.asc.BlinksLeft().size(), 2u);
  EXPECT_EQ(run.asc.BlinksLeft()[0]->type, 1020);
  EXPECT_EQ(run.asc.BlinksLeft()[0]->line, 5u);
  const std::string log = run.Log();
  EXPECT_NE(log.find("inSaccR = true. It means a new BEGIN ( at timestamp 1002, line "), std::string::npos) << log;
  EXPECT_NE(log.find("inSaccL = false. It means a new END ( at timestamp 1004, line "), std::string::npos) << log;
  EXPECT_NE(log.find("inBlinkL = false. It means a new END ( at timestamp 1004, line "), std::string::npos) << log;
  EXPECT_EQ(log.find("inSaccR = false"), std::string::npos) << log;
}

TEST(AscEventLines, ShortEventLinesAreSkippedAndLettersInTimesGiveNoGridWrites) {
  asctest::ResetCorruptionStops();
  AscRun run(Head() + "EFIX L 1000 1001\n" + "ESACC R 1000 1001 2 1 1 1\n" + "EBLINK L 1000\n" + "MSG 1001\n" +
             "MSG\t10a1 BEGIN PHASE X\n" + "MSG\tzz BEGIN SEQUENCE 1 s\n" + "MSG\t99999999 BEGIN FRAME 2\n" +
             "SFIX\n" + "INPUT\n" + "x\n" + Mono(1000, "1", "1") + End(1001));
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(asctest::CorruptionStops(), 0);
  EXPECT_TRUE(run.asc.FixationSaccadesLeft().empty());
  EXPECT_TRUE(run.asc.FixationSaccadesRight().empty());
  EXPECT_TRUE(run.asc.BlinksLeft().empty());
  ASSERT_EQ(run.asc.AcqPhases().size(), 1u);
  EXPECT_EQ(run.asc.AcqPhases()[0]->start, AscRawData::kNoIndex);
}

}  // namespace
