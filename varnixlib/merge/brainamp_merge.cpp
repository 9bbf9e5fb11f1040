// The merge of the two recordings: the lost EEG frames, the window between the first and the last
// matched trigger, the resampling onto one time base and the merged output set.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/asc/eventtypes.h"
#include "varnixlib/support/atomicfilewriter.h"
#include "varnixlib/support/backgroundjob.h"
#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/brainvision/brainampeeg.h"
#include "varnixlib/support/file.h"
#include "varnixlib/merge/framesampler.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/platform.h"
#include "varnixlib/support/report.h"
#include "varnixlib/support/rounding.h"
#include "varnixlib/merge/syncrecord.h"
#include "varnixlib/syncinfo.h"
#include "varnixlib/sync/triggermatching.h"

namespace {

/// Gaze columns mark a missing value with this finite number.
constexpr double kGazeMissing = -2000.0;
/// Frames per block of the merged data file: bounds the output memory at any recording length.
constexpr uint64_t kBlockFrames = 4096;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// A recorded marker line (the text after "Mk<n>=") moved to position, its other fields kept.
MergedMarker RecordedLine(const std::string& text, uint64_t position) {
  std::vector<std::string> fields;
  size_t begin = 0;
  while (true) {
    const size_t comma = text.find(',', begin);
    fields.push_back(text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin));
    if (comma == std::string::npos) break;
    begin = comma + 1;
  }
  MergedMarker line;
  line.type = fields[0];
  line.description = fields.size() > 1 ? fields[1] : std::string();
  line.position = position;
  line.length = 1;
  if (fields.size() > 3) {
    const std::string& length = fields[3];
    if (!length.empty() && length.find_first_not_of("0123456789") == std::string::npos && length.size() < 10) {
      line.length = std::stoull(length);
    }
  }
  if (fields.size() > 4) line.channel = fields[4];
  for (size_t f = 5; f < fields.size(); ++f) line.rest += "," + fields[f];
  return line;
}

/// The EEG's lost stretches as (recorded frame, frames lost before it; negative: recorded frames
/// dropped before it), one per later segment that changes the line; empty when none does.
std::vector<std::pair<uint64_t, int64_t>> GapsOf(const std::vector<CMarker*>& segments) {
  std::vector<std::pair<uint64_t, int64_t>> gaps;
  for (uint64_t s = 1; s < segments.size(); ++s) {
    const int64_t count = static_cast<int32_t>(segments[s]->samplesInserted);
    if (count != 0) gaps.push_back({segments[s]->position, count});
  }
  return gaps;
}

/// Frames of the line with the lost stretches put back.
uint64_t LineFrames(const std::vector<std::pair<uint64_t, int64_t>>& gaps, uint64_t recorded) {
  int64_t growth = 0;
  for (const auto& gap : gaps) growth += gap.second;
  return static_cast<uint64_t>(static_cast<int64_t>(recorded) + growth);
}

/// The merged data file, written one block of whole frames after the other under a temporary
/// name, and renamed into place only once every block is written (a full disk or a failed run
/// never leaves a truncated data file that looks whole). Each block is written on a second thread
/// while the next one is sampled into the other of two buffers: handing a block to the system's
/// file cache costs about as much as sampling it, and the two then overlap.
template <typename T>
class BlockWriter {
 public:
  BlockWriter(const std::string& path, size_t blockValues)
      : myFile(path, "Brainamp::SynchronizeVarnix::File::Write") {
    myOpen = myFile.Open();
    for (std::vector<T>& buffer : myBuffers) buffer.resize(blockValues);
  }
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  bool IsOpen() const { return myOpen; }
  /// The buffer to sample the next block into; never the one being written.
  T* Buffer() { return myBuffers[myCurrent].data(); }
  /// Hands the first values of Buffer() to the writing thread. False when an earlier block failed.
  bool Append(size_t values) {
    myWriting.Wait();
    if (!myWriteOk) return false;
    const T* data = myBuffers[myCurrent].data();
    const uint64_t bytes = static_cast<uint64_t>(values) * sizeof(T);
    myWriting.Start([this, data, bytes] { myWriteOk = myFile.Write(data, bytes); });
    myCurrent ^= 1;
    return true;
  }
  bool Commit() {
    myWriting.Wait();
    return myWriteOk && myFile.Commit();
  }

 private:
  Varnix::AtomicFileWriter myFile;
  bool myOpen = false;
  std::vector<T> myBuffers[2];
  int myCurrent = 0;
  bool myWriteOk = true;  ///< written by the job, read after waiting for it
  Varnix::BackgroundJob myWriting;  ///< last: its thread ends first, while the file still exists
};

}  // namespace

