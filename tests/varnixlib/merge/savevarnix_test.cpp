// The header and marker files of a merged recording, written from the recording's own files.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/testsupport.h"
#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/brainvision/brainampvmrk.h"
#include "varnixlib/cmarker.h"

namespace {

const std::string kMu = "\xC2\xB5";

/// A recorder header of n channels; dataPoints adds that line to the common section.
std::string RecorderHeader(int n, const std::string& dataPointsLine, bool coordinates) {
  std::string h =
      "Brain Vision Data Exchange Header File Version 1.0\r\n"
      "; Data created by the Vision Recorder\r\n\r\n"
      "[Common Infos]\r\nCodepage=UTF-8\r\nDataFile=rec.eeg\r\nMarkerFile=rec.vmrk\r\n"
      "DataFormat=BINARY\r\nDataOrientation=MULTIPLEXED\r\nNumberOfChannels=" +
      std::to_string(n) + "\r\n" + dataPointsLine +
      "; Sampling interval in microseconds\r\nSamplingInterval=1000\r\n\r\n"
      "[Binary Infos]\r\nBinaryFormat=INT_16\r\n\r\n[Channel Infos]\r\n";
  for (int c = 1; c <= n; ++c) h += "Ch" + std::to_string(c) + "=E" + std::to_string(c) + ",,0.5," + kMu + "V\r\n";
  if (coordinates) {
    h += "\r\n[Coordinates]\r\n";
    for (int c = 1; c <= n; ++c) h += "Ch" + std::to_string(c) + "=1," + std::to_string(c) + ",90\r\n";
  }
  h += "\r\n[Comment]\r\n\r\nA m p l i f i e r  S e t u p\r\n============================\r\n"
       "Number of channels: " + std::to_string(n) + "\r\nSampling Rate [Hz]: 1000\r\n"
       "Sampling Interval [" + kMu + "S]: 1000\r\n\r\nChannels\r\n--------\r\n"
       "#     Name      Phys. Chn.    Resolution / Unit   Low Cutoff [s]   High Cutoff [Hz]   Notch [Hz]\r\n";
  for (int c = 1; c <= n; ++c) {
    std::string row = std::to_string(c);
    row.resize(6, ' ');
    row += "E" + std::to_string(c);
    row.resize(18, ' ');
    row += std::to_string(c);
    row.resize(35, ' ');
    row += "0.5 " + kMu + "V             DC              250              Off\r\n";
    h += row;
  }
  h += "\r\nImpedance [kOhm] at 16:12:27 :\r\n";
  for (int c = 1; c <= n; ++c) h += "E" + std::to_string(c) + ":        ???\r\n";
  return h;
}

BrainampVhdr HeaderRecord(int n) {
  BrainampVhdr record;
  record.nbChannels = static_cast<uint16_t>(n);
  for (int c = 1; c <= n; ++c) record.channelNames.push_back("E" + std::to_string(c));
  return record;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string After(const std::string& text, const std::string& line, const std::string& added) {
  return Replace(text, line, line + added);
}

}  // namespace

TEST(VhdrSaveVarnix, HeaderWithoutDataPointsGetsCountChannelsRateAndRows) {
  testsupport::TempDir dir;
  const std::string input = RecorderHeader(32, "", false);
  testsupport::WriteFile(dir / "rec.vhdr", input);
  BrainampVhdr record = HeaderRecord(32);
  ASSERT_TRUE(record.SaveVarnix(dir / "rec.eeg", dir / "synchro_rec.asc", {"X", "Y", "Z"}, 500.0, 120000));
  const std::string out = testsupport::ReadFile(dir / "synchro_rec.asc.vhdr");

  std::string expected = input;
  expected = Replace(expected, "DataFile=rec.eeg", "DataFile=synchro_rec.asc.eeg");
  expected = Replace(expected, "MarkerFile=rec.vmrk", "MarkerFile=synchro_rec.asc.vmrk");
  expected = Replace(expected, "NumberOfChannels=32\r\n", "NumberOfChannels=35\r\nDataPoints=120000\r\n");
  expected = Replace(expected, "SamplingInterval=1000", "SamplingInterval=2000.000000");
  expected = After(expected, "Ch32=E32,,0.5," + kMu + "V\r\n",
                   "Ch33=X,,1.0," + kMu + "V\r\nCh34=Y,,1.0," + kMu + "V\r\nCh35=Z,,1.0," + kMu + "V\r\n");
  expected = Replace(expected, "Number of channels: 32", "Number of channels: 35");
  expected = Replace(expected, "Sampling Rate [Hz]: 1000", "Sampling Rate [Hz]: 500");
  expected = Replace(expected, "S]: 1000", "S]: 2000.000000");
  // The channel table gets a row per added channel in the recorder's columns.
  const std::string row32 = "32    E32         32               0.5 " + kMu +
                            "V             DC              250              Off\r\n";
  expected = After(expected, row32,
                   "33    X           33               1.0 " + kMu + "V             DC              250              Off\r\n"
                   "34    Y           34               1.0 " + kMu + "V             DC              250              Off\r\n"
                   "35    Z           35               1.0 " + kMu + "V             DC              250              Off\r\n");
  expected = After(expected, "Impedance [kOhm] at 16:12:27 :\r\n",
                   "X:      Out of Range!\r\nY:      Out of Range!\r\nZ:      Out of Range!\r\n");
  EXPECT_EQ(out, expected);
}

TEST(VhdrSaveVarnix, EveryOrderOfTheCommonKeysGetsTheMergedCountRateAndChannels) {
  // Real headers list SegmentDataPoints before DataPoints, or the rate before the channel count:
  // every order of the three keys, each one missing too, and a SegmentDataPoints line in front.
  const std::string channels = "NumberOfChannels=2\r\n";
  const std::string points = "DataPoints=700\r\n";
  const std::string interval = "SamplingInterval=1000\r\n";
  std::vector<std::vector<std::string>> orders;
  std::vector<std::string> keys = {channels, points, interval};
  std::sort(keys.begin(), keys.end());
  do {
    orders.push_back(keys);
  } while (std::next_permutation(keys.begin(), keys.end()));
  orders.push_back({channels, interval});  // no DataPoints: one is added after the channel count
  orders.push_back({channels, points});    // no rate: nothing to put right
  for (const bool segmentPoints : {false, true}) {
    for (const std::vector<std::string>& order : orders) {
      std::string common = segmentPoints ? "SegmentDataPoints=700\r\n" : "";
      for (const std::string& line : order) common += line;
      std::string header = RecorderHeader(2, "", false);
      header = Replace(header, "NumberOfChannels=2\r\n", "");
      header = Replace(header, "SamplingInterval=1000\r\n", "");
      header = Replace(header, "DataOrientation=MULTIPLEXED\r\n", "DataOrientation=MULTIPLEXED\r\n" + common);
      SCOPED_TRACE(common);
      testsupport::TempDir dir;
      testsupport::WriteFile(dir / "rec.vhdr", header);
      BrainampVhdr record = HeaderRecord(2);
      ASSERT_TRUE(record.SaveVarnix(dir / "rec.eeg", dir / "synchro_rec", {"GX"}, 512.5, 4321));
      const std::string out = testsupport::ReadFile(dir / "synchro_rec.vhdr");
      EXPECT_NE(out.find("\nNumberOfChannels=3\r\n"), std::string::npos) << out;
      EXPECT_NE(out.find("\nDataPoints=4321\r\n"), std::string::npos) << out;
      if (segmentPoints) {
        EXPECT_NE(out.find("\nSegmentDataPoints=700\r\n"), std::string::npos) << out;
      }
      const bool hasRate = std::find(order.begin(), order.end(), interval) != order.end();
      // 1e6 / 512.5 with six decimals.
      EXPECT_EQ(out.find("SamplingInterval=1951.219512\r\n") != std::string::npos, hasRate) << out;
      EXPECT_NE(out.find("Ch3=GX,,1.0,"), std::string::npos) << out;
    }
  }
}

TEST(VhdrSaveVarnix, CoordinatesFollowTheLastChannelOfTheirSectionOnly) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "rec.vhdr", RecorderHeader(12, "DataPoints=5\r\n", true));
  BrainampVhdr record = HeaderRecord(12);
  ASSERT_TRUE(record.SaveVarnix(dir / "rec.eeg", dir / "synchro_rec", {"GX", "GY"}, 1000.0, 77));
  const std::string out = testsupport::ReadFile(dir / "synchro_rec.vhdr");
  EXPECT_NE(out.find("DataPoints=77\r\n"), std::string::npos);
  EXPECT_NE(out.find("Ch12=1,12,90\r\nCh13=0,0,0\r\nCh14=0,0,0\r\n\r\n[Comment]"), std::string::npos);
  EXPECT_EQ(out.find("=0,0,0"), out.find("Ch13=0,0,0") + 4);
  // Nothing of them inside the comment block.
  EXPECT_EQ(out.find("0,0,0", out.find("[Comment]")), std::string::npos);
  // Without a [Coordinates] section, no coordinate line at all.
  testsupport::WriteFile(dir / "rec.vhdr", RecorderHeader(12, "", false));
  ASSERT_TRUE(record.SaveVarnix(dir / "rec.eeg", dir / "synchro_rec", {"GX", "GY"}, 1000.0, 77));
  EXPECT_EQ(testsupport::ReadFile(dir / "synchro_rec.vhdr").find("0,0,0"), std::string::npos);
}

