#pragma once
// The small ini-style reader of the BrainVision header: section lines hold a name between square
// brackets, key lines hold key=value. Matching is by substring, as the header's own writers and
// readers have always done it, so "DataPoints" also finds a "SegmentDataPoints" line.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// The lines of one header file, held once so that a header of many channels is not re-read and
/// re-split for every key. Results equal those of reading the file again for each key.
class IniReader {
 public:
  /// Reads the whole file. False (reported by the file helpers) when it cannot be read.
  bool Load(const std::string& path);
  /// Takes the bytes of a file directly.
  void SetContent(std::string_view content);

  /// True when there is nothing to read: an unreadable or empty file.
  bool Empty() const { return myEmpty; }

  /// The trimmed value of key in section, or defaultText when the section or the key is absent.
  /// An empty or unreadable file yields the empty text, not the default.
  std::string Value(std::string_view section, std::string_view key, std::string_view defaultText) const;

  /// Values of the keys prefix + "1" ... prefix + count (decimal, no leading zeros) in section:
  /// element i - 1 equals Value(section, prefix + i, defaultText), found in one pass over the
  /// section rather than one per key (a header may list thousands of channels).
  std::vector<std::string> NumberedValues(std::string_view section, std::string_view prefix, uint32_t count,
                                          std::string_view defaultText) const;

 private:
  /// Index of the line of section's name, or myLines.size() when there is none.
  size_t FindSection(std::string_view section) const;

  std::vector<std::string> myLines;  ///< the non-empty lines, a CR before the LF kept
  bool myEmpty = true;               ///< no byte was read
};

/// Value of key in section of the file, or defaultText (the file is read for this one call).
std::string ReadIniValue(std::string_view section, std::string_view key, std::string_view defaultText,
                         const std::string& fileName);
/// The value read as an integer; a value that does not begin with a number gives 0.
int32_t ReadIniInt(std::string_view section, std::string_view key, const std::string& fileName);
/// The value read as a double; defaultValue when the key is absent, 0 when no number begins it.
double ReadIniDouble(std::string_view section, std::string_view key, double defaultValue,
                     const std::string& fileName);

/// The leading integer of text as a text stream reads it: white space skipped, optional sign,
/// digits up to the first other character; 0 without digits; clamped to the int32 range.
int32_t IniTextToInt(std::string_view text);
/// The leading decimal number of text (sign, fraction, exponent); 0.0 without one. Never reads
/// "inf" or "nan", and never depends on the locale.
double IniTextToDouble(std::string_view text);
/// A double written as a text stream writes it by default (six significant digits).
std::string IniDoubleToText(double value);

/// The fields of a comma-separated value (a channel or marker line) in their places: empty fields
/// are kept, so that a field's index says what it holds.
std::vector<std::string_view> IniCommaFields(std::string_view value);
/// text without the spaces and tabs at either end.
std::string_view IniTrimBlanks(std::string_view text);
