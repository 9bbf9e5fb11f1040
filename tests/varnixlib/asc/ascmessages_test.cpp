// Triggers taken from the tracker's messages (-M): the codes and times a real recording holds, the
// offset field, codes glued to the keyword or followed by other numbers, messages out of order,
// skipped codes, and a keyword no message carries.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "asctestfile.h"
#include "support/testsupport.h"

using asctest::AscRun;
using asctest::End;
using asctest::Head;
using asctest::Mono;

namespace {

SynchroParams WithKeyword(const std::string& keyword) {
  SynchroParams p = AscRun::Defaults();
  p.triggerMessage = keyword;
  return p;
}

std::string Samples(unsigned from, unsigned to) {
  std::string text;
  for (unsigned t = from; t < to; ++t) text += Mono(t, "1", "1");
  return text;
}

}  // namespace

TEST(AscMessageTriggers, TheRealRecordingsTriggerMessagesAreReadAsWritten) {
  REQUIRE_REALDATA();
  const std::string path = testsupport::RealDataDir() + "/asc/bino-500-ttl-codes.asc";
  // The messages as the file holds them, read here on their own.
  std::vector<std::pair<uint32_t, uint16_t>> expected;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string msg, keyword;
    uint32_t time = 0;
    int code = 0;
    if (words >> msg >> time >> keyword >> code && msg == "MSG" && keyword == "trigger:") expected.push_back({time, code});
  }
  ASSERT_GE(expected.size(), 10u);
  testsupport::TempDir dir;
  SynchroParams params = WithKeyword("trigger:");
  params.ascFileName = path;
  AscRawData asc;
  asc.OpenLog(dir / "Log-AscRawData.txt");
  testing::internal::CaptureStdout();
  ASSERT_TRUE(asc.Process(params));
  testing::internal::GetCapturedStdout();
  std::vector<CMarker> triggers;
  asc.GetTriggerMarkers(triggers);
  ASSERT_EQ(triggers.size(), expected.size());
  for (size_t i = 0; i < triggers.size(); ++i) {
    EXPECT_EQ(triggers[i].time, expected[i].first) << i;
    EXPECT_EQ(triggers[i].code, expected[i].second) << i;
    EXPECT_EQ(triggers[i].position, (expected[i].first - asc.StartTimestamp()) / (asc.SamplePeriodUs() / 1000)) << i;
  }
}

TEST(AscMessageTriggers, OffsetsGluedCodesOtherNumbersDisorderAndSkippedCodes) {
  const std::string text = Head() + Samples(1000, 1010) + "MSG\t1010 TRIALID 7 block 2\n" + Samples(1010, 1020) +
                           "MSG\t1024 4 TRIALID 9\n" +          // stands for 1020, after the next one
                           "MSG\t1021 TRIALID12\n" + Samples(1020, 1030) +
                           "MSG\t1030 TRIALID NA\nMSG\t1031 TRIALID 70000\nMSG\t1032 TRIALIDS 5\n" +
                           "INPUT\t1033\t44\n" + Samples(1030, 1040) + End(1040);
  AscRun run(text, WithKeyword("TRIALID"));
  ASSERT_TRUE(run.ok) << run.Log();
  std::vector<CMarker> triggers;
  run.asc.GetTriggerMarkers(triggers);
  std::vector<std::pair<double, int>> got;
  for (const CMarker& m : triggers) got.push_back({m.time, m.code});
  // In time order; the INPUT line's code is not among them; "TRIALIDS" is another word.
  EXPECT_EQ(got, (std::vector<std::pair<double, int>>{{1010, 7}, {1020, 9}, {1021, 12}}));
  EXPECT_NE(run.Log().find("2 message(s) with the trigger keyword \"TRIALID\" skipped"), std::string::npos) << run.Log();
  EXPECT_NE(run.Log().find("MSG\t1030 TRIALID NA"), std::string::npos) << run.Log();
  // A keyword of two words.
  AscRun two(Head() + Samples(1000, 1005) + "MSG\t1005 START TRIAL 3\n" + Samples(1005, 1010) + End(1010),
             WithKeyword("START TRIAL"));
  ASSERT_TRUE(two.ok);
  two.asc.GetTriggerMarkers(triggers);
  ASSERT_EQ(triggers.size(), 1u);
  EXPECT_EQ(triggers[0].code, 3);
}

TEST(AscMessageTriggers, AKeywordNoMessageCarriesNamesTheWordsTheFileUses) {
  const std::string text = Head() + Samples(1000, 1005) + "MSG\t1001 TRIALID 1\nMSG\t1002 TRIALID 2\n" +
                           "MSG\t1003 SYNCTIME\nMSG\t1004 TRIALID 3\nMSG\t1004 SYNCTIME\nMSG\t1004 -2 DRAW\n" + End(1005);
  std::string out;
  out = asctest::Capture([&] {
    AscRun run(text, WithKeyword("trigger:"));
    EXPECT_FALSE(run.ok);
  });
  EXPECT_NE(out.find("no message carries a trigger after the keyword \"trigger:\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"TRIALID\" (3), \"SYNCTIME\" (2), \"DRAW\" (1)"), std::string::npos) << out;
}
