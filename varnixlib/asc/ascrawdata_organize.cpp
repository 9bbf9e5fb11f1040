// AscRawData: trigger names, closing and sorting of the events, false blinks, video frames, the
// marker lists for the synchronisation and the channel matrix.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <locale>
#include <new>
#include <unordered_map>

#include "varnixlib/asc/asclineahead.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/asc/eventtypes.h"
#include "varnixlib/support/file.h"
#include "varnixlib/support/report.h"
#include "varnixlib/support/rounding.h"
#include "varnixlib/asc/stimulationmap.h"
#include "varnixlib/synchroparams.h"

bool AscRawData::LoadTriggerNames(const std::string& triggersFileName) {
  char name[32];
  for (int code = 1; code <= 255; ++code) {
    std::snprintf(name, sizeof name, "trigger%03d", code);
    myTriggerNames[code] = name;
  }
  if (triggersFileName.empty() || !Varnix::File::Exists(triggersFileName)) return true;
  std::ifstream in(triggersFileName);
  if (!in) {
    Error("Opening log file : ", triggersFileName);
    return true;
  }
  in.imbue(std::locale::classic());
  while (in.good()) {
    int code = 0;
    std::string word;
    if (!(in >> code >> word)) break;
    if (!word.empty()) myTriggerNames[code] = word;
  }
  return true;
}

bool AscRawData::SortEvents(bool skipClosing) {
  // The stimulus program's items without the phases around them: a recording cut short or an
  // older version of the program. Their transitions and frames are still there to be derived;
  // what the file left open closes at its last sample instead of at the last phase's end.
  const bool structured = myHeader.softwareName.rfind("Tessark", 0) == 0 || !myDisplayables.empty() ||
                          !mySequences.empty();
  if (myAcqPhases.empty() && structured) {
    Warn(kNoPosition, "No BEGIN PHASE message: the items still open are closed at the last sample line");
  }
  if (!skipClosing) {
    uint32_t closeAt = myLastSampleIndex;
    if (myAcqPhases.empty()) {
      if (!myRecords.empty() && myRecords.back()->end != myLastSampleIndex) myRecords.back()->end = myLastSampleIndex;
    } else {
      AcqPhase& phase = *myAcqPhases.back();
      if (!(phase.end > phase.start)) phase.end = myNbSamples - 1;
      closeAt = phase.end;
      if (!myRecords.empty() && !(myRecords.back()->end > myRecords.back()->start)) myRecords.back()->end = closeAt;
    }
    auto close = [closeAt](Event* e) {
      if (!(e->end > e->start)) e->end = std::max(closeAt, e->start);
    };
    if (!mySequences.empty()) close(mySequences.back().get());
    if (!myDisplayables.empty()) close(myDisplayables.back().get());
    if (!ProcessFrames()) return Error("Can not process frames", "");
    if (!myTransitions.empty()) {
      for (auto& tr : myTransitions) tr->start = tr->end;
    } else {
      for (const auto& d : myDisplayables) myTransitions.push_back(std::make_unique<CTransition>(*d));
    }
  }
  RemoveFalseBlinks(myBlinksLeft, kLx, kLy);
  RemoveFalseBlinks(myBlinksRight, kRx, kRy);
  for (const auto* list : {&myBlinksLeft, &myBlinksRight}) {
    for (const auto& b : *list) {
      if (b->start > b->end || b->start >= myNbSamples || mySlot[kBlinkColumn] < 0) continue;
      const uint32_t last = std::min(b->end, myNbSamples - 1);
      for (uint32_t s = b->start; s <= last; ++s) Cell(s, kBlinkColumn) = 1.0;
    }
  }
  CombineEvents();
  return true;
}

void AscRawData::CombineEvents() {
  myAllEvents.clear();
  auto append = [this](const auto& list) {
    for (const auto& e : list) myAllEvents.push_back(e.get());
  };
  append(mySequences);
  append(myDisplayables);
  if (myFramesInEvents) append(myFrames);
  append(myTransitions);
  append(myFixSaccLeft);
  append(myFixSaccRight);
  append(myBlinksLeft);
  append(myBlinksRight);
  append(myAcqPhases);
  append(myRecords);
  // Stable: events of equal start keep the order above, except that a record comes last.
  std::stable_sort(myAllEvents.begin(), myAllEvents.end(), [](const Event* a, const Event* b) {
    if (a->start != b->start) return a->start < b->start;
    return a->type != EventTypes::recordStep && b->type == EventTypes::recordStep;
  });
}

