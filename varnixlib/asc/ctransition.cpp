#include "varnixlib/asc/ctransition.h"

#include "varnixlib/asc/displayable.h"

CTransition::CTransition(const Displayable& d) {
  type = d.typeHappened;
  start = end = d.end;
  line = d.line;
  typeAsked = d.typeAsked;
  timeout = d.timeout;
  nbEvents = d.nbEvents;
  stopAttribute = d.stopAttribute;
  posX = d.posX;
  posY = d.posY;
  name = d.transitionName;
}

