#include "varnixlib/mat/matcomponents.h"

#include <gtest/gtest.h>
#include <matio.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "support/testsupport.h"
#include "varnixlib/mat/matfile.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// Writes the structure as the only variable of a new file.
void WriteOne(const std::string& path, MatVariable structure) {
  MatFile file;
  ASSERT_TRUE(file.Create(path));
  ASSERT_TRUE(file.Write(std::move(structure)));
  ASSERT_TRUE(file.Close());
}

// Every top-level variable of the file, read back by libmatio with its data.
std::vector<MatVariable> ReadAll(const std::string& path) {
  std::vector<MatVariable> variables;
  mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
  EXPECT_NE(mat, nullptr) << path;
  if (!mat) return variables;
  while (matvar_t* variable = Mat_VarReadNext(mat)) variables.emplace_back(variable);
  Mat_Close(mat);
  return variables;
}

MatVariable ReadOnly(const std::string& path) {
  std::vector<MatVariable> all = ReadAll(path);
  EXPECT_EQ(all.size(), 1u);
  return all.empty() ? MatVariable{} : std::move(all.front());
}

std::vector<std::string> FieldNames(matvar_t* structure) {
  std::vector<std::string> names;
  char* const* raw = Mat_VarGetStructFieldnames(structure);
  for (unsigned i = 0; i < Mat_VarGetNumberOfFields(structure); ++i) names.emplace_back(raw[i]);
  return names;
}

matvar_t* Field(matvar_t* structure, const char* name) {
  matvar_t* field = Mat_VarGetStructFieldByName(structure, name, 0);
  EXPECT_NE(field, nullptr) << name;
  return field;
}

// Character i of a char variable, whatever width libmatio read it back in.
int CharAt(const matvar_t* variable, size_t i) {
  switch (variable->data_type) {
    case MAT_T_UINT16: return static_cast<const uint16_t*>(variable->data)[i];
    case MAT_T_INT8: return static_cast<const int8_t*>(variable->data)[i];
    default: return static_cast<const uint8_t*>(variable->data)[i];
  }
}

std::string CharText(const matvar_t* variable) {
  std::string text;
  for (size_t i = 0; i < variable->dims[0] * variable->dims[1]; ++i) {
    text.push_back(static_cast<char>(CharAt(variable, i)));
  }
  return text;
}

template <typename T>
T At(const matvar_t* variable, size_t i) {
  return static_cast<const T*>(variable->data)[i];
}

TEST(MatComponents, AddVariableGivesOneByOneZeroOfEveryAllowedClass) {
  const std::vector<std::pair<matio_classes, const char*>> classes = {
      {MAT_C_CHAR, "c"},    {MAT_C_DOUBLE, "d"},  {MAT_C_SINGLE, "s"},
      {MAT_C_INT8, "i8"},   {MAT_C_UINT8, "u8"},  {MAT_C_INT16, "i16"},
      {MAT_C_UINT16, "u16"}, {MAT_C_INT32, "i32"}, {MAT_C_UINT32, "u32"}};
  MatComponents components;
  for (const auto& [matClass, name] : classes) EXPECT_TRUE(components.AddVariable(name, matClass));
  testsupport::TempDir dir;
  WriteOne(dir / "zero.mat", components.MakeStructure("Zero"));

  MatVariable zero = ReadOnly(dir / "zero.mat");
  ASSERT_TRUE(zero);
  for (const auto& [matClass, name] : classes) {
    matvar_t* field = Field(zero.get(), name);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->class_type, matClass) << name;
    EXPECT_EQ(field->rank, 2);
    EXPECT_EQ(field->dims[0], 1u);
    EXPECT_EQ(field->dims[1], 1u);
    const size_t width = Mat_SizeOf(field->data_type);
    ASSERT_GT(width, 0u);
    const std::vector<unsigned char> zeros(width, 0);
    EXPECT_EQ(std::memcmp(field->data, zeros.data(), width), 0) << name;
  }
  EXPECT_EQ(Field(zero.get(), "d")->data_type, MAT_T_DOUBLE);
  EXPECT_EQ(Field(zero.get(), "u16")->data_type, MAT_T_UINT16);
}

