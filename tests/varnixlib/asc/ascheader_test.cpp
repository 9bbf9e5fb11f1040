// Header scan, the time grid and the header's MAT structure.

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "asctestfile.h"
#include "varnixlib/mat/recordmat.h"

using asctest::AscRun;
using asctest::Capture;

namespace {

TEST(AscHeaderScan, ReadsTheHeaderKeysAndTheConvertedFromName) {
  const std::string text =
      "** CONVERTED FROM D:\\data\\s01.edf using edfapi 3.1\n"
      "** DATE: Thu Jun 13 16:00:17 2019\n"
      "MSG\t900 SOFTWARE NAME Tessark\n"
      "MSG\t900 SOFTWARE VERSION 2.1\n"
      "MSG\t900 SUBJECT NAME alice\n"
      "MSG\t900 SUBJECT SESSION 3\n"
      "MSG\t900 EXPERIMENT NAME reading\n"
      "MSG\t900 SCREEN PHYS DIMX MM 520\n"
      "MSG\t900 SCREEN PHYS DIMY MM 290\n"
      "MSG\t900 SCREEN DISTANCE 60cm\n"
      "MSG\t900 GUIDING EYE LEFT\n"
      "MSG\t900 FRAMERATE 60 Hz\n"
      "MSG\t900 DISPLAY_COORDS 0 0 1919 1079\n"
      "INPUT\t1000\t0\n"
      "MSG\t1000 BEGIN PHASE LEARNING\n"
      "SAMPLES\tGAZE\tLEFT\tRATE\t500.00\n"
      "MSG\t2000 END PHASE\n";
  SynchroParams p = AscRun::Defaults();
  p.falseBlinkMsec = 100;
  AscRun run(text, p);
  ASSERT_TRUE(run.ok);
  const AscHeader& h = run.asc.Header();
  EXPECT_EQ(h.fileName, "s01.edf");
  EXPECT_EQ(h.softwareName, "Tessark");
  EXPECT_EQ(h.softwareVersion, "2.1");
  EXPECT_EQ(h.subjectName, "alice");
  EXPECT_EQ(h.subjectSession, 3);
  EXPECT_EQ(h.experimentName, "reading");
  EXPECT_EQ(h.screenDimXmm, 520);
  EXPECT_EQ(h.screenDimYmm, 290);
  EXPECT_EQ(h.screenDistance, 60);
  EXPECT_EQ(h.guidingEye, "LEFT");
  EXPECT_EQ(h.frameRate, 60);
  EXPECT_EQ(h.screenWidth, 1920);
  EXPECT_EQ(h.screenHeight, 1080);
  EXPECT_EQ(h.samplePeriodUs, 2000u);
  EXPECT_EQ(h.falseBlinkSamples, 50);
}

TEST(AscHeaderScan, DisplayCoordsGiveTheFirstAndLastPixelAndScreenWidthTheCount) {
  for (const auto& [line, width, height] : std::vector<std::tuple<std::string, int, int>>{
           {"MSG\t900 DISPLAY_COORDS 0 0 3839 2159\n", 3840, 2160},
           {"MSG\t900 DISPLAY_COORDS 0 0 1023 767\n", 1024, 768},
           {"MSG\t900 DISPLAY_COORDS 100 50 1123 817\n", 1024, 768},
           {"MSG\t900 SCREEN WIDTH 1280\nMSG\t900 SCREEN HEIGHT 1024\n", 1280, 1024}}) {
    // Without the helper's own DISPLAY_COORDS line, which would come last and win.
    const std::string head = asctest::Head();
    const size_t cut = head.find("MSG");
    const std::string text = head.substr(0, cut) + line + head.substr(head.find('\n', cut) + 1) +
                             asctest::Mono(1000, "1", "1") + asctest::End(1001);
    AscRun run(text);
    ASSERT_TRUE(run.ok) << line;
    EXPECT_EQ(run.asc.Header().screenWidth, width) << line;
    EXPECT_EQ(run.asc.Header().screenHeight, height) << line;
  }
}

TEST(AscHeaderScan, FrameRateNeedsFourOrFiveTokens) {
  for (const auto& [line, rate] : std::vector<std::pair<std::string, int>>{
           {"MSG\t900 FRAMERATE 60 Hz\n", 60}, {"MSG\t900 FRAMERATE 60\n", 60}, {"MSG FRAMERATE 60\n", 0},
           {"MSG\t900 FRAMERATE 60 Hz now\n", 0}}) {
    AscRun run(line + asctest::Head() + asctest::Mono(1000, "1", "1") + asctest::End(1001));
    ASSERT_TRUE(run.ok) << line;
    EXPECT_EQ(run.asc.Header().frameRate, rate) << line;
  }
}

TEST(AscHeaderScan, RateGivesThePeriodAndTheFalseBlinkThreshold) {
  for (const auto& [rate, period, blink] : std::vector<std::tuple<std::string, double, int>>{
           {"1000.00", 1, 100}, {"500.00", 2, 50}, {"250.00", 4, 25}, {"2000.00", 0.5, 200}}) {
    SynchroParams p = AscRun::Defaults();
    p.falseBlinkMsec = 100;
    AscRun run(asctest::Head("LEFT", rate) + asctest::Mono(1000, "1", "1") + asctest::End(1004), p);
    ASSERT_TRUE(run.ok) << rate;
    EXPECT_EQ(run.asc.SamplePeriod(), period) << rate;
    EXPECT_EQ(run.asc.Header().falseBlinkSamples, blink) << rate;
  }
}

TEST(AscHeaderScan, ANegativeOrHugeFalseBlinkDurationStaysInsideTheThresholdField) {
  SynchroParams p = AscRun::Defaults();
  p.falseBlinkMsec = -5;
  AscRun negative(asctest::Head() + asctest::Mono(1000, "1", "1") + asctest::End(1001), p);
  EXPECT_EQ(negative.asc.Header().falseBlinkSamples, 0);
  p.falseBlinkMsec = 70000;
  AscRun huge(asctest::Head() + asctest::Mono(1000, "1", "1") + asctest::End(1001), p);
  EXPECT_EQ(huge.asc.Header().falseBlinkSamples, 65535);
}

TEST(AscTimeGrid, RoundsTheStartDownAndAddsThePeriodToTheEndQuotient) {
  // P = 2, start 1001, end 2001: the grid runs from 1000 to 2004 and has 502 samples.
  AscRun two("INPUT\t1001\t0\nSAMPLES\tGAZE\tLEFT\tRATE\t500.00\nMSG\t2001 last\n");
  ASSERT_TRUE(two.ok);
  EXPECT_EQ(two.asc.StartTimestamp(), 1000u);
  EXPECT_EQ(two.asc.EndTimestamp(), 2004u);
  EXPECT_EQ(two.asc.NbSamples(), 502u);
  AscRun one("INPUT\t1001\t0\nSAMPLES\tGAZE\tLEFT\tRATE\t1000.00\nMSG\t2001 last\n");
  EXPECT_EQ(one.asc.StartTimestamp(), 1001u);
  EXPECT_EQ(one.asc.EndTimestamp(), 2002u);
  EXPECT_EQ(one.asc.NbSamples(), 1001u);
  AscRun four("INPUT\t1001\t0\nSAMPLES\tGAZE\tLEFT\tRATE\t250.00\nMSG\t2001 last\n");
  EXPECT_EQ(four.asc.StartTimestamp(), 1000u);
  EXPECT_EQ(four.asc.EndTimestamp(), (2001u / 4 + 4) * 4);
  EXPECT_EQ(four.asc.NbSamples(), ((2001u / 4 + 4) * 4 - 1000u) / 4);
  // Sample index = (timestamp - start) / P, so 1003 and 1002 share index 1 at P = 2.
  EXPECT_EQ(two.asc.SampleIndex("1003"), 1u);
  EXPECT_EQ(two.asc.SampleIndex("1002"), 1u);
  EXPECT_EQ(two.asc.SampleIndex("10a2"), AscRawData::kNoIndex);
  EXPECT_EQ(two.asc.SampleIndex("998"), (998u - 1000u) / 2);  // before the start: wraps far off the grid
}

TEST(AscHeaderScan, TheEndComesFromTheLastTimedLineBeforeTrailingEvents) {
  AscRun run(asctest::Head() + asctest::Mono(1000, "1", "1") + asctest::Mono(1001, "1", "1") + "MSG\t1005 late\n" +
          "EFIX\tL\t1000\t1001\t2\t1.0\t1.0\t1000\nESACC\tL\t1\t2\t3\t4\t5\t6\t7\t8\t9\n\n   \n");
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.asc.EndTimestamp(), 1006u);
  AscRun sample(asctest::Head() + asctest::Mono(1000, "1", "1") + asctest::Mono(1007, "1", "1") + "EBLINK R 1 2 3\n");
  EXPECT_EQ(sample.asc.EndTimestamp(), 1008u);
}

