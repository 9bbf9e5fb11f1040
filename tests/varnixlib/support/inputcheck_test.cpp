#include "varnixlib/support/inputcheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/testsupport.h"

namespace {

void WriteEegSet(const testsupport::TempDir& dir, const std::string& base) {
  testsupport::WriteFile(dir / (base + ".eeg"), "");
  testsupport::WriteFile(dir / (base + ".vhdr"), "");
  testsupport::WriteFile(dir / (base + ".vmrk"), "");
}

TEST(InputCheckAsc, AscFileIsAcceptedWithoutLookingInside) {
  testsupport::TempDir dir;
  const std::string asc = dir / "S01.asc";
  testsupport::WriteFile(asc, "MSG 1 hello\n");
  SynchroParams params;
  ASSERT_TRUE(InputCheck::Asc(params, asc));
  EXPECT_EQ(params.ascFileName, asc);
  EXPECT_EQ(params.ascMatFileName, asc + ".mat");
  EXPECT_EQ(params.extFileName, "");
  EXPECT_EQ(params.triggersFileName, "");

  const std::string upper = dir / "S02.ASC";
  testsupport::WriteFile(upper, "");
  EXPECT_TRUE(InputCheck::Asc(params, upper));
}

TEST(InputCheckAsc, OtherExtensionNeedsTheConvertedMarkInTheFirstLine) {
  testsupport::TempDir dir;
  const std::string good = dir / "rec.txt";
  testsupport::WriteFile(good, "** CONVERTED FROM D:\\rec.edf using edfapi 4.2\r\n** DATE: x\n");
  const std::string late = dir / "late.txt";
  testsupport::WriteFile(late, "first line\n** CONVERTED FROM D:\\rec.edf\n");
  const std::string eeg = dir / "S01.eeg";
  testsupport::WriteFile(eeg, std::string("\x01\x02\x00\x00", 4));
  SynchroParams params;
  EXPECT_TRUE(InputCheck::Asc(params, good));
  EXPECT_FALSE(InputCheck::Asc(params, late));
  EXPECT_FALSE(InputCheck::Asc(params, eeg));
  EXPECT_FALSE(InputCheck::Asc(params, dir / "missing.asc"));
}

TEST(InputCheckAsc, DirectoryNamedLikeARecordingIsRefused) {
  testsupport::TempDir dir;
  std::filesystem::create_directory(dir / "S01.asc");
  SynchroParams params;
  EXPECT_FALSE(InputCheck::Asc(params, dir / "S01.asc"));
}

TEST(InputCheckAsc, CompanionFilesAreFoundAndTheExtFileNamesTheMatFile) {
  testsupport::TempDir dir;
  const std::string asc = dir / "S01.asc";
  testsupport::WriteFile(asc, "");
  testsupport::WriteFile(asc + ".ext", "");
  testsupport::WriteFile(asc + ".trig.txt", "1 a\n");
  SynchroParams params;
  ASSERT_TRUE(InputCheck::Asc(params, asc));
  EXPECT_EQ(params.extFileName, asc + ".ext");
  EXPECT_EQ(params.triggersFileName, asc + ".trig.txt");
  EXPECT_EQ(params.ascMatFileName, asc + ".ext.mat");
}

TEST(InputCheckAsc, GivenTriggersFileMustExistAndIsKept) {
  testsupport::TempDir dir;
  const std::string asc = dir / "S01.asc";
  testsupport::WriteFile(asc, "");
  testsupport::WriteFile(asc + ".trig.txt", "");
  SynchroParams params;
  params.triggersFileName = dir / "names.txt";
  EXPECT_FALSE(InputCheck::Asc(params, asc));
  testsupport::WriteFile(dir / "names.txt", "");
  ASSERT_TRUE(InputCheck::Asc(params, asc));
  EXPECT_EQ(params.triggersFileName, dir / "names.txt");
}

TEST(InputCheckEeg, NeedsDataHeaderAndMarkerFiles) {
  testsupport::TempDir dir;
  WriteEegSet(dir, "S01");
  SynchroParams params;
  ASSERT_TRUE(InputCheck::Eeg(params, dir / "S01.eeg"));
  EXPECT_EQ(params.eegFileName, dir / "S01.eeg");
  EXPECT_EQ(params.eegMatFileName, dir / "S01.eeg.mat");

  std::filesystem::remove(dir / "S01.vmrk");
  EXPECT_FALSE(InputCheck::Eeg(params, dir / "S01.eeg"));
  WriteEegSet(dir, "S01");
  std::filesystem::remove(dir / "S01.vhdr");
  EXPECT_FALSE(InputCheck::Eeg(params, dir / "S01.eeg"));
  WriteEegSet(dir, "S01");
  std::filesystem::remove(dir / "S01.eeg");
  EXPECT_FALSE(InputCheck::Eeg(params, dir / "S01.eeg"));
}

}  // namespace
