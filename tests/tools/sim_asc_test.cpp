// The simulator's EyeLink ASC file, checked directly against its ground truth and against the form
// of real EDF2ASC exports.

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>

#include "support/testsupport.h"
#include "tools/simsupport.h"

using namespace simsupport;

namespace {

bool IsSampleLine(const std::string& line) { return !line.empty() && std::isdigit(static_cast<unsigned char>(line[0])); }

struct AscSample {
  int64_t timestamp = 0;
  double time = 0;  ///< sample time in ms: two samples share a timestamp at 2000 Hz
  size_t block = 0;
  std::vector<std::string> tokens;
};

struct Asc {
  std::vector<std::string> lines;
  std::vector<AscSample> samples;
  size_t blocks = 0;
};

Asc ReadAsc(const std::string& path, double periodMs) {
  Asc asc;
  asc.lines = Lines(testsupport::ReadFile(path));
  int64_t previous = -1;
  int sameStamp = 0;
  for (const std::string& line : asc.lines) {
    if (line.starts_with("START")) ++asc.blocks;
    if (!IsSampleLine(line)) continue;
    AscSample s;
    s.tokens = Tokens(line);
    s.timestamp = ToInt(s.tokens[0]);
    sameStamp = s.timestamp == previous ? sameStamp + 1 : 0;
    previous = s.timestamp;
    s.time = static_cast<double>(s.timestamp) + sameStamp * periodMs;
    s.block = asc.blocks;
    asc.samples.push_back(std::move(s));
  }
  return asc;
}

/// The trigger list a reader of the INPUT lines makes: a value different from the previous one is a
/// change, and a change to a value other than 0 is a trigger.
std::vector<std::pair<int64_t, int>> InputTriggers(const std::vector<std::string>& lines) {
  std::vector<std::pair<int64_t, int>> out;
  int previous = 0;
  for (const std::string& line : lines) {
    if (!line.starts_with("INPUT")) continue;
    const std::vector<std::string> t = Tokens(line);
    EXPECT_EQ(t.size(), 3u) << line;
    const int v = static_cast<int>(ToInt(t.back()));
    if (v == previous) continue;
    previous = v;
    if (v != 0) out.emplace_back(ToInt(t[1]), v);
  }
  EXPECT_EQ(previous, 0) << "the port ends at 0";
  return out;
}

struct EyeCase {
  const char* eyes;
  bool velocity;
  int rate;
  size_t tokens;  ///< per sample line
};

void PrintTo(const EyeCase& s, std::ostream* os) { *os << s.eyes << (s.velocity ? " vel " : " ") << s.rate; }

const EyeCase kSetups[] = {
    {"left", false, 250, 5},  {"right", true, 500, 7},   {"both", false, 500, 8},
    {"both", true, 1000, 12}, {"left", true, 2000, 7},   {"both", false, 2000, 8},
};

class SimAsc : public ::testing::TestWithParam<EyeCase> {
 protected:
  void SetUp() override {
    const EyeCase& s = GetParam();
    ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --seed 5 --duration 30 --blocks 3 --false-blinks 0.5 --blink-interval 1500" +
                     " --eyes " + s.eyes + " --gaze-rate " + std::to_string(s.rate) + (s.velocity ? " --velocity" : "")),
              0);
    truth = LoadTruth(dir / "S01.truth.txt");
    period = 1000.0 / s.rate;
    asc = ReadAsc(dir / "S01.asc", period);
  }
  testsupport::TempDir dir;
  Truth truth;
  Asc asc;
  double period = 0;
};