TEST(AscHeaderScan, AnUnsupportedOrMissingRateStopsWithTheHeaderErrorNamingIt) {
  // The reason reaches the console, not only the log.
  for (const auto& [samplesLine, reason] : std::vector<std::pair<std::string, std::string>>{
           {"SAMPLES\tGAZE\tLEFT\tRATE\t333.00\n", "the sampling rate 333 Hz is not one of 250, 500, 1000 and 2000 Hz"},
           {"SAMPLES\tGAZE\tLEFT\tRATE\t120.00\n", "the sampling rate 120 Hz is not one of"},
           {"SAMPLES\tGAZE\tLEFT\tTRACKING\n", "the SAMPLES line states no sampling rate (RATE)"},
           {"SAMPLES\tGAZE\tLEFT\tRATE\n", "the SAMPLES line states no sampling rate (RATE)"},
           {"SAMPLES\tGAZE\tLEFT\tRATE\t0\n", "the SAMPLES line states no sampling rate (RATE)"},
           {"SAMPLES\tGAZE\tLEFT\tRATE\t-5\n", "the SAMPLES line states no sampling rate (RATE)"},
           {"", "the file has no SAMPLES line"}}) {
    std::string out;
    out = Capture([&] {
      AscRun run("START\t1000 \tLEFT\tSAMPLES\tEVENTS\n" + samplesLine + asctest::Mono(1000, "1", "1") + asctest::End(1001));
      EXPECT_FALSE(run.ok);
      EXPECT_NE(run.Log().find("Invalid ASC header: " + reason), std::string::npos) << run.Log();
    });
    EXPECT_NE(out.find("AscRawData::Process : processing header " + reason), std::string::npos) << out;
  }
}

