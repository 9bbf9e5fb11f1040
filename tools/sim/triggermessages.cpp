#include "triggermessages.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>

#include "simrandom.h"

namespace {

// Streams of their own, so that --message-offset or --message-noise leaves the arrivals as they were.
constexpr uint64_t kStreamMessageJitter = 9;
constexpr uint64_t kStreamMessageOffset = 10;
constexpr uint64_t kStreamMessageNoise = 11;

// What a stimulus program writes after the keyword when it has no code to send, or a value that no
// 8- or 16-bit port carries.
const char* const kNoiseValues[] = {"NA", "none", "0", "-1", "65536", "70000"};

/// A few ms either way, never 0: a zero offset would read like a line without the field.
int DrawOffset(SimRandom& rng) {
  const int v = static_cast<int>(rng.Below(16));
  return v < 8 ? v - 8 : v - 7;
}

MessageStamp Stamp(double arrivalMs, int offset) {
  MessageStamp m;
  m.arrivalMs = arrivalMs;
  m.offset = offset;
  m.stamp = ClockModel::TrackerTimestamp(arrivalMs) + offset;
  return m;
}

/// Whether a reader looking for "keyword code" would take text for a trigger.
bool ReadsAsCode(const std::string& text, const std::string& keyword) {
  if (!text.starts_with(keyword + " ")) return false;
  const std::string_view rest = std::string_view(text).substr(keyword.size() + 1);
  const std::string_view token = rest.substr(0, rest.find(' '));
  uint64_t code = 0;
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), code);
  return ec == std::errc() && end == token.data() + token.size() && code >= 1 && code <= 65535;
}

}  // namespace

bool TriggerMessagePlan::Build(const ExperimentPlan& plan, const StructurePlan& structure, std::string& error) {
  const SimOptions& o = plan.Options();
  myKeyword = o.messageKeyword;
  myTriggers.clear();
  myNoise.clear();
  myLines.clear();
  if (myKeyword.empty()) return true;
  for (const StructureMessage& m : structure.Messages()) {
    if (ReadsAsCode(m.text, myKeyword)) {
      error = "--message-triggers '" + myKeyword + "': the --structure message '" + m.text +
              "' would read as a trigger; choose another keyword or leave out --structure";
      return false;
    }
  }

  SimRandom jitter = SimRandom(o.seed).Fork(kStreamMessageJitter);
  SimRandom offsets = SimRandom(o.seed).Fork(kStreamMessageOffset);
  // Two draws of each per trigger, the second for a double, so --outliers does not shift the others.
  for (const TriggerTruth& t : plan.Triggers()) {
    const double j1 = jitter.Uniform(0.0, o.messageJitterMs), j2 = jitter.Uniform(0.0, o.messageJitterMs);
    const int o1 = DrawOffset(offsets), o2 = DrawOffset(offsets);
    TriggerMessages m;
    m.message = Stamp(t.trueMs + o.messageDelayMs + j1, o.messageOffset ? o1 : 0);
    if (t.outlier == Outlier::TrackerDouble) m.doubled = Stamp(t.doubleMs + o.messageDelayMs + j2, o.messageOffset ? o2 : 0);
    myTriggers.push_back(m);
  }

  if (o.messageNoise > 0) {
    SimRandom rng = SimRandom(o.seed).Fork(kStreamMessageNoise);
    const double first = plan.SampleTime(plan.Blocks().front().firstSample);
    const double last = plan.SampleTime(plan.Blocks().back().EndSample() - 1);
    for (uint32_t i = 0; i < o.messageNoise; ++i) {
      const double at = rng.Uniform(first, last);
      const char* value = kNoiseValues[rng.Below(static_cast<uint32_t>(std::size(kNoiseValues)))];
      const int offset = DrawOffset(rng);
      myNoise.push_back({Stamp(at, o.messageOffset ? offset : 0), value});
    }
  }

  // EDF2ASC lists messages by their stamp; one that a jitter delayed past the next trigger's comes
  // after it, as in a real file.
  std::vector<std::pair<MessageStamp, std::string>> all;
  auto add = [&](const MessageStamp& at, const std::string& value) {
    all.emplace_back(at, (at.offset != 0 ? std::to_string(at.offset) + " " : std::string()) + myKeyword + " " + value);
  };
  const std::vector<TriggerTruth>& triggers = plan.Triggers();
  for (size_t i = 0; i < triggers.size(); ++i) {
    if (!triggers[i].InTracker()) continue;
    add(myTriggers[i].message, std::to_string(triggers[i].code));
    if (triggers[i].outlier == Outlier::TrackerDouble) add(myTriggers[i].doubled, std::to_string(triggers[i].code));
  }
  for (const NoiseMessage& n : myNoise) add(n.at, n.value);
  std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
    return a.first.stamp != b.first.stamp ? a.first.stamp < b.first.stamp : a.first.arrivalMs < b.first.arrivalMs;
  });
  for (auto& [at, text] : all) myLines.push_back({at.stamp, std::move(text)});
  return true;
}
