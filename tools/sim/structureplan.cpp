#include "structureplan.h"

#include <algorithm>
#include <cmath>

#include "simrandom.h"

namespace {

constexpr uint64_t kStreamStructure = 4;
constexpr int64_t kVideoFrameMs = 40;

const char* const kTexts[] = {"Press the space bar", "Look at the cross", "Which face did you see",
                              "Rest for a moment please"};

std::string TwoDigits(int n) {
  std::string s = std::to_string(n % 100);
  return s.size() < 2 ? "0" + s : s;
}

}  // namespace

void StructurePlan::Build(const ExperimentPlan& plan) {
  myMessages.clear();
  const SimOptions& o = plan.Options();
  if (!o.structure) return;
  SimRandom rng = SimRandom(o.seed).Fork(kStreamStructure);
  auto add = [&](int64_t ts, std::string text) { myMessages.push_back({ts, std::move(text)}); };

  // Identity and screen, written by the program before it starts recording.
  const int64_t intro = plan.TrackerStartMs() - 2500;
  add(intro, "SOFTWARE NAME Tessark");
  add(intro, "SOFTWARE VERSION 2.4.1");
  add(intro, "SUBJECT NAME " + o.name);
  add(intro, "SUBJECT SESSION 1");
  add(intro, "EXPERIMENT NAME Simulated");
  add(intro + 1, "SCREEN WIDTH 1920");
  add(intro + 1, "SCREEN HEIGHT 1080");
  add(intro + 1, "SCREEN PHYS DIMX MM 531");
  add(intro + 1, "SCREEN PHYS DIMY MM 299");
  add(intro + 1, "SCREEN DISTANCE 650");
  add(intro + 1, "FRAMERATE 60 Hz");
  add(intro + 1, std::string("GUIDING EYE ") + (o.eyes == EyeSetup::Right ? "RIGHT" : "LEFT"));

  int sequence = 0;
  int item = 0;
  int trial = 0;
  for (size_t b = 0; b < plan.Blocks().size(); ++b) {
    const RecordingBlock& block = plan.Blocks()[b];
    const int64_t begin = static_cast<int64_t>(std::ceil(plan.SampleTime(block.firstSample))) + 100;
    const int64_t end = static_cast<int64_t>(std::floor(plan.SampleTime(block.EndSample() - 1))) - 100;
    const char* phase = b == 0 ? "LEARNING" : "TESTING";
    add(begin, std::string("BEGIN PHASE ") + phase);
    int64_t t = begin + 20;
    bool blockFull = false;
    while (!blockFull) {
      ++sequence;
      const std::string seqTokens = std::to_string(sequence) + " seq" + TwoDigits(sequence);
      std::vector<StructureMessage> pending;
      pending.push_back({t, "BEGIN SEQUENCE " + seqTokens});
      int64_t s = t + 10;
      int placed = 0;
      for (int n = 0; n < 3; ++n) {
        const int kind = item % 6;
        const int64_t length = kind == 2 ? 2000 + rng.Below(1000) : 800 + rng.Below(1200);
        if (s + length + 50 >= end) break;
        const std::string id = TwoDigits(item + 1);
        const int64_t stop = s + length;
        switch (kind) {
          case 0: {
            const char key = static_cast<char>('a' + rng.Below(26));
            pending.push_back({s, "BEGIN TRANSITION keyboard_transition press_key 3000 1 . IMAGE img" + id +
                                      " images/img" + id + ".bmp 1 0 448 28 1471 1051"});
            pending.push_back({stop, std::string("END TRANSITION KEYBOARD '") + key + "'"});
            break;
          }
          case 1: {
            const char* text = kTexts[rng.Below(4)];
            pending.push_back({s, "BEGIN TRANSITION time_transition wait_" + id + " " + std::to_string(length) +
                                      " 1 . TEXT " + text + " TEXT 1 0 160 440 1760 640"});
            pending.push_back({stop, "END TRANSITION TIMEOUT"});
            break;
          }
          case 2: {
            const int64_t frames = length / kVideoFrameMs;
            const char* kindText = (item / 6) % 2 == 0 ? "VIDEOWITHOUTSOUND" : "VIDEOWITHSOUND";
            pending.push_back({s, "BEGIN TRANSITION time_transition clip_end " + std::to_string(length) + " 1 . " +
                                      kindText + " clip" + id + " videos/clip" + id + ".avi " +
                                      std::to_string(frames) + " " + std::to_string(kVideoFrameMs * 1000) +
                                      " 320 180 1599 899"});
            for (int64_t f = 1; f <= frames; ++f)
              pending.push_back({s + (f - 1) * kVideoFrameMs, "BEGIN FRAME " + std::to_string(f)});
            pending.push_back({stop, "END TRANSITION TIMEOUT"});
            break;
          }
          case 3: {
            pending.push_back({s, "BEGIN TRANSITION mouse_transition click 5000 1 . IMAGE fixation_cross SPECIAL 1 0 0 0 "
                                  "1919 1079"});
            pending.push_back({stop, "END TRANSITION MOUSE L " + std::to_string(900 + rng.Below(120)) + " " +
                                         std::to_string(500 + rng.Below(80))});
            break;
          }
          case 4: {
            pending.push_back({s, "BEGIN TRANSITION gaze_transition look_target 2000 1 . IMAGE target"
                                  " images/target.bmp 1 0 860 440 1059 639"});
            pending.push_back({stop, "END TRANSITION GAZE FIX"});
            break;
          }
          default: {
            ++trial;
            const std::string face = "face" + TwoDigits(trial) + ".bmp";
            pending.push_back({s, "TRIALID " + std::to_string(trial)});
            pending.push_back({s + 1, "'Stimulus " + face + "'"});
            pending.push_back({s + 2, "Image_Start"});
            pending.push_back({stop, std::string("reponse ") + static_cast<char>('a' + rng.Below(26))});
            break;
          }
        }
        ++item;
        ++placed;
        s = stop + 30 + rng.Below(200);
      }
      if (placed == 0) {
        --sequence;
        break;
      }
      pending.push_back({s, "END SEQUENCE " + seqTokens});
      for (StructureMessage& m : pending) myMessages.push_back(std::move(m));
      t = s + 20;
      blockFull = t + 900 >= end;
    }
    add(std::max(end, t), std::string("END PHASE ") + phase);
  }
  std::stable_sort(myMessages.begin(), myMessages.end(),
                   [](const StructureMessage& a, const StructureMessage& b) { return a.timestamp < b.timestamp; });
}
