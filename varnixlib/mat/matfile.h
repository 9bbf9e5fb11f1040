#pragma once
// One MAT version 5 file being written: created with a fixed header text, so two runs on the same
// input give identical bytes, then filled with uncompressed variables and closed.

#include <matio.h>

#include <cstdint>
#include <memory>
#include <string>

#include "varnixlib/support/atomicfilewriter.h"
#include "varnixlib/mat/matcomponents.h"

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

  /// Starts the file; false (reported) when it cannot be created. The variables go to a
  /// temporary file beside it that becomes the file at a successful Close, so a failed export
  /// never leaves a partial MAT file, nor destroys the one it replaces.
  bool Create(const std::string& path);
  /// Writes the variable without compression and releases it, whatever the outcome.
  bool Write(MatVariable variable);
  /// Closes the file and checks that every variable written reached the disk whole, because
  /// libmatio itself does not notice failed writes (a full disk leaves a short file); only then
  /// does the file appear under its name.
  bool Close();

  bool IsOpen() const { return myMat != nullptr; }

  /// The bytes the variable occupies in a MAT version 5 file, its 8-byte tag included; never
  /// less than libmatio writes. Saturates instead of overflowing.
  static uint64_t EncodedSize(const matvar_t& variable);

 private:
  bool CheckWholeFile(const std::string& path) const;

  mat_t* myMat = nullptr;     ///< libmatio's file, owned; null when closed
  std::string myPath;         ///< the file name, for reports
  std::unique_ptr<Varnix::AtomicFileWriter> myFile;  ///< the temporary libmatio writes into
  uint64_t myWritten = 0;     ///< variables written since Create
  uint64_t myExpectedBytes = 0;  ///< file size the variables written need at most
  uint64_t mySlackBytes = 0;     ///< how much less than that a whole file may hold
  bool myWriteFailed = false; ///< a Write failed, so the completeness check cannot pass
};
