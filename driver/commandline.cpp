#include "driver/commandline.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "varnixlib/support/paths.h"

int64_t CommandLine::ReadInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  size_t end = i;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  if (end == i) return 0;
  // Parsed as unsigned magnitude so that the most negative value still reads exactly.
  uint64_t magnitude = 0;
  const auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + end, magnitude);
  (void)ptr;
  constexpr uint64_t maxPositive = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (negative) {
    if (ec == std::errc::result_out_of_range || magnitude > maxPositive) {
      return std::numeric_limits<int64_t>::min();
    }
    return -static_cast<int64_t>(magnitude);
  }
  if (ec == std::errc::result_out_of_range || magnitude > maxPositive) {
    return std::numeric_limits<int64_t>::max();
  }
  return static_cast<int64_t>(magnitude);
}

CommandLine CommandLine::Parse(const std::vector<std::string>& arguments, SynchroParams& params) {
  CommandLine line;
  line.myArguments = arguments;
  bool haveA = false;
  bool haveB = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (arg.empty() || arg[0] != '-') {
      if (!haveA) {
        line.myNameA = arg;
        haveA = true;
      } else {
        line.myNameB = arg;
        haveB = true;
      }
      continue;
    }
    if (arg == "--help") {
      line.myHelpWanted = true;
      continue;
    }
    if (arg == "--version") {
      line.myVersionWanted = true;
      continue;
    }
    if (arg.size() != 2) {
      line.myUnknownOptions.push_back(arg);
      continue;
    }
    const char letter = arg[1];
    if (letter == 'h' || letter == 't' || letter == 'f' || letter == 'M') {
      // The value is the next argument, whatever it looks like. Without one the option is
      // reported instead of quietly taking a file name or nothing.
      const bool hasValue = i + 1 < arguments.size() && (letter == 'f' || !arguments[i + 1].empty());
      if (!hasValue) {
        if (line.myOptionWithoutValue.empty()) line.myOptionWithoutValue = arg;
        if (i + 1 < arguments.size()) ++i;  // the empty argument belongs to the option
        continue;
      }
      const std::string& value = arguments[++i];
      if (letter == 'h') {
        params.outputPath = NormalizeSeparators(value);
        line.myOutputPathGiven = true;
      } else if (letter == 't') {
        params.triggersFileName = NormalizeSeparators(value);
      } else if (letter == 'M') {
        params.triggerMessage = value;
      } else {
        // A negative threshold has no meaning (it would wrap into a huge sample count and remove
        // every blink): it switches the detection off, as a value without digits does.
        params.falseBlinkMsec = std::max<int64_t>(0, ReadInteger(value));
      }
      continue;
    }
    switch (letter) {
      case 'e': params.interpolateTowardEeg = true; break;
      case '1': params.singleSampleMarkers = false; break;
      case 'm': params.matOutput = true; break;
      case 'p': params.pupilSize = true; break;
      case 'v': params.framesInEvents = true; break;
      case 'Q': params.quality.enabled = true; break;
      case 'A': params.article.enabled = true; break;
      case 'N': params.alsoWithoutDrift = true; break;
      case 'G': params.cacheWanted = true; break;
      case 'P': params.pauseAtEnd = true; break;
      case 'T': params.makeTtlFile = true; break;
      case 'L': params.classicLcs = true; break;
      case 'O': params.twoPointModel = true; break;
      case 'F': params.forceMerge = true; break;
      case '?': line.myHelpWanted = true; break;
      default: line.myUnknownOptions.push_back(arg); break;  // ignored, but said
    }
  }
  if (haveA && !haveB) line.myNameB = line.myNameA;
  return line;
}
