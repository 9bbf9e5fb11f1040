#include "varnixlib/mat/matcomponents.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "varnixlib/support/report.h"

namespace {

// libmatio calls this for every message it would otherwise print on stderr.
void ReportLibraryMessage(int level, char* message) {
  const std::string_view text = message ? message : "";
  if (level & (MATIO_LOG_LEVEL_ERROR | MATIO_LOG_LEVEL_CRITICAL)) {
    Error("MatComponents::libmatio", text);
  } else if (level & MATIO_LOG_LEVEL_WARNING) {
    Warning("MatComponents::libmatio", text);
  }
  // Informational and debug messages only appear when verbosity is raised; they are dropped.
}

bool MultiplyChecked(uint64_t a, uint64_t b, uint64_t& product) {
  if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a) return false;
  product = a * b;
  return true;
}

}  // namespace

void MatComponents::RouteLibraryMessages() {
  static const bool routed = [] {
    Mat_LogInitFunc("tolmera", &ReportLibraryMessage);
    return true;
  }();
  (void)routed;
}

MatComponents::MatComponents() { RouteLibraryMessages(); }

MatComponents::~MatComponents() { ReleaseAll(); }

MatComponents::MatComponents(MatComponents&& other) noexcept
    : myVariables(std::exchange(other.myVariables, {})) {}

MatComponents& MatComponents::operator=(MatComponents&& other) noexcept {
  if (this != &other) {
    ReleaseAll();
    myVariables = std::exchange(other.myVariables, {});
  }
  return *this;
}

void MatComponents::ReleaseAll() {
  for (matvar_t* variable : myVariables) Mat_VarFree(variable);
  myVariables.clear();
}

bool MatComponents::CheckName(const std::string& name) const {
  if (name.empty() || name.size() > kMaxNameLength) {
    return Error("MatComponents::Add : invalid variable name", name);
  }
  // A structure with two fields of one name cannot be loaded.
  for (const matvar_t* variable : myVariables) {
    if (variable->name && name == variable->name) {
      return Error("MatComponents::Add : duplicate variable name", name);
    }
  }
  return true;
}

bool MatComponents::Push(matvar_t* variable, const std::string& name) {
  if (!variable) return Error("MatComponents::Add::Mat_VarCreate", name);
  myVariables.push_back(variable);
  return true;
}

bool MatComponents::RowsOf(const std::string& name, size_t count, size_t columns,
                           size_t& rows) const {
  if (columns == 0) {
    if (count != 0) return Error("MatComponents::AddMatrix : zero columns", name);
    rows = 0;
    return true;
  }
  rows = count / columns;
  return true;
}

bool MatComponents::AddArrayData(const std::string& name, matio_classes matClass,
                                 matio_types dataType, size_t elementSize, size_t rows,
                                 size_t columns, const void* data, bool byReference) {
  if (!CheckName(name)) return false;
  uint64_t elements = 0;
  uint64_t bytes = 0;
  // Character data is stored as 16-bit units in the file, whatever its width in memory.
  const uint64_t storedSize = matClass == MAT_C_CHAR ? 2 : elementSize;
  if (rows > kMaxDimension || columns > kMaxDimension || !MultiplyChecked(rows, columns, elements) ||
      !MultiplyChecked(elements, storedSize, bytes) || bytes > kMaxElementBytes) {
    return Error("MatComponents::Add : dimensions too large",
                 name + " " + std::to_string(rows) + "x" + std::to_string(columns));
  }
  if (elements != 0 && data == nullptr) {
    return Error("MatComponents::Add : no data", name);
  }
  size_t dims[2] = {rows, columns};
  // libmatio takes non-const pointers but neither changes nor, when copying, keeps the data.
  void* source = elements == 0 ? nullptr : const_cast<void*>(data);
  return Push(Mat_VarCreate(name.c_str(), matClass, dataType, 2, dims, source,
                            byReference && source ? MAT_F_DONT_COPY_DATA : 0),
              name);
}

