// AscRawData: the line walk over samples, eye events, inputs and the stimulus program's messages.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <thread>

#include "varnixlib/asc/asclineahead.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/asc/asctokens.h"
#include "varnixlib/asc/eventtypes.h"
#include "varnixlib/support/report.h"

namespace {

constexpr std::string_view kCorrupted = "Corrupted ASC file ";

enum StartLine { kFixL = 0, kSaccL = 1, kBlinkL = 2, kFixR = 3, kSaccR = 4, kBlinkR = 5 };

/// One eye's fixation, saccade or blink: its state and the state's name in the log, the slot of
/// its start line, its event type, and the tokens its end line must have.
struct EyeEvent {
  AscRawData::State state;
  std::string_view stateName;
  StartLine startLine;
  uint16_t type;
  size_t tokensRead;
};

// Left eye first, then the right.
constexpr EyeEvent kFixation[2] = {{AscRawData::InFixL, "inFixL", kFixL, EventTypes::flowFixationLeft, 8},
                                   {AscRawData::InFixR, "inFixR", kFixR, EventTypes::flowFixationRight, 8}};
constexpr EyeEvent kSaccade[2] = {{AscRawData::InSaccL, "inSaccL", kSaccL, EventTypes::flowSaccadeLeft, 11},
                                  {AscRawData::InSaccR, "inSaccR", kSaccR, EventTypes::flowSaccadeRight, 11}};
constexpr EyeEvent kBlink[2] = {{AscRawData::InBlinkL, "inBlinkL", kBlinkL, EventTypes::flowBlinkLeft, 4},
                                {AscRawData::InBlinkR, "inBlinkR", kBlinkR, EventTypes::flowBlinkRight, 4}};

uint32_t LineIndex(uint64_t line) { return static_cast<uint32_t>(line); }

/// An event's number; "." (the tracker had no value) is the missing value of the gaze columns,
/// so that exports and merges show one marker for missing.
double ValueOrMissing(std::string_view token) {
  return AscTokens::IsMissing(token) ? AscRawData::kMissing : AscTokens::DoubleValue(token);
}

}  // namespace

void AscRawData::ResetParseState() {
  for (bool& s : myStates) s = false;
  myRecordFlags = 0;
  myPreviousSampleIndex = 0;
  myPreviousInput = 0;
  for (uint64_t& l : myStartLines) l = 0;
  myInTrial = false;
  myStimulusName.clear();
  myLastFrameNumber = 0;
  mySequenceCounter = 1;
  mySamplePhases.clear();
  myPhasePending = false;
  myMessageTriggers.clear();
  mySkippedMessages = 0;
  myFirstSkippedMessage.clear();
  myMessageWords.clear();
  myHalfOffGrid = 0;
  myHalfOffGridLine = 0;
  mySameTimestampCount = 0;
  myLastSampleTimestamp = 0;
  myLastSampleHalf = false;
  myLastSampleLine = 0;
  myFractionStyle = false;
  myGridWarnings = 0;
  myFirstGridWarningLine = 0;
  myProgressFrom = myProgressTo = 0;
}

