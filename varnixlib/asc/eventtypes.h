#pragma once
// The fixed table of eye-tracker event-type codes (1000 to 1024) and their names, shared by the
// parser, the event file and the MAT exports.

#include <cstdint>
#include <string_view>

class EventTypes {
 public:
  enum Code : uint16_t {
    displayableSpecial = 1000,
    displayableImage = 1001,
    displayableText = 1002,
    displayableVideoSound = 1003,
    displayableVideoNoSound = 1004,
    displayableFrame = 1005,
    transitionTime = 1006,
    transitionMouse = 1007,
    transitionKeyboard = 1008,
    transitionGaze = 1009,
    transitionSSacc = 1010,
    transitionESacc = 1011,
    transitionSFix = 1012,
    transitionEFix = 1013,
    transitionSpecial = 1014,
    flowSequence = 1015,
    flowFixationLeft = 1016,
    flowFixationRight = 1017,
    flowSaccadeLeft = 1018,
    flowSaccadeRight = 1019,
    flowBlinkLeft = 1020,
    flowBlinkRight = 1021,
    phaseLearning = 1022,
    phaseTesting = 1023,
    recordStep = 1024,
  };
  static constexpr uint16_t kFirst = displayableSpecial;
  static constexpr uint16_t kLast = recordStep;

  /// The name of a code of the table, empty for any other code.
  static std::string_view Name(uint32_t code);
};
