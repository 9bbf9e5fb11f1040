// The parse cache of -G: a round trip restores the parsed state; stale, cut or foreign files are
// ignored and the ASC file is parsed instead.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "asctestfile.h"

using asctest::AscRun;
using asctest::End;
using asctest::Head;
using asctest::Mono;

namespace {

std::string Recording() {
  return Head("LEFT\tRIGHT", "500.00", true) + "INPUT\t1000\t3\n" + "MSG\t1002 BEGIN PHASE LEARNING\n" +
         "MSG\t1002 BEGIN SEQUENCE 2 first\n" +
         "MSG\t1002 BEGIN TRANSITION keyboard_transition t 100 1 x IMAGE cat a.png 1 0 0 0 50 60\n" +
         "SFIX L 1002\n" + "1002\t1.5\t2.5\t3.5\t4.5\t5.5\t6.5\t7.5\t8.5\t9.5\t10.5\t.....\n" +
         "1004\t11\t12\t13\t.\t.\t0\t17\t18\t.\t.\t.....\n" + "EFIX L 1002\t1004\t3\t1.5\t2.5\t3.5\n" +
         "SBLINK R 1004\n" + "EBLINK R 1004\t1006\t3\n" + "INPUT\t1006\t0\n" + "INPUT\t1008\t9\n" +
         "1006\t21\t22\t23\t24\t25\t26\t27\t28\t29\t30\t.....\n" + "MSG\t1008 END TRANSITION KEYBOARD 'q'\n" +
         "MSG\t1010 END SEQUENCE\n" + "MSG\t1012 END PHASE\n" + End(1012);
}

SynchroParams CacheParams() {
  SynchroParams p = AscRun::Defaults();
  p.cacheWanted = true;
  p.pupilSize = true;
  return p;
}

void ExpectSameEvent(const Event& a, const Event& b) {
  EXPECT_EQ(a.type, b.type);
  EXPECT_EQ(a.start, b.start);
  EXPECT_EQ(a.end, b.end);
  EXPECT_EQ(a.line, b.line);
}

template <typename List>
void ExpectSameList(const List& a, const List& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t k = 0; k < a.size(); ++k) ExpectSameEvent(*a[k], *b[k]);
}

void ExpectSameState(const AscRawData& a, const AscRawData& b) {
  EXPECT_EQ(a.NbSamples(), b.NbSamples());
  EXPECT_EQ(a.NbChannels(), b.NbChannels());
  EXPECT_EQ(a.StartTimestamp(), b.StartTimestamp());
  EXPECT_EQ(a.EndTimestamp(), b.EndTimestamp());
  EXPECT_EQ(a.LastSampleIndex(), b.LastSampleIndex());
  EXPECT_EQ(a.SamplePeriod(), b.SamplePeriod());
  EXPECT_EQ(a.Header().fileName, b.Header().fileName);
  EXPECT_EQ(a.Header().screenWidth, b.Header().screenWidth);
  EXPECT_EQ(a.Data(), b.Data());
  EXPECT_EQ(a.ChannelNames(), b.ChannelNames());
  EXPECT_EQ(a.Status(), b.Status());
  EXPECT_EQ(a.FrameAdvances(), b.FrameAdvances());
  EXPECT_EQ(a.TriggerValues(), b.TriggerValues());
  EXPECT_EQ(a.TriggerNames(), b.TriggerNames());
  EXPECT_EQ(a.LeftEyePresent(), b.LeftEyePresent());
  EXPECT_EQ(a.RightEyePresent(), b.RightEyePresent());
  EXPECT_EQ(a.VelocityInFile(), b.VelocityInFile());
  ExpectSameList(a.Sequences(), b.Sequences());
  ExpectSameList(a.Displayables(), b.Displayables());
  ExpectSameList(a.Frames(), b.Frames());
  ExpectSameList(a.Transitions(), b.Transitions());
  ExpectSameList(a.FixationSaccadesLeft(), b.FixationSaccadesLeft());
  ExpectSameList(a.FixationSaccadesRight(), b.FixationSaccadesRight());
  ExpectSameList(a.BlinksLeft(), b.BlinksLeft());
  ExpectSameList(a.BlinksRight(), b.BlinksRight());
  ExpectSameList(a.AcqPhases(), b.AcqPhases());
  ExpectSameList(a.Records(), b.Records());
  ExpectSameList(a.Triggers(), b.Triggers());
  ExpectSameList(a.AllEvents(), b.AllEvents());
}