bool AscRawData::PlaceSample(std::string_view token, uint32_t& i) {
  const bool halfWritten = token.size() > 2 && token.substr(token.size() - 2) == ".5";
  if (halfWritten && myHeader.samplePeriodUs >= 1000) {
    // A half millisecond on a grid of whole ones would move the sample by half a period.
    return StopOnCorruption(i, "Corrupted ASC file (a timestamp with a .5 fraction at " +
                                   std::to_string(1000000 / myHeader.samplePeriodUs) + " Hz) ",
                            token);
  }
  if (myHeader.samplePeriodUs >= 1000 || i == kNoIndex) return true;
  const uint32_t stamp = static_cast<uint32_t>(TimestampMs(token));
  const bool half = (i & 1u) != 0;
  const bool sameStamp = mySameTimestampCount > 0 && stamp == myLastSampleTimestamp;
  if (token.size() > 2 && token[token.size() - 2] == '.') {
    // Written with fractions: each line names its own half, and the halves alternate.
    myFractionStyle = true;
    const bool follows = mySameTimestampCount > 0 &&
                         (half ? sameStamp && !myLastSampleHalf : stamp == myLastSampleTimestamp + 1 && myLastSampleHalf);
    if (!follows && !myPhasePending) {
      GridWarning("the .5 fractions of the 2000 Hz timestamps do not alternate", myCurrentLine);
    }
    mySameTimestampCount = sameStamp ? mySameTimestampCount + 1 : 1;
  } else if (sameStamp) {
    // Whole milliseconds: the second line of a timestamp is its second half. A third cannot be
    // placed anywhere without moving its neighbours.
    if (++mySameTimestampCount > 2 || myFractionStyle) {
      return StopOnCorruption(i, "Corrupted ASC file (a 2000 Hz timestamp on more than two sample lines, "
                                 "or repeated between lines with fractions) ", token);
    }
    i += 1;
  } else {
    // Inside a block every millisecond holds two sample lines; one alone lost its other half.
    if (mySameTimestampCount == 1 && !myFractionStyle && !myPhasePending && !myLastSampleHalf) {
      GridWarning("a 2000 Hz millisecond with one sample line, placed on its first half", myLastSampleLine);
    }
    mySameTimestampCount = 1;
    // A block may begin on the second half of a millisecond: its first timestamp then stands
    // alone, the next sample line already writes the next millisecond.
    // (A file written with fractions names every half itself.)
    const std::string_view next = myPhasePending ? NextSampleToken() : std::string_view();
    if (myPhasePending && !myFractionStyle && next.find('.') == std::string_view::npos && next != token) {
      i += 1;
      mySameTimestampCount = 2;
    }
  }
  myLastSampleTimestamp = stamp;
  myLastSampleHalf = (i & 1u) != 0;
  myLastSampleLine = myCurrentLine;
  return true;
}

std::string_view AscRawData::NextSampleToken() const {
  AscTokens t;
  // The next sample line is as a rule the next line; a few event lines may come between.
  for (uint64_t line = myCurrentLine + 1; line < NbLines() && line <= myCurrentLine + 16; ++line) {
    t.Split(LineText(line));
    if (t.Count() >= 3 && SampleIndex(t[0]) != kNoIndex) return t[0];
  }
  return {};
}

void AscRawData::GridWarning(std::string_view what, uint64_t line) {
  if (myGridWarnings++ == 0) myFirstGridWarningLine = line + 1;
  Warn(kNoPosition, std::string(what) + " ( line " + std::to_string(line + 1) + ": " +
                        std::string(LineText(line).substr(0, 40)) + " )");
}

