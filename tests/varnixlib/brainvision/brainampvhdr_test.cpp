#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/mat/recordmat.h"

#include <gtest/gtest.h>
#include <matio.h>

#include <cmath>

#include "support/testsupport.h"
#include "varnixlib/mat/matfile.h"

namespace {

// A recorder-style header; parts can be replaced per test.
std::string Header(const std::string& common, const std::string& binary, const std::string& channels,
                   const std::string& eol = "\r\n") {
  std::string text = "Brain Vision Data Exchange Header File Version 1.0" + eol + eol + "[Common Infos]" + eol;
  auto add = [&](const std::string& lines) {
    size_t begin = 0;
    while (begin < lines.size()) {
      size_t end = lines.find('\n', begin);
      if (end == std::string::npos) end = lines.size();
      text += lines.substr(begin, end - begin) + eol;
      begin = end + 1;
    }
  };
  add(common);
  text += eol + "[Binary Infos]" + eol;
  add(binary);
  text += eol + "[Channel Infos]" + eol + "; Each entry: Ch<Channel number>=<Name>,<Reference channel name>," + eol;
  add(channels);
  return text;
}

const std::string kCommon =
    "Codepage=UTF-8\nDataFile=rec.eeg\nDataFormat=BINARY\nDataOrientation=MULTIPLEXED\nDataType=TIMEDOMAIN\n"
    "NumberOfChannels=3\nDataPoints=1000\nSamplingInterval=500";
const std::string kChannels = "Ch1=Fp1,,0.1,\xC2\xB5V\nCh2=Fp2,Ref,0.5,\xC2\xB5V\nCh3=Cz";

struct Result {
  bool ok;
  BrainampVhdr header;
  std::string console;
};

Result Read(const std::string& text) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "rec.vhdr", text);
  Result r;
  testing::internal::CaptureStdout();
  r.ok = r.header.Process(dir / "rec.vhdr");
  r.console = testing::internal::GetCapturedStdout();
  return r;
}

TEST(BrainampVhdr, ReadsEveryFieldOfARecorderHeader) {
  const Result r = Read(Header(kCommon + "\nSegmentationType=MARKERBASED\nSegmentDataPoints=250",
                               "BinaryFormat=IEEE_FLOAT_32", kChannels));
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(r.header.codepage, 0);
  EXPECT_EQ(r.header.dataFormat, 0);
  EXPECT_EQ(r.header.dataOrientation, BrainampVhdr::MULTIPLEXED);
  EXPECT_EQ(r.header.dataType, BrainampVhdr::TIMEDOMAIN);
  EXPECT_EQ(r.header.nbChannels, 3);
  EXPECT_EQ(r.header.dataPoints, 1000);
  EXPECT_EQ(r.header.samplingInterval, 500.0);
  EXPECT_EQ(r.header.segmentationType, BrainampVhdr::MARKERBASED);
  EXPECT_EQ(r.header.segmentDataPoints, 250);
  EXPECT_EQ(r.header.binaryFormat, BrainampVhdr::tFloat32);
  EXPECT_EQ(r.header.nbOfSamples, 0u);
  EXPECT_EQ(r.header.channelNames, (std::vector<std::string>{"Fp1", "Fp2", "Cz"}));
  EXPECT_EQ(r.header.channelGains, (std::vector<double>{0.1, 0.5, 1.0}));
  EXPECT_TRUE(r.console.empty()) << r.console;
}

TEST(BrainampVhdr, WindowsAndUnixLineEndingsReadAlike) {
  const Result crlf = Read(Header(kCommon, "BinaryFormat=INT_16", kChannels, "\r\n"));
  const Result lf = Read(Header(kCommon, "BinaryFormat=INT_16", kChannels, "\n"));
  ASSERT_TRUE(crlf.ok && lf.ok);
  EXPECT_EQ(crlf.header.channelNames, lf.header.channelNames);
  EXPECT_EQ(crlf.header.channelGains, lf.header.channelGains);
  EXPECT_EQ(crlf.header.samplingInterval, lf.header.samplingInterval);
  EXPECT_EQ(crlf.header.codepage, 0);
}

