// The line walk reading ahead on a second thread must give exactly what it gives on one: every
// column, status byte, event, trigger, console line and log line, whatever the chunk size (so that
// chunk boundaries fall on sample lines, event lines, block starts and the file's end), and a
// corrupted line must stop the walk at that line with the same report however far the worker ran.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <tuple>

#include "asctestfile.h"
#include "support/testsupport.h"
#include "varnixlib/asc/asclineahead.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/asc/asctokens.h"

#ifdef TOLMERA_SIM_PATH

namespace {

using ReadAhead = AscRawData::ReadAhead;

/// Everything a stage run leaves for the later stages and the user.
struct StageResult {
  bool ok = false;
  bool stopped = false;
  std::vector<std::string> channels;
  AscRawData::Matrix data;
  std::vector<uint8_t> status;
  std::vector<uint16_t> frameAdvances;
  std::vector<uint16_t> triggerValues;
  std::vector<std::tuple<uint16_t, uint32_t, uint32_t, double>> triggers;  ///< code, sample, line, time
  std::vector<std::tuple<uint16_t, uint32_t, uint32_t, uint32_t>> events;  ///< type, start, end, line
  std::vector<std::pair<uint32_t, uint16_t>> phases;
  uint32_t lastSample = 0;
  uint32_t expectedChannels = 0;
  uint32_t startTimestamp = 0;
  double periodMs = 0;
  std::string console;
  std::string log;
};

/// Restores the default read-ahead whatever the test does.
struct ReadAheadGuard {
  ~ReadAheadGuard() { AscRawData::SetReadAheadForTesting(ReadAhead::kAuto, 0); }
};

/// Runs the stage on asc with its log beside it (the console names the log, so every run of one file
/// uses the same name).
StageResult RunStage(const std::string& asc, ReadAhead mode, uint64_t chunkLines, const std::string& keyword = "") {
  AscRawData::SetReadAheadForTesting(mode, chunkLines);
  const std::string logPath = asc + ".log.txt";
  SynchroParams params = asctest::AscRun::Defaults();
  params.ascFileName = asc;
  params.pupilSize = true;
  params.triggerMessage = keyword;
  AscRawData stage;
  stage.OpenLog(logPath);
  StageResult r;
  r.console = asctest::Capture([&] { r.ok = stage.Process(params); });
  r.stopped = stage.StoppedOnCorruption();
  r.channels = stage.ChannelNames();
  r.data = stage.Data();
  r.status = stage.Status();
  r.frameAdvances = stage.FrameAdvances();
  r.triggerValues = stage.TriggerValues();
  for (const auto& t : stage.Triggers()) r.triggers.emplace_back(t->type, t->start, t->line, t->timestamp);
  for (const Event* e : stage.AllEvents()) r.events.emplace_back(e->type, e->start, e->end, e->line);
  r.phases = stage.SamplePhases();
  r.lastSample = stage.LastSampleIndex();
  r.expectedChannels = stage.ExpectedChannels(params.velocityChannels);
  r.startTimestamp = stage.StartTimestamp();
  r.periodMs = stage.SamplePeriod();
  r.log = testsupport::ReadFile(logPath);
  return r;
}

/// Field by field, so that a failure names what differs rather than dumping megabytes.
void ExpectSame(const StageResult& a, const StageResult& b, const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(a.ok, b.ok);
  EXPECT_EQ(a.stopped, b.stopped);
  EXPECT_EQ(a.channels, b.channels);
  EXPECT_TRUE(a.data == b.data) << "channel matrix differs";
  EXPECT_TRUE(a.status == b.status) << "status bytes differ";
  EXPECT_TRUE(a.frameAdvances == b.frameAdvances) << "frame advances differ";
  EXPECT_TRUE(a.triggerValues == b.triggerValues) << "trigger values differ";
  EXPECT_TRUE(a.triggers == b.triggers) << "triggers differ";
  EXPECT_TRUE(a.events == b.events) << "events differ";
  EXPECT_EQ(a.phases, b.phases);
  EXPECT_EQ(a.lastSample, b.lastSample);
  EXPECT_EQ(a.console, b.console);
  EXPECT_EQ(a.log, b.log);
}

/// What the simulator's ground truth says of the recording: its trigger codes in order, and the
/// samples its blocks hold.
struct TruthSummary {
  std::vector<uint16_t> codes;
  double blockSamples = 0;
};

TruthSummary ReadTruth(const std::string& truthPath) {
  std::istringstream in(testsupport::ReadFile(truthPath));
  TruthSummary truth;
  std::string section;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '[') {
      section = line;
      continue;
    }
    const size_t comma = line.find(',');
    if (section == "[triggers]" && comma != std::string::npos && line.compare(0, 6, "index,") != 0) {
      truth.codes.push_back(static_cast<uint16_t>(std::atoi(line.c_str() + comma + 1)));
    }
    if (section == "[recording]" && line.compare(0, 6, "block=") == 0) {
      truth.blockSamples += std::atof(line.c_str() + line.rfind(',') + 1);  // start, end, samples
    }
  }
  return truth;
}