TEST_P(SimAsc, PreambleAndBlockLinesHaveTheExportersForm) {
  const EyeCase& s = GetParam();
  ASSERT_GT(asc.lines.size(), 20u);
  EXPECT_TRUE(asc.lines[0].starts_with("** CONVERTED FROM ")) << asc.lines[0];
  EXPECT_NE(asc.lines[0].find("S01.edf"), std::string::npos);
  for (const char* key : {"** DATE: ", "** TYPE: ", "** VERSION: ", "** SOURCE: "}) {
    bool found = false;
    for (size_t i = 1; i < 12; ++i) found = found || asc.lines[i].starts_with(key);
    EXPECT_TRUE(found) << key;
  }
  const std::string eyeTabs = std::string(s.eyes) == "both" ? "LEFT\tRIGHT" : std::string(s.eyes) == "left" ? "LEFT" : "RIGHT";
  char rate[16];
  std::snprintf(rate, sizeof rate, "%7.2f", static_cast<double>(s.rate));
  size_t starts = 0, ends = 0, displayCoords = 0, reccfg = 0, gazeCoords = 0;
  for (size_t i = 0; i < asc.lines.size(); ++i) {
    const std::string& l = asc.lines[i];
    displayCoords += l.find(" DISPLAY_COORDS ") != std::string::npos;
    reccfg += l.find(" RECCFG ") != std::string::npos;
    gazeCoords += l.find(" GAZE_COORDS ") != std::string::npos;
    if (l.starts_with("END\t")) {
      ++ends;
      EXPECT_EQ(Tokens(l)[2], "SAMPLES");
      EXPECT_EQ(Tokens(l)[3], "EVENTS");
    }
    if (!l.starts_with("START\t")) continue;
    ++starts;
    ASSERT_LT(i + 5, asc.lines.size());
    EXPECT_EQ(l.substr(l.find(" \t")), " \t" + eyeTabs + "\tSAMPLES\tEVENTS");
    EXPECT_EQ(asc.lines[i + 1], "PRESCALER\t1");
    EXPECT_EQ(asc.lines[i + 2], "VPRESCALER\t1");
    EXPECT_EQ(asc.lines[i + 3], "PUPIL\tAREA");
    EXPECT_EQ(asc.lines[i + 4], "EVENTS\tGAZE\t" + eyeTabs + "\tRATE\t" + rate + "\tTRACKING\tCR\tFILTER\t2");
    EXPECT_EQ(asc.lines[i + 5], "SAMPLES\tGAZE\t" + eyeTabs + (s.velocity ? "\tVEL" : "") + "\tRATE\t" + rate +
                                    "\tTRACKING\tCR\tFILTER\t2");
  }
  EXPECT_EQ(starts, truth.blocks.size());
  EXPECT_EQ(ends, truth.blocks.size());
  EXPECT_EQ(displayCoords, 1u);
  EXPECT_EQ(reccfg, truth.blocks.size());
  EXPECT_EQ(gazeCoords, truth.blocks.size());
}

TEST_P(SimAsc, SampleLinesCountAndCarryTheKnownGaze) {
  const EyeCase& s = GetParam();
  const bool both = std::string(s.eyes) == "both";
  const bool rightOnly = std::string(s.eyes) == "right";
  std::vector<int64_t> perBlock(truth.blocks.size() + 1, 0), firstStamp(truth.blocks.size() + 1, -1);
  size_t valid = 0, missing = 0;
  for (const AscSample& a : asc.samples) {
    ASSERT_EQ(a.tokens.size(), s.tokens) << a.timestamp;
    ASSERT_GE(a.block, 1u);
    ++perBlock[a.block - 1];
    if (firstStamp[a.block - 1] < 0) firstStamp[a.block - 1] = a.timestamp;
    EXPECT_EQ(a.tokens.back(), both ? (a.tokens[1] == "." ? ".C.C." : ".....") : "...");
    const int eyes = both ? 2 : 1;
    for (int e = 0; e < eyes; ++e) {
      const bool right = e == 1 || rightOnly;
      const std::string& x = a.tokens[1 + 3 * e];
      if (x == ".") {
        EXPECT_EQ(a.tokens[2 + 3 * e], ".");
        EXPECT_EQ(a.tokens[3 + 3 * e], "0.0");
        ++missing;
        continue;
      }
      ++valid;
      const double expected = (right ? 120.0 : 100.0) + std::fmod(a.time, 1600.0) / 2.0;
      ASSERT_NEAR(ToDouble(x), expected, 0.05 + 1e-6) << a.timestamp << (right ? " right" : " left");
    }
  }
  for (size_t b = 0; b < truth.blocks.size(); ++b) {
    const std::vector<std::string> f = Fields(truth.blocks[b], ',');
    EXPECT_EQ(perBlock[b], ToInt(f[2])) << "block " << b;
    EXPECT_EQ(firstStamp[b], ToInt(f[0])) << "block " << b;
  }
  EXPECT_GT(valid, 1000u);
  EXPECT_GT(missing, 0u);
}

TEST_P(SimAsc, InputLinesGiveTheTriggersOfTheTruth) {
  const std::vector<std::pair<int64_t, int>> triggers = InputTriggers(asc.lines);
  ASSERT_EQ(triggers.size(), truth.triggers.size());
  for (size_t i = 0; i < triggers.size(); ++i) {
    EXPECT_EQ(triggers[i].first, truth.triggers[i].etTimestamp) << i;
    EXPECT_EQ(triggers[i].second, truth.triggers[i].code) << i;
  }
}