void AscRawData::RemoveFalseBlinks(std::vector<std::unique_ptr<Blink>>& blinks, MatrixColumn xColumn,
                                   MatrixColumn yColumn) {
  // An eye the matrix has no columns for has no gaze around any blink: none qualifies.
  if (mySlot[xColumn] < 0 || mySlot[yColumn] < 0) return;
  const uint32_t threshold = myHeader.falseBlinkSamples;
  const double nan = myNaNValue;
  const uint64_t size = myNbSamples;
  auto x = [this, xColumn](uint32_t s) -> double& { return Cell(s, xColumn); };
  auto y = [this, yColumn](uint32_t s) -> double& { return Cell(s, yColumn); };
  auto qualifies = [&](const Blink& b) {
    if (b.end < b.start || b.end - b.start > threshold) return false;
    if (b.start == 0 || static_cast<uint64_t>(b.end) + 1 >= size) return false;
    return x(b.start - 1) != nan && y(b.start - 1) != nan && x(b.end + 1) != nan && y(b.end + 1) != nan;
  };
  // Interpolating one blink can give gaze to a neighbour of an earlier, rejected blink; only
  // those earlier blinks need a second look, found through the samples next to each blink.
  std::unordered_multimap<uint32_t, size_t> byNeighbour;
  for (size_t k = 0; k < blinks.size(); ++k) {
    byNeighbour.emplace(blinks[k]->start - 1, k);
    byNeighbour.emplace(blinks[k]->end + 1, k);
  }
  std::vector<bool> removed(blinks.size(), false);
  size_t k = 0;
  while (k < blinks.size()) {
    if (removed[k] || !qualifies(*blinks[k])) {
      ++k;
      continue;
    }
    const Blink& b = *blinks[k];
    const uint32_t a = b.start - 1;
    const uint32_t z = b.end + 1;
    for (const MatrixColumn column : {xColumn, yColumn}) {
      // j * difference first, then the division: the same rounding on every sample as the
      // straight line is written, not a rounded slope multiplied up.
      const double from = Cell(a, column);
      const double difference = Cell(z, column) - from;
      const double span = static_cast<double>(z - a);
      for (uint32_t j = 1; j < z - a; ++j) Cell(a + j, column) = from + j * difference / span;
    }
    removed[k] = true;
    size_t next = k + 1;
    for (uint32_t s = b.start; s <= b.end; ++s) {
      auto [lo, hi] = byNeighbour.equal_range(s);
      for (auto it = lo; it != hi; ++it) {
        if (it->second < next && !removed[it->second] && qualifies(*blinks[it->second])) next = it->second;
      }
    }
    k = next;
  }
  size_t kept = 0;
  for (size_t j = 0; j < blinks.size(); ++j) {
    if (!removed[j]) blinks[kept++] = std::move(blinks[j]);
  }
  blinks.resize(kept);
}

bool AscRawData::ProcessFrames() {
  const uint32_t periodUs = myHeader.samplePeriodUs ? myHeader.samplePeriodUs : 1000;
  // The samples with a frame advance, in order, so each video only visits its own advances.
  std::vector<uint32_t> advances;
  for (uint32_t k = 0; k < myNbSamples; ++k) {
    if (myFrameAdvances[k] != 0) advances.push_back(k);
  }
  for (const auto& d : myDisplayables) {
    if (d->type != EventTypes::displayableVideoSound && d->type != EventTypes::displayableVideoNoSound) continue;
    const uint32_t step = static_cast<uint32_t>(uint64_t{d->frameDuration} * 1000 / periodUs);
    const uint32_t last = std::min(d->end, myNbSamples);
    uint32_t played = 0;
    bool first = true;
    for (auto it = std::lower_bound(advances.begin(), advances.end(), d->start);
         it != advances.end() && *it < last; ++it) {
      const uint32_t k = *it;
      const uint32_t n = myFrameAdvances[k];
      myStatus[k] |= kFrameStart;
      ++played;
      uint32_t placed = 0;
      if (step == 0) {
        placed = n - 1;  // every earlier frame falls on this same sample
      } else {
        for (uint64_t back = step; placed < n - 1 && k >= d->start + back; back += step) {
          myStatus[k - back] |= kFrameStart;
          ++placed;
        }
      }
      played += placed;
      if (first) {
        d->frameFirst = static_cast<uint16_t>(n - 1 - placed);
        first = false;
      }
    }
    d->framePlayed = static_cast<uint16_t>(played);
  }
  myFrames.clear();
  for (uint32_t k = 0; k < myNbSamples; ++k) {
    if (myStatus[k] & kFrameStart) myFrames.push_back(std::make_unique<Frame>(k));
  }
  return true;
}

