#include "varnixlib/brainvision/brainamp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "support/testsupport.h"
#include "varnixlib/brainvision/brainampeeg.h"

namespace {

struct StageRun {
  bool ok = false;
  std::string console;
};

template <typename T>
StageRun Process(Brainamp& eeg, const std::string& eegFile) {
  SynchroParams params;
  params.eegFileName = eegFile;
  testing::internal::CaptureStdout();
  StageRun r;
  r.ok = eeg.Process<T>(params);
  r.console = testing::internal::GetCapturedStdout();
  return r;
}

std::string Real(const std::string& relative) { return testsupport::RealDataDir() + "/brainvision/" + relative; }

uint64_t FileSize(const std::string& path) { return std::filesystem::file_size(path); }

template <typename T>
const BrainampEEG<T>& Data(const Brainamp& eeg) {
  return dynamic_cast<const BrainampEEG<T>&>(*eeg.myEEG);
}

// The first and last value of the file, read independently of the reader.
template <typename T>
void ExpectEndsMatchFile(const Brainamp& eeg, const std::string& path) {
  const std::string bytes = testsupport::ReadFile(path);
  T first, last;
  std::memcpy(&first, bytes.data(), sizeof(T));
  std::memcpy(&last, bytes.data() + bytes.size() - sizeof(T), sizeof(T));
  EXPECT_EQ(std::memcmp(Data<T>(eeg).Values(), &first, sizeof(T)), 0);
  EXPECT_EQ(std::memcmp(Data<T>(eeg).Values() + Data<T>(eeg).NbValues() - 1, &last, sizeof(T)), 0);
}

TEST(BrainampRealData, RecorderInt16RecordingIsReadWithItsStimuli) {
  REQUIRE_REALDATA();
  const std::string path = Real("recorder-int16-32ch/test.eeg");
  Brainamp eeg;
  EXPECT_EQ(eeg.ReadBinaryFormat(Real("recorder-int16-32ch/test.vhdr")), 0);
  const StageRun r = Process<int16_t>(eeg, path);
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_TRUE(r.console.empty()) << r.console;
  EXPECT_EQ(eeg.myVhdr.nbChannels, 32);
  EXPECT_EQ(eeg.myVhdr.samplingInterval, 1000.0);
  EXPECT_EQ(eeg.myEEG->GetNbValues(), FileSize(path) / 2);
  EXPECT_EQ(eeg.myVhdr.nbOfSamples, 505600u / 2 / 32);
  EXPECT_EQ(eeg.myVhdr.channelNames.front(), "FP1");
  EXPECT_EQ(eeg.myVhdr.channelGains, std::vector<double>(32, 0.5));
  ASSERT_EQ(eeg.myVmrk.markers.size(), 11u);
  ASSERT_EQ(eeg.myVmrk.segments.size(), 1u);
  const uint16_t codes[] = {253, 255, 254, 255, 254, 255, 253, 255, 254, 255};
  const uint32_t positions[] = {486, 496, 1769, 1779, 3252, 3262, 4935, 4945, 6619, 6629};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(eeg.myVmrk.markers[i + 1].code, codes[i]);
    EXPECT_EQ(eeg.myVmrk.markers[i + 1].position, positions[i]);
  }
  EXPECT_EQ(eeg.myEEG->GetNaN(), -32768.0);
  ExpectEndsMatchFile<int16_t>(eeg, path);
}

TEST(BrainampRealData, AntRecordingWithAnAmplifierDisconnectionGetsItsLostSamples) {
  REQUIRE_REALDATA();
  const std::string path = Real("ant-float32-segments/test_CA_208_amp_disconnection.eeg");
  Brainamp eeg;
  const StageRun r = Process<float>(eeg, path);
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(eeg.myVhdr.nbChannels, 88);
  EXPECT_EQ(eeg.myVhdr.channelGains, std::vector<double>(88, 1.0));
  EXPECT_EQ(eeg.myEEG->GetNbValues(), 3369344u / 4);
  ASSERT_EQ(eeg.myVmrk.segments.size(), 2u);
  ASSERT_EQ(eeg.myVmrk.markers.size(), 4u);
  // 12.42 s on the clock between the segment starts, 6074 samples recorded.
  const CMarker& second = *eeg.myVmrk.segments[1];
  EXPECT_EQ(second.position, 6074u);
  EXPECT_EQ(second.samplesInserted, 12420u - 6074u);
  EXPECT_EQ(eeg.myVmrk.markers[1].code, 9001);
  EXPECT_EQ(eeg.myVmrk.markers[1].position, 6073u);
  EXPECT_EQ(eeg.myVmrk.markers[3].code, 9002);
  EXPECT_EQ(eeg.myVmrk.markers[3].position, 12420u);
  EXPECT_EQ(eeg.myVhdr.nbOfSamples, 9572u + 6346u);
  ExpectEndsMatchFile<float>(eeg, path);

  Brainamp plain;
  const StageRun single = Process<float>(plain, Real("ant-float32-segments/test_CA_208.eeg"));
  ASSERT_TRUE(single.ok) << single.console;
  EXPECT_EQ(plain.myVhdr.nbOfSamples, 1416800u / 4 / 88);
  EXPECT_EQ(plain.myVmrk.markers.size(), 1u);
}

