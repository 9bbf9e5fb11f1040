#include "simoptions.h"

#include <charconv>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

namespace {

bool ParseDouble(std::string_view text, double& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end;
}

bool ParseUnsigned(std::string_view text, uint64_t& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end;
}

struct OptionRule {
  const char* name;
  bool takesValue;
  std::function<bool(std::string_view)> apply;  ///< false: the value is not acceptable
};

std::function<bool(std::string_view)> Number(double& field) {
  return [&field](std::string_view v) { return ParseDouble(v, field); };
}

std::function<bool(std::string_view)> Count(uint32_t& field, uint64_t low, uint64_t high) {
  return [&field, low, high](std::string_view v) {
    uint64_t n = 0;
    if (!ParseUnsigned(v, n) || n < low || n > high) return false;
    field = static_cast<uint32_t>(n);
    return true;
  };
}

std::function<bool(std::string_view)> Flag(bool& field, bool value) {
  return [&field, value](std::string_view) {
    field = value;
    return true;
  };
}

/// A keyword a reader can find again: printable, words split by single blanks, and not starting like
/// a number, which the line would show where EyeLink's offset field goes.
bool ValidKeyword(std::string_view k) {
  if (k.empty() || k.front() == ' ' || k.back() == ' ' || k.find("  ") != std::string_view::npos) return false;
  if ((k.front() >= '0' && k.front() <= '9') || k.front() == '-' || k.front() == '+') return false;
  for (const char c : k)
    if (c < ' ' || c > '~') return false;
  return true;
}

}  // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& o, bool& help, std::string& error) {
  help = false;
  bool repeatCycleGiven = false;
  // The last message knob given: refused below without --message-triggers.
  std::string messageKnob;
  bool messageKeywordGiven = false;
  auto messageKnobRule = [&messageKnob](const char* name, std::function<bool(std::string_view)> apply) {
    return OptionRule{name, true, [&messageKnob, name, apply](std::string_view v) {
                        messageKnob = name;
                        return apply(v);
                      }};
  };
  const std::vector<OptionRule> rules = {
      {"--out", true, [&o](std::string_view v) { o.outDir = std::string(v); return !v.empty(); }},
      {"--name", true,
       [&o](std::string_view v) {
         o.name = std::string(v);
         return !v.empty() && v.find_first_of("/\\") == std::string_view::npos;
       }},
      {"--seed", true, [&o](std::string_view v) { return ParseUnsigned(v, o.seed); }},
      {"--duration", true, Number(o.durationSec)},
      {"--eeg-rate", true, Number(o.eegRateHz)},
      {"--channels", true, Count(o.channels, 1, 65535)},
      {"--format", true,
       [&o](std::string_view v) {
         if (v == "int16") o.sampleType = SampleType::Int16;
         else if (v == "float32") o.sampleType = SampleType::Float32;
         else if (v == "float64") o.sampleType = SampleType::Float64;
         else return false;
         return true;
       }},
      {"--gaze-rate", true,
       [&o](std::string_view v) {
         uint64_t n = 0;
         if (!ParseUnsigned(v, n) || (n != 250 && n != 500 && n != 1000 && n != 2000)) return false;
         o.gazeRateHz = static_cast<uint32_t>(n);
         return true;
       }},
      {"--eyes", true,
       [&o](std::string_view v) {
         if (v == "left") o.eyes = EyeSetup::Left;
         else if (v == "right") o.eyes = EyeSetup::Right;
         else if (v == "both") o.eyes = EyeSetup::Both;
         else return false;
         return true;
       }},
      {"--velocity", false, Flag(o.velocity, true)},
      {"--pupil", true,
       [&o](std::string_view v) {
         if (v == "area") o.pupilDiameter = false;
         else if (v == "diameter") o.pupilDiameter = true;
         else return false;
         return true;
       }},
      {"--asc-crlf", false, Flag(o.ascCrlf, true)},
      {"--blocks", true, Count(o.blocks, 1, 10000)},
      {"--block-gap", true, Number(o.blockGapMs)},
      {"--drift", true, Number(o.driftPpm)},
      {"--offset", true, Number(o.offsetMs)},
      {"--segments", true, Count(o.segments, 1, 10000)},
      {"--segment-loss", true, Number(o.segmentLossMs)},
      {"--overflow", true, Number(o.overflowLossMs)},
      {"--overflow-at", true, Number(o.overflowAtSec)},
      {"--trigger-interval", true, Number(o.triggerIntervalMs)},
      {"--pattern", true,
       [&o](std::string_view v) {
         if (v == "random") o.pattern = CodePattern::Random;
         else if (v == "repeat") o.pattern = CodePattern::Repeat;
         else if (v == "adjacent") o.pattern = CodePattern::Adjacent;
         else return false;
         return true;
       }},
      {"--code-max", true, Count(o.codeMax, 1, 255)},
      {"--repeat-cycle", true,
       [&o, &repeatCycleGiven](std::string_view v) {
         repeatCycleGiven = true;
         return Count(o.repeatCycle, 1, 255)(v);
       }},
      {"--adjacent-every", true, Count(o.adjacentEvery, 1, 1000000)},
      {"--pulse", true, Number(o.pulseMs)},
      {"--coincident", false, Flag(o.coincident, true)},
      {"--coincide-tolerance", true, Number(o.coincideTolerance)},
      {"--ttl", false, Flag(o.ttlFile, true)},
      {"--no-eye-events", false, Flag(o.eyeEvents, false)},
      {"--blink-interval", true, Number(o.blinkIntervalMs)},
      {"--false-blinks", true, Number(o.falseBlinkFraction)},
      {"--structure", false, Flag(o.structure, true)},
      {"--date-error", true, Number(o.dateErrorMs)},
      {"--tracker-grid", false, Flag(o.trackerGrid, true)},
      {"--half-ms-timestamps", false, Flag(o.halfMsTimestamps, true)},
      {"--outliers", true, Count(o.outliers, 0, 1000000)},
      {"--eeg-start-late", true, Count(o.eegStartLate, 0, 1000000)},
      {"--eeg-stop-early", true, Count(o.eegStopEarly, 0, 1000000)},
      {"--tracker-start-late", true, Count(o.trackerStartLate, 0, 1000000)},
      {"--tracker-stop-early", true, Count(o.trackerStopEarly, 0, 1000000)},
      {"--message-triggers", true,
       [&o, &messageKeywordGiven](std::string_view v) {
         o.messageKeyword = std::string(v);
         messageKeywordGiven = true;
         return true;
       }},
      messageKnobRule("--message-delay", Number(o.messageDelayMs)),
      messageKnobRule("--message-jitter", Number(o.messageJitterMs)),
      messageKnobRule("--message-noise", Count(o.messageNoise, 0, 1000000)),
      {"--message-offset", false,
       [&o, &messageKnob](std::string_view) {
         messageKnob = "--message-offset";
         o.messageOffset = true;
         return true;
       }},
      {"--no-input", false,
       [&o, &messageKnob](std::string_view) {
         messageKnob = "--no-input";
         o.trackerInputs = false;
         return true;
       }},
  };

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
      return true;
    }
    std::string_view key = arg;
    std::string_view value;
    bool inlineValue = false;
    if (const size_t eq = arg.find('='); eq != std::string_view::npos && arg.starts_with("--")) {
      key = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inlineValue = true;
    }
    const OptionRule* rule = nullptr;
    for (const OptionRule& s : rules)
      if (key == s.name) rule = &s;
    if (rule == nullptr) {
      error = "unknown option " + std::string(arg);
      return false;
    }
    if (rule->takesValue && !inlineValue) {
      if (i + 1 >= argc) {
        error = "option " + std::string(key) + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (!rule->takesValue && inlineValue) {
      error = "option " + std::string(key) + " takes no value";
      return false;
    }
    if (!rule->apply(value)) {
      error = "bad value '" + std::string(value) + "' for " + std::string(key);
      return false;
    }
  }

  // A few-code session asks for --code-max alone; the cycle's default must not outgrow it.
  if (!repeatCycleGiven && o.repeatCycle > o.codeMax) o.repeatCycle = o.codeMax;

  // Ranges that keep every later computation meaningful.
  if (!(o.durationSec > 0.0 && o.durationSec <= 48.0 * 3600.0)) error = "--duration must be in (0, 172800] s";
  else if (!(o.eegRateHz >= 1.0 && o.eegRateHz <= 100000.0)) error = "--eeg-rate must be in [1, 100000] Hz";
  else if (!(o.blockGapMs >= 10.0)) error = "--block-gap must be at least 10 ms";
  else if (!(o.driftPpm > -10000.0 && o.driftPpm < 10000.0)) error = "--drift must be within +-10000 ppm";
  else if (!(o.offsetMs > -3.6e6 && o.offsetMs < 3.6e6)) error = "--offset must be within one hour";
  else if (!(o.segmentLossMs >= 0.0)) error = "--segment-loss must not be negative";
  else if (!(o.overflowLossMs >= 0.0)) error = "--overflow must not be negative";
  else if (!(o.triggerIntervalMs >= 20.0)) error = "--trigger-interval must be at least 20 ms";
  else if (!(o.pulseMs >= 1.0 && o.pulseMs * 2.0 < o.triggerIntervalMs * 0.6))
    error = "--pulse must be at least 1 ms and well below the trigger spacing";
  // Only the repeat pattern uses the cycle: --code-max 1 alone is a single-code session.
  else if (o.pattern == CodePattern::Repeat && o.repeatCycle > o.codeMax)
    error = "--repeat-cycle must not exceed --code-max";
  else if (!(o.coincideTolerance > 0.0 && o.coincideTolerance < 1.0)) error = "--coincide-tolerance must be in (0, 1)";
  else if (!(o.blinkIntervalMs == 0.0 || o.blinkIntervalMs >= 500.0)) error = "--blink-interval must be 0 or >= 500 ms";
  else if (!(o.falseBlinkFraction >= 0.0 && o.falseBlinkFraction <= 1.0)) error = "--false-blinks must be in [0, 1]";
  else if (!(o.dateErrorMs >= 0.0 && o.dateErrorMs <= 3.6e6)) error = "--date-error must be in [0, 3600000] ms";
  else if (messageKeywordGiven && !ValidKeyword(o.messageKeyword))
    error = "--message-triggers '" + o.messageKeyword + "': the keyword must be printable text, words split by "
            "single blanks, not starting with a digit or a sign";
  // Without messages the tracker would keep no trigger under --no-input, and the other knobs would
  // shape messages that are never written.
  else if (o.messageKeyword.empty() && !messageKnob.empty()) error = messageKnob + " needs --message-triggers";
  else if (!(o.messageDelayMs >= -1000.0 && o.messageDelayMs <= 1000.0))
    error = "--message-delay must be in [-1000, 1000] ms";
  else if (!(o.messageJitterMs >= 0.0 && o.messageJitterMs <= 1000.0))
    error = "--message-jitter must be in [0, 1000] ms";
  return error.empty();
}