TEST(MatComponents, AddVariableRefusesClassesOutsideTheTableWithAnErrorLine) {
  MatComponents components;
  for (matio_classes refused : {MAT_C_EMPTY, MAT_C_CELL, MAT_C_STRUCT, MAT_C_OBJECT, MAT_C_SPARSE,
                                MAT_C_INT64, MAT_C_UINT64, MAT_C_FUNCTION, MAT_C_OPAQUE}) {
    CaptureStdout();
    EXPECT_FALSE(components.AddVariable("x", refused)) << refused;
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find("ERROR in : "), std::string::npos);
    EXPECT_NE(out.find("MatComponents::AddVariable : Unknown MAT_T type \n"), std::string::npos)
        << out;
  }
  EXPECT_EQ(components.Count(), 0u);
  // The caller goes on with the other fields.
  EXPECT_TRUE(components.AddVariable("x", MAT_C_UINT16));
  EXPECT_EQ(components.Count(), 1u);
}

TEST(MatComponents, ScalarsKeepTheirClassAndValue) {
  MatComponents components;
  components.AddScalar("u16", uint16_t{65535});
  components.AddScalar("u32", uint32_t{4000000000u});
  components.AddScalar("d", -2000.0);
  components.AddScalar("i16", int16_t{-32768});
  components.AddScalar("f", 0.25f);
  testsupport::TempDir dir;
  WriteOne(dir / "s.mat", components.MakeStructure("S"));

  MatVariable s = ReadOnly(dir / "s.mat");
  ASSERT_TRUE(s);
  EXPECT_EQ(Field(s.get(), "u16")->class_type, MAT_C_UINT16);
  EXPECT_EQ(At<uint16_t>(Field(s.get(), "u16"), 0), 65535);
  EXPECT_EQ(Field(s.get(), "u32")->class_type, MAT_C_UINT32);
  EXPECT_EQ(At<uint32_t>(Field(s.get(), "u32"), 0), 4000000000u);
  EXPECT_EQ(Field(s.get(), "d")->class_type, MAT_C_DOUBLE);
  EXPECT_EQ(At<double>(Field(s.get(), "d"), 0), -2000.0);
  EXPECT_EQ(Field(s.get(), "i16")->class_type, MAT_C_INT16);
  EXPECT_EQ(At<int16_t>(Field(s.get(), "i16"), 0), -32768);
  EXPECT_EQ(Field(s.get(), "f")->class_type, MAT_C_SINGLE);
  EXPECT_EQ(At<float>(Field(s.get(), "f"), 0), 0.25f);
}

TEST(MatComponents, FieldOrderIsTheOrderOfTheAdderCalls) {
  MatComponents components;
  const std::vector<std::string> order = {"zeta", "alpha", "mid", "beta", "a_long_field_name_x"};
  for (const std::string& name : order) components.AddScalar(name, uint32_t{1});
  testsupport::TempDir dir;
  WriteOne(dir / "o.mat", components.MakeStructure("Ordered"));

  MatVariable ordered = ReadOnly(dir / "o.mat");
  ASSERT_TRUE(ordered);
  EXPECT_STREQ(ordered->name, "Ordered");
  EXPECT_EQ(ordered->class_type, MAT_C_STRUCT);
  EXPECT_EQ(ordered->dims[0], 1u);
  EXPECT_EQ(ordered->dims[1], 1u);
  EXPECT_EQ(FieldNames(ordered.get()), order);
}