TEST(VhdrSaveVarnix, MissingInputHeaderFailsAndWritesNothing) {
  testsupport::TempDir dir;
  BrainampVhdr record = HeaderRecord(2);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(record.SaveVarnix(dir / "none.eeg", dir / "synchro_none", {"GX"}, 500.0, 10));
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("BrainampVhdr::SaveVarnix::MemoryFile::Read"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "synchro_none.vhdr"));
}

TEST(VmrkSaveVarnix, KeepsHeaderAndFirstMarkerThenWritesTheMergedMarkers) {
  testsupport::TempDir dir;
  std::string input =
      "Brain Vision Data Exchange Marker File, Version 1.0\r\n\r\n[Common Infos]\r\nCodepage=UTF-8\r\n"
      "DataFile=rec.eeg\r\n\r\n[Marker Infos]\r\n"
      "Mk1=New Segment,,1,1,0,20240101120000000000\r\n";
  for (int i = 2; i <= 500; ++i) input += "Mk" + std::to_string(i) + "=Stimulus,S  1," + std::to_string(i * 10) + ",1,0\r\n";
  testsupport::WriteFile(dir / "rec.vmrk", input);
  std::vector<CMarker> list(2);
  list[0].code = 7;
  list[0].position = 0;
  list[1].code = 1001;
  list[1].position = 99;
  list[1].size = 25;
  BrainampVmrk reader;
  ASSERT_TRUE(reader.SaveVarnix(dir / "rec.eeg", dir / "synchro_rec.asc", list, true));
  const std::string head =
      "Brain Vision Data Exchange Marker File, Version 1.0\r\n\r\n[Common Infos]\r\nCodepage=UTF-8\r\n"
      "DataFile=synchro_rec.asc.eeg\r\n\r\n[Marker Infos]\r\n"
      "Mk1=New Segment,,1,1,0,20240101120000000000\r\n";
  EXPECT_EQ(testsupport::ReadFile(dir / "synchro_rec.asc.vmrk"),
            head + "Mk2=Stimulus,S  7,1,1,0\r\nMk3=Stimulus,S1001,100,1,0\r\n");
  // With -1 markers of code 256 and more keep their own length: a size of 25 samples after the
  // first is 26 samples long.
  ASSERT_TRUE(reader.SaveVarnix(dir / "rec.eeg", dir / "synchro_rec.asc", list, false));
  EXPECT_EQ(testsupport::ReadFile(dir / "synchro_rec.asc.vmrk"),
            head + "Mk2=Stimulus,S  7,1,1,0\r\nMk3=Stimulus,S1001,100,26,0\r\n");
}

