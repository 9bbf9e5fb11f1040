#include "varnixlib/brainvision/brainampeeg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>

#include "support/testsupport.h"
#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/brainvision/brainampvmrk.h"

namespace {

template <typename T>
std::string Bytes(const std::vector<T>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

template <typename T>
class BrainampEegTyped : public testing::Test {};
using SampleTypes = testing::Types<int16_t, float, double>;
TYPED_TEST_SUITE(BrainampEegTyped, SampleTypes);

TYPED_TEST(BrainampEegTyped, LoadsTheFileUnchangedAndChecksItsSize) {
  using T = TypeParam;
  testsupport::TempDir dir;
  std::vector<T> values(4000);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<T>(static_cast<int>(i % 2000) - 1000);
  testsupport::WriteFile(dir / "rec.eeg", Bytes(values));

  BrainampEEG<T> eeg;
  EXPECT_FALSE(eeg.dataChanged);
  ASSERT_TRUE(eeg.Process(dir / "rec.eeg"));
  EXPECT_EQ(eeg.fileName, dir / "rec.eeg");
  EXPECT_EQ(eeg.GetNbValues(), 4000u);
  EXPECT_TRUE(std::equal(values.begin(), values.end(), eeg.Values()));
  EXPECT_TRUE(eeg.CheckSize(1000, 4));
  EXPECT_FALSE(eeg.CheckSize(999, 4));
  EXPECT_FALSE(eeg.CheckSize(-1000, 4));
  // Through the common interface too.
  const BrainampEegVirt& base = eeg;
  EXPECT_EQ(base.GetNbValues(), 4000u);
}

TYPED_TEST(BrainampEegTyped, FillValueIsTheTypesMissingSample) {
  using T = TypeParam;
  BrainampEEG<T> eeg;
  if constexpr (std::is_same_v<T, int16_t>) {
    EXPECT_EQ(eeg.valNaN, -32768);
    EXPECT_EQ(eeg.GetNaN(), -32768.0);
  } else if constexpr (std::is_same_v<T, float>) {
    uint32_t bits;
    std::memcpy(&bits, &eeg.valNaN, sizeof bits);
    EXPECT_EQ(bits, 0xFFFFFFFFu);
    EXPECT_TRUE(std::isnan(eeg.GetNaN()));
  } else {
    uint64_t bits;
    std::memcpy(&bits, &eeg.valNaN, sizeof bits);
    EXPECT_EQ(bits, ~uint64_t{0});
    EXPECT_TRUE(std::isnan(eeg.GetNaN()));
  }
}

TYPED_TEST(BrainampEegTyped, AFileThatIsNotAWholeNumberOfValuesIsRefused) {
  using T = TypeParam;
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "cut.eeg", std::string(sizeof(T) * 10 + 1, '\x01'));
  BrainampEEG<T> eeg;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(eeg.Process(dir / "cut.eeg"));
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("not a whole number of " + std::to_string(sizeof(T)) + "-byte values"), std::string::npos)
      << console;
  EXPECT_NE(console.find(dir / "cut.eeg"), std::string::npos);
}

TEST(BrainampEEG, MissingFileIsReportedAndAnEmptyFileLoadsNothing) {
  testsupport::TempDir dir;
  BrainampEEG<float> eeg;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(eeg.Process(dir / "none.eeg"));
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("BrainampEEG::Process::File::Exists " + (dir / "none.eeg")), std::string::npos) << console;
  testsupport::WriteFile(dir / "empty.eeg", "");
  EXPECT_TRUE(eeg.Process(dir / "empty.eeg"));
  EXPECT_EQ(eeg.GetNbValues(), 0u);
}

// Segments at 0, 100 and 250 with 0, 5 and 3 lost samples, two channels.
struct Gapped {
  Gapped() {
    vmrk.ProcessContent("Mk1=New Segment,,1,1,0,20190412100000000000\r\n"
                        "Mk2=New Segment,,101,1,0,20190412100000105000\r\n"
                        "Mk3=New Segment,,251,1,0,20190412100000258000\r\n",
                        "rec.vmrk");
    header.nbChannels = 2;
    header.samplingInterval = 1000.0;
  }
  BrainampVmrk vmrk;
  BrainampVhdr header;
};

