#include "varnixlib/mat/matfile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <limits>

#include "varnixlib/support/file.h"
#include "varnixlib/support/report.h"

namespace {

constexpr uint64_t kSaturated = std::numeric_limits<uint64_t>::max();
constexpr uint64_t kFileHeaderBytes = 128;
constexpr uint32_t kMiMatrix = 14;

uint64_t Add(uint64_t a, uint64_t b) { return a > kSaturated - b ? kSaturated : a + b; }
uint64_t Mul(uint64_t a, uint64_t b) {
  return a != 0 && b > kSaturated / a ? kSaturated : a * b;
}
uint64_t Padded(uint64_t bytes) {
  return bytes > kSaturated - 7 ? kSaturated : (bytes + 7) / 8 * 8;
}
/// A data element: 8-byte tag, then the bytes padded to 8 (libmatio never packs data into the tag).
uint64_t DataElement(uint64_t bytes) { return Add(8, Padded(bytes)); }

/// The variables of a tree, the root and every field of every structure element included.
uint64_t NodeCount(const matvar_t& variable);

uint64_t ElementCount(const matvar_t& variable) {
  uint64_t count = 1;
  for (int i = 0; i < variable.rank; ++i) count = Mul(count, variable.dims[i]);
  return count;
}

uint32_t Decode32(const unsigned char* bytes, bool bigEndian) {
  return bigEndian ? (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) |
                         (uint32_t{bytes[2]} << 8) | uint32_t{bytes[3]}
                   : (uint32_t{bytes[3]} << 24) | (uint32_t{bytes[2]} << 16) |
                         (uint32_t{bytes[1]} << 8) | uint32_t{bytes[0]};
}

uint64_t NodeCount(const matvar_t& variable) {
  uint64_t nodes = 1;
  if (variable.class_type != MAT_C_STRUCT || !variable.data) return nodes;
  matvar_t& mutableVariable = const_cast<matvar_t&>(variable);
  const uint64_t members = Mul(ElementCount(variable), Mat_VarGetNumberOfFields(&mutableVariable));
  const auto* const* fields = static_cast<const matvar_t* const*>(variable.data);
  for (uint64_t i = 0; i < members; ++i) {
    if (fields[i]) nodes = Add(nodes, NodeCount(*fields[i]));
  }
  return nodes;
}

}  // namespace

MatFile::~MatFile() {
  if (IsOpen()) Close();
}

bool MatFile::Create(const std::string& path) {
  MatComponents::RouteLibraryMessages();
  if (IsOpen() && !Close()) return false;
  myPath = path;
  myWritten = 0;
  myExpectedBytes = kFileHeaderBytes;
  mySlackBytes = 0;
  myWriteFailed = false;
  myFile = std::make_unique<Varnix::AtomicFileWriter>(path, "MatFile::Create");
  if (!myFile->Open()) {
    myFile.reset();
    return false;
  }
  myFile->CloseDescriptor();  // libmatio reopens the temporary by name
  myMat = Mat_CreateVer(myFile->TemporaryPath().c_str(), kHeaderText, MAT_FT_MAT5);
  if (!myMat) {
    myFile.reset();
    return Error("MatFile::Create::Mat_CreateVer", path);
  }
  return true;
}

bool MatFile::Write(MatVariable variable) {
  if (!IsOpen()) return Error("MatFile::Write : file not open", myPath);
  if (!variable) {
    myWriteFailed = true;
    return Error("MatFile::Write : no variable", myPath);
  }
  // The element's byte count is a 32-bit field; libmatio would silently write a corrupt file.
  const uint64_t size = EncodedSize(*variable);
  if (size - 8 > std::numeric_limits<uint32_t>::max()) {
    myWriteFailed = true;
    return Error("MatFile::Write : variable too large for a MAT file",
                 std::string(variable->name ? variable->name : "") + " " + myPath);
  }
  if (Mat_VarWrite(myMat, variable.get(), MAT_COMPRESSION_NONE) != 0) {
    myWriteFailed = true;
    return Error("MatFile::Write::Mat_VarWrite", myPath);
  }
  ++myWritten;
  myExpectedBytes = Add(myExpectedBytes, size);
  // EncodedSize may exceed what libmatio writes by the padding of field names and tags.
  mySlackBytes = Add(mySlackBytes, Add(64, Mul(32, NodeCount(*variable))));
  return true;
}