TEST(VmrkSaveVarnix, FirstMarkerAtTheEndWithoutLineBreakGetsOne) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "rec.vmrk", "[Marker Infos]\nDataFile=rec.eeg\nMk1=New Segment,,1,1,0");
  std::vector<CMarker> list(1);
  list[0].code = 12;
  list[0].position = 4;
  BrainampVmrk reader;
  ASSERT_TRUE(reader.SaveVarnix(dir / "rec.eeg", dir / "out", list, true));
  EXPECT_EQ(testsupport::ReadFile(dir / "out.vmrk"),
            "[Marker Infos]\nDataFile=out.eeg\nMk1=New Segment,,1,1,0\r\nMk2=Stimulus,S 12,5,1,0\r\n");
}

TEST(VhdrSaveVarnix, RealHeadersGetTableRowsAndCoordinatesWhereTheyBelong) {
  REQUIRE_REALDATA();
  testsupport::TempDir dir;
  const std::string recorder = testsupport::RealDataDir() + "/brainvision/recorder-int16-32ch/test";
  BrainampVhdr header;
  ASSERT_TRUE(header.Process(recorder + ".vhdr"));
  ASSERT_TRUE(header.SaveVarnix(recorder + ".eeg", dir / "synchro_test", {"L_X", "L_Y", "Blink"}, 500.0, 10));
  const std::string out = testsupport::ReadFile(dir / "synchro_test.vhdr");
  EXPECT_NE(out.find("32    ReRef       32               0.5 " + kMu + "V             DC              250 "
                     "             Off                0                 \r\n"
                     "33    L_X         33               1.0 " + kMu + "V             DC              250 "
                     "             Off                0\r\n"),
            std::string::npos);
  EXPECT_NE(out.find("35    Blink       35               1.0 " + kMu + "V"), std::string::npos);
  // No [Coordinates] section: no coordinate lines, in particular none in the comment block.
  EXPECT_EQ(out.find("=0,0,0"), std::string::npos);
  EXPECT_NE(out.find("Impedance [kOhm] at 16:12:27 :\r\nL_X:      Out of Range!\r\n"), std::string::npos);

  const std::string analyzer = testsupport::RealDataDir() + "/brainvision/analyzer-export/Analyzer_nV_Export";
  BrainampVhdr second;
  ASSERT_TRUE(second.Process(analyzer + ".vhdr"));
  ASSERT_TRUE(second.SaveVarnix(analyzer + ".eeg", dir / "synchro_an", {"L_X"}, 1000.0, 10));
  const std::string an = testsupport::ReadFile(dir / "synchro_an.vhdr");
  EXPECT_NE(an.find("Ch32=P3,,,nV\r\nCh33=L_X,,1.0," + kMu + "V\r\n"), std::string::npos);
  EXPECT_NE(an.find("Ch32=1,-60,51\r\nCh33=0,0,0\r\n"), std::string::npos);
  EXPECT_NE(an.find("DataPoints=10\r\n"), std::string::npos);
}

