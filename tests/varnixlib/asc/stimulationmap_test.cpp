#include "varnixlib/asc/stimulationmap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/coutcapture.h"
#include "support/fulldisk.h"
#include "support/testsupport.h"
#include "varnixlib/asc/eventtypes.h"

namespace {

TEST(StimulationMap, CountsCodesWritesThemInOrderAndReadsThemBack) {
  testsupport::TempDir dir;
  StimulationMap map;
  map.Add(1016, "flowFixationLeft");
  map.Add(5, "trigger005");
  map.Add(5, "ignored");
  ASSERT_TRUE(map.Write(dir / "m.txt"));
  EXPECT_EQ(testsupport::ReadFile(dir / "m.txt"),
            "5         trigger005                     2\n"
            "1016      flowFixationLeft               1\n");
  StimulationMap back;
  ASSERT_TRUE(back.Read(dir / "m.txt"));
  ASSERT_EQ(back.Entries().size(), 2u);
  EXPECT_EQ(back.Entries().at(5).name, "trigger005");
  EXPECT_EQ(back.Entries().at(5).count, 2);
  EXPECT_EQ(back.Entries().at(1016).count, 1);
}

TEST(StimulationMap, MissingOrUnwritableFilesAreErrors) {
  testsupport::TempDir dir;
  StimulationMap map;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(map.Read(dir / "absent.txt"));
  EXPECT_FALSE(map.Write(dir / "no/such/dir.txt"));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("File doesn't exist : "), std::string::npos);
  EXPECT_NE(out.find("Opening log file : "), std::string::npos);
}

TEST(EventTypes, TheTableNamesEveryCodeFrom1000To1024AndNothingElse) {
  EXPECT_EQ(EventTypes::Name(1000), "displayableSpecial");
  EXPECT_EQ(EventTypes::Name(1005), "displayableFrame");
  EXPECT_EQ(EventTypes::Name(1014), "transitionSpecial");
  EXPECT_EQ(EventTypes::Name(1016), "flowFixationLeft");
  EXPECT_EQ(EventTypes::Name(1021), "flowBlinkRight");
  EXPECT_EQ(EventTypes::Name(1024), "recordStep");
  EXPECT_EQ(EventTypes::Name(999), "");
  EXPECT_EQ(EventTypes::Name(1025), "");
}

}  // namespace

namespace {

TEST(StimulationMap, AFailedRewriteKeepsThePreviousListWhole) {
  testsupport::TempDir dir;
  StimulationMap first;
  first.Add(5, "trigger005");
  ASSERT_TRUE(first.Write(dir / "events.txt"));
  const std::string before = testsupport::ReadFile(dir / "events.txt");
  StimulationMap second;
  for (uint16_t code = 1; code < 200; ++code) second.Add(code, "code" + std::to_string(code));
  {
    CoutCapture quiet;
    FullDiskAfter full(100);
    EXPECT_FALSE(second.Write(dir / "events.txt"));
    EXPECT_NE(quiet.Text().find("StimulationMap::Write::write"), std::string::npos) << quiet.Text();
  }
  EXPECT_EQ(testsupport::ReadFile(dir / "events.txt"), before);
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    EXPECT_EQ(entry.path().filename(), "events.txt") << "left behind";
  }
}

}  // namespace
