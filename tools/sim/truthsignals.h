#pragma once
// The known functions of true time that both recordings carry, so that a merged output shows its
// alignment directly (see the tool's help):
//
//   EEG channel "TrueTime" (resolution 0.1 µV): value in µV = t mod 1600          (t in ms)
//   gaze x of the left eye, in pixels           = 100 + (t mod 1600) / 2
//   gaze x of the right eye, in pixels          = 120 + (t mod 1600) / 2
//
// So at any merged frame, 2 * (left gaze x - 100) and the TrueTime value are the same millisecond of
// the 1600 ms cycle when the two streams are aligned; their difference is the misalignment.

#include <cstdint>

namespace TruthSignals {

inline constexpr double kCycleMs = 1600.0;
inline constexpr double kClockResolution = 0.1;  ///< µV per stored unit of the TrueTime channel
inline constexpr const char* kClockChannelName = "TrueTime";
inline constexpr double kPixelsPerDegree = 35.0;

/// Phase of true time within the cycle, in ms.
double Phase(double trueMs);
/// TrueTime channel value in µV.
double ClockValue(double trueMs);
double GazeX(double trueMs, bool rightEye);
double GazeY(double trueMs, bool rightEye);
double Pupil(double trueMs, bool rightEye, bool diameter);
/// Gaze velocity in degrees per second, as EDF2ASC's velocity columns.
double VelocityX(double trueMs);
double VelocityY(double trueMs);

}  // namespace TruthSignals
