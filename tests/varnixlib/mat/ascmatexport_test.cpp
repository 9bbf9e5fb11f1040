// The ASC MAT file read back through libmatio: structure and field order, classes and shapes,
// 1-based times that leave the 0-based events untouched, the event-type file and the failures.

#include <gtest/gtest.h>
#include <matio.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "varnixlib/asc/asctestfile.h"
#include "support/testsupport.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/mat/ascrawdata_mat.h"
#include "varnixlib/mat/recordmat.h"

namespace {

using asctest::AscRun;
using asctest::End;
using asctest::Head;
using asctest::Mono;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using Strings = std::vector<std::string>;

MatVariable ReadOnly(const std::string& path) {
  mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
  EXPECT_NE(mat, nullptr) << path;
  if (!mat) return {};
  MatVariable first(Mat_VarReadNext(mat));
  MatVariable second(Mat_VarReadNext(mat));
  EXPECT_EQ(second, nullptr) << "one top-level variable only";
  Mat_Close(mat);
  return first;
}

Strings FieldNames(const matvar_t* s) {
  Strings names;
  if (!s || s->class_type != MAT_C_STRUCT) return names;
  char* const* raw = Mat_VarGetStructFieldnames(s);
  for (unsigned i = 0; i < Mat_VarGetNumberOfFields(const_cast<matvar_t*>(s)); ++i) names.emplace_back(raw[i]);
  return names;
}

matvar_t* F(matvar_t* s, const char* name) {
  matvar_t* field = s ? Mat_VarGetStructFieldByName(s, name, 0) : nullptr;
  EXPECT_NE(field, nullptr) << name;
  return field;
}

template <typename T>
std::vector<T> Values(const matvar_t* v) {
  if (!v) return {};
  const size_t n = v->dims[0] * v->dims[1];
  std::vector<T> out(n);
  EXPECT_EQ(static_cast<size_t>(v->data_size), sizeof(T)) << v->name;
  if (v->data_size == sizeof(T)) std::memcpy(out.data(), v->data, n * sizeof(T));
  return out;
}

std::vector<size_t> Dims(const matvar_t* v) { return v ? std::vector<size_t>{v->dims[0], v->dims[1]} : std::vector<size_t>{}; }

/// Row r of a char matrix, zero bytes kept.
std::string Row(const matvar_t* v, size_t r) {
  std::string row;
  const auto* bytes = static_cast<const unsigned char*>(v->data);
  for (size_t c = 0; c < v->dims[1]; ++c) {
    const size_t i = c * v->dims[0] + r;
    row.push_back(static_cast<char>(v->data_size == 2 ? reinterpret_cast<const uint16_t*>(bytes)[i] : bytes[i]));
  }
  return row;
}

const Strings kParams = {"binaryFormat", "dataOrientation", "dataType", "segmentationType", "segmentDataPoints",
                         "samplingRate", "nbOfChannels", "nbOfSamples", "valNaN", "startTimestamp",
                         "endTimestamp", "channelNames"};

/// One block from index 0 with a phase, a sequence, an image ended by a key, a fixation, a
/// saccade, a blink and two triggers, the first at index 0.
std::string StructuredRecording() {
  std::string t = Head() + "INPUT\t1000\t5\n" + Mono(1000, "5", "5") +
                  "MSG\t1001 BEGIN PHASE LEARNING_1\nMSG\t1001 BEGIN SEQUENCE 4 intro\n" + "MSG\t1001 BEGIN TRANSITION keyboard_transition trName 1500 2 x IMAGE cat img/a.png 25 40000 "
                  "10 20 810 620\nSFIX L   1001\n";
  for (unsigned s = 1001; s <= 1003; ++s) t += Mono(s, "10.5", "20.5");
  t += "EFIX L   1001\t1003\t3\t10.5\t20.5\t900\nSSACC L  1004\n";
  for (unsigned s = 1004; s <= 1006; ++s) t += Mono(s, "15", "25");
  t += "ESACC L  1004\t1006\t3\t10.0\t20.0\t30.0\t40.0\t1.5\t200\nMSG\t1007 END TRANSITION KEYBOARD 'x'\n" +
       Mono(1007, "5", "5") + "SBLINK L 1008\n" + Mono(1008, ".", ".", "0.0") + Mono(1009, ".", ".", "0.0") +
       "EBLINK L 1008\t1009\t2\nINPUT\t1009\t0\nINPUT\t1010\t7\n" + Mono(1010, "5", "5") +
       "MSG\t1011 END SEQUENCE\nMSG\t1011 END PHASE\n" + Mono(1011, "5", "5") + End(1012);
  return t;
}

struct Exported {
  explicit Exported(const std::string& text, SynchroParams p = AscRun::Defaults()) : run(text, p) {
    run.params.ascMatFileName = run.Path("rec.asc.mat");
    if (!run.ok) return;
    CaptureStdout();
    saved = AscMatExport(run.asc).SaveMatFile(run.params);
    out = GetCapturedStdout();
    if (saved) top = ReadOnly(run.params.ascMatFileName);
  }
  AscRun run;
  bool saved = false;
  std::string out;
  MatVariable top;
};

TEST(AscMatExport, TheFileHoldsEyetrackerAcqWithHeaderDataAndEventsInOrder) {
  Exported e(StructuredRecording());
  ASSERT_TRUE(e.run.ok) << e.run.Log();
  ASSERT_TRUE(e.saved) << e.out;
  EXPECT_EQ(e.out.find("ERROR"), std::string::npos) << e.out;
  ASSERT_NE(e.top, nullptr);
  EXPECT_STREQ(e.top->name, "EyetrackerAcq");
  EXPECT_EQ(FieldNames(e.top.get()), (Strings{"AscHeader", "Data", "Events"}));
  EXPECT_EQ(FieldNames(F(e.top.get(), "AscHeader")), FieldNames(MakeMatStructure(e.run.asc.Header()).get()));

  matvar_t* data = F(e.top.get(), "Data");
  EXPECT_EQ(FieldNames(data), (Strings{"BinaryFormat", "DataOrientation", "DataType", "SegmentationType", "fseek",
                                       "Params", "raw"}));
  EXPECT_EQ(FieldNames(F(data, "BinaryFormat")), (Strings{"tInt16", "tFloat32", "tFloat64"}));
  EXPECT_EQ(Values<uint16_t>(F(F(data, "BinaryFormat"), "tFloat64")), (std::vector<uint16_t>{2}));
  EXPECT_EQ(Values<uint16_t>(F(F(data, "DataType"), "TIMEDOMAIN")), (std::vector<uint16_t>{1}));
  EXPECT_EQ(FieldNames(F(data, "SegmentationType")), (Strings{"NOSEGMENTED", "MARKERBASED"}));

  matvar_t* params = F(data, "Params");
  EXPECT_EQ(FieldNames(params), kParams);
  EXPECT_EQ(Values<uint16_t>(F(params, "binaryFormat")), (std::vector<uint16_t>{2}));
  EXPECT_EQ(Values<uint16_t>(F(params, "dataType")), (std::vector<uint16_t>{1}));  // time domain
  EXPECT_EQ(Values<uint32_t>(F(params, "segmentDataPoints")), (std::vector<uint32_t>{0}));
  EXPECT_EQ(Values<double>(F(params, "samplingRate")), (std::vector<double>{1000.0}));
  EXPECT_EQ(Values<uint32_t>(F(params, "nbOfChannels")), (std::vector<uint32_t>{3}));
  EXPECT_EQ(Values<uint32_t>(F(params, "nbOfSamples")), (std::vector<uint32_t>{e.run.asc.NbSamples()}));
  EXPECT_EQ(Values<double>(F(params, "valNaN")), (std::vector<double>{-2000.0}));
  EXPECT_EQ(Values<uint32_t>(F(params, "startTimestamp")), (std::vector<uint32_t>{1000}));
  EXPECT_EQ(Values<uint32_t>(F(params, "endTimestamp")), (std::vector<uint32_t>{e.run.asc.EndTimestamp()}));
  matvar_t* names = F(params, "channelNames");
  ASSERT_EQ(Dims(names), (std::vector<size_t>{3, 16}));
  EXPECT_EQ(names->class_type, MAT_C_CHAR);
  EXPECT_EQ(Row(names, 0), std::string("eyeLx") + std::string(11, '\0'));
  EXPECT_EQ(Row(names, 2), std::string("blink") + std::string(11, '\0'));

  matvar_t* raw = F(data, "raw");
  EXPECT_EQ(raw->class_type, MAT_C_DOUBLE);
  EXPECT_EQ(Dims(raw), (std::vector<size_t>{3, e.run.asc.NbSamples()}));
  EXPECT_EQ(Values<double>(raw), std::vector<double>(e.run.asc.Data().begin(), e.run.asc.Data().end()));
  matvar_t* fseek = F(data, "fseek");
  EXPECT_EQ(fseek->class_type, MAT_C_UINT32);
  ASSERT_EQ(Dims(fseek), (std::vector<size_t>{1, e.run.asc.NbLines()}));
  const std::vector<uint32_t> offsets = Values<uint32_t>(fseek);
  EXPECT_EQ(offsets[0], 0u);
  EXPECT_EQ(offsets[1], StructuredRecording().find('\n') + 1);
  EXPECT_EQ(offsets.back(), e.run.asc.LineOffsets()[e.run.asc.NbLines() - 1]);

  matvar_t* events = F(e.top.get(), "Events");
  EXPECT_EQ(FieldNames(events), (Strings{"EventTypes", "AcqPhases", "RecordSteps", "Sequences", "Displayables",
                                         "Transitions", "FixationSaccadesLeft", "BlinksLeft", "Triggers", "AllEvents"}));
}

TEST(AscMatExport, EventListsCarryOneBasedTimesWhileTheEventsStayZeroBased) {
  Exported e(StructuredRecording());
  ASSERT_TRUE(e.saved) << e.out << e.run.Log();
  matvar_t* events = F(e.top.get(), "Events");

  matvar_t* triggers = F(events, "Triggers");
  EXPECT_EQ(FieldNames(triggers), (Strings{"value", "time", "fseek"}));
  EXPECT_EQ(Values<uint16_t>(F(triggers, "value")), (std::vector<uint16_t>{5, 7}));
  EXPECT_EQ(Dims(F(triggers, "time")), (std::vector<size_t>{2, 2}));
  EXPECT_EQ(Values<uint32_t>(F(triggers, "time")), (std::vector<uint32_t>{1, 1, 11, 11}));  // index 0 is time 1
  // 1-based line numbers, as the times: the events keep their 0-based line indices.
  EXPECT_EQ(Values<uint32_t>(F(triggers, "fseek")),
            (std::vector<uint32_t>{e.run.asc.Triggers()[0]->line + 1, e.run.asc.Triggers()[1]->line + 1}));

  matvar_t* fix = F(events, "FixationSaccadesLeft");
  EXPECT_EQ(FieldNames(fix), (Strings{"value", "time", "fseek", "startPos", "endPos", "averagePupilSizeFixation",
                                      "amplitudeSaccade", "peakVelocitySaccade"}));
  EXPECT_EQ(Values<uint16_t>(F(fix, "value")), (std::vector<uint16_t>{1016, 1018}));
  EXPECT_EQ(Values<uint32_t>(F(fix, "time")), (std::vector<uint32_t>{2, 4, 5, 7}));
  EXPECT_EQ(Dims(F(fix, "startPos")), (std::vector<size_t>{2, 2}));
  EXPECT_EQ(Values<double>(F(fix, "startPos")), (std::vector<double>{10.5, 20.5, 10.0, 20.0}));
  EXPECT_EQ(Values<double>(F(fix, "endPos")), (std::vector<double>{10.5, 20.5, 30.0, 40.0}));
  EXPECT_EQ(Values<double>(F(fix, "averagePupilSizeFixation")), (std::vector<double>{900.0, 0.0}));
  EXPECT_EQ(Values<double>(F(fix, "amplitudeSaccade")), (std::vector<double>{0.0, 1.5}));
  EXPECT_EQ(Values<double>(F(fix, "peakVelocitySaccade")), (std::vector<double>{0.0, 200.0}));

  matvar_t* displayables = F(events, "Displayables");
  EXPECT_EQ(FieldNames(displayables),
            (Strings{"value", "time", "fseek", "frameDuration", "frameNb", "framePlayed", "frameFirst", "leftRect",
                     "topRect", "rightRect", "bottomRect", "name", "relativePath"}));
  EXPECT_EQ(Values<uint32_t>(F(displayables, "time")), (std::vector<uint32_t>{2, 8}));
  EXPECT_EQ(Values<uint16_t>(F(displayables, "frameDuration")), (std::vector<uint16_t>{40}));
  EXPECT_EQ(Values<uint16_t>(F(displayables, "bottomRect")), (std::vector<uint16_t>{620}));
  EXPECT_EQ(Row(F(displayables, "name"), 0), "cat");
  EXPECT_EQ(Row(F(displayables, "relativePath"), 0), "img/a.png");
  matvar_t* transitions = F(events, "Transitions");
  EXPECT_EQ(FieldNames(transitions), (Strings{"value", "time", "fseek", "name", "typeAsked", "timeout", "nbEvents",
                                              "stopAttribute", "posX", "posY"}));
  EXPECT_EQ(F(transitions, "typeAsked")->class_type, MAT_C_UINT32);
  EXPECT_EQ(Values<uint16_t>(F(transitions, "stopAttribute")), (std::vector<uint16_t>{'x'}));
  EXPECT_EQ(Row(F(transitions, "name"), 0), "trName");
  matvar_t* sequences = F(events, "Sequences");
  EXPECT_EQ(FieldNames(sequences), (Strings{"value", "time", "fseek", "index", "name"}));
  EXPECT_EQ(Values<uint16_t>(F(sequences, "index")), (std::vector<uint16_t>{4})) << e.run.Log();
  EXPECT_EQ(Values<uint32_t>(F(F(events, "BlinksLeft"), "time")), (std::vector<uint32_t>{9, 10}));
  EXPECT_EQ(Values<uint32_t>(F(F(events, "AcqPhases"), "time")), (std::vector<uint32_t>{2, 12}));

  matvar_t* all = F(events, "AllEvents");
  const std::vector<uint32_t> times = Values<uint32_t>(F(all, "time"));
  ASSERT_EQ(times.size(), 2 * e.run.asc.AllEvents().size());
  for (size_t i = 0; i < e.run.asc.AllEvents().size(); ++i) {
    EXPECT_EQ(times[2 * i], e.run.asc.AllEvents()[i]->start + 1) << i;
    EXPECT_EQ(times[2 * i + 1], e.run.asc.AllEvents()[i]->end + 1) << i;
  }
  // What the synchronisation reads afterwards is still on the 0-based grid.
  std::vector<CMarker> markers;
  e.run.asc.GetTriggerMarkers(markers);
  ASSERT_EQ(markers.size(), 2u);
  EXPECT_EQ(markers[0].position, 0u);
  EXPECT_EQ(markers[1].position, 10u);
  EXPECT_EQ(e.run.asc.FixationSaccadesLeft()[0]->start, 1u);
}

TEST(AscMatExport, EventTypesAndTheirTextFileNameEveryCodeOnceWithItsCount) {
  Exported e(StructuredRecording());
  ASSERT_TRUE(e.saved) << e.out;
  EXPECT_EQ(e.run.params.eventFileName, e.run.Path("rec.asc.event.txt"));
  matvar_t* types = F(F(e.top.get(), "Events"), "EventTypes");
  EXPECT_EQ(FieldNames(types), (Strings{"value", "name", "count"}));
  EXPECT_EQ(Values<uint16_t>(F(types, "value")),
            (std::vector<uint16_t>{5, 7, 1001, 1008, 1015, 1016, 1018, 1020, 1022, 1024}));
  EXPECT_EQ(Values<uint32_t>(F(types, "count")), (std::vector<uint32_t>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
  matvar_t* names = F(types, "name");
  ASSERT_EQ(Dims(names), (std::vector<size_t>{10, 18}));  // "displayableImage" and "flowFixationLeft"...
  EXPECT_EQ(Row(names, 0), "trigger005" + std::string(8, '\0'));
  EXPECT_EQ(Row(names, 3), "transitionKeyboard");
  const std::string text = testsupport::ReadFile(e.run.params.eventFileName);
  EXPECT_EQ(text.substr(0, 53), "5         trigger005                     1\n7         ");
}

TEST(AscMatExport, EmptyListsGiveNoFieldAndFramesNeedTheSwitch) {
  // Left eye only, no blink, no structure: the events are the record and the trigger.
  Exported plain(Head("LEFT", "2000.00") + "INPUT\t1000\t3\n" + Mono(1000, "1", "1") + Mono(1003, "1", "1") + End(1006));
  ASSERT_TRUE(plain.saved) << plain.out << plain.run.Log();
  EXPECT_EQ(FieldNames(F(plain.top.get(), "Events")), (Strings{"EventTypes", "RecordSteps", "Triggers", "AllEvents"}));
  matvar_t* params = F(F(plain.top.get(), "Data"), "Params");
  EXPECT_EQ(Values<double>(F(params, "samplingRate")), (std::vector<double>{2000.0}));  // a period of half a millisecond

  // A video with frames: exported as a list only with -v.
  const std::string video = Head("LEFT", "500.00") +
      "MSG\t1002 BEGIN PHASE TEST\n" +
      "MSG\t1002 BEGIN TRANSITION time_transition t 100 1 x IMAGE i i.png 1 0 0 0 10 10\n" +
      "MSG\t1002 BEGIN TRANSITION time_transition t 100 1 x VIDEOWITHOUTSOUND v v.avi 3 40000 0 0 10 10\n" +
      Mono(1002, "1", "1") + "MSG\t1004 BEGIN FRAME 1\n" + Mono(1004, "1", "1") + "MSG\t1006 BEGIN FRAME 2\n" +
      Mono(1006, "1", "1") + "MSG\t1008 END TRANSITION TIMEOUT\n" + Mono(1008, "1", "1") +
      "MSG\t1010 END PHASE\n" + Mono(1010, "1", "1") + End(1012);
  Exported without(video);
  ASSERT_TRUE(without.saved) << without.out << without.run.Log();
  ASSERT_EQ(without.run.asc.Frames().size(), 2u) << without.run.Log();
  const Strings names = FieldNames(F(without.top.get(), "Events"));
  EXPECT_EQ(std::find(names.begin(), names.end(), "Frames"), names.end());
  EXPECT_EQ(Values<double>(F(F(F(without.top.get(), "Data"), "Params"), "samplingRate")), (std::vector<double>{500.0}));

  SynchroParams withFrames = AscRun::Defaults();
  withFrames.framesInEvents = true;
  Exported with(video, withFrames);
  ASSERT_TRUE(with.saved) << with.out;
  const Strings withNames = FieldNames(F(with.top.get(), "Events"));
  EXPECT_EQ(withNames, (Strings{"EventTypes", "AcqPhases", "RecordSteps", "Displayables", "Frames", "Transitions",
                                "AllEvents"}));
  matvar_t* frames = F(F(with.top.get(), "Events"), "Frames");
  EXPECT_EQ(FieldNames(frames), (Strings{"value", "time", "fseek"}));
  EXPECT_EQ(Dims(F(frames, "time")), (std::vector<size_t>{2, with.run.asc.Frames().size()}));
}

TEST(AscMatExport, TheEyetrackerPartOfAMergedSetHasParamsWithoutNamesAndTheLineOffsets) {
  AscRun run(StructuredRecording());
  ASSERT_TRUE(run.ok);
  AscMatExport exporter(run.asc);
  MatVariable eyetracker = exporter.MakeMatEyetracker();
  ASSERT_NE(eyetracker, nullptr);
  EXPECT_EQ(FieldNames(eyetracker.get()), (Strings{"AscHeader", "Params", "Data"}));
  Strings withoutNames = kParams;
  withoutNames.pop_back();
  EXPECT_EQ(FieldNames(F(eyetracker.get(), "Params")), withoutNames);
  EXPECT_EQ(FieldNames(F(eyetracker.get(), "Data")), (Strings{"fseek"}));
  EXPECT_EQ(Dims(F(F(eyetracker.get(), "Data"), "fseek")), (std::vector<size_t>{1, run.asc.NbLines()}));
}

TEST(AscMatExport, AFileThatCannotBeWrittenWholeIsAFailure) {
  AscRun run(StructuredRecording());
  ASSERT_TRUE(run.ok);
  run.params.ascMatFileName = run.Path("missing/rec.asc.mat");
  CaptureStdout();
  EXPECT_FALSE(AscMatExport(run.asc).SaveMatFile(run.params));
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("AscRawData::SaveMatFile creating MAT file"), std::string::npos) << out;

  // The event-type file cannot be written: the export fails instead of passing a half result on.
  run.params.ascMatFileName = run.Path("rec.asc.mat");
  std::filesystem::create_directory(run.Path("rec.asc.event.txt"));
  CaptureStdout();
  EXPECT_FALSE(AscMatExport(run.asc).SaveMatFile(run.params));
  const std::string blocked = GetCapturedStdout();
  EXPECT_NE(blocked.find("AscRawData::SaveMatFile writing MAT file"), std::string::npos) << blocked;
}

}  // namespace

TEST(AscMatExport, HeadReferencedSamplesAreNamedInTheParams) {
  std::string text = Head("LEFT", "1000.00") + "INPUT\t1000\t3\n" + Mono(1000, "1", "1") + End(1002);
  Exported gaze(text);
  ASSERT_TRUE(gaze.saved) << gaze.out;
  // Gaze exports keep their fields as before.
  EXPECT_EQ(FieldNames(F(F(gaze.top.get(), "Data"), "Params")), kParams);
  text.replace(text.find("SAMPLES\tGAZE"), 12, "SAMPLES\tHREF");
  Exported href(text);
  ASSERT_TRUE(href.saved) << href.out;
  matvar_t* params = F(F(href.top.get(), "Data"), "Params");
  Strings fields = kParams;
  fields.insert(fields.end() - 1, "sampleKind");
  EXPECT_EQ(FieldNames(params), fields);
  const matvar_t* kind = F(params, "sampleKind");
  ASSERT_NE(kind, nullptr);
  ASSERT_EQ(kind->class_type, MAT_C_CHAR);
  // Stored as 16-bit characters.
  std::string stored;
  for (size_t i = 0; i < kind->dims[0] * kind->dims[1]; ++i) {
    stored.push_back(static_cast<char>(kind->data_type == MAT_T_UINT16 ? static_cast<const uint16_t*>(kind->data)[i]
                                                                       : static_cast<const uint8_t*>(kind->data)[i]));
  }
  EXPECT_EQ(stored, "HREF");
}
