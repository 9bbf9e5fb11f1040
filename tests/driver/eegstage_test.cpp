// The EEG stage of a run, on tiny recordings of each sample type. The ASC stage follows it; these
// recordings share no trigger pair with their eye-tracker files, so a run that passes both stages
// ends at the synchronisation's trigger matching.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "programrun.h"
#include "support/testsupport.h"
#include "varnixlib/support/platform.h"

namespace {

const std::string S(1, Varnix::Platform::kSeparator);
const std::string kCannotSynchronize = "!!! Can not synchronize data !!!\n";

std::string Header(const std::string& format, int channels) {
  return "Brain Vision Data Exchange Header File Version 1.0\r\n"
         "[Common Infos]\r\nCodepage=UTF-8\r\nDataFile=S01.eeg\r\nMarkerFile=S01.vmrk\r\n"
         "DataFormat=BINARY\r\nDataOrientation=MULTIPLEXED\r\nNumberOfChannels=" +
         std::to_string(channels) +
         "\r\nSamplingInterval=2000\r\n"
         "[Binary Infos]\r\nBinaryFormat=" + format + "\r\n"
         "[Channel Infos]\r\nCh1=Fp1,,0.1,\xC2\xB5V\r\nCh2=Fp2,,0.1,\xC2\xB5V\r\n";
}

const std::string kMarkers =
    "Brain Vision Data Exchange Marker File, Version 1.0\r\n[Common Infos]\r\nDataFile=S01.eeg\r\n"
    "[Marker Infos]\r\nMk1=New Segment,,1,1,0,20190412101530123456\r\nMk2=Stimulus,S  1,3,1,0\r\n";

/// Two channels, five samples of type T, little-endian as the amplifier writes them.
template <typename T>
std::string Samples() {
  std::string bytes;
  for (int i = 0; i < 10; ++i) {
    const T value = static_cast<T>(i * 3 - 7);
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    bytes.append(raw, sizeof(T));
  }
  return bytes;
}

void WriteRecording(const testsupport::TempDir& dir, const std::string& header, const std::string& samples) {
  testsupport::WriteFile(dir / "S01.asc",
                         "** CONVERTED FROM S01.edf\nINPUT\t1000\t0\nSTART\t1000 \tLEFT\tSAMPLES\tEVENTS\n"
                         "SAMPLES\tGAZE\tLEFT\tRATE\t500.00\n1000\t1.0\t2.0\t3.0\t...\nEND\t1002 \tSAMPLES\tEVENTS\n");
  testsupport::WriteFile(dir / "S01.vhdr", header);
  testsupport::WriteFile(dir / "S01.vmrk", kMarkers);
  testsupport::WriteFile(dir / "S01.eeg", samples);
}

std::string StatisticsLines() {
  const std::string log = "." + S + "log" + S;
  return "Alignment errors [samples] for all shared triggers are in: " + log + "GlobalError.txt\n"
         "Histogram of the alignment errors [samples] for all triggers: " + log + "HistoGlobalError.txt\n"
         "Histogram of the alignment errors [samples] for each trigger: " + log + "HistoPerTriggerError.txt\n";
}

void ExpectEegStagePassed(const std::string& format, const std::string& samples) {
  testsupport::TempDir dir;
  WriteRecording(dir, Header(format, 2), samples);
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc"});
  EXPECT_EQ(run.status, 253) << format;
  EXPECT_EQ(run.err, kCannotSynchronize) << format;
  EXPECT_EQ(run.out.find("ERROR in : "), std::string::npos) << run.out;
  // The synchronisation failed before its statistics: no file is named.
  EXPECT_EQ(run.out.find(StatisticsLines()), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Tolmera END"), std::string::npos);
}

TEST(EegStage, Int16RecordingPassesTheEegStage) { ExpectEegStagePassed("INT_16", Samples<int16_t>()); }

TEST(EegStage, Float32RecordingPassesTheEegStage) { ExpectEegStagePassed("IEEE_FLOAT_32", Samples<float>()); }

TEST(EegStage, Float64RecordingPassesTheEegStage) { ExpectEegStagePassed("IEEE_FLOAT_64", Samples<double>()); }

TEST(EegStage, HeaderWithoutChannelsFailsTheEegStage) {
  testsupport::TempDir dir;
  WriteRecording(dir, Header("INT_16", 0), Samples<int16_t>());
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc"});
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(run.err, "!!! Can not process the EEG files -> ." + S + "S01.eeg\n");
  EXPECT_NE(run.out.find("ERROR in : "), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(StatisticsLines()), std::string::npos) << run.out;
}

TEST(EegStage, UnknownSampleTypeIsRefusedBeforeTheStage) {
  testsupport::TempDir dir;
  WriteRecording(dir, Header("UINT_16", 2), Samples<int16_t>());
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc"});
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(run.err, "!!! ." + S + "S01.vhdr stores its samples as BinaryFormat=UINT_16; only INT_16, IEEE_FLOAT_32 "
                     "and IEEE_FLOAT_64 are read\n!!! Invalid EEG data format\n");
  EXPECT_EQ(run.out.find("Alignment errors"), std::string::npos) << run.out;
}

}  // namespace

namespace {

/// Runs tolmera on a real BrainVision recording and a real ASC export, results into a scratch
/// directory (the recordings' own folder is read-only).
ProgramRun RunOnRealData(const testsupport::TempDir& dir, const std::string& eeg) {
  const std::string data = testsupport::RealDataDir();
  return RunTolmera(dir.Path().string(), {data + "/brainvision/" + eeg, data + "/asc/eyelinker-bino500.asc", "-h",
                                          dir / "out"});
}

TEST(EegStageRealData, RealInt16AndFloat32RecordingsPassTheEegStage) {
  REQUIRE_REALDATA();
  for (const std::string eeg : {"recorder-int16-32ch/test.eeg", "ant-float32-segments/test_CA_208_amp_disconnection.eeg",
                                "asalab-float32-34ch/asalab_export_bv.eeg"}) {
    testsupport::TempDir dir;
    const ProgramRun run = RunOnRealData(dir, eeg);
    EXPECT_EQ(run.status, 253) << eeg;
    EXPECT_EQ(run.err, kCannotSynchronize) << eeg;
    EXPECT_EQ(run.out.find("ERROR in : "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  EYELINK file name          : " + testsupport::RealDataDir() + S + "asc" + S +
                           "eyelinker-bino500.asc\n"),
              std::string::npos)
        << run.out;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / ("out" + S + "log" + S + "Log-AscRawData.txt")));
  }
}

TEST(EegStageRealData, Int32RecordingIsAnInvalidFormatAndVectorizedFailsTheStage) {
  REQUIRE_REALDATA();
  testsupport::TempDir dir;
  ProgramRun run = RunOnRealData(dir, "analyzer-int32/bv_export_bv_txt_bin_multi_32bit.dat");
  EXPECT_EQ(run.status, 253);
  EXPECT_TRUE(run.err.ends_with("bv_export_bv_txt_bin_multi_32bit.vhdr stores its samples as BinaryFormat=INT_32; "
                                "only INT_16, IEEE_FLOAT_32 and IEEE_FLOAT_64 are read\n!!! Invalid EEG data format\n"))
      << run.err;
  run = RunOnRealData(dir, "vectorized-float32/test_old_layout_latin1_software_filter.eeg");
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(run.err.rfind("!!! Can not process the EEG files -> ", 0), 0u) << run.err;
  EXPECT_NE(run.out.find("MULTIPLEXED"), std::string::npos) << run.out;
}

}  // namespace
