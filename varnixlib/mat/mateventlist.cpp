#include "varnixlib/mat/mateventlist.h"

#include "varnixlib/asc/event.h"
#include "varnixlib/support/report.h"

void MatEventList::Add(uint16_t code, uint32_t position, uint32_t length, uint32_t line) {
  myValues.push_back(code);
  // Unsigned 32-bit arithmetic, as the time fields are stored.
  myTimes.push_back(position + 1u);
  myTimes.push_back(position + length + 1u);
  // The 1-based line number, as the times are 1-based: Data.fseek(fseek) in MATLAB is then the
  // byte offset of the event's own line.
  myLines.push_back(line + 1u);
}

void MatEventList::Add(const Event& event) {
  Add(event.type, event.start, event.end - event.start, event.line);
}

void MatEventList::Reserve(size_t count) {
  myValues.reserve(count);
  myTimes.reserve(2 * count);
  myLines.reserve(count);
}

bool MatEventList::AddCommonFields(MatComponents& components) const {
  bool ok = components.AddVector("value", myValues);
  ok = components.AddMatrix("time", myValues.size(), myTimes) && ok;
  ok = components.AddVector("fseek", myLines) && ok;
  return ok;
}

MatVariable MatEventList::MakeStructure(const std::string& name,
                                        const std::function<bool(MatComponents&)>& extra) const {
  MatComponents components;
  bool ok = AddCommonFields(components);
  if (extra) ok = extra(components) && ok;
  if (!ok) {
    Error("MatEventList::MakeStructure : field missing", name);
    return {};
  }
  return components.MakeStructure(name);
}