bool Brainamp::CheckSegmentGaps(const std::vector<CMarker*>& segments, uint64_t frames) {
  // The drift model adds its shifts to samplesInserted; a shift of -1 on a segment with nothing
  // lost before it means one recorded frame too many there, so the count is read as signed and a
  // negative one removes frames instead of wrapping into billions of inserted ones.
  int64_t growth = 0;
  uint64_t previous = 0;
  for (uint64_t s = 1; s < segments.size(); ++s) {
    const int64_t count = static_cast<int32_t>(segments[s]->samplesInserted);
    const uint64_t position = segments[s]->position;
    if (position < previous || position > frames) {
      return Error("Brainamp::InsertSegmentGaps segment outside the data",
                   std::to_string(segments[s]->position));
    }
    if (count < 0 && static_cast<uint64_t>(-count) > position - previous) {
      return Error("Brainamp::InsertSegmentGaps shift beyond the segment",
                   std::to_string(count));
    }
    previous = position;
    growth += count;
  }
  const uint64_t newFrames = static_cast<uint64_t>(static_cast<int64_t>(frames) + growth);
  if (newFrames > (uint64_t{1} << 32)) {
    return Error("Brainamp::InsertSegmentGaps too many frames", std::to_string(newFrames));
  }
  return true;
}

template <typename T>
bool Brainamp::InsertSegmentGaps(const std::vector<CMarker*>& segments,
                                 typename BrainampEEG<T>::SampleVector& samples,
                                 uint16_t nbChannels, T missing) {
  if (segments.size() < 2 || nbChannels == 0) return true;
  const uint64_t frames = samples.size() / nbChannels;
  if (!CheckSegmentGaps(segments, frames)) return false;
  int64_t growth = 0;
  for (uint64_t s = 1; s < segments.size(); ++s) growth += static_cast<int32_t>(segments[s]->samplesInserted);
  const uint64_t newFrames = static_cast<uint64_t>(static_cast<int64_t>(frames) + growth);
  const uint64_t ch = nbChannels;
  const bool onlyGrowth = std::all_of(segments.begin() + 1, segments.end(), [](const CMarker* m) {
    return static_cast<int32_t>(m->samplesInserted) >= 0;
  });
  if (onlyGrowth) {
    // One resize, then every segment moves once to its place on the gap-filled line, the last
    // first, so no frame is overwritten before it has moved.
    samples.resize(newFrames * ch);
    uint64_t shift = static_cast<uint64_t>(growth);
    for (uint64_t s = segments.size() - 1; s >= 1; --s) {
      const uint64_t begin = segments[s]->position;
      const uint64_t end = s + 1 < segments.size() ? segments[s + 1]->position : frames;
      const uint64_t count = segments[s]->samplesInserted;
      const uint64_t to = begin + shift;
      if (shift != 0) {
        std::copy_backward(samples.begin() + begin * ch, samples.begin() + end * ch,
                           samples.begin() + (to + (end - begin)) * ch);
      }
      std::fill(samples.begin() + (to - count) * ch, samples.begin() + to * ch, missing);
      shift -= count;
    }
  } else {
    // A negative count is rare: edit segment by segment, from the last down.
    for (uint64_t s = segments.size() - 1; s >= 1; --s) {
      const int64_t count = static_cast<int32_t>(segments[s]->samplesInserted);
      const auto at = samples.begin() + static_cast<int64_t>(segments[s]->position * ch);
      if (count > 0) {
        samples.insert(at, static_cast<uint64_t>(count) * ch, missing);
      } else if (count < 0) {
        samples.erase(at - (-count) * static_cast<int64_t>(ch), at);
      }
    }
  }

  return true;
}

void Brainamp::PrintSegmentTable(const std::vector<CMarker*>& segments) {
  for (uint64_t s = 0; s < segments.size(); ++s) {
    std::printf("Segment %2llu Offset = %7u SamplesInserted = %7d Correction = %4d\n",
                static_cast<unsigned long long>(s + 1), segments[s]->position,
                static_cast<int32_t>(segments[s]->samplesInserted), segments[s]->correction);
  }
  std::printf("\n");
  std::fflush(stdout);
}