bool AscRawData::ParseLines(uint64_t firstDataLine, bool velocityChannels) {
  ResetParseState();
  myHrefSamples = myHeader.sampleKind == "HREF";
  const uint64_t lines = NbLines();
  {
    // Splitting and number reading run ahead of the walk (on the second core for a long file);
    // everything that depends on what the walk has seen so far stays here, in line order.
    const uint64_t walked = lines > firstDataLine ? lines - firstDataLine : 0;
    const bool worker = theReadAhead == ReadAhead::kOn ||
                        (theReadAhead == ReadAhead::kAuto && walked >= 4 * theChunkLines &&
                         std::thread::hardware_concurrency() > 1);
    // The text behind the walk is released as it goes: the stage's peak memory stays near the
    // text plus the matrix.
    const uint64_t step = 4 * theChunkLines;
    uint64_t nextRelease = firstDataLine + step;
    uint64_t released = 0;  // bytes of text
    // Pupils (token 3, and 6 of a binocular line) and the velocities of a binocular line (7 to 10)
    // are not read when they cannot reach the matrix.
    uint16_t wanted = SampleFields::kAllFields;
    if (!myPupilWanted) wanted &= static_cast<uint16_t>(~((1u << 3) | (1u << 6)));
    if (!velocityChannels) wanted &= static_cast<uint16_t>(~(0xFu << 7));
    LineReadAhead ahead(myText.Data(), myLineOffsets.data(), firstDataLine, lines, theChunkLines, worker, wanted);
    AscTokens t;
    for (myCurrentLine = firstDataLine; myCurrentLine < lines; ++myCurrentLine) {
      if (myCurrentLine == nextRelease && worker) {
        nextRelease += step;
        // A few lines stay: a grid warning quotes the last sample line (a released page would
        // only be read from the file again).
        const uint64_t keep = std::max(released, myLineOffsets[myCurrentLine > 64 ? myCurrentLine - 64 : 0]);
        myText.Release(released, keep - released);
        released = keep;
      }
      const SampleFields& f = ahead.At(myCurrentLine);
      if (f.count < 3) continue;
      const uint64_t halfBefore = myHalfOffGrid;
      uint32_t i = SampleIndex(f.stamp);
      if (i != kNoIndex && myRecordFlags != 0) {
        myHalfOffGrid = halfBefore;  // a sample line's own fraction is judged where it is placed
        if (!PlaceSample(f.stamp, i) || !ParseSampleLine(f, i, velocityChannels)) return false;
      } else {
        t.Split(LineText(myCurrentLine));
        ParseEventLine(t);
        if (myHalfOffGrid != halfBefore && myHalfOffGridLine == 0) myHalfOffGridLine = myCurrentLine + 1;
      }
    }
  }
  if (myHalfOffGrid != 0) {
    Warn(kNoPosition, std::to_string(myHalfOffGrid) + " event timestamp(s) with a .5 fraction at " +
                          std::to_string(1000000 / myHeader.samplePeriodUs) +
                          " Hz placed on the sample at or before them; the first on line " +
                          std::to_string(myHalfOffGridLine));
    std::cout << "WARNING: " << myHalfOffGrid << " event timestamp(s) of " << myAscFileName
              << " carry a .5 fraction, which a grid of "
              << std::to_string(1000000 / myHeader.samplePeriodUs)
              << " Hz cannot hold; the first on line " << myHalfOffGridLine << '\n';
  }
  if (myGridWarnings != 0) {
    std::cout << "WARNING: " << myGridWarnings << " sample line(s) of " << myAscFileName
              << " do not follow the 2000 Hz pattern of half milliseconds (each is placed at its own "
                 "time); the first on line "
              << myFirstGridWarningLine << '\n';
  }

  ChangeState(InDisplayable, "End - inDisplayable", false, 0);
  ChangeState(InFixL, "End - inFixL", false, 0);
  ChangeState(InFixR, "End - inFixR", false, 0);
  ChangeState(InSaccL, "End - inSaccL", false, 0);
  ChangeState(InSaccR, "End - inSaccR", false, 0);
  ChangeState(InBlinkL, "End - inBlinkL", false, 0);
  ChangeState(InBlinkR, "End - inBlinkR", false, 0);
  ChangeState(InPhase, "End - inPhase", false, 0);
  ChangeState(InSequence, "End - inSequence", false, 0);
  ChangeState(InRecord, "End - inRecord", false, 0);
  std::cout << "100 %\n";
  if (!myTriggerKeyword.empty() && !AdoptMessageTriggers()) return false;
  return SortEvents(false);
}

void AscRawData::ReportProgress(uint32_t i) {
  // Called for every sample line; the percentage changes a hundred times per file. Between those
  // indices nothing is computed; at each change the indices of the new percentage are found
  // with the same division, so the lines printed are the same as dividing every time.
  if (i >= myProgressFrom && i < myProgressTo) return;
  const uint64_t n = myNbSamples;
  const auto percent = [n](uint64_t k) { return static_cast<int>(static_cast<double>(k) * 100.0 / n); };
  const int q = percent(i);
  uint64_t from = static_cast<uint64_t>(q) * n / 100;
  while (from > 0 && percent(from - 1) >= q) --from;
  while (percent(from) < q) ++from;
  uint64_t to = std::max(from, (static_cast<uint64_t>(q) + 1) * n / 100);
  while (to > from && percent(to - 1) > q) --to;
  while (percent(to) <= q) ++to;
  myProgressFrom = from;
  myProgressTo = to;
  if (q == myProgress) return;
  char text[16];
  std::snprintf(text, sizeof text, "%3d %%\r", static_cast<int>(static_cast<uint64_t>(i) * 100u / myNbSamples));
  std::cout << text;
  myProgress = q;
}

