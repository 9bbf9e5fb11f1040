#pragma once

#include "varnixlib/asc/event.h"
#include "varnixlib/asc/eventtypes.h"

/// One recording block, from its START line to its END line.
class Record : public Event {
 public:
  Record() : Event(EventTypes::recordStep, 0, 0, 0) {}
  Record(uint32_t start, uint32_t line) : Event(EventTypes::recordStep, start, start, line) {}
};
