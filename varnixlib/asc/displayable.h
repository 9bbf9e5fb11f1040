#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "varnixlib/asc/displayablenum.h"

class AscTokens;

/// An item the stimulus program showed (image, text, video, special), from its transition begin
/// (or an Image_Start message) to its transition end.
class Displayable : public DisplayableNum {
 public:
  Displayable() = default;
  /// From a BEGIN TRANSITION message of exactly 18 tokens (tokens 4 to 17 are read), at sample m.
  Displayable(const AscTokens& tokens, uint32_t m, uint32_t line);
  /// From an Image_Start message: the stimulus named by the last 'Stimulus message.
  Displayable(std::string_view stimulusName, uint32_t m, uint32_t line);

  /// END TRANSITION at sample m; tokens 4 onward say how the item ended.
  void End(uint32_t m, const AscTokens& tokens);
  /// A "reponse" message at sample m with the key character.
  void Response(uint32_t m, char key);


  std::string name;
  std::string relativePath;
  std::string transitionName;
};