bool AscRawData::ParseSampleLine(const SampleFields& f, uint32_t i, bool velocityChannels) {
  if (i < myPreviousSampleIndex) return StopOnCorruption(i, kCorrupted, f.stamp);
  if (i >= myNbSamples) return StopOnCorruption(i, kCorrupted, f.stamp);
  myPreviousSampleIndex = myLastSampleIndex = i;
  ReportProgress(i);
  if (myPhasePending) {
    myPhasePending = false;
    // At 2000 Hz every timestamp has its own grid point: no block lies off the grid.
    const uint32_t periodMs = myHeader.samplePeriodUs >= 1000 ? myHeader.samplePeriodUs / 1000 : 1;
    const uint16_t phase = static_cast<uint16_t>(TimestampOffset(f.stamp) % periodMs);
    if (mySamplePhases.empty() || mySamplePhases.back().second != phase) mySamplePhases.push_back({i, phase});
  }

  const uint8_t eyes = myRecordFlags & (kLeftEye | kRightEye);
  const bool href = myHrefSamples;
  const bool velocity = velocityChannels && myVelocityInFile;
  const size_t n = f.count;
  if (velocity && eyes != 0 && !myVelocityNoteShown) {
    myVelocityNoteShown = true;
    AscTokens t;  // once per file: the line's own tokens, for the check of their characters
    t.Split(LineText(myCurrentLine));
    const bool both = eyes == (kLeftEye | kRightEye);
    std::cout << "NOTE: The .asc file contains velocity data"
              << (both ? " for both eyes." : (eyes & kLeftEye) ? " for left eye." : " for right eye.") << '\n';
    // Time, then x, y, pupil of each eye, then x and y velocity of each: the columns RES and
    // INPUT add come after them.
    const size_t velocityEnd = both ? 11 : 6;
    bool readable = n >= velocityEnd;
    for (size_t k = both ? 7 : 4; readable && k < velocityEnd; ++k) {
      readable = AscTokens::IsMissing(t[k]) ||
                 (AscTokens::IsPositionToken(t[k]) && t[k].find_first_of("0123456789") != std::string_view::npos);
    }
    if (!readable) {
      std::cout << "ERROR: Problem with velocity data columns detected on line " << myCurrentLine + 1 << "!\n";
    }
  }
  myStatus[i] |= myRecordFlags;
  if (eyes == 0) return true;

  // Stores one eye from its x token onward (x, y, pupil) and its two velocity tokens.
  auto store = [&](bool leftEye, size_t xToken, size_t velToken, size_t velNeeded) {
    if (f.Missing(xToken) || f.Missing(xToken + 1)) return true;
    if (!EnsureEyeColumns(leftEye, velocity)) {
      Warn(i, "Not enough memory for the columns of a block's other eye");
      return false;
    }
    (leftEye ? myLeftEyePresent : myRightEyePresent) = true;
    const size_t x = leftEye ? kLx : kRx;
    const size_t xVel = leftEye ? kLxVel : kRxVel;
    double* const row = myData.data() + static_cast<size_t>(i) * myStride;
    const double xv = f.Value(xToken);
    const double yv = f.Value(xToken + 1);
    row[mySlot[x]] = xv;
    row[mySlot[x + 1]] = yv;
    if (myPupilWanted) row[mySlot[x + 2]] = f.Value(xToken + 2);
    if (velocity && n >= velNeeded && !f.Missing(velToken) && !f.Missing(velToken + 1)) {
      row[mySlot[xVel]] = f.Value(velToken);
      row[mySlot[xVel + 1]] = f.Value(velToken + 1);
    }
    if (!href && (xv < 0 || xv >= myHeader.screenWidth || yv < 0 || yv >= myHeader.screenHeight)) {
      myStatus[i] |= kOffScreen;  // head-referenced angles have no screen to leave
    }
    if (myStates[InDisplayable] && !myDisplayables.empty()) {
      const Displayable& d = *myDisplayables.back();
      if (xv < d.leftRect || xv >= d.rightRect || yv < d.topRect || yv >= d.bottomRect) {
        myStatus[i] |= kOutsideDisplayable;
      }
    }
    return true;
  };

  if (eyes == (kLeftEye | kRightEye)) {
    // Time, then x, y, pupil of each eye: shorter lines carry no complete sample.
    if (n < 7) return true;
    if (!f.Position(1) || !f.Position(2)) return StopOnCorruption(i, kCorrupted, f.stamp);
    if (!f.Position(4) || !f.Position(5)) return StopOnCorruption(i, kCorrupted, f.stamp);
    return store(true, 1, 7, 9) && store(false, 4, 9, 11);
  }
  if (n < 4) return true;
  if (!f.Position(1) || !f.Position(2)) return StopOnCorruption(i, kCorrupted, f.stamp);
  return store(eyes == kLeftEye, 1, 4, 6);
}