TEST_P(SimAsc, LinesAreInTimeOrder) {
  int64_t last = 0;
  for (const std::string& line : asc.lines) {
    const std::vector<std::string> t = Tokens(line);
    if (t.size() < 2) continue;
    int64_t stamp = -1;
    if (IsSampleLine(line)) stamp = ToInt(t[0]);
    else if (t[0] == "MSG" || t[0] == "INPUT" || t[0] == "START" || t[0] == "END") stamp = ToInt(t[1]);
    else if (t[0] == "SFIX" || t[0] == "SSACC" || t[0] == "SBLINK") stamp = ToInt(t[2]);
    else if (t[0] == "EFIX" || t[0] == "ESACC" || t[0] == "EBLINK") stamp = ToInt(t[3]);
    if (stamp < 0) continue;
    ASSERT_GE(stamp, last) << line;
    last = stamp;
  }
}

TEST_P(SimAsc, BlinksAreTheMissingSamplesAndSomeAreShortEnoughToBeFalse) {
  const EyeCase& s = GetParam();
  const bool both = std::string(s.eyes) == "both";
  const char eye = std::string(s.eyes) == "right" ? 'R' : 'L';
  std::vector<std::pair<int64_t, int64_t>> blinks;
  int openFix = 0, openSacc = 0;
  bool inSaccade = false;
  for (const std::string& line : asc.lines) {
    const std::vector<std::string> t = Tokens(line);
    if (t.size() < 3 || t[1].size() != 1 || t[1][0] != eye) continue;
    if (t[0] == "SFIX") ++openFix;
    if (t[0] == "EFIX") --openFix;
    if (t[0] == "SSACC") inSaccade = ++openSacc > 0;
    if (t[0] == "ESACC") inSaccade = --openSacc > 0;
    if (t[0] == "SBLINK") {
      EXPECT_TRUE(inSaccade) << "a blink lies inside a saccade";
    }
    if (t[0] == "EBLINK") {
      ASSERT_EQ(t.size(), 5u) << line;
      blinks.emplace_back(ToInt(t[2]), ToInt(t[3]));
    }
    ASSERT_GE(openFix, 0);
    ASSERT_LE(openFix, 1);
    ASSERT_GE(openSacc, 0);
    ASSERT_LE(openSacc, 1);
  }
  EXPECT_EQ(openFix, 0);
  EXPECT_EQ(openSacc, 0);
  ASSERT_FALSE(blinks.empty());
  size_t shortBlinks = 0;
  size_t next = 0;
  for (const auto& [first, last] : blinks) {
    size_t inside = 0;
    while (next < asc.samples.size() && asc.samples[next].timestamp < first) {
      EXPECT_NE(asc.samples[next].tokens[1], ".") << "gaze missing outside a blink at " << asc.samples[next].timestamp;
      ++next;
    }
    while (next < asc.samples.size() && asc.samples[next].timestamp <= last) {
      const AscSample& a = asc.samples[next++];
      // At 2000 Hz a blink may begin or end between the two samples of one millisecond.
      const bool edge = s.rate == 2000 && (a.timestamp == first || a.timestamp == last);
      if (a.tokens[1] == ".") {
        ++inside;
        if (both) {
          EXPECT_EQ(a.tokens[4], ".");
        }
      } else {
        EXPECT_TRUE(edge) << "gaze inside a blink at " << a.timestamp;
      }
    }
    EXPECT_GE(inside, 1u);
    shortBlinks += inside <= 3;
  }
  EXPECT_GT(shortBlinks, 0u);
  EXPECT_LT(shortBlinks, blinks.size());
}

INSTANTIATE_TEST_SUITE_P(EyeSetups, SimAsc, ::testing::ValuesIn(kSetups),
                         [](const ::testing::TestParamInfo<EyeCase>& info) {
                           return std::string(info.param.eyes) + (info.param.velocity ? "Vel" : "") +
                                  std::to_string(info.param.rate);
                         });

