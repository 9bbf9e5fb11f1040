#include "clockmodel.h"

#include <cmath>

namespace {
// Positions this close below a whole number count as that number: keeps an edge placed exactly on a
// tick from being pushed to the next one by rounding in the last bit.
constexpr double kTickTolerance = 1e-9;
}  // namespace

ClockModel::ClockModel(double eegStartMs, double driftPpm, double eegRateHz)
    : myEegStartMs(eegStartMs),
      myDriftPpm(driftPpm),
      myEegRateHz(eegRateHz),
      mySamplesPerMs(eegRateHz * (1.0 + driftPpm * 1e-6) / 1000.0) {}

double ClockModel::EegPosition(double trueMs) const { return (trueMs - myEegStartMs) * mySamplesPerMs; }

double ClockModel::TrueTimeOfEegSample(double n) const { return myEegStartMs + n / mySamplesPerMs; }

int64_t ClockModel::RegisteredEegSample(double trueMs) const {
  return static_cast<int64_t>(std::ceil(EegPosition(trueMs) - kTickTolerance));
}

int64_t ClockModel::TrackerTimestamp(double trueMs) {
  return static_cast<int64_t>(std::ceil(trueMs - kTickTolerance));
}
