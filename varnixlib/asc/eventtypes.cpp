#include "varnixlib/asc/eventtypes.h"

#include <array>

namespace {

constexpr std::array<std::string_view, EventTypes::kLast - EventTypes::kFirst + 1> kNames = {
    "displayableSpecial", "displayableImage",   "displayableText",      "displayableVideoSound",
    "displayableVideoNoSound", "displayableFrame", "transitionTime",    "transitionMouse",
    "transitionKeyboard", "transitionGaze",     "transitionSSacc",      "transitionESacc",
    "transitionSFix",     "transitionEFix",     "transitionSpecial",    "flowSequence",
    "flowFixationLeft",   "flowFixationRight",  "flowSaccadeLeft",      "flowSaccadeRight",
    "flowBlinkLeft",      "flowBlinkRight",     "phaseLearning",        "phaseTesting",
    "recordStep"};

}  // namespace

std::string_view EventTypes::Name(uint32_t code) {
  if (code < kFirst || code > kLast) return {};
  return kNames[code - kFirst];
}
