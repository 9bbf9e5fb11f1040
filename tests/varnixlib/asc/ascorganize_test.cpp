// After the walk: false blinks, the blink column, video frames, closing and sorting, the marker
// lists, the channel matrix, trigger names and the event file.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>

#include "asctestfile.h"

using asctest::AscRun;
using asctest::At;
using asctest::Capture;
using asctest::End;
using asctest::Head;
using asctest::Mono;

namespace {

/// Samples 1000 .. 1000 + n - 1 with x = 10 * index, y = 100 + index; indices in missing get dots.
std::string Samples(unsigned n, const std::vector<unsigned>& missing = {}) {
  std::string s;
  for (unsigned k = 0; k < n; ++k) {
    const bool gap = std::find(missing.begin(), missing.end(), k) != missing.end();
    s += Mono(1000 + k, gap ? "." : std::to_string(10 * k) + ".0", gap ? "." : std::to_string(100 + k) + ".0");
  }
  return s;
}

TEST(AscFalseBlinks, AShortBlinkBetweenValidGazeIsInterpolatedAway) {
  SynchroParams p = AscRun::Defaults();
  p.falseBlinkMsec = 5;
  AscRun run(Head() + "SBLINK L 1003\n" + Samples(12, {3, 4, 5, 6}) + "EBLINK L 1003\t1006\t4\n" + End(1012), p);
  ASSERT_TRUE(run.ok);
  EXPECT_TRUE(run.asc.BlinksLeft().empty());
  for (unsigned k = 0; k < 12; ++k) {
    EXPECT_EQ(At(run.asc, "eyeLx", k), 10.0 * k) << k;  // the straight line from 20 to 70
    EXPECT_DOUBLE_EQ(At(run.asc, "eyeLy", k), 100.0 + k) << k;
    EXPECT_EQ(At(run.asc, "blink", k), 0.0) << k;
  }
}

TEST(AscFalseBlinks, TheStraightLineMultipliesBeforeItDivides) {
  // From 0 to 1 over five steps: 3 * 1 / 5 is 0.6, while 3 * (1 / 5) is 0.6000000000000001.
  SynchroParams p = AscRun::Defaults();
  p.falseBlinkMsec = 4;
  AscRun run(Head() + Mono(1000, "0.0", "0.0") + Mono(1001, ".", ".") + Mono(1002, ".", ".") + Mono(1003, ".", ".") +
                 Mono(1004, ".", ".") + Mono(1005, "1.0", "1.0") + "EBLINK L 1001\t1004\t4\n" + End(1006),
             p);
  ASSERT_TRUE(run.ok);
  EXPECT_TRUE(run.asc.BlinksLeft().empty());
  for (unsigned j = 1; j <= 4; ++j) {
    EXPECT_EQ(At(run.asc, "eyeLx", j), j * 1.0 / 5.0) << j;
    EXPECT_EQ(At(run.asc, "eyeLy", j), j * 1.0 / 5.0) << j;
  }
  EXPECT_EQ(At(run.asc, "eyeLx", 3), 0.6);
}

TEST(AscFalseBlinks, ABlinkNextToAMissingSampleOrLongerThanTheThresholdStays) {
  SynchroParams p = AscRun::Defaults();
  p.falseBlinkMsec = 5;
  AscRun nextToGap(Head() + Samples(12, {3, 4, 5, 6, 7}) + "EBLINK L 1003\t1006\t4\n" + End(1012), p);
  ASSERT_EQ(nextToGap.asc.BlinksLeft().size(), 1u);
  for (unsigned k = 3; k <= 6; ++k) EXPECT_EQ(At(nextToGap.asc, "blink", k), 1.0) << k;
  EXPECT_EQ(At(nextToGap.asc, "blink", 7), 0.0);
  EXPECT_EQ(At(nextToGap.asc, "eyeLx", 4), -2000.0);

  AscRun tooLong(Head() + Samples(12, {3, 4, 5, 6, 7, 8, 9}) + "EBLINK R 1003\t1009\t7\n" + End(1012), p);
  ASSERT_EQ(tooLong.asc.BlinksRight().size(), 1u);

  // With the default threshold 0 only a blink of one sample is false; one at the grid edge never.
  AscRun single(Head() + Samples(6, {2}) + "EBLINK L 1002\t1002\t1\n" + "EBLINK L 1000\t1000\t1\n" + End(1005));
  ASSERT_EQ(single.asc.BlinksLeft().size(), 1u);
  EXPECT_EQ(single.asc.BlinksLeft()[0]->start, 0u);
  EXPECT_EQ(At(single.asc, "eyeLx", 2), 20.0);
}

TEST(AscFalseBlinks, InterpolatingOneBlinkCanFreeAnEarlierOne) {
  // The first blink (sample 6) waits for sample 5, which lies inside the second blink (3..5).
  SynchroParams p = AscRun::Defaults();
  p.falseBlinkMsec = 3;
  AscRun run(Head() + Samples(10, {3, 4, 5}) + "EBLINK L 1006\t1006\t1\n" + "EBLINK L 1003\t1005\t3\n" + End(1010), p);
  ASSERT_TRUE(run.ok);
  EXPECT_TRUE(run.asc.BlinksLeft().empty());
  EXPECT_EQ(At(run.asc, "eyeLx", 4), 40.0);
  EXPECT_EQ(At(run.asc, "eyeLx", 6), 60.0);
}

TEST(AscChannels, TheOrderFollowsTheEyesAndTheSwitches) {
  struct Case {
    std::string eyes;
    bool vel, pupil, velocityChannels;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {"LEFT", false, false, true, {"eyeLx", "eyeLy", "blink"}},
      {"LEFT", true, true, true, {"eyeLx", "eyeLy", "eyeLp", "eyeLxVel", "eyeLyVel", "blink"}},
      {"LEFT", false, true, true, {"eyeLx", "eyeLy", "eyeLp", "blink"}},
      {"LEFT\tRIGHT", false, false, true, {"eyeLx", "eyeLy", "eyeRx", "eyeRy", "blink"}},
      {"LEFT\tRIGHT", true, true, false, {"eyeLx", "eyeLy", "eyeLp", "eyeRx", "eyeRy", "eyeRp", "blink"}},
      {"LEFT\tRIGHT", true, true, true,
       {"eyeLx", "eyeLy", "eyeLp", "eyeRx", "eyeRy", "eyeRp", "eyeLxVel", "eyeLyVel", "eyeRxVel", "eyeRyVel", "blink"}},
      {"RIGHT", false, true, true, {"eyeRx", "eyeRy", "eyeRp", "blink"}},
      {"RIGHT", true, false, true, {"eyeRx", "eyeRy", "eyeRxVel", "eyeRyVel", "blink"}},
      {"RIGHT", true, false, false, {"eyeRx", "eyeRy", "blink"}},
      {"LEFT\tRIGHT", false, true, true, {"eyeLx", "eyeLy", "eyeLp", "eyeRx", "eyeRy", "eyeRp", "blink"}},
      {"LEFT\tRIGHT", true, false, true,
       {"eyeLx", "eyeLy", "eyeRx", "eyeRy", "eyeLxVel", "eyeLyVel", "eyeRxVel", "eyeRyVel", "blink"}},
  };
  for (const Case& c : cases) {
    SynchroParams p = AscRun::Defaults();
    p.pupilSize = c.pupil;
    p.velocityChannels = c.velocityChannels;
    const bool bino = c.eyes != "LEFT" && c.eyes != "RIGHT";
    const std::string line = bino ? "1000\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t.....\n" : "1000\t1\t2\t3\t4\t5\t.....\n";
    Capture([&] {
      AscRun run(Head(c.eyes, "1000.00", c.vel) + line + End(1001), p);
      ASSERT_TRUE(run.ok);
      EXPECT_EQ(run.asc.ChannelNames(), c.names) << c.eyes << c.vel << c.pupil;
      EXPECT_EQ(run.asc.NbChannels(), c.names.size());
      // Each column of the first frame holds the token of its own quantity.
      const std::map<std::string, double> mono = {{"x", 1}, {"y", 2}, {"p", 3}, {"xVel", 4}, {"yVel", 5}};
      const std::map<std::string, double> both = {{"Lx", 1},    {"Ly", 2},    {"Lp", 3},    {"Rx", 4},
                                                  {"Ry", 5},    {"Rp", 6},    {"LxVel", 7}, {"LyVel", 8},
                                                  {"RxVel", 9}, {"RyVel", 10}};
      for (size_t j = 0; j + 1 < c.names.size() && j < run.asc.Data().size(); ++j) {
        const std::string quantity = c.names[j].substr(bino ? 3 : 4);  // "eyeL" + "x", or "eye" + "Lx"
        EXPECT_EQ(run.asc.Data()[j], (bino ? both : mono).at(quantity)) << c.eyes << ' ' << c.names[j];
      }
      EXPECT_EQ(run.asc.Data()[c.names.size() - 1], 0.0);  // blink
    });
  }
  // An eye without any stored position has no channels.
  AscRun none(Head("LEFT\tRIGHT") + "1000\t.\t.\t0\t5\t6\t7\t...\n" + End(1001));
  EXPECT_EQ(none.asc.ChannelNames(), (std::vector<std::string>{"eyeRx", "eyeRy", "blink"}));
}

TEST(AscChannels, BlocksWithOtherEyesThanTheHeaderAnnouncesKeepEverySample) {
  // Recordings of one to three blocks, each with its own eyes and velocity, the first block's
  // SAMPLES line being the header's: a block the header did not announce widens the matrix, an
  // announced eye that never had a position leaves it. Every sample is checked against what its
  // block wrote, and every channel against the eyes that had positions.
  std::mt19937 random(20261208);
  const char* const kEyes[3] = {"LEFT", "RIGHT", "LEFT\tRIGHT"};
  for (int trial = 0; trial < 60; ++trial) {
    SynchroParams p = AscRun::Defaults();
    p.pupilSize = random() % 2 == 0;
    p.velocityChannels = random() % 2 == 0;
    const int blocks = 1 + static_cast<int>(random() % 3);
    std::string text;
    std::map<std::string, std::map<unsigned, double>> truth;  // channel -> sample -> value
    bool present[2] = {false, false};
    bool velocitySeen = false;
    unsigned time = 1000;
    for (int b = 0; b < blocks; ++b) {
      const int eyes = static_cast<int>(random() % 3);
      const bool vel = random() % 2 == 0;
      // An eye whose block writes dots only: announced, never present.
      const int dotted = random() % 4 == 0 ? static_cast<int>(random() % 2) : -1;
      const std::string eyeText = kEyes[eyes];
      if (b == 0) {
        text = Head(eyeText, "1000.00", vel, time);
      } else {
        text += "START\t" + std::to_string(time) + " \t" + eyeText + "\tSAMPLES\tEVENTS\n" + "SAMPLES\tGAZE\t" +
                eyeText + (vel ? "\tVEL" : "") + "\tRATE\t1000.00\tTRACKING\tCR\tFILTER\t2\n";
      }
      velocitySeen = velocitySeen || vel;
      const std::vector<int> sides = eyes == 2 ? std::vector<int>{0, 1} : std::vector<int>{eyes};
      for (unsigned k = 0; k < 20; ++k, ++time) {
        const unsigned s = time - 1000;
        std::string line = std::to_string(time);
        std::string velocities;
        for (const int side : sides) {
          const std::string eye = side == 0 ? "L" : "R";
          const bool dots = side == dotted;
          const double x = 100.5 * (side + 1) + s, y = 50.25 + s, pupil = 900 + s, vx = -1.5 - s, vy = 2.5 + b;
          line += dots ? "\t   .\t   .\t    0.0" : "\t" + std::to_string(x) + "\t" + std::to_string(y) + "\t" + std::to_string(pupil);
          velocities += dots ? "\t   .\t   ." : "\t" + std::to_string(vx) + "\t" + std::to_string(vy);
          if (dots) continue;
          present[side] = true;
          truth["eye" + eye + "x"][s] = x;
          truth["eye" + eye + "y"][s] = y;
          truth["eye" + eye + "p"][s] = pupil;
          if (vel) {
            truth["eye" + eye + "xVel"][s] = vx;
            truth["eye" + eye + "yVel"][s] = vy;
          }
        }
        text += line + (vel ? velocities : "") + "\t.....\n";
      }
      text += End(time - 1);
      time += 5;  // a few samples between blocks that no line writes
    }
    std::vector<std::string> names;
    for (const char* eye : {"L", "R"}) {
      if (!present[eye[0] == 'R']) continue;
      names.push_back(std::string("eye") + eye + "x");
      names.push_back(std::string("eye") + eye + "y");
      if (p.pupilSize) names.push_back(std::string("eye") + eye + "p");
    }
    for (const char* eye : {"L", "R"}) {
      if (!present[eye[0] == 'R'] || !p.velocityChannels || !velocitySeen) continue;
      names.push_back(std::string("eye") + eye + "xVel");
      names.push_back(std::string("eye") + eye + "yVel");
    }
    names.push_back("blink");
    std::unique_ptr<AscRun> run;
    Capture([&] { run = std::make_unique<AscRun>(text, p); });
    ASSERT_TRUE(run->ok) << text;
    ASSERT_EQ(run->asc.ChannelNames(), names) << text;
    ASSERT_EQ(run->asc.Data().size(), static_cast<size_t>(run->asc.NbSamples()) * names.size());
    for (const std::string& name : names) {
      for (uint32_t s = 0; s < run->asc.NbSamples(); ++s) {
        const auto column = truth.find(name);
        const bool written = column != truth.end() && column->second.count(s) != 0;
        const double expected = name == "blink" ? 0.0 : written ? column->second.at(s) : AscRawData::kMissing;
        ASSERT_EQ(At(run->asc, name, s), expected) << "trial " << trial << ' ' << name << " sample " << s << '\n' << text;
      }
    }
  }
}

TEST(AscChannels, RoundingForIntegerEegRoundsHalvesAwayFromZero) {
  SynchroParams p = AscRun::Defaults();
  p.roundGaze = true;
  AscRun run(Head() + Mono(1000, "511.5", "-0.5") + Mono(1001, "2.49", "-2.5") + End(1003), p);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(At(run.asc, "eyeLx", 0), 512.0);
  EXPECT_EQ(At(run.asc, "eyeLy", 0), -1.0);
  EXPECT_EQ(At(run.asc, "eyeLx", 1), 2.0);
  EXPECT_EQ(At(run.asc, "eyeLy", 1), -3.0);
  EXPECT_EQ(At(run.asc, "eyeLx", 2), -2000.0);
  AscRun plain(Head() + Mono(1000, "511.5", "-0.5") + End(1001));
  EXPECT_EQ(At(plain.asc, "eyeLx", 0), 511.5);
}

TEST(AscChannels, AnEmptyGridFailsTheOrganisation) {
  AscRawData asc;
  const std::string out = Capture([&] { EXPECT_FALSE(asc.OrganizeData(AscRun::Defaults())); });
  EXPECT_NE(out.find("AscRawData::OrganizeData !(myNbSamples && myNbChannels) \n"), std::string::npos);
}

/// A BEGIN TRANSITION message of 18 tokens.
std::string Transition(unsigned time, const std::string& item, unsigned frameMicroseconds) {
  return "MSG\t" + std::to_string(time) + " BEGIN TRANSITION time_transition t 100 1 x " + item + " v v.avi 10 " +
         std::to_string(frameMicroseconds) + " 0 0 100 100\n";
}

TEST(AscFrames, VideoFramesAreMarkedBackwardsByTheirDurationWithinTheItem) {
  // The video's frame messages count while it is open; its first advance (3) has frames before it.
  const std::string text = Head() + "MSG\t1000 BEGIN PHASE TESTING\n" + Transition(1001, "IMAGE", 1000) +
                           "MSG\t1002 END TRANSITION TIMEOUT\n" + Transition(1002, "VIDEOWITHSOUND", 2000) +
                           "MSG\t1003 BEGIN FRAME 3\n" +
                           "MSG\t1010 BEGIN FRAME 5\n" + "MSG\t1012 BEGIN FRAME 8\n" +
                           "MSG\t1020 END TRANSITION TIMEOUT\n" + "MSG\t1021 END PHASE\n" + End(1022);
  SynchroParams p = AscRun::Defaults();
  p.framesInEvents = true;
  AscRun run(text, p);
  ASSERT_TRUE(run.ok);
  const Displayable& video = *run.asc.Displayables()[1];
  EXPECT_EQ(video.type, 1003);
  EXPECT_EQ(video.start, 2u);
  EXPECT_EQ(video.end, 20u);
  // 1003: 3 frames, only the sample itself fits (1001 is before the item): 2 left unplaced.
  EXPECT_EQ(video.frameFirst, 2);
  // 1 + (10, 8) + (12, 10, 8).
  EXPECT_EQ(video.framePlayed, 6);
  std::vector<uint32_t> frames;
  for (const auto& f : run.asc.Frames()) frames.push_back(f->start);
  EXPECT_EQ(frames, (std::vector<uint32_t>{3, 8, 10, 12}));
  for (uint32_t k : frames) EXPECT_EQ(run.asc.Status()[k] & 16, 16);
  size_t inEvents = 0;
  for (const Event* e : run.asc.AllEvents()) inEvents += e->type == 1005;
  EXPECT_EQ(inEvents, 4u);
  // With phases and no transitions parsed, one transition is made per item at its end.
  ASSERT_EQ(run.asc.Transitions().size(), 2u);
  EXPECT_EQ(run.asc.Transitions()[1]->start, 20u);
  EXPECT_EQ(run.asc.Transitions()[1]->type, 1006);
  EXPECT_EQ(run.asc.Transitions()[1]->name, "t");

  AscRun hidden(text);  // without -v the frames stay out of the combined list
  for (const Event* e : hidden.asc.AllEvents()) EXPECT_NE(e->type, 1005);
}

TEST(AscClosing, WithoutPhasesTheItemsCloseAtTheLastSampleAndTransitionsAndFramesAreDerived) {
  // With the stimulus program's name or another one: a warning, no refusal, the same derivation.
  for (const std::string software : {"", "MSG\t900 SOFTWARE NAME Tessark2\n", "MSG\t900 SOFTWARE NAME Other\n"}) {
    const std::string out = Capture([&] {
      AscRun run(software + Head() + "MSG\t1000 BEGIN SEQUENCE 1 s\n" + Transition(1001, "IMAGE", 1000) +
                 Mono(1001, "1", "1") + "MSG\t1002 END TRANSITION TIMEOUT\n" +
                 Transition(1003, "VIDEOWITHOUTSOUND", 1000) + "MSG\t1003 BEGIN FRAME 1\n" +
                 "MSG\t1005 BEGIN FRAME 2\n" + Mono(1006, "1", "1") + "MSG\t1008 late\n");
      ASSERT_TRUE(run.ok) << software;
      ASSERT_EQ(run.asc.Records().size(), 1u);
      EXPECT_EQ(run.asc.Records()[0]->end, 6u);
      // The open video and sequence end at the last sample line.
      ASSERT_EQ(run.asc.Displayables().size(), 2u);
      EXPECT_EQ(run.asc.Displayables()[1]->end, 6u);
      ASSERT_EQ(run.asc.Sequences().size(), 1u);
      EXPECT_EQ(run.asc.Sequences()[0]->end, 6u);
      ASSERT_EQ(run.asc.Transitions().size(), 2u) << software;
      EXPECT_EQ(run.asc.Transitions()[0]->start, 2u);
      EXPECT_EQ(run.asc.Transitions()[1]->start, 6u);
      EXPECT_EQ(run.asc.Displayables()[1]->framePlayed, 2);
      std::vector<uint32_t> frames;
      for (const auto& f : run.asc.Frames()) frames.push_back(f->start);
      EXPECT_EQ(frames, (std::vector<uint32_t>{3, 5}));
      EXPECT_NE(run.Log().find("No BEGIN PHASE message"), std::string::npos) << run.Log();
    });
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
    EXPECT_NE(out.find("Warning information is available in: "), std::string::npos) << out;
  }
  // A plain recording without any of the program's messages is no warning.
  AscRun plain(Head() + Mono(1001, "1", "1") + End(1002));
  ASSERT_TRUE(plain.ok);
  EXPECT_EQ(plain.Log(), "");
}

TEST(AscMarkers, EventsAreSortedByStartWithRecordsAfterEventsOfTheSameStart) {
  AscRun run(Head() + "MSG\t1000 BEGIN PHASE LEARNING\n" + "SFIX R 1001\n" + Mono(1000, "1", "1") +
             "MSG\t1001 BEGIN SEQUENCE 1 s\n" + "EFIX R 1001\t1003\t3\t1\t1\t1\n" + "SBLINK R 1002\n" +
             "EBLINK R 1002\t1003\t2\n" + "MSG\t1004 END SEQUENCE\n" + "MSG\t1005 END PHASE\n" + End(1006));
  ASSERT_TRUE(run.ok);
  std::vector<uint16_t> order;
  for (const Event* e : run.asc.AllEvents()) order.push_back(e->type);
  EXPECT_EQ(order, (std::vector<uint16_t>{1022, 1024, 1015, 1017, 1021}));
  std::vector<CMarker> markers;
  run.asc.GetEventMarkers(markers);
  ASSERT_EQ(markers.size(), 5u);
  EXPECT_EQ(markers[3].code, 1017);
  EXPECT_EQ(markers[3].position, 1u);
  EXPECT_EQ(markers[3].size, 2u);
  EXPECT_EQ(markers[3].type, 1u);
  EXPECT_EQ(markers[3].extra, 0u);
  EXPECT_EQ(markers[1].code, 1024);
  EXPECT_EQ(markers[1].size, 6u);  // the phase end closed the record
}

TEST(AscMarkers, TriggerMarkersCarryCodeIndexAndLine) {
  AscRun run(Head("LEFT", "500.00") + "INPUT\t1004\t9\n" + "INPUT\t1010\t17\n" + End(1012));
  ASSERT_TRUE(run.ok);
  std::vector<CMarker> markers(3);
  run.asc.GetTriggerMarkers(markers);
  ASSERT_EQ(markers.size(), 2u);
  EXPECT_EQ(markers[0].code, 9);
  EXPECT_EQ(markers[0].position, 2u);
  EXPECT_EQ(markers[0].size, 0u);
  EXPECT_EQ(markers[0].extra, 4u);
  EXPECT_EQ(markers[0].type, 1u);
  EXPECT_EQ(markers[1].position, 5u);
}

TEST(AscTriggerNames, DefaultsNameEveryCodeAndTheFileReplacesOrAdds) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "names.txt", "1 Start\n300   Extra\n7\n");
  SynchroParams p = AscRun::Defaults();
  p.triggersFileName = dir / "names.txt";
  AscRun run(Head() + Mono(1000, "1", "1") + End(1001), p);
  ASSERT_TRUE(run.ok);
  const auto& names = run.asc.TriggerNames();
  EXPECT_EQ(names.size(), 256u);
  EXPECT_EQ(names.at(1), "Start");
  EXPECT_EQ(names.at(300), "Extra");
  EXPECT_EQ(names.at(2), "trigger002");
  EXPECT_EQ(names.at(255), "trigger255");
  EXPECT_EQ(names.count(0), 0u);
  size_t defaults = 0;
  for (const auto& [code, name] : names) defaults += name.rfind("trigger", 0) == 0;
  EXPECT_EQ(defaults, 254u);

  p.triggersFileName = dir / "absent.txt";
  AscRun missing(Head() + Mono(1000, "1", "1") + End(1001), p);
  EXPECT_TRUE(missing.ok);
  EXPECT_EQ(missing.asc.TriggerNames().at(1), "trigger001");
}

TEST(AscEventFile, ListsEveryCodeWithItsNameAndCount) {
  AscRun run(Head() + Mono(1000, "1", "1") + End(1001));
  // An eye event is named by its type; a trigger by its trigger name, also with a code among the
  // eye events' (1016: no name for a trigger this recording never sent), and before an event of
  // that code.
  const Event fixation(1016, 10, 20, 7);
  std::vector<CMarker> markers(5);
  markers[0].code = 5;
  markers[1].code = 5;
  markers[2].code = 1016;
  markers[2].event = &fixation;
  markers[3].code = 1020;
  markers[4].code = 1016;
  const std::string path = run.Path("out.event.txt");
  ASSERT_TRUE(run.asc.WriteEventFile(path, markers));
  EXPECT_EQ(testsupport::ReadFile(path),
            "5         trigger005                     2\n"
            "256       segment256                     1\n"
            "1016                                     2\n"
            "1020                                     1\n");
}

}  // namespace
