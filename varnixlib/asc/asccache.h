#pragma once
// The parse cache of -G: "<asc file>.dbg", everything the ASC stage produced, keyed by the file's
// size and content hash, the trigger-name file and the options that change the result.

#include <cstdint>

class AscRawData;
struct SynchroParams;

class AscCache {
 public:
  /// Fills asc from its cache when the cache is whole and its key matches; false (asc untouched)
  /// otherwise, and the file is then parsed.
  static bool Load(AscRawData& asc, const SynchroParams& params);
  /// Writes the cache of asc when params ask for one; a failed write leaves no half cache.
  static void Save(const AscRawData& asc, const SynchroParams& params);
  /// The content hash that keys the cache and checks its payload.
  static uint64_t HashBytes(const char* data, uint64_t size);

 private:
  static uint64_t KeyOptions(const SynchroParams& params);
};