TEST(MatComponents, VectorsAndMatricesAreColumnMajorWithRowsFromTheColumnCount) {
  MatComponents components;
  const std::vector<double> seven = {0, 1, 2, 3, 4, 5, 6};
  const std::vector<uint32_t> offsets = {10, 20, 30};
  // A 2-by-N time table: start and end of each event, one column per event.
  const std::vector<uint32_t> times = {1, 5, 7, 9, 11, 11};
  const std::vector<int16_t> diffs = {-3, 0, 4};
  EXPECT_TRUE(components.AddMatrix("m", 3, seven));
  EXPECT_TRUE(components.AddVector("fseek", offsets));
  EXPECT_TRUE(components.AddMatrix("time", 3, times));
  EXPECT_TRUE(components.AddVector("diffs", diffs));
  EXPECT_TRUE(components.AddVector("none", std::vector<uint16_t>{}));
  testsupport::TempDir dir;
  WriteOne(dir / "m.mat", components.MakeStructure("M"));

  MatVariable m = ReadOnly(dir / "m.mat");
  ASSERT_TRUE(m);
  const matvar_t* matrix = Field(m.get(), "m");
  EXPECT_EQ(matrix->class_type, MAT_C_DOUBLE);
  ASSERT_EQ(matrix->dims[0], 2u);
  ASSERT_EQ(matrix->dims[1], 3u);
  // Element (row 1, column 0) is the second stored value; the seventh is beyond the matrix.
  EXPECT_EQ(At<double>(matrix, 1), 1.0);
  EXPECT_EQ(At<double>(matrix, 2 * 2 + 1), 5.0);

  const matvar_t* fseek = Field(m.get(), "fseek");
  EXPECT_EQ(fseek->class_type, MAT_C_UINT32);
  EXPECT_EQ(fseek->dims[0], 1u);
  ASSERT_EQ(fseek->dims[1], 3u);
  EXPECT_EQ(At<uint32_t>(fseek, 2), 30u);

  const matvar_t* time = Field(m.get(), "time");
  ASSERT_EQ(time->dims[0], 2u);
  ASSERT_EQ(time->dims[1], 3u);
  EXPECT_EQ(At<uint32_t>(time, 2), 7u);  // start of event 2
  EXPECT_EQ(At<uint32_t>(time, 3), 9u);  // end of event 2

  EXPECT_EQ(Field(m.get(), "diffs")->class_type, MAT_C_INT16);
  EXPECT_EQ(At<int16_t>(Field(m.get(), "diffs"), 0), -3);

  const matvar_t* none = Field(m.get(), "none");
  EXPECT_EQ(none->class_type, MAT_C_UINT16);
  EXPECT_EQ(none->dims[0], 1u);
  EXPECT_EQ(none->dims[1], 0u);
}

TEST(MatComponents, ZeroColumnsAreRefusedUnlessThereIsNoData) {
  MatComponents components;
  CaptureStdout();
  EXPECT_FALSE(components.AddMatrix("m", 0, std::vector<double>{1.0}));
  EXPECT_FALSE(components.AddCharMatrix("c", 0, "ab"));
  EXPECT_NE(GetCapturedStdout().find("zero columns"), std::string::npos);
  EXPECT_EQ(components.Count(), 0u);
  ASSERT_TRUE(components.AddMatrix("empty", 0, std::vector<double>{}));
  EXPECT_EQ(components.At(0)->dims[0], 0u);
  EXPECT_EQ(components.At(0)->dims[1], 0u);
}

TEST(MatComponents, TextAndChannelNamesAreCharRowsPaddedWithZeroBytes) {
  MatComponents components;
  EXPECT_TRUE(components.AddString("softwareName", "EyeLink"));
  EXPECT_TRUE(components.AddString("emptyText", ""));
  EXPECT_TRUE(components.AddCharMatrix("grid", 2, "abcdef"));  // 3-by-2, column-major
  const std::vector<std::string> names = {"Fp1", "ABCDEFGHIJKLMNOP", "TooLongName_17chr"};
  CaptureStdout();
  EXPECT_TRUE(components.AddChannelNames("channelNames", names, 4));
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("WARNING in : "), std::string::npos);
  EXPECT_NE(out.find("TooLongName_17chr"), std::string::npos);
  testsupport::TempDir dir;
  WriteOne(dir / "t.mat", components.MakeStructure("T"));

  MatVariable t = ReadOnly(dir / "t.mat");
  ASSERT_TRUE(t);
  const matvar_t* software = Field(t.get(), "softwareName");
  EXPECT_EQ(software->class_type, MAT_C_CHAR);
  EXPECT_EQ(software->dims[0], 1u);
  EXPECT_EQ(CharText(software), "EyeLink");
  EXPECT_EQ(Field(t.get(), "emptyText")->dims[1], 0u);

  const matvar_t* grid = Field(t.get(), "grid");
  ASSERT_EQ(grid->dims[0], 3u);
  ASSERT_EQ(grid->dims[1], 2u);
  EXPECT_EQ(CharText(grid), "abcdef");

  const matvar_t* channels = Field(t.get(), "channelNames");
  EXPECT_EQ(channels->class_type, MAT_C_CHAR);
  ASSERT_EQ(channels->dims[0], 4u);
  ASSERT_EQ(channels->dims[1], 16u);
  const std::string stored = CharText(channels);
  auto row = [&](size_t r) {
    std::string text;
    for (size_t c = 0; c < 16; ++c) text.push_back(stored[c * 4 + r]);
    return text;
  };
  EXPECT_EQ(row(0), std::string("Fp1") + std::string(13, '\0'));
  EXPECT_EQ(row(1), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(row(2), "TooLongName_17ch");  // cut, never spilling into the next row
  EXPECT_EQ(row(3), std::string(16, '\0'));
}