bool Brainamp::SelectSyncWindow(const MatchingResult& matching,
                                const std::vector<CMarker>& triggers,
                                const std::vector<CMarker>& eyeEvents,
                                const std::vector<CMarker>& eegMarkers,
                                std::vector<CMarker>& gazeMarkers, uint64_t& gazeStart,
                                uint64_t& gazeCount, uint64_t& eegStart, uint64_t& eegCount) {
  const std::vector<MatchedPair>& pairs = matching.pairs;
  uint64_t a = 0;
  uint64_t b = 0;
  if (matching.clockFitted) {
    // The first and the last pair the model keeps: an outlier never sets the window.
    const std::vector<uint8_t>& kept = matching.clock.kept;
    const auto first = std::find(kept.begin(), kept.end(), uint8_t{1});
    if (first == kept.end()) return Error("Brainamp::SelectSyncWindow no pair fits the clock model", "");
    a = static_cast<uint64_t>(first - kept.begin());
    b = kept.size() - 1 - static_cast<uint64_t>(std::find(kept.rbegin(), kept.rend(), uint8_t{1}) - kept.rbegin());
  } else {
    if (matching.firstSegment >= matching.endSegment ||
        matching.endSegment > matching.segments.size()) {
      return Error("Brainamp::SelectSyncWindow no segment holds two matched triggers", "");
    }
    a = matching.segments[matching.firstSegment].firstPair;
    b = matching.segments[matching.endSegment - 1].lastPair;
  }
  if (a > b || b >= pairs.size() || pairs[b].first >= triggers.size() ||
      pairs[b].second >= eegMarkers.size()) {
    return Error("Brainamp::SelectSyncWindow pairs outside the trigger lists", "");
  }
  const uint64_t ta = pairs[a].first;
  const uint64_t tb = pairs[b].first;
  gazeStart = triggers[ta].position;
  gazeCount = triggers[tb].position - gazeStart + 1;
  eegStart = eegMarkers[pairs[a].second].position;
  eegCount = eegMarkers[pairs[b].second].position - eegStart + 1;
  if (triggers[tb].position < gazeStart || eegMarkers[pairs[b].second].position < eegStart) {
    return Error("Brainamp::SelectSyncWindow last matched trigger before the first", "");
  }

  gazeMarkers.clear();
  gazeMarkers.reserve(triggers.size() + eyeEvents.size());
  uint64_t e = 0;
  while (e < eyeEvents.size() && eyeEvents[e].position < gazeStart) ++e;
  for (uint64_t t = ta; t <= tb; ++t) {
    CMarker trigger;
    trigger.type = Stimulus;
    trigger.code = triggers[t].code;
    trigger.position = triggers[t].position;
    trigger.size = triggers[t].size;
    trigger.extra = triggers[t].extra;
    trigger.time = triggers[t].time;
    gazeMarkers.push_back(trigger);
    if (t == tb) break;
    const uint32_t next = triggers[t + 1].position;
    for (; e < eyeEvents.size() && eyeEvents[e].position < next; ++e) {
      if (eyeEvents[e].code >= 1000) gazeMarkers.push_back(eyeEvents[e]);
    }
  }
  return true;
}

