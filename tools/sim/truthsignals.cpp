#include "truthsignals.h"

#include <cmath>

namespace TruthSignals {

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr double kYPeriodMs = 3700.0;
constexpr double kYAmplitude = 150.0;
}  // namespace

double Phase(double trueMs) {
  const double p = std::fmod(trueMs, kCycleMs);
  return p < 0.0 ? p + kCycleMs : p;
}

double ClockValue(double trueMs) { return Phase(trueMs); }

double GazeX(double trueMs, bool rightEye) { return (rightEye ? 120.0 : 100.0) + 0.5 * Phase(trueMs); }

double GazeY(double trueMs, bool rightEye) {
  return (rightEye ? 550.0 : 540.0) + kYAmplitude * std::sin(kTwoPi * std::fmod(trueMs, kYPeriodMs) / kYPeriodMs);
}

double Pupil(double trueMs, bool rightEye, bool diameter) {
  const double wave = std::sin(kTwoPi * std::fmod(trueMs, 5300.0) / 5300.0);
  if (diameter) return (rightEye ? 3700.0 : 3800.0) + 150.0 * wave;
  return (rightEye ? 1150.0 : 1200.0) + 120.0 * wave;
}

double VelocityX(double) { return 0.5 * 1000.0 / kPixelsPerDegree; }

double VelocityY(double trueMs) {
  const double w = kTwoPi / kYPeriodMs;
  return kYAmplitude * w * std::cos(w * std::fmod(trueMs, kYPeriodMs)) * 1000.0 / kPixelsPerDegree;
}

}  // namespace TruthSignals
