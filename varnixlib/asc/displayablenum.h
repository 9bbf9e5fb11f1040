#pragma once

#include "varnixlib/asc/event.h"
#include "varnixlib/asc/eventtypes.h"

/// The numeric part of a displayed item: frames, screen rectangle and the transition that ended it.
class DisplayableNum : public Event {
 public:
  DisplayableNum() = default;

  uint16_t frameNb = 0;        ///< frames of the item (videos)
  uint16_t framePlayed = 1;    ///< frames counted by the frame processing
  uint16_t frameFirst = 0;     ///< frames not placed at the first frame advance
  uint16_t frameDuration = 0;  ///< milliseconds per frame
  uint16_t leftRect = 0;
  uint16_t topRect = 0;
  uint16_t rightRect = 0;
  uint16_t bottomRect = 0;
  uint16_t typeAsked = EventTypes::transitionTime;     ///< the transition kind waited for
  uint16_t typeHappened = EventTypes::transitionTime;  ///< the transition kind that ended the item
  uint32_t timeout = 0;
  uint16_t nbEvents = 0;
  uint16_t stopAttribute = 0;  ///< key, mouse button or gaze attribute that ended the item
  uint16_t posX = 0;           ///< mouse position that ended the item
  uint16_t posY = 0;
};
