#include "varnixlib/asc/ctransition.h"

#include "varnixlib/asc/displayable.h"
#include "varnixlib/mat/mateventlist.h"

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

bool CTransition::AddMatFields(MatComponents& c, const std::vector<const CTransition*>& items) {
  using L = MatEventList;
  bool ok = L::AddTextColumn(c, "name", items, [](const CTransition& t) { return t.name; });
  ok = c.AddVector("typeAsked", L::Row<uint32_t>(items, [](const CTransition& t) { return t.typeAsked; })) && ok;
  ok = c.AddVector("timeout", L::Row<uint32_t>(items, [](const CTransition& t) { return t.timeout; })) && ok;
  ok = c.AddVector("nbEvents", L::Row<uint16_t>(items, [](const CTransition& t) { return t.nbEvents; })) && ok;
  ok = c.AddVector("stopAttribute", L::Row<uint16_t>(items, [](const CTransition& t) { return t.stopAttribute; })) && ok;
  ok = c.AddVector("posX", L::Row<uint16_t>(items, [](const CTransition& t) { return t.posX; })) && ok;
  ok = c.AddVector("posY", L::Row<uint16_t>(items, [](const CTransition& t) { return t.posY; })) && ok;
  return ok;
}
