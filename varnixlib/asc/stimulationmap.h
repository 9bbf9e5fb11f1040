#pragma once

#include <cstdint>
#include <map>
#include <string>


/// Marker code to name and count: the table written as the event list beside the merged data.
class StimulationMap {
 public:
  struct Entry {
    std::string name;
    int64_t count = 0;
  };

  /// Counts one more occurrence of code; a new code gets this name and the count 1.
  void Add(uint16_t code, const std::string& name);
  /// One line per code in ascending order: code (10 wide), name (30 wide), a blank, the count.
  bool Write(const std::string& path) const;
  /// Adds the entries of a file written by Write.
  bool Read(const std::string& path);


  const std::map<uint16_t, Entry>& Entries() const { return myEntries; }

 private:
  std::map<uint16_t, Entry> myEntries;
};