TEST(BrainampEEG, FillGapsInsertsFillValuesBeforeEachLaterSegment) {
  Gapped g;
  BrainampEEG<int16_t> eeg;
  eeg.samples.resize(600);
  std::iota(eeg.samples.begin(), eeg.samples.end(), int16_t{0});
  ASSERT_TRUE(g.vmrk.ProcessDataSegments(g.header, eeg.GetNbValues()));
  ASSERT_TRUE(eeg.FillGaps(g.vmrk, g.header));
  EXPECT_TRUE(eeg.dataChanged);
  ASSERT_EQ(eeg.GetNbValues(), 616u);
  EXPECT_TRUE(eeg.CheckSize(static_cast<int32_t>(g.header.nbOfSamples), 2));
  // Values 0..199, then 10 fills, values 200..499, then 6 fills, values 500..599.
  for (int i = 0; i < 200; ++i) ASSERT_EQ(eeg.samples[i], i);
  for (int i = 200; i < 210; ++i) ASSERT_EQ(eeg.samples[i], -32768);
  for (int i = 210; i < 510; ++i) ASSERT_EQ(eeg.samples[i], i - 10);
  for (int i = 510; i < 516; ++i) ASSERT_EQ(eeg.samples[i], -32768);
  for (int i = 516; i < 616; ++i) ASSERT_EQ(eeg.samples[i], i - 16);
}

TEST(BrainampEEG, FillGapsChangesNothingForOneSegmentOrMarkerBasedData) {
  testsupport::TempDir dir;
  Gapped g;
  BrainampEEG<float> eeg;
  eeg.fileName = dir / "rec.eeg";
  eeg.samples.assign(600, 1.5f);
  ASSERT_TRUE(g.vmrk.ProcessDataSegments(g.header, eeg.GetNbValues()));
  g.header.segmentationType = BrainampVhdr::MARKERBASED;
  ASSERT_TRUE(eeg.FillGaps(g.vmrk, g.header));
  EXPECT_FALSE(eeg.dataChanged);
  EXPECT_EQ(eeg.GetNbValues(), 600u);

  BrainampVmrk one;
  one.ProcessContent("Mk1=New Segment,,1,1,0,20190412100000000000\r\n", "one.vmrk");
  g.header.segmentationType = BrainampVhdr::NOSEGMENTED;
  ASSERT_TRUE(eeg.FillGaps(one, g.header));
  EXPECT_FALSE(eeg.dataChanged);

  // SaveRaw then only removes an old .raw file.
  testsupport::WriteFile(dir / "rec.raw", "old");
  ASSERT_TRUE(eeg.SaveRaw());
  EXPECT_FALSE(std::filesystem::exists(dir / "rec.raw"));
}

TEST(BrainampEEG, FillGapsRefusesSegmentsOutsideTheSamples) {
  Gapped g;
  BrainampEEG<double> eeg;
  eeg.samples.assign(600, 0.0);
  ASSERT_TRUE(g.vmrk.ProcessDataSegments(g.header, eeg.GetNbValues()));
  eeg.samples.resize(100);  // the array no longer holds the third segment
  testing::internal::CaptureStdout();
  EXPECT_FALSE(eeg.FillGaps(g.vmrk, g.header));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("BrainampEEG::FillGaps"), std::string::npos);
  EXPECT_EQ(eeg.GetNbValues(), 100u);
}

TEST(BrainampEEG, WritersWriteTheWholeArrayAndNeverTheLoadedFile) {
  testsupport::TempDir dir;
  const std::vector<float> values{1.0f, -2.0f, 3.5f, 4.25f};
  testsupport::WriteFile(dir / "rec.eeg", Bytes(values));
  Gapped g;
  g.header.nbChannels = 1;
  BrainampEEG<float> eeg;
  ASSERT_TRUE(eeg.Process(dir / "rec.eeg"));

  ASSERT_TRUE(eeg.SaveAs(dir / "copy"));
  EXPECT_EQ(testsupport::ReadFile(dir / "copy.eeg"), Bytes(values));
  ASSERT_TRUE(eeg.SaveTo(dir / "other.bin"));
  EXPECT_EQ(testsupport::ReadFile(dir / "other.bin"), Bytes(values));

  testing::internal::CaptureStdout();
  EXPECT_FALSE(eeg.SaveTo(dir / "rec.eeg"));
  EXPECT_FALSE(eeg.SaveAs(dir / "rec"));
  EXPECT_FALSE(eeg.SaveTo(dir / "nodir/x.eeg"));
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("never overwritten"), std::string::npos) << console;
  EXPECT_EQ(testsupport::ReadFile(dir / "rec.eeg"), Bytes(values));

  // SaveRaw writes the gap-filled array once FillGaps changed it.
  BrainampVmrk two;
  two.ProcessContent("Mk1=New Segment,,1,1,0,20190412100000000000\r\nMk2=New Segment,,3,1,0,20190412100000003000\r\n",
                     "two.vmrk");
  ASSERT_TRUE(two.ProcessDataSegments(g.header, eeg.GetNbValues()));
  ASSERT_TRUE(eeg.FillGaps(two, g.header));
  ASSERT_TRUE(eeg.SaveRaw());
  const std::string raw = testsupport::ReadFile(dir / "rec.raw");
  ASSERT_EQ(raw.size(), 5 * sizeof(float));
  float fill;
  std::memcpy(&fill, raw.data() + 2 * sizeof(float), sizeof fill);
  EXPECT_TRUE(std::isnan(fill));
}

}  // namespace