template <typename T>
bool Brainamp::SynchronizeVarnix(SynchroParams& params, const MatchingResult& matching,
                                 uint64_t gazeStart, uint64_t gazeCount, uint64_t eegStart,
                                 uint64_t eegCount, const std::string& outputName,
                                 const AscRawData& asc, std::vector<CMarker> gazeMarkers,
                                 const TriggerPartners& partners, T missing, bool drift,
                                 SyncInfo& info) {
  info = SyncInfo{};
  info.drift = drift;
  auto* eeg = dynamic_cast<BrainampEEG<T>*>(myEEG.get());
  if (eeg == nullptr) return Error("Brainamp::SynchronizeVarnix no EEG samples of this type", "");

  const uint16_t eegChannels = myVhdr.nbChannels;
  const uint32_t gazeChannels = asc.NbChannels();
  const uint32_t total = eegChannels + gazeChannels;
  const double eegRate = RoundHalfAway(1e6 / myVhdr.samplingInterval);
  const double gazeRate = RoundHalfAway(1000.0 / asc.SamplePeriod());
  if (eegCount == 0 || gazeCount == 0 || total == 0 || !(eegRate > 0) || !(gazeRate > 0)) {
    return Error("Brainamp::SynchronizeVarnix empty window", "");
  }

  // With drift, the steps map the first matched trigger onto frame 0 and the last onto frame
  // N - 1 of both streams: the ratio of the spans between them, not of the frame counts.
  auto spanRatio = [](uint64_t numerator, uint64_t denominator, double fallback) {
    return denominator > 1 ? static_cast<double>(numerator - 1) / static_cast<double>(denominator - 1)
                           : fallback;
  };
  const bool towardEeg = params.interpolateTowardEeg;
  uint64_t n = 0;
  double eegStep = 1.0;
  double gazeStep = 1.0;
  double eegFraction = 0.0;
  double gazeFraction = 0.0;
  // Where the first output frame falls on the gaze grid; the markers are placed from it.
  double gazeOrigin = static_cast<double>(gazeStart);
  // Where the tracker's blocks change the phase of their samples against the grid, the other
  // stream moves on by that much: (output frame, source frames added).
  std::vector<std::pair<uint64_t, double>> jumps;
  // The EEG position of tracker time t on this set's line (fitted models only).
  std::function<double(double)> eegAt;
  if (matching.clockFitted) {
    // Both directions read positions off the fitted line; the other stream starts wherever the
    // line puts the reference's first frame, between two of its samples as a rule. Without
    // drift the nominal rate runs from the same start.
    const ClockModel& clock = matching.clock;
    const double period = asc.SamplePeriod();
    const double perMs = drift ? clock.slope : eegRate / 1000.0;
    const auto& phases = asc.SamplePhases();
    auto split = [](double position, uint64_t& whole, double& fraction) {
      position = std::max(0.0, position);
      whole = static_cast<uint64_t>(std::floor(position));
      fraction = position - std::floor(position);
    };
    const double t0 = !towardEeg ? asc.SampleTime(static_cast<double>(gazeStart))
                                 : clock.TrackerTime(static_cast<double>(eegStart));
    const double y0 = clock.EegPosition(t0);
    eegAt = [&clock, drift, t0, y0, perMs](double t) { return drift ? clock.EegPosition(t) : y0 + (t - t0) * perMs; };
    if (!towardEeg) {
      n = gazeCount;
      split(y0, eegStart, eegFraction);
      eegStep = perMs * period;
    } else {
      n = eegCount;
      // The grid index whose sample the tracker took at t0: its block's phase decides.
      const double gridTime = t0 - static_cast<double>(asc.StartTimestamp());
      gazeOrigin = (gridTime - (asc.SampleTime(std::floor(gridTime / period)) - asc.StartTimestamp() -
                                std::floor(gridTime / period) * period)) / period;
      split(gazeOrigin, gazeStart, gazeFraction);
      gazeStep = 1.0 / (perMs * period);
    }
    for (size_t k = 1; k < phases.size(); ++k) {
      const uint32_t first = phases[k].first;
      if (first <= gazeStart) continue;
      const double change = static_cast<double>(phases[k].second) - static_cast<double>(phases[k - 1].second);
      if (!towardEeg) {
        jumps.push_back({first - gazeStart, change * perMs});
      } else {
        const double frame = std::ceil(eegAt(asc.SampleTime(first)) - static_cast<double>(eegStart));
        if (frame > 0.0) jumps.push_back({static_cast<uint64_t>(frame), -change / period});
      }
    }
  } else if (!towardEeg) {
    n = gazeCount;
    eegStep = drift ? spanRatio(eegCount, gazeCount, eegRate / gazeRate) : eegRate / gazeRate;
  } else {
    n = eegCount;
    gazeStep = drift ? spanRatio(gazeCount, eegCount, gazeRate / eegRate) : gazeRate / eegRate;
  }
  const double outputRate = towardEeg ? eegRate : gazeRate;

  // The merged data file, written in blocks of whole frames.
  const std::string dataFile = outputName + ".eeg";
  BlockWriter<T> writer(dataFile, kBlockFrames * total);
  if (!writer.IsOpen()) return Error("Brainamp::SynchronizeVarnix::File::Write", dataFile);
  T* cursor = writer.Buffer();
  // A floating output marks missing gaze as it marks missing EEG: NaN, which every reader takes
  // for missing (-2000 would read as a gaze position).
  const T gazeMissingOut = std::is_floating_point_v<T> ? missing : static_cast<T>(kGazeMissing);
  const uint64_t recordedFrames = eegChannels ? eeg->NbValues() / eegChannels : 0;
  const std::vector<std::pair<uint64_t, int64_t>> lost = GapsOf(myVmrk.segments);
  FrameSampler<T, T> eegSampler(eeg->Values(), LineFrames(lost, recordedFrames), eegChannels, eegStart,
                                eegStep, missing, missing, false, &cursor);
  if (!lost.empty()) eegSampler.SetPieces(PiecesWithGaps(lost, recordedFrames));
  FrameSampler<double, T> gazeSampler(asc.Data().data(), asc.NbSamples(), gazeChannels, gazeStart,
                                      gazeStep, kGazeMissing, gazeMissingOut, true, &cursor);
  eegSampler.SetStartFraction(eegFraction);
  gazeSampler.SetStartFraction(gazeFraction);
  // When the first frame was recorded, on the EEG's clock (in EEG samples from its first one).
  const double firstEegFrame = static_cast<double>(eegStart) + eegFraction;
  // Where the EEG sampler's fraction changes: (first output frame, fraction), for placing EEG
  // markers on the output the way its samples were taken.
  std::vector<std::pair<uint64_t, double>> eegPieces = {{0, eegFraction}};
  // The stretches the merge fills instead of recording: the EEG's lost samples (on the gap-filled
  // line, as [first, end)) and the gaze grid points without a sample.
  std::vector<std::pair<uint64_t, uint64_t>> eegGaps;
  {
    int64_t inserted = 0;
    for (uint64_t s = 1; s < myVmrk.segments.size(); ++s) {
      const int64_t count = static_cast<int32_t>(myVmrk.segments[s]->samplesInserted);
      inserted += count;
      const int64_t begin = static_cast<int64_t>(myVmrk.segments[s]->position) + inserted;
      if (count > 0) eegGaps.push_back({static_cast<uint64_t>(begin - count), static_cast<uint64_t>(begin)});
    }
  }
  const std::vector<uint8_t>& gazeStatus = asc.Status();
  auto gazeRecorded = [&](uint64_t g) {
    return g < gazeStatus.size() && (gazeStatus[g] & AscRawData::kInRecord) != 0;
  };
  std::vector<MergedMarker> lines;
  // Bad intervals follow the other markers of their first frame.
  std::vector<MergedMarker> badIntervals;
  struct Run {
    const char* description;
    bool open = false;
    uint64_t from = 0;
  };
  Run eegRun{"EEG not recorded"}, gazeRun{"gaze not recorded"};
  auto track = [&badIntervals](Run& run, bool filled, uint64_t frame) {
    if (filled && !run.open) {
      run.open = true;
      run.from = frame;
    } else if (!filled && run.open) {
      run.open = false;
      badIntervals.push_back({"Bad Interval", run.description, run.from, frame - run.from, "0", ""});
    }
  };
  size_t eegGap = 0;
  // The bad intervals of output frame i, once both streams have sampled it.
  auto account = [&](uint64_t i) {
    uint64_t first = 0, last = 0;
    eegSampler.Neighbours(i, first, last);
    while (eegGap < eegGaps.size() && eegGaps[eegGap].second <= first) ++eegGap;
    track(eegRun, eegGap < eegGaps.size() && eegGaps[eegGap].first <= last, i);
    gazeSampler.Neighbours(i, first, last);
    track(gazeRun, !gazeRecorded(first) || !gazeRecorded(last), i);
  };
  // The EEG is read front to back (a fraction jump moves back by less than a frame): what lies
  // a block behind frame i is done with, and its memory goes back to the system as the run goes.
  auto release = [&](uint64_t i) {
    uint64_t first = 0, last = 0;
    eegSampler.Neighbours(i, first, last);
    if (first > kBlockFrames) eeg->ReleaseBefore(eegSampler.SourceFrameAt(first - kBlockFrames) * eegChannels);
  };
  uint64_t i = 0;
  bool exhausted = false;
  if (jumps.empty()) {
    // The two streams fill their parts of each block on the two cores: the EEG here, the gaze on
    // a second thread; the frames both could sample are the block's.
    T* gazeCursor = nullptr;
    FrameSampler<double, T> gazeAlone = gazeSampler;
    gazeAlone.SetCursor(&gazeCursor);
    gazeAlone.SetStride(total);
    eegSampler.SetStride(total);
    Varnix::BackgroundJob gazeJob;
    while (i < n && !exhausted) {
      T* const block = writer.Buffer();
      const uint64_t wanted = std::min<uint64_t>(kBlockFrames, n - i);
      const uint64_t from = i;
      uint64_t gazeDone = 0;
      gazeJob.Start([&gazeAlone, &gazeCursor, &gazeDone, block, eegChannels, from, wanted] {
        gazeCursor = block + eegChannels;
        while (gazeDone < wanted && gazeAlone.Sample(from + gazeDone)) ++gazeDone;
      });
      cursor = block;
      uint64_t eegDone = 0;
      while (eegDone < wanted && eegSampler.Sample(from + eegDone)) ++eegDone;
      gazeJob.Wait();
      const uint64_t done = std::min(eegDone, gazeDone);
      exhausted = done < wanted;
      for (; i < from + done; ++i) account(i);
      if (!writer.Append(done * total)) return Error("Brainamp::SynchronizeVarnix::File::Write", dataFile);
      release(i);
    }
  } else {
    size_t jump = 0;
    while (i < n && !exhausted) {
      cursor = writer.Buffer();
      uint64_t inBlock = 0;
      for (; inBlock < kBlockFrames && i < n; ++inBlock, ++i) {
        for (; jump < jumps.size() && jumps[jump].first <= i; ++jump) {
          if (!towardEeg) {
            eegFraction += jumps[jump].second;
            eegSampler.SetStartFraction(eegFraction);
            eegPieces.push_back({i, eegFraction});
          } else {
            gazeFraction += jumps[jump].second;
            gazeSampler.SetStartFraction(gazeFraction);
          }
        }
        if (!eegSampler.Sample(i) || !gazeSampler.Sample(i)) {
          exhausted = true;
          break;
        }
        account(i);
      }
      if (!writer.Append(inBlock * total)) {
        return Error("Brainamp::SynchronizeVarnix::File::Write", dataFile);
      }
      release(i);
    }
  }
  if (!writer.Commit()) return Error("Brainamp::SynchronizeVarnix::File::Write", dataFile);
  n = i;
  track(eegRun, false, n);
  track(gazeRun, false, n);
  info.outputSamples = static_cast<uint32_t>(n);
  info.outputChannels = total;
  info.outputRate = outputRate;

  // This set's gaze markers, moved onto the output time base: its MAT export reads them.
  std::vector<CMarker>& markers = info.gazeMarkers;
  markers = std::move(gazeMarkers);
  const double r0 = matching.clockFitted || markers.empty() ? gazeOrigin : markers.front().position;
  if (matching.overflow.overflowStart >= 0 && matching.overflow.overflowEnd > 0) {
    // The first trigger after the overflow (at overflowEnd) exists in both streams and stays.
    const uint32_t from = static_cast<uint32_t>(matching.overflow.overflowStart);
    const uint32_t to = static_cast<uint32_t>(matching.overflow.overflowEnd);
    const uint64_t before = markers.size();
    std::erase_if(markers, [&](const CMarker& m) { return m.position >= from && m.position < to; });
    std::printf("Total EEG bufferoverflow events removed: %llu\n",
                static_cast<unsigned long long>(before - markers.size()));
  }
  // The EEG's markers: which ones a written tracker trigger already stands for, and which ones
  // were matched at all.
  std::vector<uint8_t> eegWritten(myVmrk.markers.size(), 0);
  std::vector<uint8_t> eegMatched(myVmrk.markers.size(), 0);
  for (const MatchedPair& pair : matching.pairs) {
    if (pair.second < eegMatched.size()) eegMatched[pair.second] = 1;
  }
  char description[16];
  auto stimulus = [&description](uint16_t code) {
    std::snprintf(description, sizeof description, "S%3u", static_cast<unsigned>(code));
    return std::string(description);
  };
  uint64_t kept = 0;
  for (uint64_t m = 0; m < markers.size(); ++m) {
    const uint32_t span = markers[m].size;
    double position = static_cast<double>(markers[m].position) - r0;
    if (towardEeg) {
      position = RoundHalfAway(position / gazeStep);
      markers[m].size = static_cast<uint32_t>(RoundHalfAway(markers[m].size / gazeStep));
    }
    if (matching.clockFitted) {
      if (towardEeg) {
        // The instant of the marker on the EEG's frames: a trigger's own time is finer than the
        // tracker's grid (the registration delay taken off), an event lies at its sample.
        const bool trigger = markers[m].event == nullptr && markers[m].time > 0.0;
        const double t = trigger ? markers[m].time - matching.clock.trackerDelayMs : asc.SampleTime(markers[m].position);
        position = RoundHalfAway(eegAt(t) - static_cast<double>(eegStart));
      }
      // The window's first trigger opens it: a registration a sample late on either side must
      // not push it out.
      if (m == 0 && position < 0.0 && position >= -1.0) position = 0.0;
      // The markers run in time order, but a marker outside the window is dropped on its own.
      if (position < 0 || position >= static_cast<double>(n)) continue;
    } else if (position < 0 || position >= static_cast<double>(n)) {
      break;
    }
    markers[m].position = static_cast<uint32_t>(position);
    markers[kept++] = markers[m];
    const CMarker& written = markers[m];
    if (written.event != nullptr) {
      // An event's size counts the samples after its first; its duration holds them all.
      uint64_t length = 1;
      if (!params.singleSampleMarkers) {
        const double whole = static_cast<double>(span) + 1.0;
        length = static_cast<uint64_t>(std::max(1.0, RoundHalfAway(towardEeg ? whole / gazeStep : whole)));
      }
      lines.push_back({"Stimulus", stimulus(written.code), written.position, length, "0", ""});
      continue;
    }
    const auto partner = partners.find({written.extra, written.time});
    if (partner != partners.end() && partner->second < eegWritten.size()) {
      // Toward the EEG a matched trigger sits where the EEG registered it: written from the
      // EEG's list below. Toward the gaze it sits at the tracker's sample, once.
      if (towardEeg) continue;
      eegWritten[partner->second] = 1;
    }
    lines.push_back({"Stimulus", stimulus(written.code), written.position, 1, "0", ""});
  }
  markers.resize(kept);

  // Every EEG marker inside the window, placed on the output frame whose EEG sample is nearest.
  auto eegOutputFrame = [&](double y) {
    for (size_t p = eegPieces.size(); p-- > 0;) {
      const double frame = (y - static_cast<double>(eegStart) - eegPieces[p].second) / eegStep;
      if (p == 0 || frame >= static_cast<double>(eegPieces[p].first) - 0.5) return RoundHalfAway(frame);
    }
    return -1.0;
  };
  for (uint64_t j = 0; j < myVmrk.markers.size(); ++j) {
    const CMarker& marker = myVmrk.markers[j];
    if (marker.type == NewSegment || eegWritten[j]) continue;
    // Two stimuli one sample apart share the earlier position for the matching; the later one was
    // recorded a sample after it.
    const bool moved = j > 0 && myVmrk.markers[j - 1].flag == 1 && myVmrk.markers[j - 1].type == Stimulus &&
                       myVmrk.markers[j - 1].position == marker.position && IsTriggerMarker(marker) &&
                       myVmrk.markers[j - 1].code < SEGMENT_CODE;
    const double frame = eegOutputFrame(static_cast<double>(marker.position) + (moved ? 1.0 : 0.0));
    if (!(frame >= 0.0) || frame >= static_cast<double>(n)) continue;
    const uint64_t at = static_cast<uint64_t>(frame);
    MergedMarker line = RecordedLine(marker.text, at);
    if (IsTriggerMarker(marker) && !eegMatched[j]) {
      // The tracker never saw it: kept as the EEG wrote it, and said so beside it.
      lines.push_back(line);
      lines.push_back({"Comment", "unmatched EEG trigger " + line.description, at, 1, "0", ""});
      continue;
    }
    lines.push_back(std::move(line));
  }
  for (const CMarker& marker : myVmrk.otherMarkers) {
    const double frame = eegOutputFrame(static_cast<double>(myVmrk.GapFilledPosition(marker.position)));
    if (!(frame >= 0.0) || frame >= static_cast<double>(n)) continue;
    lines.push_back(RecordedLine(marker.text, static_cast<uint64_t>(frame)));
  }
  lines.insert(lines.end(), badIntervals.begin(), badIntervals.end());
  // A marker ends with the merged recording at the latest.
  for (MergedMarker& line : lines) line.length = std::min(line.length, std::max<uint64_t>(1, n - line.position));
  std::stable_sort(lines.begin(), lines.end(),
                   [](const MergedMarker& a, const MergedMarker& b) { return a.position < b.position; });
  const std::string firstDate =
      myVmrk.segments.empty() ? std::string()
                              : BrainampVmrk::DateAfter(myVmrk.segments.front()->dateText, firstEegFrame * myVhdr.samplingInterval);

  if (!myVhdr.SaveVarnix(HeaderFileName(params), outputName, asc.ChannelNames(), outputRate,
                         static_cast<int32_t>(n))) {
    return Error("Brainamp::SynchronizeVarnix::myVhdr.SaveVarnix", "", "brainamp", 254);
  }
  if (!BrainampVmrk::SaveVarnix(MarkerFileName(params), outputName, lines, firstDate)) {
    return Error("Brainamp::SynchronizeVarnix::myVmrk.SaveVarnix", "", "brainamp", 258);
  }
  info.eventFileName = ReplaceExtension(outputName, "asc.eeg") + ".event.txt";
  if (!asc.WriteEventFile(info.eventFileName, markers)) {
    return Error("Brainamp::SynchronizeVarnix::WriteEventFile", info.eventFileName);
  }

  info.gazeStart = static_cast<int32_t>(gazeStart);
  info.towardGaze = towardEeg ? 0 : 1;
  info.outputRateInteger = static_cast<int32_t>(outputRate);
  info.eegRate = static_cast<int32_t>(eegRate);
  info.gazeRate = static_cast<int32_t>(gazeRate);
  info.rateRatio = matching.rateRatio;
  info.eegChannels = eegChannels;
  info.gazeChannels = gazeChannels;
  info.eegWindowSamples = static_cast<int32_t>(eegCount);
  info.gazeWindowSamples = static_cast<int32_t>(gazeCount);
  info.segments = static_cast<uint32_t>(myVmrk.segments.size());
  info.pairs = static_cast<int32_t>(matching.pairs.size());
  info.mergedTriggers = static_cast<int32_t>(myVmrk.mergedCount);
  if (!matching.codes.empty()) {
    info.firstCode = matching.codes.front();
    info.lastCode = matching.codes.back();
  }
  TriggerMatching::Summarize(matching, info.summary, params.cacheWanted);
  return true;
}

