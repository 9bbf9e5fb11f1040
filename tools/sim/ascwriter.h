#pragma once
// Writes the eye tracker's recording as EDF2ASC exports it: the "**" preamble, calibration and
// display messages, START ... END blocks with their PRESCALER, EVENTS and SAMPLES lines, tab-separated
// sample lines, eye events, INPUT lines for the trigger port and the stimulus program's messages,
// its trigger messages among them.

#include <cstdint>
#include <string>
#include <vector>

#include "eyeeventplan.h"
#include "experimentplan.h"
#include "structureplan.h"
#include "triggermessages.h"

class BufferedFile;

class AscWriter {
 public:
  AscWriter(const ExperimentPlan& plan, const EyeEventPlan& eyeEvents, const StructurePlan& structure,
            const TriggerMessagePlan& triggerMessages)
      : myPlan(plan), myEyeEvents(eyeEvents), myStructure(structure), myTriggerMessages(triggerMessages) {}

  bool Write(const std::string& path);

 private:
  /// A non-sample line and where it goes: key = 4 * timestamp + place, place 0 before anything else of
  /// that millisecond (block headers), 1 before its samples (starts, inputs, messages), 3 after them
  /// (event ends, END). Lines of one key keep the order in which they were added.
  struct Line {
    int64_t key;
    std::string text;
  };

  void AddLine(int64_t timestamp, int place, std::string text);
  void CollectPreamble();
  void CollectBlocks();
  void CollectTriggers();
  void CollectEyeEvents();
  void CollectMessages();
  void CollectTriggerMessages();
  void WriteSamples(BufferedFile& out, const RecordingBlock& block, size_t& nextLine);
  void WriteLine(BufferedFile& out, const std::string& text);

  const ExperimentPlan& myPlan;
  const EyeEventPlan& myEyeEvents;
  const StructurePlan& myStructure;
  const TriggerMessagePlan& myTriggerMessages;
  std::vector<Line> myLines;
  const char* myEol = "\n";
};