TEST(AscCache, ARoundTripRestoresEveryParsedValue) {
  AscRun first(Recording(), CacheParams());
  ASSERT_TRUE(first.ok);
  const std::string cache = AscRawData::CacheFileName(first.params.ascFileName);
  ASSERT_TRUE(std::filesystem::exists(cache));
  ASSERT_FALSE(first.asc.Displayables().empty());
  ASSERT_EQ(first.asc.Triggers().size(), 2u);
  EXPECT_EQ(first.Log(), "");

  AscRawData second;
  second.OpenLog(first.Path("second.log"));
  ASSERT_TRUE(second.Process(first.params));
  ExpectSameState(first.asc, second);
  const Displayable& d1 = *first.asc.Displayables()[0];
  const Displayable& d2 = *second.Displayables()[0];
  EXPECT_EQ(d2.name, d1.name);
  EXPECT_EQ(d2.relativePath, "a.png");
  EXPECT_EQ(d2.stopAttribute, 'q');
  EXPECT_EQ(d2.bottomRect, 60);
  EXPECT_EQ(second.FixationSaccadesLeft()[0]->averagePupilSizeFixation, 3.5);
  EXPECT_EQ(second.Sequences()[0]->name, "first");
  EXPECT_EQ(second.Transitions()[0]->name, "t");
  // The cache was used: the walk would have rewritten its log, and loading writes nothing.
  EXPECT_EQ(testsupport::ReadFile(first.Path("second.log")), "");
}

TEST(AscCache, AStaleCutOrForeignCacheIsIgnoredAndTheFileParsed) {
  AscRun first(Recording(), CacheParams());
  ASSERT_TRUE(first.ok);
  const std::string cache = AscRawData::CacheFileName(first.params.ascFileName);
  const std::string good = testsupport::ReadFile(cache);

  auto reparse = [&](const std::string& cacheBytes, const std::string& ascText, SynchroParams p) {
    testsupport::WriteFile(cache, cacheBytes);
    testsupport::WriteFile(first.params.ascFileName, ascText);
    AscRawData asc;
    asc.OpenLog(first.Path("again.log"));
    EXPECT_TRUE(asc.Process(p));
    return asc.Data();
  };
  SynchroParams p = first.params;
  // A cut cache, a flipped payload byte and a foreign file: parsed again, same result.
  EXPECT_EQ(reparse(good.substr(0, good.size() / 2), Recording(), p), first.asc.Data());
  std::string flipped = good;
  flipped[flipped.size() - 3] ^= 0x55;
  EXPECT_EQ(reparse(flipped, Recording(), p), first.asc.Data());
  EXPECT_EQ(reparse("not a cache at all\n", Recording(), p), first.asc.Data());
  EXPECT_EQ(reparse("", Recording(), p), first.asc.Data());

  // The ASC file changed after the cache was written: the new values are read.
  std::string edited = Recording();
  edited.replace(edited.find("1002\t1.5"), 8, "1002\t9.5");
  AscRawData fresh;
  {
    const AscRawData::Matrix data = reparse(good, edited, p);
    EXPECT_NE(data, first.asc.Data());
    EXPECT_EQ(data[first.asc.NbChannels()], 9.5);  // left x of the first sample line (index 1)
  }
  // Other switches give other channels: the cache of the first run does not apply.
  SynchroParams noPupil = p;
  noPupil.pupilSize = false;
  testsupport::WriteFile(first.params.ascFileName, Recording());
  AscRawData a;
  a.OpenLog(first.Path("a.log"));
  ASSERT_TRUE(a.Process(p));  // rewrites the cache for p
  AscRawData b;
  b.OpenLog(first.Path("b.log"));
  ASSERT_TRUE(b.Process(noPupil));
  EXPECT_EQ(b.NbChannels(), first.asc.NbChannels() - 2);
}

TEST(AscCache, WithoutTheSwitchNoCacheIsWrittenOrRead) {
  AscRun run(Recording());
  ASSERT_TRUE(run.ok);
  EXPECT_FALSE(std::filesystem::exists(AscRawData::CacheFileName(run.params.ascFileName)));
}

}  // namespace