TEST(BrainampVhdr, UnknownOrMissingValuesKeepTheirDefaults) {
  const Result r = Read(Header("Codepage=latin1\nDataFormat=ASCII\nDataOrientation=\nDataType=weird\nNumberOfChannels=1",
                               "", "Ch1=A,,2,uV"));
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(r.header.codepage, -1);
  EXPECT_EQ(r.header.dataFormat, -1);
  // An empty DataOrientation reads as the key itself, which is no orientation.
  EXPECT_EQ(r.header.dataOrientation, -1);
  EXPECT_EQ(r.header.dataType, -1);
  EXPECT_EQ(r.header.samplingInterval, 0.0);
  EXPECT_EQ(r.header.segmentationType, BrainampVhdr::NOSEGMENTED);
  // No BinaryFormat line: 16-bit integers.
  EXPECT_EQ(r.header.binaryFormat, BrainampVhdr::tInt16);
}

TEST(BrainampVhdr, VectorizedDataIsRefusedBeforeTheChannelCount) {
  const Result r = Read(Header("DataOrientation=VECTORIZED\nNumberOfChannels=0", "", ""));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.header.dataOrientation, BrainampVhdr::VECTORIZED);
  EXPECT_NE(r.console.find("Only Brainamp eeg in format MULTIPLEXED is supported. The provided EEG file is in "
                           "format VECTORIZED. \n"),
            std::string::npos)
      << r.console;
  EXPECT_EQ(r.console.find("nbChannels"), std::string::npos);
}

TEST(BrainampVhdr, NoChannelsIsRefused) {
  for (const std::string common : {"NumberOfChannels=0", "DataPoints=3", "NumberOfChannels=65536", "NumberOfChannels=-4"}) {
    const Result r = Read(Header(common, "", ""));
    EXPECT_FALSE(r.ok) << common;
    EXPECT_NE(r.console.find("BrainampEEG::Process nbChannels < 1 \n"), std::string::npos) << r.console;
    EXPECT_NE(r.console.find("brainampvhdr.cpp"), std::string::npos) << r.console;
    EXPECT_TRUE(r.header.channelNames.empty());
  }
}

TEST(BrainampVhdr, AChannelCountBeyond16BitsIsRefusedRatherThanWrapped) {
  const Result r = Read(Header("NumberOfChannels=65537", "", "Ch1=A"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.console.find("NumberOfChannels=65537"), std::string::npos) << r.console;
}

TEST(BrainampVhdr, BinaryFormatIsAPrefixTest) {
  testsupport::TempDir dir;
  const std::string path = dir / "f.vhdr";
  const std::pair<const char*, int32_t> cases[] = {{"BinaryFormat=IEEE_FLOAT_32", 1},
                                                   {"BinaryFormat=IEEE_FLOAT_64", 2},
                                                   {"BinaryFormat=INT_16_extra", 0},
                                                   {"BinaryFormat=UINT_16", -1},
                                                   {"BinaryFormat=INT_32", -1},
                                                   {"UseBigEndianOrder=NO", 0}};
  for (const auto& [line, code] : cases) {
    testsupport::WriteFile(path, Header("NumberOfChannels=1", line, "Ch1=A"));
    BrainampVhdr header;
    EXPECT_EQ(header.ReadBinaryFormat(path), code) << line;
    EXPECT_EQ(header.binaryFormat, code) << line;
  }
  // The key belongs to "Binary Infos": elsewhere it is not seen.
  testsupport::WriteFile(path, Header("NumberOfChannels=1\nBinaryFormat=IEEE_FLOAT_64", "", "Ch1=A"));
  BrainampVhdr header;
  EXPECT_EQ(header.ReadBinaryFormat(path), 0);
}

TEST(BrainampVhdr, ChannelGainsComeFromTheResolutionField) {
  const Result r = Read(Header("NumberOfChannels=6", "",
                               "Ch1=Fp1,,1\nCh2=FC4,,,nV\nCh3=Oz,,0.0488281,\xC2\xB5V\nCh4=X,,abc,uV\nCh5=Y,,2e-3\nCh6=Z"));
  ASSERT_TRUE(r.ok);
  // An omitted (empty) resolution is 1, and a line without a unit still has its resolution.
  EXPECT_EQ(r.header.channelGains, (std::vector<double>{1.0, 1.0, 0.0488281, 1.0, 0.002, 1.0}));
  EXPECT_NE(r.console.find("Ch4 resolution 'abc' is not a number"), std::string::npos) << r.console;
}

TEST(BrainampVhdr, ChannelKeysWithoutALineGetTheirKeyAsNameAndOneWarning) {
  const Result r = Read(Header("NumberOfChannels=4", "", "Ch1=A,,1\nCh3=\nCh4=,,0.5"));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.header.channelNames, (std::vector<std::string>{"A", "Ch2", "Ch3", "Ch4"}));
  EXPECT_EQ(r.header.channelGains, (std::vector<double>{1.0, 1.0, 1.0, 0.5}));
  EXPECT_NE(r.console.find("3 channel line(s) missing or without a name, named by their key: Ch2 Ch3 Ch4"),
            std::string::npos)
      << r.console;
}