TEST(SimAscTriggers, EveryCodePatternReachesTheInputLines) {
  for (const char* pattern : {"--pattern repeat --repeat-cycle 2", "--pattern adjacent --adjacent-every 2",
                              "--pattern random --code-max 3", "--coincident --drift 0 --gaze-rate 1000"}) {
    testsupport::TempDir dir;
    ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --duration 20 " + pattern), 0) << pattern;
    const Truth truth = LoadTruth(dir / "S01.truth.txt");
    const std::vector<std::pair<int64_t, int>> triggers = InputTriggers(Lines(testsupport::ReadFile(dir / "S01.asc")));
    ASSERT_EQ(triggers.size(), truth.triggers.size()) << pattern;
    size_t adjacent = 0, coincident = 0;
    for (size_t i = 0; i < triggers.size(); ++i) {
      EXPECT_EQ(triggers[i].second, truth.triggers[i].code) << pattern << " " << i;
      EXPECT_EQ(triggers[i].first, truth.triggers[i].etTimestamp) << pattern << " " << i;
      adjacent += truth.triggers[i].adjacent;
      coincident += truth.triggers[i].coincident;
      if (std::string(pattern).find("repeat") != std::string::npos) {
        EXPECT_EQ(truth.triggers[i].code, 1 + static_cast<int>(i % 2));
      }
      if (std::string(pattern).find("code-max 3") != std::string::npos) {
        EXPECT_LE(truth.triggers[i].code, 3);
      }
    }
    if (std::string(pattern).find("adjacent") != std::string::npos) {
      EXPECT_EQ(adjacent, triggers.size() / 3);
    }
    if (std::string(pattern).find("coincident") != std::string::npos) {
      // With no drift and whole-period offsets every edge finds a shared tick.
      EXPECT_EQ(coincident, triggers.size()) << pattern;
      const double start = truth.Number(truth.clock, "eeg_start_ms");
      for (const TruthTrigger& t : truth.triggers) {
        EXPECT_EQ(t.trueMs, std::round(t.trueMs));
        const double x = (t.trueMs - start) * 0.5;
        EXPECT_NEAR(x, std::round(x), 1e-9);
      }
    }
  }
}

TEST(SimAscTriggers, CoincidentEdgesWithDriftLieWithinTheTolerance) {
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --duration 300 --coincident --drift 30 --coincide-tolerance 0.05"), 0);
  const Truth truth = LoadTruth(dir / "S01.truth.txt");
  const double start = truth.Number(truth.clock, "eeg_start_ms");
  const double perMs = truth.Number(truth.clock, "eeg_samples_per_ms");
  size_t coincident = 0;
  for (const TruthTrigger& t : truth.triggers) {
    if (!t.coincident) continue;
    ++coincident;
    const double x = (t.trueMs - start) * perMs;
    EXPECT_LT(static_cast<double>(t.gapFilledPosition - 1) - x, 0.05);
    EXPECT_GE(static_cast<double>(t.gapFilledPosition - 1) - x, -1e-9);
    EXPECT_EQ(t.trueMs, static_cast<double>(t.etTimestamp));
  }
  EXPECT_GT(coincident, 10u);
}

