#pragma once

#include <string>
#include <vector>

#include "varnixlib/asc/ctransitionnum.h"
#include "varnixlib/mat/matcomponents.h"

class Displayable;

/// The transition that ended a displayed item; its type is the kind that happened, at the item's end.
class CTransition : public CTransitionNum {
 public:
  CTransition() = default;
  explicit CTransition(const Displayable& displayable);

  /// The fields of the MAT list "Transitions" beside the common ones: name (N-by-W char),
  /// typeAsked and timeout (1-by-N uint32), nbEvents, stopAttribute, posX, posY (1-by-N uint16).
  static bool AddMatFields(MatComponents& components, const std::vector<const CTransition*>& items);

  std::string name;
};