TEST(BrainampRealData, AsalabExportReadsLowerCaseStimuliAndASegmentAtPositionZero) {
  REQUIRE_REALDATA();
  Brainamp eeg;
  const StageRun r = Process<float>(eeg, Real("asalab-float32-34ch/asalab_export_bv.eeg"));
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(eeg.myVhdr.nbChannels, 34);
  EXPECT_EQ(eeg.myVhdr.samplingInterval, 1953.125);
  EXPECT_EQ(eeg.myVhdr.nbOfSamples, 642192u / 4 / 34);
  EXPECT_EQ(eeg.myVhdr.channelNames.back(), "VEOG");
  ASSERT_EQ(eeg.myVmrk.markers.size(), 13u);
  EXPECT_EQ(eeg.myVmrk.markers[0].position, 0u);
  EXPECT_EQ(eeg.myVmrk.markers[1].code, 10);
  EXPECT_EQ(eeg.myVmrk.markers[12].code, 12);
  EXPECT_EQ(eeg.myVmrk.markers[12].position, 4164u);
  EXPECT_NE(r.console.find("1 marker(s) at position 0"), std::string::npos) << r.console;
}

TEST(BrainampRealData, NeuroneHeaderWithByteOrderMarkAndLowerCaseSectionIsRead) {
  REQUIRE_REALDATA();
  Brainamp eeg;
  const StageRun r = Process<float>(eeg, Real("neurone-lowercase-bom/test_NO.eeg"));
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(eeg.myVhdr.nbChannels, 65);
  EXPECT_EQ(eeg.myVhdr.codepage, 0);
  EXPECT_EQ(eeg.myVhdr.dataType, BrainampVhdr::TIMEDOMAIN);
  EXPECT_EQ(eeg.myVhdr.samplingInterval, 200.0);
  EXPECT_EQ(eeg.myVhdr.nbOfSamples, 581880u / 4 / 65);
  EXPECT_EQ(eeg.myVhdr.channelNames[32], "41");
  EXPECT_EQ(eeg.myVhdr.channelNames[64], "EMGleft");
  EXPECT_EQ(eeg.myVhdr.channelGains, std::vector<double>(65, 1.0));
  EXPECT_EQ(eeg.myVmrk.markers.size(), 1u);
  EXPECT_EQ(eeg.myVmrk.segments.size(), 1u);
}

TEST(BrainampRealData, AnalyzerExportWithEmptyResolutionsHasGainOne) {
  REQUIRE_REALDATA();
  Brainamp eeg;
  const StageRun r = Process<float>(eeg, Real("analyzer-export/Analyzer_nV_Export.eeg"));
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(eeg.myVhdr.nbChannels, 32);
  EXPECT_EQ(eeg.myVhdr.nbOfSamples, 2u);
  EXPECT_EQ(eeg.myVhdr.channelNames[0], "FC4");
  EXPECT_EQ(eeg.myVhdr.channelGains, std::vector<double>(32, 1.0));
  EXPECT_EQ(eeg.myVmrk.markers.size(), 1u);  // the "Trigger" marker is no stimulus
  // Its DataPoints=64 counts values, not samples.
  EXPECT_NE(r.console.find("DataPoints=64 differs from the 2 samples of 32 channels"), std::string::npos) << r.console;
}

