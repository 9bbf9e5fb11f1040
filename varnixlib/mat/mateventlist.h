#pragma once
// The common MAT form of an event list: one entry per event, from a code, a 0-based position, a
// length in samples and a 0-based text line index. The 1-based times and line numbers are worked
// out here, at export, so the events themselves keep their 0-based indices for the stages that run
// after the export.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "varnixlib/mat/matcomponents.h"

class Event;

class MatEventList {
 public:
  /// One entry: value = code, time = (position + 1, position + length + 1), fseek = line + 1 (the
  /// 0-based line index as a 1-based line number).
  void Add(uint16_t code, uint32_t position, uint32_t length, uint32_t line);
  /// An entry for the event as it lies on its own grid.
  void Add(const Event& event);
  void Reserve(size_t count);

  size_t Size() const { return myValues.size(); }
  bool Empty() const { return myValues.empty(); }

  /// Adds `value` (1-by-N uint16), `time` (2-by-N uint32) and `fseek` (1-by-N uint32).
  bool AddCommonFields(MatComponents& components) const;

  /// The list as a structure of that name: the common fields, then those extra adds (the fields
  /// of the listed objects' class). Empty (reported) when a field could not be made.
  MatVariable MakeStructure(const std::string& name,
                            const std::function<bool(MatComponents&)>& extra = {}) const;

  /// The 1-by-N row of one numeric member of the listed objects, as type T.
  template <typename T, typename Item, typename Getter>
  static std::vector<T> Row(const std::vector<const Item*>& items, Getter get) {
    std::vector<T> row;
    row.reserve(items.size());
    for (const Item* item : items) row.push_back(static_cast<T>(get(*item)));
    return row;
  }
  /// The N-by-W char matrix of one text member, W the longest text, rows padded with zero bytes.
  template <typename Item, typename Getter>
  static bool AddTextColumn(MatComponents& components, const std::string& name,
                            const std::vector<const Item*>& items, Getter get) {
    std::vector<std::string> texts;
    texts.reserve(items.size());
    size_t width = 0;
    for (const Item* item : items) {
      texts.push_back(get(*item));
      width = std::max(width, texts.back().size());
    }
    return components.AddTextRows(name, texts, width, texts.size());
  }

 private:
  std::vector<uint16_t> myValues;
  std::vector<uint32_t> myTimes;  ///< column-major 2-by-N: start, end of each entry
  std::vector<uint32_t> myLines;
};