TEST(MatComponents, TextRowsAreColumnMajorAndLeaveOutTextsPastTheRows) {
  size_t truncated = 0;
  EXPECT_EQ(MatComponents::TextRows({"ab", "c", "ignored"}, 3, 2, &truncated),
            std::string("acb\0\0\0", 6));
  EXPECT_EQ(truncated, 0u);
  EXPECT_EQ(MatComponents::TextRows({"abcd"}, 2, 1, &truncated), "ab");
  EXPECT_EQ(truncated, 1u);
}

TEST(MatComponents, NestedStructuresKeepTheirFieldsAtEveryLevel) {
  MatComponents leaf;
  leaf.AddScalar("tInt16", uint16_t{0});
  leaf.AddScalar("tFloat32", uint16_t{1});
  leaf.AddScalar("tFloat64", uint16_t{2});
  MatComponents middle;
  ASSERT_TRUE(middle.Append(leaf.MakeStructure("BinaryFormat")));
  middle.AddVector("fseek", std::vector<uint32_t>{0, 17, 40});
  MatComponents empty;
  ASSERT_TRUE(middle.Append(empty.MakeStructure("Events")));
  MatComponents top;
  top.AddString("fileName", "S01.edf");
  ASSERT_TRUE(top.Append(middle.MakeStructure("Data")));
  testsupport::TempDir dir;
  WriteOne(dir / "n.mat", top.MakeStructure("EyetrackerAcq"));

  MatVariable acq = ReadOnly(dir / "n.mat");
  ASSERT_TRUE(acq);
  EXPECT_EQ(FieldNames(acq.get()), (std::vector<std::string>{"fileName", "Data"}));
  matvar_t* data = Field(acq.get(), "Data");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->class_type, MAT_C_STRUCT);
  EXPECT_EQ(FieldNames(data), (std::vector<std::string>{"BinaryFormat", "fseek", "Events"}));
  matvar_t* format = Field(data, "BinaryFormat");
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(FieldNames(format), (std::vector<std::string>{"tInt16", "tFloat32", "tFloat64"}));
  EXPECT_EQ(At<uint16_t>(Field(format, "tFloat64"), 0), 2);
  EXPECT_EQ(At<uint32_t>(Field(data, "fseek"), 1), 17u);
  // A structure made from an empty collector is 1-by-1 with no fields.
  matvar_t* events = Field(data, "Events");
  ASSERT_NE(events, nullptr);
  EXPECT_EQ(events->class_type, MAT_C_STRUCT);
  EXPECT_EQ(events->dims[0], 1u);
  EXPECT_EQ(events->dims[1], 1u);
  EXPECT_EQ(Mat_VarGetNumberOfFields(events), 0u);
}

TEST(MatComponents, MakingAStructureHandsTheVariablesOverAndEmptiesTheCollector) {
  MatComponents components;
  components.AddScalar("a", 1.0);
  components.AddScalar("b", 2.0);
  const matvar_t* first = components.At(0);
  MatVariable structure = components.MakeStructure("S");
  ASSERT_TRUE(structure);
  EXPECT_EQ(components.Count(), 0u);
  EXPECT_EQ(Mat_VarGetStructFieldByName(structure.get(), "a", 0), first);
  // The emptied collector can build the next level; the sanitizer build checks nothing is
  // released twice or leaked.
  EXPECT_TRUE(components.AddScalar("a", 3.0));
  EXPECT_TRUE(components.Append(std::move(structure)));
  EXPECT_EQ(components.Count(), 2u);
}

