// The fields of the experiment-structure and eye-event lists in the MAT event-list form.
#include "varnixlib/asc/csequence.h"
#include "varnixlib/asc/ctransition.h"
#include "varnixlib/asc/displayable.h"
#include "varnixlib/asc/fixationsaccade.h"
#include "varnixlib/mat/mateventlist.h"
#include "varnixlib/mat/recordmat.h"

bool AddMatFields(MatComponents& c, const std::vector<const Displayable*>& items) {
  using L = MatEventList;
  bool ok = c.AddVector("frameDuration", L::Row<uint16_t>(items, [](const Displayable& d) { return d.frameDuration; }));
  ok = c.AddVector("frameNb", L::Row<uint16_t>(items, [](const Displayable& d) { return d.frameNb; })) && ok;
  ok = c.AddVector("framePlayed", L::Row<uint16_t>(items, [](const Displayable& d) { return d.framePlayed; })) && ok;
  ok = c.AddVector("frameFirst", L::Row<uint16_t>(items, [](const Displayable& d) { return d.frameFirst; })) && ok;
  ok = c.AddVector("leftRect", L::Row<uint16_t>(items, [](const Displayable& d) { return d.leftRect; })) && ok;
  ok = c.AddVector("topRect", L::Row<uint16_t>(items, [](const Displayable& d) { return d.topRect; })) && ok;
  ok = c.AddVector("rightRect", L::Row<uint16_t>(items, [](const Displayable& d) { return d.rightRect; })) && ok;
  ok = c.AddVector("bottomRect", L::Row<uint16_t>(items, [](const Displayable& d) { return d.bottomRect; })) && ok;
  ok = L::AddTextColumn(c, "name", items, [](const Displayable& d) { return d.name; }) && ok;
  ok = L::AddTextColumn(c, "relativePath", items, [](const Displayable& d) { return d.relativePath; }) && ok;
  return ok;
}

bool AddMatFields(MatComponents& c, const std::vector<const CSequence*>& items) {
  bool ok = c.AddVector("index", MatEventList::Row<uint16_t>(items, [](const CSequence& s) { return s.index; }));
  ok = MatEventList::AddTextColumn(c, "name", items, [](const CSequence& s) { return s.name; }) && ok;
  return ok;
}

bool AddMatFields(MatComponents& c, const std::vector<const CTransition*>& items) {
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

bool AddMatFields(MatComponents& c, const std::vector<const FixationSaccade*>& items) {
  std::vector<double> startPos, endPos;
  startPos.reserve(2 * items.size());
  endPos.reserve(2 * items.size());
  for (const FixationSaccade* f : items) {
    startPos.push_back(f->startX);
    startPos.push_back(f->startY);
    endPos.push_back(f->endX);
    endPos.push_back(f->endY);
  }
  using L = MatEventList;
  bool ok = c.AddMatrix("startPos", items.size(), startPos);
  ok = c.AddMatrix("endPos", items.size(), endPos) && ok;
  ok = c.AddVector("averagePupilSizeFixation",
                   L::Row<double>(items, [](const FixationSaccade& f) { return f.averagePupilSizeFixation; })) && ok;
  ok = c.AddVector("amplitudeSaccade",
                   L::Row<double>(items, [](const FixationSaccade& f) { return f.amplitudeSaccade; })) && ok;
  ok = c.AddVector("peakVelocitySaccade",
                   L::Row<double>(items, [](const FixationSaccade& f) { return f.peakVelocitySaccade; })) && ok;
  return ok;
}
