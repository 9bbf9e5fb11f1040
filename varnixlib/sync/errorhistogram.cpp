#include "varnixlib/sync/errorhistogram.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <ostream>

#include "varnixlib/support/atomictextwriter.h"

namespace {

// Mean and population deviation of the collected values; both 0 for none.
void Complete(ErrorHistogram& h, const std::vector<double>& values) {
  h.count = static_cast<int32_t>(values.size());
  if (values.empty()) return;
  double sum = 0.0;
  for (const double v : values) sum += v;
  h.mean = sum / static_cast<double>(values.size());
  double squares = 0.0;
  for (const double v : values) squares += (v - h.mean) * (v - h.mean);
  h.std = std::sqrt(squares / static_cast<double>(values.size()));
}

void Add(ErrorHistogram& h, double value) { ++h.counts[static_cast<size_t>(ErrorBin(value) + 5)]; }

void WriteBins(std::ostream& out, const ErrorHistogram& h) {
  for (size_t b = 0; b < h.counts.size(); ++b) {
    out << std::setw(2) << h.labels[b] << ' ' << std::setw(5) << h.counts[b] << '\n';
  }
}

void WriteStatistics(std::ostream& out, const ErrorHistogram& h) {
  out << "Mean: " << std::setprecision(4) << h.mean << '\n';
  out << "Std: " << std::setprecision(4) << h.std << '\n';
}

}  // namespace

int32_t ErrorBin(double value) {
  if (value < -4.5) return -5;
  // NaN (an error of an unmodelled pair) is kept out of the central bins.
  if (!(value < 4.5)) return 5;
  return static_cast<int32_t>(std::floor(value + 0.5));
}

ErrorHistogram BuildHistogram(const std::vector<double>& errors) {
  ErrorHistogram h;
  for (const double e : errors) Add(h, e);
  Complete(h, errors);
  return h;
}

ErrorHistogram BuildTriggerHistogram(const std::vector<uint32_t>& codes,
                                     const std::vector<double>& errors, uint32_t code) {
  if (codes.size() != errors.size()) {
    std::cout << "Warning: Inconsistency detected while creating histogram!" << std::flush;
  }
  ErrorHistogram h;
  std::vector<double> values;
  const size_t count = std::min(codes.size(), errors.size());
  for (size_t i = 0; i < count; ++i) {
    if (codes[i] != code) continue;
    Add(h, errors[i]);
    values.push_back(errors[i]);
  }
  Complete(h, values);
  return h;
}

void WriteErrorHistograms(const std::vector<uint32_t>& codes, const std::vector<double>& errors,
                          const std::string& logDirectory) {
  if (codes.size() != errors.size()) {
    std::cout << "Warning: Inconsistency detected!" << std::flush;
  }

  {
    // Each file is built in memory and written whole, never left half-written.
    Varnix::AtomicTextWriter file(logDirectory + "HistoGlobalError.txt", "WriteErrorHistograms");
    std::ostream& out = file.Stream();
    const ErrorHistogram h = BuildHistogram(errors);
    WriteBins(out, h);
    out << "Trigger count: " << h.count << '\n';
    WriteStatistics(out, h);
    file.Commit();
  }

  Varnix::AtomicTextWriter file(logDirectory + "HistoPerTriggerError.txt", "WriteErrorHistograms");
  std::ostream& out = file.Stream();
  std::vector<uint32_t> distinct = codes;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  for (const uint32_t code : distinct) {
    out << "Histrogram for trigger '" << code << "'\n";
    const ErrorHistogram h = BuildTriggerHistogram(codes, errors, code);
    WriteBins(out, h);
    out << "Trigger count: " << h.count << '\n';
    if (h.count > 1) WriteStatistics(out, h);
    out << '\n';
  }
  file.Commit();
}
