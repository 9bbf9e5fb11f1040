// The simulator's trigger messages: every MSG line against the ground truth over several seeds, the
// file's order, and what the message knobs leave as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>
#include <tuple>

#include "support/testsupport.h"
#include "tools/simsupport.h"

using namespace simsupport;

namespace {

struct KeywordMessage {
  int64_t stamp = 0, offset = 0;
  bool offsetField = false;
  std::string value;
};

/// "MSG<TAB>stamp [offset ]KEYWORD value" lines, read as a reader of a real file would.
std::vector<KeywordMessage> KeywordMessages(const std::string& asc, const std::string& keyword) {
  std::vector<KeywordMessage> out;
  for (const std::string& line : Lines(testsupport::ReadFile(asc))) {
    const size_t blank = line.find(' ');
    if (!line.starts_with("MSG\t") || blank == std::string::npos) continue;
    KeywordMessage m;
    std::string text = line.substr(blank + 1);
    const size_t next = text.find(' ');
    m.offsetField = next != std::string::npos && text.find_first_not_of("-0123456789") == next;
    if (m.offsetField) text = text.substr(next + 1);
    if (!text.starts_with(keyword + " ")) continue;
    m.stamp = ToInt(line.substr(4, blank - 4));
    m.offset = m.offsetField ? ToInt(line.substr(blank + 1, next)) : 0;
    m.value = text.substr(keyword.size() + 1);
    out.push_back(m);
  }
  return out;
}

bool IsCode(const std::string& v) {
  return !v.empty() && v.size() <= 5 && v.find_first_not_of("0123456789") == std::string::npos && std::stoi(v) >= 1 &&
         std::stoi(v) <= 65535;
}

/// Samples, INPUT and MSG lines in timestamp order, a line of one millisecond before its samples.
void ExpectTimestampOrder(const std::string& asc) {
  int64_t previous = 0;
  bool previousSample = false;
  for (const std::string& line : Lines(testsupport::ReadFile(asc))) {
    const std::vector<std::string> t = Tokens(line);
    const bool sample = !t.empty() && std::isdigit(static_cast<unsigned char>(t[0][0]));
    if (!sample && (t.size() < 2 || (t[0] != "MSG" && t[0] != "INPUT"))) continue;
    const int64_t stamp = ToInt(sample ? t[0] : t[1]);
    ASSERT_TRUE(stamp > previous || (stamp == previous && (sample || !previousSample))) << line;
    previous = stamp;
    previousSample = sample;
  }
}

std::string Make(const testsupport::TempDir& dir, const std::string& name, const std::string& options) {
  const std::string out = dir / name;
  EXPECT_EQ(RunSim("--out \"" + out + "\" " + options, dir / "sim.log"), 0)
      << options << "\n" << testsupport::ReadFile(dir / "sim.log");
  return out;
}

TEST(SimMessages, EveryRecordedTriggerHasOneMessageAtItsDelayedArrival) {
  struct Case {
    const char* keyword;
    double delayMs, jitterMs;
    bool offset;
    const char* session;
    bool overtakes;  ///< the jitter exceeds the spacing of some triggers
  };
  const Case cases[] = {
      {"trigger:", 0.0, 0.0, false, "--segments 2", false},
      {"TRIGGER", 2.5, 6.0, true, "--outliers 6 --no-input", false},
      {"TRIALID", 12.0, 30.0, false, "--pattern adjacent --adjacent-every 2 --eeg-rate 1000", true},
      {"TTL code", -3.0, 1.5, true, "--tracker-start-late 3 --tracker-stop-early 2 --tracker-grid --gaze-rate 250",
       false},
  };
  for (const Case& c : cases) {
    int negative = 0, positive = 0, overtaken = 0;
    double lowest = 1e9, highest = -1e9;
    for (int seed = 1; seed <= 3; ++seed) {
      const std::string options = std::string(c.session) + " --seed " + std::to_string(seed) +
                                  " --message-triggers \"" + c.keyword + "\" --message-delay " +
                                  std::to_string(c.delayMs) + " --message-jitter " + std::to_string(c.jitterMs) +
                                  (c.offset ? " --message-offset" : "");
      SCOPED_TRACE(options);
      testsupport::TempDir dir;
      const std::string out = Make(dir, "msg", options);
      const Truth truth = LoadTruth(out + "/S01.truth.txt");
      ASSERT_EQ(truth.clock.at("message_keyword"), c.keyword);
      // By stamp, one stamp's messages by arrival, as the file should list them.
      std::vector<std::tuple<int64_t, double, int64_t, std::string>> expected, written;
      int64_t previousEvent = 0;
      for (const TruthTrigger& t : truth.triggers) {
        SCOPED_TRACE("trigger " + std::to_string(t.index));
        const int64_t event = t.msgTimestamp - t.msgOffset;
        EXPECT_EQ(event, static_cast<int64_t>(std::ceil(t.msgArrivalMs - 1e-9)));
        const double late = t.msgArrivalMs - t.trueMs - c.delayMs;  // both printed to the microsecond
        EXPECT_TRUE(late >= -2e-6 && late < c.jitterMs + 2e-6) << late;
        EXPECT_GE(static_cast<double>(event) - t.trueMs, c.delayMs - 2e-6);
        EXPECT_LT(static_cast<double>(event) - t.trueMs, c.delayMs + c.jitterMs + 1.0);
        // Without delay and jitter the message lands where a whole-millisecond INPUT line would.
        if (c.jitterMs == 0.0 && c.delayMs == 0.0) {
          EXPECT_EQ(t.msgTimestamp, t.etTimestamp);
        }
        for (const int64_t offset : {t.msgOffset, t.outlier == "et_double" ? t.msgDoubleOffset : t.msgOffset}) {
          EXPECT_TRUE(c.offset ? offset != 0 && std::abs(offset) <= 8 : offset == 0) << offset;
          (offset < 0 ? negative : positive) += c.offset ? 1 : 0;
        }
        lowest = std::min(lowest, late);
        highest = std::max(highest, late);
        if (!t.etRecorded) continue;
        overtaken += event < previousEvent ? 1 : 0;
        previousEvent = event;
        expected.emplace_back(t.msgTimestamp, t.msgArrivalMs, t.msgOffset, std::to_string(t.code));
        if (t.outlier == "et_double") {
          const double late2 = static_cast<double>(t.msgDoubleTimestamp - t.msgDoubleOffset) - t.doubleTrueMs;
          EXPECT_TRUE(late2 >= c.delayMs - 2e-6 && late2 < c.delayMs + c.jitterMs + 1.0) << late2;
          // The truth has no arrival of a double's message; none comes within a jitter of another here.
          expected.emplace_back(t.msgDoubleTimestamp, t.doubleTrueMs, t.msgDoubleOffset, std::to_string(t.code));
        }
      }
      std::sort(expected.begin(), expected.end());
      for (auto& e : expected) std::get<1>(e) = 0.0;
      for (const KeywordMessage& m : KeywordMessages(out + "/S01.asc", c.keyword)) {
        EXPECT_EQ(m.offsetField, c.offset) << m.stamp;
        written.emplace_back(m.stamp, 0.0, m.offset, m.value);
      }
      EXPECT_EQ(written, expected);
      ExpectTimestampOrder(out + "/S01.asc");
    }
    SCOPED_TRACE(c.keyword);
    EXPECT_EQ(negative > 0 && positive > 0, c.offset);
    // The jitter spreads over its whole range, not one shared latency.
    EXPECT_GT(highest - lowest, c.jitterMs * 0.8 - 1e-9);
    EXPECT_EQ(overtaken > 0, c.overtakes);
  }
}

TEST(SimMessages, NoInputAndStrayMessagesChangeOnlyTheirOwnLines) {
  for (int seed = 1; seed <= 3; ++seed) {
    const std::string base = "--outliers 4 --structure --segments 2 --seed " + std::to_string(seed);
    const std::string messages = base + " --message-triggers TRIGGER --message-jitter 3";
    SCOPED_TRACE(base);
    testsupport::TempDir dir;
    const std::string plain = Make(dir, "plain", base), msg = Make(dir, "msg", messages);
    const std::string noInput = Make(dir, "noinput", messages + " --no-input");
    const std::string noise = Make(dir, "noise", messages + " --message-offset --message-noise 25");
    for (const std::string& out : {msg, noInput, noise})
      for (const char* ext : {"/S01.vmrk", "/S01.eeg"})
        EXPECT_EQ(testsupport::ReadFile(out + ext), testsupport::ReadFile(plain + ext)) << out << ext;
    auto without = [](const std::string& out, const char* part) {
      std::vector<std::string> kept;
      for (const std::string& line : Lines(testsupport::ReadFile(out + "/S01.asc")))
        if (line.find(part) == std::string::npos) kept.push_back(line);
      return kept;
    };
    EXPECT_EQ(without(msg, " TRIGGER "), Lines(testsupport::ReadFile(plain + "/S01.asc")));
    EXPECT_EQ(without(noInput, "INPUT"), without(msg, "INPUT"));
    EXPECT_EQ(without(noInput, "INPUT"), Lines(testsupport::ReadFile(noInput + "/S01.asc")));

    // The offset field moves the stamp, not the event time, and the stray messages draw no jitter.
    auto events = [](const std::string& out, bool codes) {
      std::vector<std::tuple<int64_t, int64_t, std::string>> e;
      for (const KeywordMessage& m : KeywordMessages(out + "/S01.asc", "TRIGGER"))
        if (IsCode(m.value) == codes) e.emplace_back(m.stamp - (codes ? m.offset : 0), codes ? 0 : m.offset, m.value);
      std::sort(e.begin(), e.end());
      return e;
    };
    EXPECT_EQ(events(noise, true), events(msg, true));
    const Truth truth = LoadTruth(noise + "/S01.truth.txt");
    ASSERT_EQ(truth.messageNoise.size(), 25u);
    std::vector<std::tuple<int64_t, int64_t, std::string>> listed;
    std::set<std::string> values;
    for (const auto& n : truth.messageNoise) {
      EXPECT_EQ(n.timestamp - n.offset, static_cast<int64_t>(std::ceil(n.arrivalMs - 1e-9)));
      EXPECT_GE(n.arrivalMs, ToDouble(Fields(truth.blocks.front(), ',')[0]));
      EXPECT_LE(n.arrivalMs, ToDouble(Fields(truth.blocks.back(), ',')[1]) + 1.0);
      listed.emplace_back(n.timestamp, n.offset, n.value);
      values.insert(n.value);
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(events(noise, false), listed);
    EXPECT_GE(values.size(), 3u);
    ExpectTimestampOrder(noise + "/S01.asc");
  }
}

TEST(SimMessages, AKeywordUnderWhichAStructureMessageReadsAsACodeIsRefused) {
  testsupport::TempDir dir;
  for (const char* keyword : {"TRIALID", "'BEGIN FRAME'"}) {
    const std::string log = dir / "refused.log";
    EXPECT_EQ(RunSim("--out \"" + (dir / "refused") + "\" --structure --message-triggers " + keyword, log), 2);
    EXPECT_NE(testsupport::ReadFile(log).find(" 1' would read as a trigger"), std::string::npos) << keyword;
  }
  // BEGIN PHASE and BEGIN SEQUENCE put words after the keyword, not codes: no conflict.
  const std::string out = Make(dir, "begin", "--message-triggers BEGIN --structure");
  const std::vector<KeywordMessage> begins = KeywordMessages(out + "/S01.asc", "BEGIN");
  EXPECT_EQ(std::count_if(begins.begin(), begins.end(), [](const KeywordMessage& m) { return IsCode(m.value); }),
            static_cast<std::ptrdiff_t>(LoadTruth(out + "/S01.truth.txt").triggers.size()));
}

}  // namespace