TEST(BrainampVhdr, LongChannelNamesAreKeptWhole) {
  const Result r = Read(Header("NumberOfChannels=1", "", "Ch1=AVeryLongChannelName_42,,0.1,uV"));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.header.channelNames[0], "AVeryLongChannelName_42");
}

TEST(BrainampVhdr, AKeyInAnotherSectionOnlyIsNotRead) {
  const Result r = Read(Header("NumberOfChannels=1", "SamplingInterval=1000", "Ch1=A"));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.header.samplingInterval, 0.0);
}

TEST(BrainampVhdr, EmptyMissingOrGarbageHeadersAreRefusedNamingTheFile) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "empty.vhdr", "");
  testsupport::WriteFile(dir / "garbage.vhdr", std::string("\x00\xff\x12[\x80=\n\x01", 8) + std::string(3000, '\x7f'));
  for (const char* name : {"empty.vhdr", "missing.vhdr", "garbage.vhdr"}) {
    BrainampVhdr header;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(header.Process(dir / name)) << name;
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("ERROR in : "), std::string::npos) << console;
    if (std::string(name) != "garbage.vhdr") {
      EXPECT_NE(console.find(dir / name), std::string::npos) << console;
    }
  }
}

}  // namespace

// The "Params" structure, written through libmatio and read back.
namespace {

struct MatRead {
  explicit MatRead(const std::string& path) {
    mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
    EXPECT_NE(mat, nullptr);
    if (mat) {
      params = Mat_VarReadNext(mat);
      Mat_Close(mat);
    }
  }
  ~MatRead() { Mat_VarFree(params); }
  matvar_t* Field(const char* name) const {
    matvar_t* field = params ? Mat_VarGetStructFieldByName(params, name, 0) : nullptr;
    EXPECT_NE(field, nullptr) << name;
    return field;
  }
  template <typename T>
  T Scalar(const char* name, matio_classes cls) const {
    matvar_t* field = Field(name);
    if (!field) return T{};
    EXPECT_EQ(field->class_type, cls) << name;
    EXPECT_EQ(field->dims[0], 1u);
    EXPECT_EQ(field->dims[1], 1u);
    return *static_cast<const T*>(field->data);
  }
  // Row r of a column-major character matrix, without the padding.
  std::string Row(const char* name, size_t r) const {
    matvar_t* field = Field(name);
    std::string text;
    if (!field) return text;
    for (size_t c = 0; c < field->dims[1]; ++c) {
      const size_t i = c * field->dims[0] + r;
      const int ch = field->data_type == MAT_T_UINT16 ? static_cast<const uint16_t*>(field->data)[i]
                                                      : static_cast<const uint8_t*>(field->data)[i];
      if (ch != 0) text.push_back(static_cast<char>(ch));
    }
    return text;
  }
  matvar_t* params = nullptr;
};

std::string WriteParams(const testsupport::TempDir& dir, const BrainampVhdr& header, double nan,
                        const SyncOutputDescription* sync) {
  const std::string path = dir / "params.mat";
  MatVariable variable = AddMatParams(header, nan, sync);
  EXPECT_TRUE(variable);
  MatFile file;
  EXPECT_TRUE(file.Create(path));
  EXPECT_TRUE(file.Write(std::move(variable)));
  EXPECT_TRUE(file.Close());
  return path;
}

TEST(BrainampVhdrMatParams, RecordingAloneGivesItsOwnRateSizesAndChannels) {
  Result r = Read(Header(kCommon, "BinaryFormat=INT_16", kChannels));
  ASSERT_TRUE(r.ok);
  r.header.nbOfSamples = 1234;
  testsupport::TempDir dir;
  const MatRead mat(WriteParams(dir, r.header, -32768.0, nullptr));
  ASSERT_NE(mat.params, nullptr);
  EXPECT_STREQ(mat.params->name, "Params");
  const char* order[] = {"binaryFormat", "dataOrientation", "dataType", "segmentationType", "segmentDataPoints",
                         "samplingRate", "nbOfChannels", "nbOfSamples", "valNaN", "channelNames", "channelGains"};
  ASSERT_EQ(Mat_VarGetNumberOfFields(mat.params), 11);
  char* const* names = Mat_VarGetStructFieldnames(mat.params);
  for (int i = 0; i < 11; ++i) EXPECT_STREQ(names[i], order[i]);
  EXPECT_EQ(mat.Scalar<uint16_t>("binaryFormat", MAT_C_UINT16), 0);
  EXPECT_EQ(mat.Scalar<uint16_t>("dataOrientation", MAT_C_UINT16), 0);
  EXPECT_EQ(mat.Scalar<uint16_t>("dataType", MAT_C_UINT16), 1);
  EXPECT_EQ(mat.Scalar<uint16_t>("segmentationType", MAT_C_UINT16), 0);
  EXPECT_EQ(mat.Scalar<uint32_t>("segmentDataPoints", MAT_C_UINT32), 0u);
  EXPECT_EQ(mat.Scalar<double>("samplingRate", MAT_C_DOUBLE), 2000.0);  // SamplingInterval=500
  EXPECT_EQ(mat.Scalar<uint32_t>("nbOfChannels", MAT_C_UINT32), 3u);
  EXPECT_EQ(mat.Scalar<uint32_t>("nbOfSamples", MAT_C_UINT32), 1234u);
  EXPECT_EQ(mat.Scalar<int16_t>("valNaN", MAT_C_INT16), -32768);
  matvar_t* names16 = mat.Field("channelNames");
  ASSERT_NE(names16, nullptr);
  EXPECT_EQ(names16->class_type, MAT_C_CHAR);
  EXPECT_EQ(names16->dims[0], 3u);
  EXPECT_EQ(names16->dims[1], 16u);
  EXPECT_EQ(mat.Row("channelNames", 0), "Fp1");
  EXPECT_EQ(mat.Row("channelNames", 2), "Cz");
  matvar_t* gains = mat.Field("channelGains");
  ASSERT_NE(gains, nullptr);
  EXPECT_EQ(gains->dims[0], 1u);
  ASSERT_EQ(gains->dims[1], 3u);
  EXPECT_EQ(static_cast<const double*>(gains->data)[1], 0.5);
}

TEST(BrainampVhdrMatParams, RateIsRoundedHalfAwayAndTheFillTakesTheSampleType) {
  Result r = Read(Header("NumberOfChannels=1\nSamplingInterval=3000", "BinaryFormat=IEEE_FLOAT_32", "Ch1=A"));
  ASSERT_TRUE(r.ok);
  testsupport::TempDir dir;
  const MatRead mat(WriteParams(dir, r.header, std::nan(""), nullptr));
  EXPECT_EQ(mat.Scalar<double>("samplingRate", MAT_C_DOUBLE), 333.0);
  EXPECT_TRUE(std::isnan(mat.Scalar<float>("valNaN", MAT_C_SINGLE)));

  r.header.binaryFormat = BrainampVhdr::tUnknown;
  const MatRead without(WriteParams(dir, r.header, 0.0, nullptr));
  ASSERT_NE(without.params, nullptr);
  EXPECT_EQ(Mat_VarGetStructFieldByName(without.params, "valNaN", 0), nullptr);
  EXPECT_EQ(Mat_VarGetNumberOfFields(without.params), 10);
}

TEST(BrainampVhdrMatParams, MergedRecordingAddsItsChannelsWithTheMergedHeadersGainOne) {
  Result r = Read(Header(kCommon, "BinaryFormat=IEEE_FLOAT_64", kChannels));
  ASSERT_TRUE(r.ok);
  r.header.channelNames[1] = "AVeryLongChannelName_42";
  SyncOutputDescription sync;
  sync.nbOfSamples = 777;
  sync.nbOfChannels = 6;
  sync.samplingRate = 500.0;
  sync.addedChannelNames = {"GazeX", "GazeY", "Blink"};
  testsupport::TempDir dir;
  testing::internal::CaptureStdout();
  const std::string path = WriteParams(dir, r.header, std::nan(""), &sync);
  const std::string console = testing::internal::GetCapturedStdout();
  // The export describes the merged recording without changing the header it reads.
  EXPECT_EQ(r.header.channelGains, (std::vector<double>{0.1, 0.5, 1.0}));
  EXPECT_EQ(r.header.channelNames[1], "AVeryLongChannelName_42");
  const MatRead mat(path);
  EXPECT_EQ(mat.Scalar<double>("samplingRate", MAT_C_DOUBLE), 500.0);
  EXPECT_EQ(mat.Scalar<uint32_t>("nbOfChannels", MAT_C_UINT32), 6u);
  EXPECT_EQ(mat.Scalar<uint32_t>("nbOfSamples", MAT_C_UINT32), 777u);
  EXPECT_TRUE(std::isnan(mat.Scalar<double>("valNaN", MAT_C_DOUBLE)));
  EXPECT_EQ(mat.Field("channelNames")->dims[0], 6u);
  EXPECT_EQ(mat.Row("channelNames", 1), "AVeryLongChannel");
  EXPECT_EQ(mat.Row("channelNames", 3), "GazeX");
  EXPECT_EQ(mat.Row("channelNames", 5), "Blink");
  EXPECT_EQ(mat.Field("channelGains")->dims[1], 6u);
  // The EEG channels keep their own gains; the added ones take the merged header's 1.0.
  const double* gains = static_cast<const double*>(mat.Field("channelGains")->data);
  EXPECT_EQ(std::vector<double>(gains, gains + 6), (std::vector<double>{0.1, 0.5, 1.0, 1.0, 1.0, 1.0}));
  EXPECT_NE(console.find("cut to 16 characters"), std::string::npos) << console;
}

TEST(BrainampVhdrMatParams, AMissingDataTypeLineMeansTimeDomainInTheHeaderAndTheMatFile) {
  // BrainVision Recorder's own headers have no DataType line.
  const std::string withoutType = "Codepage=UTF-8\nDataFile=rec.eeg\nDataFormat=BINARY\nDataOrientation=MULTIPLEXED\n"
                                  "NumberOfChannels=3\nDataPoints=1000\nSamplingInterval=500";
  for (const auto& [typeLine, expected] : std::vector<std::pair<std::string, int32_t>>{
           {"", BrainampVhdr::TIMEDOMAIN},
           {"\nDataType=TIMEDOMAIN", BrainampVhdr::TIMEDOMAIN},
           {"\nDataType=FREQUENCYDOMAIN", BrainampVhdr::FREQUENCYDOMAIN}}) {
    const Result r = Read(Header(withoutType + typeLine, "BinaryFormat=INT_16", kChannels));
    ASSERT_TRUE(r.ok) << r.console;
    EXPECT_EQ(r.header.dataType, expected) << typeLine;
    testsupport::TempDir dir;
    const MatRead mat(WriteParams(dir, r.header, -32768.0, nullptr));
    EXPECT_EQ(mat.Scalar<uint16_t>("dataType", MAT_C_UINT16), expected) << typeLine;
  }
}

}  // namespace