template <typename T>
bool Brainamp::MergeStreams(SynchroParams& params, const std::string& outputName,
                            const AscRawData& asc, const MatchingResult& matching,
                            const std::vector<CMarker>& eyeTriggers,
                            const std::vector<CMarker>& eyeEvents,
                            std::chrono::steady_clock::time_point start,
                            const SetWritten& afterEachSet, SyncRecord* record) {
  auto* eeg = dynamic_cast<BrainampEEG<T>*>(myEEG.get());
  if (eeg == nullptr) return Error("Brainamp::Synchronize no EEG samples of this type", "");
  // The lost stretches are not put between the recorded values: the sampler reads around them.
  if (myVmrk.segments.size() >= 2 && myVhdr.nbChannels != 0 &&
      !CheckSegmentGaps(myVmrk.segments, eeg->NbValues() / myVhdr.nbChannels)) {
    return Error("Brainamp::Synchronize::InsertSegmentGaps", "");
  }
  if (myVmrk.segments.size() >= 2 && myVhdr.nbChannels != 0) PrintSegmentTable(myVmrk.segments);
  std::vector<CMarker> gazeMarkers;
  uint64_t gazeStart = 0, gazeCount = 0, eegStart = 0, eegCount = 0;
  if (!SelectSyncWindow(matching, eyeTriggers, eyeEvents, myVmrk.markers, gazeMarkers, gazeStart,
                        gazeCount, eegStart, eegCount)) {
    return Error("Brainamp::Synchronize::SelectSyncWindow", "");
  }
  params.quality.matchingTime = SecondsSince(start);
  TriggerPartners partners;
  for (const MatchedPair& pair : matching.pairs) {
    if (pair.first < eyeTriggers.size()) {
      partners[{eyeTriggers[pair.first].extra, eyeTriggers[pair.first].time}] = pair.second;
    }
  }
  {
    // The merged markers and the event list give the codes from 1000 on to the eye events: a
    // trigger there reads as an event to anyone who does not look twice.
    std::set<uint16_t> clashing;
    for (const CMarker& m : myVmrk.markers) {
      if (IsTriggerMarker(m) && m.code >= EventTypes::kFirst && m.code <= EventTypes::kLast) clashing.insert(m.code);
    }
    for (const CMarker& m : eyeTriggers) {
      if (m.code >= EventTypes::kFirst && m.code <= EventTypes::kLast) clashing.insert(m.code);
    }
    if (!clashing.empty()) {
      std::string codes;
      for (const uint16_t code : clashing) codes += (codes.empty() ? "" : ", ") + std::to_string(code);
      Warning("Brainamp::Synchronize : trigger code(s) " + codes + " lie in the range of the eye events (" +
                  std::to_string(EventTypes::kFirst) + " to " + std::to_string(EventTypes::kLast) +
                  "); in the merged markers they read like eye events",
              "");
    }
  }
  {
    // What the window leaves out of each recording, so that nobody looks for it in the merge.
    const double eegRate = 1e6 / myVhdr.samplingInterval;
    const double gazeRate = 1000.0 / asc.SamplePeriod();
    const uint64_t eegFrames =
        myVhdr.nbChannels ? LineFrames(GapsOf(myVmrk.segments), eeg->NbValues() / myVhdr.nbChannels) : 0;
    const double eegAfter = static_cast<double>(eegFrames - std::min(eegFrames, eegStart + eegCount));
    // The tracker recorded from its first block's start to its last block's end, not over the
    // whole grid, which begins at the file's first timestamp.
    const uint64_t recordedFrom = asc.Records().empty() ? 0 : asc.Records().front()->start;
    const uint64_t recordedTo = asc.Records().empty() ? asc.NbSamples() : asc.Records().back()->end + uint64_t{1};
    const double gazeBefore = static_cast<double>(gazeStart - std::min(gazeStart, recordedFrom));
    const double gazeAfter = static_cast<double>(recordedTo - std::min(recordedTo, gazeStart + gazeCount));
    std::printf("Outside the window (first to last matched trigger): EEG %.1f s before, %.1f s after; "
                "eye tracker %.1f s before, %.1f s after\n\n",
                static_cast<double>(eegStart) / eegRate, eegAfter / eegRate,
                gazeBefore / gazeRate, gazeAfter / gazeRate);
    std::fflush(stdout);
  }

  // The drift-corrected set, then with -N the one without drift, each followed by what the caller
  // does with a whole set.
  for (const bool drift : {true, false}) {
    if (!drift && !params.alsoWithoutDrift) break;
    const auto setStart = std::chrono::steady_clock::now();
    const std::string name = drift ? outputName : NoDriftName(outputName);
    SyncInfo info;
    if (!SynchronizeVarnix<T>(params, matching, gazeStart, gazeCount, eegStart, eegCount, name,
                              asc, gazeMarkers, partners, eeg->valNaN, drift, info)) {
      return false;
    }
    if (record) record->sets.push_back(info);
    if (afterEachSet && !afterEachSet(info, name)) {
      return Error("Brainamp::SynchronizeVarnix::SaveMatFile", name);
    }
    params.quality.syncOutputTime = SecondsSince(setStart);
  }
  return true;
}

