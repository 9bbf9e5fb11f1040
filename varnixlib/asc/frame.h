#pragma once

#include "varnixlib/asc/event.h"
#include "varnixlib/asc/eventtypes.h"

/// One played video frame, at the sample where it appeared.
class Frame : public Event {
 public:
  Frame() : Event(EventTypes::displayableFrame, 0, 0, 0) {}
  explicit Frame(uint32_t sample, uint32_t line = 0)
      : Event(EventTypes::displayableFrame, sample, sample, line) {}
};