TEST(VmrkSaveVarnix, MergedLinesKeepTheirTypesAndTheFirstSegmentTakesTheNewDate) {
  testsupport::TempDir dir;
  const std::string head = "Brain Vision Data Exchange Marker File, Version 1.0\r\n\r\n[Marker Infos]\r\nDataFile=rec.eeg\r\n";
  const std::vector<MergedMarker> lines = {
      {"Stimulus", "S  7", 0, 1, "0", ""},
      {"Comment", "unmatched EEG trigger S140", 9, 1, "0", ""},
      {"Bad Interval", "EEG not recorded", 10, 250, "0", ""},
      {"Response", "R  3", 11, 1, "2", ",extra"},
  };
  const std::string body =
      "Mk2=Stimulus,S  7,1,1,0\r\nMk3=Comment,unmatched EEG trigger S140,10,1,0\r\n"
      "Mk4=Bad Interval,EEG not recorded,11,250,0\r\nMk5=Response,R  3,12,1,2,extra\r\n";
  struct Case {
    std::string mk1, date, written;
  };
  const std::vector<Case> cases = {
      {"Mk1=New Segment,,1,1,0,20240101120000000000\r\n", "20240101120004072000",
       "Mk1=New Segment,,1,1,0,20240101120004072000\r\n"},
      // Without a date, or a first marker of another kind, the line stays as it was.
      {"Mk1=New Segment,,1,1,0\r\n", "20240101120004072000", "Mk1=New Segment,,1,1,0\r\n"},
      {"Mk1=Stimulus,S  1,1,1,0\r\n", "20240101120004072000", "Mk1=Stimulus,S  1,1,1,0\r\n"},
      {"Mk1=New Segment,,1,1,0,20240101120000000000\r\n", "", "Mk1=New Segment,,1,1,0,20240101120000000000\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mk1);
    testsupport::WriteFile(dir / "rec.vmrk", head + c.mk1 + "Mk2=Stimulus,S  1,40,1,0\r\n");
    ASSERT_TRUE(BrainampVmrk::SaveVarnix(dir / "rec.eeg", dir / "out", lines, c.date));
    EXPECT_EQ(testsupport::ReadFile(dir / "out.vmrk"),
              "Brain Vision Data Exchange Marker File, Version 1.0\r\n\r\n[Marker Infos]\r\nDataFile=out.eeg\r\n" +
                  c.written + body);
  }
}

TEST(VhdrSaveVarnix, HeadReferencedGazeChannelsAreNamedInTheComment) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "rec.vhdr", RecorderHeader(2, "", false));
  BrainampVhdr record = HeaderRecord(2);
  const std::string kNote = "the href channels hold head-referenced (HREF) samples";
  ASSERT_TRUE(record.SaveVarnix(dir / "rec.eeg", dir / "gaze", {"eyeRx", "eyeRy", "blink"}, 500.0, 10));
  EXPECT_EQ(testsupport::ReadFile(dir / "gaze.vhdr").find(kNote), std::string::npos);
  ASSERT_TRUE(record.SaveVarnix(dir / "rec.eeg", dir / "href", {"hrefRx", "hrefRy", "eyeRp", "blink"}, 500.0, 10));
  const std::string out = testsupport::ReadFile(dir / "href.vhdr");
  // After the impedances, inside the comment section, in the header's own line ends.
  EXPECT_GT(out.find(kNote), out.find("blink:      Out of Range!\r\n")) << out;
  EXPECT_TRUE(out.ends_with("not gaze on the screen.\r\n")) << out;
}