TEST(BrainampRealData, VectorizedRecordingIsRefused) {
  REQUIRE_REALDATA();
  Brainamp eeg;
  const StageRun r = Process<float>(eeg, Real("vectorized-float32/test_old_layout_latin1_software_filter.eeg"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.console.find("Only Brainamp eeg in format MULTIPLEXED is supported. The provided EEG file is in "
                           "format VECTORIZED."),
            std::string::npos)
      << r.console;
  EXPECT_NE(r.console.find("Brainamp::Process::myVhdr.Process"), std::string::npos);
}

TEST(BrainampRealData, Int32RecordingIsRefusedForItsSampleType) {
  REQUIRE_REALDATA();
  Brainamp eeg;
  EXPECT_EQ(eeg.ReadBinaryFormat(Real("analyzer-int32/bv_export_bv_txt_bin_multi_32bit.vhdr")), -1);
  // Its data file is a .dat; the name the program would derive is refused at the header already.
  const StageRun r = Process<int16_t>(eeg, Real("analyzer-int32/bv_export_bv_txt_bin_multi_32bit.eeg"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.console.find("BinaryFormat 'INT_32' is not read"), std::string::npos) << r.console;
  EXPECT_NE(r.console.find("bv_export_bv_txt_bin_multi_32bit.vhdr"), std::string::npos) << r.console;
  EXPECT_EQ(r.console.find("File::Exists"), std::string::npos) << r.console;
}

// A small recording in a scratch directory: 2 channels of 16-bit samples.
struct Small {
  Small() { Write(); }
  void Write(const std::string& common = "NumberOfChannels=2\r\nSamplingInterval=1000\r\n",
             const std::string& binary = "BinaryFormat=INT_16\r\n", size_t dataBytes = 40) {
    testsupport::WriteFile(dir / "rec.vhdr", "Brain Vision Data Exchange Header File Version 1.0\r\n[Common Infos]\r\n" +
                                                 common + "[Binary Infos]\r\n" + binary +
                                                 "[Channel Infos]\r\nCh1=A,,0.5,uV\r\nCh2=B,,0.5,uV\r\n");
    testsupport::WriteFile(dir / "rec.vmrk", "[Marker Infos]\r\nMk1=New Segment,,1,1,0,20190412100000000000\r\n"
                                             "Mk2=Stimulus,S  5,3,1,0\r\n");
    testsupport::WriteFile(dir / "rec.eeg", std::string(dataBytes, '\x02'));
  }
  testsupport::TempDir dir;
};

TEST(BrainampBadInput, ASmallRecordingIsReadAndItsFilesAreLeftUntouched) {
  Small s;
  const auto before = std::filesystem::last_write_time(s.dir / "rec.eeg");
  Brainamp eeg;
  const StageRun r = Process<int16_t>(eeg, s.dir / "rec.eeg");
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(eeg.myVhdr.nbOfSamples, 10u);
  EXPECT_EQ(eeg.myVmrk.markers.size(), 2u);
  EXPECT_EQ(testsupport::ReadFile(s.dir / "rec.eeg"), std::string(40, '\x02'));
  EXPECT_EQ(std::filesystem::last_write_time(s.dir / "rec.eeg"), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir.Path()), {}), 3);

  // Processing again replaces everything read before.
  const StageRun again = Process<int16_t>(eeg, s.dir / "rec.eeg");
  ASSERT_TRUE(again.ok);
  EXPECT_EQ(eeg.myVmrk.markers.size(), 2u);
  EXPECT_EQ(eeg.myVhdr.channelNames.size(), 2u);
}

TEST(BrainampBadInput, MissingFilesAreReportedNamingThem) {
  {
    Small s;
    std::filesystem::remove(s.dir / "rec.vhdr");
    Brainamp eeg;
    const StageRun r = Process<int16_t>(eeg, s.dir / "rec.eeg");
    EXPECT_FALSE(r.ok);
    // The header reader names the file; the stage's own line has an empty detail.
    EXPECT_NE(r.console.find(") File::ReadInString::Exists " + (s.dir / "rec.vhdr") + "\n"), std::string::npos)
        << r.console;
    EXPECT_NE(r.console.find(") Brainamp::Process::myVhdr.Process \n"), std::string::npos) << r.console;
  }
  {
    Small s;
    std::filesystem::remove(s.dir / "rec.eeg");
    Brainamp eeg;
    const StageRun r = Process<int16_t>(eeg, s.dir / "rec.eeg");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.console.find("BrainampEEG::Process::File::Exists " + (s.dir / "rec.eeg")), std::string::npos);
    EXPECT_NE(r.console.find(") Brainamp::Process::myEEG.Process \n"), std::string::npos) << r.console;
  }
  {
    // Without a marker file the recording is read with no markers, after the file's own report.
    Small s;
    std::filesystem::remove(s.dir / "rec.vmrk");
    Brainamp eeg;
    const StageRun r = Process<int16_t>(eeg, s.dir / "rec.eeg");
    EXPECT_TRUE(r.ok);
    EXPECT_NE(r.console.find(s.dir / "rec.vmrk"), std::string::npos) << r.console;
    EXPECT_TRUE(eeg.myVmrk.markers.empty());
  }
}

