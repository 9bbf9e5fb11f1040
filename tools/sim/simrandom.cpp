#include "simrandom.h"

namespace {

uint64_t SplitMix(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t RotateLeft(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

SimRandom::SimRandom(uint64_t seed) : mySeed(seed) {
  uint64_t x = seed;
  for (uint64_t& s : myState) s = SplitMix(x);
}

SimRandom SimRandom::Fork(uint64_t stream) const {
  uint64_t x = mySeed ^ (stream * 0xD1B54A32D192ED03ull);
  return SimRandom(SplitMix(x));
}

uint64_t SimRandom::Next() {
  const uint64_t result = RotateLeft(myState[1] * 5, 7) * 9;
  const uint64_t t = myState[1] << 17;
  myState[2] ^= myState[0];
  myState[3] ^= myState[1];
  myState[1] ^= myState[2];
  myState[0] ^= myState[3];
  myState[2] ^= t;
  myState[3] = RotateLeft(myState[3], 45);
  return result;
}

uint32_t SimRandom::Below(uint32_t count) {
  if (count == 0) return 0;
  return static_cast<uint32_t>((Next() >> 32) * count >> 32);
}

double SimRandom::Normal() {
  // Four 16-bit uniforms: mean 2, variance 4/12; scaled to unit variance.
  const uint64_t bits = Next();
  const double sum = static_cast<double>((bits & 0xFFFF) + ((bits >> 16) & 0xFFFF) + ((bits >> 32) & 0xFFFF) +
                                         (bits >> 48)) *
                     (1.0 / 65536.0);
  return (sum - 2.0) * 1.7320508075688772;
}
