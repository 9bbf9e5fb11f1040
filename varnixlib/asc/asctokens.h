#pragma once
// Splitting of one ASC text line into tokens, in place: tokens are views into the line, held in a
// fixed array, so the hot parsing path makes no heap allocation. Also the number readings used by
// every ASC reader (locale-independent).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

class AscTokens {
 public:
  /// Tokens beyond this many are counted, and the last one is kept, but not stored.
  static constexpr size_t kMaxTokens = 64;

  /// Splits on space, tab, carriage return and line feed; runs of separators count as one.
  void Split(std::string_view line);

  /// Number of tokens on the line (may exceed kMaxTokens).
  size_t Count() const { return myCount; }
  /// Token i, or an empty view when the line has no such stored token.
  std::string_view operator[](size_t i) const { return i < myStored ? myTokens[i] : std::string_view(); }
  std::string_view Last() const { return myLast; }
  /// The token before the last one (empty with fewer than two tokens).
  std::string_view NextToLast() const;
  std::string_view Line() const { return myLine; }
  bool LineContains(std::string_view key) const { return myLine.find(key) != std::string_view::npos; }
  /// True when every token of the line is stored (nothing was dropped beyond kMaxTokens).
  bool Complete() const { return myStored == myCount; }

  /// Replaces tokens [first, last] by one token (the caller keeps its text alive).
  void Join(size_t first, size_t last, std::string_view joined);

  /// Integer value of the leading sign and digits, as C's atoi reads it: 0 without digits,
  /// saturated at the 64-bit limits.
  static int64_t IntValue(std::string_view token);
  /// As IntValue, but a lone "." gives -1.
  static int64_t IntOrMinusOne(std::string_view token);
  /// Floating-point value of the token's leading number, 0.0 without one or when it is not finite.
  static double DoubleValue(std::string_view token);
  /// As DoubleValue, but a lone "." gives -1.0.
  static double DoubleOrMinusOne(std::string_view token);
  /// Non-empty and only decimal digits.
  static bool IsDigits(std::string_view token);
  /// Only the characters of a gaze position: 0-9, '-' and '.'.
  static bool IsPositionToken(std::string_view token);
  static bool IsMissing(std::string_view token) { return token.size() == 1 && token[0] == '.'; }
  static bool StartsWith(std::string_view token, std::string_view prefix) {
    return token.substr(0, prefix.size()) == prefix;
  }
  static bool Contains(std::string_view token, std::string_view key) {
    return token.find(key) != std::string_view::npos;
  }

 private:
  std::array<std::string_view, kMaxTokens> myTokens;
  size_t myStored = 0;
  size_t myCount = 0;
  std::string_view myLast;
  std::string_view myLine;
};