TEST(BrainampBadInput, DataThatDoesNotFitTheHeaderIsRefusedNamingTheDataFile) {
  const std::pair<size_t, const char*> cases[] = {
      {42, "not a whole number of samples of 2 channels"},  // 21 values
      {41, "not a whole number of 2-byte values"},
      {0, "holds no samples"},
  };
  for (const auto& [bytes, message] : cases) {
    Small s;
    s.Write("NumberOfChannels=2\r\nSamplingInterval=1000\r\n", "BinaryFormat=INT_16\r\n", bytes);
    Brainamp eeg;
    const StageRun r = Process<int16_t>(eeg, s.dir / "rec.eeg");
    EXPECT_FALSE(r.ok) << bytes;
    EXPECT_NE(r.console.find(message), std::string::npos) << r.console;
    EXPECT_NE(r.console.find(s.dir / "rec.eeg"), std::string::npos) << r.console;
  }
}

TEST(BrainampBadInput, ASegmentPastTheDataFailsTheStageAfterTheMarkerReaderSaysWhy) {
  Small s;
  testsupport::WriteFile(s.dir / "rec.vmrk", "[Marker Infos]\r\nMk1=New Segment,,1,1,0,20190412100000000000\r\n"
                                           "Mk2=New Segment,,100,1,0,20190412100001000000\r\n");
  Brainamp eeg;
  const StageRun r = Process<int16_t>(eeg, s.dir / "rec.eeg");
  EXPECT_FALSE(r.ok);
  const size_t why = r.console.find("starts after the 10 samples of the data file " + (s.dir / "rec.vmrk"));
  const size_t stage = r.console.find(") Brainamp::Process::ProcessDataSegments \n");
  ASSERT_NE(why, std::string::npos) << r.console;
  ASSERT_NE(stage, std::string::npos) << r.console;
  EXPECT_LT(why, stage);
}

TEST(BrainampBadInput, AChannelCountThatDisagreesWithDataPointsIsPointedOut) {
  Small s;
  s.Write("NumberOfChannels=2\r\nSamplingInterval=1000\r\nDataPoints=5\r\n");  // 4 channels really
  Brainamp eeg;
  const StageRun r = Process<int16_t>(eeg, s.dir / "rec.eeg");
  EXPECT_TRUE(r.ok);
  EXPECT_NE(r.console.find("WARNING in : "), std::string::npos);
  EXPECT_NE(r.console.find("DataPoints=5 differs from the 10 samples"), std::string::npos) << r.console;
}

TEST(BrainampBadInput, HeadersThatWouldMisreadTheSamplesAreRefused) {
  const std::pair<std::pair<const char*, const char*>, const char*> cases[] = {
      {{"NumberOfChannels=2\r\nSamplingInterval=1000\r\n", "BinaryFormat=IEEE_FLOAT_32\r\n"}, "is not the sample type"},
      {{"NumberOfChannels=2\r\nSamplingInterval=1000\r\nDataFormat=ASCII\r\n", ""}, "DataFormat=BINARY"},
      {{"NumberOfChannels=2\r\nSamplingInterval=1000\r\n", "UseBigEndianOrder=YES\r\n"}, "little-endian"},
      {{"NumberOfChannels=2\r\n", ""}, "SamplingInterval"},
      {{"NumberOfChannels=2\r\nSamplingInterval=-5\r\n", ""}, "SamplingInterval"},
  };
  for (const auto& [header, message] : cases) {
    Small s;
    s.Write(header.first, header.second);
    Brainamp eeg;
    const StageRun r = Process<int16_t>(eeg, s.dir / "rec.eeg");
    EXPECT_FALSE(r.ok) << message;
    EXPECT_NE(r.console.find(message), std::string::npos) << r.console;
    EXPECT_NE(r.console.find(s.dir / "rec.vhdr"), std::string::npos) << r.console;
  }
  // The header's own refusal of a recording without channels has a fixed line with no detail.
  Small s;
  s.Write("SamplingInterval=1000\r\n");
  Brainamp eeg;
  const StageRun r = Process<int16_t>(eeg, s.dir / "rec.eeg");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.console.find(") BrainampEEG::Process nbChannels < 1 \n"), std::string::npos) << r.console;
}

