// The ASC stage inside a run: it follows the EEG stage, writes its log into the log directory,
// fails the run with status 254 or stops it on a corrupt sample line, and carries -T and -G.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "programrun.h"
#include "support/testsupport.h"
#include "varnixlib/support/platform.h"

namespace {

namespace fs = std::filesystem;
const std::string S(1, Varnix::Platform::kSeparator);
// The EEG fixture holds no stimulus, so a run that passes both stages ends at the trigger matching.
const std::string kCannotSynchronize = "!!! Can not synchronize data !!!\n";

/// A valid 16-bit EEG set of two channels and five samples.
void WriteEeg(const testsupport::TempDir& dir) {
  testsupport::WriteFile(dir / "S01.vhdr",
                         "Brain Vision Data Exchange Header File Version 1.0\r\n"
                         "[Common Infos]\r\nCodepage=UTF-8\r\nDataFile=S01.eeg\r\nMarkerFile=S01.vmrk\r\n"
                         "DataFormat=BINARY\r\nDataOrientation=MULTIPLEXED\r\nNumberOfChannels=2\r\n"
                         "SamplingInterval=2000\r\n[Binary Infos]\r\nBinaryFormat=INT_16\r\n"
                         "[Channel Infos]\r\nCh1=Fp1,,0.1,uV\r\nCh2=Fp2,,0.1,uV\r\n");
  testsupport::WriteFile(dir / "S01.vmrk",
                         "Brain Vision Data Exchange Marker File, Version 1.0\r\n[Common Infos]\r\nDataFile=S01.eeg\r\n"
                         "[Marker Infos]\r\nMk1=New Segment,,1,1,0,20190412101530123456\r\n");
  testsupport::WriteFile(dir / "S01.eeg", std::string(20, '\0'));
}

const std::string kHead =
    "** CONVERTED FROM S01.edf\nMSG\t1000 DISPLAY_COORDS 0 0 1919 1079\nSTART\t1000 \tLEFT\tSAMPLES\tEVENTS\n"
    "SAMPLES\tGAZE\tLEFT\tRATE\t1000.00\n";
const std::string kBody =
    "INPUT\t1001\t5\n1001\t10.4\t20.6\t3.0\t...\nINPUT\t1002\t0\nINPUT\t1003\t7\n1003\t11.5\t21.5\t3.0\t...\n"
    "END\t1004 \tSAMPLES\tEVENTS\n";

ProgramRun RunWith(const testsupport::TempDir& dir, const std::string& asc, std::vector<std::string> options = {}) {
  WriteEeg(dir);
  testsupport::WriteFile(dir / "S01.asc", asc);
  options.insert(options.begin(), "S01.asc");
  return RunTolmera(dir.Path().string(), options);
}

TEST(AscStage, AGoodRecordingPassesBothStagesAndStopsAtTheTriggerMatching) {
  testsupport::TempDir dir;
  const ProgramRun run = RunWith(dir, kHead + kBody);
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(run.err, kCannotSynchronize);
  EXPECT_EQ(run.out.find("ERROR in : "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("100 %\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Warning information is available in: "), std::string::npos) << run.out;
  EXPECT_EQ(fs::file_size(dir / ("log" + S + "Log-AscRawData.txt")), 0u);
  EXPECT_FALSE(fs::exists(dir / "S01.ttl"));
  EXPECT_FALSE(fs::exists(dir / "S01.asc.dbg"));
}

TEST(AscStage, WarningsGoToTheLogInTheLogDirectoryAndTheConsoleNamesIt) {
  testsupport::TempDir dir;
  const ProgramRun run = RunWith(dir, kHead + "SFIX L 1001\n" + kBody);
  EXPECT_EQ(run.status, 253);
  const std::string log = "." + S + "log" + S + "Log-AscRawData.txt";
  EXPECT_NE(run.out.find("Warning information is available in: " + log + "\n"), std::string::npos) << run.out;
  EXPECT_EQ(testsupport::ReadFile(dir / ("log" + S + "Log-AscRawData.txt")),
            "End - inFixL = true. It means a new BEGIN ( at timestamp 1000, line 11 ) has been detected before the expected "
            "END\n");
}

TEST(AscStage, AnUnreadableHeaderFailsTheRunWithStatus254) {
  testsupport::TempDir dir;
  const ProgramRun run = RunWith(dir, "** CONVERTED FROM S01.edf\nSAMPLES\tGAZE\tLEFT\tRATE\t333.00\n" + kBody);
  EXPECT_EQ(run.status, 254);
  // The header's reason, written to the log, is on the console too.
  EXPECT_EQ(run.err, "!!! ." + S + "log" + S + "Log-AscRawData.txt ends with: Invalid ASC header: the sampling rate "
                     "333 Hz is not one of 250, 500, 1000 and 2000 Hz\n!!! Can not process the ASC file -> ." + S + "S01.asc\n");
  EXPECT_NE(run.out.find("AscRawData::Process : processing header the sampling rate 333 Hz is not one of 250, "
                         "500, 1000 and 2000 Hz"),
            std::string::npos) << run.out;
  // No statistics file was written: none is named.
  EXPECT_EQ(run.out.find("Alignment errors [samples]"), std::string::npos) << run.out;
}

TEST(AscStage, ACorruptSampleLineStopsTheProcessWithStatus255) {
  testsupport::TempDir dir;
  const ProgramRun run = RunWith(dir, kHead + "1001\t10.4\t2x.6\t3.0\t...\n" + kBody);
  EXPECT_EQ(run.status, 255);
  EXPECT_NE(run.out.find("Corrupted ASC file ." + S + "S01.asc at timestamp 1001, line 5\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("WARNING > Useful information in ." + S + "log" + S + "Log-AscRawData.txt\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("Alignment errors"), std::string::npos) << run.out;  // nothing after the stop
  EXPECT_NE(testsupport::ReadFile(dir / ("log" + S + "Log-AscRawData.txt")).find("Corrupted ASC file "),
            std::string::npos);
}

TEST(AscStage, TheTtlSwitchWritesTheTriggersBesideTheAscFile) {
  testsupport::TempDir dir;
  const ProgramRun run = RunWith(dir, kHead + kBody, {"-T"});
  EXPECT_EQ(run.status, 253);
  const std::string ttl = testsupport::ReadFile(dir / "S01.ttl");
  ASSERT_EQ(ttl.substr(0, 4), "0 5\n") << ttl;
  // The second trigger is two samples later: 2000 us less a jitter of at most 2000 us.
  const long second = std::stol(ttl.substr(4));
  EXPECT_GE(second, 0);
  EXPECT_LE(second, 2000);
  EXPECT_EQ(ttl.substr(ttl.find(' ', 4)), " 7\n");
}

TEST(AscStage, TheCacheSwitchWritesTheCacheAndTheNextRunReadsIt) {
  testsupport::TempDir dir;
  ProgramRun run = RunWith(dir, kHead + kBody, {"-G"});
  EXPECT_EQ(run.status, 253);
  ASSERT_TRUE(fs::exists(dir / "S01.asc.dbg"));
  EXPECT_NE(run.out.find("100 %\n"), std::string::npos);
  run = RunWith(dir, kHead + kBody, {"-G"});
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(run.err, kCannotSynchronize);
  EXPECT_EQ(run.out.find("100 %\n"), std::string::npos) << run.out;  // loaded, not walked
  // A changed recording is parsed again, whatever its cache says.
  run = RunWith(dir, kHead + "SFIX L 1001\n" + kBody, {"-G"});
  EXPECT_NE(run.out.find("100 %\n"), std::string::npos) << run.out;
}

}  // namespace
