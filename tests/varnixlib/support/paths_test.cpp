#include "varnixlib/support/paths.h"

#include <gtest/gtest.h>

#include "varnixlib/support/platform.h"
#include "varnixlib/support/rounding.h"

namespace {

const std::string S(1, Varnix::Platform::kSeparator);

TEST(SplitPath, EitherSeparatorSplitsAndComesOutNative) {
  const PathParts p = SplitPath("data\\sub/S01.asc");
  EXPECT_EQ(p.directory, "data" + S + "sub");
  EXPECT_EQ(p.base, "S01");
  EXPECT_EQ(p.extension, "asc");
}

TEST(SplitPath, DotInDirectoryIsNotAnExtension) {
  const PathParts p = SplitPath("./rec");
  EXPECT_EQ(p.directory, ".");
  EXPECT_EQ(p.base, "rec");
  EXPECT_EQ(p.extension, "");
}

TEST(SplitPath, OnlyTheLastDotStartsTheExtension) {
  const PathParts p = SplitPath("./data.asc.backup.eeg");
  EXPECT_EQ(p.base, "data.asc.backup");
  EXPECT_EQ(p.extension, "eeg");
}

TEST(MakePath, JoinsWithNativeSeparatorAndKeepsRoot) {
  EXPECT_EQ(MakePath("out", "S01", "ttl"), "out" + S + "S01.ttl");
  EXPECT_EQ(MakePath("", "S01", "ttl"), "S01.ttl");
  EXPECT_EQ(ReplaceExtension("./S01.eeg", "vhdr"), "." + S + "S01.vhdr");
  EXPECT_EQ(BaseName("out/synchro_S01.asc.eeg"), "synchro_S01.asc");
#ifndef _WIN32
  EXPECT_EQ(ReplaceExtension("/S01.eeg", "vmrk"), "/S01.vmrk");
#endif
}

TEST(RoundHalfAway, HalvesGoAwayFromZero) {
  EXPECT_EQ(RoundHalfAway(2.5), 3.0);
  EXPECT_EQ(RoundHalfAway(-2.5), -3.0);
  EXPECT_EQ(RoundHalfAway(2.4999), 2.0);
  EXPECT_EQ(RoundHalfAway(-0.4), 0.0);
  EXPECT_EQ(RoundHalfAway(333.333), 333.0);
}

}  // namespace