TEST(MatComponents, KeptByReferenceDataIsTheCallersArrayUntilWritten) {
  std::vector<uint32_t> offsets = {1, 2, 3};
  std::vector<double> raw = {0.5, 1.5, 2.5, 3.5};
  std::vector<uint32_t> copied = {7, 8};
  MatComponents components;
  ASSERT_TRUE(components.AddVector("fseek", offsets, true));
  ASSERT_TRUE(components.AddMatrix("raw", 2, raw, true));
  ASSERT_TRUE(components.AddVector("copied", copied, false));
  EXPECT_EQ(components.At(0)->data, offsets.data());
  EXPECT_EQ(components.At(1)->data, raw.data());
  EXPECT_NE(components.At(2)->data, copied.data());
  // Changes made before the write reach the file only through the references.
  offsets[2] = 99;
  raw[3] = -1.0;
  copied[0] = 0;
  testsupport::TempDir dir;
  WriteOne(dir / "r.mat", components.MakeStructure("R"));

  MatVariable r = ReadOnly(dir / "r.mat");
  ASSERT_TRUE(r);
  EXPECT_EQ(At<uint32_t>(Field(r.get(), "fseek"), 2), 99u);
  EXPECT_EQ(Field(r.get(), "raw")->dims[0], 2u);
  EXPECT_EQ(At<double>(Field(r.get(), "raw"), 3), -1.0);
  EXPECT_EQ(At<uint32_t>(Field(r.get(), "copied"), 0), 7u);
  // The caller's arrays are still intact after the variable was released.
  EXPECT_EQ(offsets, (std::vector<uint32_t>{1, 2, 99}));
}

TEST(MatComponents, NamesMustBeValidAndUniqueWithinOneLevel) {
  MatComponents components;
  ASSERT_TRUE(components.AddScalar("value", uint16_t{1}));
  CaptureStdout();
  EXPECT_FALSE(components.AddScalar("value", uint32_t{2}));
  EXPECT_FALSE(components.AddString("", "x"));
  EXPECT_FALSE(components.AddScalar(std::string(64, 'n'), 1.0));
  EXPECT_FALSE(components.Append(MatVariable{}));
  MatComponents other;
  other.AddScalar("x", 1.0);
  EXPECT_FALSE(components.Append(other.MakeStructure("value")));
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("duplicate variable name value"), std::string::npos);
  EXPECT_EQ(components.Count(), 1u);
  EXPECT_TRUE(components.AddScalar(std::string(63, 'n'), 1.0));
}

TEST(MatComponents, AbsurdDimensionsAreRefusedBeforeAnyAllocation) {
  MatComponents components;
  const double one = 1.0;
  const size_t huge = std::numeric_limits<size_t>::max();
  CaptureStdout();
  // Products that overflow 64 bits.
  EXPECT_FALSE(components.AddArray("a", huge / 2 + 1, 2, &one));
  EXPECT_FALSE(components.AddArray("b", huge, huge, &one, true));
  // Each dimension of a MAT file is a signed 32-bit value.
  EXPECT_FALSE(components.AddArray("c", size_t{1} << 31, 1, &one, true));
  // More bytes than one MAT element can hold, though every dimension fits.
  EXPECT_FALSE(components.AddArray("d", 1u << 16, 1u << 13, &one, true));
  EXPECT_FALSE(components.AddTextRows("e", {"x"}, 16, huge / 8));
  EXPECT_FALSE(components.AddTextRows("f", {"x"}, huge, 2));
  EXPECT_FALSE(components.AddTextRows("h", {}, 0, size_t{1} << 31));  // 0 bytes, too many rows
  EXPECT_FALSE(components.AddArray<double>("g", 2, 2, nullptr));
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("MatComponents::Add : dimensions too large a "), std::string::npos) << out;
  EXPECT_NE(out.find("MatComponents::Add : no data g"), std::string::npos) << out;
  EXPECT_EQ(components.Count(), 0u);
  EXPECT_TRUE(MatComponents::TextRows({"x"}, huge, 2).empty());
  // The largest element that still fits is accepted (kept by reference, never touched here).
  EXPECT_TRUE(components.AddArray("fits", (1u << 29) - 16, 1, &one, true));
}

