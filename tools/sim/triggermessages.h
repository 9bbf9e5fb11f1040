#pragma once
// The stimulus program's trigger messages: with each TTL code it sends the EEG, it sends the tracker
// "KEYWORD code" over the network, which timestamps it at arrival (the TTL's true time plus a delay
// and a latency jitter, rounded up to the millisecond). Optionally the line carries EyeLink's offset
// field, and stray keyword messages whose text is no code come in between.

#include <cstdint>
#include <string>
#include <vector>

#include "experimentplan.h"
#include "structureplan.h"

/// Where one message lands: the event time a reader takes from the line is stamp - offset.
struct MessageStamp {
  double arrivalMs = 0.0;  ///< true time of arrival
  int64_t stamp = 0;       ///< the timestamp printed after MSG
  int offset = 0;          ///< EyeLink's offset field; 0 when the line has none
  int64_t EventTime() const { return stamp - offset; }
};

struct TriggerMessages {
  MessageStamp message;     ///< for the trigger itself
  MessageStamp doubled;     ///< for a tracker double's second registration
};

struct NoiseMessage {
  MessageStamp at;
  std::string value;  ///< the text after the keyword: no code in 1..65535
};

/// One line to write, in the order EDF2ASC lists them.
struct MessageLine {
  int64_t stamp = 0;
  std::string text;  ///< everything after the timestamp
};

class TriggerMessagePlan {
 public:
  /// False with a reason when the structure's own messages would read as trigger codes.
  bool Build(const ExperimentPlan& plan, const StructurePlan& structure, std::string& error);

  bool Active() const { return !myKeyword.empty(); }
  /// One per trigger of the plan, in its order; filled for triggers the tracker did not record too,
  /// so a cut or an outlier does not move the others.
  const std::vector<TriggerMessages>& Triggers() const { return myTriggers; }
  const std::vector<NoiseMessage>& Noise() const { return myNoise; }
  /// Every message the tracker's file holds, sorted by stamp, ties in order of arrival.
  const std::vector<MessageLine>& Lines() const { return myLines; }

 private:
  std::string myKeyword;
  std::vector<TriggerMessages> myTriggers;
  std::vector<NoiseMessage> myNoise;
  std::vector<MessageLine> myLines;
};
