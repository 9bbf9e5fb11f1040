#pragma once
// The simulator's pseudo-random source. Its own generator (xoshiro256**, seeded by splitmix64) and its
// own distributions keep the output byte-identical for one seed on every compiler and standard library,
// which std::*_distribution does not promise.

#include <cstdint>

class SimRandom {
 public:
  explicit SimRandom(uint64_t seed);
  /// An independent stream for one part of the simulation, so a knob of one part does not reshuffle
  /// the draws of another.
  SimRandom Fork(uint64_t stream) const;

  uint64_t Next();
  /// Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  double Uniform(double low, double high) { return low + (high - low) * Uniform(); }
  /// Uniform integer in [0, count); count 0 gives 0.
  uint32_t Below(uint32_t count);
  /// Approximately standard normal (sum of four uniforms, scaled), cheap enough for every EEG value.
  double Normal();

 private:
  uint64_t myState[4];
  uint64_t mySeed;
};
