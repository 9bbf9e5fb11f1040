#pragma once

#include <string>
#include <vector>

#include "varnixlib/asc/ctransitionnum.h"

class Displayable;

/// The transition that ended a displayed item; its type is the kind that happened, at the item's end.
class CTransition : public CTransitionNum {
 public:
  CTransition() = default;
  explicit CTransition(const Displayable& displayable);


  std::string name;
};
