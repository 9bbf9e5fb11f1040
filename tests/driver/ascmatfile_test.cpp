// The ASC MAT file inside a run (-m): written beside the ASC file with its event-type file and
// loaded by scipy against the ASC text itself, for hand-made, real and simulated recordings; a MAT
// file that cannot be created ends the run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "programrun.h"
#include "support/testsupport.h"
#include "varnixlib/support/platform.h"

namespace {

namespace fs = std::filesystem;
const std::string S(1, Varnix::Platform::kSeparator);

void WriteEeg(const testsupport::TempDir& dir) {
  testsupport::WriteFile(dir / "S01.vhdr",
                         "Brain Vision Data Exchange Header File Version 1.0\r\n"
                         "[Common Infos]\r\nCodepage=UTF-8\r\nDataFile=S01.eeg\r\nMarkerFile=S01.vmrk\r\n"
                         "DataFormat=BINARY\r\nDataOrientation=MULTIPLEXED\r\nNumberOfChannels=2\r\n"
                         "SamplingInterval=2000\r\n[Binary Infos]\r\nBinaryFormat=IEEE_FLOAT_32\r\n"
                         "[Channel Infos]\r\nCh1=Fp1,,0.1,uV\r\nCh2=Fp2,,0.1,uV\r\n");
  testsupport::WriteFile(dir / "S01.vmrk",
                         "Brain Vision Data Exchange Marker File, Version 1.0\r\n[Common Infos]\r\nDataFile=S01.eeg\r\n"
                         "[Marker Infos]\r\nMk1=New Segment,,1,1,0,20190412101530123456\r\n");
  testsupport::WriteFile(dir / "S01.eeg", std::string(40, '\0'));
}

const std::string kAsc =
    "** CONVERTED FROM S01.edf\nMSG\t1000 DISPLAY_COORDS 0 0 1919 1079\nSTART\t1000 \tLEFT\tSAMPLES\tEVENTS\n"
    "SAMPLES\tGAZE\tLEFT\tRATE\t500.00\nINPUT\t1000\t5\n1000\t10.4\t20.6\t3.0\t...\nSFIX L 1002\n"
    "1002\t11.5\t21.5\t3.0\t...\nEFIX L 1002\t1004\t4\t11.5\t21.5\t3\nINPUT\t1003\t0\nINPUT\t1004\t9\n"
    "1004\t11.5\t21.5\t3.0\t...\nSBLINK L 1006\n1006\t.\t.\t0.0\t...\n1008\t.\t.\t0.0\t...\n"
    "EBLINK L 1006\t1008\t4\n1010\t1\t1\t3.0\t...\nEND\t1012 \tSAMPLES\tEVENTS\n";

/// Runs the scipy check of the ASC MAT file of dir/S01.asc; "" when it passed, else its output.
std::string ScipyCheck(const testsupport::TempDir& dir, const std::string& channels) {
  const std::string script = std::string(TOLMERA_SOURCE_DIR) + "/tests/driver/check_ascmat.py";
  const std::string command = std::string(TOLMERA_PYTHON) + " \"" + script + "\" \"" + (dir / "S01.asc.mat") +
                              "\" \"" + (dir / "S01.asc") + "\" \"" + (dir / "S01.asc.event.txt") + "\" " +
                              channels + " > \"" + (dir / "check.txt") + "\" 2>&1";
  const int status = std::system(command.c_str());
  const std::string out = testsupport::ReadFile(dir / "check.txt");
  return status == 0 && out == "OK\n" ? "" : out;
}

ProgramRun RunOn(const testsupport::TempDir& dir, std::vector<std::string> options) {
  options.insert(options.begin(), "S01.asc");
  return RunTolmera(dir.Path().string(), options);
}

TEST(AscMatFile, WithMTheFileAndTheEventTypeFileAreWrittenAndLoadInScipy) {
  testsupport::TempDir dir;
  WriteEeg(dir);
  testsupport::WriteFile(dir / "S01.asc", kAsc);
  const ProgramRun run = RunOn(dir, {"-m", "-p"});
  // The fixture has no EEG trigger, so only the synchronisation after the export may complain.
  EXPECT_EQ(run.out.find("SaveMatFile"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("MatComponents"), std::string::npos) << run.out;
  ASSERT_TRUE(fs::exists(dir / "S01.asc.mat")) << run.out << run.err;
  ASSERT_TRUE(fs::exists(dir / "S01.asc.event.txt"));
  EXPECT_EQ(ScipyCheck(dir, "eyeLx,eyeLy,eyeLp,blink"), "");
  EXPECT_EQ(testsupport::ReadFile(dir / "S01.asc.event.txt"),
            "5         trigger005                     1\n"
            "9         trigger009                     1\n"
            "1016      flowFixationLeft               1\n"
            "1020      flowBlinkLeft                  1\n"
            "1024      recordStep                     1\n");
}

TEST(AscMatFile, TheFileFromTheParseCacheIsByteIdenticalToTheParsedOne) {
  testsupport::TempDir dir;
  WriteEeg(dir);
  testsupport::WriteFile(dir / "S01.asc", kAsc);
  RunOn(dir, {"-m", "-G"});
  const std::string parsed = testsupport::ReadFile(dir / "S01.asc.mat");
  ASSERT_TRUE(fs::exists(dir / "S01.asc.dbg"));
  RunOn(dir, {"-m", "-G"});
  EXPECT_FALSE(parsed.empty());
  EXPECT_TRUE(testsupport::ReadFile(dir / "S01.asc.mat") == parsed);
}

TEST(AscMatFile, WithoutMNoFileIsWrittenAndAnOldOneIsRemoved) {
  testsupport::TempDir dir;
  WriteEeg(dir);
  testsupport::WriteFile(dir / "S01.asc", kAsc);
  testsupport::WriteFile(dir / "S01.asc.mat", "old");
  const ProgramRun run = RunOn(dir, {});
  EXPECT_FALSE(fs::exists(dir / "S01.asc.mat")) << run.out;
  EXPECT_FALSE(fs::exists(dir / "S01.asc.event.txt"));
}

TEST(AscMatFile, AMatFileThatCannotBeCreatedEndsTheRunWithItsName) {
  testsupport::TempDir dir;
  WriteEeg(dir);
  testsupport::WriteFile(dir / "S01.asc", kAsc);
  // A folder of that name, not empty: neither removed nor opened as a file.
  fs::create_directory(dir / "S01.asc.mat");
  testsupport::WriteFile(dir / ("S01.asc.mat" + S + "keep"), "x");
  const ProgramRun run = RunOn(dir, {"-m"});
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(run.err, "!!! Can not create a valid MAT file -> ." + S + "S01.asc.mat\n");
  EXPECT_NE(run.out.find("AscRawData::SaveMatFile creating MAT file"), std::string::npos) << run.out;
  // The run ends at once: no statistics lines.
  EXPECT_EQ(run.out.find("Alignment errors [samples]"), std::string::npos) << run.out;
}

struct RealCase {
  const char* file;
  const char* channels;  ///< with -p; velocity columns whenever the file carries them
};

class AscMatFileOnRealRecordings : public ::testing::TestWithParam<RealCase> {};

TEST_P(AscMatFileOnRealRecordings, LoadsInScipyWithTriggersAndLineOffsetsOfTheAscText) {
  REQUIRE_REALDATA();
  testsupport::TempDir dir;
  WriteEeg(dir);
  fs::copy_file(testsupport::RealDataDir() + "/asc/" + GetParam().file, dir / "S01.asc");
  const ProgramRun run = RunOn(dir, {"-m", "-p"});
  ASSERT_TRUE(fs::exists(dir / "S01.asc.mat")) << run.out << run.err;
  EXPECT_EQ(ScipyCheck(dir, GetParam().channels), "") << GetParam().file;
}

INSTANTIATE_TEST_SUITE_P(
    All, AscMatFileOnRealRecordings,
    ::testing::Values(RealCase{"bino-500-ttl-codes.asc", "eyeLx,eyeLy,eyeLp,eyeRx,eyeRy,eyeRp,blink"},
                      RealCase{"bino-vel-res-500-crlf-24blocks.asc",
                               "eyeLx,eyeLy,eyeLp,eyeRx,eyeRy,eyeRp,eyeLxVel,eyeLyVel,eyeRxVel,eyeRyVel,blink"},
                      RealCase{"eyelink2-right-250-2004.asc", "eyeRx,eyeRy,eyeRp,blink"},
                      RealCase{"eyelinker-mono250.asc", "eyeLx,eyeLy,eyeLp,blink"},
                      RealCase{"left-vel-1000-crlf-24blocks.asc", "eyeLx,eyeLy,eyeLp,eyeLxVel,eyeLyVel,blink"},
                      RealCase{"right-1000-20blocks.asc", "eyeRx,eyeRy,eyeRp,blink"},
                      RealCase{"right-1000-input-column.asc", "eyeRx,eyeRy,eyeRp,blink"}));

#ifdef TOLMERA_SIM_PATH
/// Standard output without the parameter line that names -m.
std::string WithoutMatLine(std::string out) {
  const std::string line = "  Mat files output enabled   : YES\n";
  const size_t at = out.find(line);
  if (at != std::string::npos) out.erase(at, line.size());
  const size_t command = out.find("Tolmera S01.asc");
  if (command != std::string::npos) out.erase(command, out.find('\n', command) - command);
  return out;
}

TEST(AscMatFile, TheSynchronisationSeesTheSameTriggersWithAndWithoutM) {
  testsupport::TempDir dir;
  const std::string sim = std::string(TOLMERA_SIM_PATH) + " --out \"" + dir.Path().string() +
                          "\" --name S01 --duration 40 --structure --seed 11 > /dev/null";
  ASSERT_EQ(std::system(sim.c_str()), 0);
  const ProgramRun plain = RunOn(dir, {});
  const std::string plainErrors = testsupport::ReadFile(dir / ("log" + S + "GlobalError.txt"));
  const ProgramRun withMat = RunOn(dir, {"-m"});
  ASSERT_TRUE(fs::exists(dir / "S01.asc.mat"));
  EXPECT_NE(plain.out.find("LCS   Triggers ="), std::string::npos) << plain.out;
  EXPECT_EQ(WithoutMatLine(withMat.out), WithoutMatLine(plain.out));
  EXPECT_EQ(testsupport::ReadFile(dir / ("log" + S + "GlobalError.txt")), plainErrors);
  EXPECT_EQ(withMat.status, plain.status);
}

TEST(AscMatFile, ASimulatedPairWithExperimentStructureLoadsInScipy) {
  testsupport::TempDir dir;
  const std::string sim = std::string(TOLMERA_SIM_PATH) + " --out \"" + dir.Path().string() +
                          "\" --name S01 --duration 40 --structure --seed 11 --eyes both --velocity > /dev/null";
  ASSERT_EQ(std::system(sim.c_str()), 0);
  const ProgramRun run = RunOn(dir, {"-m", "-p", "-v"});
  ASSERT_TRUE(fs::exists(dir / "S01.asc.mat")) << run.out << run.err;
  EXPECT_EQ(ScipyCheck(dir, "eyeLx,eyeLy,eyeLp,eyeRx,eyeRy,eyeRp,eyeLxVel,eyeLyVel,eyeRxVel,eyeRyVel,blink"), "");
}
#endif

}  // namespace