TEST(BrainampBadInput, GarbageInEveryFileGivesAnErrorNotACrash) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
  {
    Small s;
    testsupport::WriteFile(s.dir / "rec.vhdr", garbage);
    Brainamp eeg;
    EXPECT_FALSE(Process<int16_t>(eeg, s.dir / "rec.eeg").ok);
  }
  {
    Small s;
    testsupport::WriteFile(s.dir / "rec.vmrk", garbage);
    Brainamp eeg;
    const StageRun r = Process<int16_t>(eeg, s.dir / "rec.eeg");
    EXPECT_TRUE(r.ok) << r.console;
    EXPECT_TRUE(eeg.myVmrk.markers.empty());
  }
  {
    Small s;
    testsupport::WriteFile(s.dir / "rec.eeg", garbage.substr(0, 4095));
    Brainamp eeg;
    EXPECT_FALSE(Process<int16_t>(eeg, s.dir / "rec.eeg").ok);
  }
}

}  // namespace

namespace {

// Every prefix of a header and of a marker file, and single-byte corruptions of each, are read
// without a crash, and a recording accepted is consistent.
TEST(BrainampBadInput, EveryTruncationAndByteCorruptionIsHandled) {
  const std::string vhdr =
      "\xEF\xBB\xBF" "Brain Vision Data Exchange Header File Version 1.0\r\n[Common Infos]\r\nDataFormat=BINARY\r\n"
      "DataOrientation=MULTIPLEXED\r\nNumberOfChannels=2\r\nSamplingInterval=1000\r\n[Binary Infos]\r\n"
      "BinaryFormat=INT_16\r\n[Channel Infos]\r\nCh1=A,,0.5,uV\r\nCh2=B,,0.5,uV\r\n";
  const std::string vmrk =
      "[Marker Infos]\r\nMk1=New Segment,,1,1,0,20190412100000000000\r\nMk2=Stimulus,S  5,3,1,0\r\n"
      "Mk3=Comment,Buffer Overflow,6,1,0\r\nMk4=New Segment,,6,1,0,20190412100000008000\r\n"
      "Mk5=Stimulus,S  6,6,1,0\r\nMk6=Stimulus,S  7,7,1,0\r\n";
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "rec.eeg", std::string(40, '\x03'));
  auto check = [&](const std::string& header, const std::string& markers) {
    testsupport::WriteFile(dir / "rec.vhdr", header);
    testsupport::WriteFile(dir / "rec.vmrk", markers);
    Brainamp eeg;
    const StageRun r = Process<int16_t>(eeg, dir / "rec.eeg");
    if (!r.ok) {
      EXPECT_NE(r.console.find("ERROR in : "), std::string::npos);
      return;
    }
    EXPECT_EQ(eeg.myEEG->GetNbValues() % eeg.myVhdr.nbChannels, 0u);
    EXPECT_EQ(eeg.myVhdr.channelNames.size(), eeg.myVhdr.nbChannels);
    EXPECT_EQ(eeg.myVhdr.channelGains.size(), eeg.myVhdr.nbChannels);
    for (const CMarker* segment : eeg.myVmrk.segments) {
      ASSERT_GE(segment, eeg.myVmrk.markers.data());
      ASSERT_LT(segment, eeg.myVmrk.markers.data() + eeg.myVmrk.markers.size());
      EXPECT_EQ(segment->code, SEGMENT_CODE);
    }
  };
  // The whole recording is accepted; the second segment follows 8 ms after the first, 5 samples on.
  {
    testsupport::WriteFile(dir / "rec.vhdr", vhdr);
    testsupport::WriteFile(dir / "rec.vmrk", vmrk);
    Brainamp eeg;
    ASSERT_TRUE(Process<int16_t>(eeg, dir / "rec.eeg").ok);
    ASSERT_EQ(eeg.myVmrk.segments.size(), 2u);
    EXPECT_EQ(eeg.myVmrk.segments[1]->samplesInserted, 3u);
  }
  for (size_t cut = 0; cut < vhdr.size(); ++cut) check(vhdr.substr(0, cut), vmrk);
  for (size_t cut = 0; cut < vmrk.size(); ++cut) check(vhdr, vmrk.substr(0, cut));
  const char replacements[] = {'\0', '\n', '=', ',', '[', '9', '\xff'};
  for (size_t at = 0; at < vmrk.size(); at += 3) {
    for (char c : replacements) {
      std::string bad = vmrk;
      bad[at] = c;
      check(vhdr, bad);
    }
  }
  for (size_t at = 0; at < vhdr.size(); at += 5) {
    for (char c : replacements) {
      std::string bad = vhdr;
      bad[at] = c;
      check(bad, vmrk);
    }
  }
}

}  // namespace
