#pragma once
// One MAT version 5 file being written: created with a fixed header text, so two runs on the same
// input give identical bytes, then filled with uncompressed variables and closed.

#include <matio.h>

#include <cstdint>
#include <string>

#include "varnixlib/matcomponents.h"

class MatFile {
 public:
  /// The 116-byte descriptive text at the start of every file. libmatio's default carries the
  /// creation time; a fixed text keeps outputs reproducible.
  static constexpr const char* kHeaderText = "MATLAB 5.0 MAT-file, written by Tolmera";

  MatFile() = default;
  /// Closes a file still open (a failure is reported, not returned).
  ~MatFile();
  MatFile(const MatFile&) = delete;
  MatFile& operator=(const MatFile&) = delete;

  /// Creates or truncates the file; false (reported) when it cannot be created.
  bool Create(const std::string& path);
  /// Writes the variable without compression and releases it, whatever the outcome.
  bool Write(MatVariable variable);
  /// Closes the file and checks that every variable written reached the disk whole, because
  /// libmatio itself does not notice failed writes (a full disk leaves a short file).
  bool Close();

  bool IsOpen() const { return myMat != nullptr; }

  /// The bytes the variable occupies in a MAT version 5 file, its 8-byte tag included; never
  /// less than libmatio writes. Saturates instead of overflowing.
  static uint64_t EncodedSize(const matvar_t& variable);

 private:
  bool CheckWholeFile() const;

  mat_t* myMat = nullptr;     ///< libmatio's file, owned; null when closed
  std::string myPath;         ///< the file name, for reports
  uint64_t myWritten = 0;     ///< variables written since Create
  bool myWriteFailed = false; ///< a Write failed, so the completeness check cannot pass
};