TEST(AscHeaderScan, AFileCutInsideItsLastSampleLineIsAHeaderErrorNotAHugeGrid) {
  const std::string whole = asctest::Head("LEFT", "1000.00", false, 5511179) + asctest::Mono(5511179, "1", "1") +
                            asctest::Mono(5511180, "1", "1");
  const std::string cut = whole + "55";  // the last line lost all but two digits of its timestamp
  const std::string out = Capture([&] {
    AscRun run(cut);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.asc.Status().size(), 0u);  // nothing was laid out
    EXPECT_NE(run.Log().find("before the first"), std::string::npos);
  });
  EXPECT_NE(out.find("AscRawData::Process : processing header"), std::string::npos);
}

TEST(AscHeaderScan, AGridBeyondADayOrBeyondTheClockIsRefused) {
  Capture([&] {
    AscRun day(asctest::Head() + asctest::Mono(1000, "1", "1") + "MSG\t" + std::to_string(1000u + 86400001u) + " late\n");
    EXPECT_FALSE(day.ok);
    EXPECT_NE(day.Log().find("24 hours"), std::string::npos);
    AscRun clock(asctest::Head() + asctest::Mono(1000, "1", "1") + "MSG\t4294967295 late\n");
    EXPECT_FALSE(clock.ok);
    AscRun wrapped(asctest::Head("LEFT", "1000.00", false, 4294967000u) + "MSG\t500 after the wrap\n");
    EXPECT_FALSE(wrapped.ok);
  });
}

