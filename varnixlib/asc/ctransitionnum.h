#pragma once

#include "varnixlib/asc/event.h"

/// The numeric part of the transition that ended a displayed item.
class CTransitionNum : public Event {
 public:
  CTransitionNum() = default;

  uint32_t typeAsked = 0;
  uint32_t timeout = 0;
  uint16_t nbEvents = 0;
  uint16_t stopAttribute = 0;
  uint16_t posX = 0;
  uint16_t posY = 0;
};