bool MatFile::Close() {
  if (!IsOpen()) return true;
  const int closed = Mat_Close(myMat);
  myMat = nullptr;
  // The temporary is removed on every failure path when myFile goes.
  const std::unique_ptr<Varnix::AtomicFileWriter> file = std::move(myFile);
  if (closed != 0) return Error("MatFile::Close::Mat_Close", myPath);
  if (myWriteFailed) return false;  // already reported by Write
  if (!CheckWholeFile(file->TemporaryPath())) return Error("MatFile::Close : file incomplete", myPath);
  return file->Commit();
}

bool MatFile::CheckWholeFile(const std::string& path) const {
  // Walks the top-level elements: each must be a matrix whose stated size lies inside the file,
  // and together they must end exactly at the end of the file.
  const int64_t fileSize = Varnix::File::Size(path);
  if (fileSize < static_cast<int64_t>(kFileHeaderBytes)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::array<unsigned char, kFileHeaderBytes> header{};
  if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) return false;
  const bool bigEndian = header[126] == 'M' && header[127] == 'I';
  uint64_t offset = kFileHeaderBytes;
  uint64_t elements = 0;
  while (offset < static_cast<uint64_t>(fileSize)) {
    std::array<unsigned char, 8> tag{};
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in.read(reinterpret_cast<char*>(tag.data()), tag.size())) return false;
    if (Decode32(tag.data(), bigEndian) != kMiMatrix) return false;
    offset += 8 + uint64_t{Decode32(tag.data() + 4, bigEndian)};
    ++elements;
  }
  // libmatio writes each element's size after its data, from the file position, so a chunk lost
  // on a full disk leaves a file whose tags agree with it: only its size tells.
  return offset == static_cast<uint64_t>(fileSize) && elements == myWritten &&
         Add(static_cast<uint64_t>(fileSize), mySlackBytes) >= myExpectedBytes;
}

uint64_t MatFile::EncodedSize(const matvar_t& variable) {
  // Tag, array flags, dimensions; a name of up to 4 bytes fits its tag (a field's name is empty).
  uint64_t size = 8 + 16 + DataElement(4 * uint64_t(std::max(variable.rank, 0)));
  const uint64_t nameLength = variable.name ? std::strlen(variable.name) : 0;
  size = Add(size, nameLength <= 4 ? 8 : DataElement(nameLength));
  const uint64_t count = ElementCount(variable);
  matvar_t& mutableVariable = const_cast<matvar_t&>(variable);  // libmatio's getters are non-const
  switch (variable.class_type) {
    case MAT_C_STRUCT: {
      const unsigned fields = Mat_VarGetNumberOfFields(&mutableVariable);
      char* const* names = Mat_VarGetStructFieldnames(&mutableVariable);
      uint64_t longest = 0;
      for (unsigned i = 0; i < fields; ++i) {
        if (names && names[i]) longest = std::max<uint64_t>(longest, std::strlen(names[i]));
      }
      // Field-name length element, then the names, each padded at most to a multiple of 8.
      size = Add(size, 8);
      size = Add(size, DataElement(Mul(fields, Padded(longest + 1))));
      const auto* const* members = static_cast<const matvar_t* const*>(variable.data);
      const uint64_t memberCount = Mul(count, fields);
      if (members) {
        for (uint64_t i = 0; i < memberCount && size != kSaturated; ++i) {
          size = Add(size, members[i] ? EncodedSize(*members[i]) : kSaturated);
        }
      }
      break;
    }
    case MAT_C_CHAR:
      // One- and two-byte characters are written as 16-bit units.
      size = Add(size, DataElement(Mul(count, std::max<size_t>(2, Mat_SizeOf(variable.data_type)))));
      break;
    case MAT_C_DOUBLE:
    case MAT_C_SINGLE:
    case MAT_C_INT8:
    case MAT_C_UINT8:
    case MAT_C_INT16:
    case MAT_C_UINT16:
    case MAT_C_INT32:
    case MAT_C_UINT32:
    case MAT_C_INT64:
    case MAT_C_UINT64: {
      const uint64_t part = DataElement(Mul(count, Mat_SizeOf(variable.data_type)));
      size = Add(size, variable.isComplex ? Mul(part, 2) : part);
      break;
    }
    default:
      // Cells, sparse matrices and objects are never written by the program.
      return kSaturated;
  }
  return size;
}