std::string Brainamp::NoDriftName(const std::string& outputName) {
  // Only the base name's prefix changes: a directory called synchro_... stays where it is.
  const uint64_t separator = outputName.find_last_of("/\\");
  const uint64_t base = separator == std::string::npos ? 0 : separator + 1;
  const uint64_t at = outputName.find("synchro_", base);
  if (at == std::string::npos) return outputName;
  std::string name = outputName;
  name.replace(at, 8, "synchrono_");
  return name;
}

template bool Brainamp::InsertSegmentGaps<int16_t>(const std::vector<CMarker*>&,
                                                   BrainampEEG<int16_t>::SampleVector&, uint16_t,
                                                   int16_t);
template bool Brainamp::InsertSegmentGaps<float>(const std::vector<CMarker*>&,
                                                 BrainampEEG<float>::SampleVector&, uint16_t, float);
template bool Brainamp::InsertSegmentGaps<double>(const std::vector<CMarker*>&,
                                                  BrainampEEG<double>::SampleVector&, uint16_t,
                                                  double);
#define TOLMERA_MERGE_INSTANCES(T)                                                                  \
  template bool Brainamp::SynchronizeVarnix<T>(SynchroParams&, const MatchingResult&, uint64_t,   \
                                               uint64_t, uint64_t, uint64_t, const std::string&,  \
                                               const AscRawData&, std::vector<CMarker>,            \
                                               const TriggerPartners&, T, bool,                     \
                                               SyncInfo&);                                          \
  template bool Brainamp::MergeStreams<T>(SynchroParams&, const std::string&, const AscRawData&,  \
                                          const MatchingResult&, const std::vector<CMarker>&,      \
                                          const std::vector<CMarker>&,                              \
                                          std::chrono::steady_clock::time_point, const SetWritten&,   \
                                          SyncRecord*);
TOLMERA_MERGE_INSTANCES(int16_t)
TOLMERA_MERGE_INSTANCES(float)
TOLMERA_MERGE_INSTANCES(double)