void AscRawData::GetTriggerMarkers(std::vector<CMarker>& markers) const {
  markers.clear();
  markers.reserve(myTriggers.size());
  for (const auto& t : myTriggers) {
    CMarker m;
    m.type = Stimulus;
    m.code = t->type;
    m.position = t->start;
    m.size = t->end - t->start;
    m.extra = t->line;
    m.time = t->timestamp;
    markers.push_back(std::move(m));
  }
}

void AscRawData::GetEventMarkers(std::vector<CMarker>& markers) const {
  markers.clear();
  markers.reserve(myAllEvents.size());
  for (const Event* e : myAllEvents) {
    CMarker m;
    m.type = Stimulus;
    m.code = e->type;
    m.position = e->start;
    m.size = e->end - e->start;
    m.event = e;
    markers.push_back(std::move(m));
  }
}

uint32_t AscRawData::ExpectedChannels(bool velocityChannels) const {
  // As OrganizeData lists them, with the eyes and the velocity the SAMPLES line names.
  const uint32_t eyes = uint32_t{myHeader.leftColumns} + uint32_t{myHeader.rightColumns};
  const bool velocity = velocityChannels && myHeader.velocityColumns;
  return eyes * (myPupilWanted ? 3 : 2) + (velocity ? 2 * eyes : 0) + 1;
}

bool AscRawData::OrganizeData(const SynchroParams& params) {
  if (myNbSamples == 0) return Error("AscRawData::OrganizeData !(myNbSamples && myNbChannels)", "");
  // The matrix keeps the eyes the samples held, with the pupils and velocity asked for, and the
  // blink channel last.
  ColumnSet wanted{};
  for (const bool left : {true, false}) {
    if (!(left ? myLeftEyePresent : myRightEyePresent)) continue;
    const size_t x = left ? kLx : kRx;
    const size_t xVel = left ? kLxVel : kRxVel;
    wanted[x] = wanted[x + 1] = true;
    wanted[x + 2] = params.pupilSize;
    wanted[xVel] = wanted[xVel + 1] = params.velocityChannels && myVelocityInFile;
  }
  wanted[kBlinkColumn] = true;
  if (!Relayout(wanted)) return Error("AscRawData::OrganizeData : not enough memory for the channel matrix", "");
  static constexpr const char* kNames[kMatrixColumns] = {"eyeLx",    "eyeLy",    "eyeLp",    "eyeRx",
                                                         "eyeRy",    "eyeRp",    "eyeLxVel", "eyeLyVel",
                                                         "eyeRxVel", "eyeRyVel", "blink"};
  myChannelNames.clear();
  for (size_t c = 0; c < kMatrixColumns; ++c) {
    if (wanted[c]) myChannelNames.emplace_back(kNames[c]);
  }
  if (myHeader.sampleKind == "HREF") {
    // Head-referenced positions are angles, not screen pixels: the names say so, so that nobody
    // reads them as gaze on the screen. The pupil is the same quantity either way.
    for (std::string& name : myChannelNames) {
      if (name.starts_with("eye") && !name.ends_with("p")) name.replace(0, 3, "href");
    }
  }
  myNbChannels = myStride;
  if (params.roundGaze) {
    auto round = [this](uint64_t from, uint64_t to) {
      for (uint64_t k = from; k < to; ++k) myData[k] = RoundHalfAway(myData[k]);
    };
    const uint64_t values = myData.size();
    if (myNbSamples >= kHalvedColumnSamples) {
      OnBothCores([&] { round(0, values / 2); }, [&] { round(values / 2, values); });
    } else {
      round(0, values);
    }
  }
  return true;
}

bool AscRawData::WriteEventFile(const std::string& path, const std::vector<CMarker>& markers) const {
  StimulationMap map;
  map.Add(256, "segment256");
  // A trigger is named as a trigger whatever its code (recorders send codes from 1000 on too),
  // and before the events, so that a code both share keeps the trigger's name.
  for (const bool events : {false, true}) {
    for (const CMarker& m : markers) {
      if ((m.event != nullptr) != events) continue;
      std::string name;
      if (events) {
        name = std::string(EventTypes::Name(m.code));
      } else {
        const auto it = myTriggerNames.find(m.code);
        if (it != myTriggerNames.end()) name = it->second;
      }
      map.Add(m.code, name);
    }
  }
  return map.Write(path);
}

double AscRawData::SampleTime(double g) const {
  uint16_t phase = mySamplePhases.empty() ? 0 : mySamplePhases.front().second;
  for (const auto& [first, value] : mySamplePhases) {
    if (static_cast<double>(first) > g) break;
    phase = value;
  }
  return static_cast<double>(myStartTimestamp) + phase + g * SamplePeriod();
}
