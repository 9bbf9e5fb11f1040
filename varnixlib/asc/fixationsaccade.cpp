#include "varnixlib/asc/fixationsaccade.h"

#include "varnixlib/mat/mateventlist.h"

bool FixationSaccade::AddMatFields(MatComponents& c, const std::vector<const FixationSaccade*>& items) {
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
