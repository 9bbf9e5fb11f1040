#pragma once
// Base of every timed object of the eye-tracker recording.

#include <cstdint>

class Event {
 public:
  Event() = default;
  Event(uint16_t type, uint32_t start, uint32_t end, uint32_t line)
      : type(type), start(start), end(end), line(line) {}
  virtual ~Event() = default;

  uint16_t type = 0;   ///< event-type code (1000..1024); for a Trigger, the trigger value
  uint32_t start = 0;  ///< sample index on the eye-tracker grid
  uint32_t end = 0;    ///< inclusive
  uint32_t line = 0;   ///< text line that created the object
};