struct SimCase {
  const char* options;
  const char* keyword;  ///< triggers from messages (-M), or none
};

void PrintTo(const SimCase& c, std::ostream* os) { *os << c.options; }

class LineReadAheadRuns : public ::testing::TestWithParam<SimCase> {};

TEST_P(LineReadAheadRuns, EveryChunkSizeGivesTheOneThreadResult) {
  ReadAheadGuard guard;
  testsupport::TempDir dir;
  const std::string command = std::string(TOLMERA_SIM_PATH) + " --out \"" + dir.Path().string() + "\" " +
                              GetParam().options + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string asc = dir / "S01.asc";

  const StageResult one = RunStage(asc, ReadAhead::kOff, 0, GetParam().keyword);
  ASSERT_TRUE(one.ok) << one.console;
  // The reference itself against the ground truth: a walk that lost or doubled lines would not
  // find the simulator's triggers, nor the gaze of (nearly, blinks aside) every sample of its blocks.
  const TruthSummary truth = ReadTruth(dir / "S01.truth.txt");
  std::vector<uint16_t> codes;
  for (const auto& t : one.triggers) codes.push_back(std::get<0>(t));
  EXPECT_EQ(codes, truth.codes);
  // The header announces what the samples hold: the matrix laid out during the walk fits.
  EXPECT_EQ(one.expectedChannels, one.channels.size());
  // The simulator's gaze x is 100 (left eye) or 120 (right eye) + (t mod 1600) / 2 pixels, written
  // with one decimal: the matrix must hold it on every sample, whichever core filled its rows.
  double withGaze = 0;
  const size_t channels = one.channels.size();
  for (size_t c = 0; c < channels; ++c) {
    if (one.channels[c] != "eyeLx" && one.channels[c] != "eyeRx") continue;
    const double base = one.channels[c] == "eyeRx" ? 120.0 : 100.0;
    size_t wrong = 0;
    for (size_t i = 0; i * channels < one.data.size(); ++i) {
      const double x = one.data[i * channels + c];
      if (x == AscRawData::kMissing) continue;
      withGaze += c == 0;
      const double t = one.startTimestamp + static_cast<double>(i) * one.periodMs;
      wrong += std::fabs(x - (base + std::fmod(t, 1600.0) / 2.0)) > 0.05 + 1e-6;
    }
    EXPECT_EQ(wrong, 0u) << one.channels[c];
  }
  EXPECT_LE(withGaze, truth.blockSamples);
  EXPECT_GT(withGaze, 0.8 * truth.blockSamples);

  // 1 and 7: boundaries everywhere, handovers on nearly every line; 1000: a few dozen chunks;
  // the default: the whole file in one or two chunks, fewer than the ring holds.
  for (const uint64_t chunk : {uint64_t{1}, uint64_t{7}, uint64_t{1000}, AscRawData::kChunkLines}) {
    if (chunk == 1 && one.data.size() / channels > 100000) continue;  // a handover per line: slow, not stronger
    ExpectSame(one, RunStage(asc, ReadAhead::kOn, chunk, GetParam().keyword),
               "worker, chunks of " + std::to_string(chunk) + " lines");
  }
  ExpectSame(one, RunStage(asc, ReadAhead::kOff, 7, GetParam().keyword), "one thread, chunks of 7 lines");
}

INSTANTIATE_TEST_SUITE_P(
    SimulatedRecordings, LineReadAheadRuns,
    ::testing::Values(
        SimCase{"--gaze-rate 1000 --eyes both --velocity --structure --blocks 3 --duration 20", ""},
        SimCase{"--gaze-rate 500 --eyes left --blocks 2 --duration 17 --asc-crlf", ""},
        SimCase{"--gaze-rate 250 --eyes right --velocity --structure --blocks 4 --duration 23", ""},
        SimCase{"--gaze-rate 2000 --eyes both --blocks 2 --duration 9", ""},
        SimCase{"--gaze-rate 2000 --half-ms-timestamps --eyes left --velocity --blocks 3 --duration 7", ""},
        SimCase{"--gaze-rate 1000 --eyes right --no-eye-events --blocks 1 --duration 3", ""},
        SimCase{"--gaze-rate 500 --eyes both --message-triggers trigger: --message-offset --blocks 2 --duration 12",
                "trigger:"},
        // Long enough that the columns are laid out and the matrix filled by both cores.
        SimCase{"--gaze-rate 2000 --eyes both --velocity --structure --blocks 2 --duration 140", ""}));