bool MatComponents::AddVariable(const std::string& name, matio_classes matClass) {
  switch (matClass) {
    case MAT_C_CHAR: {
      const char zero = 0;
      return AddArrayData(name, MAT_C_CHAR, MAT_T_INT8, 1, 1, 1, &zero, false);
    }
    case MAT_C_DOUBLE: return AddScalar(name, 0.0);
    case MAT_C_SINGLE: return AddScalar(name, 0.0f);
    case MAT_C_INT8: return AddScalar(name, int8_t{0});
    case MAT_C_UINT8: return AddScalar(name, uint8_t{0});
    case MAT_C_INT16: return AddScalar(name, int16_t{0});
    case MAT_C_UINT16: return AddScalar(name, uint16_t{0});
    case MAT_C_INT32: return AddScalar(name, int32_t{0});
    case MAT_C_UINT32: return AddScalar(name, uint32_t{0});
    default: return Error("MatComponents::AddVariable : Unknown MAT_T type", "");
  }
}

bool MatComponents::AddCharMatrix(const std::string& name, size_t columns,
                                  std::string_view characters) {
  size_t rows = 0;
  if (!RowsOf(name, characters.size(), columns, rows)) return false;
  return AddArrayData(name, MAT_C_CHAR, MAT_T_INT8, 1, rows, columns, characters.data(), false);
}

bool MatComponents::AddString(const std::string& name, std::string_view text) {
  return AddArrayData(name, MAT_C_CHAR, MAT_T_INT8, 1, 1, text.size(), text.data(), false);
}

std::string MatComponents::TextRows(const std::vector<std::string>& texts, size_t width,
                                    size_t rows, size_t* truncated) {
  if (truncated) *truncated = 0;
  uint64_t total = 0;
  if (!MultiplyChecked(rows, width, total) || total > kMaxElementBytes) return {};
  std::string matrix(static_cast<size_t>(total), '\0');
  const size_t filled = std::min(rows, texts.size());
  for (size_t r = 0; r < filled; ++r) {
    const std::string& text = texts[r];
    if (text.size() > width && truncated) ++*truncated;
    const size_t length = std::min(text.size(), width);
    // Column c holds character c of every row.
    for (size_t c = 0; c < length; ++c) matrix[c * rows + r] = text[c];
  }
  return matrix;
}

bool MatComponents::AddTextRows(const std::string& name, const std::vector<std::string>& texts,
                                size_t width, size_t rows) {
  uint64_t total = 0;
  // Refused before the matrix is allocated; characters take two bytes in the file.
  if (rows > kMaxDimension || width > kMaxDimension || !MultiplyChecked(rows, width, total) ||
      total > kMaxElementBytes / 2) {
    return Error("MatComponents::Add : dimensions too large",
                 name + " " + std::to_string(rows) + "x" + std::to_string(width));
  }
  const std::string matrix = TextRows(texts, width, rows);
  for (size_t r = 0; r < std::min(rows, texts.size()); ++r) {
    if (texts[r].size() > width) {
      Warning("MatComponents::AddTextRows : text cut to " + std::to_string(width) + " characters",
              texts[r]);
    }
  }
  return AddArrayData(name, MAT_C_CHAR, MAT_T_INT8, 1, rows, width, matrix.data(), false);
}

bool MatComponents::Append(MatVariable variable) {
  if (!variable) return Error("MatComponents::Append : no variable", "");
  const std::string name = variable->name ? variable->name : "";
  if (!CheckName(name)) return false;  // the refused variable is released here
  myVariables.push_back(variable.release());
  return true;
}

MatVariable MatComponents::MakeStructure(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameLength) {
    Error("MatComponents::MakeStructure : invalid variable name", name);
    return {};
  }
  // libmatio counts the fields up to the end mark and copies the handles into the structure.
  std::vector<matvar_t*> fields = myVariables;
  fields.push_back(nullptr);
  size_t dims[2] = {1, 1};
  matvar_t* structure = Mat_VarCreate(name.c_str(), MAT_C_STRUCT, MAT_T_STRUCT, 2, dims,
                                      fields.data(), 0);
  if (!structure) {
    Error("MatComponents::MakeStructure::Mat_VarCreate", name);
    return {};
  }
  // The structure releases its fields from now on.
  myVariables.clear();
  return MatVariable(structure);
}
