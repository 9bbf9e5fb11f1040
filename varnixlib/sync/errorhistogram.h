#pragma once
// Histograms of the per-trigger alignment errors (in eye-tracker samples) and their two log files.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

/// Eleven bins -5..5 of unit width centred on the integers; the outer bins take everything beyond.
struct ErrorHistogram {
  std::array<int32_t, 11> labels{-5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5};
  std::array<int32_t, 11> counts{};
  double mean = 0.0;
  double std = 0.0;   ///< population standard deviation
  int32_t count = 0;  ///< values taken into the histogram
};

/// Label of the bin a value falls into: -5 below -4.5, 5 from 4.5 on, else the nearest integer
/// with halves going up.
int32_t ErrorBin(double value);

/// Histogram of every value.
ErrorHistogram BuildHistogram(const std::vector<double>& errors);

/// Histogram of the values whose code equals code; only positions present in both lists count.
ErrorHistogram BuildTriggerHistogram(const std::vector<uint32_t>& codes,
                                     const std::vector<double>& errors, uint32_t code);

/// Writes "HistoGlobalError.txt" and "HistoPerTriggerError.txt" into logDirectory (which ends in a
/// separator).
void WriteErrorHistograms(const std::vector<uint32_t>& codes, const std::vector<double>& errors,
                          const std::string& logDirectory);
