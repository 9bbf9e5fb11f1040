#pragma once
// The collector of named MAT variables from which every exporter builds one level of a nested
// MATLAB structure. Variables are libmatio handles; every one has rank 2 and column-major data.

#include <matio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// Releases a libmatio variable, and with a structure all its fields, recursively.
struct MatVariableRelease {
  void operator()(matvar_t* variable) const { Mat_VarFree(variable); }
};
/// A libmatio variable with exactly one owner: a collector, a structure, or the caller.
using MatVariable = std::unique_ptr<matvar_t, MatVariableRelease>;

/// The MAT class and data type stored for each numeric element type.
template <matio_classes Class, matio_types Type>
struct MatElementOf {
  static constexpr matio_classes kClass = Class;
  static constexpr matio_types kType = Type;
};
template <typename T>
struct MatElement;
template <> struct MatElement<double> : MatElementOf<MAT_C_DOUBLE, MAT_T_DOUBLE> {};
template <> struct MatElement<float> : MatElementOf<MAT_C_SINGLE, MAT_T_SINGLE> {};
template <> struct MatElement<int8_t> : MatElementOf<MAT_C_INT8, MAT_T_INT8> {};
template <> struct MatElement<uint8_t> : MatElementOf<MAT_C_UINT8, MAT_T_UINT8> {};
template <> struct MatElement<int16_t> : MatElementOf<MAT_C_INT16, MAT_T_INT16> {};
template <> struct MatElement<uint16_t> : MatElementOf<MAT_C_UINT16, MAT_T_UINT16> {};
template <> struct MatElement<int32_t> : MatElementOf<MAT_C_INT32, MAT_T_INT32> {};
template <> struct MatElement<uint32_t> : MatElementOf<MAT_C_UINT32, MAT_T_UINT32> {};

/// The element types a numeric variable may hold. char, bool and 64-bit integers do not compile;
/// a plain int is int32, so a uint16 or uint32 field needs its value cast to that type.
template <typename T>
concept MatNumber = requires {
  MatElement<T>::kClass;
  MatElement<T>::kType;
};

class MatComponents {
 public:
  /// Width of one row of a channel-name matrix.
  static constexpr size_t kChannelNameWidth = 16;
  /// MATLAB's longest variable and field name.
  static constexpr size_t kMaxNameLength = 63;
  /// A MAT version 5 element records its byte count in 32 bits and each dimension as a signed
  /// 32-bit value; larger variables cannot be written and are refused when added.
  static constexpr uint64_t kMaxElementBytes = 0xFFFFFFFFull - 64;
  static constexpr uint64_t kMaxDimension = 0x7FFFFFFFull;

  MatComponents();
  ~MatComponents();
  MatComponents(const MatComponents&) = delete;
  MatComponents& operator=(const MatComponents&) = delete;
  MatComponents(MatComponents&& other) noexcept;
  MatComponents& operator=(MatComponents&& other) noexcept;

  /// 1-by-1 variable of the class with value 0. Only char, double, single and the 8-, 16- and
  /// 32-bit integer classes; any other class is reported and nothing is appended.
  bool AddVariable(const std::string& name, matio_classes matClass);

  /// 1-by-1 variable of T's class (uint16, uint32, double, and the other numeric classes).
  template <MatNumber T>
  bool AddScalar(const std::string& name, T value) {
    return AddArrayData(name, MatElement<T>::kClass, MatElement<T>::kType, sizeof(T), 1, 1, &value,
                        false);
  }

  /// 1-by-N row vector. With byReference the variable points at values' storage, which must stay
  /// alive and unchanged until the variable has been written and released; otherwise it copies.
  template <MatNumber T>
  bool AddVector(const std::string& name, const std::vector<T>& values, bool byReference = false) {
    return AddArrayData(name, MatElement<T>::kClass, MatElement<T>::kType, sizeof(T), 1,
                        values.size(), values.data(), byReference);
  }

  /// R-by-K matrix of column-major values, R = values / K (values beyond R * K are left out).
  /// K = 0 is refused unless values is empty (then 0-by-0). byReference as for AddVector.
  template <MatNumber T>
  bool AddMatrix(const std::string& name, size_t columns, const std::vector<T>& values,
                 bool byReference = false) {
    size_t rows = 0;
    if (!RowsOf(name, values.size(), columns, rows)) return false;
    return AddArrayData(name, MatElement<T>::kClass, MatElement<T>::kType, sizeof(T), rows,
                        columns, values.data(), byReference);
  }

  /// rows-by-columns matrix from a column-major array the caller holds; refuses dimensions whose
  /// product overflows or that a MAT version 5 file cannot hold.
  template <MatNumber T>
  bool AddArray(const std::string& name, size_t rows, size_t columns, const T* data,
                bool byReference = false) {
    return AddArrayData(name, MatElement<T>::kClass, MatElement<T>::kType, sizeof(T), rows,
                        columns, data, byReference);
  }

  /// R-by-K char matrix of column-major characters, R = characters / K. Always copied.
  bool AddCharMatrix(const std::string& name, size_t columns, std::string_view characters);
  /// 1-by-L char row holding text.
  bool AddString(const std::string& name, std::string_view text);
  /// rows-by-width char matrix: row r holds texts[r] left-aligned, padded with zero bytes; rows
  /// past the texts are all zero, texts past the rows are left out, longer texts are cut to the
  /// width (with a warning).
  bool AddTextRows(const std::string& name, const std::vector<std::string>& texts, size_t width,
                   size_t rows);
  /// The channel-name matrix: rows-by-16, as AddTextRows.
  bool AddChannelNames(const std::string& name, const std::vector<std::string>& names,
                       size_t rows) {
    return AddTextRows(name, names, kChannelNameWidth, rows);
  }
  /// Column-major rows-by-width characters as AddTextRows stores them; truncated, when given,
  /// counts the texts cut to the width. Empty when rows * width overflows.
  static std::string TextRows(const std::vector<std::string>& texts, size_t width, size_t rows,
                              size_t* truncated = nullptr);

  /// Appends a variable built elsewhere (a nested structure); the collector owns it from now on.
  bool Append(MatVariable variable);

  /// The 1-by-1 structure whose fields are the collected variables in order of addition. On
  /// success the structure owns them and the collector is empty; on failure (reported) the
  /// result is empty and the collector keeps its variables.
  MatVariable MakeStructure(const std::string& name);

  /// Number of variables collected so far.
  size_t Count() const { return myVariables.size(); }
  /// The collected variable at index (still owned by the collector).
  const matvar_t* At(size_t index) const { return myVariables.at(index); }

  /// Sends libmatio's own messages to Error and Warning instead of its default stderr printer.
  /// Idempotent; called by every collector and MAT file.
  static void RouteLibraryMessages();

 private:
  bool AddArrayData(const std::string& name, matio_classes matClass, matio_types dataType,
                    size_t elementSize, size_t rows, size_t columns, const void* data,
                    bool byReference);
  bool RowsOf(const std::string& name, size_t count, size_t columns, size_t& rows) const;
  bool CheckName(const std::string& name) const;
  bool Push(matvar_t* variable, const std::string& name);
  void ReleaseAll();

  /// Owned handles in field order; each is released with the collector unless a structure has
  /// taken it over.
  std::vector<matvar_t*> myVariables;
};