void AscRawData::ParseEventLine(AscTokens& t) {
  const std::string_view first = t[0];
  const size_t n = t.Count();
  const uint32_t line = LineIndex(myCurrentLine);
  // Fixations, saccades and blinks: the start line opens the eye's state and remembers where the
  // object began; the end line closes the state at its end index and makes the object.
  const EyeEvent* const opens = first == "SFIX"     ? kFixation
                                : first == "SSACC"  ? kSaccade
                                : first == "SBLINK" ? kBlink
                                                    : nullptr;
  const EyeEvent* const closes = first == "EFIX"     ? kFixation
                                 : first == "ESACC"  ? kSaccade
                                 : first == "EBLINK" ? kBlink
                                                     : nullptr;
  const size_t eye = t[1] == "L" ? 0 : 1;
  if (opens) {
    const EyeEvent& kind = opens[eye];
    ChangeState(kind.state, kind.stateName, false, SampleIndex(t[2]));
    myStartLines[kind.startLine] = myCurrentLine;
  } else if (closes) {
    const EyeEvent& kind = closes[eye];
    if (n < kind.tokensRead) return;
    const uint32_t s = SampleIndex(t[2]);
    const uint32_t e = SampleIndex(t[3]);
    ChangeState(kind.state, kind.stateName, true, e);
    const uint32_t from = LineIndex(myStartLines[kind.startLine]);
    if (closes == kBlink) {
      (eye == 0 ? myBlinksLeft : myBlinksRight).push_back(std::make_unique<Blink>(kind.type, s, e, from));
    } else {
      auto event = std::make_unique<FixationSaccade>(kind.type, s, e, from);
      if (closes == kFixation) {
        event->startX = event->endX = ValueOrMissing(t[5]);
        event->startY = event->endY = ValueOrMissing(t[6]);
        event->averagePupilSizeFixation = ValueOrMissing(t[7]);
      } else {
        event->startX = ValueOrMissing(t[5]);
        event->startY = ValueOrMissing(t[6]);
        event->endX = ValueOrMissing(t[7]);
        event->endY = ValueOrMissing(t[8]);
        event->amplitudeSaccade = ValueOrMissing(t[9]);
        event->peakVelocitySaccade = ValueOrMissing(t[10]);
      }
      (eye == 0 ? myFixSaccLeft : myFixSaccRight).push_back(std::move(event));
    }
  } else if (first == "INPUT") {
    const int16_t v = static_cast<int16_t>(AscTokens::IntOrMinusOne(t.Last()));
    if (v != myPreviousInput) {
      myPreviousInput = v;
      const uint32_t i = SampleIndex(t[1]);
      if (v != 0 && i < myNbSamples) {
        myTriggerValues[i] = static_cast<uint16_t>(v);
        myTriggers.push_back(std::make_unique<Trigger>(static_cast<uint16_t>(v), i, line, TimestampMs(t[1])));
      }
    }
  } else if (first == "START" && t.NextToLast() == "SAMPLES" && t.Last() == "EVENTS") {
    const uint32_t s = SampleIndex(t[1]);
    ChangeState(InRecord, "inRecord", false, s == 0 ? 1 : s);
    myRecordFlags = kInRecord;
    myPhasePending = true;
    if (t.LineContains("LEFT")) myRecordFlags |= kLeftEye;
    if (t.LineContains("RIGHT")) myRecordFlags |= kRightEye;
    myRecords.push_back(std::make_unique<Record>(s, line));
  } else if (first == "MSG") {
    if (!myTriggerKeyword.empty()) ParseTriggerMessage(t, LineIndex(myCurrentLine));
    ParseMessage(t);
  }

  if (first == "SAMPLES" && (t[1] == "GAZE" || t[1] == "HREF")) {
    if (t.LineContains("VEL")) myVelocityInFile = true;
  } else if (first == "END" && n >= 4 && t[2] == "SAMPLES" && t[3] == "EVENTS") {
    const uint32_t e = SampleIndex(t[1]);
    ChangeState(InRecord, "inRecord", true, e);
    myRecordFlags = 0;
    if (!myRecords.empty()) myRecords.back()->end = e;
  }
}

