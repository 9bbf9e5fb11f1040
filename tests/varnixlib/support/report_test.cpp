#include "varnixlib/support/report.h"

#include <gtest/gtest.h>

#include <string>

#include "support/coutcapture.h"

namespace {

TEST(Error, PrintsEmptyLineThenTaggedLineAndReturnsFalse) {
  CoutCapture capture;
  const bool result = Error("File::Read::File::Exists", "some/path.eeg", "varnixlib/file.cpp", 42);
  EXPECT_FALSE(result);
  EXPECT_EQ(capture.Text(), "\nERROR in : varnixlib/file.cpp (42) File::Read::File::Exists some/path.eeg\n");
}

TEST(Warning, UsesTheSameLineWithWarningWord) {
  CoutCapture capture;
  Warning("AscRawData::Process : something", "x.asc", "varnixlib/ascrawdata.cpp", 7);
  EXPECT_EQ(capture.Text(), "\nWARNING in : varnixlib/ascrawdata.cpp (7) AscRawData::Process : something x.asc\n");
}

TEST(Error, EmptyDetailEndsWithOneSpaceAndReportsAreSeparatedByOneEmptyLine) {
  CoutCapture capture;
  Error("Brainamp::Process::myVmrk.Process", "", "varnixlib/brainamp.cpp", 1);
  Warning("Tag", "", "varnixlib/brainamp.cpp", 2);
  EXPECT_EQ(capture.Text(),
            "\nERROR in : varnixlib/brainamp.cpp (1) Brainamp::Process::myVmrk.Process \n"
            "\nWARNING in : varnixlib/brainamp.cpp (2) Tag \n");
}

TEST(Error, DefaultSourceIsTheCallingStatement) {
  CoutCapture capture;
  const uint32_t line = __LINE__ + 1;
  Error("Some::Tag", "detail");
  const std::string text = capture.Text();
  EXPECT_NE(text.find("report_test.cpp (" + std::to_string(line) + ") Some::Tag detail\n"), std::string::npos)
      << text;
  EXPECT_EQ(text.rfind("\nERROR in : ", 0), 0u) << text;
}

}  // namespace