TEST(AscHeaderScan, FilesWithoutUsableContentGiveTheirErrors) {
  testsupport::TempDir dir;
  auto run = [&](const std::string& name, const std::string* bytes) {
    if (bytes) testsupport::WriteFile(dir / name, *bytes);
    SynchroParams p = AscRun::Defaults();
    p.ascFileName = dir / name;
    AscRawData asc;
    asc.OpenLog(dir / "log.txt");
    std::string out = Capture([&] { EXPECT_FALSE(asc.Process(p)); });
    return out;
  };
  EXPECT_NE(run("missing.asc", nullptr).find("File don't extist"), std::string::npos);
  const std::string empty;
  EXPECT_NE(run("empty.asc", &empty).find("Empty ASC file"), std::string::npos);
  const std::string oneLine = "MSG 1000 no line feed";
  EXPECT_NE(run("oneline.asc", &oneLine).find("Invalid ASC file"), std::string::npos);
  const std::string noEnd = "** CONVERTED FROM x.edf\nEFIX L 1 2\n\n";
  EXPECT_NE(run("noend.asc", &noEnd).find("processing header"), std::string::npos);
  std::string binary(70000, '\0');
  std::mt19937 random(3);
  for (char& c : binary) c = static_cast<char>(random());
  EXPECT_NE(run("binary.asc", &binary).find("ERROR in : "), std::string::npos);
  const std::string noStart = "SAMPLES\tGAZE\tLEFT\tRATE\t1000.00\nMSG\t2000 x\n";
  EXPECT_NE(run("nostart.asc", &noStart).find("processing header"), std::string::npos);
}

TEST(AscHeaderMat, TheStructureHasTheFieldsInOrderWithTheirTypes) {
  AscHeader h;
  h.softwareName = "Tessark";
  h.fileName = "s01.edf";
  h.screenWidth = 1919;
  h.falseBlinkSamples = 7;
  h.guidingEye = "RIGHT";
  MatVariable s = MakeMatStructure(h);
  ASSERT_TRUE(s);
  EXPECT_STREQ(s->name, "AscHeader");
  const char* expected[] = {"softwareName", "softwareVersion", "fileName",     "subjectName",    "subjectSession",
                            "experimentName", "screenWidth",   "screenHeight", "screenDimXmm",   "screenDimYmm",
                            "screenDistance", "frameRate",     "falseBlinkSamples", "guidingEye"};
  ASSERT_EQ(Mat_VarGetNumberOfFields(s.get()), 14u);
  char* const* names = Mat_VarGetStructFieldnames(s.get());
  for (int k = 0; k < 14; ++k) EXPECT_STREQ(names[k], expected[k]);
  matvar_t* width = Mat_VarGetStructFieldByName(s.get(), "screenWidth", 0);
  ASSERT_NE(width, nullptr);
  EXPECT_EQ(width->class_type, MAT_C_UINT16);
  EXPECT_EQ(*static_cast<const uint16_t*>(width->data), 1919);
  matvar_t* eye = Mat_VarGetStructFieldByName(s.get(), "guidingEye", 0);
  ASSERT_NE(eye, nullptr);
  EXPECT_EQ(eye->class_type, MAT_C_CHAR);
  EXPECT_EQ(std::string(static_cast<const char*>(eye->data), eye->dims[1]), "RIGHT");
}

}  // namespace