void AscRawData::ParseMessage(AscTokens& t) {
  const uint32_t m = SampleIndex(t[1]);
  const uint32_t line = LineIndex(myCurrentLine);
  const size_t n = t.Count();
  const std::string_view word = t[2];

  if (word == "TRIALID") {
    myInTrial = true;
  } else if (myInTrial && word == "'Stimulus") {
    if (n >= 4) myStimulusName = std::string(t[3].substr(0, t[3].size() - 1));
  } else if (myInTrial && AscTokens::StartsWith(word, "Image_Start")) {
    MarkStatus(m, kStructureMessage);
    myDisplayables.push_back(std::make_unique<Displayable>(myStimulusName, m, line));
  } else if (myInTrial && AscTokens::StartsWith(word, "reponse")) {
    myInTrial = false;
    if (!myDisplayables.empty() && n >= 4) myDisplayables.back()->Response(m, t[3][0]);
  } else if (n < 4) {
    return;
  } else if (word == "BEGIN") {
    const std::string_view what = t[3];
    if (what == "TRANSITION") {
      TransitionBegin(t, m);
    } else if (what == "FRAME") {
      if (myStates[InDisplayable] && n >= 5) {
        const uint16_t frame = static_cast<uint16_t>(AscTokens::IntOrMinusOne(t[4]));
        if (m < myNbSamples) myFrameAdvances[m] |= static_cast<uint16_t>(frame - myLastFrameNumber);
        myLastFrameNumber = frame;
      }
    } else if (what == "SEQUENCE") {
      if (n < 6) return;
      ChangeState(InSequence, "inSequence", false, m);
      MarkStatus(m, kStructureMessage);
      mySequences.push_back(std::make_unique<CSequence>(t[4], t[5], m, line));
      mySequenceCounter = mySequences.back()->index;
    } else if (what == "PHASE") {
      if (n < 5) return;
      ChangeState(InPhase, "inPhase", false, m);
      MarkStatus(m, kStructureMessage);
      myAcqPhases.push_back(std::make_unique<AcqPhase>(t[4], m, line));
    }
  } else if (word == "END") {
    const std::string_view what = t[3];
    if (what == "TRANSITION") {
      if (myDisplayables.empty()) {
        Warning("TRANSITION myDisplayables = 0", "");
        return;
      }
      ChangeState(InDisplayable, "inDisplayable", true, m);
      myDisplayables.back()->End(m, t);
    } else if (what == "SEQUENCE") {
      if (!ChangeState(InSequence, "inSequence", true, m)) {
        const uint32_t start = myRecords.empty() ? m : myRecords.back()->start;
        const uint32_t from = myRecords.empty() ? line : myRecords.back()->line;
        mySequences.push_back(std::make_unique<CSequence>(EventTypes::flowSequence, start, from,
                                                          static_cast<uint16_t>(mySequenceCounter + 1), "unknown"));
      }
      if (!mySequences.empty()) mySequences.back()->end = m;
      if (!myDisplayables.empty() && myDisplayables.back()->end == myDisplayables.back()->start) {
        myDisplayables.back()->end = m;
      }
    } else if (what == "PHASE" && !myAcqPhases.empty()) {
      ChangeState(InPhase, "inPhase", true, m);
      myAcqPhases.back()->end = m;
    }
  }
}

void AscRawData::TransitionBegin(AscTokens& t, uint32_t m) {
  std::string merged;  // holds the joined text token while t refers to it
  if (t.Count() < 18) {
    Warn(m, "Invalide TRANSITION syntax ( !!! verify the EDF2ASC version !!! )\n"
            "Exactly 18 substrings should be available in ");
    return;
  }
  if (t.Count() > 18 && !MergeTextTokens(t, merged)) {
    Warn(m, "Invalide TRANSITION syntax (can not merge substrings)");
    return;
  }
  // Every kind of item is open until its END TRANSITION: the video's BEGIN FRAME messages count
  // only while it is, and the gaze is checked against the rectangle of whatever is shown.
  ChangeState(InDisplayable, "inDisplayable", false, m);
  MarkStatus(m, kStructureMessage);
  myLastFrameNumber = 0;
  myDisplayables.push_back(std::make_unique<Displayable>(t, m, LineIndex(myCurrentLine)));
}

bool AscRawData::MergeTextTokens(AscTokens& t, std::string& storage) const {
  if (t.Count() == 18) return true;
  if (t[9] != "TEXT" || !t.Complete()) return false;
  size_t closing = 0;
  for (size_t k = 10; k < t.Count(); ++k) {
    if (t[k] == "TEXT") {
      closing = k;
      break;
    }
  }
  if (closing <= 10) return false;
  storage.clear();
  for (size_t k = 10; k < closing; ++k) {
    if (k > 10) storage += '_';
    storage += t[k];
  }
  t.Join(10, closing - 1, storage);
  return t.Count() == 18;
}

