#include "varnixlib/asc/ttlfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/coutcapture.h"
#include "support/fulldisk.h"
#include "support/testsupport.h"

namespace {

TEST(TtlFile, ReadsPairsInMicrosecondsAsMillisecondsUntilThePairThatDoesNotParse) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "S01.ttl", "0 5\n1500 7\n  2499\t9\n3000 x\n4000 11\n");
  const std::vector<Trigger> t = TtlFile::Read(dir / "S01.asc");
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].type, 5);
  EXPECT_EQ(t[0].start, 0u);
  EXPECT_EQ(t[1].start, 2u);  // 1.5 ms rounds half away from zero
  EXPECT_EQ(t[1].end, 2u);
  EXPECT_EQ(t[2].start, 2u);
  EXPECT_EQ(t[2].type, 9);
  EXPECT_EQ(t[2].line, 0u);
  EXPECT_TRUE(TtlFile::Read(dir / "absent.asc").empty());
  testsupport::WriteFile(dir / "neg.ttl", "-5 3\n");
  EXPECT_TRUE(TtlFile::Read(dir / "neg.asc").empty());
  // 4294967295 ms is the last position there is; a later time ends the list like a bad pair.
  testsupport::WriteFile(dir / "far.ttl", "4294967295000 1\n4294967296000 2\n18446744073709551615 3\n");
  const std::vector<Trigger> far = TtlFile::Read(dir / "far.asc");
  ASSERT_EQ(far.size(), 1u);
  EXPECT_EQ(far[0].start, 4294967295u);
}

TEST(TtlFile, TheWrittenFileReadsBackWithinTheJitter) {
  testsupport::TempDir dir;
  std::vector<std::unique_ptr<Trigger>> triggers;
  // Sample indices of a 500 Hz grid beside the tracker's times: the file holds the times.
  triggers.push_back(std::make_unique<Trigger>(3, 50, 1, 70100));
  triggers.push_back(std::make_unique<Trigger>(4, 50, 2, 70100));  // same time as the first
  triggers.push_back(std::make_unique<Trigger>(5, 175, 3, 70350));
  triggers.push_back(std::make_unique<Trigger>(6, 550, 4, 71100));
  ASSERT_TRUE(TtlFile::Write(triggers, dir / "S01.asc"));
  const std::string text = testsupport::ReadFile(dir / "S01.ttl");
  EXPECT_EQ(text.substr(0, 4), "0 3\n");
  const std::vector<Trigger> back = TtlFile::Read(dir / "S01.asc");
  ASSERT_EQ(back.size(), 4u);  // a jitter that would go below 0 must not end the file early
  const uint32_t expected[] = {0, 0, 250, 1000};
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(back[k].type, triggers[k]->type);
    EXPECT_LE(back[k].start, expected[k]);
    EXPECT_GE(back[k].start + 2, expected[k]);
  }
  std::vector<std::unique_ptr<Trigger>> none;
  EXPECT_TRUE(TtlFile::Write(none, dir / "E.asc"));
  EXPECT_FALSE(testsupport::ReadFile(dir / "E.ttl").size());
}

}  // namespace

namespace {

TEST(TtlFile, AWriteThatCannotBeCompletedLeavesNoFileAndSaysSo) {
  testsupport::TempDir dir;
  std::vector<std::unique_ptr<Trigger>> triggers;
  for (uint32_t k = 0; k < 500; ++k) triggers.push_back(std::make_unique<Trigger>(3, 100 + 10 * k, k));
  CoutCapture out;
  EXPECT_FALSE(TtlFile::Write(triggers, dir / "absent/S01.asc"));
  {
    FullDiskAfter full(64);
    EXPECT_FALSE(TtlFile::Write(triggers, dir / "S01.asc"));
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "S01.ttl"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  EXPECT_NE(out.Text().find("TtlFile::Write::pf"), std::string::npos) << out.Text();
  EXPECT_NE(out.Text().find("TtlFile::Write::write"), std::string::npos) << out.Text();
}

}  // namespace