/// A file of sample lines, one of them damaged: the stop must name that line, the walk must not
/// have stored anything past it, and the report must not depend on how far the worker read.
struct Damage {
  const char* name;
  const char* line;  ///< replaces the sample line at 1041 ms, which is the file's line 46
};

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

class LineReadAheadStops : public ::testing::TestWithParam<Damage> {};

TEST_P(LineReadAheadStops, ACorruptedLineStopsTheWalkThereWithTheSameReport) {
  ReadAheadGuard guard;
  std::string text = asctest::Head();
  for (unsigned t = 1000; t < 1400; ++t) {
    text += t == 1041 ? std::string(GetParam().line) + "\n" : asctest::Mono(t, std::to_string(t - 900) + ".5", "300.0");
  }
  text += asctest::End(1400);
  testsupport::TempDir dir;
  const std::string asc = dir / "rec.asc";
  testsupport::WriteFile(asc, text);

  const StageResult one = RunStage(asc, ReadAhead::kOff, 0);
  EXPECT_FALSE(one.ok);
  EXPECT_TRUE(one.stopped);
  EXPECT_NE(one.console.find("line 46"), std::string::npos) << one.console;
  for (const uint64_t chunk : {uint64_t{1}, uint64_t{4}, uint64_t{43}, uint64_t{44}, uint64_t{64}}) {
    ExpectSame(one, RunStage(asc, ReadAhead::kOn, chunk), "worker, chunks of " + std::to_string(chunk) + " lines");
  }
}

INSTANTIATE_TEST_SUITE_P(Damages, LineReadAheadStops,
                         ::testing::Values(Damage{"TimeBackwards", "1003\t 1.0\t 2.0\t 1000.0\t..."},
                                           Damage{"LetterInX", "1041\t 14a.5\t 300.0\t 1000.0\t..."},
                                           Damage{"LetterInY", "1041\t 141.5\t 3O0.0\t 1000.0\t..."},
                                           Damage{"OffTheGrid", "99999\t 1.0\t 2.0\t 1000.0\t..."}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LineReadAheadText, AWarningQuotesALineTheWalkHasReleasedLongBefore) {
  // At 2000 Hz a millisecond with one sample line is reported when the next sample line comes,
  // with the text of the lone line: here a thousand messages later, well past the text the walk
  // releases behind it as it goes.
  ReadAheadGuard guard;
  std::string text = asctest::Head("LEFT", "2000.00");
  for (const unsigned t : {1000u, 1000u, 1001u, 1001u, 1002u}) text += asctest::Mono(t, std::to_string(t - 900) + ".5", "300.0");
  for (int k = 0; k < 1000; ++k) text += "MSG\t1002 note " + std::to_string(k) + "\n";
  for (const unsigned t : {1003u, 1003u, 1004u, 1004u}) text += asctest::Mono(t, std::to_string(t - 900) + ".5", "300.0");
  text += asctest::End(1004);
  testsupport::TempDir dir;
  const std::string asc = dir / "rec.asc";
  testsupport::WriteFile(asc, text);

  const StageResult one = RunStage(asc, ReadAhead::kOff, 0);
  ASSERT_TRUE(one.ok) << one.console;
  std::string lone = asctest::Mono(1002, "102.5", "300.0");
  lone = lone.substr(0, std::min<size_t>(40, lone.size() - 1));  // quoted without its line feed
  EXPECT_NE(one.log.find("placed on its first half ( line 9: " + lone + " )"), std::string::npos) << one.log;
  for (const uint64_t chunk : {uint64_t{1}, uint64_t{7}, uint64_t{100}}) {
    ExpectSame(one, RunStage(asc, ReadAhead::kOn, chunk), "worker, chunks of " + std::to_string(chunk) + " lines");
  }
}

}  // namespace

#endif  // TOLMERA_SIM_PATH