namespace {

/// A whole token of digits with an optional sign; false for anything else.
bool ReadInteger(std::string_view token, int64_t& value) {
  if (token.empty() || token.size() > 12) return false;
  size_t i = token[0] == '-' || token[0] == '+' ? 1 : 0;
  if (i == token.size()) return false;
  int64_t v = 0;
  for (; i < token.size(); ++i) {
    const unsigned digit = static_cast<unsigned char>(token[i]) - static_cast<unsigned>('0');
    if (digit > 9) return false;
    v = v * 10 + digit;
  }
  value = token[0] == '-' ? -v : v;
  return true;
}

}  // namespace

void AscRawData::ParseTriggerMessage(const AscTokens& t, uint32_t line) {
  const double stamp = TimestampMs(t[1]);
  if (stamp < 0.0) return;
  // EyeLink's offset field: "MSG <time> <offset> <text>", the message then stands for time - offset.
  size_t first = 2;
  int64_t offset = 0;
  if (t.Count() > 3 && ReadInteger(t[2], offset)) first = 3;
  if (first < t.Count()) ++myMessageWords[std::string(t[first])];
  // The keyword's tokens, then the code: the first token after them, or the rest of the
  // keyword's last token when the code is glued to it ("trigger:12").
  const size_t words = myTriggerKeyword.size();
  for (size_t k = first; k + words <= t.Count(); ++k) {
    bool match = true;
    for (size_t w = 0; w + 1 < words && match; ++w) match = t[k + w] == myTriggerKeyword[w];
    const std::string_view last = t[k + words - 1];
    if (!match || last.substr(0, myTriggerKeyword.back().size()) != myTriggerKeyword.back()) continue;
    const std::string_view glued = last.substr(myTriggerKeyword.back().size());
    if (!glued.empty() && !(glued[0] >= '0' && glued[0] <= '9')) continue;  // a longer word
    const std::string_view codeToken = !glued.empty() ? glued : t[k + words];
    int64_t code = 0;
    const double time = stamp - static_cast<double>(offset);
    const uint32_t periodUs = myHeader.samplePeriodUs ? myHeader.samplePeriodUs : 1000;
    // Whole microseconds from the grid's start: exact for the half milliseconds of 2000 Hz.
    const int64_t fromStartUs = static_cast<int64_t>(std::llround((time - myStartTimestamp) * 1000.0));
    const int64_t index = fromStartUs < 0 ? -1 : periodUs >= 1000 ? fromStartUs / 1000 / (periodUs / 1000)
                                                                   : fromStartUs / periodUs;
    if (!ReadInteger(codeToken, code) || code < 1 || code > 65535 || index < 0 ||
        index >= static_cast<int64_t>(myNbSamples)) {
      if (mySkippedMessages++ == 0) myFirstSkippedMessage = std::string(t.Line());
      return;
    }
    myMessageTriggers.push_back(std::make_unique<Trigger>(static_cast<uint16_t>(code),
                                                          static_cast<uint32_t>(index), line, time));
    return;
  }
}

bool AscRawData::AdoptMessageTriggers() {
  std::string keyword;
  for (const std::string& word : myTriggerKeyword) keyword += (keyword.empty() ? "" : " ") + word;
  if (mySkippedMessages != 0) {
    Warn(kNoPosition, std::to_string(mySkippedMessages) + " message(s) with the trigger keyword \"" + keyword +
                          "\" skipped (no code of 1 to 65535, or outside the recording); the first: " +
                          myFirstSkippedMessage);
  }
  if (myMessageTriggers.empty()) {
    // What the file does use, so that the keyword can be put right.
    std::vector<std::pair<uint64_t, std::string>> words;
    for (const auto& [word, count] : myMessageWords) words.push_back({count, word});
    std::stable_sort(words.begin(), words.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::string common;
    for (size_t i = 0; i < words.size() && i < 3; ++i) {
      common += (i ? ", \"" : "\"") + words[i].second + "\" (" + std::to_string(words[i].first) + ")";
    }
    return Error("AscRawData::Process : no message carries a trigger after the keyword \"" + keyword + "\"",
                 "the most frequent message words: " + (common.empty() ? std::string("none") : common));
  }
  // Messages reach the tracker over the network and may be written out of time order.
  std::stable_sort(myMessageTriggers.begin(), myMessageTriggers.end(),
                   [](const auto& a, const auto& b) { return a->timestamp < b->timestamp; });
  myTriggers = std::move(myMessageTriggers);
  myMessageTriggers.clear();
  return true;
}
