#include "varnixlib/asc/displayable.h"

#include <array>
#include <utility>

#include "varnixlib/asc/asctokens.h"

namespace {

constexpr std::array<std::pair<std::string_view, uint16_t>, 9> kTransitionKinds = {{
    {"time_transition", EventTypes::transitionTime},
    {"mouse_transition", EventTypes::transitionMouse},
    {"keyboard_transition", EventTypes::transitionKeyboard},
    {"gaze_transition", EventTypes::transitionGaze},
    {"ssacc_transition", EventTypes::transitionSSacc},
    {"esacc_transition", EventTypes::transitionESacc},
    {"sfix_transition", EventTypes::transitionSFix},
    {"efix_transition", EventTypes::transitionEFix},
    {"special_transition", EventTypes::transitionSpecial},
}};

uint16_t U16(int64_t v) { return static_cast<uint16_t>(v); }

/// Mouse positions: a lone "." (no position) is 65535.
uint16_t PositionValue(std::string_view token) {
  return token.empty() || AscTokens::IsMissing(token) ? 65535 : U16(AscTokens::IntValue(token));
}

}  // namespace

Displayable::Displayable(const AscTokens& t, uint32_t m, uint32_t line) {
  start = end = m;
  this->line = line;
  for (const auto& [key, code] : kTransitionKinds) {
    if (AscTokens::Contains(t[4], key)) {
      typeAsked = typeHappened = code;
      break;
    }
  }
  transitionName = std::string(t[5]);
  timeout = static_cast<uint32_t>(AscTokens::IntOrMinusOne(t[6]));
  nbEvents = U16(AscTokens::IntOrMinusOne(t[7]));
  const std::string_view kind = t[9];
  if (AscTokens::Contains(kind, "VIDEOWITHSOUND")) {
    type = EventTypes::displayableVideoSound;
  } else if (AscTokens::Contains(kind, "VIDEOWITHOUTSOUND")) {
    type = EventTypes::displayableVideoNoSound;
  } else if (AscTokens::Contains(kind, "TEXT")) {
    type = EventTypes::displayableText;
  } else {
    type = EventTypes::displayableImage;
  }
  name = std::string(t[10]);
  relativePath = std::string(t[11]);
  if (t[11] == "SPECIAL") type = EventTypes::displayableSpecial;
  frameNb = U16(AscTokens::IntOrMinusOne(t[12]));
  frameDuration = U16(AscTokens::IntOrMinusOne(t[13]) / 1000);
  leftRect = U16(AscTokens::IntOrMinusOne(t[14]));
  topRect = U16(AscTokens::IntOrMinusOne(t[15]));
  rightRect = U16(AscTokens::IntOrMinusOne(t[16]));
  bottomRect = AscTokens::IsMissing(t[17]) ? 65535 : U16(AscTokens::IntValue(t[17]));
  framePlayed = 1;
  frameFirst = 0;
}

Displayable::Displayable(std::string_view stimulusName, uint32_t m, uint32_t line) {
  type = EventTypes::displayableImage;
  start = end = m;
  this->line = line;
  name = std::string(stimulusName);
  frameNb = 1;
  framePlayed = 1;
  frameFirst = 0;
  frameDuration = 0;
  leftRect = 0;
  topRect = 0;
  rightRect = 1023;
  bottomRect = 767;
  typeAsked = typeHappened = EventTypes::transitionKeyboard;
  timeout = 1000;
  nbEvents = 1;
}

void Displayable::End(uint32_t m, const AscTokens& t) {
  end = m;
  const std::string_view how = t[4];
  if (how == "TIMEOUT") {
    typeHappened = EventTypes::transitionTime;
  } else if (how == "KEYBOARD") {
    // A quoted key arrives as 'a'; a blank key as two tokens of one quote each.
    const std::string_view key = t[5];
    stopAttribute = key.size() >= 2 ? static_cast<unsigned char>(key[1]) : 32;
    typeHappened = EventTypes::transitionKeyboard;
  } else if (how == "MOUSE") {
    stopAttribute = t[5].empty() ? 0 : static_cast<unsigned char>(t[5][0]);
    posX = PositionValue(t[6]);
    posY = PositionValue(t[7]);
    typeHappened = EventTypes::transitionMouse;
  } else if (how == "GAZE") {
    stopAttribute = t[5].empty() ? 0 : static_cast<unsigned char>(t[5][0]);
    typeHappened = EventTypes::transitionGaze;
  }
}

void Displayable::Response(uint32_t m, char key) {
  end = m;
  typeHappened = EventTypes::transitionKeyboard;
  stopAttribute = static_cast<unsigned char>(key);
}