// Accepts exactly the shapes a MAT version 5 element can hold; the expectation divides instead of
// multiplying, so it cannot overflow the way a faulty check would.
template <typename T>
void ExpectBoundsOnBothSides(uint64_t seed) {
  const T one{};
  const uint64_t maxElements = MatComponents::kMaxElementBytes / sizeof(T);
  auto fits = [&](uint64_t rows, uint64_t columns) {
    return rows <= MatComponents::kMaxDimension && columns <= MatComponents::kMaxDimension &&
           (rows == 0 || columns <= maxElements / rows);
  };
  std::vector<std::pair<uint64_t, uint64_t>> shapes;
  const uint64_t perRow = maxElements / 65536;
  for (uint64_t d : {perRow, perRow + 1}) shapes.push_back({65536, d});
  for (uint64_t d : {MatComponents::kMaxDimension, MatComponents::kMaxDimension + 1}) {
    shapes.push_back({d, 1});
    shapes.push_back({1, d});
  }
  shapes.push_back({std::numeric_limits<uint64_t>::max(), 2});
  // A fixed pseudo-random sweep mixing small, near-limit and overflowing sizes.
  uint64_t state = seed;
  auto next = [&] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const uint64_t bits = state >> 11;
    switch (bits % 4) {
      case 0: return bits % 1000;
      case 1: return (bits % 70000) + 60000;
      case 2: return MatComponents::kMaxDimension - 2 + bits % 5;
      default: return bits;
    }
  };
  for (int i = 0; i < 400; ++i) shapes.push_back({next(), next()});

  MatComponents components;
  size_t accepted = 0;
  CaptureStdout();
  for (size_t i = 0; i < shapes.size(); ++i) {
    const auto [rows, columns] = shapes[i];
    const bool added = components.AddArray("v" + std::to_string(i), rows, columns, &one, true);
    EXPECT_EQ(added, fits(rows, columns)) << rows << " x " << columns << " of " << sizeof(T);
    if (added) ++accepted;
  }
  GetCapturedStdout();
  EXPECT_EQ(components.Count(), accepted);
  EXPECT_GT(accepted, 0u);
  EXPECT_LT(accepted, shapes.size());
}

TEST(MatComponents, SizeLimitsHoldOnBothSidesForEveryElementWidth) {
  ExpectBoundsOnBothSides<int8_t>(1);
  ExpectBoundsOnBothSides<uint16_t>(2);
  ExpectBoundsOnBothSides<float>(3);
  ExpectBoundsOnBothSides<double>(4);
}

TEST(MatFile, RefusesAStructureLargerThanOneMatElementWithoutReadingIt) {
  // Two by-reference fields of 3 GB each: every field fits, their structure does not. The data
  // pointer is a single value, so touching the data would fault.
  const double one = 1.0;
  MatComponents components;
  ASSERT_TRUE(components.AddArray("left", 3u << 27, 1, &one, true));
  ASSERT_TRUE(components.AddArray("right", 3u << 27, 1, &one, true));
  testsupport::TempDir dir;
  MatFile file;
  ASSERT_TRUE(file.Create(dir / "big.mat"));
  CaptureStdout();
  EXPECT_FALSE(file.Write(components.MakeStructure("Big")));
  EXPECT_FALSE(file.Close());
  EXPECT_NE(GetCapturedStdout().find("variable too large for a MAT file Big"), std::string::npos);
}

TEST(MatFile, AFileThatCannotBeCreatedIsAnErrorNeverASuccess) {
  testsupport::TempDir dir;
  const std::string path = dir / "missing/x.mat";
  MatFile file;
  CaptureStdout();
  EXPECT_FALSE(file.Create(path));
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("MatFile::Create::pf " + path), std::string::npos) << out;
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(path));
  MatComponents components;
  components.AddScalar("x", 1.0);
  CaptureStdout();
  EXPECT_FALSE(file.Write(components.MakeStructure("S")));
  EXPECT_NE(GetCapturedStdout().find("file not open"), std::string::npos);
}