TEST(SimAscStructure, StimulusProgramMessagesHaveTheReadersShapes) {
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --structure --blocks 3 --duration 90"), 0);
  const std::vector<std::string> lines = Lines(testsupport::ReadFile(dir / "S01.asc"));
  bool softwareBeforeStart = false, startSeen = false, inItem = false, inVideo = false, inTrial = false;
  int phases = 0, openPhase = 0, openSequence = 0, lastSequence = 0, frame = 0, frames = 0;
  std::map<std::string, int> kinds;
  for (const std::string& line : lines) {
    const std::vector<std::string> t = Tokens(line);
    if (t.empty()) continue;
    if (t[0] == "START") startSeen = true;
    if (t[0] != "MSG" || t.size() < 3) continue;
    if (line.find("SOFTWARE NAME") != std::string::npos) {
      EXPECT_EQ(t.back(), "Tessark");
      softwareBeforeStart = !startSeen;
    }
    if (t.size() < 4) {
      if (t[2] == "Image_Start") {
        EXPECT_TRUE(inTrial);
      }
      continue;
    }
    const std::string what = t[2] + " " + t[3];
    if (what == "BEGIN PHASE") {
      EXPECT_EQ(openPhase++, 0);
      EXPECT_EQ(t[4], phases++ == 0 ? "LEARNING" : "TESTING");
    } else if (what == "END PHASE") {
      EXPECT_EQ(--openPhase, 0);
    } else if (what == "BEGIN SEQUENCE") {
      EXPECT_EQ(openSequence++, 0);
      EXPECT_EQ(ToInt(t[4]), ++lastSequence);
      EXPECT_EQ(openPhase, 1);
    } else if (what == "END SEQUENCE") {
      EXPECT_EQ(--openSequence, 0);
      EXPECT_FALSE(inItem);
    } else if (what == "BEGIN TRANSITION") {
      EXPECT_FALSE(inItem);
      inItem = true;
      size_t count = t.size();
      if (t[9] == "TEXT") {
        // A text with blanks arrives split; the words up to the next "TEXT" token make one item.
        size_t close = 10;
        while (close < t.size() && t[close] != "TEXT") ++close;
        ASSERT_LT(close, t.size()) << line;
        EXPECT_GT(close - 10, 1u) << "the text has blanks";
        count -= close - 11;
      }
      EXPECT_EQ(count, 18u) << line;
      const std::string kind = t[11] == "SPECIAL" ? "SPECIAL" : t[9];
      ++kinds[kind];
      inVideo = kind.starts_with("VIDEO");
      if (inVideo) {
        frames = static_cast<int>(ToInt(t[t.size() - 6]));
        frame = 0;
      }
    } else if (what == "END TRANSITION") {
      EXPECT_TRUE(inItem);
      if (inVideo) {
        EXPECT_EQ(frame, frames);
      }
      inItem = inVideo = false;
    } else if (what == "BEGIN FRAME") {
      EXPECT_TRUE(inVideo);
      EXPECT_EQ(ToInt(t[4]), ++frame);
    } else if (t[2] == "TRIALID") {
      EXPECT_FALSE(inTrial);
      inTrial = true;
    } else if (t[2] == "'Stimulus") {
      EXPECT_TRUE(inTrial);
      EXPECT_EQ(t[3].back(), '\'');
    } else if (t[2] == "reponse") {
      EXPECT_TRUE(inTrial);
      EXPECT_EQ(t[3].size(), 1u);
      inTrial = false;
    }
  }
  EXPECT_TRUE(softwareBeforeStart);
  EXPECT_EQ(phases, 3);
  EXPECT_EQ(openPhase, 0);
  EXPECT_GT(lastSequence, 3);
  for (const char* kind : {"IMAGE", "TEXT", "SPECIAL"}) EXPECT_GT(kinds[kind], 0) << kind;
  EXPECT_GT(kinds["VIDEOWITHOUTSOUND"] + kinds["VIDEOWITHSOUND"], 0);
}

TEST(SimAscReal, BlockAndSampleLinesMatchARealBinocularExport) {
  REQUIRE_REALDATA();
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --eyes both --gaze-rate 500 --pupil diameter"), 0);
  const std::vector<std::string> ours = Lines(testsupport::ReadFile(dir / "S01.asc"));
  const std::vector<std::string> real =
      Lines(testsupport::ReadFile(testsupport::RealDataDir() + "/asc/bino-500-ttl-codes.asc"));
  // Digits differ; every other character of the block header and of sample lines is the exporter's.
  auto shape = [](std::string s) {
    for (char& c : s)
      if (std::isdigit(static_cast<unsigned char>(c))) c = '9';
    return s;
  };
  auto blockHeader = [&](const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].starts_with("START")) {
        for (size_t j = i; j < i + 7; ++j) out.push_back(shape(lines[j]));
        break;
      }
    return out;
  };
  EXPECT_EQ(blockHeader(ours), blockHeader(real));
  auto sampleFields = [](const std::vector<std::string>& lines, bool wantMissing) {
    for (const std::string& l : lines) {
      if (!IsSampleLine(l)) continue;
      const std::vector<std::string> f = Fields(l, '\t');
      if ((f[1].find('.') == f[1].size() - 1 && f[1].size() == 4) != wantMissing) continue;
      if (wantMissing && f[4] != "   .") continue;  // both eyes missing
      std::vector<size_t> widths;
      for (size_t i = 1; i + 1 < f.size(); ++i) widths.push_back(f[i].size());
      widths.push_back(f.size());
      return std::make_pair(widths, f.back() == "....." ? std::string(".....") : f.back());
    }
    return std::make_pair(std::vector<size_t>{}, std::string());
  };
  EXPECT_EQ(blockHeader(real).size(), 7u);
  for (const bool missing : {false, true}) {
    const auto mine = sampleFields(ours, missing);
    EXPECT_EQ(mine.first.size(), 7u) << "a sample line " << (missing ? "without" : "with") << " gaze";
    EXPECT_EQ(mine, sampleFields(real, missing));
  }
}

}  // namespace