namespace {

/// The fields of a line as the tokenizer and its number readings give them, token by token.
void ExpectFieldsOfTokenizer(const std::string& line, uint16_t wanted) {
  SCOPED_TRACE("line \"" + line + "\", tokens wanted " + std::to_string(wanted));
  AscTokens t;
  t.Split(line);
  SampleFields f;
  f.Read(line, wanted);
  ASSERT_EQ(f.count, t.Count());
  if (t.Count() == 0) return;
  EXPECT_EQ(f.stamp, t[0]);
  // Numbers are read where the walk may take the line for a sample line.
  if (t.Count() < 3 || !(t[0][0] >= '0' && t[0][0] <= '9')) return;
  for (size_t k = 1; k < SampleFields::kFields; ++k) {
    if (!((wanted >> k) & 1u)) continue;
    EXPECT_EQ(f.Missing(k), AscTokens::IsMissing(t[k])) << "token " << k;
    EXPECT_EQ(f.Position(k), AscTokens::IsPositionToken(t[k])) << "token " << k;
    const double expected = AscTokens::DoubleOrMinusOne(t[k]);
    // Bit for bit: the sign of a zero too.
    EXPECT_TRUE(std::memcmp(&expected, &f.value[k], sizeof expected) == 0)
        << "token " << k << " \"" << t[k] << "\": " << f.value[k] << " instead of " << expected;
  }
}

TEST(SampleFieldsRead, AgreesWithTheTokenizerOnEveryKindOfLine) {
  const char* const lines[] = {
      "1000\t  512.5\t  384.2\t 1234.0\t...",
      "1000\t  512.5\t  384.2\t 1234.0\t  600.1\t  390.0\t 1250.0\t   14.3\t    3.1\t   -2.0\t   -0.0\t.....",
      "1000.5\t   .\t   .\t    0.0\t...",
      "1001\t -12.75\t 0\t .5\t 5.\t -.5\t -\t -.\t .",
      "1002 1.2.3 4-5 +7 1e3 inf nan 0x10 12345678901234.5 1234567890123456 12345678901234567",
      "1003\t0.000000000000001\t99999999999999.9\t-0\t00000000000000012\t3.14159265358979",
      "1004\r\n",
      "1005 \t 1 \t\t 2 \r",
      "1006\t  512.5\t  384.2\t 1234.0\t  600.1\t  390.0\t 1250.0\t   14.3\t    3.1\t   -2.0\t   -0.0\t.....\t1\t2\t3",
      "  7 a b",
      "MSG\t1000 TRIALID 1",
      "SFIX L   1000",
      "",
      " \t ",
      "12",
      "12 3",
      "9x 1.5 2.5",
      "-5 1.5 2.5 3.5",
  };
  // Everything; no pupils (tokens 3 and 6); no velocities (7 to 10): the tokens read must not
  // depend on the ones skipped.
  const uint16_t masks[] = {SampleFields::kAllFields, SampleFields::kAllFields & ~0x48, SampleFields::kAllFields & ~0x780};
  for (const uint16_t wanted : masks) {
    for (const char* line : lines) ExpectFieldsOfTokenizer(line, wanted);
  }
  // Lines of random tokens over the characters that matter, the reading of every one compared.
  std::mt19937 random(7);
  const std::string alphabet = "0123456789....---+e \t\rx";
  for (int n = 0; n < 3000; ++n) {
    std::string line = std::to_string(random() % 100000);
    const size_t length = random() % 60;
    for (size_t k = 0; k < length; ++k) line += alphabet[random() % alphabet.size()];
    ExpectFieldsOfTokenizer(line, masks[n % 3]);
  }
}

}  // namespace

namespace {

/// Line starts as the line table keeps them, by the plain definition: 0, the byte after every line
/// feed that is not the last byte, then one past the end of the last line.
std::vector<uint64_t> PlainLineStarts(const std::string& text) {
  std::vector<uint64_t> starts{0};
  for (size_t k = 0; k + 1 < text.size(); ++k) {
    if (text[k] == '\n') starts.push_back(k + 1);
  }
  starts.push_back(text.back() == '\n' ? text.size() : text.size() + 1);
  return starts;
}

TEST(AscLineTable, LongFilesCutInHalvesGiveEveryLineStart) {
  // Over the size from which both halves are counted on their own core; the shifts move the
  // middle of the file onto a line feed, next to one, and inside a line.
  for (const size_t shift : {0, 1, 2, 17}) {
    for (const bool endsWithFeed : {true, false}) {
      std::string text = asctest::Head() + std::string(shift, ' ') + "\n";
      unsigned t = 1000;
      for (; text.size() < (5u << 20); ++t) {
        text += asctest::Mono(t, std::to_string(t % 997) + ".5", "1.0", t % 3 ? "7.0" : "7.0\r");
      }
      text += asctest::End(t);
      if (!endsWithFeed) text.pop_back();
      SCOPED_TRACE("shift " + std::to_string(shift) + (endsWithFeed ? ", ends with a line feed" : ", no final line feed"));
      asctest::AscRun run(text);
      const std::vector<uint64_t> starts(run.asc.LineOffsets().begin(), run.asc.LineOffsets().end());
      EXPECT_TRUE(starts == PlainLineStarts(text)) << starts.size() << " entries";
    }
  }
}

}  // namespace