TEST(MatFile, AWriteThatNeverReachesTheDiskIsAnErrorAndLeavesNoFile) {
  // libmatio reports success on a full disk; the close must notice the missing bytes. A small
  // file system is the only way to fill a disk from a test; it needs the right to mount one.
  testsupport::TempDir dir;
  const std::string mount = dir / "small";
  std::filesystem::create_directory(mount);
  const std::string command = "mount -t tmpfs -o size=64k tmpfs '" + mount + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "cannot mount a small file system here";
  struct Unmount {
    std::string at;
    ~Unmount() { std::system(("umount '" + at + "'").c_str()); }
  } unmount{mount};
  const std::string path = mount + "/S01.asc.mat";
  testsupport::WriteFile(path, "previous");
  std::vector<double> raw(100000, 1.0);
  MatComponents components;
  components.AddMatrix("raw", 1000, raw, true);
  MatFile file;
  ASSERT_TRUE(file.Create(path));
  file.Write(components.MakeStructure("S"));
  CaptureStdout();
  EXPECT_FALSE(file.Close());
  EXPECT_NE(GetCapturedStdout().find("ERROR in : "), std::string::npos);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(mount)) left.push_back(entry.path().string());
  const std::string content = testsupport::ReadFile(path);
  EXPECT_EQ(left, std::vector<std::string>{path});
  EXPECT_EQ(content, "previous");
}

