#include "driver/nameresolver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/testsupport.h"
#include "varnixlib/support/platform.h"

namespace {

const std::string S(1, Varnix::Platform::kSeparator);

void WriteEegSet(const std::string& base) {
  testsupport::WriteFile(base + ".eeg", "");
  testsupport::WriteFile(base + ".vhdr", "");
  testsupport::WriteFile(base + ".vmrk", "");
}

TEST(NameResolver, ExtensionTestWantsMoreThanFourCharactersEndingInAscOrEeg) {
  EXPECT_TRUE(NameResolver::HasAscOrEegExtension("S01.asc"));
  EXPECT_TRUE(NameResolver::HasAscOrEegExtension("S01.EEG"));
  EXPECT_TRUE(NameResolver::HasAscOrEegExtension("a.AsC"));
  EXPECT_FALSE(NameResolver::HasAscOrEegExtension(".asc"));
  // The header and marker files name the recording as well (a deliberate widening).
  EXPECT_TRUE(NameResolver::HasAscOrEegExtension("S01.vhdr"));
  EXPECT_TRUE(NameResolver::HasAscOrEegExtension("S01.VMRK"));
  EXPECT_FALSE(NameResolver::HasAscOrEegExtension(".vhdr"));
  EXPECT_FALSE(NameResolver::HasAscOrEegExtension("S01.vhdr.txt"));
  EXPECT_FALSE(NameResolver::HasAscOrEegExtension("S01.asc.txt"));
  EXPECT_FALSE(NameResolver::HasAscOrEegExtension(""));
}

TEST(NameResolver, OneNameCompletionReplacesTheFirstMatchAndKeepsCase) {
  EXPECT_EQ(NameResolver::CompleteOneName("S01.asc"), "S01.eeg");
  EXPECT_EQ(NameResolver::CompleteOneName("S01.ASC"), "S01.eeg");
  EXPECT_EQ(NameResolver::CompleteOneName("S01.EEG"), "S01.asc");
  EXPECT_EQ(NameResolver::CompleteOneName("Sub.Eeg"), "Sub.asc");
  EXPECT_EQ(NameResolver::CompleteOneName("data.asc.backup.eeg"), "data.eeg.backup.eeg");
  EXPECT_EQ(NameResolver::CompleteOneName("A.EEG.x.ASC"), "A.EEG.x.eeg");
}

TEST(NameResolver, OneNameCompletionLeavesTheDirectoryAlone) {
  EXPECT_EQ(NameResolver::CompleteOneName("exp.asc.d/S01.eeg"), "exp.asc.d/S01.asc");
  EXPECT_EQ(NameResolver::CompleteOneName("x.eeg\\S01.EEG"), "x.eeg\\S01.asc");
  EXPECT_EQ(NameResolver::CompleteOneName("S01.vhdr"), "S01.asc");
  EXPECT_EQ(NameResolver::CompleteOneName("x.vhdr/S01.VMRK"), "x.vhdr/S01.asc");
}

TEST(NameResolver, BareNamesBecomeRelativeToTheCurrentDirectory) {
  EXPECT_EQ(NameResolver::MakeRelative("S01.asc"), "." + S + "S01.asc");
  EXPECT_EQ(NameResolver::MakeRelative("d/S01.asc"), "d" + S + "S01.asc");
  EXPECT_EQ(NameResolver::MakeRelative("d\\S01.asc"), "d" + S + "S01.asc");
  EXPECT_EQ(NameResolver::MakeRelative("/abs/S01.asc"), S + "abs" + S + "S01.asc");
}

TEST(NameResolver, RolesAreTriedBothWays) {
  testsupport::TempDir dir;
  const std::string asc = dir / "y.asc";
  testsupport::WriteFile(asc, "");
  WriteEegSet(dir / "x");
  SynchroParams first;
  ASSERT_TRUE(NameResolver::AssignRoles(first, dir / "x.eeg", asc));
  EXPECT_EQ(first.ascFileName, asc);
  EXPECT_EQ(first.eegFileName, dir / "x.eeg");
  SynchroParams second;
  ASSERT_TRUE(NameResolver::AssignRoles(second, asc, dir / "x.eeg"));
  EXPECT_EQ(second.ascFileName, asc);
  EXPECT_EQ(second.eegFileName, dir / "x.eeg");
  EXPECT_EQ(second.eegMatFileName, dir / "x.eeg.mat");
}

TEST(NameResolver, FailedFirstAssignmentLeavesNoCompanionBehind) {
  // a.asc passes as ASC file and picks up its triggers file, but b.asc is no EEG recording; the
  // other way round b.asc (an EDF2ASC export) is the ASC file and must not inherit a's triggers.
  testsupport::TempDir dir;
  const std::string a = dir / "a.asc";
  const std::string b = dir / "b.asc";
  testsupport::WriteFile(a, "");
  testsupport::WriteFile(a + ".trig.txt", "1 first\n");
  testsupport::WriteFile(a + ".ext", "");
  testsupport::WriteFile(dir / "a.vhdr", "");
  testsupport::WriteFile(dir / "a.vmrk", "");
  testsupport::WriteFile(b, "** CONVERTED FROM b.edf\n");
  SynchroParams params;
  ASSERT_TRUE(NameResolver::AssignRoles(params, a, b));
  EXPECT_EQ(params.ascFileName, b);
  EXPECT_EQ(params.eegFileName, a);
  EXPECT_EQ(params.triggersFileName, "");
  EXPECT_EQ(params.extFileName, "");
  EXPECT_EQ(params.ascMatFileName, b + ".mat");
}

TEST(NameResolver, BothAssignmentsFailingRestoresTheParameters) {
  testsupport::TempDir dir;
  const std::string a = dir / "a.asc";
  testsupport::WriteFile(a, "");
  testsupport::WriteFile(a + ".trig.txt", "");
  SynchroParams params;
  EXPECT_FALSE(NameResolver::AssignRoles(params, a, dir / "missing.eeg"));
  EXPECT_EQ(params.triggersFileName, "");
  EXPECT_EQ(params.ascFileName, "");
  EXPECT_EQ(params.eegFileName, "");
}

TEST(NameResolver, ResolveReportsTheKindOfFailure) {
  testsupport::TempDir dir;
  SynchroParams params;
  EXPECT_EQ(NameResolver::Resolve(params, "S01.txt", "S01.txt"), NameResolver::Result::NoAscOrEegName);
  EXPECT_EQ(NameResolver::Resolve(params, dir / "S01.asc", dir / "S01.asc"),
            NameResolver::Result::FilesNotFound);
  testsupport::WriteFile(dir / "S01.asc", "");
  WriteEegSet(dir / "S01");
  EXPECT_EQ(NameResolver::Resolve(params, dir / "S01.asc", dir / "S01.asc"), NameResolver::Result::Resolved);
  EXPECT_EQ(params.ascFileName, dir / "S01.asc");
  EXPECT_EQ(params.eegFileName, dir / "S01.eeg");
}

TEST(NameResolver, ExtensionTestPassesWhenOnlyOneOfTwoNamesQualifies) {
  testsupport::TempDir dir;
  const std::string rec = dir / "rec.txt";
  testsupport::WriteFile(rec, "** CONVERTED FROM rec.edf\n");
  WriteEegSet(dir / "x");
  SynchroParams params;
  EXPECT_EQ(NameResolver::Resolve(params, rec, dir / "x.eeg"), NameResolver::Result::Resolved);
  EXPECT_EQ(params.ascFileName, rec);
}

}  // namespace
