#include "groundtruth.h"

#include <cmath>
#include <cstdio>

#include "bufferedfile.h"
#include "truthsignals.h"

namespace {

const char* KindName(SegmentKind kind) {
  switch (kind) {
    case SegmentKind::Start: return "start";
    case SegmentKind::Pause: return "pause";
    case SegmentKind::Overflow: return "overflow";
  }
  return "?";
}

const char* OutlierName(Outlier outlier) {
  switch (outlier) {
    case Outlier::None: return "none";
    case Outlier::EegMissed: return "eeg_missed";
    case Outlier::TrackerMissed: return "et_missed";
    case Outlier::EegDouble: return "eeg_double";
    case Outlier::TrackerDouble: return "et_double";
  }
  return "?";
}

std::string Number(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace

bool GroundTruth::Write(const std::string& path, const std::vector<std::string>& channelNames) const {
  const SimOptions& o = myPlan.Options();
  std::string s;
  auto line = [&s](const std::string& text) { s += text + "\n"; };
  line("# tolmera-sim ground truth, format 1");
  line("[recording]");
  line("seed=" + std::to_string(o.seed));
  line("name=" + o.name);
  line("eeg_channels=" + std::to_string(o.channels));
  line("eeg_clock_channel=" + std::to_string(channelNames.size()) + "," + channelNames.back());
  line("eeg_rate_hz=" + Number(o.eegRateHz, 6));
  line(std::string("eeg_sample_type=") +
       (o.sampleType == SampleType::Int16 ? "int16" : o.sampleType == SampleType::Float32 ? "float32" : "float64"));
  line("eeg_recorded_samples=" + std::to_string(myPlan.Layout().RecordedSamples()));
  line("eeg_gapfilled_samples=" + std::to_string(myPlan.Layout().TotalSamples()));
  line("gaze_rate_hz=" + std::to_string(o.gazeRateHz));
  line(std::string("eyes=") + (o.eyes == EyeSetup::Both ? "both" : o.eyes == EyeSetup::Left ? "left" : "right"));
  line(std::string("velocity=") + (o.velocity ? "1" : "0"));
  line("tracker_start_ms=" + std::to_string(myPlan.TrackerStartMs()));
  for (const RecordingBlock& b : myPlan.Blocks())
    line("block=" + std::to_string(myPlan.SampleTimestamp(b.firstSample)) + "," +
         std::to_string(myPlan.SampleTimestamp(b.EndSample() - 1)) + "," + std::to_string(b.sampleCount));
  line("[clock]");
  line("model=eeg_position(t) = (t - eeg_start_ms) * eeg_rate_hz * (1 + drift_ppm * 1e-6) / 1000; "
       "tracker timestamp = t; both register an edge at their first tick at or after it");
  line("eeg_start_ms=" + Number(myPlan.EegStartMs(), 6));
  line("drift_ppm=" + Number(o.driftPpm, 6));
  // A late EEG start moves the EEG's first sample; the offset then says where it went.
  line("offset_ms=" + Number(o.eegStartLate > 0 ? myPlan.EegStartMs() - static_cast<double>(myPlan.TrackerStartMs())
                                                 : o.offsetMs, 6));
  line("eeg_samples_per_ms=" + Number(o.eegRateHz * (1.0 + o.driftPpm * 1e-6) / 1000.0, 12));
  line("clock_channel=value_uV = t mod " + Number(TruthSignals::kCycleMs, 0) + " (t in ms)");
  line("gaze_x=left 100 + (t mod 1600) / 2, right 120 + (t mod 1600) / 2 (pixels)");
  if (o.trackerGrid) line("tracker_registration=sample_grid");
  if (o.halfMsTimestamps) line("sample_timestamps=half_ms");
  const bool messages = myMessages.Active();
  if (messages) {
    line("message_keyword=" + o.messageKeyword);
    line("message_delay_ms=" + Number(o.messageDelayMs, 6));
    line("message_jitter_ms=" + Number(o.messageJitterMs, 6));
    line(std::string("message_offset_field=") + (o.messageOffset ? "1" : "0"));
    line(std::string("tracker_input_lines=") + (o.trackerInputs ? "1" : "0"));
  }
  // Columns of the imperfection knobs only when they are on, so a default truth file stays as it was.
  const bool dateErrors = o.dateErrorMs > 0.0;
  const bool faults = myPlan.HasTriggerFaults();
  line("[segments]");
  line(std::string("index,kind,vmrk_position,gapfilled_position,recorded_samples,lost_before,date") +
       (dateErrors ? ",date_error_us,true_date" : ""));
  const std::vector<EegSegment>& segments = myPlan.Layout().Segments();
  for (size_t i = 0; i < segments.size(); ++i) {
    const EegSegment& g = segments[i];
    line(std::to_string(i + 1) + "," + KindName(g.kind) + "," + std::to_string(g.fileStart + 1) + "," +
         std::to_string(g.gapFilledStart + 1) + "," + std::to_string(g.recorded) + "," + std::to_string(g.lostBefore) +
         "," + g.date + (dateErrors ? "," + std::to_string(g.dateErrorUs) + "," + g.trueDate : ""));
  }
  line("[triggers]");
  line(std::string("index,code,true_ms,et_timestamp,eeg_vmrk_position,eeg_gapfilled_position,eeg_lost,adjacent,coincident") +
       (faults ? ",eeg_recorded,et_recorded,outlier,double_true_ms,double_position" : "") +
       (messages ? ",msg_arrival_ms,msg_timestamp,msg_offset" : "") +
       (messages && faults ? ",msg_double_timestamp,msg_double_offset" : ""));
  const std::vector<TriggerTruth>& triggers = myPlan.Triggers();
  for (size_t i = 0; i < triggers.size(); ++i) {
    const TriggerTruth& t = triggers[i];
    std::string row = std::to_string(i + 1) + "," + std::to_string(t.code) + "," + Number(t.trueMs, 6) + "," +
                      std::to_string(t.trackerTimestamp) + "," + std::to_string(t.InEeg() ? t.eegFile + 1 : 0) + "," +
                      std::to_string(t.eegGapFilled + 1) + "," + (t.EegLost() ? "1" : "0") + "," +
                      (t.adjacent ? "1" : "0") + "," + (t.coincident ? "1" : "0");
    if (faults) {
      const bool isDouble = t.outlier == Outlier::EegDouble || t.outlier == Outlier::TrackerDouble;
      const int64_t doublePosition = t.outlier == Outlier::EegDouble ? t.doubleEegFile + 1
                                     : t.outlier == Outlier::TrackerDouble ? t.doubleTimestamp : 0;
      row += std::string(",") + (t.InEeg() ? "1" : "0") + "," + (t.InTracker() ? "1" : "0") + "," +
             OutlierName(t.outlier) + "," + (isDouble ? Number(t.doubleMs, 6) : "0") + "," +
             std::to_string(doublePosition);
    }
    if (messages) {
      const TriggerMessages& m = myMessages.Triggers()[i];
      row += "," + Number(m.message.arrivalMs, 6) + "," + std::to_string(m.message.stamp) + "," +
             std::to_string(m.message.offset);
      if (faults) {
        const bool doubled = t.outlier == Outlier::TrackerDouble;
        row += "," + std::to_string(doubled ? m.doubled.stamp : 0) + "," + std::to_string(doubled ? m.doubled.offset : 0);
      }
    }
    line(row);
  }
  if (!myMessages.Noise().empty()) {
    line("[message_noise]");
    line("index,arrival_ms,timestamp,offset,value");
    for (size_t i = 0; i < myMessages.Noise().size(); ++i) {
      const NoiseMessage& n = myMessages.Noise()[i];
      line(std::to_string(i + 1) + "," + Number(n.at.arrivalMs, 6) + "," + std::to_string(n.at.stamp) + "," +
           std::to_string(n.at.offset) + "," + n.value);
    }
  }
  BufferedFile out;
  if (!out.Open(path)) return false;
  out.Append(s);
  return out.Close();
}

bool GroundTruth::WriteTtl(const std::string& path) const {
  BufferedFile out;
  if (!out.Open(path)) return false;
  const std::vector<TriggerTruth>& triggers = myPlan.Triggers();
  for (const TriggerTruth& t : triggers) {
    const double us = (t.trueMs - triggers.front().trueMs) * 1000.0;
    out.AppendUnsigned(static_cast<uint64_t>(std::llround(us)));
    out.Append(' ');
    out.AppendUnsigned(t.code);
    out.Append('\n');
  }
  return out.Close();
}