TEST(MatFile, AFailedExportLeavesNoFileAndKeepsTheOneItWouldReplace) {
  testsupport::TempDir dir;
  const std::string path = dir / "S01.asc.mat";
  {
    MatFile file;
    ASSERT_TRUE(file.Create(path));
    CaptureStdout();
    EXPECT_FALSE(file.Write(MatVariable()));
    EXPECT_FALSE(file.Close());
    GetCapturedStdout();
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  testsupport::WriteFile(path, "previous");
  {
    MatFile file;
    ASSERT_TRUE(file.Create(path));
    EXPECT_EQ(testsupport::ReadFile(path), "previous");  // nothing shows before the close
    CaptureStdout();
    file.Write(MatVariable());
    GetCapturedStdout();
  }  // closed by the destructor: refused
  EXPECT_EQ(testsupport::ReadFile(path), "previous");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  {
    MatFile file;
    ASSERT_TRUE(file.Create(path));
    MatComponents components;
    components.AddScalar("x", 1.0);
    EXPECT_TRUE(file.Write(components.MakeStructure("S")));
    EXPECT_TRUE(file.Close());
  }
  EXPECT_NE(testsupport::ReadFile(path), "previous");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(MatFile, TwoWritesOfTheSameContentAreByteIdentical) {
  auto build = [] {
    MatComponents inner;
    inner.AddScalar("samplingRate", 500.0);
    inner.AddChannelNames("channelNames", {"LX", "LY", "Blink"}, 3);
    MatComponents top;
    top.AddString("fileName", "S01.edf");
    top.AddMatrix("raw", 2, std::vector<double>{1, 2, 3, 4});
    top.Append(inner.MakeStructure("Params"));
    return top.MakeStructure("EyetrackerAcq");
  };
  testsupport::TempDir dir;
  WriteOne(dir / "one.mat", build());
  WriteOne(dir / "two.mat", build());
  const std::string one = testsupport::ReadFile(dir / "one.mat");
  const std::string two = testsupport::ReadFile(dir / "two.mat");
  ASSERT_GT(one.size(), 128u);
  EXPECT_EQ(one, two);
  EXPECT_EQ(one.compare(0, std::strlen(MatFile::kHeaderText), MatFile::kHeaderText), 0);
  EXPECT_EQ(one.substr(124, 4), std::string("\x00\x01IM", 4));  // version 5, little-endian
}

TEST(MatFile, EncodedSizeIsNeverBelowWhatIsWritten) {
  auto build = [](int kind) {
    MatComponents c;
    switch (kind) {
      case 0: c.AddScalar("u", uint16_t{1}); break;
      case 1: c.AddString("abcdefghijk", "some text of odd length"); break;
      case 2: c.AddVector("v", std::vector<uint32_t>(9, 1)); c.AddVariable("c", MAT_C_CHAR); break;
      case 3: {
        MatComponents inner;
        inner.AddScalar("a", 1.0);
        inner.AddScalar("bb", 1.0);
        c.Append(inner.MakeStructure("i"));
        c.AddChannelNames("channelNames", {"x"}, 5);
        break;
      }
      default: break;  // an empty structure
    }
    return c.MakeStructure(kind % 2 ? "Short" : "ALongerName");
  };
  testsupport::TempDir dir;
  for (int kind = 0; kind <= 4; ++kind) {
    MatVariable variable = build(kind);
    const uint64_t size = MatFile::EncodedSize(*variable);
    WriteOne(dir / "e.mat", std::move(variable));
    const uint64_t written = testsupport::ReadFile(dir / "e.mat").size() - 128;
    EXPECT_GE(size, written) << kind;
    EXPECT_LE(size, written + 64) << kind;
  }
}

TEST(MatComponents, LibraryMessagesComeOutAsErrorAndWarningLines) {
  MatComponents components;  // installs the routing
  CaptureStdout();
  Mat_Critical("probe %d", 42);
  Mat_Warning("careful %s", "here");
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("ERROR in : "), std::string::npos) << out;
  EXPECT_NE(out.find("MatComponents::libmatio probe 42\n"), std::string::npos) << out;
  EXPECT_NE(out.find("WARNING in : "), std::string::npos) << out;
  EXPECT_NE(out.find("MatComponents::libmatio careful here\n"), std::string::npos) << out;
}

TEST(MatFile, ScipyLoadsTheWrittenStructure) {
  if (std::system(TOLMERA_PYTHON " -c \"import scipy.io\" 2>/dev/null") != 0) {
    GTEST_SKIP() << "no scipy for " TOLMERA_PYTHON;
  }
  MatComponents format;
  format.AddScalar("tInt16", uint16_t{0});
  format.AddScalar("tFloat64", uint16_t{2});
  MatComponents params;
  params.AddScalar("samplingRate", 500.0);
  params.AddScalar("nbOfChannels", uint32_t{2});
  params.AddChannelNames("channelNames", {"LX", "LY"}, 2);
  MatComponents data;
  data.Append(format.MakeStructure("BinaryFormat"));
  data.Append(params.MakeStructure("Params"));
  data.AddMatrix("raw", 3, std::vector<double>{1, 2, 3, 4, 5, 6});
  data.AddMatrix("time", 2, std::vector<uint32_t>{1, 2, 5, 9});
  MatComponents top;
  top.AddString("fileName", "S01.edf");
  top.Append(data.MakeStructure("Data"));
  testsupport::TempDir dir;
  const std::string mat = dir / "scipy.mat";
  WriteOne(mat, top.MakeStructure("EyetrackerAcq"));

  const std::string script = dir / "check.py";
  testsupport::WriteFile(script, R"(import sys, scipy.io
m = scipy.io.loadmat(sys.argv[1], squeeze_me=False)
acq = m['EyetrackerAcq'][0, 0]
assert acq.dtype.names == ('fileName', 'Data'), acq.dtype.names
assert acq['fileName'][0] == 'S01.edf', acq['fileName']
data = acq['Data'][0, 0]
assert data.dtype.names == ('BinaryFormat', 'Params', 'raw', 'time'), data.dtype.names
assert data['BinaryFormat'][0, 0]['tFloat64'][0, 0] == 2
params = data['Params'][0, 0]
assert params['samplingRate'][0, 0] == 500.0
assert params['nbOfChannels'].dtype.name == 'uint32'
names = [str(n).rstrip('\x00') for n in params['channelNames']]
assert names == ['LX', 'LY'], names
raw = data['raw']
assert raw.shape == (2, 3) and raw[1, 0] == 2.0 and raw[0, 2] == 5.0, raw
assert data['time'].dtype.name == 'uint32' and data['time'][1, 1] == 9, data['time']
print('ok')
)");
  const std::string command = std::string(TOLMERA_PYTHON) + " " + script + " " + mat;
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace
